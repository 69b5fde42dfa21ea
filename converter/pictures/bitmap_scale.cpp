#include "converter/pictures/bitmap_scale.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "converter/pictures/bmp_image.h"
#include "converter/pictures/picture_scratch.h"
#include "converter/pictures/rbp_writer.h"

namespace {

struct Shape {
  uint32_t width = 0, height = 0;
  int bits = 0;
  uint32_t paletteEntries = 0;  // 8-bit only
  const BYTE* pixels = nullptr;
};

// Reads the headers and checks that the rows (padded or packed) and the
// palette lie inside the buffer. Pixel data starts at 54 (+ the palette).
bool ReadShape(const BYTE* b, DWORD size, bool padded, Shape* s) {
  if (!b || size < bmp::kHeaderBytes) return false;
  const int32_t w = bmp::Width(b), h = bmp::Height(b);
  if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > bmp::kMaxPixels) return false;
  s->width = static_cast<uint32_t>(w);
  s->height = static_cast<uint32_t>(h);
  s->bits = bmp::BitCount(b);
  uint64_t offset = bmp::kHeaderBytes;
  if (s->bits == 8) {
    const uint32_t used = bmp::ColoursUsed(b);
    s->paletteEntries = used ? used : 256;
    offset += uint64_t{4} * s->paletteEntries;
  } else if (s->bits != 24 && s->bits != 32) {
    return false;
  }
  const uint64_t stride = padded ? bmp::PaddedStride(s->width, s->bits) : uint64_t{s->width} * (s->bits / 8);
  if (offset + stride * s->height > size) return false;
  s->pixels = b + offset;
  return true;
}

// Palette lookup; indices beyond the entries read black.
inline void PaletteColour(const BYTE* palette, uint32_t entries, BYTE index, BYTE* out) {
  if (index < entries) {
    std::memcpy(out, palette + 4 * index, 3);
  } else {
    out[0] = out[1] = out[2] = 0;
  }
}

BYTE* Expand(const BYTE* bitmap, DWORD* size, bool paddedInput) {
  Shape s;
  if (!size || !ReadShape(bitmap, *size, paddedInput, &s)) return nullptr;
  const int inBytes = s.bits / 8;
  const int outBits = s.bits == 32 ? 32 : 24;
  if (!paddedInput && s.bits != 8) return nullptr;
  DWORD outSize = 0;
  BYTE* out = bmp::NewBitmap(s.width, s.height, outBits, false, &outSize);
  if (!out) return nullptr;
  const uint64_t inStride = paddedInput ? bmp::PaddedStride(s.width, s.bits) : s.width;
  const uint64_t outStride = uint64_t{s.width} * (outBits / 8);
  const BYTE* palette = bitmap + bmp::kHeaderBytes;
  for (uint32_t y = 0; y < s.height; ++y) {
    const BYTE* src = s.pixels + y * inStride;
    BYTE* dst = out + bmp::kHeaderBytes + y * outStride;
    if (s.bits == 8) {
      for (uint32_t x = 0; x < s.width; ++x) PaletteColour(palette, s.paletteEntries, src[x], dst + 3 * x);
    } else {
      std::memcpy(dst, src, static_cast<size_t>(s.width) * inBytes);
    }
  }
  *size = outSize;
  return out;
}

enum class Variant { Keyed24, KeyedToAlpha, Alpha32 };

inline bool IsKey(const BYTE* px) { return px[0] == 255 && px[1] == 0 && px[2] == 255; }

// Taps of one output sample of a pass (step s in 1/1024 pixel).
struct Tap {
  uint32_t index;
  int weight;
};
int SampleTaps(uint32_t i, int step, int taps, uint32_t sourceSize, Tap* out) {
  const int64_t q = int64_t{i} * step;
  const uint32_t first = static_cast<uint32_t>(q / 1024);
  const int frac = static_cast<int>(q % 1024);
  int remaining = step;
  int n = 0;
  for (int k = 0; k < taps; ++k) {
    const uint64_t index = uint64_t{first} + k;
    if (index >= sourceSize) continue;
    const int weight = k == 0 ? std::min(1024 - frac, remaining) : std::min(1024, remaining);
    remaining -= weight;
    out[n++] = Tap{static_cast<uint32_t>(index), weight};
  }
  return n;
}

// The output sample of a pixel's channel sums and weight total; empty when
// no weight counted. The divider of the last total met is kept: most pixels
// of a pass share their total.
template <int kChannels>
class SampleWriter {
 public:
  explicit SampleWriter(const BYTE* empty) : empty_(empty) {}
  void Write(const unsigned* acc, unsigned total, BYTE* out) {
    if (total == 0) {
      for (int c = 0; c < kChannels; ++c) out[c] = empty_[c];
    } else if (total == 1024) {
      for (int c = 0; c < kChannels; ++c) out[c] = static_cast<BYTE>(acc[c]);
    } else {
      if (total != total_) {
        divider_ = WeightDivider(total);
        total_ = total;
      }
      for (int c = 0; c < kChannels; ++c) out[c] = static_cast<BYTE>(divider_(acc[c]));
    }
  }

 private:
  const BYTE* empty_;
  unsigned total_ = 1;
  WeightDivider divider_{1};
};

// One scaler per variant, so that the channel loops have fixed counts.
template <Variant variant>
BYTE* Scale(BYTE* input, DWORD* size, int percent, PictureScratch* scratch) {
  if (!input || !size || percent <= 0) return nullptr;
  Shape s;
  if (!ReadShape(input, *size, false, &s)) return nullptr;
  BYTE* expanded = nullptr;
  BYTE* source = input;
  if (variant == Variant::Alpha32) {
    if (s.bits != 32) return nullptr;
  } else {
    if (s.bits == 8) {
      DWORD expandedSize = *size;
      expanded = ExpandPalette8(input, &expandedSize);
      if (!expanded) return nullptr;
      source = expanded;
      if (!ReadShape(source, expandedSize, false, &s)) {
        LocalFree(expanded);
        return nullptr;
      }
    } else if (s.bits != 24) {
      return nullptr;
    }
  }
  const int inBpp = s.bits / 8;
  constexpr int mid = variant == Variant::Keyed24 ? 3 : 4;  // intermediate and output bytes a pixel
  const uint32_t W = s.width, H = s.height;
  const uint32_t NW = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{W} * percent / 100));
  const uint32_t NH = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{H} * percent / 100));
  if (uint64_t{NW} * NH > bmp::kMaxPixels || uint64_t{NW} * H > bmp::kMaxPixels) {
    if (expanded) LocalFree(expanded);
    return nullptr;
  }
  SetSourceSize(static_cast<int>(W), static_cast<int>(H));
  const int sx = static_cast<int>(uint64_t{W} * 1024 / NW);
  const int sy = static_cast<int>(uint64_t{H} * 1024 / NH);
  // A sample's weights add up to at most the step, which for any percent of
  // 1 or more stays below 200 source pixels: inside the divider's range.
  if (uint32_t(sx) >= WeightDivider::kMaxWeightTotal || uint32_t(sy) >= WeightDivider::kMaxWeightTotal) {
    if (expanded) LocalFree(expanded);
    return nullptr;
  }
  const int tx = sx / 1024 + (sx % 1024 ? 1 : 0);
  const int ty = sy / 1024 + (sy % 1024 ? 1 : 0);
  std::vector<Tap> taps(static_cast<size_t>(std::max(tx, ty)));

  // The intermediate picture (every row at NW pixels) is written whole by
  // the first pass.
  ScratchArray<BYTE> ownRows;
  BYTE* inter = (scratch ? scratch->scaleRows : ownRows).Get(static_cast<size_t>(NW) * H * mid);
  DWORD outSize = 0;
  BYTE* out = inter ? bmp::NewBitmap(NW, NH, mid * 8, true, &outSize) : nullptr;
  if (!out) {
    if (expanded) LocalFree(expanded);
    return nullptr;
  }
  const BYTE emptyPixel[4] = {static_cast<BYTE>(variant == Variant::Keyed24 ? 255 : 0), 0,
                              static_cast<BYTE>(variant == Variant::Keyed24 ? 255 : 0), 0};
  BYTE* sourcePixels = source + (s.pixels - source);

  // Pass 1: every row to NW pixels. The taps of each column are the same
  // for every row: work them out once.
  std::vector<Tap> columnTaps(static_cast<size_t>(NW) * tx);
  std::vector<int> columnTapCount(NW);
  SampleWriter<mid> writer(emptyPixel);
  for (uint32_t i = 0; i < NW; ++i)
    columnTapCount[i] = SampleTaps(i, sx, tx, W, &columnTaps[static_cast<size_t>(i) * tx]);
  for (uint32_t y = 0; y < H; ++y) {
    BYTE* row = sourcePixels + uint64_t{y} * W * inBpp;
    BYTE* dst = inter + uint64_t{y} * NW * mid;
    for (uint32_t i = 0; i < NW; ++i) {
      const Tap* t = &columnTaps[static_cast<size_t>(i) * tx];
      const int n = columnTapCount[i];
      unsigned acc[4] = {0, 0, 0, 0};
      unsigned total = 0;
      for (int k = 0; k < n; ++k) {
        BYTE* px = row + uint64_t{t[k].index} * inBpp;
        const unsigned wgt = static_cast<unsigned>(t[k].weight);
        switch (variant) {
          case Variant::Keyed24:
            if (IsKey(px)) break;
            for (int c = 0; c < 3; ++c) acc[c] += px[c] * wgt / 1024;
            total += wgt;
            break;
          case Variant::KeyedToAlpha:
            total += wgt;
            if (IsKey(px)) break;
            for (int c = 0; c < 3; ++c) acc[c] += px[c] * wgt / 1024;
            acc[3] += 255 * wgt / 1024;
            break;
          case Variant::Alpha32:
            if (IsKey(px) && px[3] != 255) px[0] = px[1] = px[2] = 0;
            for (int c = 0; c < 4; ++c) acc[c] += px[c] * wgt / 1024;
            total += wgt;
            break;
        }
      }
      writer.Write(acc, total, dst + uint64_t{i} * mid);
    }
  }

  // Pass 2: every column to NH rows.
  const uint64_t outStride = bmp::PaddedStride(NW, mid * 8);
  for (uint32_t j = 0; j < NH; ++j) {
    const int n = SampleTaps(j, sy, ty, H, taps.data());
    BYTE* dst = out + bmp::kHeaderBytes + j * outStride;
    for (uint32_t x = 0; x < NW; ++x) {
      unsigned acc[4] = {0, 0, 0, 0};
      unsigned total = 0;
      for (int k = 0; k < n; ++k) {
        const BYTE* px = inter + (uint64_t{taps[k].index} * NW + x) * mid;
        const unsigned wgt = static_cast<unsigned>(taps[k].weight);
        if (variant == Variant::Keyed24 && IsKey(px)) continue;
        for (int c = 0; c < mid; ++c) acc[c] += px[c] * wgt / 1024;
        total += wgt;
      }
      writer.Write(acc, total, dst + uint64_t{x} * mid);
    }
  }
  if (expanded) LocalFree(expanded);
  *size = outSize;
  return out;
}

}  // namespace

BYTE* RepackBitmap(const BYTE* bitmap, DWORD* size) { return Expand(bitmap, size, true); }

BYTE* ExpandPalette8(const BYTE* bitmap, DWORD* size) {
  if (!bitmap || !size || *size < bmp::kHeaderBytes || bmp::BitCount(bitmap) != 8) return nullptr;
  return Expand(bitmap, size, false);
}

BYTE* ScaleKeyed24(const BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch) {
  // The keyed scalers only read their input.
  return Scale<Variant::Keyed24>(const_cast<BYTE*>(bitmap), size, percent, scratch);
}

BYTE* ScaleKeyedToAlpha(const BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch) {
  return Scale<Variant::KeyedToAlpha>(const_cast<BYTE*>(bitmap), size, percent, scratch);
}

BYTE* ScaleAlpha32(BYTE* bitmap, DWORD* size, int percent, PictureScratch* scratch) {
  return Scale<Variant::Alpha32>(bitmap, size, percent, scratch);
}

BYTE* TrimTransparentColumns(const BYTE* bitmap, DWORD* size, int percent) {
  Shape s;
  if (!size || percent <= 0 || !ReadShape(bitmap, *size, false, &s) || s.bits != 32) return nullptr;
  const uint32_t w = s.width, h = s.height;
  // At least one column stays, even of a picture transparent throughout.
  uint32_t margin = (w - 1) / 2;
  for (uint32_t y = 0; y < h && margin > 0; ++y) {
    const BYTE* row = s.pixels + uint64_t{y} * w * 4;
    uint32_t k = 0;
    while (k < margin && row[k * 4 + 3] == 0 && row[(w - 1 - k) * 4 + 3] == 0) ++k;
    if (k < margin) margin = k;
  }
  while (margin > 0 && (w - 2 * margin) % 16 != 0) --margin;
  const uint32_t nw = w - 2 * margin;
  DWORD outSize = 0;
  BYTE* out = bmp::NewBitmap(nw, h, 32, false, &outSize);
  if (!out) return nullptr;
  for (uint32_t y = 0; y < h; ++y)
    std::memcpy(out + bmp::kHeaderBytes + uint64_t{y} * nw * 4, s.pixels + (uint64_t{y} * w + margin) * 4,
                uint64_t{nw} * 4);
  SetSourceSize(static_cast<int>(uint64_t{nw} * 100 / percent), static_cast<int>(uint64_t{h} * 100 / percent));
  *size = outSize;
  return out;
}
