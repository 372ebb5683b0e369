// wendrik-cli: the proximity search, the distance, the navigation
// position and a check of POI files on the command line, on the same code
// as the dialogs.
#include <cerrno>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "cli/check.h"
#include "cli/convert.h"
#include "geo/geo.h"
#include "search/nearest.h"
#include "search/number.h"
#include "search/poiline.h"
#include "text/fileio.h"
#include "text/textread.h"
#include "text/textwrite.h"
#include "text/wtext.h"

namespace {

const char kUsage[] =
    "usage: wendrik-cli near FILE LAT LON\n"
    "       wendrik-cli distance LAT1 LON1 LAT2 LON2\n"
    "       wendrik-cli position X Y\n"
    "       wendrik-cli check [--quiet] FILE...  (options may follow the files)\n"
    "       wendrik-cli convert [--route | --track] IN OUT\n"
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
    "            the search can use every line, 1 when it skips some, line ends\n"
    "            hide some, or a file cannot be read\n"
    "  convert   GPX (.gpx) to a POI file (.asc), or a POI file to GPX: the\n"
    "            waypoints, with --route the route points (a tour), with\n"
    "            --track the track points; a POI file's lines become waypoints,\n"
    "            with --route one route. Points left out are reported as\n"
    "            FILE:LINE: message. Exit code 0 when every point was\n"
    "            converted, 1 when some were left out or IN cannot be read or\n"
    "            parsed (OUT is then as it was), 2 for wrong arguments\n";

// Everything the search needs, static as in the program: no large stack.
struct CliState {
    TextReader reader;
    NearestSlot slots[kNearestCount];
    Text lineBuf;
    Text path;
    TextWriter out;
    TextWriter err;
};
CliState state;

// Messages name files as they were given, whatever their character set.
void Complain(const wchar_t* message, const wchar_t* arg, const wchar_t* after = L"")
{
    TextWrite(&state.err, L"wendrik-cli: ");
    TextWrite(&state.err, message);
    TextWrite(&state.err, arg);
    TextWrite(&state.err, after);
    TextWrite(&state.err, L"\n");
    TextFlush(&state.err);
}

int Fail(const wchar_t* what, const wchar_t* arg)
{
    Complain((std::wstring(what) + L": ").c_str(), arg);
    return 2;
}

// A coordinate as the search dialog reads its field: the first 79
// characters, the number at their start. False when there is none, and
// for "inf" and "nan", which are no place.
bool ReadDegrees(const wchar_t* arg, double* value)
{
    wchar_t field[80];
    CopyText(field, CountOf(field), arg);
    wchar_t* end;
    *value = ParseNumber(field, &end);
    return end != field && std::isfinite(*value);
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
        return Fail(L"not a latitude", args[1]);
    if (!ReadDegrees(args[2], &lon))
        return Fail(L"not a longitude", args[2]);
    if (!PositionHasDistance(lat, lon))
        return Fail(L"no distance can be had from this position", args[1]);
    if (!CopyText(state.path, CountOf(state.path), args[0]))
        return Fail(L"path too long", args[0]);
    wchar_t* parseEnd = nullptr;
    if (!SearchNearest(&state.reader, state.path, lat, lon, state.slots, state.lineBuf, &parseEnd)) {
        Complain(L"cannot read ", args[0], L" (missing, a folder, not a regular file, or not readable)");
        return 1;
    }
    if (TextReadFailed(&state.reader)) {
        Complain(L"cannot read ", args[0], L": a read failed part way");
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
            return Fail(L"not a finite number", args[i]);
    double km, bearing;
    ComputeDistanceBearing(v[0], v[1], v[2], v[3], km, bearing);
    if (std::isnan(km))
        return Fail(L"numbers too large to give a distance", args[0]);
    wchar_t line[128];
    std::swprintf(line, CountOf(line), L"%.3f km %.2f %ls\n", km, bearing, CompassPoint(bearing));
    Print(line);
    return 0;
}

int Position(wchar_t** args)
{
    double x, y;
    if (!ReadMetres(args[0], &x))
        return Fail(L"not a whole number of metres", args[0]);
    if (!ReadMetres(args[1], &y))
        return Fail(L"not a whole number of metres", args[1]);
    double lat, lon;
    MercatorToGeo(x, y, lat, lon);
    wchar_t line[128];
    std::swprintf(line, CountOf(line), L"%.6f %.6f\n", lat, lon);
    Print(line);
    return 0;
}

// Each line of the report as it is found; false once the output is gone
// (a closed pipe), which ends the run.
bool PrintReportLine(void*, const std::wstring& line)
{
    Print(line.c_str());
    return !state.out.failed && std::ferror(stdout) == 0;
}

int Check(int argc, wchar_t** args)
{
    // Options may stand anywhere; "--" ends them.
    bool quiet = false, options = true;
    std::vector<const wchar_t*> files;
    for (int i = 0; i < argc; i++) {
        if (options && std::wcscmp(args[i], L"--") == 0)
            options = false;
        else if (options && std::wcscmp(args[i], L"--quiet") == 0)
            quiet = true;
        else if (options && args[i][0] == L'-' && args[i][1] == L'-')
            return Fail(L"unknown option for check", args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "wendrik-cli: check takes one or more files\n%s", kUsage);
        return 2;
    }
    int status = 0;
    for (const wchar_t* file : files) {
        CheckCounts c = CheckPoiFile(file, file, quiet, PrintReportLine, nullptr);
        if (c.stopped)
            return 1;
        if (CheckFoundLoss(c))
            status = 1;
    }
    return status;
}

// The format of a file by its extension, any case: 'g' GPX, 'a' POI
// file, 0 neither.
char FormatOf(const wchar_t* path)
{
    const wchar_t* dot = std::wcsrchr(path, L'.');
    if (dot == nullptr || std::wcslen(dot) != 4)
        return 0;
    wchar_t ext[4];
    for (int i = 0; i < 3; i++)
        ext[i] = (wchar_t)std::towlower(dot[1 + i]);
    ext[3] = L'\0';
    return std::wcscmp(ext, L"gpx") == 0 ? 'g' : std::wcscmp(ext, L"asc") == 0 ? 'a' : 0;
}

std::wstring Counted(long n, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

int Convert(int argc, wchar_t** args)
{
    bool route = false, track = false, options = true;
    std::vector<const wchar_t*> files;
    for (int i = 0; i < argc; i++) {
        if (options && std::wcscmp(args[i], L"--") == 0)
            options = false;
        else if (options && std::wcscmp(args[i], L"--route") == 0)
            route = true;
        else if (options && std::wcscmp(args[i], L"--track") == 0)
            track = true;
        else if (options && args[i][0] == L'-' && args[i][1] == L'-')
            return Fail(L"unknown option for convert", args[i]);
        else
            files.push_back(args[i]);
    }
    if (route && track) {
        std::fprintf(stderr, "wendrik-cli: convert takes --route or --track, not both\n");
        return 2;
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "wendrik-cli: convert takes IN and OUT\n%s", kUsage);
        return 2;
    }
    const char from = FormatOf(files[0]), to = FormatOf(files[1]);
    if (from == 0)
        return Fail(L"not a .gpx or .asc file name", files[0]);
    if (to == 0)
        return Fail(L"not a .gpx or .asc file name", files[1]);
    if (from == to)
        return Fail(L"converts GPX to a POI file (.asc) or a POI file to GPX, not to its own format", files[1]);
    if (from == 'a' && track)
        return Fail(L"--track takes the track points of GPX; a POI file has none", files[0]);
    ConvertCounts c;
    std::wstring summary = std::wstring(files[1]) + L": ";
    if (from == 'g') {
        c = ConvertGpxToPoi(files[0], files[0], files[1],
                            route ? kGpxRoutePoints : track ? kGpxTrackPoints : kGpxWaypoints, PrintReportLine, nullptr);
        summary += route   ? Counted(c.points, L"route point", L"route points")
                   : track ? Counted(c.points, L"track point", L"track points")
                           : Counted(c.points, L"waypoint", L"waypoints");
    } else {
        c = ConvertPoiToGpx(files[0], files[0], files[1], route, PrintReportLine, nullptr);
        summary += route ? Counted(c.points, L"point of one route", L"points of one route")
                         : Counted(c.points, L"waypoint", L"waypoints");
    }
    summary += L" from " + std::wstring(files[0]);
    if (c.skipped > 0)
        summary += L", " + std::to_wstring(c.skipped) + L" left out";
    if (from == 'g')
        summary += c.encoding == kEncodingCp1252 ? L", Windows-1252" : L", UTF-8 with a byte order mark";
    if (c.written)
        Print((summary + L"\n").c_str());
    return c.written && c.read && c.skipped == 0 && c.flagged == 0 ? 0 : 1;
}

int RunCommand(int argc, wchar_t** argv)
{
    if (argc < 2 || std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::wcscmp(argv[1], L"convert") == 0)
        return Convert(argc - 2, argv + 2);
    if (std::wcscmp(argv[1], L"check") == 0)
        return Check(argc - 2, argv + 2);
    struct Command { const wchar_t* name; int args; int (*run)(wchar_t**); };
    const Command commands[] = {{L"near", 3, Near}, {L"distance", 4, Distance}, {L"position", 2, Position}};
    for (const Command& c : commands) {
        if (std::wcscmp(argv[1], c.name) != 0)
            continue;
        if (argc != c.args + 2) {
            std::fprintf(stderr, "wendrik-cli: %ls takes %d arguments\n%s", c.name, c.args, kUsage);
            return 2;
        }
        return c.run(argv + 2);
    }
    return Fail(L"unknown command (see --help)", argv[1]);
}

int Run(int argc, wchar_t** argv)
{
    TextAttachWrite(&state.out, stdout);
    TextAttachWrite(&state.err, stderr);
    const int status = RunCommand(argc, argv);
    // What could not be printed makes a run that succeeded fail; a full
    // disk behind standard output loses what was printed: said.
    if (!TextFlush(&state.out) || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        // (A reader that stopped reading, as head does, needs no word.)
        if (errno != EPIPE)
            Complain(L"cannot write to standard output", L"", L" (a full disk?): what it shows is not all");
        return status == 0 ? 1 : status;
    }
    return status;
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
    // A name in another character set (Latin-1 bytes from an old card)
    // keeps its bytes, so that it opens and prints as given.
    std::vector<std::vector<wchar_t>> storage(argc);
    std::vector<wchar_t*> wide(argc + 1);
    for (int i = 0; i < argc; i++) {
        storage[i].resize(std::strlen(argv[i]) + 1);
        WidenFileName(argv[i], storage[i].data(), storage[i].size());
        wide[i] = storage[i].data();
    }
    return Run(argc, wide.data());
}
#endif
