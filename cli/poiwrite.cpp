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
    TextWriter* utf8;         // the file in UTF-8
    TextWriter* cp1252;       // and in Windows-1252, while every name fits
    long points, skipped;
    CheckSink sink;
    void* context;
    const std::wstring* name;
};

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// The name as the list shows it: the first of name, desc and cmt that
// holds more than white space; white space at its ends dropped, a line
// break with the blanks round it made one space, other control characters
// a space each, a double quote (which ends the name on the device) a
// single one.
std::wstring PoiName(const GpxPoint& g)
{
    for (int f = 0; f < kGpxFields; f++) {
        const wchar_t* t = g.text[f];
        size_t b = 0, e = g.textLen[f];
        while (b < e && IsBlank(t[b]))
            b++;
        while (e > b && IsBlank(t[e - 1]))
            e--;
        if (b == e)
            continue;
        std::wstring name;
        for (size_t i = b; i < e; i++) {
            const wchar_t c = t[i];
            if (c == L'\n' || c == L'\r') {
                while (!name.empty() && IsBlank(name.back()))
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
        return name;
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
    if (g->cp1252 != nullptr) {
        Cp1252CheckText(&g->fit, name.c_str());
        if (g->fit.unfit)
            g->cp1252 = nullptr;   // this name has no Windows-1252 bytes: UTF-8 it is
        else
            TextWrite(g->cp1252, line.c_str());
    }
    g->points++;
    return true;
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
    // One pass over the GPX writes the file both ways until a name does
    // not fit Windows-1252; the one to keep is known at the end.
    const std::wstring partUtf8 = TemporaryName(out, L""), partCp1252 = TemporaryName(out, L"1252");
    TextWriter utf8, cp1252;
    if (!TextOpenWrite(&utf8, partUtf8.c_str(), kEncodingUtf8) ||
        !TextOpenWrite(&cp1252, partCp1252.c_str(), kEncodingCp1252)) {
        TextCloseWrite(&utf8);
        Discard(partUtf8);
        ReportAt(sink, context, out, 0, L"cannot write it (no such folder, or not writable)");
        return counts;
    }
    g->utf8 = &utf8;
    g->cp1252 = &cp1252;
    const bool read = ReadGpxPoints(in, inName, which, TakePoint, g, sink, context);
    counts.read = read;
    counts.points = g->points;
    counts.skipped = g->skipped;
    const bool useCp1252 = g->cp1252 != nullptr && !Cp1252ReadsAsUtf8(&g->fit);
    counts.encoding = useCp1252 ? kEncodingCp1252 : kEncodingUtf8;
    const bool closedUtf8 = TextCloseWrite(&utf8), closedCp1252 = TextCloseWrite(&cp1252);
    const bool closed = useCp1252 ? closedCp1252 : closedUtf8;
    const std::wstring& keep = useCp1252 ? partCp1252 : partUtf8;
    Discard(useCp1252 ? partUtf8 : partCp1252);
    if (!read || !closed || !PutInPlace(keep, out)) {
        Discard(keep);
        if (read)
            ReportAt(sink, context, out, 0, L"cannot write it (a full disk?); left as it was");
        return counts;
    }
    counts.written = true;
    return counts;
}
