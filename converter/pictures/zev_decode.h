// Decoders of the desktop game's ZEV pictures into in-memory BMP images.
// Both read only inside the file image they are given and refuse damaged or
// oversized pictures instead of converting garbage.
#pragma once

#include <windows.h>

// ZevHeader fields the converter reads.
constexpr DWORD kZevHeaderBytes = 20;
int ZevVariantOf(const BYTE* file, DWORD fileSize);     // i16 at 12; -1 when the file is too short
DWORD ZevColourCode(const BYTE* file, DWORD fileSize);  // u32 at 16; 0xFFFFFFFF when too short

// Deflate variant (variant 2). *size: in, the file's size; out, the bitmap's.
// Returns a new local-heap bitmap (24-bit, or 32-bit with alpha for colour
// code 1), or null when the file is short, damaged or too large.
BYTE* DecodeZevDeflate(const BYTE* file, DWORD* size);

// Bitmap size the LZ variant decodes into: 54 + 5 x count + h x (w rounded
// up to 4) for palette pictures, 54 + 3 x h x (w rounded up to 4) otherwise;
// 0 when the header is short or the picture too large.
DWORD ZevLzBitmapSize(const BYTE* file, DWORD fileSize);

// LZ variant (every other variant) into a caller's buffer of destSize bytes.
// inputLength is the file image's real length: the stream is never read
// beyond it. Returns 0 when every row was decoded, -1 otherwise (short
// buffer, header or stream). The decoder's 64 KiB history is process-wide
// and persists between pictures; not re-entrant.
int DecodeZevLz(BYTE* dest, const BYTE* file, DWORD destSize, DWORD inputLength);

// The same LZ stream into a flat buffer, no rows or header; stops when the
// input is used up or the output is full. Returns the bytes written.
DWORD DecodeZevLzFlat(const BYTE* input, DWORD inputLength, BYTE* output, DWORD outputCapacity);
