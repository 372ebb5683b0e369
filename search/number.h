// Reading numbers as wcstod reads them: the program's one number reader
// of wide text, always correctly rounded.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>

// A number as wcstod reads one (leading white space, sign, digits, ".",
// exponent, also "inf", "nan" and hexadecimal), always correctly rounded,
// with an exact fast path for short decimals. *end is left right after it,
// or at s when there is none.
double ParseNumber(const wchar_t* s, wchar_t** end);

// The same without the fast path, for the rare number that needs it.
double ParseNumberGeneral(const wchar_t* s, wchar_t** end);

// digits / 10^decimals correctly rounded, as the division of the two
// exact doubles gives it, for digits below 2^53 and decimals up to 15.
double DecimalToDouble(uint64_t digits, unsigned decimals);
