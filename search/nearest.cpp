#include "nearest.h"

#include <cwchar>

#include "geo.h"

bool ParsePoiLine(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd)
{
    *lon = std::wcstod(line, parseEnd);
    if (*parseEnd == line)
        return false;
    // Nothing after the longitude: there is no latitude to read.
    if (**parseEnd == L'\0')
        return false;
    const wchar_t* start = *parseEnd + 1;
    wchar_t* latEnd;
    *lat = std::wcstod(start, &latEnd);
    return latEnd != start;
}

void ResetSlots(NearestSlot* slots)
{
    for (int i = 0; i < kNearestCount; i++) {
        slots[i].distanceKm = kSlotEmpty;
        slots[i].exactKm = kSlotEmpty;
    }
}

bool RankLine(NearestSlot* slots, const wchar_t* line, double refLat, double refLon,
              wchar_t** parseEnd)
{
    double lon, lat;
    if (!ParsePoiLine(line, &lon, &lat, parseEnd))
        return false;
    if (lon == 0 && lat == 0)
        return false;

    double d, bearing;
    ComputeDistanceBearing(refLat, refLon, lat, lon, d, bearing);

    int candidate = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (slots[i].exactKm > slots[candidate].exactKm)
            candidate = i;
    if (!(d < slots[candidate].exactKm))
        return false;   // also for a distance that is not a number

    NearestSlot& slot = slots[candidate];
    slot.exactKm = d;
    slot.distanceKm = (int32_t)d;
    FormatResult(slot.text, CountOf(slot.text), line, d, CompassPoint(bearing));
    return true;
}

void FormatResult(wchar_t* out, size_t cap, const wchar_t* line, double km, const wchar_t* compass)
{
    wchar_t suffix[64];
    int n = std::swprintf(suffix, CountOf(suffix), L"  %.1f km %ls\"\n", km, compass);
    if (n < 0)
        CopyText(suffix, CountOf(suffix), L"\"\n");
    size_t keep = TextLength(line, kTextLen);
    if (keep > 0 && line[keep - 1] == L'\n')
        keep--;
    if (keep > 0 && line[keep - 1] == L'"')
        keep--;
    size_t suffixLen = TextLength(suffix, CountOf(suffix));
    if (cap <= suffixLen)
        return;
    if (keep > cap - 1 - suffixLen)
        keep = cap - 1 - suffixLen;
    for (size_t i = 0; i < keep; i++)
        out[i] = line[i];
    out[keep] = L'\0';
    AppendText(out, cap, suffix);
}

bool SearchNearest(TextReader* reader, const wchar_t* path, double refLat, double refLon,
                   NearestSlot* slots, wchar_t* lineBuf, wchar_t** parseEnd)
{
    if (!TextOpenRead(reader, path))
        return false;
    ResetSlots(slots);
    while (TextReadLine(reader, lineBuf, kTextLen))
        RankLine(slots, lineBuf, refLat, refLon, parseEnd);
    TextClose(reader);
    return true;
}
