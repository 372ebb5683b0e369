#include "text/textread.h"

#include <cstring>

#include "text/cp1252.h"
#include "text/fileio.h"
#include "text/utf8.h"

namespace {

const uint32_t kNoChar = 0xFFFFFFFFu;
const uint32_t kReplacement = 0xFFFD;

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
            // Nor is a file that ends short of the size it had when opened:
            // it was cut while it was read.
            if (r->sizeBytes >= 0 && r->blockStart + (long long)r->end < r->sizeBytes)
                r->failed = r->shrank = true;
        }
    }
    r->block[r->end] = '\n';
    std::memset(r->block + r->end + 1, 0, kReadSlack);
    r->block[r->end + 1] = 0x80;
    if (!r->settled)
        CheckAhead(r);
    return r->pos < r->end;
}

// The file is not UTF-8 after all.
void TurnToCp1252(TextReader* r)
{
    r->encoding = kEncodingCp1252;
    r->settled = true;
    r->guessFailed = r->guessed;
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
    if (i == r->end || (!r->atEof && Utf8SequenceAt(r->block + i, r->end - i, &cp) == 0))
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
        return ValidUtf8InBlock(r->block, r->pos, r->end) == r->end;
    const long long back = r->blockStart + (long long)r->pos;
    bool valid = true;
    for (;;) {
        r->pos = ValidUtf8InBlock(r->block, r->pos, r->end);
        if (r->pos != r->end) {
            uint32_t cp;
            // Cut off by the end of the block: finish it after the next read.
            if (r->atEof || Utf8SequenceAt(r->block + r->pos, r->end - r->pos, &cp) != 0) {
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
        int len = Utf8SequenceAt(b, avail, &cp);
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
        if (IsLowSurrogate(u))
            return kReplacement;
        if (IsHighSurrogate(u)) {
            if (avail < 4)
                return kReplacement;
            uint32_t v = le ? (b[2] | (b[3] << 8)) : ((b[2] << 8) | b[3]);
            if (!IsLowSurrogate(v))
                return kReplacement;
            r->pos += 2;
            return JoinSurrogates(u, v);
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
        } else if (TwoByteLetterAt(b, i, len)) {
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
            int l = Utf8SequenceAt(b + i, len - i, &cp);
            if (l <= 0)
                break;
            n += PutWide(buf + n, cp);
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
    r->piece.length = n + 1;
    r->piece.plain = plain;
    r->piece.beyondAscii = beyondAscii;
    return true;
}

}  // namespace

#if !WENDRIK_SSE2
size_t NextLineFeedInWords(const unsigned char* b, size_t i, size_t n)
{
    // Two words a turn from addresses aligned to eight bytes (the device's
    // ARMv5 loads no unaligned word), with no test of the limit: the line
    // feed after the block's text ends the loop. A zero byte in
    // w ^ 0x0A0A0A0A is a line feed; of the bytes flagged, the lowest is
    // always a true one.
    const size_t skew = (uintptr_t)(b + i) & 7;
    const unsigned char* word = b + i - skew;
    auto load = LoadAligned32;
    auto flags = [](uint32_t w) {
        uint32_t x = w ^ 0x0A0A0A0Au;
        // Kept as it is, so that ~x is one and-not (ARM's BIC), not a
        // second exclusive or with a constant and an and.
        __asm__("" : "+r"(x));
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
    const size_t in = low != 0 ? (size_t)TrailingZeros32(low) / 8 : 4 + (size_t)TrailingZeros32(high & 0x80808080u) / 8;
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
    r->piece = TextPieceFacts{};
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
    r->failed = r->shrank = false;
    r->piece = TextPieceFacts{};
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
    r->piece.cut = false;
    r->piece.nuls = 0;
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
            r->piece.nuls++;
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
                r->piece.cut = true;
                break;
            }
            units += 2;
            n += PutWide(buf + n, c);
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
    r->piece.length = n;
    r->piece.plain = false;
    r->piece.beyondAscii = true;
    // A full piece is cut when its line has more to come.
    if (full) {
        uint32_t next = NextChar(r);
        if (next != kNoChar) {
            PushBack(r, next);
            r->piece.cut = true;
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
