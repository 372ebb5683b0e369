#include "geo/geo.h"

#include <cmath>

namespace {

// ---- The margins of the bracket and of the compass point ---------------
// Each widens a bound outwards by far more than the rounding it covers.

// The bracket is made where the cosine of a latitude is at least 0.087
// (85 degrees), which bounds what its series and float lose.
constexpr double kBracketLatitudeLimit = 85;
// sin²F and cos²G from their series in float, within 1e-6; their squares'
// products within 1e-5.
constexpr float kSquareSlack = 1e-5f;
// The haversine S, within 1e-5 of itself: 2e-4 allowed where it divides.
constexpr float kHaversineSlack = 2e-4f;
// sin²G / S, the haversine's part along the meridian: within 1e-4.
constexpr float kRatioSlack = 1e-4f;
// Up to this ω both 3R - 1 and 3R + 1 stay positive; beyond, only the
// band of ± 3f holds the flattening's part.
constexpr float kFlatteningOmegaLimit = 0.7f;
// The root t of the haversine: far (from the series, within 1e-5) widened
// by 1e-4, near (within 1e-5 of itself) by 5e-5.
constexpr double kFarRootSlack = 1e-4;
constexpr float kNearRootSlack = 5e-5f;
// asin's and the conversions' rounding, relative.
constexpr double kAsinRounding = 1e-6;
// asin t ≤ t + t³/6 + 0.09 t⁵ for t up to 0.35, as the near bracket takes it.
constexpr float kAsinFifthPower = 0.09f;
// The near bracket for differences of latitude and longitude up to half a radian.
constexpr double kNearRadians = 0.5;
// The last margins: of the product with 2a, relative, and a micrometre.
constexpr double kPerRadianSlack = 1e-5;
constexpr double kKmSlack = 1e-9;
constexpr double kLowPerRadian = 2 * kEquatorialRadiusKm * (1 - kPerRadianSlack);
constexpr double kHighPerRadian = 2 * kEquatorialRadiusKm * (1 + kPerRadianSlack);
// The compass point from the distance's terms: where the bearing's own acos
// loses less than 1e-7 to rounding (S and C above 1e-9, some 400 m), and
// where the cosine of the bearing lies farther than 1e-5 from a sector's edge.
constexpr double kCompassTermsLimit = 1e-9;
constexpr double kSectorMargin = 1e-5;
// Nearer a pole than this, the reference's east and west are not told by
// the longitudes' order: the bearing's own trigonometry decides.
constexpr double kCompassLatitudeLimit = 85;

const wchar_t* const kCompass[17] = {
    L"N", L"NNO", L"NO", L"ONO", L"O", L"OSO", L"SO", L"SSO",
    L"S", L"SSW", L"SW", L"WSW", L"W", L"WNW", L"NW", L"NNW", L"N",
};

double ToRadians(double deg)
{
    return (deg * kGeoPi) / 180;
}

// acos of a value that rounding may have pushed just past ±1.
double ClampedAcos(double x)
{
    if (x > 1)
        x = 1;
    else if (x < -1)
        x = -1;
    return std::acos(x);
}

}  // namespace

double Square(double x)
{
    return x * x;
}

namespace {

// What the distance computation leaves for the compass point: the sines
// and cosines of half the sum and half the difference of the latitudes,
// the haversine S = sin²ω and C = cos²ω of half the central angle, and
// √(SC). Set only where full is.
struct DistanceTerms {
    bool full;
    double sinF, cosF, sinG, cosG, S, C, rootSC;
};

double DistanceWithTerms(double lat1, double lon1, double lat2, double lon2, DistanceTerms* t)
{
    t->full = false;
    if (lat1 == lat2 && lon1 == lon2)
        return 0;
    const double a = kEquatorialRadiusKm, f = kFlattening;
    const double phi1 = ToRadians(lat1), l1 = ToRadians(lon1);
    const double phi2 = ToRadians(lat2), l2 = ToRadians(lon2);

    const double F = (phi1 + phi2) / 2, G = (phi1 - phi2) / 2, lambda = (l1 - l2) / 2;
    const double sinF = std::sin(F), cosF = std::cos(F), sinG = std::sin(G), cosG = std::cos(G);
    const double sinF2 = Square(sinF), cosF2 = Square(cosF);
    const double sinG2 = Square(sinG), cosG2 = Square(cosG);
    const double sinL2 = Square(std::sin(lambda)), cosL2 = Square(std::cos(lambda));
    const double S = sinG2 * cosL2 + cosF2 * sinL2;
    const double C = cosG2 * cosL2 + sinF2 * sinL2;
    // Points that the conversion to radians made one: no distance.
    if (S == 0)
        return 0;
    const double omega = std::atan(std::sqrt(S / C));
    const double rootSC = std::sqrt(S * C);
    *t = DistanceTerms{true, sinF, cosF, sinG, cosG, S, C, rootSC};
    const double R = rootSC / omega;
    const double D = (omega * a) * 2;
    const double H1 = (R * 3 - 1) / (C * 2);
    const double H2 = (R * 3 + 1) / (S * 2);
    double d = (((f * H1) * sinF2) * cosG2 + 1 - ((f * H2) * cosF2) * sinG2) * D;
    // The correction stays within a few f of the sphere everywhere but
    // near the antipode, where C tends to 0 and H1 without bound; keep
    // it inside that band so the result is finite and non-negative.
    const double low = D * (1 - 3 * f), high = D * (1 + 3 * f);
    if (std::isnan(d) && !std::isnan(D))
        d = D;
    else if (d < low)
        d = low;
    else if (d > high)
        d = high;
    return d;
}

}  // namespace

double ComputeDistance(double lat1, double lon1, double lat2, double lon2)
{
    DistanceTerms terms;
    return DistanceWithTerms(lat1, lon1, lat2, lon2, &terms);
}

void MakeDistanceReference(DistanceReference* ref, double lat, double lon)
{
    ref->lat = lat;
    ref->lon = lon;
    ref->bracketable = lat >= -kBracketLatitudeLimit && lat <= kBracketLatitudeLimit && lon >= -180 && lon <= 180;
    ref->sinLat = ref->bracketable ? std::sin(ToRadians(lat)) : 0;
    ref->cosLat = ref->bracketable ? std::cos(ToRadians(lat)) : 0;
}

// sin z for |z| up to π/2 by its series to z¹¹, off by 6e-8 of itself at
// most; cos z for |z| up to 85 degrees to z¹², off by 3e-9, which is
// 4e-8 of cos 85°.
static float SinSeries(float z)
{
    const float z2 = z * z;
    return z * (1 + z2 * (-1.0f / 6 + z2 * (1.0f / 120 + z2 * (-1.0f / 5040 + z2 * (1.0f / 362880 +
                                                                                  z2 * (-1.0f / 39916800))))));
}

static float CosSeries(float z)
{
    const float z2 = z * z;
    return 1 + z2 * (-0.5f + z2 * (1.0f / 24 + z2 * (-1.0f / 720 + z2 * (1.0f / 40320 + z2 * (-1.0f / 3628800 +
                                                                                          z2 * (1.0f / 479001600))))));
}

// ComputeDistance gives 2aω (1 + f K), kept within 1 ± 3f, where
//   K = (3R - 1) / (2C) sin²F cos²G - (3R + 1) / (2S) cos²F sin²G
// with F the mean latitude, G half the latitude difference, S = sin²ω (the
// haversine), C = 1 - S and R = sin 2ω / 2ω, which lies between 1 - 2ω²/3
// and 1. Bounds of 1 + f K from those of its parts: sin F (within 1e-6,
// its square within 1e-5), sin²G (within 1e-6 of itself), S (within 1e-5
// of itself, 2e-4 allowed) and the upper bound of ω. Up to ω = 0.7 both
// 3R - 1 and 3R + 1 stay positive; beyond, only the band of ± 3f.
static void FlatteningFactor(float sinF, float sinG2, float haversine, float omegaHigh, float* low, float* high)
{
    *low = 1 - 3 * (float)kFlattening;
    *high = 1 + 3 * (float)kFlattening;
    if (!(haversine > 0 && omegaHigh <= kFlatteningOmegaLimit))
        return;
    const float sinF2 = sinF * sinF, cosF2 = 1 - sinF2, cosG2 = 1 - sinG2;
    const float ratio = sinG2 / haversine;   // the part of the haversine along the meridian
    const float w2 = omegaHigh * omegaHigh, sHigh = haversine * (1 + kHaversineSlack);
    const float aLow = (1 - w2) * (sinF2 - kSquareSlack) * (cosG2 - kSquareSlack);
    const float aHigh = (sinF2 + kSquareSlack) * (cosG2 + kSquareSlack) / (1 - sHigh);
    const float bLow = (2 - w2) * (cosF2 - kSquareSlack) * (ratio * (1 - kRatioSlack));
    const float bHigh = 2 * (cosF2 + kSquareSlack) * (ratio * (1 + kRatioSlack));
    const float f = (float)kFlattening;
    *low = std::fmax(*low, 1 + f * (aLow - bHigh));
    *high = std::fmin(*high, 1 + f * (aHigh - bLow));
}

// DistanceBracket beyond half a radian: the haversine from the series
// above, within 1e-5 of itself (the cosine of a latitude up to 85 degrees
// loses most to rounding), its root t widened by 1e-4, and 2aω taken from
// asin of both ends of t, with the flattening's part as near. Up to some
// 9,000 km about 0.5 percent wide, beyond 2 (3 near the antipode).
static bool FarBracket(const DistanceReference& ref, double lat, double dLatDeg, double dLonDeg, double* low,
                double* high)
{
    constexpr double kRadian = kGeoPi / 180;
    const float sinX = SinSeries((float)(dLatDeg * (kRadian / 2)));
    const float sinY = SinSeries((float)(dLonDeg * (kRadian / 2)));
    const float cosLat = CosSeries((float)(lat * kRadian));
    const float haversine = sinX * sinX + (float)ref.cosLat * cosLat * (sinY * sinY);
    const double t = std::sqrt(haversine);
    const double tHigh = t * (1 + kFarRootSlack);
    const double omegaLow = std::asin(t * (1 - kFarRootSlack)) * (1 - kAsinRounding);
    const double omegaHigh = (tHigh < 1 ? std::asin(tHigh) : kGeoPi / 2) * (1 + kAsinRounding);
    float factorLow, factorHigh;
    FlatteningFactor(SinSeries((float)((lat + ref.lat) * (kRadian / 2))), sinX * sinX, haversine, (float)omegaHigh,
                     &factorLow, &factorHigh);
    *low = omegaLow * factorLow * kLowPerRadian - kKmSlack;
    *high = omegaHigh * factorHigh * kHighPerRadian + kKmSlack;
    return true;
}

bool DistanceBracket(const DistanceReference& ref, double lat, double lon, double* low, double* high)
{
    if (!ref.bracketable || !(lat >= -kBracketLatitudeLimit && lat <= kBracketLatitudeLimit))
        return false;
    double dLonDeg = lon - ref.lon;
    if (!(dLonDeg >= -360 && dLonDeg <= 360))
        return false;
    if (dLonDeg > 180)
        dLonDeg -= 360;
    else if (dLonDeg < -180)
        dLonDeg += 360;
    constexpr double kRadian = kGeoPi / 180;
    const double dLatDeg = lat - ref.lat;
    if (!(std::fabs(dLatDeg) <= kNearRadians / kRadian && std::fabs(dLonDeg) <= kNearRadians / kRadian))
        return FarBracket(ref, lat, dLatDeg, dLonDeg, low, high);
    // In single precision, a third of the cost of double on the device's
    // processor; its rounding (below 1e-7 an operation) is covered by the
    // margins below many times over.
    //
    // The haversine sin²ω (ω half the central angle) from series: sin x by
    // x - x³/6 + x⁵/120 (off by x⁷/5040 at most), and cos φ of the point by
    // cos φ0 cos Δ - sin φ0 sin Δ with cos Δ to Δ⁶ and sin Δ to Δ⁵ (off by
    // 1.7e-6). Within 85 degrees of the equator, where cos φ is at least
    // 0.087, these stay within 2e-5 of the haversine, 1e-5 of its root t,
    // which is widened by 5e-5. Then asin t lies between t + t³/6 and that
    // plus 0.09 t⁵ (t at most 0.35 here).
    const float sixth = 1.0f / 6, twentyFourth = 1.0f / 24, k120th = 1.0f / 120, k720th = 1.0f / 720;
    const float dLat = (float)(dLatDeg * kRadian), dLon = (float)(dLonDeg * kRadian);
    const float sinRef = (float)ref.sinLat, cosRef = (float)ref.cosLat;
    const float x = dLat * 0.5f, y = dLon * 0.5f, x2 = x * x, y2 = y * y;
    const float sinX = x * (1 - x2 * sixth + x2 * x2 * k120th);
    const float sinY = y * (1 - y2 * sixth + y2 * y2 * k120th);
    const float d2 = dLat * dLat;
    const float cosD = 1 - d2 * 0.5f + d2 * d2 * twentyFourth - d2 * d2 * d2 * k720th;
    const float sinD = dLat * (1 - d2 * sixth + d2 * d2 * k120th);
    const float cosLat = cosRef * cosD - sinRef * sinD;
    const float sinG2 = sinX * sinX;
    const float haversine = sinG2 + cosRef * cosLat * (sinY * sinY);
    const float t = std::sqrt(haversine);
    const float tLow = t * (1 - kNearRootSlack), tHigh = t * (1 + kNearRootSlack);
    const float omegaLow = tLow + tLow * tLow * tLow * sixth;
    const float tHigh2 = tHigh * tHigh;
    const float omegaHigh = tHigh + tHigh * tHigh2 * sixth + kAsinFifthPower * tHigh * tHigh2 * tHigh2;
    // The flattening's part: sin F of the mean latitude φ0 + x from
    // sin φ0 cos x + cos φ0 sin x, cos x to x⁴ (off by 3.4e-7 for x up to
    // 0.25).
    float factorLow, factorHigh;
    const float cosX = 1 - x2 * 0.5f + x2 * x2 * twentyFourth;
    FlatteningFactor(sinRef * cosX + cosRef * sinX, sinG2, haversine, omegaHigh, &factorLow, &factorHigh);
    *low = (double)(omegaLow * factorLow) * kLowPerRadian - kKmSlack;
    *high = (double)(omegaHigh * factorHigh) * kHighPerRadian + kKmSlack;
    return true;
}

// ComputeDistanceBearing's bearing.
static double Bearing(double lat1, double lon1, double lat2, double lon2)
{
    if (lat1 == lat2 && lon1 == lon2)
        return 0;
    const double phi1 = ToRadians(lat1), l1 = ToRadians(lon1);
    const double phi2 = ToRadians(lat2), l2 = ToRadians(lon2);
    // Each sine and cosine once: on the device every one is thousands of
    // instructions.
    const double sinPhi1 = std::sin(phi1), cosPhi1 = std::cos(phi1), sinPhi2 = std::sin(phi2);
    const double delta = ClampedAcos(sinPhi1 * sinPhi2 + (cosPhi1 * std::cos(phi2)) * std::cos(l2 - l1));
    const double theta = ClampedAcos((sinPhi2 - sinPhi1 * std::cos(delta)) / (cosPhi1 * std::sin(delta)));
    double bearing = (theta * 180) / kGeoPi;
    // West or east by the shorter way round: a target just across the
    // 180th meridian to the east lies east. Within half a turn the
    // difference has the sign of the plain comparison.
    double dl = l2 - l1;
    if (dl > kGeoPi || dl < -kGeoPi) {
        dl = std::fmod(dl, 2 * kGeoPi);
        if (dl > kGeoPi)
            dl -= 2 * kGeoPi;
        else if (dl < -kGeoPi)
            dl += 2 * kGeoPi;
    }
    if (dl < 0)
        bearing = 360 - bearing;
    // 0/0 where the points are a pole or antipodes apart: no direction.
    if (!(bearing >= 0 && bearing <= 360))
        bearing = 0;
    return bearing;
}

void ComputeDistanceBearing(double lat1, double lon1, double lat2, double lon2,
                            double& distanceKm, double& bearingDeg)
{
    distanceKm = ComputeDistance(lat1, lon1, lat2, lon2);
    bearingDeg = Bearing(lat1, lon1, lat2, lon2);
}

// The cosines of the bearings east of north where the compass point
// changes (11.75, 33.75, ... 168.75 degrees: CompassPoint cuts the sum to
// whole degrees); west of north they lie mirrored about 180.
static const double kCosSectorEdge[8] = {0.97904547248458385,  0.83146961230254524,  0.54829322951991388,
                                         0.19509032201612833,  -0.20364175114017755, -0.55557023301960229,
                                         -0.83628615584775956, -0.98078528040323043};

// The compass point's index east of north (0 to 8) of a bearing θ from
// its cosine, -1 where it lies within margin of an edge.
static int EastSector(double cosTheta, double margin)
{
    for (int k = 0; k < 8; k++) {
        if (cosTheta > kCosSectorEdge[k] + margin)
            return k;
        if (cosTheta >= kCosSectorEdge[k] - margin)
            return -1;
    }
    return 8;
}

void ComputeDistanceCompass(double lat1, double lon1, double lat2, double lon2, double& distanceKm,
                            const wchar_t*& compass)
{
    DistanceTerms t;
    distanceKm = DistanceWithTerms(lat1, lon1, lat2, lon2, &t);
    // Bearing's θ = acos((sin φ2 - sin φ1 cos δ) / (cos φ1 sin δ)) from the
    // terms, without its four sines and cosines and two acos: cos δ is
    // C - S and sin δ is 2√(SC), and φ1, φ2 are F + G and F - G. Bearing
    // itself loses up to 4e-16 / δ² of that cosine to its acos of cos δ:
    // below 1e-7 from a δ of 6e-5 (S of 1e-9, some 400 metres) on, and a
    // point within 1e-5 of an edge is left to it. So are the cases where
    // east and west are not told by the longitudes' order: farther than a
    // turn, or the reference near a pole.
    const double lonDiff = lon2 - lon1;
    if (t.full && t.S > kCompassTermsLimit && t.C > kCompassTermsLimit && lat1 >= -kCompassLatitudeLimit &&
        lat1 <= kCompassLatitudeLimit && lat2 >= -90 && lat2 <= 90 &&
        lonDiff >= -360 && lonDiff <= 360) {
        const double sinPhi1 = t.sinF * t.cosG + t.cosF * t.sinG, cosPhi1 = t.cosF * t.cosG - t.sinF * t.sinG;
        const double sinPhi2 = t.sinF * t.cosG - t.cosF * t.sinG;
        const double cosTheta = (sinPhi2 - sinPhi1 * (t.C - t.S)) / (cosPhi1 * 2 * t.rootSC);
        // West when the target lies less than half a turn west: then the
        // bearing is 360 - θ, and its point 8 on from that of 180 - θ.
        const bool west = lonDiff > 180 || (lonDiff < 0 && lonDiff >= -180);
        const int sector = EastSector(west ? -cosTheta : cosTheta, kSectorMargin);
        if (sector >= 0) {
            compass = kCompass[west ? 8 + sector : sector];
            return;
        }
    }
    compass = CompassPoint(Bearing(lat1, lon1, lat2, lon2));
}

const wchar_t* CompassPoint(double bearingDeg)
{
    double b = bearingDeg;
    if (!(b >= 0 && b <= 360)) {
        b = std::fmod(b, 360.0);
        if (b < 0)
            b += 360;
        if (!(b >= 0 && b < 360))
            return kCompass[0];
    }
    const double x = b + 11.25;
    const int n = (int)x;
    const int index = (n * 2) / 45;
    return kCompass[index];
}

void MercatorToGeo(double x, double y, double& latDeg, double& lonDeg)
{
    const double u = x / kMercatorRadiusM;
    const double v = y / kMercatorRadiusM;
    lonDeg = (u * 180) / kGeoPi;
    latDeg = (std::atan(std::sinh(v)) * 180) / kGeoPi;
}

void GeoToMercator(double latDeg, double lonDeg, double& x, double& y)
{
    const double lambda = (lonDeg * kGeoPi) / 180;
    const double phi = (latDeg * kGeoPi) / 180;
    x = lambda * kMercatorRadiusM;
    y = AreaTanh(std::sin(phi)) * kMercatorRadiusM;
}

double AreaTanh(double t)
{
    return std::log((t + 1) / (1 - t)) * 0.5;
}
