// The nearest-five search: one pass over a POI file, five fixed slots.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>

#include "textread.h"
#include "wtext.h"

constexpr int32_t kSlotEmpty = 99999999;
constexpr int kNearestCount = 5;

// One of the five result slots.
struct NearestSlot {
    int32_t distanceKm;  // whole kilometres, truncated; kSlotEmpty when empty
    Text text;           // the finished result line
    double exactKm;      // the distance itself, by which slots are ranked
    double lat, lon;     // the position of the line
};

// A number as wcstod reads one (leading white space, sign, digits, ".",
// exponent, also "inf", "nan" and hexadecimal), always correctly rounded,
// with an exact fast path for short decimals. *end is left right after it,
// or at s when there is none. The program's one number parser.
double ParseNumber(const wchar_t* s, wchar_t** end);

// The same without the fast path, for the rare number that needs it.
double ParseNumberGeneral(const wchar_t* s, wchar_t** end);

// The two numbers at the start of a POI line: the longitude, then the
// latitude one character after the longitude's end (whatever that
// character is). *parseEnd is left where the longitude ended. False when
// either number cannot be read at all.
bool ParsePoiLine(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd);

// True when the search would read a position from the line: both numbers
// there, and not 0,0 (the usual mark of a missing position).
bool HoldsPosition(const wchar_t* line);

// True when the search can rank the line: it holds a position, and that
// position has a distance (PositionHasDistance).
bool RanksAsPosition(const wchar_t* line);

// True when a position has a distance from anywhere. Numbers so large
// (beyond some 5.7e307) that their conversion to radians overflows have
// none, and neither have "inf" and "nan".
bool PositionHasDistance(double lat, double lon);

// Empties the five slots.
void ResetSlots(NearestSlot* slots);

// Offers one POI line to the slots, from the reference position refLat,
// refLon. Lines without both numbers, and lines at 0,0 (the usual mark of
// a missing position), are skipped. A line is taken into the slot holding
// the largest distance when it is strictly nearer, so the slots end up
// holding the five nearest lines of the file (ties keep the earlier line).
// True when the line was taken.
bool RankLine(NearestSlot* slots, const wchar_t* line, double refLat, double refLon,
              wchar_t** parseEnd);

// The result line for a POI line: the line without its closing quotation
// mark and line feed (only where they are there), two blanks, the distance
// with one decimal, " km ", the compass name, a quotation mark and a line
// feed. A result longer than cap - 1 characters is shortened inside the
// name, keeping distance and direction.
void FormatResult(wchar_t* out, size_t cap, const wchar_t* line, double km, const wchar_t* compass);

// The search over a reader that is already open; closes it.
void SearchNearestOpen(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd);

// The whole search over the file at path (may be lineBuf itself), reading
// each line into lineBuf (kTextLen characters). False, with the slots
// untouched, when the file cannot be opened.
bool SearchNearest(TextReader* reader, const wchar_t* path, double refLat, double refLon,
                   NearestSlot* slots, wchar_t* lineBuf, wchar_t** parseEnd);
