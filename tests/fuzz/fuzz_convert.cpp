// "wendrik-cli convert" over arbitrary GPX: never a crash or hang, every
// line written is one the search ranks and the list holds whole, nothing
// left behind under a temporary name, and the POI file converted to GPX
// and back gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "cli/check.h"
#include "cli/convert.h"
#include "search/poiline.h"
#include "text/textread.h"
#include "text/wtext.h"

namespace {

bool Ignore(void*, const std::wstring&)
{
    return true;
}

std::string ReadAll(const char* path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const std::string dir = "/tmp/fuzz-convert-" + std::to_string(getpid());
    static bool made = std::system(("mkdir -p " + dir).c_str()) == 0 &&
                       std::atexit([] { (void)!std::system(("rm -rf " + dir).c_str()); }) == 0;
    if (!made)
        abort();
    const std::string in = dir + "/in.gpx", out = dir + "/out.asc", gpx = dir + "/back.gpx", again = dir + "/again.asc";
    if (FILE* f = std::fopen(in.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    std::remove(out.c_str());
    const GpxPoints which = (GpxPoints)(data[0] % 3);
    ConvertCounts c = ConvertGpxToPoi(Wide(in), L"in.gpx", Wide(out), which, Ignore, nullptr);
    // No temporary file is left beside OUT.
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const size_t n = std::strlen(entry->d_name);
            if (n > 5 && std::strcmp(entry->d_name + n - 5, ".part") == 0)
                abort();
        }
        closedir(folder);
    }
    if (!c.written)
        return 0;
    // Every line a position the search ranks, and one entry of the list.
    auto reader = std::make_unique<TextReader>();
    if (!TextOpenRead(reader.get(), Wide(out).c_str()))
        abort();
    static wchar_t line[kTextLen];
    long lines = 0;
    while (TextReadLine(reader.get(), line, kTextLen)) {
        lines++;
        if (TextLastPiece(reader.get()).cut || !HoldsPosition(line))
            abort();
    }
    TextClose(reader.get());
    if (lines != c.points)
        abort();
    // Back to GPX and once more to a POI file: the same bytes.
    ConvertCounts g = ConvertPoiToGpx(Wide(out), L"out.asc", Wide(gpx), false, Ignore, nullptr);
    if (!g.written || g.points != c.points)
        abort();
    ConvertCounts a = ConvertGpxToPoi(Wide(gpx), L"back.gpx", Wide(again), kGpxWaypoints, Ignore, nullptr);
    // (Longitude 180 goes to GPX as -180, the same meridian.)
    const std::string first = ReadAll(out.c_str());
    if (!a.written || (ReadAll(again.c_str()) != first && first.find("180.000000,") == std::string::npos))
        abort();
    return 0;
}
