// The search's reading of undecoded bytes is a fast form of the position
// rule: on lines of every shape it skips only what ReadPoiLine refuses on
// the decoded line, or what the bounds prove too far.
#include "search/lineverdict.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fast_verdict.h"
#include "geo/geo.h"
#include "search/poiline.h"
#include "search/skipbounds.h"
#include "tempfiles.h"
#include "text/textread.h"
#include "text/wtext.h"

namespace {

// A line of random pieces: numbers of every form, separators, names, and
// the bytes decoding changes (CR, NUL, bytes beyond ASCII, marks).
std::string RandomLine(std::mt19937& rng)
{
    static const char* const numbers[] = {
        "8.68", "50.11", "-0", "0", "0.0", "+5.5", " 7.25", "\t49.1", ".5", "5.", "-.75", "1e3", "1.5E-2", "0x1p3",
        "inf", "nan", "-nan", "90.5", "-90", "180.0000001", "-179.9999999", "123456789012345678", "007.50",
        "12.345678901", "-33.9", "151.2", "0.000001", "9999999999", "+", "-", ".",
    };
    static const std::string separators[] = {",", ",", ",", ";", " ", "\r", std::string(1, '\0'), "\xC2\xA7",
                                             "\xFC", "", "e", "x"};
    static const char* const names[] = {",\"x\"", "", ",\"M\xC3\xBChle\"", "\r", ",\"K\xF6ln\"", "\xEF\xBB\xBF"};
    static const char* const prefixes[] = {"", "", "", " ", "\xEF\xBB\xBF", "\r", "\xC3\xBC"};
    auto pick = [&rng](const auto& list) { return std::string(list[rng() % (sizeof list / sizeof list[0])]); };
    std::string line = pick(prefixes) + pick(numbers);
    line += pick(separators) + pick(numbers) + pick(names);
    if (rng() % 8 == 0)
        line += pick(numbers);
    return line;
}

// Every line of the generated files, decoded as the search decodes it
// (the real reader over a real file, UTF-8 or, with a stray byte,
// Windows-1252), checked against the fast verdicts with and without bounds.
TEST(LineVerdict, SkipsOnlyWhatTheRuleOrTheBoundsRefuse)
{
    std::mt19937 rng(20261211);
    long skipped = 0, decoded = 0, boundedSkips = 0;
    for (int file = 0; file < 2; file++) {
        std::vector<std::string> lines;
        std::string bytes;
        for (int i = 0; i < 6000; i++) {
            std::string line = RandomLine(rng);
            // A latitude and longitude near the reference, in the usual form.
            if (i % 3 == 0) {
                char usual[64];
                std::snprintf(usual, sizeof usual, "%.*f,%.*f,\"p\"", (int)(rng() % 9),
                              8.68 + ((int)(rng() % 2001) - 1000) / 1000.0, (int)(rng() % 9),
                              50.11 + ((int)(rng() % 2001) - 1000) / 1000.0);
                line = usual;
            }
            lines.push_back(line);
            bytes += line + "\n";
        }
        if (file == 1)
            bytes += "\xFC\n";   // the whole file then reads as Windows-1252
        TempDir dir;
        const std::wstring path = dir.Write("v.asc", bytes);
        auto reader = std::make_unique<TextReader>();
        ASSERT_TRUE(TextOpenRead(reader.get(), path.c_str()));
        static SkipBounds open, bounded;
        InitBounds(&open, 50.11, 8.68);
        UpdateBounds(&open, 99999999);
        Text piece;
        for (size_t i = 0; i < lines.size(); i++) {
            ASSERT_TRUE(TextReadLine(reader.get(), piece, kTextLen));
            PoiPosition at;
            const bool position = ReadPoiLine(piece, &at) == kPoiPosition;
            SCOPED_TRACE(testing::Message() << "file " << file << " line " << i << ": " << lines[i]);
            // No bounds: only the rule may skip a line.
            const LineVerdict alone = FastVerdict(&open, lines[i]);
            EXPECT_FALSE(alone == kSkip && position);
            skipped += alone == kSkip;
            decoded += alone != kSkip;
            // Bounds of some farthest distance: a line skipped holds no
            // position, or one no nearer than that.
            const double farthest = std::uniform_real_distribution<double>(0.01, 300)(rng);
            InitBounds(&bounded, 50.11, 8.68);
            UpdateBounds(&bounded, farthest);
            if (FastVerdict(&bounded, lines[i]) == kSkip && position) {
                boundedSkips++;
                EXPECT_GE(ComputeDistance(50.11, 8.68, at.lat, at.lon), farthest);
            }
        }
        TextClose(reader.get());
    }
    // Both kinds of verdict were met, often.
    EXPECT_GT(skipped, 200);
    EXPECT_GT(decoded, 1000);
    EXPECT_GT(boundedSkips, 1000);
}

TEST(LineVerdict, TheUsualLineIsDecidedFromItsBytes)
{
    static SkipBounds b;
    InitBounds(&b, 50.11, 8.68);
    UpdateBounds(&b, 20);
    EXPECT_EQ(FastVerdict(&b, "8.68,50.11,\"hier\""), kDecode);
    EXPECT_EQ(FastVerdict(&b, "8.68,52.11,\"zwei Grad n\xC3\xB6rdlich\""), kSkip);
    EXPECT_EQ(FastVerdict(&b, "-8.68,50.11,\"gespiegelt\""), kSkip);
    EXPECT_EQ(FastVerdict(&b, "0,0,\"keine Position\""), kSkip);
    EXPECT_EQ(FastVerdict(&b, ";Kommentar"), kSkip);
}

}  // namespace
