// In-memory Windows BMP file images as the picture stages hand them on:
// 14-byte file header, 40-byte information header, optional palette of
// 4-byte entries, rows bottom-up. Fields are read and written little-endian.
#pragma once

#include <windows.h>

#include <cstdint>

#include "formats/le_bytes.h"

namespace bmp {

constexpr DWORD kHeaderBytes = 54;
// Largest picture any stage takes on (pixels); larger ones are refused.
constexpr uint64_t kMaxPixels = uint64_t{1} << 25;

inline int32_t Width(const BYTE* b) { return static_cast<int32_t>(GetLe32(b + 18)); }
inline int32_t Height(const BYTE* b) { return static_cast<int32_t>(GetLe32(b + 22)); }
inline int BitCount(const BYTE* b) { return static_cast<int>(GetLe16(b + 28)); }
inline uint32_t ColoursUsed(const BYTE* b) { return GetLe32(b + 46); }

// Row bytes rounded up to a multiple of 4.
inline uint64_t PaddedStride(uint64_t width, int bitCount) { return (width * (bitCount / 8) + 3) & ~uint64_t{3}; }

// Writes both headers (reserved words left as they are).
inline void WriteHeaders(BYTE* b, uint32_t width, uint32_t height, int bitCount, uint32_t imageSize,
                         uint32_t pixelOffset, uint32_t fileSize, uint32_t coloursUsed) {
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(b + 2, fileSize);
  PutLe32(b + 10, pixelOffset);
  PutLe32(b + 14, 40);
  PutLe32(b + 18, width);
  PutLe32(b + 22, height);
  PutLe16(b + 26, 1);
  PutLe16(b + 28, static_cast<uint32_t>(bitCount));
  PutLe32(b + 30, 0);
  PutLe32(b + 34, imageSize);
  PutLe32(b + 38, 0);
  PutLe32(b + 42, 0);
  PutLe32(b + 46, coloursUsed);
  PutLe32(b + 50, 0);
}

// A new zeroed local-heap bitmap of the given shape (no palette); null when
// the picture is empty or too large.
BYTE* NewBitmap(uint32_t width, uint32_t height, int bitCount, bool padded, DWORD* size);

}  // namespace bmp
