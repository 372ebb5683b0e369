// The positions a check has seen, to find duplicates: one line at a time
// for the full report, or counted at the end when only the count is
// reported. Memory grows with the positions, a few bytes each.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// A position as its bits (finite, -0 made 0).
struct PositionKey {
    uint64_t lon, lat;
};

// The positions seen so far, for duplicates. The positions themselves are
// appended to one array in the order they come; the table that finds them
// holds 8 bytes a slot (a fingerprint and the entry's index), so that a
// million positions stay in a few megabytes the cache can keep, and the
// full entry is read only where the fingerprint matches.
inline uint64_t HashKey(const PositionKey& k)
{
    uint64_t h = (k.lon ^ (k.lat * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 31);
}

class PositionTable {
public:
    // The line that first had the position (finite, -0 made 0); 0 when
    // it is new, and then it is recorded as line's.
    long FirstLine(double lon, double lat, long line)
    {
        if ((entries_.size() + 1) * 2 > slots_.size())
            Grow();
        Entry key;
        std::memcpy(&key.lon, &lon, 8);
        std::memcpy(&key.lat, &lat, 8);
        key.line = line;
        const uint64_t h = Hash(key);
        const uint32_t print = Fingerprint(h);
        const size_t mask = slots_.size() - 1;
        for (size_t i = (size_t)h & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.entry == 0) {
                entries_.push_back(key);
                s.print = print;
                s.entry = (uint32_t)entries_.size();
                return 0;
            }
            if (s.print == print) {
                const Entry& e = entries_[s.entry - 1];
                if (e.lon == key.lon && e.lat == key.lat)
                    return e.line;
            }
        }
    }

private:
    struct Entry {
        uint64_t lon, lat;
        long line;
    };
    struct Slot {
        uint32_t print = 0;
        uint32_t entry = 0;   // index into entries_ plus one; 0: empty
    };

    static uint64_t Hash(const Entry& e) { return HashKey({e.lon, e.lat}); }
    static uint32_t Fingerprint(uint64_t h) { return (uint32_t)(h >> 32); }

    void Grow()
    {
        slots_.assign(slots_.empty() ? 1024 : slots_.size() * 2, Slot());
        const size_t mask = slots_.size() - 1;
        for (size_t k = 0; k < entries_.size(); k++) {
            const uint64_t h = Hash(entries_[k]);
            size_t i = (size_t)h & mask;
            while (slots_[i].entry != 0)
                i = (i + 1) & mask;
            slots_[i].print = Fingerprint(h);
            slots_[i].entry = (uint32_t)(k + 1);
        }
    }

    std::vector<Slot> slots_;
    std::vector<Entry> entries_;
};

// How many of the keys are there for the first time, for a check that
// reports only the count of duplicates. Reorders keys.
size_t CountDistinctPositions(std::vector<PositionKey>& keys);
