// "wendrik-cli check": what the device will make of a POI file, read
// exactly as the program reads it (same reader, encodings, 1023-character
// pieces) and judged by the search's own number rule.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <string>

#include "textread.h"

struct CheckCounts {
    bool readable;          // the file could be opened and read to its end
    TextEncoding encoding;  // as the reader chose it
    bool byteOrderMark;
    bool nonAscii;          // a character above U+007F
    long lines;             // lines of the file
    long entries;           // list entries (a long line gives several)
    long usable;            // entries the search takes a position from
    long skipped;           // lines the search skips
    long outOfRange;        // positions outside -90..90 / -180..180
    long longLines;         // lines longer than one entry holds
    long duplicates;        // lines whose position an earlier line has
    long unshowable;        // lines with characters the list cannot show
};

// Checks the file at path. Each finding is appended to report as a line
// "NAME:LINE: message", then one summary line "NAME: ..."; with quiet only
// the summary. A file that cannot be read gives one line saying why.
CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet,
                         std::wstring* report);
