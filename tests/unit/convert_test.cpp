// Coordinates as convert writes them: the same digits on every build.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "cli/degrees.h"

namespace {

TEST(FormatDegrees, RoundsTheExactValueHalfToEven)
{
    struct Case {
        double value;
        int decimals;
        const wchar_t* text;
    } cases[] = {
        {0, 6, L"0.000000"},
        {180, 6, L"180.000000"},
        {-116.80858145467937, 6, L"-116.808581"},
        {0.0000005, 6, L"0.000000"},        // just below a half: 4.99999999999999977e-07
        {0.0000025, 6, L"0.000003"},        // just above: 2.50000000000000010e-06
        {0.5, 0, L"0"},                     // exact halves go to the even digit
        {1.5, 0, L"2"},
        {2.5, 0, L"2"},
        {-0.0000001, 6, L"0.000000"},       // no "-0"
        {-0.0000006, 6, L"-0.000001"},
        {48.1234565, 6, L"48.123457"},      // 48.12345650000000319...
        {8.682127, 9, L"8.682127000"},
        {1e-300, 6, L"0.000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDegrees(c.value, c.decimals), c.text) << c.value;
}

#ifndef _WIN32
TEST(FormatDegrees, AgreesWithTheCorrectlyRoundedPrintf)
{
    // glibc's printf rounds the exact binary value; Windows' need not,
    // which is why convert has its own.
    std::mt19937_64 rng(6);
    std::uniform_real_distribution<double> degrees(-180, 180);
    for (int i = 0; i < 200000; i++) {
        const double v = i % 2 ? degrees(rng) : (double)(int64_t)(degrees(rng) * 2e6) / 2e6;  // halves too
        const int decimals = i % 3 == 0 ? 9 : 6;
        wchar_t want[64];
        std::swprintf(want, 64, L"%.*f", decimals, v);
        std::wstring expected = want;
        if (expected.find_first_not_of(L"-0.") == std::wstring::npos && expected[0] == L'-')
            expected.erase(0, 1);
        ASSERT_EQ(FormatDegrees(v, decimals), expected) << i;
    }
}
#endif

}  // namespace
