// The configuration file "Wendrik.cfg" and the command-line switch.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>

#include "text/textread.h"
#include "text/wtext.h"

// Where the configuration lands: the start-up fields of the state record.
struct ConfigTarget {
    wchar_t* poiDir;          // kTextLen characters
    wchar_t* tourDir;         // kTextLen characters
    int32_t* routeHandOff;
};

// Reads a decimal integer the way _wtol does: leading blanks skipped, an
// optional sign, digits up to the first non-digit, 0 without digits.
// Saturates at the 32-bit limits instead of wrapping, so that no huge
// number can come out as 1.
int32_t ReadDecimal(const wchar_t* s);

// Applies one configuration line (without its line feed): "POI=",
// "Tour=" and "koord465=" at the very start of the line, in any letter
// case; every other line is ignored.
void ApplyConfigLine(const wchar_t* line, const ConfigTarget& target);

// Reads the whole configuration file at path line by line through reader,
// using lineBuf (kTextLen characters) for each line; path may be lineBuf
// itself, since it is only needed to open the file. False when the file
// cannot be opened; the target is then untouched.
bool ReadConfigFile(TextReader* reader, const wchar_t* path, wchar_t* lineBuf,
                    const ConfigTarget& target);

// Looks for "koord465=" anywhere in the command line, in any letter case,
// and when found sets *routeHandOff from the number right after it. The
// command line is turned to lower case in place, as a side effect.
void ApplyCommandLine(wchar_t* commandLine, int32_t* routeHandOff);
