// The plain computation of the nearest-five search, kept as the reference
// that the fast path must match line for line and digit for digit.
#pragma once

#include <cstdint>

#include "geo/geo.h"
#include "search/nearest.h"
#include "search/number.h"
#include "text/utf8.h"

// The plain path: the general number parser for both numbers, the full
// distance for every usable line, no shortcut.
inline void RankLinePlain(NearestSlot* slots, const wchar_t* line, double refLat, double refLon)
{
    wchar_t* end;
    double lon = ParseNumberGeneral(line, &end);
    if (end == line || *end == L'\0')
        return;
    // One UTF-16 unit on, as the device counts: a separator beyond U+FFFF
    // leaves its second half where the latitude would start.
    if (Utf16Units((uint32_t)*end) > 1)
        return;
    const wchar_t* start = end + 1;
    wchar_t* latEnd;
    double lat = ParseNumberGeneral(start, &latEnd);
    if (latEnd == start || (lon == 0 && lat == 0))
        return;
    double d, bearing;
    ComputeDistanceBearing(refLat, refLon, lat, lon, d, bearing);
    int c = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (slots[i].exactKm > slots[c].exactKm)
            c = i;
    if (!(d < slots[c].exactKm))
        return;
    slots[c].exactKm = d;
    slots[c].distanceKm = (int32_t)d;
    FormatResult(slots[c].text, kTextLen, line, d, CompassPoint(bearing));
}
