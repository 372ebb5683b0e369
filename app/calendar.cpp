#include "app/calendar.h"

namespace {

const uint32_t kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

wchar_t* PutDigits(wchar_t* out, uint32_t value, int digits)
{
    for (int i = digits - 1; i >= 0; i--) {
        out[i] = (wchar_t)(L'0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

}  // namespace

uint32_t DaysInYear(uint32_t year)
{
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 366 : 365;
}

void FormatTimeStamp(uint32_t s, wchar_t* stamp)
{
    // Days counted from 1, walked through whole years and months; a walk
    // goes on only while the day number is greater than the length, so the
    // last day of a year or month stays in it.
    uint32_t day = s / 86400 + 1;
    uint32_t year = 1970;
    while (day > DaysInYear(year)) {
        day -= DaysInYear(year);
        year++;
    }
    const uint32_t* months = kMonthDays[DaysInYear(year) == 366 ? 1 : 0];
    uint32_t month = 1;
    while (day > months[month - 1]) {
        day -= months[month - 1];
        month++;
    }
    uint32_t r = s % 86400;
    wchar_t* p = stamp;
    p = PutDigits(p, year, 4);
    p = PutDigits(p, month, 2);
    p = PutDigits(p, day, 2);
    *p++ = L'_';
    p = PutDigits(p, r / 3600, 2);
    p = PutDigits(p, r % 3600 / 60, 2);
    p = PutDigits(p, r % 3600 % 60, 2);
    *p = L'\0';
}
