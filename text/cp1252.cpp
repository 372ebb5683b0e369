#include "text/cp1252.h"

namespace {

const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

uint32_t Cp1252ToUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

int Cp1252Byte(uint32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return (int)c;
    for (int b = 0x80; b < 0xA0; b++)
        if (kCp1252High[b - 0x80] == c)
            return b;
    return -1;
}

bool TextFitsCp1252(const wchar_t* text)
{
    for (; *text != L'\0'; text++)
        if (Cp1252Byte((uint32_t)*text) < 0)
            return false;
    return true;
}

void Cp1252CheckText(Cp1252Utf8Check* check, const wchar_t* text)
{
    for (; *text != L'\0' && !check->unfit; text++) {
        const int byte = Cp1252Byte((uint32_t)*text);
        if (byte < 0) {
            check->unfit = true;
            return;
        }
        if (check->invalid)
            continue;   // only whether the rest fits matters now
        check->sawHigh = check->sawHigh || byte >= 0x80;
        unsigned char first;
        if (Utf8Feed(&check->pending, (unsigned char)byte, &first) < 0)
            check->invalid = true;
    }
}

bool Cp1252ReadsAsUtf8(const Cp1252Utf8Check* check)
{
    return !check->unfit && !check->invalid && check->pending.count == 0 && check->sawHigh;
}
