// Writing text files that the text reader reads back as the same lines.
// Platform-neutral: no Windows header, builds with the host compiler too.
//
// Windows-1252 when every character of the file fits, else UTF-8 with a
// byte order mark; each line feed goes to disk as CR LF, as a Windows text
// stream writes it. The caller decides the encoding before the first write
// (TextFitsCp1252 over everything it will write).
#pragma once

#include <cstdio>

#include "text/cp1252.h"
#include "text/textread.h"

struct TextWriter {
    FILE* file;
    TextEncoding encoding;   // kEncodingCp1252 or kEncodingUtf8
    bool failed;             // a write did not reach the file
    wchar_t pendingHigh;     // first half of a surrogate pair, or 0
    bool crlf;               // a line feed goes out as CR LF
    // Bytes not yet handed to the stream: one call a few hundred bytes
    // rather than one a character.
    unsigned char pending[512];
    size_t pendingBytes;
};

// Creates or empties the file. False when it cannot be created.
bool TextOpenWrite(TextWriter* writer, const wchar_t* path, TextEncoding encoding);

// Writes to a stream that is already open (standard output), UTF-8
// without a byte order mark and with plain line feeds; never closes it.
void TextAttachWrite(TextWriter* writer, FILE* stream);

// Writes a file as TextOpenWrite does (a byte order mark for UTF-8, CR LF)
// to a stream that is already open; TextFlush ends it, the caller closes.
void TextAttachFile(TextWriter* writer, FILE* stream, TextEncoding encoding);

// Turns a file that w wrote in UTF-8 (byte order mark and all), whose
// characters all have Windows-1252 bytes, into Windows-1252 in place:
// each character takes fewer bytes, so the new text never overtakes the
// old. *size is the new length, to cut the file to. False when a read or
// a write fails. Needs no room on the disk beyond the file itself.
bool TextRewriteAsCp1252(FILE* file, long long* size);

// Writes text as it is, adding nothing. Failures are remembered.
void TextWrite(TextWriter* writer, const wchar_t* text);

// Flushes an attached stream without closing it; false when any write
// failed (a full disk, a closed pipe).
bool TextFlush(TextWriter* writer);

// Flushes and closes. False when any write or the close failed: the file
// on disk is then not what was written.
bool TextCloseWrite(TextWriter* writer);
