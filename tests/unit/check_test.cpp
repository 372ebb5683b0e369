#include "cli/check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "search/nearest.h"
#include "nearest_reference.h"
#include "tempfiles.h"

namespace {

struct Case {
    const char* name;
    std::string bytes;
    const wchar_t* report;   // with the file named "f.asc"
    bool loses;   // the device loses lines or positions of the file
};

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

TEST(Check, ReportsWhatTheDeviceMakesOfAFile)
{
    const std::string longLine = "8.1,50.1,\"" + std::string(1500, 'x') + "\"\r\n";
    const Case cases[] = {
        {"clean", "8.68,50.11,\"Bahnhof\"\r\n6.96,50.94,\"Dom\"",
         L"f.asc: ASCII, 2 lines, 2 list entries, 2 positions for the search; nothing to report\n", false},
        {"every kind of skipped line",
         "Name,Lon,Lat\n\n8.5\n8.5,\n8.5;x\n0,0,\"leer\"\nnan,1,\"x\"\n8.5,49.2,\"gut\"\n",
         L"f.asc:1: skipped by the search: no number where the longitude should be\n"
         L"f.asc:2: skipped by the search: empty line\n"
         L"f.asc:3: skipped by the search: nothing after the longitude\n"
         L"f.asc:4: skipped by the search: no latitude after the longitude and one separator\n"
         L"f.asc:5: skipped by the search: no latitude after the longitude and one separator\n"
         L"f.asc:6: skipped by the search: position 0,0 (the mark of no position)\n"
         L"f.asc:7: skipped by the search: not a finite number, never listed\n"
         L"f.asc: ASCII, 8 lines, 8 list entries, 1 position for the search; 7 lines skipped\n",
         true},
        {"out of range, latitude first", "50.1,8.6,\"ok\"\n8.6,95.5,\"x\"\n200,10,\"y\"\n",
         L"f.asc:2: position 8.6,95.5 outside -180..180 / -90..90 (latitude first?)\n"
         L"f.asc:3: position 200,10 outside -180..180 / -90..90\n"
         L"f.asc: ASCII, 3 lines, 3 list entries, 3 positions for the search; 2 out of range\n",
         false},
        {"duplicates", "8.5,49.2,\"a\"\n8.50,49.20,\"b\"\n8.5;49.2;\"c\"\n",
         L"f.asc:2: same position as line 1\n"
         L"f.asc:3: same position as line 1\n"
         L"f.asc: ASCII, 3 lines, 3 list entries, 3 positions for the search; 2 duplicates\n",
         false},
        {"a long line", longLine + "9,51,\"k\"\n",
         L"f.asc:1: line of 1511 characters: it shows as 2 list entries (an entry holds 1023)\n"
         L"f.asc: ASCII, 2 lines, 3 list entries, 2 positions for the search; 1 long line\n",
         false},
        {"broken UTF-16", std::string("\xFF\xFE" "8\0,\0" "9\0,\0\x00\xDC\n\0", 14),
         L"f.asc:1: character U+FFFD at column 5 cannot be shown in the list\n"
         L"f.asc: UTF-16 LE, 1 line, 1 list entry, 1 position for the search; 1 line with characters the list cannot show\n",
         false},
        {"a byte without a character", "8,9,\"\x81\"\n",
         L"f.asc:1: character U+0081 at column 6 cannot be shown in the list\n"
         L"f.asc: Windows-1252, 1 line, 1 list entry, 1 position for the search; 1 line with characters the list cannot show\n",
         false},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" "6.96,50.94,\"K\xC3\xB6ln\"\r\n",
         L"f.asc: UTF-8 with byte order mark, 1 line, 1 list entry, 1 position for the search; nothing to report\n",
         false},
        {"empty file", "", L"f.asc: ASCII, 0 lines, 0 list entries, 0 positions for the search; nothing to report\n",
         false},
        {"line ends of CR alone", "8.1,50.1,\"a\"\r8.2,50.2,\"b\"\r8.3,50.3,\"c\"\rkein Ort\n",
         L"f.asc:1: 3 line ends of CR alone (an older Mac program's): the device reads these 4 lines as one, "
         L"and the search never sees 2 positions in them\n"
         L"f.asc: ASCII, 1 line, 1 list entry, 1 position for the search; 1 line with line ends of CR alone, "
         L"2 positions hidden by them\n",
         true},
        {"a position opening the second piece", "8.1,50.1,\"" + std::string(1013, 'x') + "9.5,51.5,\"y\"\n",
         L"f.asc:1: part 2 of this long line reads as a position of its own and shows as a waypoint\n"
         L"f.asc:1: line of 1035 characters: it shows as 2 list entries (an entry holds 1023)\n"
         L"f.asc: ASCII, 1 line, 2 list entries, 2 positions for the search; 1 long line\n",
         false},
        {"a number too large for a distance", "1e308,50,\"x\"\n",
         L"f.asc:1: skipped by the search: a number too large to give a distance, never listed\n"
         L"f.asc: ASCII, 1 line, 1 list entry, 0 positions for the search; 1 line skipped\n",
         true},
        {"600 characters beyond U+FFFF", "8,9,\"" + Repeat("\xF0\x9F\x98\x80", 600) + "\"\n",
         L"f.asc:1: line of 606 characters: it shows as 2 list entries (an entry holds 1023 UTF-16 units; "
         L"a character beyond U+FFFF takes two)\n"
         L"f.asc: UTF-8, 1 line, 2 list entries, 1 position for the search; 1 long line\n",
         false},
        {"1023 characters and the line feed", "8,9,\"" + std::string(1017, 'x') + "\"\n",
         L"f.asc:1: line of 1023 characters: it shows as 2 list entries, the last only its line feed\n"
         L"f.asc: ASCII, 1 line, 2 list entries, 1 position for the search; 1 long line\n",
         false},
        {"one Windows-1252 byte among UTF-8",
         "6.96,50.94,\"K\xC3\xB6ln\"\n11.57,48.14,\"M\xFCnchen\"\n6.78,51.23,\"D\xC3\xBCsseldorf\"\n",
         L"f.asc:2: byte 0xFC is not UTF-8, so the whole file reads as Windows-1252: the UTF-8 text on 2 lines "
         L"(the first is line 1) shows garbled, \"\u00c3\u00bc\" for \"\u00fc\"\n"
         L"f.asc: Windows-1252, 3 lines, 3 list entries, 3 positions for the search; 2 lines of UTF-8 shown garbled\n",
         false},
        {"UTF-16 without its byte order mark", std::string("8\0,\0" "9\0\n", 7),
         L"f.asc:1: 3 NUL characters dropped from this line (UTF-16 without its byte order mark?)\n"
         L"f.asc: ASCII, 1 line, 1 list entry, 1 position for the search; 1 line with NUL characters dropped\n",
         false},
        {"files joined, the second with its mark", "8.68,50.11,\"a\"\n\xEF\xBB\xBF" "8.7,50.2,\"b\"\n",
         L"f.asc:2: skipped by the search: a byte order mark inside the file (files joined?) stands before the "
         L"longitude\n"
         L"f.asc: UTF-8, 2 lines, 2 list entries, 1 position for the search; 1 line skipped, "
         L"1 byte order mark inside the file\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::wstring report;
        CheckCounts counts = CheckPoiFile(dir.Write("f.asc", c.bytes), L"f.asc", false, &report);
        EXPECT_EQ(report, c.report);
        EXPECT_TRUE(counts.readable);
        EXPECT_EQ(CheckFoundLoss(counts), c.loses);
        // Quiet: the summary line alone.
        std::wstring quiet;
        CheckPoiFile(dir.Path("f.asc"), L"f.asc", true, &quiet);
        EXPECT_EQ(quiet, report.substr(report.rfind(L"f.asc: ")));
    }
}

TEST(Check, FilesThatCannotBeRead)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "x.asc");
    std::wstring report;
    EXPECT_FALSE(CheckPoiFile(dir.Path("x.asc"), L"x.asc", false, &report).readable);
    EXPECT_FALSE(CheckPoiFile(dir.Path("fehlt.asc"), L"fehlt.asc", false, &report).readable);
    EXPECT_EQ(report, L"x.asc: cannot read: it is a folder\nfehlt.asc: cannot read: no such file\n");
#ifndef _WIN32
    // A pipe would wait for a writer for ever, a device give bytes without end.
    ASSERT_EQ(mkfifo((dir.path() / "pipe.asc").c_str(), 0600), 0);
    report.clear();
    EXPECT_FALSE(CheckPoiFile(dir.Path("pipe.asc"), L"pipe.asc", false, &report).readable);
    EXPECT_FALSE(CheckPoiFile(L"/dev/zero", L"/dev/zero", false, &report).readable);
    EXPECT_EQ(report, L"pipe.asc: cannot read: not a regular file (a pipe or a device)\n"
                      L"/dev/zero: cannot read: not a regular file (a pipe or a device)\n");
#endif
}

// check counts a list entry as a position exactly when the search ranks
// it, over generated files of every kind of line the search meets.
TEST(Check, CountsExactlyWhatTheSearchRanks)
{
    const std::string parts[] = {
        "8.5", "-0", "0", "1e308", "-6e307", "nan", "inf", "180.5", "95", "49.2", "0x1p3", ",", ";", " ",
        "\"Name\"", "\r", "\n", "\r\n", "\xF0\x9F\x98\x80", "\xC3\xBC", "\xFC", std::string(300, 'x'),
        std::string(1000, 'y'), "\xEF\xBB\xBF", std::string(1, '\0'),
    };
    std::mt19937 random(20261210);
    auto reader = std::make_unique<TextReader>();
    static NearestSlot slots[kNearestCount];
    static Text piece;
    for (int file = 0; file < 300; file++) {
        std::string bytes;
        for (int n = (int)(random() % 80); n > 0; n--)
            bytes += parts[random() % (sizeof parts / sizeof parts[0])];
        TempDir dir;
        const std::wstring path = dir.Write("g.asc", bytes);
        // The plain search's step on every entry, from empty slots.
        long ranked = 0;
        ASSERT_TRUE(TextOpenRead(reader.get(), path.c_str()));
        while (TextReadLine(reader.get(), piece, kTextLen)) {
            ResetSlots(slots);
            RankLinePlain(slots, piece, 48.0, 9.0);
            ranked += slots[0].distanceKm != kSlotEmpty;
        }
        TextClose(reader.get());
        std::wstring report;
        EXPECT_EQ(CheckPoiFile(path, L"g.asc", true, &report).usable, ranked) << "file " << file;
    }
}

TEST(Check, QuietCountsTheDuplicatesOfALargeFileAsTheFullReport)
{
    // Counted at the end in partitions when quiet, found line by line
    // otherwise: the same count, with 0 and -0 and 8.5 and 8.50 one place.
    std::mt19937 random(1605);
    std::string bytes;
    const char* const forms[] = {"%.3f,%.3f,\"a\"\n", "%.4f,%.4f,\"b\"\n", "-0,%.0f,\"c\"\n"};
    for (int i = 0; i < 30000; i++) {
        char line[64];
        std::snprintf(line, sizeof line, forms[random() % 3], (random() % 9000) / 1000.0, 48 + (random() % 3) / 10.0);
        bytes += line;
    }
    TempDir dir;
    const std::wstring path = dir.Write("d.asc", bytes);
    std::wstring report, quiet;
    const CheckCounts full = CheckPoiFile(path, L"d.asc", false, &report);
    EXPECT_GT(full.duplicates, 10000);
    EXPECT_LT(full.duplicates, 29000);
    EXPECT_EQ(CheckPoiFile(path, L"d.asc", true, &quiet).duplicates, full.duplicates);
    EXPECT_EQ(quiet, report.substr(report.rfind(L"d.asc: ")));
}

}  // namespace
