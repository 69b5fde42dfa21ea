// LZSS coding of the handheld data: a 2048-byte ring whose first write is at
// 2031, matches of 2..17 bytes, flag bytes read least significant bit first
// (1: a literal byte; 0: two bytes giving a ring position and a length).
#pragma once

#include <windows.h>

constexpr int LZSS_RING_SIZE = 2048;
constexpr int LZSS_MAX_MATCH = 17;
constexpr int LZSS_START = LZSS_RING_SIZE - LZSS_MAX_MATCH;  // 2031
constexpr int LZSS_MIN_MATCH = 2;

// Worst case coded size for n input bytes: every item a literal.
constexpr DWORD LzssMaxCompressedSize(DWORD n) { return n + (n + 7) / 8; }

// Largest number of bytes that inputSize bytes of LZSS data can describe.
unsigned long long LzssMaxUnpackedSize(DWORD inputSize);

// Decodes inputSize bytes into output, which holds unpackedSize bytes, and
// returns unpackedSize.  Returns -1, without writing past unpackedSize, when
// the stream describes fewer or more bytes than that, or unpackedSize cannot
// be reported as an int.  A stream that ends after a flag byte, or inside a
// match's two bytes, simply ends.
int LzssDecode(BYTE* output, const BYTE* input, DWORD unpackedSize, DWORD inputSize);
