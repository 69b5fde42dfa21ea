// In-memory Windows BMP file images as the picture stages hand them on:
// 14-byte file header, 40-byte information header, optional palette of
// 4-byte entries, rows bottom-up. Fields are read and written little-endian.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bmp {

constexpr DWORD kHeaderBytes = 54;
// Largest picture any stage takes on (pixels); larger ones are refused.
constexpr uint64_t kMaxPixels = uint64_t{1} << 25;

inline uint32_t GetU16(const BYTE* p) { return p[0] | (p[1] << 8); }
inline uint32_t GetU32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
inline void PutU16(BYTE* p, uint32_t v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void PutU32(BYTE* p, uint32_t v) {
  PutU16(p, v & 0xFFFF);
  PutU16(p + 2, v >> 16);
}

inline int32_t Width(const BYTE* b) { return static_cast<int32_t>(GetU32(b + 18)); }
inline int32_t Height(const BYTE* b) { return static_cast<int32_t>(GetU32(b + 22)); }
inline int BitCount(const BYTE* b) { return static_cast<int>(GetU16(b + 28)); }
inline uint32_t ColoursUsed(const BYTE* b) { return GetU32(b + 46); }

// Row bytes rounded up to a multiple of 4.
inline uint64_t PaddedStride(uint64_t width, int bitCount) { return (width * (bitCount / 8) + 3) & ~uint64_t{3}; }

// Writes both headers (reserved words left as they are).
inline void WriteHeaders(BYTE* b, uint32_t width, uint32_t height, int bitCount, uint32_t imageSize,
                         uint32_t pixelOffset, uint32_t fileSize, uint32_t coloursUsed) {
  b[0] = 'B';
  b[1] = 'M';
  PutU32(b + 2, fileSize);
  PutU32(b + 10, pixelOffset);
  PutU32(b + 14, 40);
  PutU32(b + 18, width);
  PutU32(b + 22, height);
  PutU16(b + 26, 1);
  PutU16(b + 28, static_cast<uint32_t>(bitCount));
  PutU32(b + 30, 0);
  PutU32(b + 34, imageSize);
  PutU32(b + 38, 0);
  PutU32(b + 42, 0);
  PutU32(b + 46, coloursUsed);
  PutU32(b + 50, 0);
}

// A new zeroed local-heap bitmap of the given shape (no palette); null when
// the picture is empty or too large.
BYTE* NewBitmap(uint32_t width, uint32_t height, int bitCount, bool padded, DWORD* size);

}  // namespace bmp
