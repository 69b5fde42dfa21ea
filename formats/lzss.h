// LZSS coding of the handheld data: a 2048-byte ring whose first write is at
// 2031, matches of 2..17 bytes, flag bytes read least significant bit first
// (1: a literal byte; 0: two bytes giving a ring position and a length).
#pragma once

#include <cstdint>

constexpr int LZSS_RING_SIZE = 2048;
constexpr int LZSS_MAX_MATCH = 17;
constexpr int LZSS_START = LZSS_RING_SIZE - LZSS_MAX_MATCH;  // 2031
constexpr int LZSS_MIN_MATCH = 2;

// Worst case coded size for n input bytes: every item a literal.
constexpr uint32_t LzssMaxCompressedSize(uint32_t n) { return n + (n + 7) / 8; }

// Largest number of bytes that inputSize bytes of LZSS data can describe.
unsigned long long LzssMaxUnpackedSize(uint32_t inputSize);

// Decodes inputSize bytes into output, which holds unpackedSize bytes, and
// returns unpackedSize.  Returns -1, without writing past unpackedSize, when
// the stream describes fewer or more bytes than that, or unpackedSize cannot
// be reported as an int.  A stream that ends after a flag byte, or inside a
// match's two bytes, simply ends.
int LzssDecode(uint8_t* output, const uint8_t* input, uint32_t unpackedSize, uint32_t inputSize);
