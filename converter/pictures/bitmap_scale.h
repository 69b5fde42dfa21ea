// Bitmap transforms of the picture road: repacking to unpadded rows, palette
// expansion, the three box-filter downscalers and the trim of transparent side
// columns. Each takes an in-memory BMP and its size (in: the input's bytes,
// out: the result's) and returns a new local-heap bitmap, or null when the
// input is of a kind it does not take, is shorter than its header says, or
// the percent is not positive. Outputs are at least 1 x 1.
#pragma once

#include <windows.h>

#include <cstdint>

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

// A scaler's output sample: floor(sum x 1024 / total), where sum adds
// floor(value x weight / 1024) over the taps, so that sum x 1024 <= 255 x
// total, and total (a sum of tap weights) is below kMaxWeightTotal. Exact
// over that whole range with one reciprocal per total and no division per
// channel.
class WeightDivider {
 public:
  static constexpr uint32_t kMaxWeightTotal = uint32_t{1} << 18;
  // total: 1 .. kMaxWeightTotal - 1.
  explicit WeightDivider(uint32_t total) : reciprocal_(((uint64_t{1} << 44) + total - 1) / total) {}
  uint32_t operator()(uint32_t sum) const { return static_cast<uint32_t>((sum * reciprocal_) >> 34); }

 private:
  // ceil(2^44 / total). With n = sum x 1024 = q x total + r (r < total) and
  // e = reciprocal x total - 2^44 < total: n x reciprocal / 2^44 =
  // q + (r + n x e / 2^44) / total, and n x e < 255 x total^2 <= 2^44, so the
  // shift gives q exactly.
  uint64_t reciprocal_;
};
