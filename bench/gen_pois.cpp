// Writes a deterministic POI file that looks like a real collection:
// coordinates across Germany (or, with "world", across the inhabited
// world), names with umlauts in UTF-8, CR LF, and now and then a line a
// test would not think of.
//   gen_pois LINES FILE [world]
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kKinds[] = {"Tankstelle", "Blitzer", "Rastst\xC3\xA4tte", "Parkplatz",
                              "B\xC3\xA4" "ckerei", "Gasthof", "Ladestation", "Werkstatt"};
const char* const kPlaces[] = {"M\xC3\xBC" "nchen", "K\xC3\xB6ln", "D\xC3\xBCsseldorf", "N\xC3\xBCrnberg",
                               "G\xC3\xB6ttingen", "L\xC3\xBC" "beck", "Osnabr\xC3\xBC" "ck", "W\xC3\xBCrzburg",
                               "Stra\xC3\x9F" "burg", "Gie\xC3\x9F" "en", "Bremen", "Erfurt"};

unsigned long long state = 88172645463325252ULL;
unsigned Next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (unsigned)(state >> 16);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool world = argc == 4 && std::strcmp(argv[3], "world") == 0;
    if (argc != 3 && !world) {
        std::fprintf(stderr, "usage: gen_pois LINES FILE [world]\n");
        return 2;
    }
    long lines = std::atol(argv[1]);
    FILE* f = std::fopen(argv[2], "wb");
    if (f == nullptr || lines < 0) {
        std::fprintf(stderr, "gen_pois: cannot write %s\n", argv[2]);
        return 1;
    }
    static char buf[1 << 16];
    std::setvbuf(f, buf, _IOFBF, sizeof buf);
    std::fprintf(f, "; POI-Sammlung Deutschland, erzeugt\r\n");
    for (long i = 1; i < lines; i++) {
        // Germany: 5.9 to 15.0 east, 47.3 to 55.0 north, five decimals;
        // the world: 180 west to 180 east, 56 south to 71 north.
        double lon = world ? -180 + (Next() % 36000000) / 100000.0 : 5.9 + (Next() % 910000) / 100000.0;
        double lat = world ? -56 + (Next() % 12700000) / 100000.0 : 47.3 + (Next() % 770000) / 100000.0;
        unsigned odd = Next() % 1000;
        const char* kind = kKinds[Next() % 8];
        const char* place = kPlaces[Next() % 12];
        if (odd == 0)
            std::fprintf(f, "; %s\r\n", place);
        else if (odd == 1)
            std::fprintf(f, "%.5f,%.5f\r\n", lon, lat);
        else if (odd == 2)
            std::fprintf(f, "%.5f,%.5f,\"%s %s\",Tel. 0%u,24h\r\n", lon, lat, kind, place, Next() % 100000);
        else if (odd == 3)
            std::fprintf(f, "\r\n");
        else
            std::fprintf(f, "%.5f,%.5f,\"%s %s %ld\"\r\n", lon, lat, kind, place, i);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
