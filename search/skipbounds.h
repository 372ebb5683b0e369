// Where a line of a POI file can no longer be taken by the search, given
// the distance of the farthest of its five slots: latitudes north and
// south of a band round the reference, and, inside the band, longitudes
// farther than a reach and positions outside an ellipse. Made in whole
// microdegrees when the farthest slot changes, and as integers in the
// units of a count of decimals when a line with that count first needs
// them, so that most lines are decided by comparing their digits: on the
// device every double operation is a library call.
//
// Every bound leans towards reading a line: a line is skipped only where
// its distance is provably no less than the farthest slot's. The margins
// that make it so are named in skipbounds.cpp, each with its reason.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>
#include <type_traits>

#include "text/intrinsics.h"

// What the bounds say of a line.
enum LineVerdict {
    kDecode,         // it may be taken: decode it and compute
    kSkip,           // it cannot be taken
    kAskLongitude,   // inside the latitude band: its longitude decides
};

// Counts of decimals a number may be read with as an integer (up to 15
// digits in all), and those the 32-bit reading takes (up to 9 digits).
constexpr int kScales = 16;
constexpr int kNarrowScales = 8;

// The bounds in the units of one count of decimals (9.77134 is 977134 in
// units of 5 decimals), in the width the digits were read in.
template <typename Int>
struct ScaledBounds {
    using Unsigned = typename std::make_unsigned<Int>::type;
    uint32_t latGeneration, lonGeneration;   // made for these generations
    Int limit;           // 90 degrees: beyond, the search computes the distance itself
    Int south, north;    // latitudes at or beyond are too far
    // A longitude in neither range (low and the span above it, the second
    // where the reach comes round past 180 degrees) is too far.
    Int lonLimit, lonLow, wrapLow;
    Unsigned lonSpan, wrapSpan;
    Int refLat, refLon;  // the reference, rounded (up to 7 decimals)
    // Inside the ranges, a line whose differences from the reference in
    // units meet dLat² + c dLon² > nearSquare is too far (0: no such
    // test); c is cos16 / 2^16.
    uint64_t nearSquare;
    uint32_t cos16;
};

struct SkipBounds {
    double refLat, refLon, cosRefLat, sinRefLat;
    bool refUsable;       // the reference position allows bounds at all
    // The reference in microdegrees, rounded down and up a further one.
    int32_t refLatLow, refLatHigh, refLonLow, refLonHigh;
    double farthest;      // the distance the bounds are made for
    uint32_t generation;  // counts changes of the farthest slot
    bool active;          // bounds exist for this generation
    int32_t reachMicro;   // a latitude difference beyond is too far
    int32_t southMicro, northMicro;   // latitudes at or beyond are too far
    int32_t southWhole, northWhole;   // the same in whole degrees, rounded outwards
    bool lonKnown;        // the longitude reach made for this generation
    bool lonBounded;      // ... and there is one: else any longitude may be near
    int32_t lonReachMicro;   // greatest longitude difference to a line that may be near
    float cosProduct;     // at most cos φ0 cos φ for the reference's φ0 and any φ of the band
    uint32_t ellipseExtra;   // the ellipse's factor less one, in units of 2^-32 (0: no ellipse)
    ScaledBounds<int64_t> wide[kScales];
    ScaledBounds<int32_t> narrow[kNarrowScales];
};

// Bounds for a search from refLat, refLon, none active yet.
void InitBounds(SkipBounds* b, double refLat, double refLon);

// The farthest slot's distance changed (or the slots were emptied).
void UpdateBounds(SkipBounds* b, double farthest);

template <typename Int>
void MakeLatitudeBounds(SkipBounds* b, unsigned dec);

// The verdict on a line inside the latitude band: by its longitude, and
// where both numbers have the same count of decimals, by the ellipse. Few
// lines get here, so it stays out of the loop.
template <typename Int>
WENDRIK_NOINLINE LineVerdict LongitudeVerdict(SkipBounds* b, Int lat, unsigned latDec, Int lon,
                                              unsigned lonDec);

inline ScaledBounds<int64_t>& Scaled(SkipBounds* b, unsigned dec, int64_t) { return b->wide[dec]; }
inline ScaledBounds<int32_t>& Scaled(SkipBounds* b, unsigned dec, int32_t) { return b->narrow[dec]; }

// The verdict by the latitude alone: kAskLongitude inside the band. Int
// is the width its digits were read in.
template <typename Int>
WENDRIK_ALWAYS_INLINE LineVerdict LatitudeVerdict(SkipBounds* b, Int lat, unsigned latDec)
{
    if (!b->active)
        return kDecode;
    ScaledBounds<Int>& s = Scaled(b, latDec, Int());
    if (s.latGeneration != b->generation)
        MakeLatitudeBounds<Int>(b, latDec);
    // Past a pole the search computes the distance itself.
    if (lat < -s.limit || lat > s.limit)
        return kDecode;
    // Lines lie north or south of the band in no order the processor could
    // guess: south < lat < north in one unsigned comparison, not two.
    using Unsigned = typename ScaledBounds<Int>::Unsigned;
    if ((Unsigned)(lat - s.south - 1) >= (Unsigned)(s.north - s.south - 1))
        return kSkip;
    return kAskLongitude;
}

// The verdict on a position by the bounds.
template <typename Int>
WENDRIK_ALWAYS_INLINE LineVerdict BoundsVerdict(SkipBounds* b, Int lat, unsigned latDec, Int lon, unsigned lonDec)
{
    const LineVerdict verdict = LatitudeVerdict(b, lat, latDec);
    return verdict == kAskLongitude ? LongitudeVerdict(b, lat, latDec, lon, lonDec) : verdict;
}

// Whether a latitude of whole degrees whole (with its sign; negative: the
// number starts with a minus, also for -0.5) lies whole degrees south or
// north of the band. Its value, fraction and rounding included, lies
// between lo and lo + 1 degrees. A latitude of 90 or more is left to the
// search, which computes the distance past a pole itself.
WENDRIK_ALWAYS_INLINE bool WholeDegreesOutside(const SkipBounds* b, int32_t whole, bool negative)
{
    if (whole >= 90 || whole <= -90)
        return false;
    const int32_t lo = negative ? whole - 1 : whole;
    // Outside unless southWhole <= lo < northWhole, in one comparison.
    return (uint32_t)(lo - b->southWhole) >= (uint32_t)(b->northWhole - b->southWhole);
}
