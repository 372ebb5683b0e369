#include "search/number.h"

#include <cstdlib>
#include <cstring>

#include "text/intrinsics.h"
#include "text/wtext.h"

namespace {

// Powers of ten that a double holds exactly.
const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// digits / 10^decimals correctly rounded, as the division of the two exact
// doubles gives it, for digits below 2^53 and decimals up to 15, mostly
// without the division: on the device a double division is a library
// call of some 900 instructions. The quotient comes from the digits times
// a 64-bit reciprocal of the power of ten, rounded up: its high 64 bits
// h lie within one of the quotient's scaled value, so that rounding h to
// 53 bits rounds the quotient the same way unless h lies within one of
// halfway between two doubles. There the division decides. A quotient
// that a double holds exactly gives h or h - 1, which round alike.
struct Reciprocal {
    uint64_t m;   // ceil(2^(63 + e) / 10^decimals), between 2^63 and 2^64
    int e;        // bits of 10^decimals
};

constexpr Reciprocal MakeReciprocal(uint64_t p)
{
    int e = 0;
    while ((p >> e) != 0)
        e++;
    // Long division of 2^(63 + e) by p, a bit at a time.
    uint64_t q = 0, r = 0;
    for (int bit = 63 + e; bit >= 0; bit--) {
        r = r * 2 + (bit == 63 + e ? 1 : 0);
        q *= 2;
        if (r >= p) {
            r -= p;
            q |= 1;
        }
    }
    return Reciprocal{q + (r != 0 ? 1 : 0), e};
}

struct Reciprocals {
    Reciprocal of[16];
    constexpr Reciprocals() : of()
    {
        uint64_t p = 1;
        for (int d = 1; d < 16; d++)
            of[d] = MakeReciprocal(p *= 10);
    }
};
constexpr Reciprocals kReciprocals;

}  // namespace

double DecimalToDouble(uint64_t digits, unsigned decimals)
{
    if (decimals == 0 || digits == 0)
        return (double)digits;
    const Reciprocal& rc = kReciprocals.of[decimals];
    const int zeros = LeadingZeros64(digits);
    const uint64_t h = MulHigh64(digits << zeros, rc.m);   // at least 2^62
    const int dropped = (int)(h >> 63) + 10;               // bits below the 53 kept
    const uint64_t half = (uint64_t)1 << (dropped - 1), rest = h & ((half << 1) - 1);
    if (rest - (half - 1) <= 2)
        return (double)digits / kPow10[decimals];
    uint64_t mantissa = (h + half) >> dropped;
    // h is the quotient times 2^(zeros + e - 1).
    int exponent = dropped + 52 - zeros - rc.e + 1;
    if (mantissa >> 53 != 0) {
        mantissa >>= 1;
        exponent++;
    }
    const uint64_t bits = (uint64_t)(exponent + 1023) << 52 | (mantissa & (((uint64_t)1 << 52) - 1));
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

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
    const wchar_t* first = p;
    unsigned d;
    for (; (d = (unsigned)*p - L'0') <= 9; p++)
        digits = digits * 10 + d;
    size_t count = (size_t)(p - first), decimals = 0;
    if (*p == L'.') {
        const wchar_t* fraction = ++p;
        for (; (d = (unsigned)*p - L'0') <= 9; p++)
            digits = digits * 10 + d;
        decimals = (size_t)(p - fraction);
        count += decimals;
    }
    if (count == 0 || count > 15 || *p == L'e' || *p == L'E' || *p == L'x' || *p == L'X')
        return ParseNumberGeneral(s, end);
    double value = DecimalToDouble(digits, decimals);
    *end = const_cast<wchar_t*>(p);
    return negative ? -value : value;
}

