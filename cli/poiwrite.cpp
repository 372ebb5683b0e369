#include <cstdint>
#include <memory>

#include "cli/convert.h"
#include "cli/degrees.h"
#include "cli/gpxread.h"
#include "cli/outfile.h"
#include "text/cp1252.h"
#include "text/textwrite.h"
#include "text/utf8.h"

namespace {

// A line of the device's list holds 1023 UTF-16 units with its line feed:
// the longest POI line written, without CR LF.
constexpr size_t kPoiLineUnits = 1022;

// The POI file being written, both ways until a name does not fit
// Windows-1252; the one to keep is known at the end.
struct PoiOut {
    Cp1252Utf8Check fit;      // do all names so far fit Windows-1252
    TextWriter* utf8;         // the file, in UTF-8 as it is written
    long points, skipped;
    CheckSink sink;
    void* context;
    const std::wstring* name;
};


// The name as the list shows it: the first of name, desc and cmt that
// holds more than white space; white space at its ends dropped, a line
// break with the blanks round it made one space, other control characters
// a space each, a double quote (which ends the name on the device) a
// single one.
std::wstring PoiName(const GpxPoint& g)
{
    for (int f = 0; f < kGpxFields; f++) {
        const wchar_t* t = g.text[f];
        const size_t e = g.textLen[f];
        std::wstring name;
        for (size_t i = 0; i < e; i++) {
            const wchar_t c = t[i];
            if (c == L'\n' || c == L'\r') {
                while (!name.empty() && name.back() == L' ')
                    name.pop_back();
                while (i + 1 < e && IsBlank(t[i + 1]))
                    i++;
                name += L' ';
            } else if (c == L'"') {
                name += L'\'';
            } else if ((unsigned)c < 0x20 || c == 0x7F || ((unsigned)c >= 0x80 && (unsigned)c < 0xA0)) {
                name += L' ';
            } else {
                name += c;
            }
        }
        // Trimmed once control characters are spaces: what a round trip
        // through GPX would trim.
        const size_t b = name.find_first_not_of(L' ');
        if (b == std::wstring::npos)
            continue;
        return name.substr(b, name.find_last_not_of(L' ') + 1 - b);
    }
    return std::wstring();
}

bool TakePoint(void* context, const GpxPoint& point)
{
    PoiOut* g = (PoiOut*)context;
    std::wstring problem = point.problem;
    std::wstring line;
    if (problem.empty()) {
        line = FormatDegrees(point.lon, 6) + L"," + FormatDegrees(point.lat, 6);
        // Both rounded to zero: the device takes 0,0 for no position.
        if (line.find_first_not_of(L"-0.,") == std::wstring::npos)
            problem = L"position 0,0, which the device takes for no position";
    }
    if (!problem.empty()) {
        g->skipped++;
        return ReportAt(g->sink, g->context, *g->name, point.line, L"point left out: " + problem);
    }
    std::wstring name = PoiName(point);
    line += L",\"";
    // Cut inside the name so that the line fits one entry of the list,
    // never between the halves of a surrogate pair.
    size_t room = kPoiLineUnits - line.size() - 1, units = 0, keep = 0;
    for (; keep < name.size(); keep++) {
        const size_t u = ((uint32_t)name[keep] >> 16) != 0 ? 2 : 1;   // beyond U+FFFF: a pair
        const bool pairStart = sizeof(wchar_t) == 2 && IsHighSurrogate((uint32_t)name[keep]);
        if (units + u + (pairStart ? 1 : 0) > room)
            break;
        units += u;
    }
    name.resize(keep);
    line += name;
    line += L"\"\n";
    TextWrite(g->utf8, line.c_str());
    Cp1252CheckText(&g->fit, name.c_str());
    g->points++;
    return true;
}


// Why no point was converted, from what the file does hold.
std::wstring NothingConverted(GpxPoints which, const GpxContents& holds)
{
    static const wchar_t* const kNames[3][2] = {
        {L"waypoint", L"waypoints"}, {L"route point", L"route points"}, {L"track point", L"track points"}};
    static const wchar_t* const kOptions[3] = {L"without an option", L"--route", L"--track"};
    if (!holds.gpxRoot)
        return L"no GPX points: it is not a GPX file (its root element is not gpx)";
    std::wstring said = std::wstring(L"no ") + kNames[which][1] + L" in it";
    for (int kind = kGpxWaypoints; kind <= kGpxTrackPoints; kind++) {
        const long n = holds.points[kind];
        if (kind != which && n > 0)
            said += L"; it holds " + std::to_wstring(n) + L" " + kNames[kind][n == 1 ? 0 : 1] + L": " +
                    kOptions[kind] + L" takes them";
    }
    return said + L"; left as it was";
}

}  // namespace

ConvertCounts ConvertGpxToPoi(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              GpxPoints which, CheckSink sink, void* context)
{
    ConvertCounts counts = {};
    PoiOut poi = {};
    PoiOut* g = &poi;
    g->sink = sink;
    g->context = context;
    g->name = &inName;
    auto replacement = std::make_unique<Replacement>();
    const ReplaceProblem problem = BeginReplacement(out.c_str(), replacement.get());
    if (problem != kReplaceOk) {
        ReportAt(sink, context, out, 0, ReplaceProblemWords(problem));
        return counts;
    }
    // Written as UTF-8; where every name fits Windows-1252 the file is made
    // that in place at the end, so that one copy of it needs room.
    TextWriter utf8;
    TextAttachFile(&utf8, replacement->file, kEncodingUtf8);
    g->utf8 = &utf8;
    GpxContents holds;
    const bool read = ReadGpxPoints(in, inName, which, TakePoint, g, sink, context, &holds);
    counts.read = read;
    counts.points = g->points;
    counts.skipped = g->skipped;
    const bool useCp1252 = !g->fit.unfit && !Cp1252ReadsAsUtf8(&g->fit);
    counts.encoding = useCp1252 ? kEncodingCp1252 : kEncodingUtf8;
    long long size = 0;
    const bool written = TextFlush(&utf8) &&
                         (!useCp1252 || (TextRewriteAsCp1252(replacement->file, &size) &&
                                         TruncateReplacement(replacement.get(), size)));
    if (!read || g->points == 0) {
        AbandonReplacement(replacement.get());
        if (read && g->skipped == 0)
            ReportAt(sink, context, inName, 0, NothingConverted(which, holds));
        return counts;
    }
    if (!written || !FinishReplacement(replacement.get())) {
        AbandonReplacement(replacement.get());
        ReportAt(sink, context, out, 0, L"cannot write it (a full disk?); left as it was");
        return counts;
    }
    counts.written = true;
    return counts;
}
