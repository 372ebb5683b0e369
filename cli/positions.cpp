#include "cli/positions.h"

// The positions come in file order and are counted at the end: first spread by hash into partitions
// of a few thousand, then each partition counted in a table the cache
// holds, instead of one table of the whole file with a cache miss for
// every line. Reorders keys.
size_t CountDistinctPositions(std::vector<PositionKey>& keys)
{
    const size_t n = keys.size();
    unsigned bits = 0;   // 2^bits partitions of about 4096 keys
    while (bits < 16 && (n >> bits) > 4096)
        bits++;
    std::vector<PositionKey> spread(n);
    std::vector<size_t> start((size_t)1 << bits, 0);
    auto part = [bits](uint64_t h) { return bits == 0 ? (size_t)0 : (size_t)(h >> (64 - bits)); };
    for (const PositionKey& k : keys)
        start[part(HashKey(k))]++;
    size_t sum = 0;
    for (size_t& s : start) {
        const size_t count = s;
        s = sum;
        sum += count;
    }
    std::vector<size_t> next(start);
    for (const PositionKey& k : keys)
        spread[next[part(HashKey(k))]++] = k;
    size_t distinct = 0;
    std::vector<uint32_t> table;   // index in the partition plus one; 0: empty
    for (size_t p = 0; p < start.size(); p++) {
        const size_t from = start[p], to = p + 1 < start.size() ? start[p + 1] : n;
        size_t size = 16;
        while (size < 2 * (to - from))
            size *= 2;
        table.assign(size, 0);
        for (size_t k = from; k < to; k++) {
            const PositionKey& key = spread[k];
            for (size_t i = (size_t)HashKey(key) & (size - 1);; i = (i + 1) & (size - 1)) {
                if (table[i] == 0) {
                    table[i] = (uint32_t)(k - from + 1);
                    distinct++;
                    break;
                }
                const PositionKey& seen = spread[from + table[i] - 1];
                if (seen.lon == key.lon && seen.lat == key.lat)
                    break;
            }
        }
    }
    return distinct;
}

