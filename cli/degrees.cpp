#include "cli/degrees.h"

#include <cmath>
#include <cstdint>
#include <cwchar>

namespace {

struct U128 {
    uint64_t hi, lo;
};

U128 Multiply(uint64_t a, uint64_t b)
{
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

// n >> shift rounded half to even; shift from 1 to 127.
uint64_t ShiftRounded(U128 n, int shift)
{
    U128 q = shift >= 64 ? U128{0, n.hi >> (shift - 64)}
                         : U128{n.hi >> shift, (n.lo >> shift) | (n.hi << 1 << (63 - shift))};
    // The bits shifted out against one half: the top one, and any below it.
    const int h = shift - 1;
    const bool half = (h >= 64 ? n.hi >> (h - 64) : n.lo >> h) & 1;
    const bool below = h >= 64 ? n.lo != 0 || (n.hi & ((1ULL << (h - 64)) - 1)) != 0
                               : (n.lo & ((1ULL << h) - 1)) != 0;
    if (half && (below || (q.lo & 1)))
        q.lo++;
    return q.lo;
}

}  // namespace

std::wstring FormatDegrees(double value, int decimals)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e9 || decimals < 0 || decimals > 9)
        return L"nan";
    static const uint64_t kTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    int exponent;
    const double mantissa = std::frexp(std::fabs(value), &exponent);
    // |value| = m * 2^(exponent - 53) with m a 53-bit integer.
    const uint64_t m = (uint64_t)std::ldexp(mantissa, 53);
    const int shift = 53 - exponent;
    uint64_t scaled;
    if (m == 0) {
        scaled = 0;
    } else if (shift <= 0) {
        scaled = (m << -shift) * kTen[decimals];   // a whole number below 1e9
    } else if (shift >= 128) {
        scaled = 0;                                // far below half a unit
    } else {
        scaled = ShiftRounded(Multiply(m, kTen[decimals]), shift);
    }
    // The digits from the right: the decimals, the point, the whole part.
    wchar_t digits[40];
    wchar_t* p = digits + 40;
    *--p = L'\0';
    for (int i = 0; i < decimals; i++, scaled /= 10)
        *--p = (wchar_t)(L'0' + scaled % 10);
    if (decimals > 0)
        *--p = L'.';
    do {
        *--p = (wchar_t)(L'0' + scaled % 10);
        scaled /= 10;
    } while (scaled != 0);
    if (std::signbit(value) && std::wcsspn(p, L"0.") != std::wcslen(p))
        *--p = L'-';
    return std::wstring(p);
}
