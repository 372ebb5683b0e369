// The nearest-five search: one pass over a POI file, five fixed slots.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>

#include "text/textread.h"
#include "text/wtext.h"

constexpr int32_t kSlotEmpty = 99999999;
constexpr int kNearestCount = 5;

// One of the five result slots.
struct NearestSlot {
    int32_t distanceKm;  // whole kilometres, truncated; kSlotEmpty when empty
    Text text;           // the finished result line
    double exactKm;      // the distance itself, by which slots are ranked
    double lat, lon;     // the position of the line
};

// Empties the five slots.
void ResetSlots(NearestSlot* slots);

// The result line for a POI line: the line without its closing quotation
// mark and line feed (only where they are there), two blanks, the distance
// with one decimal, " km ", the compass name, a quotation mark and a line
// feed. A result longer than cap - 1 characters is shortened inside the
// name, keeping distance and direction.
void FormatResult(wchar_t* out, size_t cap, const wchar_t* line, double km, const wchar_t* compass);

// The search over a reader that is already open (lazily, as SearchNearest
// opens it, so that a file proving Windows-1252 late is read again); closes it.
void SearchNearestOpen(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd);

// The whole search over the file at path (may be lineBuf itself), reading
// each line into lineBuf (kTextLen characters). False, with the slots
// untouched, when the file cannot be opened.
bool SearchNearest(TextReader* reader, const wchar_t* path, double refLat, double refLon,
                   NearestSlot* slots, wchar_t* lineBuf, wchar_t** parseEnd);
