// The skip bounds: POIs one unit either side of every bound, for
// references over the globe and every count of decimals, are never
// skipped when nearer than the farthest slot; and each bound holds its
// derivation, computed here anew in long double without the margins.
#include "search/skipbounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "fast_verdict.h"
#include "geo/geo.h"
#include "search/lineverdict.h"
#include "search/number.h"
#include "search/poiline.h"

namespace {

const double kRefs[][2] = {{50.11, 8.68},  {0.00004, 179.99996}, {-0.5, -179.9999}, {-41.3, -179.95},
                           {52.5, 179.99}, {84.9, 10},           {-89.5, 100},      {0, 0},
                           {33.3, -117.7}, {-0.3, 0.5},          {66.6, 45},        {-33.9, 151.2}};
const double kFarthest[] = {0.05, 0.8, 12, 150, 1100, 2600, 8000};

const long double kPi = 3.14159265358979323846264338327950288L;
// The least distance a radian of central angle can have: the sphere of
// the equatorial radius less three flattenings, the band the distance is
// kept in.
const long double kKmPerRadian = 6378.14L * (1 - 3 / 298.257223563L);

int64_t Pow10(unsigned dec)
{
    int64_t p = 1;
    while (dec-- > 0)
        p *= 10;
    return p;
}

// A number of units of dec decimals as a POI file writes it.
std::string Units(int64_t units, unsigned dec)
{
    const int64_t p = Pow10(dec);
    const uint64_t a = units < 0 ? (uint64_t)-units : (uint64_t)units;
    std::string s = (units < 0 ? "-" : "") + std::to_string(a / p);
    if (dec > 0) {
        std::string frac = std::to_string(a % p);
        s += "." + std::string(dec - frac.size(), '0') + frac;
    }
    return s;
}

struct Probe {
    double refLat, refLon, farthest;
    long skipped = 0;
    // A POI at these units, read both ways the pass reads a line (a
    // leading blank sends it to the general reading): skipped only when
    // no nearer than the farthest slot.
    void Poi(SkipBounds* b, int64_t lat, int64_t lon, unsigned dec)
    {
        const int64_t limit = 180 * Pow10(dec);
        if (lat < -limit / 2 || lat > limit / 2)
            return;
        if (lon > limit)
            lon -= 2 * limit;
        if (lon < -limit)
            lon += 2 * limit;
        const std::string line = Units(lon, dec) + "," + Units(lat, dec) + ",\"p\"";
        const std::wstring wide(line.begin(), line.end());
        PoiPosition at;
        if (ReadPoiLine(wide.c_str(), &at) != kPoiPosition)
            return;
        for (const std::string& form : {line, " " + line}) {
            if (FastVerdict(b, form) != kSkip)
                continue;
            skipped++;
            const double d = ComputeDistance(refLat, refLon, at.lat, at.lon);
            EXPECT_GE(d, farthest) << "skipped though nearer: \"" << form << "\" from " << refLat << ","
                                   << refLon << " farthest " << farthest;
        }
    }
};

TEST(SkipBounds, NoPoiNearerThanTheFarthestIsSkippedAtAnyBound)
{
    static SkipBounds b;
    long skipped = 0;
    for (const auto& r : kRefs) {
        for (double farthest : kFarthest) {
            InitBounds(&b, r[0], r[1]);
            UpdateBounds(&b, farthest);
            Probe probe{r[0], r[1], farthest};
            for (unsigned dec = 0; dec <= 9; dec++) {
                SCOPED_TRACE(testing::Message() << r[0] << "," << r[1] << " farthest " << farthest << " decimals " << dec);
                const int64_t refLat = std::llround(r[0] * (double)Pow10(dec));
                const int64_t refLon = std::llround(r[1] * (double)Pow10(dec));
                // The latitude band, and one unit either side of its edges.
                LatitudeVerdict<int64_t>(&b, refLat, dec);
                const ScaledBounds<int64_t>& s = b.wide[dec];
                for (int64_t lat : {s.south, s.north})
                    for (int64_t k = -1; k <= 1; k++)
                        probe.Poi(&b, lat + k, refLon, dec);
                if (s.north - s.south >= 2) {   // else no latitude of these units lies between
                    EXPECT_NE(LatitudeVerdict<int64_t>(&b, s.south + 1, dec), kSkip);
                    EXPECT_NE(LatitudeVerdict<int64_t>(&b, s.north - 1, dec), kSkip);
                }
                if (s.south > -s.limit) {
                    EXPECT_EQ(LatitudeVerdict<int64_t>(&b, s.south, dec), kSkip);
                }
                if (s.north < s.limit) {
                    EXPECT_EQ(LatitudeVerdict<int64_t>(&b, s.north, dec), kSkip);
                }
                if (dec < kNarrowScales) {
                    LatitudeVerdict<int32_t>(&b, (int32_t)refLat, dec);
                    EXPECT_EQ(b.narrow[dec].south, s.south);
                    EXPECT_EQ(b.narrow[dec].north, s.north);
                }
                // The longitude ranges, the one past 180 degrees included;
                // a latitude of other decimals leaves the ellipse out.
                LongitudeVerdict<int64_t>(&b, refLat, dec, refLon, dec);
                if (!b.lonBounded)
                    continue;
                const int64_t ends[] = {s.lonLow, s.lonLow + (int64_t)s.lonSpan, s.wrapLow,
                                        s.wrapLow + (int64_t)s.wrapSpan};
                for (int e = 0; e < (s.wrapSpan > 0 ? 4 : 2); e++) {
                    for (int64_t k = -1; k <= 1; k++)
                        probe.Poi(&b, refLat, ends[e] + k, dec);
                    EXPECT_NE(LongitudeVerdict<int64_t>(&b, 0, dec + 1, ends[e], dec), kSkip);
                    const int64_t out = ends[e] + (e % 2 == 0 ? -1 : 1);
                    const bool inOther = (uint64_t)(out - s.lonLow) <= s.lonSpan ||
                                         (uint64_t)(out - s.wrapLow) <= s.wrapSpan;
                    if (out >= -s.lonLimit && out <= s.lonLimit && !inOther) {
                        EXPECT_EQ(LongitudeVerdict<int64_t>(&b, 0, dec + 1, out, dec), kSkip) << "end " << e;
                    }
                }
                // The ellipse: round its edge, one unit either side.
                if (s.nearSquare == 0)
                    continue;
                const double radius = std::sqrt((double)s.nearSquare), c = s.cos16 / 65536.0;
                for (int step = 0; step < 32; step++) {
                    const double angle = step * (2 * kGeoPi / 32);
                    const int64_t dLat = std::llround(radius * std::cos(angle));
                    const int64_t dLon = std::llround(radius * std::sin(angle) / std::sqrt(c));
                    for (int64_t k = -1; k <= 1; k++)
                        probe.Poi(&b, refLat + dLat + (dLat > 0 ? k : -k), refLon + dLon + (dLon > 0 ? k : -k), dec);
                }
            }
            skipped += probe.skipped;
        }
    }
    EXPECT_GT(skipped, 5000) << "POIs at the bounds were skipped, as they should be where they can";
}

// Each bound against its derivation: at least what the proof needs, and
// not much more.
TEST(SkipBounds, EachBoundHoldsItsDerivation)
{
    static SkipBounds b;
    for (const auto& r : kRefs) {
        for (double farthest : kFarthest) {
            SCOPED_TRACE(testing::Message() << r[0] << "," << r[1] << " farthest " << farthest);
            InitBounds(&b, r[0], r[1]);
            UpdateBounds(&b, farthest);
            ASSERT_TRUE(b.active);
            // Latitude: the farthest distance over the least per degree.
            const long double reach = farthest / kKmPerRadian * 180 / kPi * 1e6L;
            EXPECT_GE(b.reachMicro, reach);
            EXPECT_LE(b.reachMicro, reach * (1 + 2e-6L) + 2);
            const long double south = r[0] * 1e6L - reach, north = r[0] * 1e6L + reach;
            EXPECT_LE(b.southMicro, south);
            EXPECT_GE(b.southMicro, south - reach * 2e-6L - 4);
            EXPECT_GE(b.northMicro, north);
            EXPECT_LE(b.northMicro, north + reach * 2e-6L + 4);
            EXPECT_LE(b.southWhole, std::floor(b.southMicro / 1e6L));
            EXPECT_GE(b.northWhole, std::ceil(b.northMicro / 1e6L));

            // Longitude: sin(σ/2) ≥ √(cos φ0 cos φ) sin(Δλ/2), cos φ least
            // at the band's edge nearer a pole.
            LongitudeVerdict<int64_t>(&b, 0, 1, 0, 0);
            const long double edge = std::fmax(std::fabs((long double)b.southMicro), std::fabs((long double)b.northMicro));
            const long double cosRef = std::cos(r[0] * kPi / 180), cosEdge = std::cos(edge * 1e-6L * kPi / 180);
            const long double sine = std::sin(farthest / kKmPerRadian / 2) / std::sqrt(cosRef * cosEdge);
            if (!b.lonBounded) {
                EXPECT_TRUE(edge >= 89.9e6L || sine >= 0.99L || farthest > 7000) << "a reach was to be had";
                continue;
            }
            ASSERT_LT(sine, 1);
            const long double lonReach = 2 * std::asin(sine) * 180 / kPi * 1e6L;
            EXPECT_GE(b.lonReachMicro, lonReach);
            EXPECT_LE(b.lonReachMicro, lonReach * 1.05L + 3);
            EXPECT_LE(b.cosProduct, cosRef * cosEdge);
            EXPECT_GE(b.cosProduct, cosRef * cosEdge * 0.95L);

            // The ellipse: Δφ² + c Δλ² beyond r² / (1 - W²/24)², with W the
            // widest difference inside the ranges (a unit and the
            // reference's rounding included).
            for (unsigned dec = 2; dec < kNarrowScales; dec++) {
                LongitudeVerdict<int64_t>(&b, 0, dec, 0, dec);
                const ScaledBounds<int64_t>& s = b.wide[dec];
                if (s.nearSquare == 0)
                    continue;
                const long double perMicro = Pow10(dec) / 1e6L;
                const long double r = std::ceil(b.reachMicro * perMicro);
                const long double widest = (std::fmax(b.reachMicro, b.lonReachMicro) + 1e6L / Pow10(dec) + 2) * 1e-6L * kPi / 180;
                const long double needed = r * r / std::pow(1 - widest * widest / 24, 2);
                EXPECT_GE((long double)s.nearSquare, needed) << "decimals " << dec;
                EXPECT_LE((long double)s.nearSquare, needed * 1.01L + 2) << "decimals " << dec;
                EXPECT_LE(s.cos16 / 65536.0L, cosRef * cosEdge) << "decimals " << dec;
            }
        }
    }
}

}  // namespace
