// The search and its floor, nanoseconds per line on generated files
// (bench/run.sh makes them and passes the folder).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>
#include <cstdlib>
#include <string>

#include "search/nearest.h"
#include "text/textread.h"

namespace {

TextReader reader;
NearestSlot slots[kNearestCount];
Text lineBuf;

std::wstring FileFor(long lines)
{
    const char* dir = std::getenv("WENDRIK_BENCH_DIR");
    std::string p = std::string(dir ? dir : "build/bench") + "/pois-" + std::to_string(lines) + ".asc";
    return std::wstring(p.begin(), p.end());
}

void BM_ReadLines(benchmark::State& state)
{
    std::wstring path = FileFor(state.range(0));
    long lines = 0;
    for (auto _ : state) {
        if (!TextOpenRead(&reader, path.c_str())) {
            state.SkipWithError("no file; run bench/run.sh");
            return;
        }
        while (TextReadLine(&reader, lineBuf, kTextLen))
            lines++;
        TextClose(&reader);
    }
    state.SetItemsProcessed(lines);
}

void BM_Search(benchmark::State& state)
{
    std::wstring path = FileFor(state.range(0));
    long lines = 0;
    wchar_t* parseEnd = nullptr;
    for (auto _ : state) {
        if (!SearchNearest(&reader, path.c_str(), 50.11, 8.68, slots, lineBuf, &parseEnd)) {
            state.SkipWithError("no file; run bench/run.sh");
            return;
        }
        lines += state.range(0);
    }
    benchmark::DoNotOptimize(slots[0].distanceKm);
    state.SetItemsProcessed(lines);
}

// The floor: a plain loop that reads the file in blocks, splits it into
// lines and parses both numbers of each with std::from_chars.
void BM_SplitAndParse(benchmark::State& state)
{
    std::wstring wpath = FileFor(state.range(0));
    std::string path(wpath.begin(), wpath.end());
    std::vector<char> block(1 << 16);
    long lines = 0;
    double sum = 0;
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) {
            state.SkipWithError("no file; run bench/run.sh");
            return;
        }
        size_t keep = 0, got;
        while ((got = std::fread(block.data() + keep, 1, block.size() - keep, f)) > 0) {
            const char* p = block.data();
            const char* end = p + keep + got;
            const char* nl;
            while ((nl = (const char*)std::memchr(p, '\n', (size_t)(end - p))) != nullptr) {
                double lon = 0, lat = 0;
                auto r = std::from_chars(p, nl, lon);
                if (r.ec == std::errc() && r.ptr < nl)
                    std::from_chars(r.ptr + 1, nl, lat);
                sum += lon + lat;
                lines++;
                p = nl + 1;
            }
            keep = (size_t)(end - p);
            std::memmove(block.data(), p, keep);
        }
        std::fclose(f);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(lines);
}

}  // namespace

BENCHMARK(BM_SplitAndParse)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLines)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
