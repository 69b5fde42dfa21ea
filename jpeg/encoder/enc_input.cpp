// Encoder input conversion: selection of the input converter, the MCU walk
// over the caller's rows, the whole-MCU kernels and the border routines.
#include <cstring>

#include "jpeg/jpeg_internal.h"

namespace {

// ---- Pixel readers -------------------------------------------------------------
struct Bgr {
  static constexpr int kBytes = 3;
  static void Get(const uint8_t* px, int32_t& r, int32_t& g, int32_t& b) {
    b = px[0];
    g = px[1];
    r = px[2];
  }
};
struct Rgb {
  static constexpr int kBytes = 3;
  static void Get(const uint8_t* px, int32_t& r, int32_t& g, int32_t& b) {
    r = px[0];
    g = px[1];
    b = px[2];
  }
};
// C,M,Y,K ink pixels: the colour is the complement of the first three bytes.
struct Ink {
  static constexpr int kBytes = 4;
  static void Get(const uint8_t* px, int32_t& r, int32_t& g, int32_t& b) {
    r = 255 - px[0];
    g = 255 - px[1];
    b = 255 - px[2];
  }
};

inline int32_t Luma(int32_t r, int32_t g, int32_t b) { return (77 * r + 150 * g + 29 * b - 32640) >> 8; }
inline int32_t ChromaB(int32_t r, int32_t g, int32_t b, int32_t round, int shift) {
  return (128 * b - 43 * r - 85 * g + round) >> shift;
}
inline int32_t ChromaR(int32_t r, int32_t g, int32_t b, int32_t round, int shift) {
  return (128 * r - 107 * g - 21 * b + round) >> shift;
}

// Position of sample (x, y) of a component plane H blocks wide.
inline int BlockPos(int x, int y, int h) { return ((y >> 3) * h + (x >> 3)) * 64 + (y & 7) * 8 + (x & 7); }

// ---- Whole-MCU kernels ---------------------------------------------------------------
// YCbCr (and YCCK) from whole pixels; chroma once per group from the summed bytes.
template <class P, int H, int V>
void YccMcu(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t* k) {
  constexpr int32_t round = H * V * 128;
  constexpr int shift = H * V == 1 ? 8 : (H * V == 2 ? 9 : 10);
  for (int cy = 0; cy < 8; ++cy)
    for (int cx = 0; cx < 8; ++cx) {
      int32_t sr = 0, sg = 0, sb = 0;
      for (int dy = 0; dy < V; ++dy)
        for (int dx = 0; dx < H; ++dx) {
          const int px = cx * H + dx, py = cy * V + dy;
          const uint8_t* s = src + (intptr_t)py * stride + px * P::kBytes;
          int32_t r, g, b;
          P::Get(s, r, g, b);
          y[BlockPos(px, py, H)] = (int16_t)Luma(r, g, b);
          if (k) k[BlockPos(px, py, H)] = (int16_t)(s[3] - 128);
          sr += r;
          sg += g;
          sb += b;
        }
      cb[cy * 8 + cx] = (int16_t)ChromaB(sr, sg, sb, round, shift);
      cr[cy * 8 + cx] = (int16_t)ChromaR(sr, sg, sb, round, shift);
    }
}

// Direct copies: component i is byte i; subsampled components average raw bytes.
template <int Bytes, int H, int V>
void CopyMcu(const uint8_t* src, int32_t stride, int16_t* c0, int16_t* c1, int16_t* c2, int16_t* c3) {
  for (int py = 0; py < 8 * V; ++py)
    for (int px = 0; px < 8 * H; ++px)
      c0[BlockPos(px, py, H)] = (int16_t)(src[(intptr_t)py * stride + px * Bytes] - 128);
  int16_t* chroma[2] = {c1, c2};
  for (int i = 0; i < 2; ++i)
    for (int cy = 0; cy < 8; ++cy)
      for (int cx = 0; cx < 8; ++cx) {
        int32_t sum = 0;
        for (int dy = 0; dy < V; ++dy)
          for (int dx = 0; dx < H; ++dx) sum += src[(intptr_t)(cy * V + dy) * stride + (cx * H + dx) * Bytes + 1 + i];
        const int32_t n = H * V;
        chroma[i][cy * 8 + cx] = (int16_t)(((sum + n / 2) >> (n == 4 ? 2 : n == 2 ? 1 : 0)) - 128);
      }
  if (Bytes == 4 && c3)
    for (int py = 0; py < 8; ++py)
      for (int px = 0; px < 8; ++px) c3[py * 8 + px] = (int16_t)(src[(intptr_t)py * stride + px * 4 + 3] - 128);
}

}  // namespace

void JpegGreyMcu(const uint8_t* src, int32_t stride, int16_t* out) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) out[y * 8 + x] = (int16_t)(src[(intptr_t)y * stride + x] - 128);
}

void JpegRgbYccH1V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Rgb, 1, 1>(s, st, a, b, c, nullptr);
}
void JpegRgbYccH2V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Rgb, 2, 1>(s, st, a, b, c, nullptr);
}
void JpegRgbYccH2V2Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Rgb, 2, 2>(s, st, a, b, c, nullptr);
}
void JpegBgrYccH1V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Bgr, 1, 1>(s, st, a, b, c, nullptr);
}
void JpegBgrYccH2V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Bgr, 2, 1>(s, st, a, b, c, nullptr);
}
void JpegBgrYccH2V2Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  YccMcu<Bgr, 2, 2>(s, st, a, b, c, nullptr);
}
void JpegCopy3H1V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  CopyMcu<3, 1, 1>(s, st, a, b, c, nullptr);
}
void JpegCopy3H2V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  CopyMcu<3, 2, 1>(s, st, a, b, c, nullptr);
}
void JpegCopy3H2V2Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  CopyMcu<3, 2, 2>(s, st, a, b, c, nullptr);
}
void JpegCopy4H1V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  CopyMcu<4, 1, 1>(s, st, a, b, c, d);
}
void JpegYcckH1V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  YccMcu<Ink, 1, 1>(s, st, a, b, c, d);
}
void JpegYcckH2V1Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  YccMcu<Ink, 2, 1>(s, st, a, b, c, d);
}
void JpegYcckH2V2Mcu(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  YccMcu<Ink, 2, 2>(s, st, a, b, c, d);
}

void JpegPacked422Mcu(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t*) {
  for (int r = 0; r < 8; ++r) {
    const uint8_t* s = src + (intptr_t)r * stride;
    for (int g = 0; g < 8; ++g) {
      y[BlockPos(2 * g, r, 2)] = (int16_t)(s[4 * g] - 128);
      y[BlockPos(2 * g + 1, r, 2)] = (int16_t)(s[4 * g + 2] - 128);
      cb[r * 8 + g] = (int16_t)(s[4 * g + 1] - 128);
      cr[r * 8 + g] = (int16_t)(s[4 * g + 3] - 128);
    }
  }
}

void JpegFillPlainInputKernels(JpegKernelTable* t) {
  t->greyBlock = JpegGreyMcu;
  t->rgbYccH1V1 = JpegRgbYccH1V1Mcu;
  t->rgbYccH2V1 = JpegRgbYccH2V1Mcu;
  t->rgbYccH2V2 = JpegRgbYccH2V2Mcu;
  t->bgrYccH1V1 = JpegBgrYccH1V1Mcu;
  t->bgrYccH2V1 = JpegBgrYccH2V1Mcu;
  t->bgrYccH2V2 = JpegBgrYccH2V2Mcu;
  t->copy3H1V1 = JpegCopy3H1V1Mcu;
  t->copy3H2V1 = JpegCopy3H2V1Mcu;
  t->copy3H2V2 = JpegCopy3H2V2Mcu;
  t->packed422 = JpegPacked422Mcu;
  t->ycckH1V1 = JpegYcckH1V1Mcu;
  t->ycckH2V1 = JpegYcckH2V1Mcu;
  t->ycckH2V2 = JpegYcckH2V2Mcu;
  t->copy4H1V1 = JpegCopy4H1V1Mcu;
}

namespace {

// ---- MCU walk --------------------------------------------------------------------
struct Mcu {
  const uint8_t* src;
  int32_t cols, rows;  // valid columns and rows
  bool whole;
};

Mcu Walk(JPEG_PROPERTIES* p, int32_t col, int32_t row, int32_t w, int32_t h, int32_t bytes) {
  Mcu m;
  m.src = p->out.firstRow + p->cursor;
  if (col == p->mcusPerRow - 1) {
    p->cursor = (intptr_t)(row + 1) * h * (intptr_t)p->rowStride;
    const int32_t r = p->dibWidth % w;
    m.cols = r ? r : w;
  } else {
    p->cursor += (intptr_t)w * bytes;
    m.cols = w;
  }
  const int32_t height = p->dibHeight < 0 ? -p->dibHeight : p->dibHeight;
  if (row == p->mcuRows - 1) {
    const int32_t r = height % h;
    m.rows = r ? r : h;
  } else {
    m.rows = h;
  }
  m.whole = m.cols == w && m.rows == h;
  return m;
}

// Completes a plane of w x h samples from its valid cols x rows corner.
template <typename T>
void Replicate(T* plane, int32_t w, int32_t h, int32_t cols, int32_t rows) {
  for (int y = 0; y < rows; ++y)
    for (int x = cols; x < w; ++x) plane[y * w + x] = plane[y * w + cols - 1];
  for (int y = rows; y < h; ++y) std::memcpy(plane + y * w, plane + (y - 1) * w, sizeof(T) * (size_t)w);
}

// Copies the valid pixels into a padded whole MCU of raw bytes.
void PadRaw(const Mcu& m, int32_t stride, int32_t w, int32_t h, int32_t bytes, uint8_t* out) {
  const int32_t rowBytes = w * bytes;
  for (int y = 0; y < m.rows; ++y) {
    std::memcpy(out + y * rowBytes, m.src + (intptr_t)y * stride, (size_t)(m.cols * bytes));
    for (int x = m.cols; x < w; ++x)
      std::memcpy(out + y * rowBytes + x * bytes, out + y * rowBytes + (m.cols - 1) * bytes, (size_t)bytes);
  }
  for (int y = m.rows; y < h; ++y) std::memcpy(out + y * rowBytes, out + (y - 1) * rowBytes, (size_t)rowBytes);
}

// Border MCU of the YCbCr and YCCK layouts: per-pixel values, repetition,
// then the chroma planes averaged.
template <class P, int H, int V>
void YccEdge(const Mcu& m, int32_t stride, int16_t* work) {
  constexpr int W = 8 * H, Ht = 8 * V;
  int16_t yp[W * Ht], cbp[W * Ht], crp[W * Ht], kp[W * Ht];
  for (int y = 0; y < m.rows; ++y)
    for (int x = 0; x < m.cols; ++x) {
      const uint8_t* s = m.src + (intptr_t)y * stride + x * P::kBytes;
      int32_t r, g, b;
      P::Get(s, r, g, b);
      yp[y * W + x] = (int16_t)Luma(r, g, b);
      cbp[y * W + x] = (int16_t)ChromaB(r, g, b, 128, 8);
      crp[y * W + x] = (int16_t)ChromaR(r, g, b, 128, 8);
      kp[y * W + x] = P::kBytes == 4 ? (int16_t)(s[3] - 128) : 0;
    }
  Replicate(yp, W, Ht, m.cols, m.rows);
  Replicate(cbp, W, Ht, m.cols, m.rows);
  Replicate(crp, W, Ht, m.cols, m.rows);
  Replicate(kp, W, Ht, m.cols, m.rows);
  int16_t* cb = work + 64 * H * V;
  int16_t* cr = cb + 64;
  int16_t* k = cr + 64;
  for (int y = 0; y < Ht; ++y)
    for (int x = 0; x < W; ++x) {
      work[BlockPos(x, y, H)] = yp[y * W + x];
      if (P::kBytes == 4) k[BlockPos(x, y, H)] = kp[y * W + x];
    }
  for (int cy = 0; cy < 8; ++cy)
    for (int cx = 0; cx < 8; ++cx) {
      int32_t sb = 0, sr = 0;
      for (int dy = 0; dy < V; ++dy)
        for (int dx = 0; dx < H; ++dx) {
          sb += cbp[(cy * V + dy) * W + cx * H + dx];
          sr += crp[(cy * V + dy) * W + cx * H + dx];
        }
      const int n = H * V;
      const int shift = n == 4 ? 2 : n == 2 ? 1 : 0;
      cb[cy * 8 + cx] = (int16_t)((sb + n / 2) >> shift);
      cr[cy * 8 + cx] = (int16_t)((sr + n / 2) >> shift);
    }
}

// Fixed layouts whose kernel takes (src, stride, c0, c1, c2, c3).
template <class P, int H, int V, JpegMcuKernelFn JpegKernelTable::*Slot>
void InYcc(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const Mcu m = Walk(p, col, row, 8 * H, 8 * V, P::kBytes);
  if (m.whole) {
    int16_t* y = p->work;
    int16_t* cb = y + 64 * H * V;
    (p->out.kernels->*Slot)(m.src, p->rowStride, y, cb, cb + 64, P::kBytes == 4 ? cb + 128 : nullptr);
  } else {
    YccEdge<P, H, V>(m, p->rowStride, p->work);
  }
}

template <int Bytes, int H, int V, JpegMcuKernelFn JpegKernelTable::*Slot>
void InCopyFixed(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  constexpr int W = 8 * H, Ht = 8 * V;
  const Mcu m = Walk(p, col, row, W, Ht, Bytes);
  int16_t* c0 = p->work;
  int16_t* c1 = c0 + 64 * H * V;
  JpegMcuKernelFn kernel = p->out.kernels->*Slot;
  if (m.whole) {
    kernel(m.src, p->rowStride, c0, c1, c1 + 64, c1 + 128);
  } else {
    uint8_t pad[W * Ht * Bytes];
    PadRaw(m, p->rowStride, W, Ht, Bytes, pad);
    kernel(pad, W * Bytes, c0, c1, c1 + 64, c1 + 128);
  }
}

void JpegInPacked422(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const Mcu m = Walk(p, col, row, 16, 8, 2);
  int16_t* y = p->work;
  if (m.whole) {
    p->out.kernels->packed422(m.src, p->rowStride, y, y + 128, y + 192, nullptr);
    return;
  }
  // Per-pixel Y, Cb, Cr; a last pixel without its pair takes Cr from the
  // pair before it (or the neutral value at the start of a row).
  uint8_t pad[8 * 32];
  for (int r = 0; r < m.rows; ++r) {
    const uint8_t* s = m.src + (intptr_t)r * p->rowStride;
    uint8_t yv[16], cbv[16], crv[16];
    for (int x = 0; x < m.cols; ++x) {
      const int g = x & ~1;
      yv[x] = s[2 * x];
      cbv[x] = s[2 * g + 1];
      if (x + 1 < m.cols || (x & 1))
        crv[x] = s[2 * g + 3];
      else
        crv[x] = (g > 0 || col > 0) ? s[2 * g - 1] : 128;
    }
    for (int x = m.cols; x < 16; ++x) {
      yv[x] = yv[m.cols - 1];
      cbv[x] = cbv[m.cols - 1];
      crv[x] = crv[m.cols - 1];
    }
    for (int g = 0; g < 8; ++g) {
      uint8_t* d = pad + r * 32 + 4 * g;
      d[0] = yv[2 * g];
      d[1] = (uint8_t)((cbv[2 * g] + cbv[2 * g + 1] + 1) >> 1);
      d[2] = yv[2 * g + 1];
      d[3] = (uint8_t)((crv[2 * g] + crv[2 * g + 1] + 1) >> 1);
    }
  }
  for (int r = m.rows; r < 8; ++r) std::memcpy(pad + r * 32, pad + (r - 1) * 32, 32);
  JpegPacked422Mcu(pad, 32, y, y + 128, y + 192, nullptr);
}

void JpegInGrey(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const Mcu m = Walk(p, col, row, 8, 8, 1);
  if (m.whole) {
    p->out.kernels->greyBlock(m.src, p->rowStride, p->work);
  } else {
    uint8_t pad[64];
    PadRaw(m, p->rowStride, 8, 8, 1, pad);
    p->out.kernels->greyBlock(pad, 8, p->work);
  }
}

void JpegInRgbToGrey(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t d = p->dibChannels;
  const Mcu m = Walk(p, col, row, 8, 8, d);
  const int ri = p->dibColor == 2 ? 2 : 0, bi = 2 - ri;
  int16_t plane[64];
  for (int y = 0; y < m.rows; ++y)
    for (int x = 0; x < m.cols; ++x) {
      const uint8_t* s = m.src + (intptr_t)y * p->rowStride + x * d;
      plane[y * 8 + x] = (int16_t)Luma(s[ri], s[1], s[bi]);
    }
  Replicate(plane, 8, 8, m.cols, m.rows);
  std::memcpy(p->work, plane, sizeof plane);
}

// Byte of pixel that component i takes; -1 for a component held at 0.
int32_t SourceByte(const JPEG_PROPERTIES* p, int32_t i) {
  if (p->dibColor == 4 && p->jpegColor == 3) return i == 0 ? 0 : -1;
  if (p->dibColor == 2 && p->jpegColor == 1) return 2 - i;
  return i;
}

void JpegInCopy(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t d = p->dibChannels;
  const Mcu m = Walk(p, col, row, 8, 8, d);
  for (int i = 0; i < p->componentCount; ++i) {
    int16_t* out = p->work + 64 * i;
    const int32_t byte = SourceByte(p, i);
    if (byte < 0 || byte >= d) {
      std::memset(out, 0, 128);
      continue;
    }
    for (int y = 0; y < m.rows; ++y)
      for (int x = 0; x < m.cols; ++x)
        out[y * 8 + x] = (int16_t)(m.src[(intptr_t)y * p->rowStride + x * d + byte] - 128);
    Replicate(out, 8, 8, m.cols, m.rows);
  }
}

void JpegInCopySubsampled(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t d = p->dibChannels, w = p->mcuWidth, h = p->mcuHeight;
  const Mcu m = Walk(p, col, row, w, h, d);
  uint8_t plane[16 * 16];
  int16_t* out = p->work;
  for (int i = 0; i < p->componentCount; ++i) {
    const JpegComponent& c = p->components[i];
    const int32_t byte = SourceByte(p, i);
    const int32_t nblocks = c.h * c.v;
    if (byte < 0 || byte >= d) {
      std::memset(out, 0, (size_t)nblocks * 128);
      out += 64 * nblocks;
      continue;
    }
    for (int y = 0; y < m.rows; ++y)
      for (int x = 0; x < m.cols; ++x) plane[y * w + x] = m.src[(intptr_t)y * p->rowStride + x * d + byte];
    Replicate(plane, w, h, m.cols, m.rows);
    const int32_t bw = p->hMax / c.h, bh = p->vMax / c.v, n = bw * bh;
    for (int y = 0; y < 8 * c.v; ++y)
      for (int x = 0; x < 8 * c.h; ++x) {
        int32_t sum = 0;
        for (int dy = 0; dy < bh; ++dy)
          for (int dx = 0; dx < bw; ++dx) sum += plane[(y * bh + dy) * w + x * bw + dx];
        out[BlockPos(x, y, c.h)] = (int16_t)((sum + n / 2) / n - 128);
      }
    out += 64 * nblocks;
  }
}

void JpegInFourToYcc(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t d = p->dibChannels, w = p->mcuWidth, h = p->mcuHeight;
  const Mcu m = Walk(p, col, row, w, h, d);
  const bool invert = p->dibColor != 1;
  uint8_t rp[16 * 16], gp[16 * 16], bp[16 * 16];
  for (int y = 0; y < m.rows; ++y)
    for (int x = 0; x < m.cols; ++x) {
      const uint8_t* s = m.src + (intptr_t)y * p->rowStride + x * d;
      rp[y * w + x] = invert ? (uint8_t)(255 - s[0]) : s[0];
      gp[y * w + x] = invert ? (uint8_t)(255 - s[1]) : s[1];
      bp[y * w + x] = invert ? (uint8_t)(255 - s[2]) : s[2];
    }
  Replicate(rp, w, h, m.cols, m.rows);
  Replicate(gp, w, h, m.cols, m.rows);
  Replicate(bp, w, h, m.cols, m.rows);
  int16_t* out = p->work;
  for (int i = 0; i < 3 && i < p->componentCount; ++i) {
    const JpegComponent& c = p->components[i];
    const int32_t bw = p->hMax / c.h, bh = p->vMax / c.v, n = bw * bh;
    for (int y = 0; y < 8 * c.v; ++y)
      for (int x = 0; x < 8 * c.h; ++x) {
        int32_t sr = 0, sg = 0, sb = 0;
        for (int dy = 0; dy < bh; ++dy)
          for (int dx = 0; dx < bw; ++dx) {
            const int at = (y * bh + dy) * w + x * bw + dx;
            sr += rp[at];
            sg += gp[at];
            sb += bp[at];
          }
        int32_t v;
        if (i == 0) {
          v = Luma(sr, sg, sb);  // one pixel per sample: the luma component is never subsampled here
          if (n != 1) v = Luma((sr + n / 2) / n, (sg + n / 2) / n, (sb + n / 2) / n);
        } else {
          const int32_t ar = (sr + n / 2) / n, ag = (sg + n / 2) / n, ab = (sb + n / 2) / n;
          v = i == 1 ? ChromaB(ar, ag, ab, 128, 8) : ChromaR(ar, ag, ab, 128, 8);
        }
        out[BlockPos(x, y, c.h)] = (int16_t)v;
      }
    out += 64 * c.h * c.v;
  }
}

// The fixed-layout converters: whole MCUs through their kernel-table entry.
constexpr JpegInputConverterFn JpegInRgbYccH2V2 = InYcc<Rgb, 2, 2, &JpegKernelTable::rgbYccH2V2>;
constexpr JpegInputConverterFn JpegInRgbYccH2V1 = InYcc<Rgb, 2, 1, &JpegKernelTable::rgbYccH2V1>;
constexpr JpegInputConverterFn JpegInBgrYccH2V2 = InYcc<Bgr, 2, 2, &JpegKernelTable::bgrYccH2V2>;
constexpr JpegInputConverterFn JpegInBgrYccH2V1 = InYcc<Bgr, 2, 1, &JpegKernelTable::bgrYccH2V1>;
constexpr JpegInputConverterFn JpegInYcckH2V2 = InYcc<Ink, 2, 2, &JpegKernelTable::ycckH2V2>;
constexpr JpegInputConverterFn JpegInYcckH2V1 = InYcc<Ink, 2, 1, &JpegKernelTable::ycckH2V1>;
constexpr JpegInputConverterFn JpegInCopy3H2V2 = InCopyFixed<3, 2, 2, &JpegKernelTable::copy3H2V2>;
constexpr JpegInputConverterFn JpegInCopy3H2V1 = InCopyFixed<3, 2, 1, &JpegKernelTable::copy3H2V1>;
constexpr JpegInputConverterFn JpegInRgbYccH1V1 = InYcc<Rgb, 1, 1, &JpegKernelTable::rgbYccH1V1>;
constexpr JpegInputConverterFn JpegInBgrYccH1V1 = InYcc<Bgr, 1, 1, &JpegKernelTable::bgrYccH1V1>;
constexpr JpegInputConverterFn JpegInYcckH1V1 = InYcc<Ink, 1, 1, &JpegKernelTable::ycckH1V1>;
constexpr JpegInputConverterFn JpegInCopy3H1V1 = InCopyFixed<3, 1, 1, &JpegKernelTable::copy3H1V1>;
constexpr JpegInputConverterFn JpegInCopy4H1V1 = InCopyFixed<4, 1, 1, &JpegKernelTable::copy4H1V1>;

void Use(JPEG_PROPERTIES* p, JpegInputConverterFn fn, int32_t code) {
  p->out.kernels->inputConverter = fn;
  p->converterCode = code;
}

bool Layout(const JPEG_PROPERTIES* p, int h, int v) {
  const JpegComponent* c = p->components;
  return p->componentCount >= 3 && c[0].h == h && c[0].v == v && c[1].h == 1 && c[1].v == 1 && c[2].h == 1 &&
         c[2].v == 1;
}

}  // namespace

JpegStatus JpegSelectInputConverter(JPEG_PROPERTIES* p) {
  const int32_t n = p->componentCount, d = p->dibChannels, k = p->dibColor, j = p->jpegColor;
  const bool s = p->resampling != 0, c = p->colorConversion != 0;
  // A converter left from an earlier write never serves a layout it was not chosen for.
  p->out.kernels->inputConverter = nullptr;
  p->converterCode = 0;
  if (p->force8x8) return JPEG_SUCCESS;
  const bool h2v2 = Layout(p, 2, 2), h2v1 = Layout(p, 2, 1);
  const JpegComponent* comp = p->components;
  if (s && c) {
    if (n <= 0 || n > 255) return JPEG_ERR_COMP;
    if (n == 3) {
      if (k == 1 && d == 3) {
        if (h2v2)
          Use(p, JpegInRgbYccH2V2, 3);
        else if (h2v1)
          Use(p, JpegInRgbYccH2V1, 5);
      } else if (k == 1 && d == 4) {
        if (h2v2 || h2v1) Use(p, JpegInFourToYcc, 0);
      } else if (k == 2 && d == 3) {
        if (h2v2)
          Use(p, JpegInBgrYccH2V2, 4);
        else if (h2v1)
          Use(p, JpegInBgrYccH2V1, 6);
      }
    } else if (n == 4 && k == 5 && d == 4) {
      if (h2v2 && comp[3].h == 2 && comp[3].v == 2)
        Use(p, JpegInYcckH2V2, 11);
      else if (h2v1 && comp[3].h == 2 && comp[3].v == 1)
        Use(p, JpegInYcckH2V1, 12);
    }
  } else if (s) {
    if (n == 3 && d == 3 && k != 2) {
      if (h2v2)
        Use(p, JpegInCopy3H2V2, 16);
      else if (h2v1) {
        if (p->dibSubsampling == 2)
          Use(p, JpegInPacked422, 18);
        else
          Use(p, JpegInCopy3H2V1, 17);
      }
    } else {
      Use(p, JpegInCopySubsampled, 0);
    }
  } else if (c) {
    if (n == 1 && d == 3)
      Use(p, JpegInRgbToGrey, 0);
    else if (n == 3 && d == 3) {
      if (k == 1)
        Use(p, JpegInRgbYccH1V1, 1);
      else if (k == 2)
        Use(p, JpegInBgrYccH1V1, 2);
    } else if (n == 3 && d == 4)
      Use(p, JpegInFourToYcc, 0);
    else if (n == 4 && d == 4 && k == 5)
      Use(p, JpegInYcckH1V1, 10);
  } else {
    if (n == 1 && k == 4 && j == 4)
      Use(p, JpegInGrey, 20);
    else if (n == 3 && d == 1 && j == 3)
      Use(p, JpegInCopy, 0);
    else if (n == 3 && d == 3 && k == 2)
      Use(p, JpegInCopy, 0);
    else if (n == 3 && d == 3)
      Use(p, JpegInCopy3H1V1, 15);
    else if (n == 3 && d == 4)
      Use(p, JpegInCopy, 0);
    else if (n == 4 && d == 4)
      Use(p, JpegInCopy4H1V1, 14);
    else if (n == 4)
      Use(p, JpegInCopy, 0);
    else if (j == 255 && k == 255 && d >= n)
      Use(p, JpegInCopy, 0);
  }
  return JPEG_SUCCESS;
}
