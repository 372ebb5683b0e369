// The rule that decides which line of a POI file holds a position the
// search can rank, and why another does not. The search, "OK" in the
// search dialog, check and convert all ask it; the search's reading of
// undecoded bytes (lineverdict.h) is a faster form of it, held to it by
// the tests.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

// Why a line (a list entry) gives the search no position, or that it does.
enum PoiLineVerdict {
    kPoiPosition,               // a position the search ranks
    kPoiEmpty,                  // nothing before the line feed
    kPoiNoLongitude,            // no number where the longitude should be
    kPoiJoinedMark,             // ... but a byte order mark of a second file joined on
    kPoiNothingAfterLongitude,  // the line ends after the longitude
    kPoiNoLatitude,             // no number one character after the longitude
    kPoiZeroZero,               // 0,0: the usual mark of a missing position
    kPoiNotFinite,              // "inf" or "nan"
    kPoiNoDistance,             // a number so large that no distance can be had
};

struct PoiPosition {
    double lon, lat;        // degrees, as the line writes them
    const wchar_t* lonEnd;  // right after the longitude (the search's parseEnd)
    const wchar_t* latEnd;  // right after the latitude
};

// The position of a line: the longitude as wcstod reads it from the
// start, the latitude from one UTF-16 unit after the longitude's end,
// whatever that unit is. Not a position: either number missing,
// 0,0, and a position from which no distance can be had. *at holds what
// was read, as far as it was.
PoiLineVerdict ReadPoiLine(const wchar_t* line, PoiPosition* at);

// True when the line holds a position the search ranks.
bool HoldsPosition(const wchar_t* line);

// True when a position has a distance from anywhere. Numbers so large
// (beyond some 5.7e307) that their conversion to radians overflows have
// none, and neither have "inf" and "nan".
bool PositionHasDistance(double lat, double lon);
