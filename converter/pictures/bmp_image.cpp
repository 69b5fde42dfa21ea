#include "converter/pictures/bmp_image.h"

namespace bmp {

BYTE* NewBitmap(uint32_t width, uint32_t height, int bitCount, bool padded, DWORD* size) {
  if (width == 0 || height == 0 || uint64_t{width} * height > kMaxPixels) return nullptr;
  const uint64_t stride = padded ? PaddedStride(width, bitCount) : uint64_t{width} * (bitCount / 8);
  const uint64_t image = stride * height;
  BYTE* b = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<SIZE_T>(kHeaderBytes + image)));
  if (!b) return nullptr;
  WriteHeaders(b, width, height, bitCount, static_cast<uint32_t>(image), kHeaderBytes,
               static_cast<uint32_t>(kHeaderBytes + image), 0);
  if (size) *size = static_cast<DWORD>(kHeaderBytes + image);
  return b;
}

}  // namespace bmp
