// Writing text files that the text reader reads back as the same lines.
// Platform-neutral: no Windows header, builds with the host compiler too.
//
// Windows-1252 when every character of the file fits, else UTF-8 with a
// byte order mark; each line feed goes to disk as CR LF, as a Windows text
// stream writes it. The caller decides the encoding before the first write
// (TextFitsCp1252 over everything it will write).
#pragma once

#include <cstdio>

#include "textread.h"

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

// The Windows-1252 byte of a character, or -1.
int Cp1252Byte(uint32_t c);

// True when every character of text has a Windows-1252 byte.
bool TextFitsCp1252(const wchar_t* text);

// Follows the Windows-1252 bytes of a file's texts, in the order they are
// written, to tell whether the reader would take the file for UTF-8.
struct Cp1252Utf8Check {
    unsigned char pending[4];   // bytes of a sequence not yet complete
    size_t pendingLen;
    bool invalid;               // the bytes are no UTF-8
    bool sawHigh;               // a byte above 0x7F (else the two agree)
    bool unfit;                 // a character has no Windows-1252 byte
};

// Adds the Windows-1252 bytes of text; a character without one sets unfit
// and ends the check.
void Cp1252CheckText(Cp1252Utf8Check* check, const wchar_t* text);

// True when all the bytes so far are valid UTF-8 with some byte above
// 0x7F: written as Windows-1252, they would read back as other characters.
bool Cp1252ReadsAsUtf8(const Cp1252Utf8Check* check);

// Creates or empties the file. False when it cannot be created.
bool TextOpenWrite(TextWriter* writer, const wchar_t* path, TextEncoding encoding);

// Writes to a stream that is already open (standard output), UTF-8
// without a byte order mark and with plain line feeds; never closes it.
void TextAttachWrite(TextWriter* writer, FILE* stream);

// Writes text as it is, adding nothing. Failures are remembered.
void TextWrite(TextWriter* writer, const wchar_t* text);

// Flushes an attached stream without closing it; false when any write
// failed (a full disk, a closed pipe).
bool TextFlush(TextWriter* writer);

// Flushes and closes. False when any write or the close failed: the file
// on disk is then not what was written.
bool TextCloseWrite(TextWriter* writer);
