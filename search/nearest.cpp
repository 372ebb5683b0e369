#include "search/nearest.h"

#include <cmath>
#include <cstring>
#include <cwchar>

#include "geo/geo.h"
#include "search/lineverdict.h"
#include "search/poiline.h"
#include "search/skipbounds.h"

void ResetSlots(NearestSlot* slots)
{
    for (int i = 0; i < kNearestCount; i++) {
        slots[i].distanceKm = kSlotEmpty;
        slots[i].exactKm = kSlotEmpty;
    }
}

// The result line of a slot that holds its POI line, with the bearing.
static void FinishSlot(NearestSlot* slot, const wchar_t* line, double refLat, double refLon)
{
    double d;
    const wchar_t* compass;
    ComputeDistanceCompass(refLat, refLon, slot->lat, slot->lon, d, compass);
    slot->exactKm = d;   // made exact here for a slot taken by its bounds
    slot->distanceKm = (int32_t)d;
    FormatResult(slot->text, CountOf(slot->text), line, slot->exactKm, compass);
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
    if (!TextOpenReadLazily(reader, path))
        return false;
    SearchNearestOpen(reader, refLat, refLon, slots, lineBuf, parseEnd);
    return true;
}

// The slots' distances during a pass: exact, or known only within the
// bounds DistanceBracket gives until a comparison needs more. The slots
// come out as with exact distances throughout, in the same order: a line
// is taken when it is strictly nearer than the farthest slot, into the
// first slot of the largest distance. On the device the trigonometry of
// ComputeDistance costs as much as reading thousands of lines; most lines
// taken on the way give way to nearer ones before their distance is ever
// needed exactly.
struct PassDistances {
    double low[kNearestCount], high[kNearestCount];
    bool exact[kNearestCount];
};

// a < b for two distances of a pass, which are never negative (not even
// -0) nor NaN: compared by their bits, as integers, for on the device a
// double comparison is a library call.
static inline bool KmBelow(double a, double b)
{
    int64_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x < y;
}

static void ResetPassDistances(PassDistances* p)
{
    for (int i = 0; i < kNearestCount; i++) {
        p->low[i] = p->high[i] = kSlotEmpty;
        p->exact[i] = true;
    }
}

// No slot's distance exceeds this.
static double HighestBound(const PassDistances* p)
{
    double highest = p->high[0];
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(highest, p->high[i]))
            highest = p->high[i];
    return highest;
}

static void MakeExact(NearestSlot* slots, PassDistances* p, int i, double refLat, double refLon)
{
    if (p->exact[i])
        return;
    const double d = ComputeDistance(refLat, refLon, slots[i].lat, slots[i].lon);
    p->low[i] = p->high[i] = d;
    p->exact[i] = true;
    slots[i].exactKm = d;
    slots[i].distanceKm = (int32_t)d;
}

// Candidate's slot, with exact distances made only for the slots whose
// bounds reach the largest lower bound.
static int PassCandidate(NearestSlot* slots, PassDistances* p, double refLat, double refLon)
{
    double most = p->low[0];
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(most, p->low[i]))
            most = p->low[i];
    int contenders = 0;
    for (int i = 0; i < kNearestCount; i++)
        contenders += !KmBelow(p->high[i], most);
    if (contenders > 1)
        for (int i = 0; i < kNearestCount; i++)
            if (!KmBelow(p->high[i], most))
                MakeExact(slots, p, i, refLat, refLon);
    int candidate = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (KmBelow(p->low[candidate], p->low[i]))
            candidate = i;
    return candidate;
}

// The slot a decoded line takes (-1: none): the one holding the largest
// distance, the first of equals, when the line is strictly nearer; decided
// by the distances' bounds where they tell.
static int PassTake(NearestSlot* slots, PassDistances* p, const DistanceReference& ref, const wchar_t* line,
                    wchar_t** parseEnd)
{
    PoiPosition at;
    const PoiLineVerdict rule = ReadPoiLine(line, &at);
    *parseEnd = const_cast<wchar_t*>(at.lonEnd);
    if (rule != kPoiPosition)
        return -1;
    const double lat = at.lat, lon = at.lon;
    double low, high, d = 0;
    bool exact = !DistanceBracket(ref, lat, lon, &low, &high);
    if (exact) {
        d = ComputeDistance(ref.lat, ref.lon, lat, lon);
        if (std::isnan(d))
            return -1;   // never taken
        low = high = d;
    } else if (!(low > 0)) {
        low = 0;   // the bracket's margin below a distance of 0
    }
    // At or beyond every slot's upper bound: not nearer than the farthest.
    if (!KmBelow(low, HighestBound(p)))
        return -1;
    const int candidate = PassCandidate(slots, p, ref.lat, ref.lon);
    if (!KmBelow(low, p->high[candidate]))
        return -1;
    if (!KmBelow(high, p->low[candidate])) {
        // The bounds overlap: compare the distances themselves.
        MakeExact(slots, p, candidate, ref.lat, ref.lon);
        if (!exact) {
            d = ComputeDistance(ref.lat, ref.lon, lat, lon);
            exact = true;
            low = high = d;
        }
        if (!KmBelow(d, p->low[candidate]))
            return -1;
    }
    NearestSlot& slot = slots[candidate];
    slot.lat = lat;
    slot.lon = lon;
    slot.exactKm = exact ? d : high;
    slot.distanceKm = (int32_t)slot.exactKm;   // made exact at the end
    p->low[candidate] = low;
    p->high[candidate] = high;
    p->exact[candidate] = exact;
    return candidate;
}

// The bytes of the lines at the start of a read block (avail bytes, the
// file's last when last) that cannot be taken, decided from their bytes.
// Stops at a line to decode (*decode) or at one that the block may not
// hold whole. A function of its own: the loop keeps what it needs in
// registers.
WENDRIK_NOINLINE static size_t PassOverLines(const unsigned char* bytes, size_t avail, bool last,
                                             SkipBounds* bounds, bool* decode)
{
    // A line that starts before safe is whole in the block when its line
    // feed lies fewer than kTextLen - 1 bytes on; from there on only in
    // the file's last block.
    const unsigned char* const end = bytes + avail;
    const unsigned char* const safe = last ? end : avail > kTextLen - 1 ? end - (kTextLen - 1) : bytes;
    const unsigned char* line = bytes;
    while (line < safe) {
        const unsigned char* p = line;
        LineVerdict verdict = kDecode;
        const bool usual = UsualVerdict(&p, bounds, &verdict);
        if (usual && verdict != kSkip)
            break;
        // The block's own line feed follows its last byte.
        const size_t room = (size_t)(end - line);
        const size_t len = TextLineLength(line, usual ? (size_t)(p - line) : 0, room);
        if (len == room || len >= kTextLen - 1)
            break;   // no line feed in the block, or a line of pieces
        if (!usual && OtherVerdict(line, len, bounds) != kSkip)
            break;
        line += len + 1;
    }
    // At the end of the file the reader itself tells what is left.
    *decode = line < safe || last;
    return (size_t)(line - bytes);
}

// One pass over the file into the slots.
static void SearchPass(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd)
{
    ResetSlots(slots);
    PassDistances distances;
    ResetPassDistances(&distances);
    DistanceReference ref;
    MakeDistanceReference(&ref, refLat, refLon);
    // The skip bounds need only a distance the farthest slot cannot exceed.
    SkipBounds bounds;
    InitBounds(&bounds, refLat, refLon);
    UpdateBounds(&bounds, kSlotEmpty);
    for (;;) {
        // Most lines are decided from their bytes in the read block, one
        // after another; the reader learns only how far. Only a line that
        // may be taken, or one its bytes cannot decide, is decoded. The
        // numbers are read first, and the line feed looked for after them:
        // their bytes are not scanned twice.
        const unsigned char* bytes;
        size_t avail;
        bool last;
        if (TextPeekBlock(reader, kTextLen - 1, &bytes, &avail, &last)) {
            bool decode;
            TextSkipBytes(reader, PassOverLines(bytes, avail, last, &bounds, &decode));
            if (!decode)
                continue;
        }
        if (!TextReadLine(reader, lineBuf, kTextLen))
            break;
        // A line taken now may give way to a nearer one later: it keeps
        // its own text until the pass is over, and only the five left get
        // a bearing and a result line.
        int taken = PassTake(slots, &distances, ref, lineBuf, parseEnd);
        if (taken >= 0) {
            CopyText(slots[taken].text, CountOf(slots[taken].text), lineBuf);
            UpdateBounds(&bounds, HighestBound(&distances));
        }
    }
}

void SearchNearestOpen(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd)
{
    SearchPass(reader, refLat, refLon, slots, lineBuf, parseEnd);
    // A file read as UTF-8 on trust that proved to be Windows-1252 after
    // text beyond ASCII was taken: once more, now that the encoding is known.
    if (TextGuessFailed(reader) && TextReadAgain(reader))
        SearchPass(reader, refLat, refLon, slots, lineBuf, parseEnd);
    for (int i = 0; i < kNearestCount; i++)
        if (slots[i].distanceKm != kSlotEmpty)
            FinishSlot(&slots[i], slots[i].text, refLat, refLon);
    // The nearest of part of a file are no answer for the whole.
    if (TextReadFailed(reader))
        ResetSlots(slots);
    TextClose(reader);
}
