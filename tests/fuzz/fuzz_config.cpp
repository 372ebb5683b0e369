// Configuration lines and the command-line switch over arbitrary text:
// the directories stay terminated within their buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/config.h"

static TextReader reader;
static Text poiDir, tourDir, lineBuf, commandLine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t handOff = 0;
    poiDir[0] = tourDir[0] = L'\0';
    ConfigTarget target = {poiDir, tourDir, &handOff};
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (size > 0 && TextOpenStream(&reader, f)) {
        while (TextReadLine(&reader, lineBuf, kTextLen))
            ApplyConfigLine(lineBuf, target);
        TextClose(&reader);
    }
    if (TextLength(poiDir, kTextLen) >= kTextLen || TextLength(tourDir, kTextLen) >= kTextLen)
        abort();
    // The same bytes as a command line.
    size_t n = size < kTextLen - 1 ? size : kTextLen - 1;
    for (size_t i = 0; i < n; i++)
        commandLine[i] = (wchar_t)(data[i] == 0 ? ' ' : data[i]);
    commandLine[n] = L'\0';
    ApplyCommandLine(commandLine, &handOff);
    return 0;
}
