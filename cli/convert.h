// "wendrik-cli convert": places from GPX into POI files, and POI files
// (tours among them) back into GPX for a map on a PC.
// Reads GPX with expat as a stream: memory stays flat whatever the size.
// Writes OUT under a temporary name beside it and renames it into place
// only when complete, so that a failed conversion leaves no partial file
// and an existing OUT as it was.
#pragma once

#include <string>

#include "check.h"
#include "textread.h"

// Which points of a GPX file become POI lines.
enum GpxPoints {
    kGpxWaypoints,    // wpt
    kGpxRoutePoints,  // rtept of every route, in order: a tour
    kGpxTrackPoints,  // trkpt
};

struct ConvertCounts {
    bool read;              // IN was read and parsed to its end
    bool written;           // OUT is in place, complete
    long points;            // points written
    long skipped;           // points or lines left out, each reported
    TextEncoding encoding;  // of the POI file written
};

// GPX to a POI file: lines "lon,lat,"name"" with six decimals and CR LF,
// Windows-1252 where every character fits, else UTF-8 with a byte order
// mark. Each point left out, a malformed file or a failure goes to sink as
// "NAME:LINE: message" (NAME as the user gave IN), or "NAME: message"
// where no line applies.
ConvertCounts ConvertGpxToPoi(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              GpxPoints which, CheckSink sink, void* context);

// A POI file to GPX 1.1 in UTF-8: every line from which the search reads a
// position becomes a waypoint, or with route a point of one route in file
// order. Lines the search skips are reported as check reports them.
ConvertCounts ConvertPoiToGpx(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              bool route, CheckSink sink, void* context);

// A coordinate with a fixed count of decimals (at most 9), rounded from
// the double's exact value, half to even: the same digits on every build,
// whatever its C library's printf does.
std::wstring FormatDegrees(double value, int decimals);
