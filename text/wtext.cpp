#include "text/wtext.h"

bool CopyText(wchar_t* dst, size_t cap, const wchar_t* src)
{
    if (cap == 0)
        return false;
    size_t i = 0;
    for (; i + 1 < cap && src[i] != L'\0'; i++)
        dst[i] = src[i];
    dst[i] = L'\0';
    return src[i] == L'\0';
}

bool AppendText(wchar_t* dst, size_t cap, const wchar_t* src)
{
    size_t used = TextLength(dst, cap);
    size_t add = TextLength(src, cap);
    if (used >= cap || used + add + 1 > cap)
        return false;
    for (size_t i = 0; i < add; i++)
        dst[used + i] = src[i];
    dst[used + add] = L'\0';
    return true;
}

size_t TextLength(const wchar_t* s, size_t cap)
{
    size_t n = 0;
    while (n < cap && s[n] != L'\0')
        n++;
    return n;
}
