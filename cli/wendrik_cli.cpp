// wendrik-cli: the proximity search, the distance, the navigation
// position and a check of POI files on the command line, on the same code
// as the dialogs.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "geo.h"
#include "nearest.h"
#include "textread.h"
#include "textwrite.h"
#include "wtext.h"

namespace {

const char kUsage[] =
    "usage: wendrik-cli near FILE LAT LON\n"
    "       wendrik-cli distance LAT1 LON1 LAT2 LON2\n"
    "       wendrik-cli position X Y\n"
    "       wendrik-cli check [--quiet] FILE...\n"
    "\n"
    "  near      the five POIs of FILE nearest to LAT, LON (decimal degrees),\n"
    "            as the search dialog's \"suche\" lists them\n"
    "  distance  distance in km, initial bearing in degrees and compass point\n"
    "  position  navigation Mercator metres X, Y (as the registry holds them)\n"
    "            to the latitude and longitude that \"Position\" shows\n"
    "  check     what the device makes of POI files: every line the search\n"
    "            skips and why, positions out of range, duplicates, long lines,\n"
    "            characters the list cannot show (FILE:LINE: message), then a\n"
    "            summary a file; --quiet: the summaries only. Exit code 0 when\n"
    "            the search can use every line, 1 when it skips some or a file\n"
    "            cannot be read\n";

// Everything the search needs, static as in the program: no large stack.
struct CliState {
    TextReader reader;
    NearestSlot slots[kNearestCount];
    Text lineBuf;
    Text path;
    TextWriter out;
};
CliState state;

int Fail(const char* what, const wchar_t* arg)
{
    std::fprintf(stderr, "wendrik-cli: %s: %ls\n", what, arg);
    return 2;
}

// A coordinate as the search dialog reads its field: the first 79
// characters, the number at their start. False when there is none.
bool ReadDegrees(const wchar_t* arg, double* value)
{
    wchar_t field[80];
    CopyText(field, CountOf(field), arg);
    wchar_t* end;
    *value = ParseNumber(field, &end);
    return end != field;
}

// Mercator metres as the registry's 4-byte values hold them.
bool ReadMetres(const wchar_t* arg, double* value)
{
    wchar_t* end;
    errno = 0;
    long long n = std::wcstoll(arg, &end, 10);
    if (end == arg || *end != L'\0' || errno != 0 || n < -2147483648LL || n > 4294967295LL)
        return false;
    // The 4 bytes are signed metres: negative west and south; a number
    // written as the unsigned bytes reads the same.
    *value = (double)(int32_t)(uint32_t)n;
    return true;
}

void Print(const wchar_t* text)
{
    TextWrite(&state.out, text);
}

int Near(wchar_t** args)
{
    double lat, lon;
    if (!ReadDegrees(args[1], &lat))
        return Fail("not a latitude", args[1]);
    if (!ReadDegrees(args[2], &lon))
        return Fail("not a longitude", args[2]);
    if (!CopyText(state.path, CountOf(state.path), args[0]))
        return Fail("path too long", args[0]);
    wchar_t* parseEnd = nullptr;
    if (!SearchNearest(&state.reader, state.path, lat, lon, state.slots, state.lineBuf, &parseEnd)) {
        std::fprintf(stderr, "wendrik-cli: cannot read %ls (missing, a folder, or not readable)\n", args[0]);
        return 1;
    }
    if (TextReadFailed(&state.reader)) {
        std::fprintf(stderr, "wendrik-cli: cannot read %ls: a read failed part way\n", args[0]);
        return 1;
    }
    for (const NearestSlot& slot : state.slots)
        if (slot.distanceKm < kSlotEmpty)
            Print(slot.text);
    return 0;
}

int Distance(wchar_t** args)
{
    double v[4];
    for (int i = 0; i < 4; i++)
        if (!ReadDegrees(args[i], &v[i]))
            return Fail("not a number", args[i]);
    double km, bearing;
    ComputeDistanceBearing(v[0], v[1], v[2], v[3], km, bearing);
    wchar_t line[128];
    std::swprintf(line, CountOf(line), L"%.3f km %.2f %ls\n", km, bearing, CompassPoint(bearing));
    Print(line);
    return 0;
}

int Position(wchar_t** args)
{
    double x, y;
    if (!ReadMetres(args[0], &x))
        return Fail("not a whole number of metres", args[0]);
    if (!ReadMetres(args[1], &y))
        return Fail("not a whole number of metres", args[1]);
    double lat, lon;
    MercatorToGeo(x, y, lat, lon);
    wchar_t line[128];
    std::swprintf(line, CountOf(line), L"%.6f %.6f\n", lat, lon);
    Print(line);
    return 0;
}

int Check(int argc, wchar_t** args)
{
    bool quiet = argc > 0 && std::wcscmp(args[0], L"--quiet") == 0;
    if (quiet) {
        args++;
        argc--;
    }
    if (argc == 0) {
        std::fprintf(stderr, "wendrik-cli: check takes one or more files\n%s", kUsage);
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; i++) {
        std::wstring report;
        CheckCounts c = CheckPoiFile(args[i], args[i], quiet, &report);
        Print(report.c_str());
        if (!c.readable || c.skipped > 0)
            status = 1;
    }
    return status;
}

int Run(int argc, wchar_t** argv)
{
    TextAttachWrite(&state.out, stdout);
    if (argc < 2 || std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::wcscmp(argv[1], L"check") == 0) {
        int status = Check(argc - 2, argv + 2);
        return TextFlush(&state.out) || status != 0 ? status : 1;
    }
    struct Command { const wchar_t* name; int args; int (*run)(wchar_t**); };
    const Command commands[] = {{L"near", 3, Near}, {L"distance", 4, Distance}, {L"position", 2, Position}};
    for (const Command& c : commands) {
        if (std::wcscmp(argv[1], c.name) != 0)
            continue;
        if (argc != c.args + 2) {
            std::fprintf(stderr, "wendrik-cli: %ls takes %d arguments\n%s", c.name, c.args, kUsage);
            return 2;
        }
        int status = c.run(argv + 2);
        if (!TextFlush(&state.out))
            return status == 0 ? 1 : status;
        return status;
    }
    return Fail("unknown command (see --help)", argv[1]);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    return Run(argc, argv);
}
#else
int main(int argc, char** argv)
{
    // Arguments and paths in the user's character set, numbers with ".".
    std::setlocale(LC_CTYPE, "");
    if (MB_CUR_MAX == 1)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<std::wstring> storage(argc);
    std::vector<wchar_t*> wide(argc + 1);
    for (int i = 0; i < argc; i++) {
        std::mbstate_t st{};
        const char* src = argv[i];
        size_t n = std::mbsrtowcs(nullptr, &src, 0, &st);
        if (n != (size_t)-1) {
            storage[i].resize(n);
            src = argv[i];
            st = std::mbstate_t{};
            std::mbsrtowcs(&storage[i][0], &src, n, &st);
        }
        wide[i] = &storage[i][0];
    }
    return Run(argc, wide.data());
}
#endif
