// Real files in a temporary folder, for tests in both builds.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir()
    {
        static int counter = 0;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("wendrik-test-" + std::to_string(std::rand()) + "-" + std::to_string(++counter));
            if (std::filesystem::create_directory(path_))
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
    std::filesystem::path path_;
};
