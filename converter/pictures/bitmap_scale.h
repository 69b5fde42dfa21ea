// Bitmap transforms of the picture road: repacking to unpadded rows, palette
// expansion, the three box-filter downscalers and the trim of transparent side
// columns. Each takes an in-memory BMP and its size (in: the input's bytes,
// out: the result's) and returns a new local-heap bitmap, or null when the
// input is of a kind it does not take, is shorter than its header says, or
// the percent is not positive. Outputs are at least 1 x 1.
#pragma once

#include <windows.h>

struct PictureScratch;

BYTE* RepackBitmap(const BYTE* bitmap, DWORD* size);
BYTE* ExpandPalette8(const BYTE* bitmap, DWORD* size);
// The scalers keep their intermediate picture in the scratch memory when
// given some.
BYTE* ScaleKeyed24(const BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch = nullptr);
BYTE* ScaleKeyedToAlpha(const BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch = nullptr);
// Blackens translucent magenta pixels of its input in place before averaging.
BYTE* ScaleAlpha32(BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch = nullptr);
BYTE* TrimTransparentColumns(const BYTE* bitmap, DWORD* size, int percent);

// Each scaler records its input's size as the picture's size at desktop
// scale (SourceSize, read by the .rbp writer that follows); the trim
// replaces it with its own result's.
