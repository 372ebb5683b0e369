#include "nearest.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "geo.h"

// The per-line helpers of the search belong inside its loop.
#if defined(__GNUC__)
#define SEARCH_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define SEARCH_INLINE __forceinline
#else
#define SEARCH_INLINE inline
#endif

namespace {

// Powers of ten that a double holds exactly.
const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Lower bound of the distance per radian of latitude difference: the
// distance is never below (1 - 3f) times the spherical 2aω (the band that
// ComputeDistanceBearing keeps it in), and ω is never below half the
// latitude difference while both latitudes lie within ±90. A margin of
// 1e-9 covers rounding many times over.
const double kKmPerRadianAtLeast = kEquatorialRadiusKm * (1 - 3 * kFlattening) * (1 - 1e-9);

// The slot a nearer line would take: the one with the largest distance,
// the first of equals.
int Candidate(const NearestSlot* slots)
{
    int candidate = 0;
    for (int i = 1; i < kNearestCount; i++)
        if (slots[i].exactKm > slots[candidate].exactKm)
            candidate = i;
    return candidate;
}

// True when a POI at latitude lat is provably farther from the reference
// than farthest: decided without the trigonometry.
bool TooFarNorthOrSouth(double lat, double refLat, double farthest)
{
    return lat >= -90 && lat <= 90 && refLat >= -90 && refLat <= 90 &&
           std::fabs(lat - refLat) * (kGeoPi / 180) * kKmPerRadianAtLeast > farthest;
}

enum Verdict { kDecode, kSkip };

// Bytes after the digits that leave the number to the general parser: an
// exponent or hexadecimal mark, or a NUL that decoding would drop.
struct FastPathEnds {
    bool table[256];
    constexpr FastPathEnds() : table()
    {
        table[0] = table[(unsigned char)'e'] = table[(unsigned char)'E'] = true;
        table[(unsigned char)'x'] = table[(unsigned char)'X'] = true;
    }
    constexpr bool operator[](unsigned char c) const { return table[c]; }
};
constexpr FastPathEnds kLeavesFastPath;

// A number at p as ParseNumber's fast path reads it, straight from the
// bytes of an undecoded line, whose line feed at end stops every loop. 1
// when read, 0 when the bytes hold no number at all, -1 when only the
// decoded line can tell (a CR or NUL, which decoding drops, a byte beyond
// ASCII, or what the fast path leaves to the general parser).
SEARCH_INLINE int NumberFromBytes(const unsigned char* p, const unsigned char* end, double* value,
                    const unsigned char** stop)
{
    while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f')
        p++;
    const unsigned char* sign = p;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        p++;
    }
    uint64_t digits = 0;
    unsigned d;
    const unsigned char* first = p;
    while ((d = (unsigned)*p - '0') <= 9) {
        digits = digits * 10 + d;
        p++;
    }
    size_t count = (size_t)(p - first), decimals = 0;
    if (*p == '.') {
        const unsigned char* fraction = ++p;
        while ((d = (unsigned)*p - '0') <= 9) {
            digits = digits * 10 + d;
            p++;
        }
        decimals = (size_t)(p - fraction);
        count += decimals;
    }
    if (count == 0) {
        // wcstod also reads "inf" and "nan"; anything else is no number.
        const unsigned char* q = sign < end && (*sign == '-' || *sign == '+') ? sign + 1 : sign;
        if (q == end)
            return 0;
        unsigned c = *q | 0x20;
        return c == 'i' || c == 'n' || *q == '.' || *q == '\r' || *q == 0 || *q >= 0x80 ? -1 : 0;
    }
    if (count > 15)
        return -1;
    if (kLeavesFastPath[*p])
        return -1;
    double v = (double)digits / kPow10[decimals];
    *value = negative ? -v : v;
    *stop = p;
    return 1;
}

// Whether an undecoded line could be taken, given the distance of the
// farthest slot. kSkip only where RankLine on the decoded line would
// refuse it too.
SEARCH_INLINE Verdict QuickVerdict(const unsigned char* b, size_t len, double farthest, double refLat)
{
    const unsigned char* end = b + len;
    const unsigned char* stop;
    double lon, lat;
    int got = NumberFromBytes(b, end, &lon, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (stop == end)
        return kSkip;                       // nothing after the longitude
    if (*stop == '\r' || *stop == 0 || *stop >= 0x80)
        return kDecode;                     // a separator that decoding may change
    got = NumberFromBytes(stop + 1, end, &lat, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (lon == 0 && lat == 0)
        return kSkip;
    return TooFarNorthOrSouth(lat, refLat, farthest) ? kSkip : kDecode;
}

}  // namespace

double ParseNumberGeneral(const wchar_t* s, wchar_t** end)
{
    // A number is ASCII: hand the ASCII start of the text to strtod, which
    // is correctly rounded in both C libraries we build with (a wide wcstod
    // is not, on Windows).
    char narrow[kTextLen];
    size_t n = 0;
    for (; n + 1 < sizeof narrow && s[n] != L'\0' && (unsigned)s[n] < 0x80; n++)
        narrow[n] = (char)s[n];
    narrow[n] = '\0';
    char* stop;
    double value = std::strtod(narrow, &stop);
    *end = const_cast<wchar_t*>(s + (stop - narrow));
    return value;
}

double ParseNumber(const wchar_t* s, wchar_t** end)
{
    // Short decimals, as POI files hold them: the digits gathered as an
    // integer below 10^15 and divided once by an exact power of ten. Both
    // operands are exact, so the one rounding of the division gives the
    // correctly rounded value. Everything else (exponents, long digit runs,
    // hexadecimal, "inf", "nan") takes the general path.
    const wchar_t* p = s;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r'))
        p++;
    bool negative = false;
    if (*p == L'-' || *p == L'+') {
        negative = *p == L'-';
        p++;
    }
    uint64_t digits = 0;
    int count = 0, decimals = 0;
    for (; *p >= L'0' && *p <= L'9'; p++, count++)
        digits = digits * 10 + (uint64_t)(*p - L'0');
    if (*p == L'.') {
        for (p++; *p >= L'0' && *p <= L'9'; p++, count++, decimals++)
            digits = digits * 10 + (uint64_t)(*p - L'0');
    }
    if (count == 0 || count > 15 || *p == L'e' || *p == L'E' || *p == L'x' || *p == L'X')
        return ParseNumberGeneral(s, end);
    double value = (double)digits / kPow10[decimals];
    *end = const_cast<wchar_t*>(p);
    return negative ? -value : value;
}

bool ParsePoiLine(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd)
{
    *lon = ParseNumber(line, parseEnd);
    if (*parseEnd == line)
        return false;
    // Nothing after the longitude: there is no latitude to read.
    if (**parseEnd == L'\0')
        return false;
    const wchar_t* start = *parseEnd + 1;
    wchar_t* latEnd;
    *lat = ParseNumber(start, &latEnd);
    return latEnd != start;
}

// The position the search takes from a line: both numbers there, and not
// 0,0, the usual mark of a missing position.
static bool ReadPoiPosition(const wchar_t* line, double* lon, double* lat, wchar_t** parseEnd)
{
    return ParsePoiLine(line, lon, lat, parseEnd) && !(*lon == 0 && *lat == 0);
}

bool HoldsPosition(const wchar_t* line)
{
    double lon, lat;
    wchar_t* end;
    return ReadPoiPosition(line, &lon, &lat, &end);
}

bool RanksAsPosition(const wchar_t* line)
{
    double lon, lat;
    wchar_t* end;
    return ReadPoiPosition(line, &lon, &lat, &end) && PositionHasDistance(lat, lon);
}

bool PositionHasDistance(double lat, double lon)
{
    // Short of the edge where degrees overflow in radians every finite
    // position has a distance; only beyond it is one computed to tell.
    if (std::fabs(lat) <= 1e300 && std::fabs(lon) <= 1e300)
        return true;
    double d, bearing;
    ComputeDistanceBearing(0, 0, lat, lon, d, bearing);
    return !std::isnan(d);
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
    if (!ReadPoiPosition(line, &lon, &lat, parseEnd))
        return false;

    const int candidate = Candidate(slots);
    const double farthest = slots[candidate].exactKm;
    // Most lines of a large file lie too far north or south to be taken.
    if (TooFarNorthOrSouth(lat, refLat, farthest))
        return false;

    double d, bearing;
    ComputeDistanceBearing(refLat, refLon, lat, lon, d, bearing);
    if (!(d < farthest))
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
    SearchNearestOpen(reader, refLat, refLon, slots, lineBuf, parseEnd);
    return true;
}

void SearchNearestOpen(TextReader* reader, double refLat, double refLon, NearestSlot* slots,
                       wchar_t* lineBuf, wchar_t** parseEnd)
{
    ResetSlots(slots);
    double farthest = slots[Candidate(slots)].exactKm;
    for (;;) {
        // Most lines are decided from their bytes in the read block; only a
        // line that may be taken, or one its bytes cannot decide, is decoded.
        const unsigned char* bytes;
        size_t len;
        if (TextPeekLine(reader, kTextLen - 1, &bytes, &len) &&
            QuickVerdict(bytes, len, farthest, refLat) == kSkip) {
            TextSkipLine(reader, len);
            continue;
        }
        if (!TextReadLine(reader, lineBuf, kTextLen))
            break;
        if (RankLine(slots, lineBuf, refLat, refLon, parseEnd))
            farthest = slots[Candidate(slots)].exactKm;
    }
    // The nearest of part of a file are no answer for the whole.
    if (TextReadFailed(reader))
        ResetSlots(slots);
    TextClose(reader);
}
