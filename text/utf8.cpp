#include "text/utf8.h"

#include "text/intrinsics.h"

int Utf8SequenceAt(const unsigned char* b, size_t avail, uint32_t* cp)
{
    unsigned c = b[0];
    int len;
    unsigned lo = 0x80, hi = 0xBF;   // range of the second byte
    if (c < 0x80) {
        *cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        *cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        *cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;    // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        *cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;    // nothing above U+10FFFF
    } else {
        return -1;
    }
    for (int i = 1; i < len; i++) {
        if ((size_t)i >= avail)
            return 0;
        unsigned t = b[i];
        unsigned tlo = i == 1 ? lo : 0x80, thi = i == 1 ? hi : 0xBF;
        if (t < tlo || t > thi)
            return -1;
        *cp = (*cp << 6) | (t & 0x3F);
    }
    return len;
}

namespace {

// The length of the UTF-8 sequence at b[i] (a byte beyond ASCII), the
// two-byte letters inline; 0 or less where it is invalid or cut off by end.
inline int SequenceAt(const unsigned char* b, size_t i, size_t end)
{
    if (TwoByteLetterAt(b, i, end))
        return 2;
    uint32_t cp;
    return Utf8SequenceAt(b + i, end - i, &cp);
}

}  // namespace

// In whole chunks from aligned addresses, which the block and its slack
// allow; a letter beyond ASCII costs a few operations and the scan goes on
// in its chunk.
size_t ValidUtf8InBlock(const unsigned char* b, size_t i, size_t end)
{
#if WENDRIK_SSE2
    // Sixteen bytes at a time, a bit for each byte beyond ASCII. Nearly
    // every sixteen bytes of a POI file with umlauts hold one: each goes
    // sequence by sequence, and the scan on in its chunk.
    constexpr size_t kChunk = 16;
    auto highBits = [b](size_t at) {
        return (unsigned)_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
    };
    auto from = [](size_t at) { return ~0u << at; };
    size_t chunk = i & ~(kChunk - 1);
    unsigned high = highBits(chunk) & from(i - chunk);
    for (;;) {
        // Most of a POI file is ASCII: two chunks a turn, one test of both,
        // and no test of the end, for the byte 80 after the block's line
        // feed ends the loop.
        while (high == 0) {
            const unsigned next = highBits(chunk + kChunk), after = highBits(chunk + 2 * kChunk);
            if ((next | after) != 0) {
                chunk += next != 0 ? kChunk : 2 * kChunk;
                high = next != 0 ? next : after;
                break;
            }
            chunk += 2 * kChunk;
        }
        i = chunk + (size_t)TrailingZeros32(high);
        if (i >= end)
            return end;
        const int len = SequenceAt(b, i, end);
        if (len <= 0)
            return i;
        i += (size_t)len;
        // On in the same chunk where the sequence ends in it.
        if (i - chunk < kChunk) {
            high &= from(i - chunk);
        } else {
            chunk = i & ~(kChunk - 1);
            high = highBits(chunk) & from(i - chunk);
        }
    }
#else
    // Pairs of words from addresses aligned to their size. A pair of ASCII
    // bytes passes with one test; one whose bytes beyond ASCII are all
    // two-byte letters (lead C2 to DF, then a continuation), as the umlauts
    // of a POI file are, with a few more, a lead at a word's end carried
    // into the next word; anything else goes sequence by sequence.
    constexpr size_t kPair = 2 * sizeof(ByteWord);
    constexpr int kTop = 8 * (sizeof(ByteWord) - 1);
    // The flaws of a word as a run of two-byte letters (none: zero), given
    // carry, the lead at the end of the word before it in its top bit.
    auto flaws = [](ByteWord w, ByteWord carry, ByteWord* lead) {
        const ByteWord high = w & kHighBits;
        *lead = high & (w << 1);
        // Leads from E0 on have bit 5; C0 and C1 (overlong) none of bits 1 to 4.
        const ByteWord bits = w & (ByteWord)0x1E1E1E1E1E1E1E1EULL;
        return (high ^ *lead ^ ((*lead << 8) | carry)) | (*lead & (w << 2)) |
               (*lead & ~(bits + (ByteWord)0x7F7F7F7F7F7F7F7FULL));
    };
    size_t past = i;   // the bytes before it go sequence by sequence
    for (;;) {
        // Sequence by sequence past them and up to the start of a pair,
        // where no sequence is open.
        while (i < past || ((uintptr_t)(b + i) & (kPair - 1)) != 0) {
            if (i >= end)
                return end;
            if (b[i] < 0x80) {
                i++;
            } else {
                const int len = SequenceAt(b, i, end);
                if (len <= 0)
                    return i;
                i += (size_t)len;
            }
        }
        if (i >= end)
            return end;
        const unsigned char* w = b + i;
        ByteWord carry = 0;
        for (;;) {
            ByteWord first = LoadWord(w), second = LoadWord(w + sizeof(ByteWord));
            if (carry == 0) {
                while (((first | second) & kHighBits) == 0) {
                    w += kPair;
                    first = LoadWord(w);
                    second = LoadWord(w + sizeof(ByteWord));
                }
            }
            ByteWord lead, lastLead;
            if ((flaws(first, carry, &lead) | flaws(second, lead >> kTop, &lastLead)) != 0)
                break;
            carry = lastLead >> kTop;
            w += kPair;
        }
        // The pair that failed, from the lead left open before it.
        past = (size_t)(w - b);
        i = past - (carry != 0 ? 1 : 0);
        past += kPair;
    }
#endif
}

int Utf8Feed(Utf8Pending* p, unsigned char byte, unsigned char* first)
{
    *first = p->bytes[0];
    if (byte < 0x80) {
        const bool broken = p->count > 0;
        p->count = 0;
        return broken ? -1 : 1;
    }
    p->bytes[p->count++] = byte;
    uint32_t cp;
    const int got = Utf8SequenceAt(p->bytes, p->count, &cp);
    *first = p->bytes[0];
    if (got != 0)
        p->count = 0;
    return got;
}
