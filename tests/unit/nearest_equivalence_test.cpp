// The fast search must give exactly what the plain computation gives: the
// same slots, digit for digit, for every file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <random>
#include <string>

#include "geo/geo.h"
#include "nearest_reference.h"
#include "search/nearest.h"
#include "tempfiles.h"

namespace {

void SearchPlain(const std::wstring& path, double lat, double lon, NearestSlot* slots)
{
    auto reader = std::make_unique<TextReader>();
    ASSERT_TRUE(TextOpenRead(reader.get(), path.c_str()));
    ResetSlots(slots);
    Text line;
    while (TextReadLine(reader.get(), line, kTextLen))
        RankLinePlain(slots, line, lat, lon);
    TextClose(reader.get());
}

void ExpectSameSlots(const NearestSlot* fast, const NearestSlot* plain, const std::string& what)
{
    for (int i = 0; i < kNearestCount; i++) {
        SCOPED_TRACE(what + ", slot " + std::to_string(i));
        ASSERT_EQ(fast[i].distanceKm, plain[i].distanceKm);
        if (plain[i].distanceKm == kSlotEmpty)
            continue;
        uint64_t a, b;
        std::memcpy(&a, &fast[i].exactKm, 8);
        std::memcpy(&b, &plain[i].exactKm, 8);
        ASSERT_EQ(a, b);
        ASSERT_STREQ(fast[i].text, plain[i].text);
    }
}

// Searches the file both ways and compares the slots.
void CompareWithPlain(const std::wstring& path, double lat, double lon, const std::string& what)
{
    static TextReader reader;
    static NearestSlot fast[kNearestCount], plain[kNearestCount];
    static Text lineBuf;
    wchar_t* parseEnd;
    ASSERT_TRUE(SearchNearest(&reader, path.c_str(), lat, lon, fast, lineBuf, &parseEnd));
    SearchPlain(path, lat, lon, plain);
    ExpectSameSlots(fast, plain, what);
}

// Lines of every kind a POI file may hold, and many it should not.
std::string RandomLine(std::mt19937& rng, double centreLat, double centreLon, double spread)
{
    std::uniform_real_distribution<double> u(-1, 1);
    char num[64];
    auto coord = [&](double centre) {
        int decimals = (int)(rng() % 8);
        std::snprintf(num, sizeof num, "%.*f", decimals, centre + u(rng) * spread);
        return std::string(num);
    };
    const char* names[] = {"\"M\xC3\xBChle\"", "\"Stra\xC3\x9F" "e\"", "\"K\xF6ln\"", "\"x\"", "", "\"\xE2\x82\xAC\""};
    std::string name = names[rng() % 6];
    switch (rng() % 24) {
    case 0: return "";
    case 1: return "; Kommentar " + coord(centreLon);
    case 2: return coord(centreLon) + "," + coord(centreLat) + "e0," + name;
    case 3: return "  " + coord(centreLon) + ", " + coord(centreLat) + "," + name;
    case 4: return coord(centreLon) + "\xC2\xA7" + coord(centreLat) + "," + name;  // two-byte separator
    case 5: return coord(centreLon) + std::string(1, '\0') + coord(centreLat) + "," + name;
    case 6: return coord(centreLon) + "," + coord(centreLat).substr(0, 3) + std::string(1, '\0') + "5," + name;
    case 7: return "inf," + coord(centreLat) + "," + name;
    case 8: return "nan,nan," + name;
    case 9: return "0x1p3," + coord(centreLat) + "," + name;
    case 10: return "8.12345678901234567," + coord(centreLat) + "," + name;
    case 11: return "0,0," + name;
    case 12: return "-0.0,0," + name;
    case 13: return coord(centreLon) + "\r" + coord(centreLat) + "," + name;
    case 14: return coord(centreLon);
    case 15: return "+" + coord(centreLon) + ";+" + coord(centreLat) + ";" + name;
    case 16: return "." + std::to_string(rng() % 100) + "," + coord(centreLat) + "," + name;
    case 17: return coord(centreLon) + "," + coord(centreLat) + "," + std::string(1100, 'L');
    case 18: return coord(centreLon) + ",200," + name;   // a latitude past the pole
    case 19: return std::string(28 + rng() % 8, '6') + ".5," + coord(centreLat) + "," + name;   // digits past 32 bytes
    case 20: return coord(centreLon) + ",+" + coord(centreLat) + "," + name;
    default: return coord(centreLon) + "," + coord(centreLat) + "," + name;
    }
}

TEST(NearestEquivalence, RandomFilesGiveTheSameSlotsAsThePlainPath)
{
    TempDir dir;
    std::mt19937 rng(20261209);
    for (int file = 0; file < 300; file++) {
        double spread = file % 3 == 0 ? 0.05 : file % 3 == 1 ? 1.0 : 40.0;
        std::string bytes = file % 7 == 0 ? "\xEF\xBB\xBF" : "";
        int lines = 1 + (int)(rng() % 400);
        for (int i = 0; i < lines; i++)
            bytes += RandomLine(rng, 50, 8, spread) + (rng() % 3 ? "\r\n" : "\n");
        if (file % 4 == 3) {
            // UTF-8 up to a last line in Windows-1252: the whole file is.
            for (size_t at; (at = bytes.find("K\xF6ln")) != std::string::npos;)
                bytes.replace(at, 5, "K\xC3\xB6ln");
            bytes += "9.9,49.9,\"K\xF6ln\"\n";
        }
        if (file % 5 == 0)
            bytes += "8.1,50.1,\"last, no line feed\"";
        std::wstring path = dir.Write("f" + std::to_string(file) + ".asc", bytes);
        double refLat = 50 + (file % 4 == 0 ? 0 : (double)(rng() % 1000) / 1000);
        double refLon = 8 + (double)(rng() % 1000) / 1000;
        CompareWithPlain(path, refLat, refLon, "file " + std::to_string(file));
    }
}

TEST(NearestEquivalence, WorldWideAcrossTheDatelineAndThePoles)
{
    // Lines clustered round the reference (so that the bounds grow tight)
    // among lines from anywhere, with every count of decimals; references
    // on the 180th meridian, near the poles and outside the valid range.
    TempDir dir;
    std::mt19937 rng(180);
    const double refs[][2] = {{0, 0},      {52.5, 179.99}, {-41.3, -179.95}, {0, 180},   {0, -180},
                              {89.95, 10}, {-89.99, -120}, {-90, 0},        {66.5, 190}, {95, 8}};
    int file = 0;
    for (const auto& r : refs) {
        for (double spread : {0.01, 0.5, 20.0}) {
            std::string bytes;
            for (int i = 0; i < 1500; i++) {
                bool nearby = rng() % 3 != 0;
                double lat = nearby ? std::fmax(-90, std::fmin(90, r[0] + std::uniform_real_distribution<double>(-1, 1)(rng) * spread))
                                    : std::uniform_real_distribution<double>(-90, 90)(rng);
                double lon = nearby ? r[1] + std::uniform_real_distribution<double>(-1, 1)(rng) * spread
                                    : std::uniform_real_distribution<double>(-180, 180)(rng);
                if (lon > 180 && rng() % 2)
                    lon -= 360;   // the same meridian from the other side
                if (rng() % 20 == 0) {
                    // The same place written past the pole: as near as before.
                    lat = (lat < 0 ? -180 : 180) - lat;
                    lon += lon > 0 ? -180 : 180;
                }
                char buf[96];
                std::snprintf(buf, sizeof buf, "%.*f,%.*f,\"P %d\"\r\n", (int)(rng() % 10), lon,
                              (int)(rng() % 10), lat, i);
                bytes += rng() % 50 ? buf : RandomLine(rng, r[0], r[1], spread) + "\n";
            }
            std::wstring path = dir.Write("w" + std::to_string(file++) + ".asc", bytes);
            CompareWithPlain(path, r[0], r[1], std::to_string(r[0]) + "," + std::to_string(r[1]) + " spread " +
                                             std::to_string(spread));
        }
    }
}

TEST(NearestEquivalence, GeneratedLookingFileAtSeveralPositions)
{
    // A larger file across Germany, searched from several places, the
    // slots compared after the whole pass.
    TempDir dir;
    std::mt19937 rng(7);
    std::string bytes = "; POI-Sammlung\r\n";
    std::uniform_real_distribution<double> lat(47.3, 55.0), lon(5.9, 15.0);
    char buf[128];
    for (int i = 0; i < 60000; i++) {
        std::snprintf(buf, sizeof buf, "%.5f,%.5f,\"Tankstelle M\xC3\xBCller %d\"\r\n", lon(rng), lat(rng), i);
        bytes += buf;
    }
    std::wstring path = dir.Write("de.asc", bytes);
    const double refs[][2] = {{50.11, 8.68}, {52.52, 13.405}, {48.137, 11.575}, {0, 0}, {54.9, 9.4}, {-33.9, 151.2}};
    for (const auto& r : refs) {
        CompareWithPlain(path, r[0], r[1], std::to_string(r[0]) + "," + std::to_string(r[1]));
    }
}

// The general path is the C library's correctly rounded strtod on the
// number's ASCII text; where wcstod is correctly rounded too (the host),
// all three agree.
double Strtod(const wchar_t* t, const wchar_t** end)
{
    std::string narrow;
    for (const wchar_t* p = t; *p != L'\0' && (unsigned)*p < 0x80; p++)
        narrow += (char)*p;
    char* stop;
    double v = std::strtod(narrow.c_str(), &stop);
    *end = t + (stop - narrow.c_str());
    return v;
}

TEST(NearestEquivalence, ParseNumberIsTheCorrectlyRoundedStrtod)
{
    const wchar_t* texts[] = {L"8.5", L"-8.5", L"+.5", L"  49.25x", L"\t1.", L"0", L"-0", L"007.50",
                              L"123456789012345", L"1234567890123456", L"0.000000000000001",
                              L"1e3", L"1.5E-2", L"inf", L"-nan", L"0x10", L".", L"-", L"", L"abc",
                              L"179.99999", L"13.40500", L"\n5", L"5\n"};
    for (const wchar_t* t : texts) {
        SCOPED_TRACE(testing::Message() << "\"" << t << "\"");
        wchar_t* e1;
        const wchar_t* e2;
        double a = ParseNumber(t, &e1), b = Strtod(t, &e2);
        EXPECT_EQ((const wchar_t*)e1, e2);
        uint64_t ua, ub;
        std::memcpy(&ua, &a, 8);
        std::memcpy(&ub, &b, 8);
        if (!(std::isnan(a) && std::isnan(b))) {
            EXPECT_EQ(ua, ub);
        }
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 200000; i++) {
        wchar_t t[40];
        int decimals = (int)(rng() % 10);
        std::swprintf(t, 40, L"%.*f", decimals, ((double)rng() / 4294967296.0 - 0.5) * 400);
        wchar_t* e1;
        const wchar_t* e2;
        double a = ParseNumber(t, &e1), b = Strtod(t, &e2);
        ASSERT_EQ(std::memcmp(&a, &b, 8), 0) << i;
        ASSERT_EQ((const wchar_t*)e1, e2);
#ifndef _WIN32
        wchar_t* e3;
        double c = std::wcstod(t, &e3);
        ASSERT_EQ(std::memcmp(&a, &c, 8), 0) << i;
        ASSERT_EQ(e1, e3);
#endif
    }
    // Up to 15 digits with the point anywhere; a quarter of them quotients
    // that a double holds exactly (digits a multiple of 5^decimals).
    std::mt19937_64 rng64(15);
    for (int i = 0; i < 100000; i++) {
        const int count = 1 + (int)(rng64() % 15), decimals = (int)(rng64() % (count + 1));
        uint64_t power = 1, five = 1;
        for (int k = 0; k < count; k++)
            power *= 10;
        for (int k = 0; k < decimals; k++)
            five *= 5;
        uint64_t digits = rng64() % power;
        if (i % 4 == 0)
            digits -= digits % five;
        char text[40];
        std::snprintf(text, sizeof text, "%0*llu", count, (unsigned long long)digits);
        std::string number(text);
        number.insert(number.size() - decimals, ".");
        const std::wstring wide(number.begin(), number.end());
        wchar_t* e1;
        const wchar_t* e2;
        double a = ParseNumber(wide.c_str(), &e1), b = Strtod(wide.c_str(), &e2);
        ASSERT_EQ(std::memcmp(&a, &b, 8), 0) << number;
    }
}

}  // namespace

// The benchmark generator's own file (given by the test command through
// WENDRIK_GENERATED), searched from several places.
TEST(NearestEquivalenceGenerated, GeneratorFileGivesTheSameSlots)
{
    const char* generated = std::getenv("WENDRIK_GENERATED");
    if (generated == nullptr)
        GTEST_SKIP() << "WENDRIK_GENERATED names no generated file";
    std::string narrow = generated;
    std::wstring path(narrow.begin(), narrow.end());
    const double refs[][2] = {{50.11, 8.68}, {53.55, 9.99}, {47.4, 10.3}, {51.0, 15.0}};
    for (const auto& r : refs) {
        CompareWithPlain(path, r[0], r[1], std::to_string(r[0]) + "," + std::to_string(r[1]));
    }
}
