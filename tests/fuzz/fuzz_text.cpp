// The text reader over arbitrary bytes: every piece within its bound, no
// NUL inside, a line feed only at a piece's end, never a hang. Read lazily,
// passing over lines as the search does, the lines read are those read
// with the encoding chosen first.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "text/textread.h"
#include "text/wtext.h"

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

    // Whole lines, eagerly, then lazily passing over those the byte picks.
    const uint8_t skip = data[0];
    std::vector<std::wstring> lines[2];
    for (int lazily = 0; lazily < 2; lazily++) {
        f = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
        if (!(lazily ? TextOpenStreamLazily(&reader, f) : TextOpenStream(&reader, f)))
            abort();
        std::vector<std::wstring>& out = lines[lazily];
        for (int round = 0;; round++) {
            for (;;) {
                const unsigned char* bytes;
                size_t len;
                if (lazily && (skip >> (out.size() % 8) & 1) != 0 && TextPeekLine(&reader, 1023, &bytes, &len)) {
                    TextSkipLine(&reader, len);
                    out.emplace_back();
                    continue;
                }
                if (!TextReadLine(&reader, buf, 1024))
                    break;
                out.emplace_back(buf);
                while (TextLastPiece(&reader).cut && TextReadLine(&reader, buf, 1024))
                    out.back() += buf;
            }
            if (!TextGuessFailed(&reader))
                break;
            if (round > 0 || !TextReadAgain(&reader))
                abort();   // read again once at most, and then right
            out.clear();
        }
        TextClose(&reader);
    }
    if (lines[0].size() != lines[1].size())
        abort();
    for (size_t i = 0; i < lines[0].size(); i++)
        if (!lines[1][i].empty() && lines[1][i] != lines[0][i])
            abort();
    return 0;
}
