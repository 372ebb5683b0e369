// Geodesy: distance and bearing between two points, the 16-point compass
// in German abbreviations, and spherical Mercator conversion.
// Platform-neutral: no Windows header, builds with the host compiler too.
//
// Notation: φ latitude, L longitude (radians inside, degrees at the
// interface; north and east positive), a equatorial radius, f flattening.
// All arithmetic is IEEE 754 double, evaluated in the written order; the
// build turns off fused multiply-add contraction so that every target gives
// the same last bits.
#pragma once

// π as the program uses it: 3.141592653589794, bits 0x400921FB54442D1A,
// two units in the last place above the double nearest to π.
constexpr double kGeoPi = 3.141592653589794;
// Equatorial radius a in kilometres: 6378.14, bits 0x40B8EA23D70A3D71.
constexpr double kEquatorialRadiusKm = 6378.14;
// Flattening f = 1/298.257223563, the double nearest to the exact quotient,
// bits 0x3F6B775A84F3E129 (1.0 / 298.257223563 at run time is one below).
constexpr double kFlattening = 0.003352810664747481;
// Radius of the Mercator sphere in metres, bits 0x41584DAE00000000.
constexpr double kMercatorRadiusM = 6371000.0;

// x * x.
double Square(double x);

// The distance alone, as ComputeDistanceBearing gives it, bit for bit:
// the search needs the bearing only for the lines it keeps.
double ComputeDistance(double lat1, double lon1, double lat2, double lon2);

// A reference position from which many distances are bracketed.
struct DistanceReference {
    double lat, lon;        // degrees
    double sinLat, cosLat;  // of the latitude
    bool bracketable;       // within 85 degrees of the equator
};
void MakeDistanceReference(DistanceReference* ref, double lat, double lon);

// Bounds low <= ComputeDistance(ref.lat, ref.lon, lat, lon) <= high, from
// a few multiplications and one square root in single precision instead of
// the trigonometry: on a processor without floating point hardware a
// fraction of the cost. At most 0.02 percent apart within 500 km, 0.2
// percent within half a radian of latitude and longitude; farther, with
// one asin for each end, some 2 percent. Only for positions and references
// within 85 degrees of the equator; false for any other (NaN included).
bool DistanceBracket(const DistanceReference& ref, double lat, double lon, double* low, double* high);

// Distance in kilometres on the ellipsoid (a, f) by Andoyer's formula, and
// the initial bearing on a sphere from the reference point (lat1, lon1)
// towards the target (lat2, lon2), in degrees 0 to 360 clockwise from north.
// Both outputs are always written:
// - identical points give distance 0 and bearing 0;
// - the bearing always lies in 0..360 (0 or 180 along a meridian, 0 when
//   it has no meaning), never NaN;
// - near-antipodal points give a finite, non-negative distance.
// NaN inputs give a NaN distance (never taken by a search) and bearing 0.
void ComputeDistanceBearing(double lat1, double lon1, double lat2, double lon2,
                            double& distanceKm, double& bearingDeg);

// ComputeDistance, and the compass point that CompassPoint gives for
// ComputeDistanceBearing's bearing: for most pairs without the bearing's
// trigonometry (the distance's own terms tell the sector), else with it.
void ComputeDistanceCompass(double lat1, double lon1, double lat2, double lon2, double& distanceKm,
                            const wchar_t*& compass);

// The compass name ("N", "NNO", ... "NNW") of a bearing in degrees. Sectors
// with an even index are 23 degrees wide, odd ones 22 (the sum is cut to
// whole degrees before the division). Bearings outside 0..360 are taken
// modulo 360; NaN gives "N". Points into a static table.
const wchar_t* CompassPoint(double bearingDeg);

// Spherical Mercator metres (radius 6371000 m) to degrees; no wrap of the
// longitude, no range limits.
void MercatorToGeo(double x, double y, double& latDeg, double& lonDeg);

// Degrees to spherical Mercator metres; latitude ±90 gives y = ±infinity.
void GeoToMercator(double latDeg, double lonDeg, double& x, double& y);

// Inverse hyperbolic tangent, ln((t + 1) / (1 - t)) * 0.5.
double AreaTanh(double t);
