#include "check.h"

#include <gtest/gtest.h>

#include <string>

#include "tempfiles.h"

namespace {

struct Case {
    const char* name;
    std::string bytes;
    const wchar_t* report;   // with the file named "f.asc"
    bool skips;
};

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
         L"f.asc:1: line of 1511 characters, longer than 1023: it shows as 2 list entries\n"
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::wstring report;
        CheckCounts counts = CheckPoiFile(dir.Write("f.asc", c.bytes), L"f.asc", false, &report);
        EXPECT_EQ(report, c.report);
        EXPECT_TRUE(counts.readable);
        EXPECT_EQ(counts.skipped > 0, c.skips);
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
}

}  // namespace
