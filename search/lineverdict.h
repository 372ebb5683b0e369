// The search's reading of a POI line straight from its undecoded bytes in
// the reader's block: fast forms of ReadPoiLine (poiline.h) joined with
// the skip bounds, for on the device decoding a line and reading its
// numbers as doubles costs many times more. A line is skipped here only
// where ReadPoiLine on the decoded line gives no position, or the bounds
// prove it too far; where the bytes cannot tell, it is decoded. The tests
// hold these to ReadPoiLine on lines of every shape.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/skipbounds.h"
#include "text/intrinsics.h"

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
// bytes of an undecoded line, whose line feed at end stops every loop:
// its digits as an integer and the count of them after the point (9.77134
// is 977134 and 5), so that ParseNumber would give *scaled / 10^*decimals.
// No floating point: on the device every double operation is a library
// call. 1 when read, 0 when the bytes hold no number at all, -1 when only
// the decoded line can tell (a CR or NUL, which decoding drops, a byte
// beyond ASCII, or what the fast path leaves to the general parser).
WENDRIK_ALWAYS_INLINE int ScaledFromBytes(const unsigned char* p, const unsigned char* end, int64_t* scaled,
                                  unsigned* decimals, const unsigned char** stop)
{
    while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f')
        p++;
    const unsigned char* sign = p;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        p++;
    }
    // The digits on both sides of the point.
    uint64_t digits = 0;
    size_t count = 0;
    const unsigned char* point = nullptr;
    for (;; p++) {
        const unsigned d = (unsigned)*p - '0';
        if (d <= 9) {
            digits = digits * 10 + d;
            count++;
        } else if (*p == '.' && point == nullptr) {
            point = p;
        } else {
            break;
        }
    }
    size_t fraction = point != nullptr ? (size_t)(p - point - 1) : 0;
    if (count == 0) {
        // wcstod also reads "inf" and "nan"; anything else is no number.
        const unsigned char* q = sign < end && (*sign == '-' || *sign == '+') ? sign + 1 : sign;
        if (q == end)
            return 0;
        unsigned c = *q | 0x20;
        return c == 'i' || c == 'n' || *q == '.' || *q == '\r' || *q == 0 || *q >= 0x80 ? -1 : 0;
    }
    if (count > 15 || kLeavesFastPath[*p])
        return -1;
    *scaled = negative ? -(int64_t)digits : (int64_t)digits;
    *decimals = (unsigned)fraction;
    *stop = p;
    return 1;
}

// The usual number of a POI file, read in 32 bits: an optional minus, at
// most nine digits with at most seven after a point, and none of the marks
// that leave a number to the general parser after it. False for anything
// else, which the general reading then takes.
// kRead says what is made of the digits:
// - kAll: the value, scaled by its decimals;
// - kWhole: only the whole part before the point (most lines are decided
//   by their latitude's whole degrees), checked to fit; the digits after
//   the point are not counted, for they move the value by less than one;
// - kNone: nothing, only where the number ends (a longitude that most
//   lines never need); counted when its value is read.
enum NumberRead { kAll, kWhole, kNone };

// Which bytes of a line's start are digits, found once for the line:
// with SSE2 the first 32 bytes in two steps, a bit for each, so that the
// numbers' digit runs come from the bits without a chain of loads and
// tests from one run to the next. Elsewhere nothing: the runs are read a
// byte at a time. The bytes lie in the read block, whose slack allows the
// loads past the line's end.
#if WENDRIK_SSE2
constexpr bool kDigitBits = true;
#else
constexpr bool kDigitBits = false;
#endif
struct DigitBits {
#if WENDRIK_SSE2
    const unsigned char* base;
    uint64_t bits;   // bit i: base[i] is a digit (none from 32 on)
#endif
};

WENDRIK_ALWAYS_INLINE DigitBits DigitsAt(const unsigned char* line)
{
#if WENDRIK_SSE2
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    auto digits = [zero, nine](const unsigned char* at) {
        const __m128i t = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), zero);
        return (uint64_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, nine), t));
    };
    return DigitBits{line, digits(line) | digits(line + 16) << 16};
#else
    (void)line;
    return DigitBits{};
#endif
}

// The count of digits from p on, which the line feed after the line's
// bytes ends.
WENDRIK_ALWAYS_INLINE size_t DigitRun(const DigitBits& known, const unsigned char* p)
{
#if WENDRIK_SSE2
    const size_t offset = (size_t)(p - known.base);
    if (offset < 32) {
        const uint64_t others = ~(known.bits >> offset);   // ones from the unknown bytes on
        const size_t run = (size_t)TrailingZeros64(others);
        if (offset + run < 32)
            return run;
    }
#else
    (void)known;
#endif
    const unsigned char* q = p;
    while ((unsigned)*q - '0' <= 9)
        q++;
    return (size_t)(q - p);
}

template <NumberRead kRead = kAll>
WENDRIK_ALWAYS_INLINE bool ShortNumber(const unsigned char** at, int32_t* value, unsigned* decimals,
                               const DigitBits& known = DigitBits())
{
    const unsigned char* p = *at;
    const bool negative = *p == '-';
    p += negative;
    const unsigned char* first = p;
    uint32_t v = 0;
    unsigned d;
    if (kRead == kAll || (kRead == kWhole && !kDigitBits)) {
        while ((d = (unsigned)*p - '0') <= 9) {
            v = v * 10 + d;
            p++;
        }
    } else {
        const size_t run = DigitRun(known, p);
        if (kRead == kWhole) {
            // Whole degrees have one or two digits: read without a loop,
            // which on x86 saves some six instructions a line.
            if (run <= 2)
                v = run == 0 ? 0 : run == 1 ? p[0] - '0' : (p[0] - '0') * 10u + (p[1] - '0');
            else
                for (size_t k = 0; k < run; k++)
                    v = v * 10 + (p[k] - '0');
        }
        p += run;
    }
    const size_t whole = (size_t)(p - first);
    size_t fraction = 0;
    if (*p == '.') {
        const unsigned char* point = p++;
        if (kRead != kAll) {
            p += DigitRun(known, p);
        } else {
            while ((d = (unsigned)*p - '0') <= 9) {
                v = v * 10 + d;
                p++;
            }
        }
        fraction = (size_t)(p - point - 1);
    }
    // A longitude without digits here gives no position, or is one that
    // the comma after it turns away (a plus sign, a space). A latitude's
    // whole degrees need a digit, or "+8.1" or " 8.1" would pass as
    // nothing; ".5" is left to the general reading.
    if ((kRead == kWhole && whole - 1 > 8) || (kRead == kAll && (whole + fraction - 1 > 8 || fraction > 7)))
        return false;
    // Most numbers end at a comma; else the marks of the general parser.
    if (*p != ',' && kLeavesFastPath[*p])
        return false;
    *value = negative ? -(int32_t)v : (int32_t)v;
    *decimals = (unsigned)fraction;
    *at = p;
    return true;
}

// The usual line, "lon,lat,..." with short numbers, from its first bytes:
// false for any other, which the general reading (OtherVerdict) takes;
// else the verdict, and *at right after the latitude.
WENDRIK_ALWAYS_INLINE bool UsualVerdict(const unsigned char** at, SkipBounds* bounds,
                                         LineVerdict* verdict)
{
    int32_t lon, lat;
    unsigned lonDec, latDec;
    const unsigned char* lonAt = *at;
    const DigitBits known = DigitsAt(lonAt);
    if (!(ShortNumber<kNone>(at, &lon, &lonDec, known) && **at == ','))
        return false;
    const unsigned char* latAt = ++*at;
    if (!ShortNumber<kWhole>(at, &lat, &latDec, known))
        return false;
    // Most lines lie whole degrees north or south of the band, where 0,0
    // is refused too: neither their fraction nor their longitude is needed.
    if (WholeDegreesOutside(bounds, lat, *latAt == '-')) {
        *verdict = kSkip;
        return true;
    }
    if (!ShortNumber(&latAt, &lat, &latDec))
        return false;
    *verdict = LatitudeVerdict(bounds, lat, latDec);
    if (*verdict == kSkip)
        return true;
    if (!ShortNumber(&lonAt, &lon, &lonDec)) {
        *verdict = kDecode;   // too long to be read here
        return true;
    }
    if (lon == 0 && lat == 0)
        *verdict = kSkip;
    else if (*verdict == kAskLongitude)
        *verdict = LongitudeVerdict(bounds, lat, latDec, lon, lonDec);
    return true;
}

// Whether an undecoded line that is not the usual one could be taken,
// given the bounds of the farthest slot. Like UsualVerdict's, kSkip only
// where ReadPoiLine or the bounds on the decoded line would refuse it too.
WENDRIK_ALWAYS_INLINE LineVerdict OtherVerdict(const unsigned char* b, size_t len, SkipBounds* bounds)
{
    const unsigned char* end = b + len;
    unsigned lonDec, latDec;
    const unsigned char* stop;
    int64_t lon, lat;
    int got = ScaledFromBytes(b, end, &lon, &lonDec, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (stop == end)
        return kSkip;                       // nothing after the longitude
    if (*stop == '\r' || *stop == 0 || *stop >= 0x80)
        return kDecode;                     // a separator that decoding may change
    got = ScaledFromBytes(stop + 1, end, &lat, &latDec, &stop);
    if (got <= 0)
        return got == 0 ? kSkip : kDecode;
    if (lon == 0 && lat == 0)
        return kSkip;
    return BoundsVerdict(bounds, lat, latDec, lon, lonDec);
}

