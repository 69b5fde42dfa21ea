#include "tools/zev_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "formats/le_bytes.h"

namespace vtools {
namespace {

// One plane of a filter-4 row: v, then v, n for a run of 1 + n equal values.
void PutPlanarRuns(std::vector<uint8_t>& out, const uint8_t* row, int w, int p, int plane) {
  int x = 0;
  while (x < w) {
    const uint8_t v = row[x * p + plane];
    int run = 1;
    while (x + run < w && run < 256 && row[(x + run) * p + plane] == v) ++run;
    out.push_back(v);
    if (run > 1) {
      out.push_back(v);
      out.push_back(static_cast<uint8_t>(run - 1));
    }
    x += run;
  }
}

// The file's pixel bytes of one row: 32-bit pixels carry the transparency
// first (t = 255 - alpha), then blue, green, red.
std::vector<uint8_t> FileRow(const ZevPicture& pic, int y) {
  const int p = pic.BytesPerPixel();
  const uint8_t* src = pic.pixels.data() + static_cast<size_t>(y) * pic.width * p;
  std::vector<uint8_t> row(src, src + static_cast<size_t>(pic.width) * p);
  if (p == 4) {
    for (int x = 0; x < pic.width; ++x) {
      uint8_t* px = &row[x * 4];
      const uint8_t b = src[x * 4], g = src[x * 4 + 1], r = src[x * 4 + 2], a = src[x * 4 + 3];
      px[0] = static_cast<uint8_t>(255 - a);
      px[1] = b;
      px[2] = g;
      px[3] = r;
    }
  }
  return row;
}

std::vector<uint8_t> FilteredRows(const ZevPicture& pic, const std::vector<int>& filters) {
  const int w = pic.width, p = pic.BytesPerPixel();
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(pic.height) * (1 + static_cast<size_t>(w) * p));
  std::vector<uint8_t> above;
  for (int y = 0; y < pic.height; ++y) {
    const std::vector<uint8_t> row = FileRow(pic, y);
    int f = filters.empty() ? 0 : filters[y % filters.size()];
    if (y == 0 && f >= 1 && f <= 3) f = 0;
    out.push_back(static_cast<uint8_t>(f));
    const int n = w * p;
    // Filters 0-3 write exactly one byte per input byte, straight into place.
    const size_t at = out.size();
    if (f >= 0 && f <= 3) out.resize(at + static_cast<size_t>(n));
    uint8_t* o = out.data() + at;
    switch (f) {
      case 0:
        for (int i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(i < p ? row[i] : row[i] - row[i - p]);
        break;
      case 1:
        for (int i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(row[i] - above[i]);
        break;
      case 2:
        for (int i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(i < p ? row[i] : row[i] - above[i - p]);
        break;
      case 3:
        for (int i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(i >= n - p ? row[i] : row[i] - above[i + p]);
        break;
      default:
        for (int k = 0; k < p; ++k) PutPlanarRuns(out, row.data(), w, p, k);
        break;
    }
    above = row;
  }
  return out;
}

std::vector<uint8_t> PaddedIndexRows(const ZevPicture& pic) {
  const size_t stride = (static_cast<size_t>(pic.width) + 3) & ~size_t{3};
  std::vector<uint8_t> out(stride * pic.height, 0);
  for (int y = 0; y < pic.height; ++y)
    std::memcpy(&out[y * stride], &pic.pixels[static_cast<size_t>(y) * pic.width], pic.width);
  return out;
}

// Match forms of the LZ stream, chosen by length and distance.
void PutMatch(std::vector<uint8_t>& out, size_t len, size_t dist) {
  if (len <= 3 && dist >= 1 && dist <= 31) {
    out.push_back(static_cast<uint8_t>(0x80 | ((len - 2) << 5) | dist));
  } else if (len <= 3 && dist <= 255) {
    out.push_back(static_cast<uint8_t>(0x80 | ((len - 2) << 5)));
    out.push_back(static_cast<uint8_t>(dist));
  } else if (len <= 3) {
    // Too far for the one-byte distance: only the long form carries 2 or 3.
    out.push_back(0x7F);
    AppendLe16(out, static_cast<uint32_t>(len - 2));
    AppendLe16(out, static_cast<uint32_t>(dist));
  } else if (len <= 19 && dist <= 1023) {
    out.push_back(static_cast<uint8_t>(0xC0 | ((len - 4) << 2) | (dist >> 8)));
    out.push_back(static_cast<uint8_t>(dist));
  } else if (len <= 130) {
    out.push_back(static_cast<uint8_t>(len - 4));
    AppendLe16(out, static_cast<uint32_t>(dist));
  } else {
    out.push_back(0x7F);
    AppendLe16(out, static_cast<uint32_t>(len - 2));
    AppendLe16(out, static_cast<uint32_t>(dist));
  }
}

}  // namespace

std::vector<uint8_t> LzEncode(const std::vector<uint8_t>& data, bool useMatches) {
  std::vector<uint8_t> out;
  size_t flagPos = 0;
  int flagBits = 8;
  auto flag = [&](bool literal) {
    if (flagBits == 8) {
      flagPos = out.size();
      out.push_back(0);
      flagBits = 0;
    }
    if (literal) out[flagPos] |= static_cast<uint8_t>(1u << flagBits);
    ++flagBits;
  };
  constexpr size_t kHashSize = 1 << 15;
  constexpr size_t kMaxDist = 65535;
  constexpr size_t kMaxLen = 65535 + 2;
  std::vector<int64_t> head(kHashSize, -1);
  std::vector<int64_t> prev(data.size(), -1);
  auto hash3 = [&](size_t i) {
    return ((data[i] * 2654435761u) ^ (data[i + 1] * 40503u) ^ data[i + 2] * 97u) & (kHashSize - 1);
  };
  auto insert = [&](size_t i) {
    if (i + 2 < data.size()) {
      const size_t h = hash3(i);
      prev[i] = head[h];
      head[h] = static_cast<int64_t>(i);
    }
  };
  size_t i = 0;
  while (i < data.size()) {
    size_t bestLen = 0, bestDist = 0;
    if (useMatches) {
      if (i + 2 < data.size()) {
        int64_t cand = head[hash3(i)];
        for (int chain = 0; cand >= 0 && chain < 24; ++chain, cand = prev[cand]) {
          const size_t dist = i - static_cast<size_t>(cand);
          if (dist > kMaxDist) break;
          size_t len = 0;
          const size_t limit = std::min(kMaxLen, data.size() - i);
          while (len < limit && data[cand + len] == data[i + len]) ++len;
          if (len > bestLen) {
            bestLen = len;
            bestDist = dist;
          }
        }
      }
      // Short matches close by take the one- and two-byte forms.
      if (bestLen < 3) {
        for (size_t dist = 1; dist <= std::min<size_t>(i, 255); ++dist) {
          size_t len = 0;
          while (len < 3 && i + len < data.size() && data[i - dist + len] == data[i + len]) ++len;
          if (len >= 2 && len > bestLen) {
            bestLen = len;
            bestDist = dist;
            if (len == 3) break;
          }
        }
      }
    }
    if (bestLen >= 2) {
      flag(false);
      PutMatch(out, bestLen, bestDist);
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      flag(true);
      out.push_back(data[i]);
      insert(i);
      ++i;
    }
  }
  return out;
}

std::vector<uint8_t> WriteZev(const ZevPicture& pic, const ZevOptions& options) {
  const int p = pic.BytesPerPixel();
  if (pic.width <= 0 || pic.height <= 0 || pic.width > 0xFFFF || pic.height > 0xFFFF) return {};
  if (pic.bitsPerPixel != 8 && pic.bitsPerPixel != 24 && pic.bitsPerPixel != 32) return {};
  if (pic.pixels.size() != static_cast<size_t>(pic.width) * pic.height * p) return {};
  const bool lz = options.variant == ZevVariant::Lz;
  const int count = pic.bitsPerPixel == 8 ? pic.PaletteCount() : 0;
  if (pic.bitsPerPixel == 8 && (count < (lz ? 1 : 2) || count > (lz ? 0xFFFF : 256))) return {};
  if (lz && pic.bitsPerPixel == 32) return {};

  std::vector<uint8_t> out = {'Z', 'E', 'V', '1', 0, 0, 0, 0};
  AppendLe16(out, static_cast<uint32_t>(pic.width));
  AppendLe16(out, static_cast<uint32_t>(pic.height));
  AppendLe16(out, lz ? 1 : 2);
  AppendLe16(out, 0);
  AppendLe32(out, pic.bitsPerPixel == 8 ? static_cast<uint32_t>(count) : pic.bitsPerPixel == 32 ? 1u : 0u);
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = &pic.palette[i * 3];  // B, G, R
    if (lz) {
      out.insert(out.end(), {e[2], e[1], e[0]});
    } else {
      out.insert(out.end(), {e[0], e[1], e[2]});
    }
  }
  if (lz) {
    const std::vector<uint8_t> stream = LzEncode(pic.pixels, options.lzMatches);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
  }
  const std::vector<uint8_t> raw = pic.bitsPerPixel == 8 ? PaddedIndexRows(pic) : FilteredRows(pic, options.filters);
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), options.deflateLevel) != Z_OK)
    return {};
  out.insert(out.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packedSize));
  return out;
}

}  // namespace vtools
