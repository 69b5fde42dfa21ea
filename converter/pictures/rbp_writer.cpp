#include "converter/pictures/rbp_writer.h"

#include <cstring>

#include "converter/pictures/jbp1_recoder.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"

namespace {

constexpr DWORD kBmpHeaders = 14 + 40;

struct BitmapInfo {
  long long width;
  long long height;
  int bitCount;
};

BitmapInfo ReadBitmapInfo(const BYTE* bmp) {
  BitmapInfo info;
  info.width = static_cast<int32_t>(GetLe32(bmp + 18));
  info.height = static_cast<int32_t>(GetLe32(bmp + 22));
  info.bitCount = GetLe16(bmp + 28);
  return info;
}

BYTE* AllocPicture(unsigned long long size) {
  if (size > 0x7FFFFFFFull) return nullptr;
  return static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(size)));
}

}  // namespace

SourceSizeRecord SourceSize = {0, 0};

void SetSourceSize(int width, int height) {
  SourceSize.width = width;
  SourceSize.height = height;
}

BYTE* MakeRbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB,
                     PictureScratch* scratch) {
  if (outLength != nullptr) *outLength = 0;
  if (bitmap == nullptr || outLength == nullptr) return nullptr;
  if (quality != 0) {
    BYTE* jbp = MakeRbpJbpPicture(bitmap, outLength, quality, valueA, valueB, scratch);
    if (jbp != nullptr) return jbp;
    *outLength = 0;
  }

  const BitmapInfo info = ReadBitmapInfo(bitmap);
  if ((info.bitCount != 24 && info.bitCount != 32) || info.width <= 0 || info.height <= 0) return nullptr;
  const long long w = info.width, h = info.height;
  const int bytesPerPixel = info.bitCount / 8;
  const int outBytesPerPixel = info.bitCount == 24 ? 2 : 3;
  const unsigned long long size = RBP_HEADER_SIZE + static_cast<unsigned long long>(outBytesPerPixel) * w * h;
  BYTE* picture = AllocPicture(size);
  if (picture == nullptr) return nullptr;

  RbpHeader header{};
  std::memcpy(header.magic, "RBP5", 4);
  header.type = info.bitCount == 24 ? RBP_TYPE_RGB565 : RBP_TYPE_RGB565_ALPHA;
  header.width = static_cast<DWORD>(w);
  header.height = static_cast<DWORD>(h);
  header.headerSize = RBP_HEADER_SIZE;
  header.sourceWidth = static_cast<SHORT>(SourceSize.width);
  header.sourceHeight = static_cast<SHORT>(SourceSize.height);
  header.valueA = valueA;
  header.valueB = valueB;
  StoreRbpHeader(picture, header);

  const unsigned long long stride = (bytesPerPixel * w + 3) & ~3ull;
  BYTE* out = picture + RBP_HEADER_SIZE;
  for (long long y = 0; y < h; ++y) {
    // Bottom-up rows: the last stored row is the top of the picture.
    const BYTE* row = bitmap + kBmpHeaders + stride * (h - 1 - y);
    for (long long x = 0; x < w; ++x, row += bytesPerPixel) {
      PutLe16(out, PackRgb565(row[2], row[1], row[0]));
      out += 2;
      if (bytesPerPixel == 4) *out++ = row[3];
    }
  }
  *outLength = static_cast<DWORD>(size);
  return picture;
}

BYTE* MakeChipPicture(const BYTE* bitmap, DWORD* outLength) {
  if (outLength != nullptr) *outLength = 0;
  if (bitmap == nullptr || outLength == nullptr) return nullptr;
  const BitmapInfo info = ReadBitmapInfo(bitmap);
  if ((info.bitCount != 8 && info.bitCount != 24) || info.width <= 0 || info.height <= 0) return nullptr;
  const long long w = info.width, h = info.height;

  DWORD colours = 0;
  const BYTE* pixels = bitmap + kBmpHeaders;
  if (info.bitCount == 8) {
    colours = GetLe32(bitmap + 46);
    if (colours == 0 || colours > 256) colours = 256;
    pixels += 4 * colours;
  }
  const unsigned long long size = RBP_HEADER_SIZE + 2ull * w * h;
  BYTE* picture = AllocPicture(size);
  if (picture == nullptr) return nullptr;

  RbpHeader header{};
  std::memcpy(header.magic, "KBP1", 4);
  header.type = RBP_TYPE_RGB565;
  header.width = static_cast<DWORD>(w);
  header.height = static_cast<DWORD>(h);
  header.headerSize = RBP_HEADER_SIZE;
  header.sourceWidth = static_cast<SHORT>(w);
  header.sourceHeight = static_cast<SHORT>(h);
  StoreRbpHeader(picture, header);

  const BYTE* palette = bitmap + kBmpHeaders;
  const int bytesPerPixel = info.bitCount / 8;
  BYTE* out = picture + RBP_HEADER_SIZE;
  for (long long y = 0; y < h; ++y) {
    // Chip rows are packed: exactly width pixels apart.
    const BYTE* row = pixels + static_cast<unsigned long long>(bytesPerPixel) * w * (h - 1 - y);
    for (long long x = 0; x < w; ++x) {
      WORD value;
      if (bytesPerPixel == 1) {
        const BYTE index = row[x];
        // An index past the colour table reads no neighbouring bytes.
        value = index < colours ? PackRgb565(palette[4 * index + 2], palette[4 * index + 1], palette[4 * index]) : 0;
      } else {
        value = PackRgb565(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      }
      PutLe16(out, value);
      out += 2;
    }
  }
  *outLength = static_cast<DWORD>(size);
  return picture;
}
