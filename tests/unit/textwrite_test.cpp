#include "text/textwrite.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tempfiles.h"
#include "text/fileio.h"
#include "text/wtext.h"

namespace {

typedef std::vector<std::wstring> Lines;

std::string Bytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Lines ReadBack(const std::wstring& path)
{
    auto reader = std::make_unique<TextReader>();
    Lines out;
    if (!TextOpenRead(reader.get(), path.c_str()))
        return out;
    Text buf;
    while (TextReadLine(reader.get(), buf, kTextLen))
        out.emplace_back(buf);
    TextClose(reader.get());
    return out;
}

// Writes the pieces one write each, in the encoding the saving code picks.
std::wstring WriteAll(const TempDir& dir, const Lines& pieces)
{
    std::wstring path = dir.Path("WK_20260101_000000.asc");
    bool fits = true;
    for (const std::wstring& p : pieces)
        fits = fits && TextFitsCp1252(p.c_str());
    TextWriter w;
    EXPECT_TRUE(TextOpenWrite(&w, path.c_str(), fits ? kEncodingCp1252 : kEncodingUtf8));
    for (const std::wstring& p : pieces)
        TextWrite(&w, p.c_str());
    EXPECT_TRUE(TextCloseWrite(&w));
    return path;
}

TEST(TextWrite, Cp1252WithCrLfWhenEverythingFits)
{
    TempDir dir;
    std::wstring path = WriteAll(dir, {L"8.5,49.2,\"K\u00f6ln \u20ac\"\n", L"1,2,\"x\"\n"});
    EXPECT_EQ(Bytes(path), "8.5,49.2,\"K\xF6ln \x80\"\r\n1,2,\"x\"\r\n");
    EXPECT_EQ(ReadBack(path), (Lines{L"8.5,49.2,\"K\u00f6ln \u20ac\"\n", L"1,2,\"x\"\n"}));
}

TEST(TextWrite, Utf8WithBomOtherwise)
{
    TempDir dir;
    std::wstring path = WriteAll(dir, {L"1,2,\"\u0141\u00f3d\u017a\"\n", L"3,4,\"\u00e4\"\n"});
    EXPECT_EQ(Bytes(path), "\xEF\xBB\xBF" "1,2,\"\xC5\x81\xC3\xB3" "d\xC5\xBA\"\r\n3,4,\"\xC3\xA4\"\r\n");
    EXPECT_EQ(ReadBack(path), (Lines{L"1,2,\"\u0141\u00f3d\u017a\"\n", L"3,4,\"\u00e4\"\n"}));
}

TEST(TextWrite, EntriesRunTogetherAndNothingIsAdded)
{
    TempDir dir;
    EXPECT_EQ(Bytes(WriteAll(dir, {L"a", L"b\n", L"c"})), "ab\r\nc");
    EXPECT_EQ(Bytes(WriteAll(dir, {})), "") << "an empty tour is an empty file";
}

TEST(TextWrite, CharactersBeyondSixteenBits)
{
    // U+1F697 (a car), also split between two writes on a 16-bit wchar_t.
    std::wstring car = sizeof(wchar_t) == 2 ? std::wstring{(wchar_t)0xD83D, (wchar_t)0xDE97}
                                            : std::wstring(1, (wchar_t)0x1F697);
    TempDir dir;
    Lines pieces = {L"1,2,\"" + car.substr(0, 1), car.substr(1) + L"\"\n"};
    if (sizeof(wchar_t) != 2)
        pieces = {L"1,2,\"" + car, L"\"\n"};
    std::wstring path = WriteAll(dir, pieces);
    EXPECT_EQ(Bytes(path), "\xEF\xBB\xBF" "1,2,\"\xF0\x9F\x9A\x97\"\r\n");
    EXPECT_EQ(ReadBack(path), Lines{L"1,2,\"" + car + L"\"\n"});
}

TEST(TextWrite, WhatTheReaderReadsIsWrittenBackTheSame)
{
    // A Windows-1252 tour with CR LF, read and written unchanged, is the
    // same file byte for byte.
    TempDir dir;
    std::string original;
    for (int b = 0x20; b <= 0xFF; b++)
        if (b != 0x7F)
            original += (char)b;
    original += "\r\n8.5,49.25,\"M\xFCnchen\"\r\n\r\n" + std::string(1500, 'x') + "\r\nlast";
    std::wstring src = dir.Write("in.asc", original);
    std::wstring out = WriteAll(dir, ReadBack(src));
    EXPECT_EQ(Bytes(out), original);
}

TEST(TextWrite, FailuresAreReported)
{
    TempDir dir;
    TextWriter w;
    EXPECT_FALSE(TextOpenWrite(&w, dir.Path("missing/WK.asc").c_str(), kEncodingCp1252));
    EXPECT_FALSE(TextCloseWrite(&w)) << "nothing open, nothing saved";
#ifndef _WIN32
    // A device that takes no byte: the loss shows at the latest on close.
    ASSERT_TRUE(TextOpenWrite(&w, L"/dev/full", kEncodingCp1252));
    TextWrite(&w, L"1,2,\"x\"\n");
    EXPECT_FALSE(TextCloseWrite(&w));
#endif
}

TEST(TextWrite, RemoveFile)
{
    TempDir dir;
    std::wstring path = dir.Write("gone.asc", "x");
    EXPECT_TRUE(RemoveFileWide(path.c_str()));
    EXPECT_FALSE(RemoveFileWide(path.c_str()));
}

}  // namespace

namespace {

TEST(TextWrite, Cp1252BytesThatWouldReadAsUtf8)
{
    struct Case { std::vector<std::wstring> texts; bool readsAsUtf8; };
    const Case cases[] = {
        {{L"8.4,49.0,\"Karlsruhe\"\n"}, false},                 // ASCII reads back either way
        {{L"11.5,48.1,\"M\u00c3\u00bcnchen\"\n"}, true},        // "Ã¼" is the UTF-8 of "ü"
        {{L"6.9,50.9,\"K\u00f6ln\"\n"}, false},                 // a lone 0xF6 is no UTF-8
        {{L"1,2,\"\u00c3", L"\u00bc\"\n"}, true},               // a sequence across two entries
        {{L"1,2,\"\u00c3", L"\n", L"\u00bc\"\n"}, false},       // broken by a line end between
        {{L"1,2,\"\u00c3\"\n"}, false},                         // cut off
        {{L"1,2,\"\u00e2\u0082\u00ac\"\n"}, false},             // 0x82 is "\u201a" in Windows-1252
        {{L"1,2,\"\u00e2\u201a\u00ac\"\n"}, true},              // E2 82 AC, the euro sign's UTF-8
    };
    for (const Case& c : cases) {
        Cp1252Utf8Check check = {};
        for (const std::wstring& t : c.texts)
            Cp1252CheckText(&check, t.c_str());
        EXPECT_EQ(Cp1252ReadsAsUtf8(&check), c.readsAsUtf8) << std::string(c.texts[0].begin(), c.texts[0].end());
    }
}

}  // namespace
