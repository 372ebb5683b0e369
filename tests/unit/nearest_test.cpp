#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "geo/geo.h"
#include "search/nearest.h"
#include "search/poiline.h"
#include "tempfiles.h"
#include "text/textwrite.h"

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

// The search itself over a real file of these lines (UTF-8, CR LF).
struct Searched {
    NearestSlot slots[kNearestCount];
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
    // Whether the line with this text in its name is among the results.
    bool Lists(const std::wstring& name) const
    {
        for (const std::wstring& line : Listed())
            if (line.find(L"\"" + name + L"  ") != std::wstring::npos)
                return true;
        return false;
    }
};

Searched Search(const std::vector<std::wstring>& lines, double lat = kRefLat, double lon = kRefLon)
{
    TempDir dir;
    const std::wstring path = dir.Path("s.asc");
    TextWriter w;
    EXPECT_TRUE(TextOpenWrite(&w, path.c_str(), kEncodingUtf8));
    for (const std::wstring& line : lines)
        TextWrite(&w, line.c_str());
    EXPECT_TRUE(TextCloseWrite(&w));
    Searched s;
    static TextReader reader;
    static Text lineBuf;
    wchar_t* parseEnd = nullptr;
    EXPECT_TRUE(SearchNearest(&reader, path.c_str(), lat, lon, s.slots, lineBuf, &parseEnd));
    return s;
}

std::vector<std::wstring> LinesAt(std::initializer_list<double> kms)
{
    std::vector<std::wstring> lines;
    for (double km : kms)
        lines.push_back(LineAt(km, std::to_wstring(km)));
    return lines;
}

TEST(Nearest, BahnhofGetsDistanceAndDirectionInItsName)
{
    // 3.44 km to the north-east of the reference.
    const double step = 3.44 / std::sqrt(2.0);
    double refLat = 50.11 - step / 111.2, refLon = 8.68 - step / (111.32 * std::cos(50.1 * kGeoPi / 180));
    const Searched s = Search({L"8.68,50.11,\"Bahnhof\"\n"}, refLat, refLon);
    EXPECT_EQ(s.Listed(), std::vector<std::wstring>{L"8.68,50.11,\"Bahnhof  3.4 km NO\"\n"});
    EXPECT_EQ(s.slots[0].distanceKm, 3);
}

TEST(Nearest, SevenLinesFiveSlotsInSlotOrder)
{
    const Searched s = Search(LinesAt({5.4, 3.2, 8.7, 1.1, 9.9, 2.5, 7.3}));
    EXPECT_EQ(s.Km(), (std::vector<int>{5, 3, 7, 1, 2}));
    std::vector<std::wstring> listed = s.Listed();
    ASSERT_EQ(listed.size(), 5u);
    const wchar_t* expected[] = {L"5.4 km N", L"3.2 km N", L"7.3 km N", L"1.1 km N", L"2.5 km N"};
    for (int i = 0; i < 5; i++)
        EXPECT_NE(listed[i].find(expected[i]), std::wstring::npos) << i;
}

TEST(Nearest, SlotsAreRankedByTheirExactDistanceAndTiesKeepTheEarlierLine)
{
    struct Case { const char* what; std::vector<double> kms; std::vector<int> km; std::vector<const wchar_t*> in, out; };
    const Case cases[] = {
        // 5, 3, 7 (at 7.3 km), 1, 2: a POI at 7.2 km is nearer than the one
        // at 7.3 km and takes its place, though both are "7 km".
        {"nearer within the same kilometre", {5.4, 3.2, 7.3, 1.1, 2.5, 7.2}, {5, 3, 7, 1, 2}, {L"7.200000"}, {L"7.300000"}},
        {"then 7.25 is behind every slot", {5.4, 3.2, 7.3, 1.1, 2.5, 7.2, 7.25}, {5, 3, 7, 1, 2}, {L"7.200000"}, {L"7.250000"}},
        {"and 6.9 takes the 7.2's slot", {5.4, 3.2, 7.3, 1.1, 2.5, 7.2, 7.25, 6.9}, {5, 3, 6, 1, 2}, {L"6.900000"}, {L"7.200000"}},
        // An equal distance keeps the earlier line; a nearer one takes the
        // first of two slots at the same distance.
        {"a tie keeps the earlier line", {4.1, 6.5, 6.5, 2.2, 3.3, 6.5}, {4, 6, 6, 2, 3}, {}, {}},
        {"the first of equal slots", {4.1, 6.5, 6.5, 2.2, 3.3, 6.5, 5.9}, {4, 5, 6, 2, 3}, {L"5.900000"}, {}},
        // Stored truncated, shown rounded.
        {"2.96 km", {2.96}, {2, kSlotEmpty, kSlotEmpty, kSlotEmpty, kSlotEmpty}, {L"2.960000"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> lines;
        for (double km : c.kms)
            lines.push_back(LineAt(km, std::to_wstring(km)));
        const Searched s = Search(lines);
        EXPECT_EQ(s.Km(), c.km);
        for (const wchar_t* name : c.in)
            EXPECT_TRUE(s.Lists(name)) << name;
        for (const wchar_t* name : c.out)
            EXPECT_FALSE(s.Lists(name)) << name;
    }
    // The tie: the slot at 6.5 km still holds the earlier line's text.
    const Searched tie = Search({LineAt(4.1, L"a"), LineAt(6.5, L"b"), LineAt(6.5, L"c"), LineAt(2.2, L"d"),
                                 LineAt(3.3, L"e"), LineAt(6.5, L"same")});
    EXPECT_FALSE(tie.Lists(L"same"));
    EXPECT_TRUE(tie.Lists(L"b") && tie.Lists(L"c"));
    EXPECT_NE(std::wstring(Search({LineAt(2.96, L"x")}).slots[0].text).find(L"\"x  3.0 km N\"\n"), std::wstring::npos);
}

TEST(Nearest, WhichLinesCount)
{
    // Each line alone in a file, searched from the reference.
    struct Case { const wchar_t* line; bool listed; const char* why; };
    const Case cases[] = {
        {L"\n", false, "empty"},
        {L"; Kommentar\n", false, "no number"},
        {L"\"Name\",8.5,49.2\n", false, "name first"},
        {L"8.5\n", false, "no latitude"},
        {L"8.5", false, "nothing after the longitude"},
        {L"0,0,\"no position\"\n", false, "0,0"},
        {L"-0,0.0,\"no position\"\n", false, "-0 is 0"},
        {L"nan,nan,\"x\"\n", false, "a NaN distance is never taken"},
        {L"1e308,50,\"x\"\n", false, "no distance"},
        {L"0,51.4779,\"Greenwich\"\n", true, "longitude 0 is a place"},
        {L"9.5,0,\"Golf von Guinea\"\n", true, "latitude 0 is a place"},
        {L"8.5;49.25;\"Semikolon\"\n", true, "any separator"},
        {L"8.5, 49.25, \"Blank\"\n", true, "a blank before the latitude"},
        {L"8.0,50.0,\"genau hier\"\n", true, "at the reference itself"},
    };
    for (const Case& c : cases) {
        const Searched s = Search({c.line});
        EXPECT_EQ(s.Listed().size(), c.listed ? 1u : 0u) << c.why;
        // The rule the search dialog's OK asks says the same.
        EXPECT_EQ(HoldsPosition(c.line), c.listed) << c.why;
    }
    const Searched here = Search({L"8.0,50.0,\"genau hier\"\n"});
    ASSERT_EQ(here.Listed().size(), 1u);
    EXPECT_EQ(here.Listed()[0], L"8.0,50.0,\"genau hier  0.0 km N\"\n");
    // What "OK" in the search dialog takes over into the tour.
    EXPECT_TRUE(HoldsPosition(here.Listed()[0].c_str()));
    EXPECT_FALSE(HoldsPosition(L"Keine g\u00fcltigen Positionsdaten gefunden (2)"));
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
