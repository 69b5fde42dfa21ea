// In-memory BMP file images as the converter's picture stages hand them on.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "formats/le_bytes.h"

namespace formats_test {

struct Bgra {
  uint8_t b, g, r, a;
};

// Bottom-up rows; padded to 4 bytes unless packed.  Pixel (x, y) with y = 0
// at the top of the picture.
inline std::vector<uint8_t> MakeBmp(int w, int h, int bitCount, const std::function<Bgra(int, int)>& pixel,
                                    bool packedRows = false) {
  const int bpp = bitCount / 8;
  const int stride = packedRows ? w * bpp : (w * bpp + 3) & ~3;
  std::vector<uint8_t> bmp(54 + static_cast<size_t>(stride) * h, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLe32(&bmp[2], static_cast<uint32_t>(bmp.size()));
  PutLe32(&bmp[10], 54);
  PutLe32(&bmp[14], 40);
  PutLe32(&bmp[18], static_cast<uint32_t>(w));
  PutLe32(&bmp[22], static_cast<uint32_t>(h));
  PutLe16(&bmp[26], 1);
  PutLe16(&bmp[28], static_cast<uint32_t>(bitCount));
  for (int y = 0; y < h && bpp >= 3; ++y) {  // other depths stay zero
    uint8_t* row = &bmp[54 + static_cast<size_t>(stride) * (h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      const Bgra p = pixel(x, y);
      uint8_t* px = row + x * bpp;
      px[0] = p.b;
      px[1] = p.g;
      px[2] = p.r;
      if (bpp == 4) px[3] = p.a;
    }
  }
  return bmp;
}

// An 8-bit bitmap with a colour table and packed rows (as the chip bitmaps).
inline std::vector<uint8_t> MakeBmp8(int w, int h, const std::vector<Bgra>& colours, uint32_t coloursUsed,
                                     const std::function<uint8_t(int, int)>& index) {
  std::vector<uint8_t> bmp(54 + 4 * colours.size() + static_cast<size_t>(w) * h, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLe32(&bmp[18], static_cast<uint32_t>(w));
  PutLe32(&bmp[22], static_cast<uint32_t>(h));
  PutLe16(&bmp[28], 8);
  PutLe32(&bmp[46], coloursUsed);
  for (size_t i = 0; i < colours.size(); ++i) {
    bmp[54 + 4 * i] = colours[i].b;
    bmp[55 + 4 * i] = colours[i].g;
    bmp[56 + 4 * i] = colours[i].r;
  }
  uint8_t* pixels = &bmp[54 + 4 * colours.size()];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels[static_cast<size_t>(w) * (h - 1 - y) + x] = index(x, y);
  return bmp;
}

}  // namespace formats_test
