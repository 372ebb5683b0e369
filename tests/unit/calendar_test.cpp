#include "app/calendar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

std::wstring Stamp(uint32_t s)
{
    wchar_t buf[kStampLen];
    FormatTimeStamp(s, buf);
    return buf;
}

// The C library's own UTC conversion, in the stamp's form.
std::wstring LibraryStamp(uint32_t s)
{
    std::time_t t = (std::time_t)s;
    std::tm* tm = std::gmtime(&t);
    if (tm == nullptr)
        return L"(gmtime failed)";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d_%02d%02d%02d", tm->tm_year + 1900, tm->tm_mon + 1,
                  tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec);
    return std::wstring(buf, buf + 15);
}

TEST(Calendar, TheListedStamps)
{
    struct Case { uint32_t s; const wchar_t* stamp; };
    const Case cases[] = {
        {1167609600u, L"20070101_000000"},
        {1204286400u, L"20080229_120000"},
        {1230767999u, L"20081231_235959"},
        {1266237296u, L"20100215_123456"},
        {1830297599u, L"20271231_235959"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.s);
        EXPECT_EQ(Stamp(c.s), c.stamp);
    }
}

TEST(Calendar, BeyondTheOldTableTrueDates)
{
    // A clock battery run down, and the years after 2027.
    EXPECT_EQ(Stamp(0), L"19700101_000000");
    EXPECT_EQ(Stamp(1167609599u), L"20061231_235959");
    EXPECT_EQ(Stamp(1830297600u), L"20280101_000000");
    EXPECT_EQ(Stamp(2147483647u), L"20380119_031407");
    EXPECT_EQ(Stamp(2147483648u), L"20380119_031408") << "past the signed 32-bit end";
    EXPECT_EQ(Stamp(4102444799u), L"20991231_235959");
    EXPECT_EQ(Stamp(4294967295u), L"21060207_062815");
}

TEST(Calendar, AgreesWithTheLibraryFrom1970Through2099)
{
    // Every day boundary and a second either side, and the middle of the
    // day, as far as the library's time_t reaches (32 bits on armel: to
    // 2038-01-19 03:14:07).
    const uint64_t end = sizeof(std::time_t) >= 8 ? 4102444800u : 2147483648u;   // 2100-01-01
    int compared = 0;
    for (uint64_t day = 0; day * 86400 < end; day++) {
        const uint32_t base = (uint32_t)(day * 86400);
        const uint32_t probes[] = {base, base + 1, base + 43199, base + 86399};
        for (uint32_t s : probes) {
            if (s >= end)
                continue;
            if (Stamp(s) != LibraryStamp(s)) {
                ADD_FAILURE() << s << ": " << testing::PrintToString(Stamp(s)) << " vs "
                              << testing::PrintToString(LibraryStamp(s));
                return;
            }
            compared++;
        }
    }
    EXPECT_GT(compared, sizeof(std::time_t) >= 8 ? 180000 : 99000);
}

TEST(Calendar, LastDaysStayInTheirYearAndMonth)
{
    EXPECT_EQ(Stamp(1167609600u + 364 * 86400u), L"20071231_000000") << "day 365 of 2007";
    EXPECT_EQ(Stamp(1167609600u + 365 * 86400u), L"20080101_000000") << "day 366 is the next year";
    EXPECT_EQ(Stamp(1199145600u + 365 * 86400u), L"20081231_000000") << "day 366 of leap 2008";
    EXPECT_EQ(Stamp(951782400u), L"20000229_000000") << "2000 is a leap year";
    EXPECT_EQ(Stamp(4107542400u), L"21000301_000000") << "2100 is not";
    EXPECT_EQ(DaysInYear(1900), 365u);
    EXPECT_EQ(DaysInYear(2024), 366u);
}

TEST(Calendar, StampsSortInTimeOrder)
{
    std::wstring previous = Stamp(0);
    for (uint64_t s = 7777; s <= 0xFFFFFFFFu; s += 7777777) {
        std::wstring next = Stamp((uint32_t)s);
        ASSERT_EQ(next.size(), 15u);
        ASSERT_LT(previous, next) << s;
        previous = next;
    }
}

}  // namespace
