#include "nearest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "geo.h"
#include "tempfiles.h"

namespace {

const double kRefLat = 50.0, kRefLon = 8.0;

// A POI line due north of the reference at exactly km kilometres.
std::wstring LineAt(double km, const std::wstring& name)
{
    double lo = kRefLat, hi = kRefLat + 2;
    for (int i = 0; i < 200; i++) {
        double mid = (lo + hi) / 2, d, b;
        ComputeDistanceBearing(kRefLat, kRefLon, mid, kRefLon, d, b);
        (d < km ? lo : hi) = mid;
    }
    wchar_t buf[128];
    std::swprintf(buf, 128, L"%.6f,%.17g,\"%ls\"\n", kRefLon, hi, name.c_str());
    return buf;
}

struct Search {
    NearestSlot slots[kNearestCount];
    wchar_t* parseEnd = nullptr;
    Search() { ResetSlots(slots); }
    bool Offer(const std::wstring& line, double lat = kRefLat, double lon = kRefLon)
    {
        return RankLine(slots, line.c_str(), lat, lon, &parseEnd);
    }
    std::vector<int> Km() const
    {
        std::vector<int> v;
        for (const NearestSlot& s : slots)
            v.push_back(s.distanceKm);
        return v;
    }
    std::vector<std::wstring> Listed() const
    {
        std::vector<std::wstring> v;
        for (const NearestSlot& s : slots)
            if (s.distanceKm < kSlotEmpty)
                v.push_back(s.text);
        return v;
    }
};

TEST(Nearest, BahnhofGetsDistanceAndDirectionInItsName)
{
    Search s;
    // 3.44 km to the north-east of the reference.
    const double step = 3.44 / std::sqrt(2.0);
    double refLat = 50.11 - step / 111.2, refLon = 8.68 - step / (111.32 * std::cos(50.1 * kGeoPi / 180));
    ASSERT_TRUE(s.Offer(L"8.68,50.11,\"Bahnhof\"\n", refLat, refLon));
    EXPECT_EQ(s.Listed(), std::vector<std::wstring>{L"8.68,50.11,\"Bahnhof  3.4 km NO\"\n"});
    EXPECT_EQ(s.slots[0].distanceKm, 3);
}

TEST(Nearest, SevenLinesFiveSlotsInSlotOrder)
{
    Search s;
    const double kms[] = {5.4, 3.2, 8.7, 1.1, 9.9, 2.5, 7.3};
    for (double km : kms)
        s.Offer(LineAt(km, std::to_wstring(km)));
    EXPECT_EQ(s.Km(), (std::vector<int>{5, 3, 7, 1, 2}));
    std::vector<std::wstring> listed = s.Listed();
    ASSERT_EQ(listed.size(), 5u);
    const wchar_t* expected[] = {L"5.4 km N", L"3.2 km N", L"7.3 km N", L"1.1 km N", L"2.5 km N"};
    for (int i = 0; i < 5; i++)
        EXPECT_NE(listed[i].find(expected[i]), std::wstring::npos) << i;
}

TEST(Nearest, NearerLinesAreTakenByTheirExactDistance)
{
    // Slots 5, 3, 7 (at 7.3 km), 1, 2: a POI at 7.2 km is nearer than the
    // one at 7.3 km and takes its place, though both are "7 km".
    Search s;
    const double kms[] = {5.4, 3.2, 7.3, 1.1, 2.5};
    for (double km : kms)
        s.Offer(LineAt(km, L"p"));
    EXPECT_TRUE(s.Offer(LineAt(7.2, L"nearer")));
    EXPECT_NE(std::wstring(s.slots[2].text).find(L"nearer"), std::wstring::npos);
    EXPECT_FALSE(s.Offer(LineAt(7.25, L"farther"))) << "7.25 is behind every slot but 7.2";
    EXPECT_TRUE(s.Offer(LineAt(6.9, L"n69")));
    EXPECT_EQ(s.Km(), (std::vector<int>{5, 3, 6, 1, 2}));
}

TEST(Nearest, TiesKeepTheEarlierLineAndTheFirstSlot)
{
    Search s;
    const double kms[] = {4.1, 6.5, 6.5, 2.2, 3.3};
    for (double km : kms)
        s.Offer(LineAt(km, L"p"));
    EXPECT_FALSE(s.Offer(LineAt(6.5, L"same"))) << "an equal distance keeps the earlier line";
    EXPECT_TRUE(s.Offer(LineAt(5.9, L"q")));
    EXPECT_EQ(s.Km(), (std::vector<int>{4, 5, 6, 2, 3})) << "the first of the two slots at 6.5";
}

TEST(Nearest, ShownRoundedStoredTruncated)
{
    Search s;
    s.Offer(LineAt(2.96, L"x"));
    EXPECT_EQ(s.slots[0].distanceKm, 2);
    EXPECT_NE(std::wstring(s.slots[0].text).find(L"\"x  3.0 km N\"\n"), std::wstring::npos);
}

TEST(Nearest, WhichLinesCount)
{
    Search s;
    EXPECT_FALSE(s.Offer(L"\n"));
    EXPECT_FALSE(s.Offer(L"; Kommentar\n"));
    EXPECT_FALSE(s.Offer(L"\"Name\",8.5,49.2\n"));
    EXPECT_FALSE(s.Offer(L"8.5\n")) << "no latitude";
    EXPECT_FALSE(s.Offer(L"8.5")) << "nothing after the longitude";
    EXPECT_FALSE(s.Offer(L"0,0,\"no position\"\n"));
    EXPECT_FALSE(s.Offer(L"-0,0.0,\"no position\"\n"));
    EXPECT_FALSE(s.Offer(L"nan,nan,\"x\"\n")) << "a NaN distance is never taken";
    EXPECT_TRUE(s.Offer(L"0,51.4779,\"Greenwich\"\n")) << "longitude 0 is a place";
    EXPECT_TRUE(s.Offer(L"9.5,0,\"Golf von Guinea\"\n")) << "latitude 0 is a place";
    EXPECT_TRUE(s.Offer(L"8.5;49.25;\"Semikolon\"\n"));
    EXPECT_TRUE(s.Offer(L"8.5, 49.25, \"Blank\"\n"));
    EXPECT_TRUE(s.Offer(L"8.0,50.0,\"genau hier\"\n")) << "at the reference itself";
    EXPECT_NE(std::wstring(s.slots[4].text).find(L"genau hier  0.0 km N\"\n"), std::wstring::npos);

    // What "OK" in the search dialog takes over into the tour.
    EXPECT_TRUE(HoldsPosition(s.slots[4].text));
    EXPECT_TRUE(HoldsPosition(L"0,51.4779,\"Greenwich\"\n"));
    EXPECT_FALSE(HoldsPosition(L"Keine g\u00fcltigen Positionsdaten gefunden (2)"));
    EXPECT_FALSE(HoldsPosition(L"0,0,\"no position\"\n"));
    EXPECT_FALSE(HoldsPosition(L"8.5"));
}

TEST(Nearest, NamesAreCutOnlyWhereThereIsSomethingToCut)
{
    wchar_t out[kTextLen];
    FormatResult(out, kTextLen, L"1,2,\"Mühle\"\n", 3.44, L"NO");
    EXPECT_STREQ(out, L"1,2,\"Mühle  3.4 km NO\"\n");
    FormatResult(out, kTextLen, L"1,2,\"Letzte\"", 3.44, L"NO");
    EXPECT_STREQ(out, L"1,2,\"Letzte  3.4 km NO\"\n") << "last line without line feed";
    FormatResult(out, kTextLen, L"1,2,Ohne Anführung\n", 12.04, L"S");
    EXPECT_STREQ(out, L"1,2,Ohne Anführung  12.0 km S\"\n");
    FormatResult(out, kTextLen, L"1,2", 0.0, L"N");
    EXPECT_STREQ(out, L"1,2  0.0 km N\"\n");

    // Too long: shortened inside the name, distance and direction kept.
    std::wstring huge = L"1,2,\"" + std::wstring(1100, L'n') + L"\"\n";
    FormatResult(out, kTextLen, huge.c_str(), 3.44, L"NNO");
    std::wstring r = out;
    EXPECT_EQ(r.size(), 1023u);
    EXPECT_EQ(r.substr(r.size() - 14), L"  3.4 km NNO\"\n");
    EXPECT_EQ(r.substr(0, 6), L"1,2,\"n");
}

TEST(Nearest, AWholeFile)
{
    TempDir dir;
    std::wstring path = dir.Write("p.asc",
        "8.01,50.01,\"Eins\"\r\n;Kommentar\r\n8.02,50.02,\"Zwei\"\r\n\r\n0,0,\"leer\"\r\n8.03,50.03,\"Drei\"");
    auto reader = std::make_unique<TextReader>();
    NearestSlot slots[kNearestCount];
    Text lineBuf;
    wchar_t* parseEnd = nullptr;
    ASSERT_TRUE(SearchNearest(reader.get(), path.c_str(), 50, 8, slots, lineBuf, &parseEnd));
    std::vector<std::wstring> listed;
    for (const NearestSlot& s : slots)
        if (s.distanceKm < kSlotEmpty)
            listed.push_back(s.text);
    ASSERT_EQ(listed.size(), 3u) << "three usable lines, each once, in file order";
    EXPECT_EQ(listed[0].substr(0, 17), L"8.01,50.01,\"Eins ");
    EXPECT_EQ(listed[1].substr(0, 17), L"8.02,50.02,\"Zwei ");
    EXPECT_EQ(listed[2].substr(0, 17), L"8.03,50.03,\"Drei ");
    EXPECT_EQ(listed[2].back(), L'\n');

    // A file that does not open leaves the slots as they were.
    slots[0].distanceKm = 42;
    EXPECT_FALSE(SearchNearest(reader.get(), dir.Path("fehlt.asc").c_str(), 50, 8, slots, lineBuf, &parseEnd));
    EXPECT_EQ(slots[0].distanceKm, 42);

    // A read that fails part way lists nothing from that file.
    std::string big;
    while (big.size() < 3 * kReadBlock)
        big += "8.01,50.01,\"Eins\"\r\n";
    path = dir.Write("gross.asc", big);
    ASSERT_TRUE(TextOpenStream(reader.get(), std::fopen(std::filesystem::path(path).string().c_str(), "rb")));
    ASSERT_TRUE(BreakReads(reader->file, dir.path() / "w"));
    SearchNearestOpen(reader.get(), 50, 8, slots, lineBuf, &parseEnd);
    for (const NearestSlot& slot : slots)
        EXPECT_EQ(slot.distanceKm, kSlotEmpty);
}

}  // namespace
