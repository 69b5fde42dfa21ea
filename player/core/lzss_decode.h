// The player's LZSS decoder (flag bytes least significant bit first, 2048-byte
// ring whose first write is at 2031, matches of 2..17 bytes).
#pragma once

#include <windows.h>

// Largest number of bytes that inputSize bytes of LZSS data can describe.
unsigned long long LzssMaxUnpackedSize(DWORD inputSize);

// Decodes inputSize bytes into output, which holds unpackedSize bytes, and
// returns unpackedSize.  Returns -1, without writing past unpackedSize, when
// the stream describes fewer or more bytes than that, or unpackedSize cannot
// be reported as an int.  A stream that ends after a flag byte, or inside a
// match's two bytes, simply ends.
int LzssDecode(BYTE* output, const BYTE* input, DWORD unpackedSize, DWORD inputSize);
