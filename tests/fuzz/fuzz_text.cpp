// The text reader over arbitrary bytes: every piece within its bound, no
// NUL inside, a line feed only at a piece's end, never a hang.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "textread.h"
#include "wtext.h"

static TextReader reader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the buffer size, from the smallest to the program's.
    const size_t caps[] = {3, 4, 5, 17, 1024};
    const size_t cap = caps[data[0] % 5];
    FILE* f = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
    if (size == 1 || !TextOpenStream(&reader, f))
        return 0;
    static wchar_t buf[1024];
    size_t pieces = 0;
    while (TextReadLine(&reader, buf, cap)) {
        size_t n = wcslen(buf);
        if (n == 0 || n > cap - 1)
            abort();
        for (size_t i = 0; i + 1 < n; i++)
            if (buf[i] == L'\n')
                abort();
        if (++pieces > 2 * size + 2)
            abort();   // more pieces than bytes: a loop that makes no progress
    }
    TextClose(&reader);
    return 0;
}
