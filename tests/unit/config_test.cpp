#include "app/config.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tempfiles.h"

namespace {

const wchar_t kDefaultPoi[] = L"\\Storage Card\\Routen\\POIs\\";
const wchar_t kDefaultTour[] = L"\\Storage Card\\Routen\\Wendrik\\";

// The start-up fields, with the defaults the program starts from.
struct Settings {
    Text poiDir;
    Text tourDir;
    int32_t routeHandOff = 0;
    Text lineBuf;
    std::unique_ptr<TextReader> reader = std::make_unique<TextReader>();

    Settings()
    {
        CopyText(poiDir, kTextLen, kDefaultPoi);
        CopyText(tourDir, kTextLen, kDefaultTour);
    }
    ConfigTarget Target() { return {poiDir, tourDir, &routeHandOff}; }

    bool ReadFile(const std::string& bytes)
    {
        TempDir dir;
        std::wstring path = dir.Write("Wendrik.cfg", bytes);
        return ReadConfigFile(reader.get(), path.c_str(), lineBuf, Target());
    }
    void CommandLine(const std::wstring& text)
    {
        std::wstring copy = text;
        ApplyCommandLine(copy.data(), &routeHandOff);
    }
};

TEST(Config, KeysAtTheLineStartInAnyCase)
{
    Settings s;
    ASSERT_TRUE(s.ReadFile("poi=D:\\Karten\\POI\\\r\nTOUR=\\Touren\\\r\nKoord465=1\r\n"));
    EXPECT_STREQ(s.poiDir, L"D:\\Karten\\POI\\");
    EXPECT_STREQ(s.tourDir, L"\\Touren\\");
    EXPECT_EQ(s.routeHandOff, 1);
}

TEST(Config, LinesThatAreNotKeys)
{
    Settings s;
    ASSERT_TRUE(s.ReadFile(" POI=\\x\\\nPOI =\\y\\\n#Tour=\\z\\\nPO\nkoord465\n\n"));
    EXPECT_STREQ(s.poiDir, kDefaultPoi);
    EXPECT_STREQ(s.tourDir, kDefaultTour);
    EXPECT_EQ(s.routeHandOff, 0);
}

TEST(Config, ValuesVerbatimEmptyAndLastWins)
{
    Settings s;
    ASSERT_TRUE(s.ReadFile("Tour=\nPOI=\\a\\\nPOI= \"\\b\\\" \nkoord465=1\nkoord465=0\nkoord465=1"));
    EXPECT_STREQ(s.tourDir, L"") << "an empty value sets an empty directory";
    EXPECT_STREQ(s.poiDir, L" \"\\b\\\" \\") << "nothing is trimmed; the folder's backslash is added";
    EXPECT_EQ(s.routeHandOff, 1) << "a last line without line feed counts";
}

TEST(Config, FolderWithoutItsBackslashGetsOne)
{
    Settings s;
    ASSERT_TRUE(s.ReadFile("Tour=\\Storage Card\\Touren\r\nPOI=D:\\POI\r\n"));
    EXPECT_STREQ(s.tourDir, L"\\Storage Card\\Touren\\");
    EXPECT_STREQ(s.poiDir, L"D:\\POI\\");
}

TEST(Config, MissingFileKeepsTheDefaults)
{
    Settings s;
    TempDir dir;
    EXPECT_FALSE(ReadConfigFile(s.reader.get(), dir.Path("Wendrik.cfg").c_str(), s.lineBuf, s.Target()));
    EXPECT_STREQ(s.poiDir, kDefaultPoi);
    EXPECT_EQ(s.routeHandOff, 0);
}

TEST(Config, PathMayBeTheLineBuffer)
{
    Settings s;
    TempDir dir;
    std::wstring path = dir.Write("Wendrik.cfg", "Tour=\\T\\\n");
    CopyText(s.lineBuf, kTextLen, path.c_str());
    ASSERT_TRUE(ReadConfigFile(s.reader.get(), s.lineBuf, s.lineBuf, s.Target()));
    EXPECT_STREQ(s.tourDir, L"\\T\\");
}

TEST(Config, LongLinesNeverOverflow)
{
    // A value of 1019 characters and its backslash fit poiDir; a longer
    // line arrives in pieces and its tail is no key.
    Settings s;
    std::string value(1019, 'p');
    std::string huge(5000, 'q');
    ASSERT_TRUE(s.ReadFile("POI=" + value + "\nTour=" + huge + "\n"));
    EXPECT_EQ(std::wstring(s.poiDir), std::wstring(1019, L'p') + L"\\");
    EXPECT_EQ(std::wstring(s.tourDir), std::wstring(1018, L'q') + L"\\");
}

TEST(Config, ReadDecimalLikeWtol)
{
    struct Case { const wchar_t* text; int32_t value; };
    const Case cases[] = {
        {L"1", 1}, {L"0", 0}, {L"2", 2}, {L"-1", -1}, {L"+1", 1},
        {L"  1", 1}, {L"\t7x", 7}, {L"", 0}, {L"x1", 0}, {L"1 2", 1},
        {L"01", 1}, {L"- 1", 0},
        // Too large for 32 bits: saturated, never wrapped round to 1.
        {L"4294967297", INT32_MAX}, {L"-4294967297", INT32_MIN},
        {L"99999999999999999999999", INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\"");
        EXPECT_EQ(ReadDecimal(c.text), c.value);
    }
}

TEST(Config, CommandLineSwitch)
{
    struct Case { const wchar_t* name; int32_t fromFile; const wchar_t* line; int32_t value; };
    const Case cases[] = {
        {L"switch on", 0, L"koord465=1", 1},
        {L"capitals switch off what the file switched on", 1, L"KOORD465=0", 0},
        {L"amid other words", 0, L"/x foo Koord465=1 bar", 1},
        {L"no digits switch off", 1, L"koord465=", 0},
        {L"no digits, a word after", 1, L"koord465=ja", 0},
        {L"only the first occurrence", 0, L"koord465=1 koord465=0", 1},
        {L"absent: the file's value stands", 1, L"irgendwas", 1},
        {L"empty command line", 1, L"", 1},
        {L"a blank before = is no switch", 1, L"koord465 =0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        s.routeHandOff = c.fromFile;
        s.CommandLine(c.line);
        EXPECT_EQ(s.routeHandOff, c.value);
    }
}

TEST(Config, CommandLineIsLoweredInPlace)
{
    wchar_t line[] = L"ABC Koord465=1";
    int32_t handOff = 0;
    ApplyCommandLine(line, &handOff);
    EXPECT_STREQ(line, L"abc koord465=1");
    ApplyCommandLine(nullptr, &handOff);
    EXPECT_EQ(handOff, 1);
}

}  // namespace
