// Writer of the desktop game's ZEV pictures, for the sample game and test
// fixtures. It writes only what the converter's decoders read: the deflate
// variant with row filters 0..4 and the LZ variant, whose matches never reach
// before the picture's own first byte and never have distance 0.
#pragma once

#include <cstdint>
#include <vector>

namespace vtools {

enum class ZevVariant { Deflate, Lz };

// A picture as the generator draws it: rows top first, no padding.
struct ZevPicture {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 24;         // 8 (palette indices), 24 (B,G,R) or 32 (B,G,R,A)
  std::vector<uint8_t> pixels;   // width * height * bitsPerPixel / 8 bytes
  std::vector<uint8_t> palette;  // 8-bit only: entries of B,G,R
  int PaletteCount() const { return static_cast<int>(palette.size() / 3); }
  int BytesPerPixel() const { return bitsPerPixel / 8; }
};

struct ZevOptions {
  ZevVariant variant = ZevVariant::Deflate;
  // Deflate, 24/32-bit: filter byte of row y is filters[y % size]; the first
  // row falls back to filter 0 when its entry refers to the row above (1..3).
  std::vector<int> filters{0, 1, 2, 3, 4};
  // LZ: exercise every match form the decoder knows (false = literals only).
  bool lzMatches = true;
  // Deflate: the zlib level (1 fastest .. 9 smallest).
  int deflateLevel = 9;
};

// The whole file image; empty when the picture cannot be written in that
// variant (a deflate palette needs at least 2 entries, the LZ variant has no
// 32-bit form, sizes must fit 16 bits).
std::vector<uint8_t> WriteZev(const ZevPicture& picture, const ZevOptions& options);

// The LZ stream alone (flags, literals, matches) of the given bytes.
std::vector<uint8_t> LzEncode(const std::vector<uint8_t>& data, bool useMatches);

}  // namespace vtools
