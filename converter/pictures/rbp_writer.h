// The picture writers (".rbp", layout in formats/rbp_format.h).  Types 13
// (RGB565) and 1 (RGB565 plus an alpha byte) are written here; types 30 and
// 32 carry a JBP1 stream (and an LZSS alpha plane) and come from the JBP1
// re-coder.  Bitmaps are in-memory BMP file images (bottom-up rows).
#pragma once

#include <windows.h>

#include "formats/rbp_format.h"

struct PictureScratch;

// The picture's width and height at desktop scale, recorded by the scaling
// step for the writer that follows it (one picture at a time).
struct SourceSizeRecord {
  int width;
  int height;
};
extern SourceSizeRecord SourceSize;
void SetSourceSize(int width, int height);

// A new LocalAlloc picture ("RBP7" from the re-coder for a quality code other
// than 0, else "RBP5" type 13 for 24-bit and type 1 for 32-bit bitmaps) and
// its size in *outLength; null for other bit counts or when allocation fails.
// The re-coder works in the scratch memory when given some.
BYTE* MakeRbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB,
                     PictureScratch* scratch = nullptr);

// The chip picture: "KBP1", type 13, from an 8-bit or 24-bit bitmap whose
// rows are exactly width pixels apart.  LocalAlloc'd; null for other depths.
BYTE* MakeChipPicture(const BYTE* bitmap, DWORD* outLength);
