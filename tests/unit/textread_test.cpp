#include "text/textread.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tempfiles.h"
#include "text/cp1252.h"
#include "text/utf8.h"
#include "text/wtext.h"

namespace {

// The plain reading of the reader's block check: sequence after sequence.
bool IsValidUtf8(const unsigned char* bytes, size_t n)
{
    size_t i = 0;
    while (i < n) {
        uint32_t cp;
        const int len = Utf8SequenceAt(bytes + i, n - i, &cp);
        if (len <= 0)
            return false;
        i += (size_t)len;
    }
    return true;
}

// Every piece the reader gives for the bytes, read with the program's
// 1024-character buffer; with cuts, whether each piece was marked cut.
std::vector<std::wstring> Pieces(const std::string& bytes, size_t cap = kTextLen,
                                 std::vector<bool>* cuts = nullptr)
{
    TempDir dir;
    std::wstring path = dir.Write("f.asc", bytes);
    auto reader = std::make_unique<TextReader>();
    std::vector<std::wstring> out;
    EXPECT_TRUE(TextOpenRead(reader.get(), path.c_str()));
    std::vector<wchar_t> buf(cap);
    while (TextReadLine(reader.get(), buf.data(), cap)) {
        out.emplace_back(buf.data());
        if (cuts != nullptr)
            cuts->push_back(TextLastPiece(reader.get()).cut);
    }
    EXPECT_EQ(buf[0], L'\0') << "a failed read leaves the buffer empty";
    TextClose(reader.get());
    return out;
}

// The wide text for code points, as wchar_t of this platform holds them.
std::wstring Wide(std::initializer_list<char32_t> cps)
{
    std::wstring s;
    for (char32_t c : cps) {
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            s += (wchar_t)(0xD800 + ((c - 0x10000) >> 10));
            s += (wchar_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            s += (wchar_t)c;
        }
    }
    return s;
}

typedef std::vector<std::wstring> Lines;

TEST(TextRead, LineEndsAsAWindowsTextStreamGivesThem)
{
    struct Case { const char* name; std::string bytes; Lines expected; };
    const Case cases[] = {
        {"LF", "a\nb\n", {L"a\n", L"b\n"}},
        {"CRLF", "a\r\nb\r\n", {L"a\n", L"b\n"}},
        {"no final line feed", "a\nb", {L"a\n", L"b"}},
        {"lone CR stays", "a\rb\n", {L"a\rb\n"}},
        {"CR at the very end", "a\r", {L"a\r"}},
        {"CR CR LF", "a\r\r\n", {L"a\r\n"}},
        {"empty lines", "\n\r\n\n", {L"\n", L"\n", L"\n"}},
        {"tabs kept", "8.5\t49.2\t\"x\"\n", {L"8.5\t49.2\t\"x\"\n"}},
        // A line feed's borrow in a word scan flags a 0B byte after it.
        {"vertical tab after a line feed", "a\n\vb\nabc\n\v\n", {L"a\n", L"\vb\n", L"abc\n", L"\v\n"}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Pieces(c.bytes), c.expected);
    }
}

TEST(TextRead, Encodings)
{
    // "Köln" and "Ärger" with an euro sign, in each encoding on disk.
    const std::wstring koeln = Wide({'K', 0xF6, 'l', 'n', '\n'});
    const std::wstring euro = Wide({0x20AC, 0xC4, '\n'});
    struct Case { const char* name; std::string bytes; Lines expected; };
    const Case cases[] = {
        {"Windows-1252", "K\xF6ln\r\n\x80\xC4\r\n", {koeln, euro}},
        {"UTF-8 without BOM", "K\xC3\xB6ln\n\xE2\x82\xAC\xC3\x84\n", {koeln, euro}},
        {"UTF-8 with BOM", "\xEF\xBB\xBFK\xC3\xB6ln\n\xE2\x82\xAC\xC3\x84\n", {koeln, euro}},
        {"UTF-16 LE", std::string("\xFF\xFEK\0\xF6\0l\0n\0\r\0\n\0\xAC\x20\xC4\0\n\0", 20), {koeln, euro}},
        {"UTF-16 BE", std::string("\xFE\xFF\0K\0\xF6\0l\0n\0\r\0\n\x20\xAC\0\xC4\0\n", 20), {koeln, euro}},
        // One invalid sequence anywhere makes the whole file Windows-1252.
        {"UTF-8 look-alike with a stray byte", "K\xC3\xB6ln\n\xE4\n",
         {Wide({'K', 0xC3, 0xB6, 'l', 'n', '\n'}), Wide({0xE4, '\n'})}},
        {"overlong form is not UTF-8", "\xC0\xAF\n", {Wide({0xC0, 0xAF, '\n'})}},
        {"encoded surrogate is not UTF-8", "\xED\xA0\x80\n", {Wide({0xED, 0xA0, 0x20AC, '\n'})}},
        {"sequence cut at the end is not UTF-8", "ab\xC3", {Wide({'a', 'b', 0xC3})}},
        {"undefined 1252 bytes keep their number", "\x81\x8D\x8F\x90\x9D", {Wide({0x81, 0x8D, 0x8F, 0x90, 0x9D})}},
        {"stray byte after a UTF-8 BOM", "\xEF\xBB\xBF\xE4x\n", {Wide({0xE4, 'x', '\n'})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Pieces(c.bytes), c.expected);
    }
}

TEST(TextRead, CharactersBeyondSixteenBits)
{
    // U+1F600 in UTF-8 and as a UTF-16 surrogate pair.
    const std::wstring smile = Wide({'a', 0x1F600, '\n'});
    EXPECT_EQ(Pieces("a\xF0\x9F\x98\x80\n"), Lines{smile});
    EXPECT_EQ(Pieces(std::string("\xFF\xFE" "a\0\x3D\xD8\x00\xDE\n\0", 10)), Lines{smile});
    // Broken pairs and an odd last byte become U+FFFD instead of vanishing.
    EXPECT_EQ(Pieces(std::string("\xFF\xFE\x3D\xD8" "a\0", 6)), Lines{Wide({0xFFFD, 'a'})});
    EXPECT_EQ(Pieces(std::string("\xFF\xFE\x00\xDE" "a\0", 6)), Lines{Wide({0xFFFD, 'a'})});
    EXPECT_EQ(Pieces(std::string("\xFF\xFE" "a\0b", 5)), Lines{Wide({'a', 0xFFFD})});
}

TEST(TextRead, LongLinesArriveInPieces)
{
    std::string line(1500, 'x');
    Lines pieces = Pieces(line + "\r\nnext\n");
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], std::wstring(1023, L'x'));
    EXPECT_EQ(pieces[1], std::wstring(477, L'x') + L"\n");
    EXPECT_EQ(pieces[2], L"next\n");

    // Exactly 1023 characters and the line feed: the line feed is a piece
    // of its own, as fgetws gives it.
    pieces = Pieces(std::string(1023, 'y') + "\n");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1], L"\n");

    // A CR LF that straddles the end of a piece is still one line feed.
    pieces = Pieces(std::string(1022, 'z') + "\r\n");
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], std::wstring(1022, L'z') + L"\n");
}

TEST(TextRead, SurrogatePairIsNeverSplitBetweenPieces)
{
    // With a 5-unit buffer: "abc" then the pair does not fit in the one
    // unit left, so it opens the next piece. The pair counts two units
    // also where wchar_t holds it in one, so that pieces split as on the
    // device: 600 emoji are two pieces everywhere.
    Lines pieces = Pieces("abc\xF0\x9F\x98\x80z\n", 5);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], L"abc");
    EXPECT_EQ(pieces[1], Wide({0x1F600, 'z', '\n'}));
    std::string emoji;
    for (int i = 0; i < 600; i++)
        emoji += "\xF0\x9F\x98\x80";
    pieces = Pieces(emoji + "\n");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), sizeof(wchar_t) == 2 ? 1022u : 511u);
}

// A saved tour joins a cut piece to the next one; any other piece ends its
// line, however long it is.
TEST(TextRead, PiecesOfLongerLinesAreMarkedCut)
{
    const struct {
        const char* name;
        std::string bytes;
        size_t cap;
        std::vector<bool> cuts;
    } cases[] = {
        {"pair that does not fit", "abc\xF0\x9F\x98\x80z\n", 5, {true, false}},
        {"1022 units, a pair, more", std::string(1022, 'a') + "\xF0\x9F\x98\x80" + std::string(400, 'b') + "\n",
         kTextLen, {true, false}},
        {"1023 and the line feed", std::string(1023, 'y') + "\n", kTextLen, {true, false}},
        {"1023 at the end of the file", std::string(1023, 'y'), kTextLen, {false}},
        {"1500 then a short line", std::string(1500, 'x') + "\r\nnext\n", kTextLen, {true, false, false}},
        {"short lines", "a\nb", kTextLen, {false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<bool> cuts;
        Pieces(c.bytes, c.cap, &cuts);
        EXPECT_EQ(cuts, c.cuts);
    }
}

TEST(TextRead, LinesAcrossReadBlocks)
{
    // Multi-byte sequences and CR LF pairs land on block boundaries.
    std::string bytes;
    Lines expected;
    for (int i = 0; bytes.size() < 3 * kReadBlock; i++) {
        std::string n = std::to_string(i);
        bytes += n + ",\xC3\xA4\xE2\x82\xAC\r\n";
        expected.push_back(std::wstring(n.begin(), n.end()) + Wide({',', 0xE4, 0x20AC, '\n'}));
    }
    EXPECT_EQ(Pieces(bytes), expected);
    // A single invalid byte far past the first block still makes the whole
    // file Windows-1252.
    Lines cp = Pieces(bytes + "\xFF\n");
    ASSERT_EQ(cp.size(), expected.size() + 1);
    EXPECT_EQ(cp[0], Wide({'0', ',', 0xC3, 0xA4, 0xE2, 0x201A, 0xAC, '\n'}));
}

TEST(TextRead, JunkGivesLinesNeverACrash)
{
    // NUL bytes are dropped; the rest of the line stays.
    EXPECT_EQ(Pieces(std::string("8.5\0,49\0\n\0\0\0", 12)), Lines{L"8.5,49\n"});
    EXPECT_EQ(Pieces(std::string(5000, '\0')), Lines{});
    // A UTF-16 file without a byte order mark reads as its ASCII letters.
    EXPECT_EQ(Pieces(std::string("a\0b\0\n\0", 6)), Lines{L"ab\n"});

    std::string junk;
    unsigned x = 12345;
    for (int i = 0; i < 200000; i++) {
        x = x * 1103515245u + 12345u;
        junk += (char)(x >> 16);
    }
    Lines pieces = Pieces(junk);
    EXPECT_FALSE(pieces.empty());
    for (const std::wstring& p : pieces) {
        EXPECT_LE(p.size(), 1023u);
        EXPECT_EQ(p.find(L'\0'), std::wstring::npos);
    }
}

TEST(TextRead, WhatCannotBeOpened)
{
    TempDir dir;
    auto reader = std::make_unique<TextReader>();
    EXPECT_FALSE(TextOpenRead(reader.get(), dir.Path("missing.asc").c_str()));
    EXPECT_FALSE(TextIsOpen(reader.get()));
    std::filesystem::create_directory(dir.path() / "x.asc");
    EXPECT_FALSE(TextOpenRead(reader.get(), dir.Path("x.asc").c_str())) << "a directory is no file";
    wchar_t buf[8];
    EXPECT_FALSE(TextReadLine(reader.get(), buf, 8));
    EXPECT_EQ(buf[0], L'\0');
    TextClose(reader.get());
}

TEST(TextRead, AReadErrorIsNoEndOfFile)
{
    // More than one read block, so that reading goes on after the open.
    TempDir dir;
    std::string bytes;
    for (int i = 0; bytes.size() < 3 * kReadBlock; i++)
        bytes += "8." + std::to_string(i) + ",49.0,\"Ort\"\n";
    std::wstring path = dir.Write("f.asc", bytes);
    auto reader = std::make_unique<TextReader>();
    ASSERT_TRUE(TextOpenStream(reader.get(), std::fopen(std::filesystem::path(path).string().c_str(), "rb")));
    EXPECT_FALSE(TextReadFailed(reader.get()));
    ASSERT_TRUE(BreakReads(reader->file, dir.path() / "w"));
    Text buf;
    size_t lines = 0;
    while (TextReadLine(reader.get(), buf, kTextLen))
        lines++;
    EXPECT_GT(lines, 0u);
    EXPECT_LT(lines * 20, bytes.size()) << "only the part before the error";
    EXPECT_TRUE(TextReadFailed(reader.get()));
    TextClose(reader.get());

    // The whole file read to its end is no failure.
    ASSERT_TRUE(TextOpenRead(reader.get(), path.c_str()));
    while (TextReadLine(reader.get(), buf, kTextLen)) {
    }
    EXPECT_FALSE(TextReadFailed(reader.get()));
    TextClose(reader.get());

    // Nor is a file cut short while it is read: it ends short of its size.
    ASSERT_TRUE(TextOpenRead(reader.get(), path.c_str()));
    std::filesystem::resize_file(std::filesystem::path(path), 2 * kReadBlock);
    while (TextReadLine(reader.get(), buf, kTextLen)) {
    }
    EXPECT_TRUE(TextReadFailed(reader.get()));
    EXPECT_TRUE(TextFileShrank(reader.get()));
    TextClose(reader.get());
}

// The lines of a file (pieces of a long line joined), read eagerly or
// lazily; lazily, the lines marked in skip (by their number modulo 64)
// are passed over unread where the reader allows it, as the search does,
// and left empty, and the file is read again where the reader asks for it.
std::vector<std::wstring> ReadLines(TextReader* reader, const std::wstring& path, bool lazily, uint64_t skip,
                                    bool* again)
{
    std::vector<std::wstring> out;
    *again = false;
    EXPECT_TRUE(lazily ? TextOpenReadLazily(reader, path.c_str()) : TextOpenRead(reader, path.c_str()));
    for (;;) {
        Text buf;
        for (;;) {
            const unsigned char* bytes;
            size_t len;
            if (lazily && (skip >> (out.size() % 64) & 1) != 0 && TextPeekLine(reader, kTextLen - 1, &bytes, &len)) {
                TextSkipLine(reader, len);
                out.emplace_back();
                continue;
            }
            if (!TextReadLine(reader, buf, kTextLen))
                break;
            out.emplace_back(buf);
            while (TextLastPiece(reader).cut && TextReadLine(reader, buf, kTextLen))
                out.back() += buf;
        }
        if (!TextGuessFailed(reader))
            break;
        EXPECT_FALSE(*again) << "read again once at most";
        *again = true;
        out.clear();
        EXPECT_TRUE(TextReadAgain(reader));
    }
    TextClose(reader);
    return out;
}

TEST(TextRead, EncodingChosenAsTheByteByByteCheckWouldChooseIt)
{
    // The word-at-a-time checks against the plain one, with sequences at
    // every offset in a word, across read blocks and in lines of every
    // kind. Read lazily, passing over any lines, the lines read are the
    // same as when the encoding is chosen first.
    const std::string pieces[] = {"a", "xyz12345", "\xc3\xa4", "\n", "\xc2\x80", "\xdf\xbf", "\xe2\x82\xac",
                                  "\xf0\x9f\x98\x80", "\xc0\xaf", "\xc1\x81", "\xc3", "\xa4", "\xe2\x82",
                                  "\xed\xa0\x80", "\xf5\x80\x80\x80", "\xff", "\xc3\xc3\xa4", "\r\n",
                                  "\r", std::string(1, '\0')};
    TempDir dir;
    auto reader = std::make_unique<TextReader>();
    std::mt19937_64 rng(1252);
    int readAgain = 0;
    for (int file = 0; file < 400; file++) {
        std::string bytes = "x";   // no byte order mark
        // Some larger than a read block, some of them UTF-8 in the first.
        const bool lateCp1252 = file % 20 == 1;
        const size_t size = file % 50 == 0 || lateCp1252 ? 70000 : rng() % 400;
        // Half the files in long lines, half in short ones.
        const size_t kinds = lateCp1252 ? 8 : file % 2 == 0 ? 20 : 16, common = file % 2 == 0 ? 4 : 3;
        // Some read as UTF-8 far into the file and then prove not to be.
        const std::string head = file % 4 == 1 ? "\xc3\xa4" + std::string(rng() % 3, 'x') + "\n" : "";
        // A sequence across the end of the first read block.
        const size_t across = kReadBlock - 1 - (size_t)file / 20 % 3 - head.size();
        while (bytes.size() < size) {
            if (lateCp1252 && bytes.size() + 8 >= across && bytes.size() <= across) {
                bytes.resize(across, 'a');
                bytes += "\xf0\x9f\x98\x80";
            }
            const size_t k = rng() % 3 == 0 ? rng() % kinds : rng() % common;
            bytes += pieces[k == 3 && kinds == 16 ? 0 : k];
        }
        if (file % 4 == 1)
            bytes = head + bytes + "\n\xe4\n";
        std::wstring path = dir.Write("e" + std::to_string(file), bytes);
        const bool utf8 = IsValidUtf8((const unsigned char*)bytes.data(), bytes.size());
        bool again;
        const std::vector<std::wstring> eager = ReadLines(reader.get(), path, false, 0, &again);
        EXPECT_EQ(TextEncodingOf(reader.get()), utf8 ? kEncodingUtf8 : kEncodingCp1252) << file;
        const uint64_t skip = rng() & rng();
        const std::vector<std::wstring> lazy = ReadLines(reader.get(), path, true, skip, &again);
        EXPECT_EQ(TextEncodingOf(reader.get()), utf8 ? kEncodingUtf8 : kEncodingCp1252) << file;
        readAgain += again;
        ASSERT_EQ(lazy.size(), eager.size()) << file;
        for (size_t i = 0; i < lazy.size(); i++) {
            if (!lazy[i].empty()) {
                ASSERT_EQ(lazy[i], eager[i]) << file << " line " << i;
            }
        }
    }
    EXPECT_GT(readAgain, 10) << "files read again";
}

TEST(TextRead, Cp1252AndUtf8Helpers)
{
    EXPECT_EQ(Cp1252ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(Cp1252ToUnicode(0x9F), 0x178u);
    EXPECT_EQ(Cp1252ToUnicode(0xFC), 0xFCu);
    EXPECT_EQ(Cp1252ToUnicode(0x41), 0x41u);
    const unsigned char good[] = {0xF4, 0x8F, 0xBF, 0xBF, 0xE0, 0xA0, 0x80};
    const unsigned char tooHigh[] = {0xF4, 0x90, 0x80, 0x80};
    const unsigned char lead[] = {0xF5, 0x80, 0x80, 0x80};
    EXPECT_TRUE(IsValidUtf8(good, sizeof good));
    EXPECT_FALSE(IsValidUtf8(tooHigh, sizeof tooHigh));
    EXPECT_FALSE(IsValidUtf8(lead, sizeof lead));
    EXPECT_FALSE(IsValidUtf8(good, 3));
}

}  // namespace
