// The time stamp of a saved tour: "YYYYMMDD_hhmmss" in UTC.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstdint>

constexpr int kStampLen = 16;   // 15 characters and the terminator

// Writes the stamp of an instant, given as seconds since 1970-01-01
// 00:00:00 UTC, into stamp[kStampLen]. The seconds are the device clock's
// 32-bit reading taken as unsigned, so every reading from 1970 until 2106
// (beyond the signed range's end in 2038) gets its true date.
void FormatTimeStamp(uint32_t secondsSince1970, wchar_t* stamp);

// Days in a year by the Gregorian rule.
uint32_t DaysInYear(uint32_t year);
