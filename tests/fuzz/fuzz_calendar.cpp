// The time stamp over every 32-bit clock reading: the C library's own UTC
// date, in fifteen characters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "app/calendar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    uint32_t s;
    std::memcpy(&s, data, 4);
    wchar_t stamp[kStampLen];
    FormatTimeStamp(s, stamp);
    std::time_t t = (std::time_t)s;
    std::tm tm;
    gmtime_r(&t, &tm);
    wchar_t expected[32];
    swprintf(expected, 32, L"%04d%02d%02d_%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (wcscmp(stamp, expected) != 0 || wcslen(stamp) != 15)
        abort();
    return 0;
}
