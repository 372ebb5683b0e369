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
// A carriage return right before a line feed is dropped, as a Windows text
// stream does. NUL characters are dropped: a wide string cannot hold one,
// and the rest of the line stays readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

enum TextEncoding {
    kEncodingCp1252,
    kEncodingUtf8,
    kEncodingUtf16Le,
    kEncodingUtf16Be,
};

// Bytes read from the file at a time.
constexpr size_t kReadBlock = 64 * 1024;

struct TextReader {
    FILE* file;
    TextEncoding encoding;
    size_t pos;            // next unread byte in block
    size_t end;            // bytes held in block
    bool atEof;            // the file has nothing more to give
    bool failed;           // a read failed: what was read is not the whole file
    bool cut;              // the last piece ended because the buffer was full:
                           // its line goes on in the next piece
    long long nulsDropped; // NUL characters dropped since the file was opened
    bool havePeek;         // a decoded character waits in peek
    uint32_t peek;
    long long sizeBytes;   // size of the file when opened, -1 if unknown
    // Of the last piece TextReadLine gave: its length, whether it holds
    // only printable ASCII and Unicode letters from U+00A0 to U+FFFF (no
    // control character, CR, replacement mark or surrogate) read as UTF-8,
    // and whether any of those letters; plain is false where unsure.
    size_t pieceLength;
    bool piecePlain;
    bool pieceBeyondAscii;
    unsigned char block[kReadBlock];
};

// Opens path for reading. False when it cannot be opened or names a
// directory; the reader is then closed.
bool TextOpenRead(TextReader* reader, const wchar_t* path);

// Reads from a stream that is already open (binary, seekable), choosing
// the encoding as TextOpenRead does; the reader closes it. False for a
// null stream.
bool TextOpenStream(TextReader* reader, FILE* stream);

// Reads the next piece into buf[cap] (cap of at least 3). False, with buf
// empty, when the file has no more characters or a read fails. A piece
// holds at most cap - 1 UTF-16 units on every platform (a character beyond
// U+FFFF takes two, as on the device, even where wchar_t holds it in one).
// Sets cut when the piece is part of a longer line: it may then hold fewer
// than cap - 1 units, since a surrogate pair is never split.
bool TextReadLine(TextReader* reader, wchar_t* buf, size_t cap);

// The next line's bytes, without decoding them, when the whole line (up to
// its line feed) lies in the block, takes fewer than max bytes, and the
// file is Windows-1252 or UTF-8: then *bytes points at it, *len is its
// length before the line feed, and TextReadLine(buf, max + 1) would give
// it as one piece. False otherwise; nothing is consumed either way.
inline bool TextPeekLine(TextReader* reader, size_t max, const unsigned char** bytes, size_t* len);

// Passes over the line that TextPeekLine gave.
inline void TextSkipLine(TextReader* reader, size_t len);

// Keeps the unread bytes and fills the block up behind them.
void TextRefill(TextReader* reader);

// True when a read failed since the file was opened (also after it is
// closed): the lines delivered are then not the whole file.
bool TextReadFailed(const TextReader* reader);

// Closes the file; harmless on a reader that is not open.
void TextClose(TextReader* reader);

// True when the reader holds an open file.
bool TextIsOpen(const TextReader* reader);

// Opens a file by its wide path in the given narrow mode ("rb", "wb").
// The one place where the platforms differ in how a path reaches the C
// library. For reading, only a regular file opens: a pipe would wait for
// a writer and a device give bytes without end (on Windows these do not
// lie among files).
FILE* OpenFileWide(const wchar_t* path, const char* mode);

#ifndef _WIN32
// File names on a system whose names are bytes: wide text in the locale's
// character set, where a byte that is no character in it (a Latin-1 name
// in a UTF-8 locale) stands as U+DC80..U+DCFF, so that every name opens
// and prints as it was given. False when the result does not fit in
// out[cap].
bool WidenFileName(const char* name, wchar_t* out, size_t cap);
bool NarrowFileName(const wchar_t* path, char* out, size_t cap);
#endif

// Removes a file by its wide path; false when it could not be removed.
bool RemoveFileWide(const wchar_t* path);

// The Windows-1252 character of a byte (bytes the code page leaves
// undefined map to the code point of the same number, as Windows does).
uint32_t Cp1252ToUnicode(unsigned char byte);

// The UTF-8 sequence at bytes[0..avail): its length when valid and
// complete (the code point in *cp), 0 when it is a valid beginning cut off
// by the end of the bytes, -1 when it is invalid.
int Utf8SequenceAt(const unsigned char* bytes, size_t avail, uint32_t* cp);

// True when bytes[0..n) are valid UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF, no sequence cut off at the end).
bool IsValidUtf8(const unsigned char* bytes, size_t n);

// Once a line, so defined here where the search loop can inline them.
inline bool TextPeekLine(TextReader* r, size_t max, const unsigned char** bytes, size_t* len)
{
    if (r->file == nullptr || r->havePeek ||
        (r->encoding != kEncodingCp1252 && r->encoding != kEncodingUtf8))
        return false;
    if (r->end - r->pos <= max && !r->atEof)
        TextRefill(r);
    const unsigned char* b = r->block + r->pos;
    size_t avail = r->end - r->pos;
    const void* found = std::memchr(b, '\n', avail < max ? avail : max);
    if (found == nullptr)
        return false;
    *bytes = b;
    *len = (size_t)((const unsigned char*)found - b);
    return true;
}

inline void TextSkipLine(TextReader* r, size_t len)
{
    r->pos += len + 1;
}
