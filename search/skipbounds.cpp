#include "search/skipbounds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "geo/geo.h"

namespace {

// ---- The margins -------------------------------------------------------
// Each widens a bound outwards by far more than the rounding it covers.

// The distance is never below (1 - 3f) times the spherical 2aω (the band
// that ComputeDistanceBearing keeps it in), and ω is never below half the
// latitude difference while both latitudes lie within ±90. The margin
// covers the rounding of the double products many times over.
constexpr double kFloorRounding = 1e-9;
constexpr double kKmPerRadianAtLeast = kEquatorialRadiusKm * (1 - 3 * kFlattening) * (1 - kFloorRounding);
constexpr double kKmPerDegreeAtLeast = (kGeoPi / 180) * kKmPerRadianAtLeast;

// A reach computed in double from a distance: its few roundings, relative.
constexpr double kReachRounding = 1e-6;
// An angle in radians near zero, outwards: a nanoradian.
constexpr double kRadianSlack = 1e-9;
// A reach or a reference cut to whole microdegrees: one more microdegree
// each way (the product with 1e6 rounds, the conversion truncates).
constexpr int32_t kMicroRounding = 1;
// While the farthest slot lies beyond any distance on earth (half the
// circumference is some 20,000 km), or a slot is empty, every line may be taken.
constexpr double kFarthestBounded = 25000;
// A band that reaches within a tenth of a degree of a pole: any longitude
// may be near.
constexpr int32_t kPoleGuardMicro = 89900000;
// The reference's cosine in double, rounded down: relative and absolute.
constexpr double kCosRounding = 1e-9, kCosRoundingAbsolute = 1e-12;
// The single-precision reach: each float operation rounds by less than
// 1e-7 of itself; every factor leans by 1e-5, the series of cos by 1e-6
// absolute (its first dropped term, r⁴/24, is below 3e-7 for r below 0.5).
constexpr float kFloatRounding = 1e-5f;
constexpr float kFloatRoundingAbsolute = 1e-6f;
// The series asin s ≤ s + s³/6 + 0.09 s⁵ holds for s up to 0.35, and
// needs σ below 0.5 and a cosine of the band's edge above 0.01 to be
// reached; elsewhere the double computation with asin.
constexpr float kSeriesSigmaLimit = 0.5f, kSeriesCosLimit = 0.01f, kSeriesSineLimit = 0.35f;
constexpr float kAsinFifthPower = 0.09f;
// The longitude reach from either computation, outwards: relative, then
// two microdegrees for the reference's and the conversion's rounding.
constexpr double kLonReachRounding = 1e-4;
constexpr int32_t kLonReachMicroExtra = 2;
// cos φ0 cos φ of the band's edge, as the ellipse takes it, rounded down.
constexpr float kCosProductRounding = 1e-6f;
// A reach of 179 degrees or more comes round both sides: no bound.
constexpr double kLonReachLimitDeg = 179;
// The ellipse's W: the greater reach, one unit of two decimals (the
// coarsest the ellipse is made for) and the reference's rounding, in
// microdegrees; the ellipse only while W is below half a radian (its
// factor 1 + 2u + 4u² holds for u = W²/24 up to 0.2).
constexpr int32_t kEllipseWidthExtraMicro = 10002;
constexpr float kEllipseWidthLimit = 0.5f;
// The ellipse holds for these counts of decimals: fewer make units too
// coarse for the test, more overflow its 64-bit squares.
constexpr unsigned kEllipseFewestDecimals = 2, kEllipseMostDecimals = kNarrowScales - 1;
// The differences the ellipse compares, at most: their squares and the
// product with cos16 stay within 64 bits.
constexpr uint64_t kEllipseLatLimit = (uint64_t)1 << 31, kEllipseLonLimit = (uint64_t)1 << 23;

// Powers of ten as integers, for numbers kept scaled by their decimals.
const int64_t kScale[kScales] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                 1000000000, 10000000000, 100000000000, 1000000000000,
                                 10000000000000, 100000000000000, 1000000000000000};

// Microdegrees in units of a count of decimals, rounded down or up.
int64_t FloorUnits(int32_t micro, unsigned dec)
{
    if (dec >= 6)
        return (int64_t)micro * kScale[dec - 6];
    const int32_t per = (int32_t)kScale[6 - dec];
    const int32_t q = micro / per;
    return q - (micro % per < 0 ? 1 : 0);
}

int64_t CeilUnits(int32_t micro, unsigned dec)
{
    return -FloorUnits(-micro, dec);
}

// The greatest longitude difference at which a line in the band may still
// be near. The haversine gives sin²(σ/2) ≥ cos φ0 cos φ sin²(Δλ/2) for the
// central angle σ, and the distance is at least (1 - 3f) a σ (see
// kKmPerRadianAtLeast). cos φ is least at the band's edge farthest from
// the equator.
void MakeLongitudeReach(SkipBounds* b)
{
    b->lonKnown = true;
    b->lonBounded = false;
    const int32_t edgeMicro = std::max(std::abs(b->southMicro), std::abs(b->northMicro));
    if (!(edgeMicro < kPoleGuardMicro))
        return;   // the band reaches a pole: any longitude may be near
    double cosRef = b->cosRefLat * (1 - kCosRounding) - kCosRoundingAbsolute;
    double sigma = b->farthest * (1 / kKmPerRadianAtLeast) * (1 + kReachRounding);
    if (!(cosRef > 0 && sigma < kGeoPi))
        return;
    // A narrow band, as most are, without the trigonometry and in single
    // precision, which costs a third of double on the device: cos of the
    // edge |φ0| + r is at least cos φ0 (1 - r²/2) - |sin φ0| r, sin(σ/2)
    // at most σ/2, and asin s at most s + s³/6 + 0.09 s⁵.
    // |φ0| at least, which is 0 where the rounded reference straddles the equator.
    const int32_t refMicro = b->refLatLow <= 0 && b->refLatHigh >= 0
                                 ? 0
                                 : std::min(std::abs(b->refLatLow), std::abs(b->refLatHigh));
    const float r = (float)(edgeMicro - refMicro) * (float)(kGeoPi / 180 * 1e-6) * (1 + kFloatRounding) + (float)kRadianSlack;
    const float sigmaF = (float)sigma * (1 + kFloatRounding);
    const float cosRefF = (float)b->cosRefLat * (1 - kFloatRounding);
    const float cosEdgeAtLeast =
        cosRefF * (1 - r * r * 0.5f) - (float)std::fabs(b->sinRefLat) * r - kFloatRoundingAbsolute;
    float sF;
    if (sigmaF < kSeriesSigmaLimit && cosEdgeAtLeast > kSeriesCosLimit &&
        (sF = sigmaF * 0.5f / std::sqrt(cosRefF * cosEdgeAtLeast) * (1 + kFloatRounding)) < kSeriesSineLimit) {
        const float s2 = sF * sF;
        const float asinAtMost = sF + sF * s2 * (1.0f / 6) + kAsinFifthPower * sF * s2 * s2;
        b->lonReachMicro =
            (int32_t)(asinAtMost * (float)(2 * 180 / kGeoPi * 1e6 * (1 + kLonReachRounding))) + kLonReachMicroExtra;
        b->cosProduct = cosRefF * cosEdgeAtLeast * (1 - kCosProductRounding);
    } else {
        double cosEdge = std::cos(edgeMicro * (kGeoPi / 180 * 1e-6)) * (1 - kCosRounding) - kCosRoundingAbsolute;
        if (!(cosEdge > 0))
            return;
        const double s = std::sin(sigma / 2) / std::sqrt(cosRef * cosEdge);
        if (!(s < 1))
            return;
        const double reachDeg = (2 * std::asin(s) * (1 + kLonReachRounding) + kRadianSlack) * (180 / kGeoPi);
        if (!(reachDeg < kLonReachLimitDeg))
            return;
        b->lonReachMicro = (int32_t)(reachDeg * 1e6) + kLonReachMicroExtra;
        b->cosProduct = (float)(cosRef * cosEdge) * (1 - kCosProductRounding);
    }
    b->lonBounded = true;
    // The factor of the ellipse (MakeLongitudeBounds): 1 / (1 - u)², at
    // most 1 + 2u + 4u² for u = W²/24 up to 0.2; ellipseExtra is 2u + 4u²
    // in units of 2^-32 (0: none).
    const float widest = (float)(std::max(b->reachMicro, b->lonReachMicro) + kEllipseWidthExtraMicro) *
                         (float)(kGeoPi / 180 * 1e-6);
    b->ellipseExtra = 0;
    if (widest < kEllipseWidthLimit) {
        const float u = widest * widest * (1.0f / 24);
        b->ellipseExtra = (uint32_t)(u * (2 + 4 * u) * (1 + kFloatRounding) * 4294967296.0f) + 1;
    }
}

// The ranges of longitude for a count of decimals, and the ellipse inside
// them. The haversine gives σ² ≥ 4 sin²(Δφ/2) + 4 cos φ0 cos φ sin²(Δλ/2)
// for the central angle σ, and sin x ≥ x (1 - x²/6), so that
// σ² ≥ (1 - W²/24)² (Δφ² + c Δλ²) where both differences stay within W
// and c is cosProduct; the distance is at least (1 - 3f) a σ (see
// kKmPerRadianAtLeast), so that a line too far by its latitude reach r
// alone (in units) is too far when Δφ² + c Δλ² exceeds r² / (1 - u)². The
// test takes each difference one unit short (the reference is rounded),
// c rounded down and the bound up.
template <typename Int>
void MakeLongitudeBounds(SkipBounds* b, unsigned dec)
{
    ScaledBounds<Int>& s = Scaled(b, dec, Int());
    using Unsigned = typename ScaledBounds<Int>::Unsigned;
    s.lonGeneration = b->generation;
    const int64_t limit = 180 * kScale[dec], turn = 2 * limit;
    int64_t low = FloorUnits(b->refLonLow - b->lonReachMicro, dec);
    int64_t high = CeilUnits(b->refLonHigh + b->lonReachMicro, dec);
    // The reach is below 179 degrees: it comes round past one side at most.
    int64_t wrapLow = limit + 1;   // none: no longitude read lies beyond 180 degrees
    uint64_t wrapSpan = 0;
    if (low < -limit) {
        wrapLow = low + turn;
        wrapSpan = (uint64_t)(limit - wrapLow);
        low = -limit;
    } else if (high > limit) {
        wrapLow = -limit;
        wrapSpan = (uint64_t)(high - turn + limit);
        high = limit;
    }
    s.lonLimit = (Int)limit;
    s.lonLow = (Int)low;
    s.lonSpan = (Unsigned)(high - low);
    s.wrapLow = (Int)wrapLow;
    s.wrapSpan = (Unsigned)wrapSpan;

    s.nearSquare = 0;
    if (dec < kEllipseFewestDecimals || dec > kEllipseMostDecimals || b->ellipseExtra == 0)
        return;
    const uint64_t reach = (uint64_t)CeilUnits(b->reachMicro, dec);   // below 2^29
    const uint64_t r2 = reach * reach;
    s.nearSquare = r2 + (r2 >> 32) * b->ellipseExtra + ((r2 & 0xFFFFFFFFu) * b->ellipseExtra >> 32) + 1;
    s.cos16 = (uint32_t)(b->cosProduct * 65536);
}

}  // namespace

void InitBounds(SkipBounds* b, double refLat, double refLon)
{
    b->refLat = refLat;
    b->refLon = refLon;
    b->refUsable = refLat >= -90 && refLat <= 90 && refLon >= -180 && refLon <= 180;
    b->cosRefLat = b->refUsable ? std::cos(refLat * (kGeoPi / 180)) : 0;
    b->sinRefLat = b->refUsable ? std::sin(refLat * (kGeoPi / 180)) : 0;
    if (b->refUsable) {
        b->refLatLow = (int32_t)std::floor(refLat * 1e6) - kMicroRounding;
        b->refLatHigh = (int32_t)std::ceil(refLat * 1e6) + kMicroRounding;
        b->refLonLow = (int32_t)std::floor(refLon * 1e6) - kMicroRounding;
        b->refLonHigh = (int32_t)std::ceil(refLon * 1e6) + kMicroRounding;
    }
    b->generation = 1;
    b->active = false;
    for (unsigned dec = 0; dec < kScales; dec++) {
        ScaledBounds<int64_t>& wide = b->wide[dec];
        wide.latGeneration = wide.lonGeneration = 0;
        if (dec >= kNarrowScales)
            continue;
        ScaledBounds<int32_t>& narrow = b->narrow[dec];
        narrow.latGeneration = narrow.lonGeneration = 0;
        // The reference in the units the ellipse is made for, once a search.
        if (!b->refUsable)
            continue;
        wide.refLat = std::llround(refLat * (double)kScale[dec]);
        wide.refLon = std::llround(refLon * (double)kScale[dec]);
        narrow.refLat = (int32_t)wide.refLat;
        narrow.refLon = (int32_t)wide.refLon;
    }
}

void UpdateBounds(SkipBounds* b, double farthest)
{
    b->farthest = farthest;
    b->generation++;
    b->lonKnown = false;
    b->active = b->refUsable && farthest >= 0 && farthest < kFarthestBounded;
    // No latitude lies outside these.
    b->southWhole = -1000;
    b->northWhole = 1000;
    if (!b->active)
        return;
    // A line whose latitude differs by more than the reach is too far.
    b->reachMicro = (int32_t)(farthest * (1e6 / kKmPerDegreeAtLeast * (1 + kReachRounding))) + kMicroRounding;
    b->southMicro = b->refLatLow - b->reachMicro;
    b->northMicro = b->refLatHigh + b->reachMicro;
    b->southWhole = (int32_t)FloorUnits(b->southMicro, 0);
    b->northWhole = (int32_t)CeilUnits(b->northMicro, 0);
}

template <typename Int>
void MakeLatitudeBounds(SkipBounds* b, unsigned dec)
{
    ScaledBounds<Int>& s = Scaled(b, dec, Int());
    s.latGeneration = b->generation;
    const int64_t limit = 90 * kScale[dec];
    s.limit = (Int)limit;
    s.south = (Int)std::max(FloorUnits(b->southMicro, dec), -limit - 1);
    s.north = (Int)std::min(CeilUnits(b->northMicro, dec), limit + 1);
}

template <typename Int>
LineVerdict LongitudeVerdict(SkipBounds* b, Int lat, unsigned latDec, Int lon, unsigned lonDec)
{
    if (!b->lonKnown)
        MakeLongitudeReach(b);
    if (!b->lonBounded)
        return kDecode;
    ScaledBounds<Int>& s = Scaled(b, lonDec, Int());
    if (s.lonGeneration != b->generation)
        MakeLongitudeBounds<Int>(b, lonDec);
    // In the width the digits were read in, the differences unsigned.
    using U = typename ScaledBounds<Int>::Unsigned;
    if ((U)((U)lon + (U)s.lonLimit) > (U)(2 * (U)s.lonLimit))
        return kDecode;   // beyond 180 degrees: the search computes it
    if ((U)((U)lon - (U)s.lonLow) > s.lonSpan && (U)((U)lon - (U)s.wrapLow) > s.wrapSpan)
        return kSkip;
    if (latDec != lonDec || s.nearSquare == 0)
        return kDecode;
    U dLat = lat > s.refLat ? (U)lat - (U)s.refLat : (U)s.refLat - (U)lat;
    U dLon = lon > s.refLon ? (U)lon - (U)s.refLon : (U)s.refLon - (U)lon;
    if (dLon > (U)s.lonLimit)
        dLon = (U)(2 * (U)s.lonLimit) - dLon;
    // One unit short each: the reference is rounded.
    dLat -= dLat != 0;
    dLon -= dLon != 0;
    if (dLat >= kEllipseLatLimit || dLon >= kEllipseLonLimit)
        return kDecode;
    return (uint64_t)dLat * dLat + ((uint64_t)dLon * dLon * s.cos16 >> 16) > s.nearSquare ? kSkip : kDecode;
}

template void MakeLatitudeBounds<int32_t>(SkipBounds*, unsigned);
template void MakeLatitudeBounds<int64_t>(SkipBounds*, unsigned);
template LineVerdict LongitudeVerdict<int32_t>(SkipBounds*, int32_t, unsigned, int32_t, unsigned);
template LineVerdict LongitudeVerdict<int64_t>(SkipBounds*, int64_t, unsigned, int64_t, unsigned);
