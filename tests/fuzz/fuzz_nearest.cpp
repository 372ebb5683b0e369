// The nearest-five search over arbitrary files and positions: the fast
// path gives exactly the plain computation's slots, and every result is a
// line of at most 1023 characters ending in a quotation mark and line feed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "search/nearest.h"
#include "tests/unit/nearest_reference.h"

static TextReader reader;
static NearestSlot fast[kNearestCount], plain[kNearestCount];
static Text lineBuf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    // A reference position near the data's own coordinates, or odd ones.
    double lat = 45 + data[0] / 25.0, lon = 5 + data[1] / 25.0;
    if (data[2] == 0xFF) {
        std::memcpy(&lat, data + 3, size >= 11 ? 8 : 0);
    } else if (data[2] == 0xFE) {
        // Anywhere, up to the poles, and astride the 180th meridian.
        lat = data[0] / 255.0 * 180 - 90;
        lon = 179 + data[1] / 127.5;
    }
    wchar_t* parseEnd;
    // Opened as the search opens a file: read as UTF-8 on trust, and once
    // more where it proves Windows-1252 late.
    FILE* f = fmemopen(const_cast<uint8_t*>(data + 3), size - 3, "rb");
    if (!TextOpenStreamLazily(&reader, f))
        return 0;
    SearchNearestOpen(&reader, lat, lon, fast, lineBuf, &parseEnd);

    f = fmemopen(const_cast<uint8_t*>(data + 3), size - 3, "rb");
    if (!TextOpenStream(&reader, f))
        return 0;
    ResetSlots(plain);
    while (TextReadLine(&reader, lineBuf, kTextLen))
        RankLinePlain(plain, lineBuf, lat, lon);
    TextClose(&reader);

    for (int i = 0; i < kNearestCount; i++) {
        if (fast[i].distanceKm != plain[i].distanceKm)
            abort();
        if (plain[i].distanceKm == kSlotEmpty)
            continue;
        if (std::memcmp(&fast[i].exactKm, &plain[i].exactKm, 8) != 0 || wcscmp(fast[i].text, plain[i].text) != 0)
            abort();
        size_t n = wcslen(fast[i].text);
        if (n > 1023 || n < 2 || fast[i].text[n - 1] != L'\n' || fast[i].text[n - 2] != L'"')
            abort();
    }
    return 0;
}
