// UTF-8 and UTF-16: one decoder of a UTF-8 sequence, one validator of a
// reader's block, and the UTF-16 units of a code point as the device
// counts them.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <cstdint>

// The UTF-8 sequence at bytes[0..avail): its length when valid and
// complete (the code point in *cp), 0 when it is a valid beginning cut off
// by the end of the bytes, -1 when it is invalid (an overlong form, a
// surrogate, a code point above U+10FFFF, a stray byte).
int Utf8SequenceAt(const unsigned char* bytes, size_t avail, uint32_t* cp);

// True when b[i] opens a two-byte sequence (lead C2 to DF, then a
// continuation byte) that ends before end: the Latin letters, umlauts
// among them, that most text beyond ASCII in a POI file is.
inline bool TwoByteLetterAt(const unsigned char* b, size_t i, size_t end)
{
    return b[i] - 0xC2u <= 0xDFu - 0xC2u && i + 1 < end && (b[i + 1] & 0xC0) == 0x80;
}

// Where the bytes b[i..end) stop being valid UTF-8: end when all are, or
// the start of a sequence that is invalid or cut off by end. b is a
// reader's block: the bytes after end hold a line feed and then 80 and
// zeros for some 32 bytes, so that the scan may load whole chunks past end
// and its loops over ASCII need no test of the end.
size_t ValidUtf8InBlock(const unsigned char* b, size_t i, size_t end);

// UTF-16 units of a code point, as the device's list counts them: two for
// a character beyond U+FFFF, whatever the width of wchar_t here.
inline size_t Utf16Units(uint32_t cp)
{
    return cp > 0xFFFF ? 2 : 1;
}

// Writes cp to out as wide text: a surrogate pair where wchar_t has 16
// bits and cp lies beyond U+FFFF, else one character. The count written.
inline size_t PutWide(wchar_t* out, uint32_t cp)
{
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
        cp -= 0x10000;
        out[0] = (wchar_t)(0xD800 + (cp >> 10));
        out[1] = (wchar_t)(0xDC00 + (cp & 0x3FF));
        return 2;
    }
    out[0] = (wchar_t)cp;
    return 1;
}

// The code point of a surrogate pair.
inline uint32_t JoinSurrogates(uint32_t high, uint32_t low)
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// True for the first half of a surrogate pair in 16-bit wide text.
inline bool IsHighSurrogate(uint32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

inline bool IsLowSurrogate(uint32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Bytes fed one at a time, to tell whether they read as UTF-8 (a file's
// Windows-1252 bytes, say).
struct Utf8Pending {
    unsigned char bytes[4];   // of a sequence not yet complete
    size_t count;
};

// Feeds one byte: the length of the sequence it completes (1 for ASCII),
// 0 while a sequence is open, -1 when it breaks the open sequence (an
// ASCII byte that ends it early counts as itself, a byte beyond ASCII is
// dropped with it). *first is then the broken sequence's first byte.
int Utf8Feed(Utf8Pending* pending, unsigned char byte, unsigned char* first);
