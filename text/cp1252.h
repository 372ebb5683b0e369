// Windows-1252, the code page of older POI files and the one the
// program's own files are written in where every character fits.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/utf8.h"

// The Windows-1252 character of a byte (bytes the code page leaves
// undefined map to the code point of the same number, as Windows does).
uint32_t Cp1252ToUnicode(unsigned char byte);

// The Windows-1252 byte of a character, or -1.
int Cp1252Byte(uint32_t c);

// True when every character of text has a Windows-1252 byte.
bool TextFitsCp1252(const wchar_t* text);

// Follows the Windows-1252 bytes of a file's texts, in the order they are
// written, to tell whether the reader would take the file for UTF-8.
struct Cp1252Utf8Check {
    Utf8Pending pending;   // bytes of a sequence not yet complete
    bool invalid;          // the bytes are no UTF-8
    bool sawHigh;          // a byte above 0x7F (else the two agree)
    bool unfit;            // a character has no Windows-1252 byte
};

// Adds the Windows-1252 bytes of text; a character without one sets unfit
// and ends the check.
void Cp1252CheckText(Cp1252Utf8Check* check, const wchar_t* text);

// True when all the bytes so far are valid UTF-8 with some byte above
// 0x7F: written as Windows-1252, they would read back as other characters.
bool Cp1252ReadsAsUtf8(const Cp1252Utf8Check* check);
