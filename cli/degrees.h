// Coordinates written with a fixed count of decimals, the same digits on
// every build.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <string>

// A coordinate with a fixed count of decimals (at most 9), rounded from
// the double's exact value, half to even: the same digits on every build,
// whatever its C library's printf does.
std::wstring FormatDegrees(double value, int decimals);
