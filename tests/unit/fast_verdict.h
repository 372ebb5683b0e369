// The search pass's verdict on one line, for tests: its bytes laid out as
// in the reader's block, the usual reading first, else the general one.
#pragma once

#include <cstring>
#include <string>

#include "search/lineverdict.h"
#include "text/textread.h"

inline LineVerdict FastVerdict(SkipBounds* bounds, const std::string& line)
{
    // The line feed after the bytes, then 80 and zeros, as the block holds them.
    alignas(16) static unsigned char block[2048 + 1 + kReadSlack];
    const size_t n = line.size() < 2048 ? line.size() : 2048;
    std::memset(block, 0, sizeof block);
    std::memcpy(block, line.data(), n);
    block[n] = '\n';
    block[n + 1] = 0x80;
    const unsigned char* p = block;
    LineVerdict verdict;
    if (UsualVerdict(&p, bounds, &verdict))
        return verdict;
    return OtherVerdict(block, n, bounds);
}
