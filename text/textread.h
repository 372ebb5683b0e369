// Reading text files as lines of wide characters.
// Platform-neutral: no Windows header, builds with the host compiler too.
//
// A line is delivered the way the device's fgetws(buf, cap, stream) delivers
// it: at most cap - 1 UTF-16 units a piece, the line feed kept, a longer
// line arriving as several pieces, and a last line without a line feed
// still a line.
//
// Encodings on disk, chosen once when the file is opened:
//   UTF-16 LE or BE with a byte order mark;
//   UTF-8, with or without a byte order mark, when the bytes are valid UTF-8;
//   otherwise Windows-1252.
// Opened lazily, a file without a byte order mark is read as UTF-8 on
// trust and each block checked as it is read, so that a large file is
// read once and not twice. The first block that is not UTF-8 turns the
// reader to Windows-1252; a caller that had already been given text
// beyond ASCII by then (TextGuessFailed) reads the file again from the
// start (TextReadAgain).
// A carriage return right before a line feed is dropped, as a Windows text
// stream does. NUL characters are dropped: a wide string cannot hold one,
// and the rest of the line stays readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "text/intrinsics.h"

enum TextEncoding {
    kEncodingCp1252,
    kEncodingUtf8,
    kEncodingUtf16Le,
    kEncodingUtf16Be,
};

// Bytes read from the file at a time.
constexpr size_t kReadBlock = 64 * 1024;

// Zero bytes kept after the line feed that follows the text in the block,
// so that a scan a word (or sixteen bytes) at a time may load the whole of
// its last one, and the next two it tests in the same turn.
constexpr size_t kReadSlack = 32;

// What the reader knows of the last piece TextReadLine gave.
struct TextPieceFacts {
    size_t length;         // wide characters in it
    bool cut;              // it ended because the buffer was full: its
                           // line goes on in the next piece
    // It holds only printable ASCII and Unicode letters from U+00A0 to
    // U+FFFF (no control character, CR, replacement mark or surrogate)
    // read as UTF-8; false where unsure.
    bool plain;
    bool beyondAscii;      // ... and some of those letters
    long long nuls;        // NUL characters dropped from it
};

struct TextReader {
    FILE* file;
    TextEncoding encoding;
    size_t pos;            // next unread byte in block
    size_t end;            // bytes held in block
    bool atEof;            // the file has nothing more to give
    bool failed;           // a read failed: what was read is not the whole file
    bool shrank;           // ... for the file ended short of its size at opening
    bool havePeek;         // a decoded character waits in peek
    uint32_t peek;
    long long sizeBytes;   // size of the file when opened, -1 if unknown
    TextPieceFacts piece;  // of the last piece given
    bool settled;          // the encoding is known, not taken on trust
    bool guessed;          // a piece beyond ASCII was given on trust
    bool guessFailed;      // ... and the file then proved to be Windows-1252
    long long checkedTo;   // on trust: the bytes before this offset are UTF-8
    long long blockStart;  // offset in the file of block[0]
    long long dataStart;   // offset of the first character (after a byte order mark)
    // block[end] is a line feed, to stop parsers; then kReadSlack bytes: 80
    // (beyond ASCII, to stop the UTF-8 check) and zeros.
    alignas(8) unsigned char block[kReadBlock + 1 + kReadSlack];
};

// Opens path for reading. False when it cannot be opened or names a
// directory; the reader is then closed.
bool TextOpenRead(TextReader* reader, const wchar_t* path);

// Reads from a stream that is already open (binary, seekable), choosing
// the encoding as TextOpenRead does; the reader closes it. False for a
// null stream.
bool TextOpenStream(TextReader* reader, FILE* stream);

// The same, but a file without a byte order mark is read as UTF-8 on
// trust (see above): for a caller that reads the whole file once and can
// start again.
bool TextOpenReadLazily(TextReader* reader, const wchar_t* path);
bool TextOpenStreamLazily(TextReader* reader, FILE* stream);

// True when text beyond ASCII was given as UTF-8 on trust and the file
// then proved to be Windows-1252: that text read wrongly.
inline bool TextGuessFailed(const TextReader* reader) { return reader->guessFailed; }

// Goes back to the first line, keeping the encoding now known. False when
// the file cannot be read again (TextReadFailed then tells).
bool TextReadAgain(TextReader* reader);

// The encoding chosen, Windows-1252 from where a file read on trust
// proves to be so; whether the file began with a byte order mark.
inline TextEncoding TextEncodingOf(const TextReader* reader) { return reader->encoding; }
inline bool TextHasByteOrderMark(const TextReader* reader) { return reader->dataStart > 0; }
// The file's size in bytes when it was opened, -1 where unknown.
inline long long TextFileSize(const TextReader* reader) { return reader->sizeBytes; }

// What the reader knows of the last piece it gave.
inline const TextPieceFacts& TextLastPiece(const TextReader* reader) { return reader->piece; }

// Reads the next piece into buf[cap] (cap of at least 3). False, with buf
// empty, when the file has no more characters or a read fails. A piece
// holds at most cap - 1 UTF-16 units on every platform (a character beyond
// U+FFFF takes two, as on the device, even where wchar_t holds it in one).
// Marks the piece cut when it is part of a longer line: it may then hold fewer
// than cap - 1 units, since a surrogate pair is never split.
bool TextReadLine(TextReader* reader, wchar_t* buf, size_t cap);

// The next line's bytes, without decoding them, when the whole line (up to
// its line feed) lies in the block, takes fewer than max bytes, and the
// file is Windows-1252 or UTF-8: then *bytes points at it, *len is its
// length before the line feed, and TextReadLine(buf, max + 1) would give
// it as one piece. False otherwise; nothing is consumed either way.
inline bool TextPeekLine(TextReader* reader, size_t max, const unsigned char** bytes, size_t* len);

// The same for a caller that passes over many lines at a time: the
// unread bytes of the block (*avail of them) when the file is
// Windows-1252 or UTF-8, the block refilled first when it holds no more
// than max and the file has more. A line feed follows the last byte, so
// that any loop over digits stops. *last tells that the file ends with
// these bytes. A line among them is one TextPeekLine would give when its
// line feed lies fewer than max bytes from its start, and before avail;
// one that starts no more than max bytes before avail, where the file
// goes on, is known only after the next refill.
inline bool TextPeekBlock(TextReader* reader, size_t max, const unsigned char** bytes, size_t* avail, bool* last);

// The length of the line at bytes before its line feed, looked for from
// byte from on (the bytes before it must hold no line feed): limit when
// it is not there. bytes lie in a reader's block, whose slack allows the
// scan to load whole words past limit, and whose line feed after the text
// ends it.
inline size_t TextLineLength(const unsigned char* bytes, size_t from, size_t limit);

// Passes over n bytes of whole lines from TextPeekBlock.
inline void TextSkipBytes(TextReader* reader, size_t n);

// Passes over the line that TextPeekLine gave.
inline void TextSkipLine(TextReader* reader, size_t len);

// Keeps the unread bytes and fills the block up behind them.
void TextRefill(TextReader* reader);

#if !WENDRIK_SSE2
// TextLineLength a word at a time, out of line: there its loop keeps its
// constants in registers.
size_t NextLineFeedInWords(const unsigned char* bytes, size_t from, size_t n);
#endif

// True when a read failed since the file was opened (also after it is
// closed): the lines delivered are then not the whole file.
bool TextReadFailed(const TextReader* reader);

// True when the file ended short of the size it had when it was opened
// (then TextReadFailed is true too).
inline bool TextFileShrank(const TextReader* reader) { return reader->shrank; }

// Closes the file; harmless on a reader that is not open.
void TextClose(TextReader* reader);

// True when the reader holds an open file.
bool TextIsOpen(const TextReader* reader);

// Once a line, so defined here where the search loop can inline them.
inline bool TextPeekBlock(TextReader* r, size_t max, const unsigned char** bytes, size_t* avail, bool* last)
{
    if (r->file == nullptr || r->havePeek ||
        (r->encoding != kEncodingCp1252 && r->encoding != kEncodingUtf8))
        return false;
    if (r->end - r->pos <= max && !r->atEof)
        TextRefill(r);
    *bytes = r->block + r->pos;
    *avail = r->end - r->pos;
    *last = r->atEof;
    return true;
}

inline bool TextPeekLine(TextReader* r, size_t max, const unsigned char** bytes, size_t* len)
{
    size_t avail;
    bool last;
    if (!TextPeekBlock(r, max, bytes, &avail, &last))
        return false;
    const size_t limit = avail < max ? avail : max;
    *len = TextLineLength(*bytes, 0, limit);
    return *len != limit;
}

inline size_t TextLineLength(const unsigned char* b, size_t i, size_t n)
{
    if (i >= n)
        return n;
#if WENDRIK_SSE2
    // Sixteen bytes at a time; the slack after the block's text allows the
    // last load to reach past n, and what lies there is never taken.
    const __m128i lineFeed = _mm_set1_epi8('\n');
    for (;; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const unsigned found = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(v, lineFeed));
        if (found != 0) {
            i += (unsigned)TrailingZeros32(found);
            return i < n ? i : n;
        }
        if (i + 16 >= n)
            return n;
    }
#else
    return NextLineFeedInWords(b, i, n);
#endif
}

inline void TextSkipLine(TextReader* r, size_t len)
{
    r->pos += len + 1;
}

inline void TextSkipBytes(TextReader* r, size_t n)
{
    r->pos += n;
}
