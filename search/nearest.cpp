#include "nearest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "geo.h"

// The per-line helpers of the search belong inside its loop.
#if defined(__GNUC__)
#define SEARCH_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define SEARCH_INLINE __forceinline
#else
#define SEARCH_INLINE inline
#endif

namespace {

// Powers of ten that a double holds exactly.
const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// digits / 10^decimals correctly rounded, as the division of the two exact
// doubles gives it, for digits below 2^53 and decimals up to 15, mostly
// without the division: on the device a double division is a library
// call of some 900 instructions. The quotient comes from the digits times
// a 64-bit reciprocal of the power of ten, rounded up: its high 64 bits
// h lie within one of the quotient's scaled value, so that rounding h to
// 53 bits rounds the quotient the same way unless h lies within one of
// halfway between two doubles. There the division decides. A quotient
// that a double holds exactly gives h or h - 1, which round alike.
struct Reciprocal {
    uint64_t m;   // ceil(2^(63 + e) / 10^decimals), between 2^63 and 2^64
    int e;        // bits of 10^decimals
};

constexpr Reciprocal MakeReciprocal(uint64_t p)
{
    int e = 0;
    while ((p >> e) != 0)
        e++;
    // Long division of 2^(63 + e) by p, a bit at a time.
    uint64_t q = 0, r = 0;
    for (int bit = 63 + e; bit >= 0; bit--) {
        r = r * 2 + (bit == 63 + e ? 1 : 0);
        q *= 2;
        if (r >= p) {
            r -= p;
            q |= 1;
        }
    }
    return Reciprocal{q + (r != 0 ? 1 : 0), e};
}

struct Reciprocals {
    Reciprocal of[16];
    constexpr Reciprocals() : of()
    {
        uint64_t p = 1;
        for (int d = 1; d < 16; d++)
            of[d] = MakeReciprocal(p *= 10);
    }
};
constexpr Reciprocals kReciprocals;

inline uint64_t MulHigh64(uint64_t a, uint64_t b)
{
#if defined(__SIZEOF_INT128__)
    return (uint64_t)(((unsigned __int128)a * b) >> 64);
#else
    const uint64_t a0 = (uint32_t)a, a1 = a >> 32, b0 = (uint32_t)b, b1 = b >> 32;
    const uint64_t p01 = a0 * b1, p10 = a1 * b0;
    const uint64_t middle = ((a0 * b0) >> 32) + (uint32_t)p01 + (uint32_t)p10;
    return a1 * b1 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
#endif
}

inline int LeadingZeros64(uint64_t x)
{
#if defined(__GNUC__)
    return __builtin_clzll(x);
#else
    int n = 0;
    for (; (x >> 63) == 0; x <<= 1)
        n++;
    return n;
#endif
}

double DecimalToDouble(uint64_t digits, unsigned decimals)
{
    if (decimals == 0 || digits == 0)
        return (double)digits;
    const Reciprocal& rc = kReciprocals.of[decimals];
    const int zeros = LeadingZeros64(digits);
    const uint64_t h = MulHigh64(digits << zeros, rc.m);   // at least 2^62
    const int dropped = (int)(h >> 63) + 10;               // bits below the 53 kept
    const uint64_t half = (uint64_t)1 << (dropped - 1), rest = h & ((half << 1) - 1);
    if (rest - (half - 1) <= 2)
        return (double)digits / kPow10[decimals];
    uint64_t mantissa = (h + half) >> dropped;
    // h is the quotient times 2^(zeros + e - 1).
    int exponent = dropped + 52 - zeros - rc.e + 1;
    if (mantissa >> 53 != 0) {
        mantissa >>= 1;
        exponent++;
    }
    const uint64_t bits = (uint64_t)(exponent + 1023) << 52 | (mantissa & (((uint64_t)1 << 52) - 1));
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Lower bound of the distance per radian of latitude difference: the
// distance is never below (1 - 3f) times the spherical 2aω (the band that
// ComputeDistanceBearing keeps it in), and ω is never below half the
// latitude difference while both latitudes lie within ±90. A margin of
// 1e-9 covers rounding many times over.
constexpr double kKmPerRadianAtLeast = kEquatorialRadiusKm * (1 - 3 * kFlattening) * (1 - 1e-9);

// The slot a nearer line would take: the one with the largest distance,
// the first of equals.
int Candidate(const NearestSlot* slots)
{
    int candidate = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (slots[i].exactKm > slots[candidate].exactKm)
            candidate = i;
    return candidate;
}

// True when a POI at latitude lat is provably farther from the reference
// than farthest: decided without the trigonometry.
bool TooFarNorthOrSouth(double lat, double refLat, double farthest)
{
    return lat >= -90 && lat <= 90 && refLat >= -90 && refLat <= 90 &&
           std::fabs(lat - refLat) * (kGeoPi / 180) * kKmPerRadianAtLeast > farthest;
}

enum Verdict { kDecode, kSkip, kAskLongitude };

// Bytes after the digits that leave the number to the general parser: an
// exponent or hexadecimal mark, or a NUL that decoding would drop.
struct FastPathEnds {
    bool table[256];
    constexpr FastPathEnds() : table()
    {
        table[0] = table[(unsigned char)'e'] = table[(unsigned char)'E'] = true;
        table[(unsigned char)'x'] = table[(unsigned char)'X'] = true;
    }
    constexpr bool operator[](unsigned char c) const { return table[c]; }
};
constexpr FastPathEnds kLeavesFastPath;

// Powers of ten as integers, for numbers kept scaled by their decimals.
const int64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                          1000000000, 10000000000, 100000000000, 1000000000000,
                          10000000000000, 100000000000000, 1000000000000000};
constexpr int kScales = 16;

// A number at p as ParseNumber's fast path reads it, straight from the
// bytes of an undecoded line, whose line feed at end stops every loop:
// its digits as an integer and the count of them after the point (9.77134
// is 977134 and 5), so that ParseNumber would give *scaled / 10^*decimals.
// No floating point: on the device every double operation is a library
// call. 1 when read, 0 when the bytes hold no number at all, -1 when only
// the decoded line can tell (a CR or NUL, which decoding drops, a byte
// beyond ASCII, or what the fast path leaves to the general parser).
SEARCH_INLINE int ScaledFromBytes(const unsigned char* p, const unsigned char* end, int64_t* scaled,
                                  unsigned* decimals, const unsigned char** stop)
{
    while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f')
        p++;
    const unsigned char* sign = p;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        p++;
    }
    // The digits on both sides of the point.
    uint64_t digits = 0;
    size_t count = 0;
    const unsigned char* point = nullptr;
    for (;; p++) {
        const unsigned d = (unsigned)*p - '0';
        if (d <= 9) {
            digits = digits * 10 + d;
            count++;
        } else if (*p == '.' && point == nullptr) {
            point = p;
        } else {
            break;
        }
    }
    size_t fraction = point != nullptr ? (size_t)(p - point - 1) : 0;
    if (count == 0) {
        // wcstod also reads "inf" and "nan"; anything else is no number.
        const unsigned char* q = sign < end && (*sign == '-' || *sign == '+') ? sign + 1 : sign;
        if (q == end)
            return 0;
        unsigned c = *q | 0x20;
        return c == 'i' || c == 'n' || *q == '.' || *q == '\r' || *q == 0 || *q >= 0x80 ? -1 : 0;
    }
    if (count > 15 || kLeavesFastPath[*p])
        return -1;
    *scaled = negative ? -(int64_t)digits : (int64_t)digits;
    *decimals = (unsigned)fraction;
    *stop = p;
    return 1;
}

// Where a line can no longer be taken, given the distance of the farthest
// slot: latitudes north and south of a band around the reference, and,
// inside it, longitudes more than a certain difference away. Made in whole
// microdegrees when the farthest slot changes, and as integers for a count
// of decimals when a line with that count first needs them, so that each
// line is decided by comparing its digits. Every bound leans towards
// decoding: a skipped line is one that RankLine refuses too. On the device
// every double operation is a library call: a change of the farthest slot
// costs a few of them, the rest is integers.
struct SkipBounds {
    double refLat, refLon, cosRefLat, sinRefLat;
    bool refUsable;       // the reference position allows bounds at all
    // The reference in microdegrees, rounded down and up a further one.
    int32_t refLatLow, refLatHigh, refLonLow, refLonHigh;
    uint32_t generation;  // counts changes of the farthest slot
    bool active;          // bounds exist for this generation
    int32_t reachMicro;   // a latitude difference beyond is too far
    int32_t southMicro, northMicro;   // latitudes at or beyond are too far
    int32_t southWhole, northWhole;   // the same in whole degrees, rounded outwards
    bool lonKnown;        // the longitude reach made for this generation
    bool lonBounded;      // ... and there is one: else any longitude may be near
    int32_t lonReachMicro;   // greatest longitude difference to a line that may be near
    float cosProduct;     // at most cos φ0 cos φ for the reference's φ0 and any φ of the band
    uint32_t ellipseExtra;   // see MakeLongitudeBounds
    struct Scaled {
        uint32_t latGeneration, lonGeneration;
        int64_t limit;           // 90 degrees
        int64_t south, north;    // latitude at or below south, or at or above north: too far
        int32_t limit32, south32, north32;   // the same in 32 bits, for up to 7 decimals
        // A longitude in neither range (low and the span above it, the
        // second where the reach comes round past 180 degrees) is too far.
        int64_t lonLimit, lonLow, wrapLow;
        uint64_t lonSpan, wrapSpan;
        // The reference in these units, rounded.
        int64_t refLat, refLon;
        // The same in 32 bits, for up to 7 decimals.
        int32_t lonLimit32, lonLow32, wrapLow32, refLat32, refLon32;
        uint32_t lonSpan32, wrapSpan32;
        // Inside the ranges, a line whose differences from the reference in
        // units meet dLat² + c dLon² > nearSquare is too far (0: no such
        // test); c is cos16 / 2^16.
        uint64_t nearSquare;
        uint32_t cos16;

        void Latitudes(int64_t* l, int64_t* s, int64_t* n) const { *l = limit, *s = south, *n = north; }
        void Latitudes(int32_t* l, int32_t* s, int32_t* n) const { *l = limit32, *s = south32, *n = north32; }
        struct Longitudes64 {
            int64_t limit, low, wrapLow, refLat, refLon;
            uint64_t span, wrapSpan;
        };
        struct Longitudes32 {
            int32_t limit, low, wrapLow, refLat, refLon;
            uint32_t span, wrapSpan;
        };
        Longitudes64 Longitudes(int64_t) const
        {
            return Longitudes64{lonLimit, lonLow, wrapLow, refLat, refLon, lonSpan, wrapSpan};
        }
        Longitudes32 Longitudes(int32_t) const
        {
            return Longitudes32{lonLimit32, lonLow32, wrapLow32, refLat32, refLon32, lonSpan32, wrapSpan32};
        }
    } scaled[kScales];
};

// Lower bound of the distance per degree of latitude difference.
constexpr double kKmPerDegreeAtLeast = (kGeoPi / 180) * kKmPerRadianAtLeast;

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

void InitBounds(SkipBounds* b, double refLat, double refLon)
{
    b->refLat = refLat;
    b->refLon = refLon;
    b->refUsable = refLat >= -90 && refLat <= 90 && refLon >= -180 && refLon <= 180;
    b->cosRefLat = b->refUsable ? std::cos(refLat * (kGeoPi / 180)) : 0;
    b->sinRefLat = b->refUsable ? std::sin(refLat * (kGeoPi / 180)) : 0;
    if (b->refUsable) {
        b->refLatLow = (int32_t)std::floor(refLat * 1e6) - 1;
        b->refLatHigh = (int32_t)std::ceil(refLat * 1e6) + 1;
        b->refLonLow = (int32_t)std::floor(refLon * 1e6) - 1;
        b->refLonHigh = (int32_t)std::ceil(refLon * 1e6) + 1;
    }
    b->generation = 1;
    b->active = false;
    for (int i = 0; i < kScales; i++) {
        SkipBounds::Scaled& s = b->scaled[i];
        s.latGeneration = s.lonGeneration = 0;
        if (b->refUsable && i <= 7) {
            s.refLat = std::llround(refLat * (double)kScale[i]);
            s.refLon = std::llround(refLon * (double)kScale[i]);
            s.refLat32 = (int32_t)s.refLat;
            s.refLon32 = (int32_t)s.refLon;
        }
    }
}

// The farthest slot changed (or the slots were emptied).
void UpdateBounds(SkipBounds* b, double farthest)
{
    b->generation++;
    b->lonKnown = false;
    // While a slot is empty (or the farthest lies beyond any distance on
    // earth) every line may be taken.
    b->active = b->refUsable && farthest >= 0 && farthest < 25000;
    // No latitude lies outside these.
    b->southWhole = -1000;
    b->northWhole = 1000;
    if (!b->active)
        return;
    // A line whose latitude differs by more than the reach is too far
    // (TooFarNorthOrSouth); the margin covers the rounding of the double
    // computation many times over, the microdegree added the conversion.
    b->reachMicro = (int32_t)(farthest * (1e6 / kKmPerDegreeAtLeast * (1 + 1e-6))) + 1;
    b->southMicro = b->refLatLow - b->reachMicro;
    b->northMicro = b->refLatHigh + b->reachMicro;
    b->southWhole = (int32_t)FloorUnits(b->southMicro, 0);
    b->northWhole = (int32_t)CeilUnits(b->northMicro, 0);
}

// The greatest longitude difference at which a line in the band may still
// be near. The haversine gives sin²(σ/2) ≥ cos φ0 cos φ sin²(Δλ/2) for the
// central angle σ, and the distance is at least (1 - 3f) a σ (see
// kKmPerRadianAtLeast). cos φ is least at the band's edge farthest from
// the equator.
void MakeLongitudeReach(SkipBounds* b, double farthest)
{
    b->lonKnown = true;
    b->lonBounded = false;
    const int32_t edgeMicro = std::max(std::abs(b->southMicro), std::abs(b->northMicro));
    if (!(edgeMicro < 89900000))
        return;   // the band reaches a pole: any longitude may be near
    double cosRef = b->cosRefLat * (1 - 1e-9) - 1e-12;
    double sigma = farthest * (1 / kKmPerRadianAtLeast) * (1 + 1e-6);
    if (!(cosRef > 0 && sigma < kGeoPi))
        return;
    // A narrow band, as most are, without the trigonometry and in single
    // precision, which costs a third of double on the device: cos of the
    // edge |φ0| + r is at least cos φ0 (1 - r²/2) - |sin φ0| r, sin(σ/2)
    // at most σ/2, and asin s at most s + s³/6 + 0.09 s⁵ for s up to 0.35.
    // Each step leans outwards by far more than the rounding of float
    // (below 1e-7 an operation), and the reach by 1e-4 of itself.
    // |φ0| at least, which is 0 where the rounded reference straddles the equator.
    const int32_t refMicro = b->refLatLow <= 0 && b->refLatHigh >= 0
                                 ? 0
                                 : std::min(std::abs(b->refLatLow), std::abs(b->refLatHigh));
    const float r = (float)(edgeMicro - refMicro) * (float)(kGeoPi / 180 * 1e-6) * (1 + 1e-5f) + 1e-9f;
    const float sigmaF = (float)sigma * (1 + 1e-5f);
    const float cosRefF = (float)b->cosRefLat * (1 - 1e-5f);
    const float cosEdgeAtLeast = cosRefF * (1 - r * r * 0.5f) - (float)std::fabs(b->sinRefLat) * r - 1e-6f;
    float sF;
    if (sigmaF < 0.5f && cosEdgeAtLeast > 0.01f &&
        (sF = sigmaF * 0.5f / std::sqrt(cosRefF * cosEdgeAtLeast) * (1 + 1e-5f)) < 0.35f) {
        const float s2 = sF * sF;
        const float asinAtMost = sF + sF * s2 * (1.0f / 6) + 0.09f * sF * s2 * s2;
        b->lonReachMicro = (int32_t)(asinAtMost * (float)(2 * 180 / kGeoPi * 1e6 * (1 + 1e-4))) + 2;
        b->cosProduct = cosRefF * cosEdgeAtLeast * (1 - 1e-6f);
    } else {
        double cosEdge = std::cos(edgeMicro * (kGeoPi / 180 * 1e-6)) * (1 - 1e-9) - 1e-12;
        if (!(cosEdge > 0))
            return;
        const double s = std::sin(sigma / 2) / std::sqrt(cosRef * cosEdge);
        if (!(s < 1))
            return;
        const double reachDeg = (2 * std::asin(s) * (1 + 1e-6) + 1e-9) * (180 / kGeoPi);
        if (!(reachDeg < 179))
            return;
        b->lonReachMicro = (int32_t)(reachDeg * 1e6) + 2;
        b->cosProduct = (float)(cosRef * cosEdge) * (1 - 1e-6f);
    }
    b->lonBounded = true;
    // The factor of the ellipse (MakeLongitudeBounds): 1 / (1 - u)², at
    // most 1 + 2u + 4u² for u = W²/24 up to 0.2, with W the greater reach
    // in radians, a unit of two decimals and the rounding of the reference
    // included; ellipseExtra is 2u + 4u² in units of 2^-32 (0: none).
    const float widest = (float)(std::max(b->reachMicro, b->lonReachMicro) + 10002) * (float)(kGeoPi / 180 * 1e-6);
    b->ellipseExtra = 0;
    if (widest < 0.5f) {
        const float u = widest * widest * (1.0f / 24);
        b->ellipseExtra = (uint32_t)(u * (2 + 4 * u) * (1 + 1e-5f) * 4294967296.0f) + 1;
    }
}

void MakeLatitudeBounds(SkipBounds* b, unsigned dec)
{
    SkipBounds::Scaled& s = b->scaled[dec];
    s.latGeneration = b->generation;
    s.limit = 90 * kScale[dec];
    s.south = std::max(FloorUnits(b->southMicro, dec), -s.limit - 1);
    s.north = std::min(CeilUnits(b->northMicro, dec), s.limit + 1);
    if (dec <= 7) {
        s.limit32 = (int32_t)s.limit;
        s.south32 = (int32_t)s.south;
        s.north32 = (int32_t)s.north;
    }
}

SEARCH_INLINE const SkipBounds::Scaled& LatitudeBounds(SkipBounds* b, unsigned dec)
{
    if (b->scaled[dec].latGeneration != b->generation)
        MakeLatitudeBounds(b, dec);
    return b->scaled[dec];
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
void MakeLongitudeBounds(SkipBounds* b, unsigned dec)
{
    SkipBounds::Scaled& s = b->scaled[dec];
    s.lonGeneration = b->generation;
    const int64_t limit = 180 * kScale[dec], turn = 2 * limit;
    int64_t low = FloorUnits(b->refLonLow - b->lonReachMicro, dec);
    int64_t high = CeilUnits(b->refLonHigh + b->lonReachMicro, dec);
    // The reach is below 179 degrees: it comes round past one side at most.
    s.wrapLow = limit + 1;   // none: no longitude read lies beyond 180 degrees
    s.wrapSpan = 0;
    if (low < -limit) {
        s.wrapLow = low + turn;
        s.wrapSpan = (uint64_t)(limit - s.wrapLow);
        low = -limit;
    } else if (high > limit) {
        s.wrapLow = -limit;
        s.wrapSpan = (uint64_t)(high - turn + limit);
        high = limit;
    }
    s.lonLimit = limit;
    s.lonLow = low;
    s.lonSpan = (uint64_t)(high - low);
    if (dec <= 7) {
        s.lonLimit32 = (int32_t)limit;
        s.lonLow32 = (int32_t)low;
        s.wrapLow32 = (int32_t)s.wrapLow;
        s.lonSpan32 = (uint32_t)s.lonSpan;
        s.wrapSpan32 = (uint32_t)s.wrapSpan;
    }

    s.nearSquare = 0;
    if (dec < 2 || dec > 7 || b->ellipseExtra == 0)
        return;
    const uint64_t reach = (uint64_t)CeilUnits(b->reachMicro, dec);   // below 2^29
    const uint64_t r2 = reach * reach;
    s.nearSquare = r2 + (r2 >> 32) * b->ellipseExtra + ((r2 & 0xFFFFFFFFu) * b->ellipseExtra >> 32) + 1;
    s.cos16 = (uint32_t)(b->cosProduct * 65536);
}

// The verdict on a line inside the latitude band: by its longitude, and
// where both numbers have the same count of decimals, by the ellipse. Few
// lines get here, so it stays out of the loop.
template <typename Int>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
Verdict LongitudeVerdict(SkipBounds* b, Int lat, unsigned latDec, Int lon, unsigned lonDec, double farthest)
{
    if (!b->lonKnown)
        MakeLongitudeReach(b, farthest);
    if (!b->lonBounded)
        return kDecode;
    SkipBounds::Scaled& s = b->scaled[lonDec];
    if (s.lonGeneration != b->generation)
        MakeLongitudeBounds(b, lonDec);
    // In the width the digits were read in, the differences unsigned.
    using U = typename std::make_unsigned<Int>::type;
    const auto o = s.Longitudes(Int());
    if ((U)((U)lon + (U)o.limit) > (U)(2 * (U)o.limit))
        return kDecode;   // beyond 180 degrees: the search computes it
    if ((U)((U)lon - (U)o.low) > o.span && (U)((U)lon - (U)o.wrapLow) > o.wrapSpan)
        return kSkip;
    if (latDec != lonDec || s.nearSquare == 0)
        return kDecode;
    U dLat = lat > o.refLat ? (U)lat - (U)o.refLat : (U)o.refLat - (U)lat;
    U dLon = lon > o.refLon ? (U)lon - (U)o.refLon : (U)o.refLon - (U)lon;
    if (dLon > (U)o.limit)
        dLon = (U)(2 * (U)o.limit) - dLon;
    dLat -= dLat != 0;
    dLon -= dLon != 0;
    if (dLat >= (U)1 << 31 || dLon >= (U)1 << 23)
        return kDecode;
    return (uint64_t)dLat * dLat + ((uint64_t)dLon * dLon * s.cos16 >> 16) > s.nearSquare ? kSkip : kDecode;
}

// The verdict by the latitude alone: kAskLongitude inside the band. Int
// is the width its digits were read in.
template <typename Int>
SEARCH_INLINE Verdict LatitudeVerdict(SkipBounds* b, Int lat, unsigned latDec)
{
    if (!b->active)
        return kDecode;
    Int limit, south, north;
    LatitudeBounds(b, latDec).Latitudes(&limit, &south, &north);
    // Past a pole the search computes the distance itself.
    if (lat < -limit || lat > limit)
        return kDecode;
    // Lines lie north or south of the band in no order the processor could
    // guess: south < lat < north in one unsigned comparison, not two.
    using Unsigned = typename std::make_unsigned<Int>::type;
    if ((Unsigned)(lat - south - 1) >= (Unsigned)(north - south - 1))
        return kSkip;
    return kAskLongitude;
}

// The verdict on a position by the bounds.
template <typename Int>
SEARCH_INLINE Verdict BoundsVerdict(SkipBounds* b, Int lat, unsigned latDec, Int lon, unsigned lonDec,
                                    double farthest)
{
    const Verdict verdict = LatitudeVerdict(b, lat, latDec);
    return verdict == kAskLongitude ? LongitudeVerdict(b, lat, latDec, lon, lonDec, farthest) : verdict;
}

// Whether a latitude of whole degrees whole (with its sign; negative: the
// number starts with a minus, also for -0.5) lies whole degrees south or
// north of the band. Its value, fraction and rounding included, lies
// between lo and lo + 1 degrees. A latitude of 90 or more is left to the
// search, which computes the distance past a pole itself.
SEARCH_INLINE bool WholeDegreesOutside(const SkipBounds* b, int32_t whole, bool negative)
{
    if (whole >= 90 || whole <= -90)
        return false;
    const int32_t lo = negative ? whole - 1 : whole;
    // Outside unless southWhole <= lo < northWhole, in one comparison.
    return (uint32_t)(lo - b->southWhole) >= (uint32_t)(b->northWhole - b->southWhole);
}

// The usual number of a POI file, read in 32 bits: an optional minus, at
// most nine digits with at most seven after a point, and none of the marks
// that leave a number to the general parser after it. False for anything
// else, which the general reading then takes.
// kRead says what is made of the digits:
// - kAll: the value, scaled by its decimals;
// - kWhole: only the whole part before the point (most lines are decided
//   by their latitude's whole degrees), checked to fit; the digits after
//   the point are not counted, for they move the value by less than one;
// - kNone: nothing, only where the number ends (a longitude that most
//   lines never need); counted when its value is read.
enum NumberRead { kAll, kWhole, kNone };

// Which bytes of a line's start are digits, found once for the line:
// with SSE2 the first 32 bytes in two steps, a bit for each, so that the
// numbers' digit runs come from the bits without a chain of loads and
// tests from one run to the next. Elsewhere nothing: the runs are read a
// byte at a time. The bytes lie in the read block, whose slack allows the
// loads past the line's end.
#if WENDRIK_SSE2
constexpr bool kDigitBits = true;
#else
constexpr bool kDigitBits = false;
#endif
struct DigitBits {
#if WENDRIK_SSE2
    const unsigned char* base;
    uint64_t bits;   // bit i: base[i] is a digit (none from 32 on)
#endif
};

SEARCH_INLINE DigitBits DigitsAt(const unsigned char* line)
{
#if WENDRIK_SSE2
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    auto digits = [zero, nine](const unsigned char* at) {
        const __m128i t = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), zero);
        return (uint64_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, nine), t));
    };
    return DigitBits{line, digits(line) | digits(line + 16) << 16};
#else
    (void)line;
    return DigitBits{};
#endif
}

// The count of digits from p on, which the line feed after the line's
// bytes ends.
SEARCH_INLINE size_t DigitRun(const DigitBits& known, const unsigned char* p)
{
#if WENDRIK_SSE2
    const size_t offset = (size_t)(p - known.base);
    if (offset < 32) {
        const uint64_t others = ~(known.bits >> offset);   // ones from the unknown bytes on
        const size_t run = (size_t)__builtin_ctzll(others);
        if (offset + run < 32)
            return run;
    }
#else
    (void)known;
#endif
    const unsigned char* q = p;
    while ((unsigned)*q - '0' <= 9)
        q++;
    return (size_t)(q - p);
}

template <NumberRead kRead = kAll>
SEARCH_INLINE bool ShortNumber(const unsigned char** at, int32_t* value, unsigned* decimals,
                               const DigitBits& known = DigitBits())
{
    const unsigned char* p = *at;
    const bool negative = *p == '-';
    p += negative;
    const unsigned char* first = p;
    uint32_t v = 0;
    unsigned d;
    if (kRead == kAll || (kRead == kWhole && !kDigitBits)) {
        while ((d = (unsigned)*p - '0') <= 9) {
            v = v * 10 + d;
            p++;
        }
    } else {
        const size_t run = DigitRun(known, p);
        if (kRead == kWhole) {
            // Whole degrees have one or two digits: read without a loop,
            // which on x86 saves some six instructions a line.
            if (run <= 2)
                v = run == 0 ? 0 : run == 1 ? p[0] - '0' : (p[0] - '0') * 10u + (p[1] - '0');
            else
                for (size_t k = 0; k < run; k++)
                    v = v * 10 + (p[k] - '0');
        }
        p += run;
    }
    const size_t whole = (size_t)(p - first);
    size_t fraction = 0;
    if (*p == '.') {
        const unsigned char* point = p++;
        if (kRead != kAll) {
            p += DigitRun(known, p);
        } else {
            while ((d = (unsigned)*p - '0') <= 9) {
                v = v * 10 + d;
                p++;
            }
        }
        fraction = (size_t)(p - point - 1);
    }
    // A longitude without digits here gives no position, or is one that
    // the comma after it turns away (a plus sign, a space). A latitude's
    // whole degrees need a digit, or "+8.1" or " 8.1" would pass as
    // nothing; ".5" is left to the general reading.
    if ((kRead == kWhole && whole - 1 > 8) || (kRead == kAll && (whole + fraction - 1 > 8 || fraction > 7)))
        return false;
    // Most numbers end at a comma; else the marks of the general parser.
    if (*p != ',' && kLeavesFastPath[*p])
        return false;
    *value = negative ? -(int32_t)v : (int32_t)v;
    *decimals = (unsigned)fraction;
    *at = p;
    return true;
}

// The usual line, "lon,lat,..." with short numbers, from its first bytes:
// false for any other, which the general reading (OtherVerdict) takes;
// else the verdict, and *at right after the latitude.
SEARCH_INLINE bool UsualVerdict(const unsigned char** at, SkipBounds* bounds, double farthest,
                                Verdict* verdict)
{
    int32_t lon, lat;
    unsigned lonDec, latDec;
    const unsigned char* lonAt = *at;
    const DigitBits known = DigitsAt(lonAt);
    if (!(ShortNumber<kNone>(at, &lon, &lonDec, known) && **at == ','))
        return false;
    const unsigned char* latAt = ++*at;
    if (!ShortNumber<kWhole>(at, &lat, &latDec, known))
        return false;
    // Most lines lie whole degrees north or south of the band, where 0,0
    // is refused too: neither their fraction nor their longitude is needed.
    if (WholeDegreesOutside(bounds, lat, *latAt == '-')) {
        *verdict = kSkip;
        return true;
    }
    if (!ShortNumber(&latAt, &lat, &latDec))
        return false;
    *verdict = LatitudeVerdict(bounds, lat, latDec);
    if (*verdict == kSkip)
        return true;
    if (!ShortNumber(&lonAt, &lon, &lonDec)) {
        *verdict = kDecode;   // too long to be read here
        return true;
    }
    if (lon == 0 && lat == 0)
        *verdict = kSkip;
    else if (*verdict == kAskLongitude)
        *verdict = LongitudeVerdict(bounds, lat, latDec, lon, lonDec, farthest);
    return true;
}

// Whether an undecoded line that is not the usual one could be taken,
// given the bounds of the farthest slot. Like UsualVerdict's, kSkip only
// where RankLine on the decoded line would refuse it too.
Verdict OtherVerdict(const unsigned char* b, size_t len, SkipBounds* bounds, double farthest)
{
    const unsigned char* end = b + len;
    unsigned lonDec, latDec;
    const unsigned char* stop;
    int64_t lon, lat;
    int got = ScaledFromBytes(b, end, &lon, &lonDec, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (stop == end)
        return kSkip;                       // nothing after the longitude
    if (*stop == '\r' || *stop == 0 || *stop >= 0x80)
        return kDecode;                     // a separator that decoding may change
    got = ScaledFromBytes(stop + 1, end, &lat, &latDec, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (lon == 0 && lat == 0)
        return kSkip;
    return BoundsVerdict(bounds, lat, latDec, lon, lonDec, farthest);
}

}  // namespace

double ParseNumberGeneral(const wchar_t* s, wchar_t** end)
{
    // A number is ASCII: hand the ASCII start of the text to strtod, which
    // is correctly rounded in both C libraries we build with (a wide wcstod
    // is not, on Windows).
    char narrow[kTextLen];
    size_t n = 0;
    for (; n + 1 < sizeof narrow && s[n] != L'\0' && (unsigned)s[n] < 0x80; n++)
        narrow[n] = (char)s[n];
    narrow[n] = '\0';
    char* stop;
    double value = std::strtod(narrow, &stop);
    *end = const_cast<wchar_t*>(s + (stop - narrow));
    return value;
}

double ParseNumber(const wchar_t* s, wchar_t** end)
{
    // Short decimals, as POI files hold them: the digits gathered as an
    // integer below 10^15 and divided once by an exact power of ten. Both
    // operands are exact, so the one rounding of the division gives the
    // correctly rounded value. Everything else (exponents, long digit runs,
    // hexadecimal, "inf", "nan") takes the general path.
    const wchar_t* p = s;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r'))
        p++;
    bool negative = false;
    if (*p == L'-' || *p == L'+') {
        negative = *p == L'-';
        p++;
    }
    uint64_t digits = 0;
    const wchar_t* first = p;
    unsigned d;
    for (; (d = (unsigned)*p - L'0') <= 9; p++)
        digits = digits * 10 + d;
    size_t count = (size_t)(p - first), decimals = 0;
    if (*p == L'.') {
        const wchar_t* fraction = ++p;
        for (; (d = (unsigned)*p - L'0') <= 9; p++)
            digits = digits * 10 + d;
        decimals = (size_t)(p - fraction);
        count += decimals;
    }
    if (count == 0 || count > 15 || *p == L'e' || *p == L'E' || *p == L'x' || *p == L'X')
        return ParseNumberGeneral(s, end);
    double value = DecimalToDouble(digits, decimals);
    *end = const_cast<wchar_t*>(p);
    return negative ? -value : value;
}

bool ParsePoiLine(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd)
{
    *lon = ParseNumber(line, parseEnd);
    if (*parseEnd == line)
        return false;
    // Nothing after the longitude: there is no latitude to read.
    if (**parseEnd == L'\0')
        return false;
    const wchar_t* start = *parseEnd + 1;
    wchar_t* latEnd;
    *lat = ParseNumber(start, &latEnd);
    return latEnd != start;
}

// The position the search takes from a line: both numbers there, and not
// 0,0, the usual mark of a missing position.
static bool ReadPoiPosition(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd)
{
    return ParsePoiLine(line, lon, lat, parseEnd) && !(*lon == 0 && *lat == 0);
}

bool HoldsPosition(const wchar_t* line)
{
    double lon, lat;
    wchar_t* end;
    return ReadPoiPosition(line, &lon, &lat, &end);
}

bool RanksAsPosition(const wchar_t* line)
{
    double lon, lat;
    wchar_t* end;
    return ReadPoiPosition(line, &lon, &lat, &end) && PositionHasDistance(lat, lon);
}

bool PositionHasDistance(double lat, double lon)
{
    // Short of the edge where degrees overflow in radians every finite
    // position has a distance; only beyond it is one computed to tell.
    if (std::fabs(lat) <= 1e300 && std::fabs(lon) <= 1e300)
        return true;
    double d, bearing;
    ComputeDistanceBearing(0, 0, lat, lon, d, bearing);
    return !std::isnan(d);
}

void ResetSlots(NearestSlot* slots)
{
    for (int i = 0; i < kNearestCount; i++) {
        slots[i].distanceKm = kSlotEmpty;
        slots[i].exactKm = kSlotEmpty;
    }
}

// The slot a line takes, with its distance and position, or -1 when it is
// not taken. The result line is left to the caller.
static int TakeSlot(NearestSlot* slots, const wchar_t* line, double refLat, double refLon,
                    wchar_t** parseEnd)
{
    double lon, lat;
    if (!ReadPoiPosition(line, &lon, &lat, parseEnd))
        return -1;

    const int candidate = Candidate(slots);
    const double farthest = slots[candidate].exactKm;
    // Most lines of a large file lie too far north or south to be taken.
    if (TooFarNorthOrSouth(lat, refLat, farthest))
        return -1;

    double d = ComputeDistance(refLat, refLon, lat, lon);
    if (!(d < farthest))
        return -1;   // also for a distance that is not a number

    NearestSlot& slot = slots[candidate];
    slot.exactKm = d;
    slot.distanceKm = (int32_t)d;
    slot.lat = lat;
    slot.lon = lon;
    return candidate;
}

// The result line of a slot that holds its POI line, with the bearing.
static void FinishSlot(NearestSlot* slot, const wchar_t* line, double refLat, double refLon)
{
    double d;
    const wchar_t* compass;
    ComputeDistanceCompass(refLat, refLon, slot->lat, slot->lon, d, compass);
    slot->exactKm = d;   // the same as TakeSlot's, made here for a slot taken by its bounds
    slot->distanceKm = (int32_t)d;
    FormatResult(slot->text, CountOf(slot->text), line, slot->exactKm, compass);
}

bool RankLine(NearestSlot* slots, const wchar_t* line, double refLat, double refLon,
              wchar_t** parseEnd)
{
    int taken = TakeSlot(slots, line, refLat, refLon, parseEnd);
    if (taken < 0)
        return false;
    FinishSlot(&slots[taken], line, refLat, refLon);
    return true;
}

void FormatResult(wchar_t* out, size_t cap, const wchar_t* line, double km, const wchar_t* compass)
{
    wchar_t suffix[64];
    int n = std::swprintf(suffix, CountOf(suffix), L"  %.1f km %ls\"\n", km, compass);
    if (n < 0)
        CopyText(suffix, CountOf(suffix), L"\"\n");
    size_t keep = TextLength(line, kTextLen);
    if (keep > 0 && line[keep - 1] == L'\n')
        keep--;
    if (keep > 0 && line[keep - 1] == L'"')
        keep--;
    size_t suffixLen = TextLength(suffix, CountOf(suffix));
    if (cap <= suffixLen)
        return;
    if (keep > cap - 1 - suffixLen)
        keep = cap - 1 - suffixLen;
    for (size_t i = 0; i < keep; i++)
        out[i] = line[i];
    out[keep] = L'\0';
    AppendText(out, cap, suffix);
}

bool SearchNearest(TextReader* reader, const wchar_t* path, double refLat, double refLon,
                   NearestSlot* slots, wchar_t* lineBuf, wchar_t** parseEnd)
{
    if (!TextOpenReadLazily(reader, path))
        return false;
    SearchNearestOpen(reader, refLat, refLon, slots, lineBuf, parseEnd);
    return true;
}

// The slots' distances during a pass: exact, or known only within the
// bounds DistanceBracket gives until a comparison needs more. The slots
// come out as with exact distances throughout, in the same order: a line
// is taken when it is strictly nearer than the farthest slot, into the
// first slot of the largest distance. On the device the trigonometry of
// ComputeDistance costs as much as reading thousands of lines; most lines
// taken on the way give way to nearer ones before their distance is ever
// needed exactly.
struct PassDistances {
    double low[kNearestCount], high[kNearestCount];
    bool exact[kNearestCount];
};

// a < b for two distances of a pass, which are never negative (not even
// -0) nor NaN: compared by their bits, as integers, for on the device a
// double comparison is a library call.
static inline bool KmBelow(double a, double b)
{
    int64_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x < y;
}

static void ResetPassDistances(PassDistances* p)
{
    for (int i = 0; i < kNearestCount; i++) {
        p->low[i] = p->high[i] = kSlotEmpty;
        p->exact[i] = true;
    }
}

// No slot's distance exceeds this.
static double HighestBound(const PassDistances* p)
{
    double highest = p->high[0];
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(highest, p->high[i]))
            highest = p->high[i];
    return highest;
}

static void MakeExact(NearestSlot* slots, PassDistances* p, int i, double refLat, double refLon)
{
    if (p->exact[i])
        return;
    const double d = ComputeDistance(refLat, refLon, slots[i].lat, slots[i].lon);
    p->low[i] = p->high[i] = d;
    p->exact[i] = true;
    slots[i].exactKm = d;
    slots[i].distanceKm = (int32_t)d;
}

// Candidate's slot, with exact distances made only for the slots whose
// bounds reach the largest lower bound.
static int PassCandidate(NearestSlot* slots, PassDistances* p, double refLat, double refLon)
{
    double most = p->low[0];
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(most, p->low[i]))
            most = p->low[i];
    int contenders = 0;
    for (int i = 0; i < kNearestCount; i++)
        contenders += !KmBelow(p->high[i], most);
    if (contenders > 1)
        for (int i = 0; i < kNearestCount; i++)
            if (!KmBelow(p->high[i], most))
                MakeExact(slots, p, i, refLat, refLon);
    int candidate = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(p->low[candidate], p->low[i]))
            candidate = i;
    return candidate;
}

// TakeSlot's decision for a decoded line, by bounds where they tell.
static int PassTake(NearestSlot* slots, PassDistances* p, const DistanceReference& ref, const wchar_t* line,
                    wchar_t** parseEnd)
{
    double lon, lat;
    if (!ReadPoiPosition(line, &lon, &lat, parseEnd))
        return -1;
    double low, high, d = 0;
    bool exact = !DistanceBracket(ref, lat, lon, &low, &high);
    if (exact) {
        d = ComputeDistance(ref.lat, ref.lon, lat, lon);
        if (std::isnan(d))
            return -1;   // never taken
        low = high = d;
    } else if (!(low > 0)) {
        low = 0;   // the bracket's margin below a distance of 0
    }
    // At or beyond every slot's upper bound: not nearer than the farthest.
    if (!KmBelow(low, HighestBound(p)))
        return -1;
    const int candidate = PassCandidate(slots, p, ref.lat, ref.lon);
    if (!KmBelow(low, p->high[candidate]))
        return -1;
    if (!KmBelow(high, p->low[candidate])) {
        // The bounds overlap: compare the distances themselves.
        MakeExact(slots, p, candidate, ref.lat, ref.lon);
        if (!exact) {
            d = ComputeDistance(ref.lat, ref.lon, lat, lon);
            exact = true;
            low = high = d;
        }
        if (!KmBelow(d, p->low[candidate]))
            return -1;
    }
    NearestSlot& slot = slots[candidate];
    slot.lat = lat;
    slot.lon = lon;
    slot.exactKm = exact ? d : high;
    slot.distanceKm = (int32_t)slot.exactKm;   // made exact at the end
    p->low[candidate] = low;
    p->high[candidate] = high;
    p->exact[candidate] = exact;
    return candidate;
}

// The bytes of the lines at the start of a read block (avail bytes, the
// file's last when last) that cannot be taken, decided from their bytes.
// Stops at a line to decode (*decode) or at one that the block may not
// hold whole. A function of its own: the loop keeps what it needs in
// registers.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
static size_t PassOverLines(const unsigned char* bytes, size_t avail, bool last, SkipBounds* bounds,
                            double farthest, bool* decode)
{
    // A line that starts before safe is whole in the block when its line
    // feed lies fewer than kTextLen - 1 bytes on; from there on only in
    // the file's last block.
    const unsigned char* const end = bytes + avail;
    const unsigned char* const safe = last ? end : avail > kTextLen - 1 ? end - (kTextLen - 1) : bytes;
    const unsigned char* line = bytes;
    while (line < safe) {
        const unsigned char* p = line;
        Verdict verdict = kDecode;
        const bool usual = UsualVerdict(&p, bounds, farthest, &verdict);
        if (usual && verdict != kSkip)
            break;
        // The block's own line feed follows its last byte.
        const size_t room = (size_t)(end - line);
        const size_t len = TextLineLength(line, usual ? (size_t)(p - line) : 0, room);
        if (len == room || len >= kTextLen - 1)
            break;   // no line feed in the block, or a line of pieces
        if (!usual && OtherVerdict(line, len, bounds, farthest) != kSkip)
            break;
        line += len + 1;
    }
    // At the end of the file the reader itself tells what is left.
    *decode = line < safe || last;
    return (size_t)(line - bytes);
}

// One pass over the file into the slots.
static void SearchPass(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd)
{
    ResetSlots(slots);
    PassDistances distances;
    ResetPassDistances(&distances);
    DistanceReference ref;
    MakeDistanceReference(&ref, refLat, refLon);
    // The skip bounds need only a distance the farthest slot cannot exceed.
    double farthest = kSlotEmpty;
    SkipBounds bounds;
    InitBounds(&bounds, refLat, refLon);
    UpdateBounds(&bounds, farthest);
    for (;;) {
        // Most lines are decided from their bytes in the read block, one
        // after another; the reader learns only how far. Only a line that
        // may be taken, or one its bytes cannot decide, is decoded. The
        // numbers are read first, and the line feed looked for after them:
        // their bytes are not scanned twice.
        const unsigned char* bytes;
        size_t avail;
        bool last;
        if (TextPeekBlock(reader, kTextLen - 1, &bytes, &avail, &last)) {
            bool decode;
            TextSkipBytes(reader, PassOverLines(bytes, avail, last, &bounds, farthest, &decode));
            if (!decode)
                continue;
        }
        if (!TextReadLine(reader, lineBuf, kTextLen))
            break;
        // A line taken now may give way to a nearer one later: it keeps
        // its own text until the pass is over, and only the five left get
        // a bearing and a result line.
        int taken = PassTake(slots, &distances, ref, lineBuf, parseEnd);
        if (taken >= 0) {
            CopyText(slots[taken].text, CountOf(slots[taken].text), lineBuf);
            farthest = HighestBound(&distances);
            UpdateBounds(&bounds, farthest);
        }
    }
}

void SearchNearestOpen(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd)
{
    SearchPass(reader, refLat, refLon, slots, lineBuf, parseEnd);
    // A file read as UTF-8 on trust that proved to be Windows-1252 after
    // text beyond ASCII was taken: once more, now that the encoding is known.
    if (TextGuessFailed(reader) && TextReadAgain(reader))
        SearchPass(reader, refLat, refLon, slots, lineBuf, parseEnd);
    for (int i = 0; i < kNearestCount; i++)
        if (slots[i].distanceKm != kSlotEmpty)
            FinishSlot(&slots[i], slots[i].text, refLat, refLon);
    // The nearest of part of a file are no answer for the whole.
    if (TextReadFailed(reader))
        ResetSlots(slots);
    TextClose(reader);
}
