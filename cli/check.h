// "wendrik-cli check": what the device will make of a POI file, read
// exactly as the program reads it (same reader, encodings, pieces of 1023
// UTF-16 units) and judged by the search's own rule for a position.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <memory>
#include <string>

#include "search/poiline.h"
#include "text/textread.h"

struct CheckCounts {
    bool readable;          // the file could be opened and read to its end
    bool stopped;           // the report could not be written: the check ended there
    TextEncoding encoding;  // as the reader chose it
    bool byteOrderMark;
    bool nonAscii;          // a character above U+007F
    long lines;             // lines of the file
    long entries;           // list entries (a long line gives several)
    long usable;            // entries the search can rank (a position with a distance)
    long skipped;           // lines whose first entry the search cannot rank
    long outOfRange;        // positions outside -90..90 / -180..180
    long longLines;         // lines longer than one entry holds
    long duplicates;        // lines whose position an earlier line has
    long unshowable;        // lines with characters the list cannot show
    long loneCrLines;       // lines holding line ends of CR alone
    long hiddenPositions;   // positions behind those line ends, never seen by the search
    long nulLines;          // lines from which NUL characters were dropped
    long garbledLines;      // lines of UTF-8 text that show as Windows-1252
    long joinMarks;         // byte order marks inside the file that spoil a line
    long long trailingNuls; // NUL characters after the last line (a zero-filled end)
};

// Takes each line of the report as it is found; false when it cannot take
// more (a closed pipe), which ends the check.
typedef bool (*CheckSink)(void* context, const std::wstring& line);

// One finding to sink: "NAME:LINE: message", or "NAME: message" for line 0.
bool ReportAt(CheckSink sink, void* context, const std::wstring& name, long line, const std::wstring& message);

// The kinds of finding, to choose which are reported.
enum CheckFinding : unsigned {
    kFindSkipped = 1u << 0,       // a line the search skips
    kFindOutOfRange = 1u << 1,
    kFindDuplicate = 1u << 2,
    kFindLongLine = 1u << 3,      // a line of several list entries
    kFindLaterPiece = 1u << 4,    // ... a later one of which holds a position
    kFindLoneCr = 1u << 5,        // line ends of CR alone
    kFindNul = 1u << 6,           // NUL characters dropped from a line
    kFindGarbled = 1u << 7,       // UTF-8 shown as Windows-1252
    kFindUnshowable = 1u << 8,
    kFindTrailingNul = 1u << 9,   // NUL characters after the last line
    kFindSummary = 1u << 10,      // the summary line
    kFindAll = ~0u,
};

// Checks the file at path. Each finding goes to sink as a line
// "NAME:LINE: message" when it is found, then one summary line
// "NAME: ..."; with quiet only the summary; of the findings, only the
// kinds in findings. A file that cannot be read
// gives one line saying why. Memory stays flat whatever the findings;
// only the positions seen (for duplicates) are kept.
CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet, CheckSink sink,
                         void* context, unsigned findings = kFindAll);

// The same, the report collected in one string.
CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet,
                         std::wstring* report);

// Why the search skips a line, in the words check reports it with; null
// for a position.
const wchar_t* SkipReasonWords(PoiLineVerdict verdict);

// check's findings on the pieces another reader gives, for a caller that
// reads a file for its own ends (convert) and reports on the way what
// check would: one pass for both. The reader must be open and eager
// (TextOpenRead); each piece goes in as TextReadLine gave it.
struct CheckFeed;
using CheckFeedPtr = std::unique_ptr<CheckFeed, void (*)(CheckFeed*)>;
CheckFeedPtr BeginCheckFeed(const std::wstring& name, unsigned findings, CheckSink sink, void* context,
                            const TextReader* reader);

// What the position rule makes of a piece, and the line it lies on.
struct CheckedPiece {
    PoiLineVerdict verdict;
    PoiPosition at;
    long line;
};
CheckedPiece FeedCheck(CheckFeed* feed, const wchar_t* piece);

// True when the report could not be written: the check ends there.
bool CheckFeedStopped(const CheckFeed* feed);

// The end of the file (after TextReadLine gave no more): the findings that
// wait for it, and the counts.
const CheckCounts& EndCheckFeed(CheckFeed* feed);

// True when the device loses something of the file: it cannot be read, or
// the search skips a line or never sees positions in it.
bool CheckFoundLoss(const CheckCounts& counts);
