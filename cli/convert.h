// "wendrik-cli convert": places from GPX into POI files (poiwrite.cpp),
// and POI files (tours among them) back into GPX for a map on a PC
// (gpxwrite.cpp). OUT is written as outfile.h says.
#pragma once

#include <string>

#include "cli/check.h"
#include "cli/gpxread.h"
#include "text/textread.h"

// White space as XML and the names of both formats know it.
inline bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

struct ConvertCounts {
    bool read;              // IN was read and parsed to its end
    bool written;           // OUT is in place, complete
    long points;            // points written
    long skipped;           // points or lines left out, each reported
    long flagged;           // lines the device reads otherwise than they were
                            // written (line ends of CR alone hiding positions,
                            // NULs, UTF-8 shown garbled), each reported
    TextEncoding encoding;  // of the POI file written
};

// GPX to a POI file: lines "lon,lat,"name"" with six decimals and CR LF,
// Windows-1252 where every character fits, else UTF-8 with a byte order
// mark. Each point left out, a malformed file or a failure goes to sink as
// "NAME:LINE: message" (NAME as the user gave IN), or "NAME: message"
// where no line applies.
ConvertCounts ConvertGpxToPoi(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              GpxPoints which, CheckSink sink, void* context);

// A POI file to GPX 1.1 in UTF-8: every list entry from which the search
// reads a position becomes a waypoint, or with route a point of one route
// in file order. Lines the search skips, and what the device reads
// otherwise than it was written, are reported as check reports them.
ConvertCounts ConvertPoiToGpx(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              bool route, CheckSink sink, void* context);
