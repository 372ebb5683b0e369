#include "search/poiline.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "geo/geo.h"
#include "search/number.h"
#include "text/utf8.h"

namespace {

// A byte order mark where the longitude should be: two files joined into
// one, the second keeping its mark ("\u00ef\u00bb\u00bf" when the file reads
// as Windows-1252).
bool StartsWithByteOrderMark(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        text++;
    return text[0] == 0xFEFF || (text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF);
}

// The magnitude of a double below which a position certainly has a
// distance: 2^996, some 6.7e299, far short of the 5.7e307 from which the
// conversion to radians overflows. Told from the bits, for on the device
// every double comparison is a library call.
constexpr uint64_t kSafeMagnitudeBits = (uint64_t)(1023 + 996) << 52;

bool SafelyFinite(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & ~((uint64_t)1 << 63)) < kSafeMagnitudeBits;
}

}  // namespace

bool PositionHasDistance(double lat, double lon)
{
    // Short of the edge where degrees overflow in radians every finite
    // position has a distance; only beyond it is one computed to tell.
    if (SafelyFinite(lat) && SafelyFinite(lon))
        return true;
    double d, bearing;
    ComputeDistanceBearing(0, 0, lat, lon, d, bearing);
    return !std::isnan(d);
}

PoiLineVerdict ReadPoiLine(const wchar_t* line, PoiPosition* at)
{
    wchar_t* end;
    at->lon = ParseNumber(line, &end);
    at->lonEnd = at->latEnd = end;
    at->lat = 0;
    if (end == line) {
        if (StartsWithByteOrderMark(line))
            return kPoiJoinedMark;
        return line[0] == L'\n' || line[0] == L'\0' ? kPoiEmpty : kPoiNoLongitude;
    }
    if (*end == L'\0' || *end == L'\n')
        return kPoiNothingAfterLongitude;
    // The latitude starts one UTF-16 unit after the longitude, as on the
    // device: after a separator beyond U+FFFF stands its second half.
    if (Utf16Units((uint32_t)*end) > 1)
        return kPoiNoLatitude;
    const wchar_t* start = end + 1;
    at->lat = ParseNumber(start, &end);
    at->latEnd = end;
    if (end == start)
        return kPoiNoLatitude;
    if (at->lon == 0 && at->lat == 0)
        return kPoiZeroZero;
    if (SafelyFinite(at->lat) && SafelyFinite(at->lon))
        return kPoiPosition;
    if (!std::isfinite(at->lon) || !std::isfinite(at->lat))
        return kPoiNotFinite;
    return PositionHasDistance(at->lat, at->lon) ? kPoiPosition : kPoiNoDistance;
}

bool HoldsPosition(const wchar_t* line)
{
    PoiPosition at;
    return ReadPoiLine(line, &at) == kPoiPosition;
}
