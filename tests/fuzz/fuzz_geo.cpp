// The geodesy over arbitrary doubles: no undefined behaviour, a bearing in
// 0..360 with a compass name (the same from the distance's terms), a
// finite non-negative distance for points on the globe, Mercator
// conversions without traps.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "geo/geo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 32)
        return 0;
    double v[4];
    std::memcpy(v, data, 32);
    double km, bearing;
    ComputeDistanceBearing(v[0], v[1], v[2], v[3], km, bearing);
    if (!(bearing >= 0 && bearing <= 360))
        abort();
    const wchar_t* name = CompassPoint(bearing);
    if (name == nullptr || wcslen(name) < 1 || wcslen(name) > 3)
        abort();
    if (CompassPoint(v[0]) == nullptr)
        abort();
    bool onGlobe = true;
    for (int i = 0; i < 4; i++)
        onGlobe = onGlobe && std::isfinite(v[i]) && std::fabs(v[i]) <= (i % 2 ? 1e6 : 90);
    if (onGlobe && !(std::isfinite(km) && km >= 0 && km <= 20100))
        abort();
    // The compass point from the distance's own terms is the bearing's.
    auto sameCompass = [](double lat1, double lon1, double lat2, double lon2) {
        double d, b, d2;
        const wchar_t* compass;
        ComputeDistanceBearing(lat1, lon1, lat2, lon2, d, b);
        ComputeDistanceCompass(lat1, lon1, lat2, lon2, d2, compass);
        return std::memcmp(&d, &d2, sizeof d) == 0 && std::wcscmp(compass, CompassPoint(b)) == 0;
    };
    if (!sameCompass(v[0], v[1], v[2], v[3]))
        abort();
    // The cheap bounds of a distance hold the distance itself.
    DistanceReference ref;
    MakeDistanceReference(&ref, v[0], v[1]);
    double low, high;
    if (DistanceBracket(ref, v[2], v[3], &low, &high) &&
        !(low <= km && km <= high && high <= low * 1.035 + 3e-9))
        abort();
    // Nearby points, where the bounds are closest: the last bytes move the
    // second point by up to about 30 degrees from the first.
    if (size >= 40) {
        int32_t step[2];
        std::memcpy(step, data + 32, 8);
        const double lat2 = v[0] + step[0] * 1.4e-8, lon2 = v[1] + step[1] * 1.4e-8;
        const double d = ComputeDistance(v[0], v[1], lat2, lon2);
        if (DistanceBracket(ref, lat2, lon2, &low, &high) && !(low <= d && d <= high && high <= low * 1.035 + 3e-9))
            abort();
        if (!sameCompass(v[0], v[1], lat2, lon2))
            abort();
    }
    double lat, lon, x, y;
    MercatorToGeo(v[0], v[1], lat, lon);
    GeoToMercator(v[2], v[3], x, y);
    return 0;
}
