#include "textread.h"

#include <cstring>
#include <cwchar>
#ifndef _WIN32
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const uint32_t kNoChar = 0xFFFFFFFFu;
const uint32_t kReplacement = 0xFFFD;

// One UTF-8 sequence at b[0..avail): its length when valid and complete,
// 0 when it is a valid beginning cut off by the end of the bytes, -1 when
// it is invalid.
int Utf8Sequence(const unsigned char* b, size_t avail, uint32_t* cp)
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

void CheckAhead(TextReader* r);

// Keeps the unread bytes, moves them to the front and fills the block up.
// False when no byte is left at all.
bool Refill(TextReader* r)
{
    size_t keep = r->end - r->pos;
    if (!r->atEof) {
        for (size_t i = 0; i < keep; i++)
            r->block[i] = r->block[r->pos + i];
        r->blockStart += (long long)r->pos;
        r->pos = 0;
        r->end = keep;
        size_t got = fread(r->block + keep, 1, kReadBlock - keep, r->file);
        r->end += got;
        if (got < kReadBlock - keep) {
            r->atEof = true;
            // A card pulled out mid-file is no end of file: the caller must
            // not take the part read so far for the whole.
            if (ferror(r->file))
                r->failed = true;
        }
    }
    r->block[r->end] = '\n';
    std::memset(r->block + r->end + 1, 0, kReadSlack);
    r->block[r->end + 1] = 0x80;
    if (!r->settled)
        CheckAhead(r);
    return r->pos < r->end;
}

// A machine word of bytes, read in one load. Processors without unaligned
// loads (the device's ARMv5) read it only from an address aligned to its
// size; the others from anywhere. (A build that tests the device's code
// on the host, WENDRIK_WORDS, reads aligned words too.)
using ByteWord = size_t;
constexpr ByteWord kHighBits = (ByteWord)0x8080808080808080ULL;
#if !defined(WENDRIK_WORDS) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__ARM_FEATURE_UNALIGNED))
constexpr uintptr_t kWordAlignment = 1;
#else
constexpr uintptr_t kWordAlignment = sizeof(ByteWord);
#endif

inline ByteWord LoadWord(const unsigned char* p)
{
    ByteWord w;
#if defined(__GNUC__)
    std::memcpy(&w, __builtin_assume_aligned(p, kWordAlignment), sizeof w);
#else
    std::memcpy(&w, p, sizeof w);
#endif
    return w;
}

// The index of the first byte with its top bit set in a word (high holds
// only those top bits, not all zero): no loop whose end the processor
// would have to guess.
inline int FirstHighByte(ByteWord high)
{
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return (sizeof(ByteWord) == 8 ? __builtin_ctzll((unsigned long long)high) : __builtin_ctz((unsigned)high)) / 8;
#else
    unsigned char bytes[sizeof(ByteWord)];
    std::memcpy(bytes, &high, sizeof bytes);
    int i = 0;
    while (bytes[i] == 0)
        i++;
    return i;
#endif
}

// Where the bytes from p on stop being valid UTF-8: end when all are, or
// the start of a sequence that is invalid or cut off by end.
const unsigned char* ValidUtf8Prefix(const unsigned char* p, const unsigned char* end)
{
    while (p < end) {
        // A word of ASCII bytes at a time: most of a POI file. The byte
        // loop below finds the first byte beyond ASCII in the word.
        while (p < end && ((uintptr_t)p & (kWordAlignment - 1)) != 0 && *p < 0x80)
            p++;
        if (((uintptr_t)p & (kWordAlignment - 1)) == 0) {
            while ((size_t)(end - p) >= sizeof(ByteWord)) {
                const ByteWord high = LoadWord(p) & kHighBits;
                if (high != 0) {
                    p += FirstHighByte(high);
                    break;
                }
                p += sizeof(ByteWord);
            }
        }
        while (p < end && *p < 0x80)
            p++;
        if (p == end)
            break;
        // The two-byte sequences of Latin letters (umlauts), inline.
        if (p[0] >= 0xC2 && p[0] <= 0xDF && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
            p += 2;
            continue;
        }
        uint32_t cp;
        int len = Utf8Sequence(p, (size_t)(end - p), &cp);
        if (len <= 0)
            break;
        p += len;
    }
    return p;
}

// The file is not UTF-8 after all.
void TurnToCp1252(TextReader* r)
{
    r->encoding = kEncodingCp1252;
    r->settled = true;
    r->guessFailed = r->guessed;
}

// The length of the UTF-8 sequence at b[i] (a byte beyond ASCII), the
// two-byte ones of Latin letters (umlauts) inline; 0 or less where it is
// invalid or cut off by end.
inline int SequenceAt(const unsigned char* b, size_t i, size_t end)
{
    if (b[i] - 0xC2u <= 0xDFu - 0xC2u && i + 1 < end && (b[i + 1] & 0xC0) == 0x80)
        return 2;
    uint32_t cp;
    return Utf8Sequence(b + i, end - i, &cp);
}

// Where the block's bytes from index i on stop being valid UTF-8: end
// when all are, or the start of a sequence that is invalid or cut off by
// end. Like ValidUtf8Prefix, but in whole chunks from aligned addresses,
// which the block and its slack allow; a letter beyond ASCII costs a few
// operations and the scan goes on in its chunk. The byte 80 after the
// block's line feed ends the loops over ASCII.
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
        i = chunk + (size_t)__builtin_ctz(high);
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

// Read on trust, each block is checked as it is read: the first that is
// not UTF-8 turns the reader to Windows-1252 before any of its lines is
// given. A sequence cut off by the end of the block waits for the next.
void CheckAhead(TextReader* r)
{
    if (r->encoding != kEncodingUtf8)
        return;
    const long long from = r->checkedTo - r->blockStart;
    size_t i = from > (long long)r->pos ? (size_t)from : r->pos;
    if (i >= r->end)
        return;
    i = ValidUtf8InBlock(r->block, i, r->end);
    uint32_t cp;
    if (i == r->end || (!r->atEof && Utf8Sequence(r->block + i, r->end - i, &cp) == 0))
        r->checkedTo = r->blockStart + (long long)i;
    else
        TurnToCp1252(r);
}

// Goes on reading at offset in the file.
bool SeekTo(TextReader* r, long long offset)
{
    r->pos = r->end = 0;
    r->blockStart = offset;
    r->havePeek = false;
    if (fseek(r->file, (long)offset, SEEK_SET) != 0) {
        r->atEof = true;     // cannot go back: deliver nothing rather than half
        r->failed = true;
        return false;
    }
    clearerr(r->file);
    r->atEof = false;
    Refill(r);
    return true;
}

// True when the bytes from the next unread one to the end of the file are
// valid UTF-8; reading goes on where it was. The bytes only are looked at,
// which is cheap next to decoding them.
bool RestIsUtf8(TextReader* r)
{
    // A rest that the block holds whole is checked there: nothing is read
    // twice.
    if (r->atEof)
        return ValidUtf8Prefix(r->block + r->pos, r->block + r->end) == r->block + r->end;
    const long long back = r->blockStart + (long long)r->pos;
    bool valid = true;
    for (;;) {
        const unsigned char* end = r->block + r->end;
        const unsigned char* stop = ValidUtf8Prefix(r->block + r->pos, end);
        r->pos = (size_t)(stop - r->block);
        if (stop != end) {
            uint32_t cp;
            // Cut off by the end of the block: finish it after the next read.
            if (r->atEof || Utf8Sequence(stop, (size_t)(end - stop), &cp) != 0) {
                valid = false;
                break;
            }
        }
        if (r->atEof)
            break;
        Refill(r);
    }
    return SeekTo(r, back) && valid;
}

// Settles what was taken on trust by checking the rest of the file.
void Settle(TextReader* r)
{
    r->settled = true;
    if (!RestIsUtf8(r) && !r->failed)
        TurnToCp1252(r);
}

uint32_t DecodeNext(TextReader* r)
{
    if (r->end - r->pos < 4 && !Refill(r))
        return kNoChar;
    const unsigned char* b = r->block + r->pos;
    size_t avail = r->end - r->pos;
    switch (r->encoding) {
    case kEncodingCp1252:
        r->pos++;
        return Cp1252ToUnicode(b[0]);
    case kEncodingUtf8: {
        uint32_t cp;
        int len = Utf8Sequence(b, avail, &cp);
        if (len > 0) {
            r->pos += (size_t)len;
            return cp;
        }
        // A stray byte in a file marked as UTF-8: show it as the byte's
        // Windows-1252 character rather than lose it.
        r->pos++;
        return Cp1252ToUnicode(b[0]);
    }
    case kEncodingUtf16Le:
    case kEncodingUtf16Be: {
        bool le = r->encoding == kEncodingUtf16Le;
        if (avail < 2) {
            r->pos = r->end;     // an odd byte at the end of the file
            return kReplacement;
        }
        uint32_t u = le ? (b[0] | (b[1] << 8)) : ((b[0] << 8) | b[1]);
        r->pos += 2;
        if (u >= 0xDC00 && u <= 0xDFFF)
            return kReplacement;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (avail < 4)
                return kReplacement;
            uint32_t v = le ? (b[2] | (b[3] << 8)) : ((b[2] << 8) | b[3]);
            if (v < 0xDC00 || v > 0xDFFF)
                return kReplacement;
            r->pos += 2;
            return 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
        }
        return u;
    }
    }
    return kNoChar;
}

uint32_t NextChar(TextReader* r)
{
    if (r->havePeek) {
        r->havePeek = false;
        return r->peek;
    }
    return DecodeNext(r);
}

void PushBack(TextReader* r, uint32_t c)
{
    r->havePeek = true;
    r->peek = c;
}

// The common case, straight from the block: a whole line that fits the
// piece (no NUL, no CR but one before the line feed, no stray byte in a
// UTF-8 file). Each byte gives at most one character, so a line of at most
// max bytes fits. False when the line is anything else; then nothing has
// been consumed and the character-by-character path reads it.
bool ReadBlockLine(TextReader* r, wchar_t* buf, size_t max)
{
    const unsigned char* b;
    size_t len;
    if (!TextPeekLine(r, max, &b, &len))
        return false;
    const bool utf8 = r->encoding == kEncodingUtf8;
    bool plain = true, beyondAscii = false, high = false;
    size_t i = 0, n = 0;
    while (i < len) {
        // Runs of printable ASCII, most of a line, without further tests:
        // the line feed at b[len] ends them.
        const unsigned char* from = b + i;
        const unsigned char* run = from;
        wchar_t* to = buf + n;
        if (kWordAlignment == 1) {
            // Where words load from anywhere: four printable bytes (none
            // below 0x20, none above 0x7E) at a time.
            const unsigned char* stop = b + len;
            while (stop - run >= 4) {
                uint32_t w;
                std::memcpy(&w, run, 4);
                if (((w - 0x20202020u) | (w + 0x01010101u) | w) & 0x80808080u)
                    break;
                to[0] = (wchar_t)run[0];
                to[1] = (wchar_t)run[1];
                to[2] = (wchar_t)run[2];
                to[3] = (wchar_t)run[3];
                to += 4;
                run += 4;
            }
        }
        while (*run - 0x20u < 0x5Fu)
            *to++ = (wchar_t)*run++;
        i += (size_t)(run - from);
        n += (size_t)(run - from);
        if (i == len)
            break;
        unsigned c = b[i];
        if (c < 0x80) {
            if (c == 0 || c == '\r')
                break;
            buf[n++] = (wchar_t)c;
            i++;
            plain = false;
        } else if (!utf8) {
            buf[n++] = (wchar_t)Cp1252ToUnicode((unsigned char)c);
            i++;
            plain = false;
        } else if (c >= 0xC2 && c <= 0xDF && i + 1 < len && (b[i + 1] & 0xC0) == 0x80) {
            // Two bytes, the Latin letters (umlauts): inline.
            const unsigned cp = ((c & 0x1F) << 6) | (b[i + 1] & 0x3F);
            buf[n++] = (wchar_t)cp;
            i += 2;
            beyondAscii = high = true;
            plain = plain && cp >= 0xA0;   // U+0080..U+009F are control characters
        } else {
            plain = false;
            high = true;
            uint32_t cp;
            int l = Utf8Sequence(b + i, len - i, &cp);
            if (l <= 0)
                break;
            if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
                cp -= 0x10000;
                buf[n++] = (wchar_t)(0xD800 + (cp >> 10));
                buf[n++] = (wchar_t)(0xDC00 + (cp & 0x3FF));
            } else {
                buf[n++] = (wchar_t)cp;
            }
            i += (size_t)l;
        }
    }
    // Stopped early: fine only at the CR of a CR LF, which is dropped.
    if (i != len && !(i + 1 == len && b[i] == '\r'))
        return false;
    r->guessed = r->guessed || (high && !r->settled);
    buf[n] = L'\n';
    buf[n + 1] = L'\0';
    r->pos += len + 1;
    r->pieceLength = n + 1;
    r->piecePlain = plain;
    r->pieceBeyondAscii = beyondAscii;
    return true;
}

}  // namespace

uint32_t Cp1252ToUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

int Utf8SequenceAt(const unsigned char* bytes, size_t avail, uint32_t* cp)
{
    return Utf8Sequence(bytes, avail, cp);
}

bool IsValidUtf8(const unsigned char* bytes, size_t n)
{
    size_t i = 0;
    while (i < n) {
        uint32_t cp;
        int len = Utf8Sequence(bytes + i, n - i, &cp);
        if (len <= 0)
            return false;
        i += (size_t)len;
    }
    return true;
}

#ifndef _WIN32
bool WidenFileName(const char* name, wchar_t* out, size_t cap)
{
    std::mbstate_t state{};
    size_t n = 0, left = std::strlen(name);
    while (left > 0) {
        if (n + 1 >= cap)
            return false;
        wchar_t c;
        size_t used = std::mbrtowc(&c, name, left, &state);
        if (used == (size_t)-1 || used == (size_t)-2 || used == 0) {
            c = (wchar_t)(0xDC00 + (unsigned char)*name);
            used = 1;
            state = std::mbstate_t{};
        }
        out[n++] = c;
        name += used;
        left -= used;
    }
    out[n] = L'\0';
    return true;
}

bool NarrowFileName(const wchar_t* path, char* out, size_t cap)
{
    std::mbstate_t state{};
    size_t n = 0;
    for (; *path != L'\0'; path++) {
        char bytes[MB_LEN_MAX];
        size_t len;
        const unsigned c = (unsigned)*path;
        if (c >= 0xDC80 && c <= 0xDCFF) {
            bytes[0] = (char)(c - 0xDC00);
            len = 1;
        } else {
            len = std::wcrtomb(bytes, *path, &state);
            if (len == (size_t)-1)
                return false;
        }
        if (n + len >= cap)
            return false;
        std::memcpy(out + n, bytes, len);
        n += len;
    }
    out[n] = '\0';
    return true;
}
#endif

FILE* OpenFileWide(const wchar_t* path, const char* mode)
{
#ifdef _WIN32
    // Windows keeps pipes and devices out of the file system's folders.
    wchar_t wmode[8];
    size_t i = 0;
    for (; mode[i] != '\0' && i + 1 < sizeof wmode / sizeof wmode[0]; i++)
        wmode[i] = (wchar_t)mode[i];
    wmode[i] = L'\0';
    return _wfopen(path, wmode);
#else
    char narrow[4096];
    if (!NarrowFileName(path, narrow, sizeof narrow))
        return nullptr;
    if (mode[0] != 'r')
        return std::fopen(narrow, mode);
    // Opened without waiting (a pipe without a writer would block), and
    // kept only when it is a regular file.
    int fd = open(narrow, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, mode);
    if (f == nullptr)
        close(fd);
    return f;
#endif
}

bool RemoveFileWide(const wchar_t* path)
{
#ifdef _WIN32
    return _wremove(path) == 0;
#else
    char narrow[4096];
    return NarrowFileName(path, narrow, sizeof narrow) && std::remove(narrow) == 0;
#endif
}

#if !WENDRIK_SSE2
size_t NextLineFeedInWords(const unsigned char* b, size_t i, size_t n)
{
    // Two words a turn from addresses aligned to eight bytes (the device's
    // ARMv5 loads no unaligned word), with no test of the limit: the line
    // feed after the block's text ends the loop. A zero byte in
    // w ^ 0x0A0A0A0A is a line feed; of the bytes flagged, the lowest is
    // always a true one.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#error "NextLineFeedInWords reads words as little-endian"
#endif
    const size_t skew = (uintptr_t)(b + i) & 7;
    const unsigned char* word = b + i - skew;
    auto load = [](const unsigned char* at) {
        uint32_t w;
        std::memcpy(&w, __builtin_assume_aligned(at, sizeof w), sizeof w);
        return w;
    };
    auto flags = [](uint32_t w) {
        uint32_t x = w ^ 0x0A0A0A0Au;
#if defined(__GNUC__)
        // Kept as it is, so that ~x is one and-not (ARM's BIC), not a
        // second exclusive or with a constant and an and.
        __asm__("" : "+r"(x));
#endif
        return (x - 0x01010101u) & ~x;
    };
    uint32_t first = load(word), second = load(word + 4);
    // The bytes before from hold no line feed, but those before the line
    // may: where the first pair reaches back past it, they are set to FF
    // before the test, for a line feed there would flag the byte after it
    // too (through the borrow).
    if (skew > i) {
        first |= skew >= 4 ? ~0u : (1u << (8 * skew)) - 1;
        second |= skew > 4 ? (1u << (8 * (skew - 4))) - 1 : 0;
    }
    uint32_t low = flags(first), high = flags(second);
    while (((low | high) & 0x80808080u) == 0) {
        word += 8;
        low = flags(load(word));
        high = flags(load(word + 4));
    }
    low &= 0x80808080u;
    const size_t in = low != 0 ? (size_t)__builtin_ctz(low) / 8 : 4 + (size_t)__builtin_ctz(high & 0x80808080u) / 8;
    const size_t at = (size_t)(word - b) + in;
    return at < n ? at : n;
}
#endif

void TextRefill(TextReader* r)
{
    Refill(r);
}

bool TextReadAgain(TextReader* r)
{
    if (r->file == nullptr)
        return false;
    r->guessed = r->guessFailed = false;
    r->cut = false;
    r->nulsDropped = 0;
    return SeekTo(r, r->dataStart);
}

static bool OpenStream(TextReader* r, FILE* stream, bool lazily);

bool TextOpenRead(TextReader* r, const wchar_t* path)
{
    return OpenStream(r, OpenFileWide(path, "rb"), false);
}

bool TextOpenStream(TextReader* r, FILE* stream)
{
    return OpenStream(r, stream, false);
}

bool TextOpenReadLazily(TextReader* r, const wchar_t* path)
{
    return OpenStream(r, OpenFileWide(path, "rb"), true);
}

bool TextOpenStreamLazily(TextReader* r, FILE* stream)
{
    return OpenStream(r, stream, true);
}

static bool OpenStream(TextReader* r, FILE* stream, bool lazily)
{
    r->file = stream;
    r->pos = r->end = 0;
    r->atEof = false;
    r->failed = false;
    r->cut = false;
    r->nulsDropped = 0;
    r->havePeek = false;
    r->encoding = kEncodingCp1252;
    r->settled = true;
    r->guessed = r->guessFailed = false;
    r->blockStart = r->dataStart = r->checkedTo = 0;
    r->sizeBytes = -1;
    if (r->file == nullptr)
        return false;
    // The reader keeps its own block: reads go straight into it instead of
    // through a second buffer of the C library.
    setvbuf(r->file, nullptr, _IONBF, 0);
    if (fseek(r->file, 0, SEEK_END) == 0)
        r->sizeBytes = ftell(r->file);
    if (fseek(r->file, 0, SEEK_SET) != 0) {
        TextClose(r);
        return false;
    }
    Refill(r);
    const unsigned char* b = r->block;
    size_t n = r->end;
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        r->encoding = kEncodingUtf16Le;
        r->pos = 2;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        r->encoding = kEncodingUtf16Be;
        r->pos = 2;
    } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        r->encoding = kEncodingUtf8;
        r->pos = 3;
    } else {
        r->encoding = kEncodingUtf8;
        r->settled = false;
        if (lazily)
            CheckAhead(r);
        else
            Settle(r);
    }
    r->dataStart = (long long)r->pos;
    return true;
}

bool TextReadLine(TextReader* r, wchar_t* buf, size_t cap)
{
    size_t n = 0;
    r->cut = false;
    if (cap < 3 || r->file == nullptr) {
        if (cap > 0)
            buf[0] = L'\0';
        return false;
    }
    const size_t max = cap - 1;
    if (ReadBlockLine(r, buf, max))
        return true;
    // Character by character, the encoding must be known.
    if (!r->settled)
        Settle(r);
    // A piece holds max UTF-16 units on every platform, as on the device:
    // a character beyond U+FFFF takes two, whatever the width of wchar_t.
    size_t units = 0;
    bool full = false;
    while (units < max) {
        uint32_t c = NextChar(r);
        if (c == kNoChar)
            break;
        if (c == 0) {
            r->nulsDropped++;
            continue;
        }
        if (c == L'\r') {
            uint32_t next = NextChar(r);
            if (next == L'\n')
                c = L'\n';
            else if (next != kNoChar)
                PushBack(r, next);
        }
        if (c > 0xFFFF) {
            // A surrogate pair is never split between two pieces.
            if (units + 2 > max) {
                PushBack(r, c);
                r->cut = true;
                break;
            }
            units += 2;
            if (sizeof(wchar_t) == 2) {
                c -= 0x10000;
                buf[n++] = (wchar_t)(0xD800 + (c >> 10));
                buf[n++] = (wchar_t)(0xDC00 + (c & 0x3FF));
            } else {
                buf[n++] = (wchar_t)c;
            }
            full = units == max;
            continue;
        }
        buf[n++] = (wchar_t)c;
        units++;
        if (c == L'\n')
            break;
        full = units == max;
    }
    buf[n] = L'\0';
    r->pieceLength = n;
    r->piecePlain = false;
    r->pieceBeyondAscii = true;
    // A full piece is cut when its line has more to come.
    if (full) {
        uint32_t next = NextChar(r);
        if (next != kNoChar) {
            PushBack(r, next);
            r->cut = true;
        }
    }
    return n > 0;
}

void TextClose(TextReader* r)
{
    if (r->file != nullptr)
        fclose(r->file);
    r->file = nullptr;
    r->havePeek = false;
    r->pos = r->end = 0;
}

bool TextReadFailed(const TextReader* r)
{
    return r->failed;
}

bool TextIsOpen(const TextReader* r)
{
    return r->file != nullptr;
}
