// The compiler intrinsics of the hot loops, in one place. Every build
// (g++ for the host and the device's ARM, mingw-w64's g++, clang for the
// fuzzers) is GCC or Clang, so they are used as they are.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if !defined(__GNUC__)
#error "Wendrik is built with GCC or Clang"
#endif
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#error "the word-at-a-time scans read words as little-endian"
#endif

// SSE2 where the processor has it (x86-64 always), unless the build asks
// for the word-at-a-time code of the others (the device's ARM) to test it.
#if defined(__SSE2__) && !defined(WENDRIK_WORDS)
#define WENDRIK_SSE2 1
#include <emmintrin.h>
#else
#define WENDRIK_SSE2 0
#endif

// A per-line helper that belongs inside its caller's loop, and one that
// must stay out of it (so that the loop keeps its values in registers).
#define WENDRIK_ALWAYS_INLINE inline __attribute__((always_inline))
#define WENDRIK_NOINLINE __attribute__((noinline))

inline int TrailingZeros32(uint32_t x) { return __builtin_ctz(x); }
inline int TrailingZeros64(uint64_t x) { return __builtin_ctzll(x); }
inline int LeadingZeros64(uint64_t x) { return __builtin_clzll(x); }

// The high 64 bits of a 64-bit product; 32-bit processors (the device's)
// have no 128-bit type and take it in four 32-bit products.
inline uint64_t MulHigh64(uint64_t a, uint64_t b)
{
#if defined(__SIZEOF_INT128__)
    return (uint64_t)(((unsigned __int128)a * b) >> 64);
#else
    const uint64_t a0 = (uint32_t)a, a1 = a >> 32, b0 = (uint32_t)b, b1 = b >> 32;
    const uint64_t p01 = a0 * b1, p10 = a1 * b0;
    const uint64_t middle = ((a0 * b0) >> 32) + (uint32_t)p01 + (uint32_t)p10;
    return a1 * b1 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
#endif
}

// A machine word of bytes, read in one load. Processors without unaligned
// loads (the device's ARMv5) read it only from an address aligned to its
// size; the others from anywhere. (A build that tests the device's code
// on the host, WENDRIK_WORDS, reads aligned words too.)
using ByteWord = size_t;
constexpr ByteWord kHighBits = (ByteWord)0x8080808080808080ULL;
#if !defined(WENDRIK_WORDS) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || \
                                defined(__ARM_FEATURE_UNALIGNED))
constexpr uintptr_t kWordAlignment = 1;
#else
constexpr uintptr_t kWordAlignment = sizeof(ByteWord);
#endif

inline ByteWord LoadWord(const unsigned char* p)
{
    ByteWord w;
    std::memcpy(&w, __builtin_assume_aligned(p, kWordAlignment), sizeof w);
    return w;
}

// Four bytes from an address aligned to four.
inline uint32_t LoadAligned32(const unsigned char* p)
{
    uint32_t w;
    std::memcpy(&w, __builtin_assume_aligned(p, sizeof w), sizeof w);
    return w;
}

// The index of the first byte with its top bit set in a word (high holds
// only those top bits, not all zero).
inline int FirstHighByte(ByteWord high)
{
    return (sizeof(ByteWord) == 8 ? TrailingZeros64((uint64_t)high) : TrailingZeros32((uint32_t)high)) / 8;
}
