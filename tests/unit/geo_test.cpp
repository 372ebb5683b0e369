#include "geo/geo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

uint64_t Bits(double d)
{
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

struct Result { double km, deg; };

Result Between(double lat1, double lon1, double lat2, double lon2)
{
    Result r = {-1, -1};
    ComputeDistanceBearing(lat1, lon1, lat2, lon2, r.km, r.deg);
    return r;
}

const std::wstring kNames[] = {L"N", L"NNO", L"NO", L"ONO", L"O", L"OSO", L"SO", L"SSO",
                               L"S", L"SSW", L"SW", L"WSW", L"W", L"WNW", L"NW", L"NNW"};

bool IsCompassName(const wchar_t* s)
{
    for (const std::wstring& n : kNames)
        if (n == s)
            return true;
    return false;
}

// Vincenty's inverse formula on the same ellipsoid: an independent,
// iterative computation of the geodesic distance, in kilometres.
double Vincenty(double lat1, double lon1, double lat2, double lon2)
{
    const double a = 6378.14, f = 1 / 298.257223563, b = a * (1 - f);
    const double rad = std::acos(-1.0) / 180;
    const double U1 = std::atan((1 - f) * std::tan(lat1 * rad));
    const double U2 = std::atan((1 - f) * std::tan(lat2 * rad));
    const double L = (lon2 - lon1) * rad;
    double lambda = L, sinSigma = 0, cosSigma = 0, sigma = 0, cos2Alpha = 0, cos2SigmaM = 0;
    for (int i = 0; i < 200; i++) {
        const double sinL = std::sin(lambda), cosL = std::cos(lambda);
        sinSigma = std::hypot(std::cos(U2) * sinL,
                              std::cos(U1) * std::sin(U2) - std::sin(U1) * std::cos(U2) * cosL);
        if (sinSigma == 0)
            return 0;
        cosSigma = std::sin(U1) * std::sin(U2) + std::cos(U1) * std::cos(U2) * cosL;
        sigma = std::atan2(sinSigma, cosSigma);
        const double sinAlpha = std::cos(U1) * std::cos(U2) * sinL / sinSigma;
        cos2Alpha = 1 - sinAlpha * sinAlpha;
        cos2SigmaM = cos2Alpha != 0 ? cosSigma - 2 * std::sin(U1) * std::sin(U2) / cos2Alpha : 0;
        const double C = f / 16 * cos2Alpha * (4 + f * (4 - 3 * cos2Alpha));
        const double next = L + (1 - C) * f * sinAlpha *
            (sigma + C * sinSigma * (cos2SigmaM + C * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
        if (std::fabs(next - lambda) < 1e-13) {
            lambda = next;
            break;
        }
        lambda = next;
    }
    const double u2 = cos2Alpha * (a * a - b * b) / (b * b);
    const double A = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
    const double B = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
    const double dSigma = B * sinSigma * (cos2SigmaM + B / 4 * (cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM) -
        B / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma) * (-3 + 4 * cos2SigmaM * cos2SigmaM)));
    return b * A * (sigma - dSigma);
}

// The initial bearing on the sphere by the atan2 form, 0..360.
double SphereBearing(double lat1, double lon1, double lat2, double lon2)
{
    const double rad = std::acos(-1.0) / 180;
    const double p1 = lat1 * rad, p2 = lat2 * rad, dl = (lon2 - lon1) * rad;
    double t = std::atan2(std::sin(dl) * std::cos(p2),
                          std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)) / rad;
    return t < 0 ? t + 360 : t;
}

TEST(Geo, ConstantsByTheirBits)
{
    EXPECT_EQ(Bits(kGeoPi), 0x400921FB54442D1Au);
    EXPECT_NE(Bits(kGeoPi), Bits(std::acos(-1.0))) << "not the library's pi";
    EXPECT_EQ(Bits(kEquatorialRadiusKm), 0x40B8EA23D70A3D71u);
    EXPECT_EQ(Bits(kFlattening), 0x3F6B775A84F3E129u);
    volatile double divisor = 298.257223563;
    EXPECT_EQ(Bits(1.0 / divisor), 0x3F6B775A84F3E128u) << "the run-time quotient is one below";
    EXPECT_EQ(Bits(kMercatorRadiusM), 0x41584DAE00000000u);
}

TEST(Geo, WorkedDistancesAndBearings)
{
    struct Case { const char* name; double lat1, lon1, lat2, lon2, km, deg; const wchar_t* compass; };
    const Case cases[] = {
        {"Berlin to Munich", 52.52, 13.405, 48.1374, 11.5755, 504.565, 195.63, L"SSW"},
        {"Munich to Berlin", 48.1374, 11.5755, 52.52, 13.405, 504.565, 14.22, L"NNO"},
        {"50/8 to 50/9", 50, 8, 50, 9, 71.695, 89.62, L"O"},
        {"50/9 to 50/8", 50, 9, 50, 8, 71.695, 270.38, L"W"},
        {"equator degree", 0, 0, 0, 1, 111.320, 90, L"O"},
        {"across 180 to the east", 0, 179, 0, -179, 222.639, 90, L"O"},
        {"across 180 to the west", 0, -179, 0, 179, 222.639, 270, L"W"},
        {"across 180 north-east", 10, 179.5, 11, -179.5, 155.619, 44.43, L"NO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = Between(c.lat1, c.lon1, c.lat2, c.lon2);
        EXPECT_NEAR(r.km, c.km, 0.0005);
        EXPECT_NEAR(r.deg, c.deg, 0.005);
        EXPECT_STREQ(CompassPoint(r.deg), c.compass);
    }
    EXPECT_NEAR(Between(50, 8, 51, 8).km, 111.240, 0.0005) << "meridian degree";
}

TEST(Geo, IdenticalPointsAreNearestAndNorth)
{
    const double points[][2] = {{0, 0}, {50.1, 8.68}, {-33.9, 151.2}, {90, 0}, {-90, 45}, {0, 180}};
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << p[0] << "," << p[1]);
        Result r = Between(p[0], p[1], p[0], p[1]);
        EXPECT_EQ(r.km, 0.0);
        EXPECT_EQ(r.deg, 0.0);
        EXPECT_STREQ(CompassPoint(r.deg), L"N");
    }
}

TEST(Geo, SymmetryOfTheDistance)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> lat(-89.9, 89.9), lon(-180, 180);
    for (int i = 0; i < 2000; i++) {
        double a = lat(rng), b = lon(rng), c = lat(rng), d = lon(rng);
        double km = Between(a, b, c, d).km;
        EXPECT_EQ(km, Between(c, d, a, b).km) << "swapped";
        EXPECT_EQ(km, Between(a, -b, c, -d).km) << "mirrored longitudes";
    }
}

TEST(Geo, BearingAlongAMeridianIsNorthOrSouth)
{
    // Equal longitudes put step 11's acos argument at ±1 in exact
    // arithmetic; rounding must not turn it into NaN. The law of cosines
    // leaves residues of a few thousandths of a degree for short steps.
    for (double lat = -80; lat <= 80; lat += 0.37) {
        SCOPED_TRACE(lat);
        Result north = Between(lat, 8.25, lat + 0.013, 8.25);
        Result south = Between(lat + 0.013, 8.25, lat, 8.25);
        EXPECT_TRUE(north.deg >= 0 && north.deg < 0.01) << north.deg;
        EXPECT_TRUE(south.deg > 179.99 && south.deg <= 180) << south.deg;
        EXPECT_STREQ(CompassPoint(north.deg), L"N");
        EXPECT_STREQ(CompassPoint(south.deg), L"S");
    }
    // Where the argument does leave -1..1, limiting it gives exactly 0 or 180.
    int exact = 0;
    for (double lat = -80; lat <= 80; lat += 0.37) {
        exact += Between(lat, 8.25, lat + 10, 8.25).deg == 0.0;
        exact += Between(lat + 10, 8.25, lat, 8.25).deg == 180.0;
    }
    EXPECT_GT(exact, 0);
    // Points a centimetre apart.
    Result r = Between(50.0, 8.0, 50.0000001, 8.0000001);
    EXPECT_GE(r.deg, 0.0);
    EXPECT_LE(r.deg, 360.0);
    EXPECT_GT(r.km, 0.0);
}

TEST(Geo, NearAntipodesStayFinite)
{
    const double pairs[][4] = {
        {0, 0, 0, 180}, {0, 0, 0, -180}, {0, 0, 0, 179.9999}, {10, 20, -10, -160},
        {45, 0, -45, 180}, {89.999, 0, -89.999, 180}, {90, 0, -90, 0}, {0.5, 0, -0.5, 179.5},
    };
    for (const auto& p : pairs) {
        SCOPED_TRACE(testing::Message() << p[0] << "," << p[1] << " to " << p[2] << "," << p[3]);
        Result r = Between(p[0], p[1], p[2], p[3]);
        EXPECT_TRUE(std::isfinite(r.km));
        EXPECT_GE(r.km, 19000.0);
        EXPECT_LE(r.km, 20100.0);
        EXPECT_GE(r.deg, 0.0);
        EXPECT_LE(r.deg, 360.0);
    }
}

TEST(Geo, RandomPairsStayInRange)
{
    std::mt19937_64 rng(2026);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    for (int i = 0; i < 100000; i++) {
        double a = lat(rng), b = lon(rng), c = lat(rng), d = lon(rng);
        Result r = Between(a, b, c, d);
        ASSERT_TRUE(std::isfinite(r.km) && r.km >= 0 && r.km <= 20100) << a << "," << b << " " << c << "," << d;
        ASSERT_TRUE(r.deg >= 0 && r.deg <= 360) << a << "," << b << " " << c << "," << d;
        ASSERT_TRUE(IsCompassName(CompassPoint(r.deg)));
    }
}

TEST(Geo, TheBracketHoldsTheDistance)
{
    // References anywhere up to 85 degrees (and the 180th meridian), points
    // at every scale up to the antipode, some on the reference itself, some
    // across the meridian and some near the antipode: always low <= d <=
    // high; within half a radian high at most 0.02 percent above low (0.2
    // beyond 500 km, where the flattening's part is known less closely),
    // farther 3.5 percent; and a bracket for every point up to 85 degrees.
    std::mt19937_64 rng(85);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 200000; i++) {
        DistanceReference ref;
        const double refLat = i % 7 == 0 ? 85 * (i % 2 ? 1 : -1) : 85 * unit(rng);
        const double refLon = i % 5 == 0 ? 180 * (i % 2 ? 1 : -1) : 180 * unit(rng);
        MakeDistanceReference(&ref, refLat, refLon);
        const double scale = std::pow(10.0, -7 + 9.5 * (unit(rng) + 1) / 2);   // up to about 300 degrees
        double lat = i % 11 == 0 ? refLat : refLat + scale * unit(rng);
        double lon = i % 13 == 0 ? refLon : refLon + scale * unit(rng);
        if (i % 17 == 0) {   // near the antipode
            lat = -refLat + scale * 1e-5 * unit(rng);
            lon = refLon + 180 + scale * 1e-5 * unit(rng);
        }
        lat = std::fmax(-86, std::fmin(86, lat));
        lon = std::remainder(lon, 360.0);
        double low, high;
        const double d = ComputeDistance(refLat, refLon, lat, lon);
        if (!DistanceBracket(ref, lat, lon, &low, &high)) {
            ASSERT_GT(std::fabs(lat), 85) << refLat << "," << refLon << " to " << lat << "," << lon;
            continue;
        }
        ASSERT_LE(low, d) << refLat << "," << refLon << " to " << lat << "," << lon;
        ASSERT_GE(high, d) << refLat << "," << refLon << " to " << lat << "," << lon;
        const double dLon = std::fabs(std::remainder(lon - refLon, 360.0));
        const bool near = std::fabs(lat - refLat) < 28.6 && dLon < 28.6;
        ASSERT_LE(high, low * (near ? d < 500 ? 1.0002 : 1.002 : 1.035) + 3e-9)
            << refLat << "," << refLon << " to " << lat << "," << lon;
    }
    DistanceReference ref;
    MakeDistanceReference(&ref, 50, 8);
    double low, high;
    EXPECT_FALSE(DistanceBracket(ref, 86, 8, &low, &high));
    EXPECT_FALSE(DistanceBracket(ref, std::nan(""), 8, &low, &high));
    EXPECT_FALSE(DistanceBracket(ref, 50, INFINITY, &low, &high));
    MakeDistanceReference(&ref, 89, 8);
    EXPECT_FALSE(DistanceBracket(ref, 89, 8, &low, &high));
}

TEST(Geo, AgainstVincentyAndTheSphericalBearing)
{
    // Andoyer's first-order formula against Vincenty's iteration on the
    // same ellipsoid: within 0.01 % up to 15000 km; bearings against the
    // atan2 form on the sphere to 1e-6 degrees.
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180);
    double worstRel = 0, worstBearing = 0;
    int compared = 0;
    for (int i = 0; i < 20000; i++) {
        double a = lat(rng), b = lon(rng), c = lat(rng), d = lon(rng);
        double v = Vincenty(a, b, c, d);
        if (v > 15000 || v < 1)
            continue;
        Result r = Between(a, b, c, d);
        double rel = std::fabs(r.km - v) / v;
        worstRel = std::max(worstRel, rel);
        EXPECT_LT(rel, 1e-4) << a << "," << b << " " << c << "," << d << ": " << r.km << " vs " << v;
        compared++;
        // Exactly half a turn apart, east and west are one.
        if (std::fabs(d - b) == 180)
            continue;
        double db = std::fabs(r.deg - SphereBearing(a, b, c, d));
        db = std::min(db, 360 - db);
        worstBearing = std::max(worstBearing, db);
        EXPECT_LT(db, 1e-6);
    }
    EXPECT_GT(compared, 10000);
    // Short distances, as a POI search sees them: within a metre.
    std::uniform_real_distribution<double> near(-0.5, 0.5);
    double worstShortM = 0;
    for (int i = 0; i < 20000; i++) {
        double a = lat(rng) * 0.8, b = lon(rng);
        double c = a + near(rng), d = b + near(rng);
        double diffM = std::fabs(Between(a, b, c, d).km - Vincenty(a, b, c, d)) * 1000;
        worstShortM = std::max(worstShortM, diffM);
        EXPECT_LT(diffM, 1.0);
    }
    std::printf("largest differences: %.3g relative (up to 15000 km), %.3g m (up to 50 km), bearing %.3g deg\n",
                worstRel, worstShortM, worstBearing);
}

TEST(Geo, CompassBoundaries)
{
    struct Case { double deg; const wchar_t* name; };
    const Case cases[] = {
        {0, L"N"}, {11.5, L"N"}, {11.75, L"NNO"}, {33.75, L"NO"}, {56.5, L"NO"}, {56.75, L"ONO"},
        {78.74, L"ONO"}, {78.75, L"O"}, {101.75, L"OSO"}, {180, L"S"}, {191.74, L"S"}, {191.75, L"SSW"},
        {258.75, L"W"}, {348.7, L"NNW"}, {348.75, L"N"}, {360, L"N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deg);
        EXPECT_STREQ(CompassPoint(c.deg), c.name);
    }
    // Every sector start of the table, from both sides (a hair below: one
    // unit below may round up when 11.25 is added).
    const double starts[] = {11.75, 33.75, 56.75, 78.75, 101.75, 123.75, 146.75, 168.75,
                             191.75, 213.75, 236.75, 258.75, 281.75, 303.75, 326.75, 348.75};
    for (int i = 0; i < 16; i++) {
        SCOPED_TRACE(starts[i]);
        EXPECT_EQ(CompassPoint(starts[i]), std::wstring(kNames[(i + 1) % 16]));
        EXPECT_EQ(CompassPoint(starts[i] - 1e-9), kNames[i]);
    }
}

TEST(Geo, CompassFromTheDistanceTermsIsTheBearingsPoint)
{
    // Targets at every scale of distance from random references, on
    // bearings anywhere and a hair to either side of the sector edges,
    // their longitude now and then a turn off: the same distance, bit for
    // bit, and the point CompassPoint gives for the bearing.
    std::mt19937_64 rng(16);
    std::uniform_real_distribution<double> unit(0, 1);
    const double edges[] = {11.75, 33.75, 56.75, 78.75, 101.75, 123.75, 146.75, 168.75,
                            191.75, 213.75, 236.75, 258.75, 281.75, 303.75, 326.75, 348.75};
    for (int i = 0; i < 20000; i++) {
        const double lat1 = (unit(rng) * 2 - 1) * (i % 10 == 0 ? 90 : 85), lon1 = (unit(rng) * 2 - 1) * 180;
        const double sigma = std::pow(10, -7 + 7.5 * unit(rng));   // radians, up to π
        double course = unit(rng) * 360;
        if (i % 2 == 0)
            course = edges[i / 2 % 16] + (unit(rng) * 2 - 1) * std::pow(10, -8 + 6 * unit(rng));
        const double p1 = lat1 * kGeoPi / 180, c = course * kGeoPi / 180, s = std::min(sigma, kGeoPi);
        const double p2 = std::asin(std::sin(p1) * std::cos(s) + std::cos(p1) * std::sin(s) * std::cos(c));
        const double dl = std::atan2(std::sin(c) * std::sin(s) * std::cos(p1), std::cos(s) - std::sin(p1) * std::sin(p2));
        const double lat2 = p2 * 180 / kGeoPi;
        double lon2 = lon1 + dl * 180 / kGeoPi;
        if (i % 7 == 0)
            lon2 += i % 14 == 0 ? 360 : -360;
        SCOPED_TRACE(testing::Message() << lat1 << "," << lon1 << " to " << lat2 << "," << lon2);
        const Result expected = Between(lat1, lon1, lat2, lon2);
        double km;
        const wchar_t* compass;
        ComputeDistanceCompass(lat1, lon1, lat2, lon2, km, compass);
        ASSERT_EQ(Bits(km), Bits(expected.km));
        ASSERT_STREQ(compass, CompassPoint(expected.deg));
    }
}

TEST(Geo, CompassNamesEveryInput)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_STREQ(CompassPoint(nan), L"N");
    EXPECT_STREQ(CompassPoint(inf), L"N");
    EXPECT_STREQ(CompassPoint(-inf), L"N");
    EXPECT_STREQ(CompassPoint(-90), L"W");
    EXPECT_STREQ(CompassPoint(450), L"O");
    EXPECT_STREQ(CompassPoint(1e300), CompassPoint(std::fmod(1e300, 360.0)));
    EXPECT_STREQ(CompassPoint(-1e-300), L"N");

    Result r = Between(nan, 0, 1, 1);
    EXPECT_TRUE(std::isnan(r.km)) << "a NaN distance is never taken";
    EXPECT_EQ(r.deg, 0.0);
}

TEST(Geo, Mercator)
{
    double lat = -1, lon = -1, x = -1, y = -1;
    MercatorToGeo(0, 0, lat, lon);
    EXPECT_EQ(lat, 0.0);
    EXPECT_EQ(lon, 0.0);
    GeoToMercator(0, 0, x, y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);

    MercatorToGeo(1000000, 6000000, lat, lon);
    EXPECT_NEAR(lat, 47.394594, 5e-7);
    EXPECT_NEAR(lon, 8.993216, 5e-7);
    MercatorToGeo(1000000, 6500000, lat, lon);
    EXPECT_NEAR(lat, 50.350973, 5e-7);
    EXPECT_NEAR(lon, 8.993216, 5e-7);

    GeoToMercator(50, 8, x, y);
    EXPECT_NEAR(x, 889559.413, 5e-4);
    EXPECT_NEAR(y, 6439062.595, 5e-4);
    MercatorToGeo(x, y, lat, lon);
    EXPECT_NEAR(lat, 50, 1e-12);
    EXPECT_NEAR(lon, 8, 1e-12);

    MercatorToGeo(40000000, 0, lat, lon);
    EXPECT_NEAR(lon, 359.728642, 5e-7) << "no wrap";
    GeoToMercator(90, 0, x, y);
    EXPECT_EQ(y, std::numeric_limits<double>::infinity());
    GeoToMercator(-90, 0, x, y);
    EXPECT_EQ(y, -std::numeric_limits<double>::infinity());
    EXPECT_NEAR(AreaTanh(0.5), 0.549306, 5e-7);
    EXPECT_EQ(AreaTanh(0), 0.0);
}

TEST(Geo, MercatorRoundTrip)
{
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180);
    for (int i = 0; i < 10000; i++) {
        double la = lat(rng), lo = lon(rng), x, y, la2, lo2;
        GeoToMercator(la, lo, x, y);
        MercatorToGeo(x, y, la2, lo2);
        ASSERT_NEAR(la2, la, 1e-9);
        ASSERT_NEAR(lo2, lo, 1e-12);
    }
}

}  // namespace
