#include "converter/pictures/zev_decode.h"

#include <zlib.h>

#include <cstring>

#include "converter/pictures/bmp_image.h"

int ZevVariantOf(const BYTE* file, DWORD fileSize) {
  if (!file || fileSize < kZevHeaderBytes) return -1;
  return static_cast<int16_t>(GetLe16(file + 12));
}

DWORD ZevColourCode(const BYTE* file, DWORD fileSize) {
  if (!file || fileSize < kZevHeaderBytes) return 0xFFFFFFFF;
  return GetLe32(file + 16);
}

namespace {

// Bounded reader over the inflated rows.
struct RowSource {
  const BYTE* data;
  uint64_t size;
  uint64_t pos = 0;
  bool Has(uint64_t n) const { return size - pos >= n; }
};

bool PlanarRow(RowSource& in, BYTE* out, int w, int p) {
  for (int k = 0; k < p; ++k) {
    int x = 0;
    while (x < w) {
      if (!in.Has(1)) return false;
      const BYTE v = in.data[in.pos++];
      out[x * p + k] = v;
      ++x;
      if (x < w && in.Has(1) && in.data[in.pos] == v) {
        if (!in.Has(2)) return false;
        const int n = in.data[in.pos + 1];
        in.pos += 2;
        // A run reaching past the plane is cut at its end.
        for (int i = 0; i < n && x < w; ++i, ++x) out[x * p + k] = v;
      }
    }
  }
  return true;
}

bool FilteredRow(RowSource& in, BYTE* out, const BYTE* above, int w, int p) {
  if (!in.Has(1)) return false;
  const int filter = in.data[in.pos++];
  const int n = w * p;
  if (filter > 4) return true;  // row left unwritten
  if (filter == 4) return PlanarRow(in, out, w, p);
  if (!in.Has(static_cast<uint64_t>(n))) return false;
  const BYTE* d = in.data + in.pos;
  in.pos += static_cast<uint64_t>(n);
  switch (filter) {
    case 0:
      for (int i = 0; i < n; ++i) out[i] = static_cast<BYTE>(i < p ? d[i] : d[i] + out[i - p]);
      break;
    case 1:
      for (int i = 0; i < n; ++i) out[i] = static_cast<BYTE>(d[i] + above[i]);
      break;
    case 2:
      for (int i = 0; i < n; ++i) out[i] = static_cast<BYTE>(i < p ? d[i] : d[i] + above[i - p]);
      break;
    default:
      for (int i = 0; i < n; ++i) out[i] = static_cast<BYTE>(i >= n - p ? d[i] : d[i] + above[i + p]);
      break;
  }
  return true;
}

}  // namespace

BYTE* DecodeZevDeflate(const BYTE* file, DWORD* size) {
  if (!file || !size || *size < kZevHeaderBytes) return nullptr;
  const uint64_t fileSize = *size;
  const uint32_t w = GetLe16(file + 8), h = GetLe16(file + 10);
  const uint32_t code = GetLe32(file + 16);
  if (w == 0 || h == 0 || uint64_t{w} * h > bmp::kMaxPixels) return nullptr;
  const int p = code == 0 ? 3 : code == 1 ? 4 : 1;
  const uint64_t count = p == 1 ? code : 0;
  const uint64_t dataStart = kZevHeaderBytes + 3 * count;
  if (dataStart > fileSize) return nullptr;

  // Palette as 4-byte entries; indices beyond the count read zero.
  BYTE palette[256 * 4] = {};
  for (uint64_t i = 0; i < count && i < 256; ++i) std::memcpy(&palette[i * 4], file + kZevHeaderBytes + 3 * i, 3);

  const uint64_t s = bmp::PaddedStride(w, p * 8);
  uLongf inflatedSize = static_cast<uLongf>((uint64_t{h} + 1) * s + 1048576);
  BYTE* inflated = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, inflatedSize));
  if (!inflated) return nullptr;
  const int z = uncompress(inflated, &inflatedSize, file + dataStart, static_cast<uLong>(fileSize - dataStart));
  if (z != Z_OK) {
    LocalFree(inflated);
    return nullptr;
  }

  DWORD bitmapSize = 0;
  BYTE* bitmap = bmp::NewBitmap(w, h, p == 4 ? 32 : 24, true, &bitmapSize);
  if (!bitmap) {
    LocalFree(inflated);
    return nullptr;
  }
  const uint64_t outStride = bmp::PaddedStride(w, p == 4 ? 32 : 24);
  BYTE* rows = bitmap + bmp::kHeaderBytes;
  auto imageRow = [&](uint32_t y) { return rows + (h - 1 - y) * outStride; };
  bool ok = true;

  if (p == 1) {
    if ((uint64_t{h} - 1) * s + w > inflatedSize) ok = false;
    for (uint32_t y = 0; ok && y < h; ++y) {
      const BYTE* src = inflated + y * s;
      BYTE* dst = imageRow(y);
      for (uint32_t x = 0; x < w; ++x) std::memcpy(dst + 3 * x, &palette[src[x] * 4], 3);
    }
  } else {
    static const BYTE kZeroRow[1] = {0};
    BYTE* zeros = nullptr;
    RowSource in{inflated, inflatedSize};
    for (uint32_t y = 0; ok && y < h; ++y) {
      const BYTE* above;
      if (y > 0) {
        above = imageRow(y - 1);
      } else {
        // The first row's "row above" is a row of zeros.
        zeros = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<SIZE_T>(w) * p));
        above = zeros ? zeros : kZeroRow;
        if (!zeros) ok = false;
      }
      if (ok) ok = FilteredRow(in, imageRow(y), above, static_cast<int>(w), p);
    }
    if (zeros) LocalFree(zeros);
    if (ok && p == 4) {
      // File order t, B, G, R becomes B, G, R, alpha = 255 - t.
      for (uint32_t y = 0; y < h; ++y) {
        BYTE* px = rows + y * outStride;
        for (uint32_t x = 0; x < w; ++x, px += 4) {
          const BYTE t = px[0];
          px[0] = px[1];
          px[1] = px[2];
          px[2] = px[3];
          px[3] = static_cast<BYTE>(255 - t);
        }
      }
    }
  }
  LocalFree(inflated);
  if (!ok) {
    LocalFree(bitmap);
    return nullptr;
  }
  *size = bitmapSize;
  return bitmap;
}

namespace {

// History of the LZ variant: one ring for the whole program, as the desktop
// decoder kept it; positions are 16-bit and wrap.
BYTE g_lzRing[65536];
uint16_t g_lzPos = 0;

// Runs the LZ stream; emit(byte) returns false once nothing more is wanted.
// Returns true when emit asked to stop, false when the input ran out.
template <typename Emit>
bool RunLz(const BYTE* in, uint64_t length, Emit emit) {
  uint64_t pos = 0;
  uint32_t flags = 0;
  auto next = [&](uint32_t& v) {
    if (pos >= length) return false;
    v = in[pos++];
    return true;
  };
  auto put = [&](BYTE b) {
    g_lzRing[g_lzPos++] = b;
    return emit(b);
  };
  for (;;) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      uint32_t f;
      if (!next(f)) return false;
      flags = f | 0xFF00;
    }
    uint32_t c;
    if (!next(c)) return false;
    if (flags & 1) {
      if (!put(static_cast<BYTE>(c))) return true;
      continue;
    }
    uint32_t length2 = 0, distance = 0, a, b, d0, d1;
    if (c >= 0xC0) {
      if (!next(a)) return false;
      length2 = ((c >> 2) & 15) + 4;
      distance = ((c & 3) << 8) | a;
    } else if (c >= 0x80) {
      length2 = ((c >> 5) & 3) + 2;
      distance = c & 0x1F;
      if (distance == 0 && !next(distance)) return false;
    } else if (c == 0x7F) {
      if (!next(a) || !next(b) || !next(d0) || !next(d1)) return false;
      length2 = (a | (b << 8)) + 2;
      distance = d0 | (d1 << 8);
    } else {
      if (!next(d0) || !next(d1)) return false;
      distance = d0 | (d1 << 8);
      length2 = c + 4;
    }
    for (uint32_t i = 0; i < length2; ++i) {
      if (!put(g_lzRing[static_cast<uint16_t>(g_lzPos - distance)])) return true;
    }
  }
}

}  // namespace

DWORD ZevLzBitmapSize(const BYTE* file, DWORD fileSize) {
  if (!file || fileSize < kZevHeaderBytes) return 0;
  const uint64_t w = GetLe16(file + 8), h = GetLe16(file + 10), count = GetLe16(file + 16);
  if (w == 0 || h == 0 || w * h > bmp::kMaxPixels) return 0;
  const uint64_t w4 = (w + 3) & ~uint64_t{3};
  return static_cast<DWORD>(count ? 54 + 5 * count + h * w4 : 54 + 3 * h * w4);
}

int DecodeZevLz(BYTE* dest, const BYTE* file, DWORD destSize, DWORD inputLength) {
  if (!dest || !file || inputLength < kZevHeaderBytes) return -1;
  const uint64_t w = GetLe16(file + 8), h = GetLe16(file + 10), count = GetLe16(file + 16);
  if (w == 0 || h == 0 || w * h > bmp::kMaxPixels) return -1;
  const uint64_t r = count ? w : 3 * w;
  const uint64_t stride = (r + 3) & ~uint64_t{3};
  const uint64_t offset = 54 + 4 * count;
  if (offset + stride * h > destSize) return -1;
  const uint64_t streamStart = kZevHeaderBytes + 3 * count;
  if (streamStart > inputLength) return -1;

  BYTE* rows = dest + offset;
  uint64_t row = 0, inRow = 0;
  BYTE* out = rows + (h - 1) * stride;
  // Each byte goes straight into its row (the same bytes the ring holds).
  const bool done = RunLz(file + streamStart, inputLength - streamStart, [&](BYTE b) {
    out[inRow++] = b;
    if (inRow == r) {
      inRow = 0;
      if (++row == h) return false;
      out = rows + (h - 1 - row) * stride;
    }
    return true;
  });
  if (!done) return -1;

  for (uint64_t i = 0; i < count; ++i) {
    const BYTE* e = file + kZevHeaderBytes + 3 * i;
    BYTE* o = dest + 54 + 4 * i;
    o[0] = e[2];
    o[1] = e[1];
    o[2] = e[0];
    o[3] = 0;
  }
  const uint64_t image = r * h;  // the header keeps the unpadded size
  bmp::WriteHeaders(dest, static_cast<uint32_t>(w), static_cast<uint32_t>(h), count ? 8 : 24,
                    static_cast<uint32_t>(image), static_cast<uint32_t>(offset), static_cast<uint32_t>(offset + image),
                    static_cast<uint32_t>(count));
  return 0;
}

DWORD DecodeZevLzFlat(const BYTE* input, DWORD inputLength, BYTE* output, DWORD outputCapacity) {
  if (!input || !output || outputCapacity == 0) return 0;
  DWORD written = 0;
  RunLz(input, inputLength, [&](BYTE b) {
    output[written++] = b;
    return written < outputCapacity;
  });
  return written;
}
