#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "cli/convert.h"
#include "cli/degrees.h"
#include "cli/outfile.h"
#include "search/poiline.h"
#include "text/fileio.h"
#include "text/textread.h"
#include "text/textwrite.h"
#include "text/utf8.h"
#include "text/wtext.h"

namespace {


// Text for XML: the five marks escaped, and what XML 1.0 cannot hold (most
// control characters, lone surrogate halves) made a space.
std::wstring XmlText(const std::wstring& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size(); i++) {
        const uint32_t c = (uint32_t)s[i];
        if (c == L'&')
            out += L"&amp;";
        else if (c == L'<')
            out += L"&lt;";
        else if (c == L'>')
            out += L"&gt;";
        else if (c == L'"')
            out += L"&quot;";
        else if ((c < 0x20 && c != L'\t') || c == 0xFFFE || c == 0xFFFF)
            out += L' ';
        else if (sizeof(wchar_t) == 2 && IsHighSurrogate(c) && i + 1 < s.size() &&
                 IsLowSurrogate((uint32_t)s[i + 1])) {
            out += s[i];
            out += s[++i];
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c))
            out += L' ';
        else
            out += (wchar_t)c;
    }
    return out;
}

// The name on a POI line: the rest after the latitude, without the
// separator before it, the white space round it and the quotes that
// enclose it (quotes inside are the name's).
std::wstring NameAfter(const wchar_t* rest)
{
    if (*rest != L'\0' && *rest != L'\n' && *rest != L'"')
        rest++;
    std::wstring name;
    for (; *rest != L'\0' && *rest != L'\n'; rest++)
        name += *rest;
    auto trim = [&name] {
        size_t b = 0, e = name.size();
        while (b < e && IsBlank(name[b]))
            b++;
        while (e > b && IsBlank(name[e - 1]))
            e--;
        name = name.substr(b, e - b);
    };
    trim();
    if (!name.empty() && name.front() == L'"')
        name.erase(0, 1);
    if (!name.empty() && name.back() == L'"')
        name.pop_back();
    trim();
    return name;
}

// A coordinate for GPX: nine decimals at most, trailing zeros dropped.
std::wstring GpxDegrees(double v)
{
    std::wstring s = FormatDegrees(v, 9);
    while (!s.empty() && s.back() == L'0')
        s.pop_back();
    if (!s.empty() && s.back() == L'.')
        s.pop_back();
    return s == L"-0" ? L"0" : s;
}

// A file name as text: a Latin-1 name from an old card shows its letters.
std::wstring ShownName(const std::wstring& name)
{
    std::vector<wchar_t> text(name.size() + 1);
    FileNameAsText(name.c_str(), text.data(), text.size());
    return text.data();
}

// The file's name without folder and extension, for the route's name.
std::wstring BaseName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"/\\");
    std::wstring base = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = base.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? base : base.substr(0, dot);
}
}  // namespace

ConvertCounts ConvertPoiToGpx(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              bool route, CheckSink sink, void* context)
{
    ConvertCounts counts = {};
    counts.encoding = kEncodingUtf8;
    auto reader = std::make_unique<TextReader>();
    if (!TextOpenRead(reader.get(), in.c_str())) {
        ReportAt(sink, context, inName, 0, L"cannot read it (missing, a folder, not a regular file, or not readable)");
        return counts;
    }
    auto replacement = std::make_unique<Replacement>();
    const ReplaceProblem problem = BeginReplacement(out.c_str(), replacement.get());
    if (problem != kReplaceOk) {
        TextClose(reader.get());
        ReportAt(sink, context, out, 0, ReplaceProblemWords(problem));
        return counts;
    }
    // On the way, check says which lines the search skips and what the
    // device reads otherwise than it was written.
    CheckFeedPtr check = BeginCheckFeed(inName, kFindSkipped | kFindLoneCr | kFindNul | kFindGarbled | kFindTrailingNul,
                                        sink, context, reader.get());
    TextWriter w;
    TextAttachWrite(&w, replacement->file);
    TextWrite(&w, L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  L"<gpx version=\"1.1\" creator=\"wendrik-cli\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n");
    if (route)
        TextWrite(&w, (L"  <rte>\n    <name>" + XmlText(BaseName(ShownName(inName))) + L"</name>\n").c_str());
    Text piece;
    bool stopped = false;
    while (!stopped && TextReadLine(reader.get(), piece, kTextLen)) {
        // Every list entry the search ranks is a waypoint, a later piece of
        // a long line too; check reports the lines it skips.
        const CheckedPiece entry = FeedCheck(check.get(), piece);
        stopped = CheckFeedStopped(check.get());
        if (entry.verdict != kPoiPosition || stopped)
            continue;
        double lon = entry.at.lon;
        const double lat = entry.at.lat;
        if (std::fabs(lat) > 90 || std::fabs(lon) > 180) {
            counts.skipped++;
            stopped = !ReportAt(sink, context, inName, entry.line,
                              L"left out: position outside -180..180 / -90..90, which no GPX point can hold");
            continue;
        }
        if (lon == 180)
            lon = -180;   // one meridian; GPX takes it as -180
        std::wstring point = route ? L"    <rtept" : L"  <wpt";
        point += L" lat=\"" + GpxDegrees(lat) + L"\" lon=\"" + GpxDegrees(lon) + L"\">";
        const std::wstring name = NameAfter(entry.at.latEnd);
        if (!name.empty())
            point += L"<name>" + XmlText(name) + L"</name>";
        point += route ? L"</rtept>\n" : L"</wpt>\n";
        TextWrite(&w, point.c_str());
        counts.points++;
    }
    if (route)
        TextWrite(&w, L"  </rte>\n");
    TextWrite(&w, L"</gpx>\n");
    if (!stopped) {
        const CheckCounts& found = EndCheckFeed(check.get());
        stopped = found.stopped;
        counts.skipped += found.skipped;
        counts.flagged = found.hiddenPositions + found.nulLines + found.garbledLines + (found.trailingNuls > 0 ? 1 : 0);
    }
    counts.read = !TextReadFailed(reader.get()) && !stopped;
    TextClose(reader.get());
    const bool closed = TextFlush(&w);
    if (!counts.read || !closed || !FinishReplacement(replacement.get())) {
        AbandonReplacement(replacement.get());
        if (!counts.read && !stopped)
            ReportAt(sink, context, inName, 0, L"cannot read it: a read failed part way");
        else if (counts.read)
            ReportAt(sink, context, out, 0, L"cannot write it (a full disk?); left as it was");
        counts.read = counts.read && closed;
        return counts;
    }
    counts.written = true;
    return counts;
}
