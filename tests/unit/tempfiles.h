// Real files in a temporary folder, for tests in both builds.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

class TempDir {
public:
    // Named by the process, since CTest runs several test processes at
    // once and each one's rand() starts from the same seed.
    TempDir()
    {
        static int counter = 0;
        auto base = std::filesystem::temp_directory_path();
        // A folder left by an earlier process of the same number is passed
        // over; a temporary folder that takes none fails the test's writes.
        for (int tries = 0; tries < 1000; tries++) {
            path_ = base / ("wendrik-test-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter));
            std::error_code taken;
            if (std::filesystem::create_directory(path_, taken))
                break;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes bytes to a file of the folder and gives its wide path.
    std::wstring Write(const std::string& name, const std::string& bytes) const
    {
        auto p = path_ / name;
        FILE* f = std::fopen(p.string().c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p.wstring();
    }
    std::wstring Path(const std::string& name) const { return (path_ / name).wstring(); }
    const std::filesystem::path& path() const { return path_; }

private:
    static long ProcessId()
    {
#ifdef _WIN32
        return (long)_getpid();
#else
        return (long)getpid();
#endif
    }

    std::filesystem::path path_;
};

// Makes every later read from f fail, as a storage card pulled out in the
// middle of a file does: its descriptor then names a file open for writing
// only. The stream stays open and closes as usual.
inline bool BreakReads(FILE* f, const std::filesystem::path& writeOnly)
{
#ifdef _WIN32
    int fd = _wopen(writeOnly.wstring().c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, 0600);
    bool ok = fd >= 0 && _dup2(fd, _fileno(f)) == 0;
    if (fd >= 0)
        _close(fd);
#else
    int fd = open(writeOnly.string().c_str(), O_WRONLY | O_CREAT, 0600);
    bool ok = fd >= 0 && dup2(fd, fileno(f)) >= 0;
    if (fd >= 0)
        close(fd);
#endif
    return ok;
}
