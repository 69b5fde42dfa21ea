// Decoder output: converter selection, MCU clipping against the picture and
// the region of interest, the generic converters (any layout, any scale,
// smoothing), buffered mode and the in-place colour conversion.
#include <cstdlib>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"

namespace {

inline uint8_t Clamp(int32_t v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

inline int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

// Y, Cb, Cr to R, G, B (this path's rounding).
inline void YccToRgb(int32_t y, int32_t cb, int32_t cr, uint8_t* rgb) {
  rgb[0] = Clamp(y + ((359 * cr - 45813) >> 8));
  rgb[1] = Clamp(y + ((34806 - 88 * cb - 183 * cr) >> 8));
  rgb[2] = Clamp(y + ((454 * cb - 57937) >> 8));
}

// Colour conversion of an MCU's pixels, applied to each pixel as it is
// stored: Y, Cb, Cr (and a fourth component) to the picture's layout.
void JpegConvertMcuColour(const JPEG_PROPERTIES* p, uint8_t* px, const int32_t* s) {
  const int32_t n = p->dec.ncomp, ch = p->dibChannels, dc = p->dibColor;
  uint8_t rgb[3];
  YccToRgb(s[0], s[1], s[2], rgb);
  if (p->jpegColor == 6 && n == 4 && ch >= 4) {
    px[0] = (uint8_t)(255 - rgb[0]);
    px[1] = (uint8_t)(255 - rgb[1]);
    px[2] = (uint8_t)(255 - rgb[2]);
    px[3] = (uint8_t)s[3];
    return;
  }
  px[0] = dc == 2 ? rgb[2] : rgb[0];
  px[1] = rgb[1];
  px[2] = dc == 2 ? rgb[0] : rgb[2];
  if (ch >= 4) px[3] = n >= 4 ? (uint8_t)s[3] : 255;
}

// Stores one pixel of N component samples into the picture's layout.
void StorePixel(const JPEG_PROPERTIES* p, uint8_t* px, int32_t x, const int32_t* s) {
  const JpegDecoderState& d = p->dec;
  const int32_t n = d.ncomp, ch = p->dibChannels, dc = p->dibColor;
  if (dc == 3 && ch == 2) {  // packed 4:2:2: Y, then Cb on even pixels and Cr on odd ones
    px[0] = (uint8_t)s[0];
    px[1] = (uint8_t)(n >= 3 ? s[(x & 1) ? 2 : 1] : 128);
    return;
  }
  if (p->colorConversion && n >= 3 && ch >= 3 && (dc == 1 || dc == 2 || dc == 5)) {
    JpegConvertMcuColour(p, px, s);
    return;
  }
  if (n == 1) {
    px[0] = (uint8_t)s[0];
    for (int32_t c = 1; c < ch; ++c) px[c] = c < 3 ? (uint8_t)s[0] : 255;
    return;
  }
  const bool reversed = dc == 2 && p->jpegColor == 1 && n >= 3;
  for (int32_t c = 0; c < n && c < ch; ++c) {
    const int32_t at = (reversed && c < 3) ? 2 - c : c;
    if (at < ch) px[at] = (uint8_t)s[c];  // a reversed store never passes the pixel's channels
  }
  if (n == 3 && ch >= 4) px[3] = 255;
}

struct CompGeometry {
  int32_t off;  // first sample of the component in the MCU
  int32_t h, v;
  int32_t bs;  // samples per block side after the transform
  int32_t repH, repV;
};

// Sample layout of one MCU at the read's scale.
void McuGeometry(const JPEG_PROPERTIES* p, int32_t scale, CompGeometry* g, int32_t* mw, int32_t* mh) {
  const JpegDecoderState& d = p->dec;
  const int32_t bs = 8 / scale;
  *mw = p->hMax * bs;
  *mh = p->vMax * bs;
  for (int32_t c = 0; c < d.ncomp; ++c) {
    const int32_t h = d.frame[c].h, v = d.frame[c].v;
    const bool folded = d.fold && h * v == 1 && scale > 1;
    g[c].off = d.compBlockOffset[c] * 64;
    g[c].h = h;
    g[c].v = v;
    g[c].bs = folded ? bs * p->hMax : bs;
    g[c].repH = *mw / (h * g[c].bs);
    g[c].repV = *mh / (v * g[c].bs);
    if (g[c].repH < 1) g[c].repH = 1;
    if (g[c].repV < 1) g[c].repV = 1;
  }
}

inline int32_t McuSample(const int16_t* mcu, const CompGeometry& g, int32_t cx, int32_t cy) {
  const int32_t block = (cy / g.bs) * g.h + cx / g.bs;
  return mcu[g.off + block * 64 + (cy % g.bs) * 8 + cx % g.bs] & 0xFF;
}

// Stores the clipped area rect of the MCU in p->work, each component's
// samples repeated to the luminance grid, into the picture at dst.
void JpegWritePlane(const JPEG_PROPERTIES* p, const CompGeometry* g, uint8_t* dst, const JpegRect& rect) {
  int32_t s[4];
  const int32_t n = p->dec.ncomp;
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    uint8_t* line = dst + (intptr_t)y * p->rowStride;
    for (int32_t x = rect.left; x < rect.right; ++x) {
      for (int32_t c = 0; c < n; ++c) s[c] = McuSample(p->work, g[c], x / g[c].repH, y / g[c].repV);
      StorePixel(p, line + (size_t)x * p->dibChannels, x, s);
    }
  }
}

// ---- Smoothing ---------------------------------------------------------------------------

struct SmoothContext {
  const JPEG_PROPERTIES* p;
  const CompGeometry* g;
  int32_t win[4];
  int32_t scale;
};

const int16_t* RingMcu(const JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const JpegDecoderState& d = p->dec;
  return d.ring + ((size_t)(row % 4) * d.ringRowMcus + (size_t)(col + 1)) * d.ringMcuBlocks * 64;
}

// Component sample at component coordinates, clamped to the valid samples
// and to the MCUs the read holds.
int32_t GlobalSample(const SmoothContext& ctx, int32_t c, int32_t gx, int32_t gy) {
  const JPEG_PROPERTIES* p = ctx.p;
  const CompGeometry& g = ctx.g[c];
  const int32_t uw = g.h * g.bs, uh = g.v * g.bs;
  const int32_t sw = (p->dec.width + ctx.scale - 1) / ctx.scale, sh = (p->dec.height + ctx.scale - 1) / ctx.scale;
  const int32_t validW = (sw * g.h + p->hMax - 1) / p->hMax, validH = (sh * g.v + p->vMax - 1) / p->vMax;
  int32_t lo = ctx.win[0] * uw, hi = ctx.win[1] * uw - 1;
  if (hi > validW - 1) hi = validW - 1;
  gx = gx < lo ? lo : gx > hi ? hi : gx;
  lo = ctx.win[2] * uh;
  hi = ctx.win[3] * uh - 1;
  if (hi > validH - 1) hi = validH - 1;
  gy = gy < lo ? lo : gy > hi ? hi : gy;
  const int32_t mx = gx / uw, my = gy / uh;
  if (p->dec.ringFilled[my % 4] != my) return 128;
  return McuSample(RingMcu(p, mx, my), g, gx % uw, gy % uh);
}

int32_t SmoothedSample(const SmoothContext& ctx, int32_t c, int32_t X, int32_t Y) {
  const CompGeometry& g = ctx.g[c];
  const int32_t j = X / g.repH, i = Y / g.repV;
  const int32_t cs = GlobalSample(ctx, c, j, i);
  if (g.repH != 2) return cs;
  const bool left = (X & 1) == 0;
  const int32_t side = GlobalSample(ctx, c, left ? j - 1 : j + 1, i);
  if (g.repV != 2) return left ? (3 * cs + side + 1) >> 2 : (3 * cs + side + 2) >> 2;
  const bool upper = (Y & 1) == 0;
  const int32_t vert = GlobalSample(ctx, c, j, upper ? i - 1 : i + 1);
  const int32_t diag = GlobalSample(ctx, c, left ? j - 1 : j + 1, upper ? i - 1 : i + 1);
  return (9 * cs + 3 * side + 3 * vert + diag + (left ? 8 : 7)) >> 4;
}

void EmitSmoothed(JPEG_PROPERTIES* p, const SmoothContext& ctx, int32_t col, int32_t row, int32_t mw, int32_t mh) {
  uint8_t* dst;
  JpegRect rect;
  const int32_t* roi = (p->dec.roiEff[2] || p->dec.roiEff[3]) ? p->dec.roiEff : nullptr;
  if (JpegClipMcu(roi, mw, mh, col, row, p->dibChannels, p->rowStride, p->dec.firstRow, p->dibWidth, p->dibHeight, &dst,
                  &rect) != 0)
    return;
  int32_t s[4];
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    uint8_t* line = dst + (intptr_t)y * p->rowStride;
    for (int32_t x = rect.left; x < rect.right; ++x) {
      for (int32_t c = 0; c < p->dec.ncomp; ++c) s[c] = SmoothedSample(ctx, c, col * mw + x, row * mh + y);
      StorePixel(p, line + (size_t)x * p->dibChannels, x, s);
    }
  }
}

}  // namespace

// ---- Selection ------------------------------------------------------------------------------

JpegStatus JpegSelectOutputConverter(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  const int32_t n = d.ncomp, ch = p->dibChannels, dc = p->dibColor, jc = p->jpegColor;
  const JpegFrameComponent* f = d.frame;
  p->colorConversion = !(jc == 1 || jc == 4 || jc == 5 || jc == 255 || dc == 3 || dc == 4);
  int32_t hmax = 1, vmax = 1;
  bool sub = false;
  for (int32_t c = 0; c < n && c < 4; ++c) {
    hmax = f[c].h > hmax ? f[c].h : hmax;
    vmax = f[c].v > vmax ? f[c].v : vmax;
    if (f[c].h != 1 || f[c].v != 1) sub = true;
  }
  p->resampling = sub && dc != 3;
  p->hMax = hmax;
  p->vMax = vmax;
  p->mcuWidth = d.bufferedMode ? 8 : 8 * hmax;
  p->mcuHeight = d.bufferedMode ? 8 : 8 * vmax;
  p->mcusPerRow = (d.width + 8 * hmax - 1) / (8 * hmax);
  p->mcuRows = (d.height + 8 * vmax - 1) / (8 * vmax);
  p->mcusPerRow2 = p->mcusPerRow;
  p->mcuTotal = p->mcusPerRow * p->mcuRows;
  p->componentCount = n;
  p->converterCode = 0;
  JpegKernelTable* t = p->out.kernels;

  // Coefficient planes take the samples; no converter is needed.
  if (p->coefPlanes) {
    t->decoderOutput = nullptr;
    return JPEG_SUCCESS;
  }
  auto is = [&](int c, int h, int v) { return c < n && f[c].h == h && f[c].v == v; };
  const bool chroma11 = is(1, 1, 1) && is(2, 1, 1);
  const bool s22 = is(0, 2, 2) && chroma11, s21 = is(0, 2, 1) && chroma11;
  // YCbCr output is packed 4:2:2, two bytes a pixel, from a 2x1 frame only.
  if (n == 3 && jc == 3 && dc == 3 && !s21) return JPEG_ERR_INVALID_PROPERTIES;
  if (dc == 3 && (ch != 2 || (sub && !(n == 3 && s21)))) return JPEG_ERR_INVALID_PROPERTIES;
  if (n < 1 || n > 255) return JPEG_ERR_COMP;
  if (d.bufferedMode && d.progressiveScans == 0) {
    t->decoderOutput = dc == 3 ? JpegBufferedYcbcrMcu : JpegBufferedMcu;
    return JPEG_SUCCESS;
  }
  const bool smooth = d.smoothing != 0;
  const bool conv = p->colorConversion != 0, ups = p->resampling != 0;
  int32_t code = -1;  // -1: none, -2: generic (JpegSmoothMcu), -3: JpegCopyMcu, -4: grey
  if (ups && conv) {
    if (n == 3 && ch == 3 && (dc == 1 || dc == 2)) {
      if (!smooth && s22)
        code = dc == 1 ? 3 : 4;
      else if (!smooth && s21)
        code = dc == 1 ? 5 : 6;
      else
        code = -2;
    } else if (n == 3 && ch == 4 && dc == 5) {
      code = smooth ? -2 : s22 ? 8 : s21 ? 9 : -2;
    } else if (n == 4 && ch == 4 && dc == 5) {
      if (!smooth && s21 && is(3, 2, 1))
        code = 12;
      else if (!smooth && s22 && is(3, 2, 2))
        code = 11;
      else
        code = -2;
    }
  } else if (ups) {
    if (n == 3 && ch == 3 && dc != 2 && !smooth && (s22 || s21))
      code = s22 ? 16 : 17;
    else if ((n == 3 && (ch == 3 || ch == 1 || ch == 4)) || (n == 4 && (ch == 3 || ch == 4)))
      code = -2;
  } else if (conv) {
    if (n == 3 && ch == 3 && (dc == 1 || dc == 2))
      code = dc == 1 ? 1 : 2;
    else if (n == 3 && ch == 4 && dc == 5)
      code = 7;
    else if (n == 4 && ch == 4 && dc == 5)
      code = 10;
  } else {
    if (n == 1 && ch == 1)
      code = -4;
    else if (n == 1 || n == 2 || (n == 3 && ch == 1))
      code = -3;
    else if (n == 3 && ch == 2 && s21)
      code = 19;
    else if (n == 3 && ch == 3)
      code = dc == 2 ? -3 : 15;
    else if (n == 3 && ch == 4)
      code = dc == 5 ? 13 : -3;
    else if (n == 4 && ch == 3)
      code = -3;
    else if (n == 4 && ch == 4)
      code = 14;
  }
  if (code == -1) {
    // Not a layout this library writes; an image read refuses it (JpegDecodeImage).
    t->decoderOutput = nullptr;
    return JPEG_SUCCESS;
  }
  if (code == -2) {
    t->decoderOutput = JpegSmoothMcu;
  } else if (code == -3) {
    t->decoderOutput = JpegCopyMcu;
  } else if (code == -4) {
    t->decoderOutput = JpegOutGray;
  } else {
    JpegDecoderRoutineFn driver = nullptr;
    if (!JpegOutputDriverFor(code, &driver)) return JPEG_ERR_INVALID_PROPERTIES;
    t->decoderOutput = driver;
    p->converterCode = code;
  }
  return JPEG_SUCCESS;
}

// ---- Clipping -------------------------------------------------------------------------------

JpegRect JpegRectIntersect(const JpegRect& a, const JpegRect& b) {
  JpegRect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
             a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.left > r.right || r.top > r.bottom) return JpegRect{0, 0, 0, 0};
  return r;
}

JpegStatus JpegClipMcu(const int32_t* roi, int32_t mcuWidth, int32_t mcuHeight, int32_t col, int32_t row,
                       int32_t bytesPerPixel, int32_t stride, uint8_t* picture, int32_t pictureWidth,
                       int32_t pictureHeight, uint8_t** out, JpegRect* rect) {
  const int32_t x0 = col * mcuWidth, y0 = row * mcuHeight;
  const int32_t remW = pictureWidth - x0, remH = Abs(pictureHeight) - y0;
  auto min3 = [](int32_t a, int32_t b, int32_t c) { return a < b ? (a < c ? a : c) : (b < c ? b : c); };
  int32_t left = 0, top = 0, right, bottom, ox = x0, oy = y0;
  if (!roi) {
    right = mcuWidth < remW ? mcuWidth : remW;
    bottom = mcuHeight < remH ? mcuHeight : remH;
  } else {
    if (x0 >= roi[2] || x0 + mcuWidth <= roi[0] || y0 >= roi[3] || y0 + mcuHeight <= roi[1])
      return JPEG_ERR_INVALID_PROPERTIES;
    ox = x0 - roi[0];
    oy = y0 - roi[1];
    left = roi[0] - x0 > 0 ? roi[0] - x0 : 0;
    top = roi[1] - y0 > 0 ? roi[1] - y0 : 0;
    right = min3(mcuWidth, roi[2] - x0, pictureWidth - ox);
    bottom = min3(mcuHeight, roi[3] - y0, Abs(pictureHeight) - oy);
  }
  // Nothing of this MCU lands inside the picture.
  if (right <= left || bottom <= top || !picture) return JPEG_ERR_INVALID_PROPERTIES;
  *rect = JpegRect{left, top, right, bottom};
  *out = picture + (intptr_t)ox * bytesPerPixel + (intptr_t)oy * stride;
  return JPEG_SUCCESS;
}

void JpegMcuWindow(const JPEG_PROPERTIES* p, int32_t scale, int32_t* win) {
  const JpegDecoderState& d = p->dec;
  win[0] = 0;
  win[1] = p->mcusPerRow;
  win[2] = 0;
  win[3] = p->mcuRows;
  if (!(d.roiEff[2] || d.roiEff[3])) return;
  int32_t mw = 8 * p->hMax / scale, mh = 8 * p->vMax / scale;
  mw = mw < 1 ? 1 : mw;
  mh = mh < 1 ? 1 : mh;
  int32_t c0 = d.roiEff[0] / mw, c1 = (d.roiEff[2] + mw - 1) / mw;
  int32_t r0 = d.roiEff[1] / mh, r1 = (d.roiEff[3] + mh - 1) / mh;
  if (d.smoothing && p->hMax == 2) {
    --c0;
    ++c1;
  }
  if (d.smoothing && p->vMax == 2) {
    --r0;
    ++r1;
  }
  win[0] = c0 < 0 ? 0 : c0;
  win[1] = c1 > p->mcusPerRow ? p->mcusPerRow : c1;
  win[2] = r0 < 0 ? 0 : r0;
  win[3] = r1 > p->mcuRows ? p->mcuRows : r1;
}

// ---- Generic converters -----------------------------------------------------------------------

void JpegOutputScaledMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t scale = p->dec.scale < 1 ? 1 : p->dec.scale;
  CompGeometry g[4];
  int32_t mw, mh;
  McuGeometry(p, scale, g, &mw, &mh);
  uint8_t* dst;
  JpegRect rect;
  const int32_t* roi = (p->dec.roiEff[2] || p->dec.roiEff[3]) ? p->dec.roiEff : nullptr;
  if (JpegClipMcu(roi, mw, mh, col, row, p->dibChannels, p->rowStride, p->dec.firstRow, p->dibWidth, p->dibHeight, &dst,
                  &rect) != 0)
    return;
  JpegWritePlane(p, g, dst, rect);
}

int32_t JpegCopyMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  JpegOutputScaledMcu(p, col, row);
  return 0;
}

JpegStatus JpegSmoothAllocate(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  if (d.ring) return JPEG_SUCCESS;
  const size_t bytes = (size_t)4 * (size_t)(p->mcusPerRow + 2) * (size_t)d.blocksPerMcu * 64 * sizeof(int16_t);
  if (bytes == 0 || bytes > (size_t(1) << 28)) return JPEG_ERR_MEMORY;
  d.ring = static_cast<int16_t*>(std::calloc(bytes, 1));
  if (!d.ring) return JPEG_ERR_MEMORY;
  d.ringMcuBlocks = d.blocksPerMcu;
  d.ringRowMcus = p->mcusPerRow + 2;
  for (auto& r : d.ringFilled) r = -1;
  return JPEG_SUCCESS;
}

void JpegSmoothReset(JPEG_PROPERTIES* p) {
  for (auto& r : p->dec.ringFilled) r = -1;
}

void JpegSmoothFlush(JPEG_PROPERTIES*) {
  // MCUs are emitted as soon as their right and lower neighbours arrive; the
  // window's last column and row are emitted with them, so nothing waits here.
}

int32_t JpegSmoothMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  JpegDecoderState& d = p->dec;
  if (!d.smoothing || p->hMax != 2 || p->vMax > 2 || !d.ring || d.ringMcuBlocks != d.blocksPerMcu ||
      d.ringRowMcus != p->mcusPerRow + 2 || col >= p->mcusPerRow) {
    JpegOutputScaledMcu(p, col, row);
    return 0;
  }
  const int32_t scale = d.scale < 1 ? 1 : d.scale;
  std::memcpy(const_cast<int16_t*>(RingMcu(p, col, row)), p->work, (size_t)d.blocksPerMcu * 64 * sizeof(int16_t));
  d.ringFilled[row % 4] = row;
  CompGeometry g[4];
  int32_t mw, mh;
  McuGeometry(p, scale, g, &mw, &mh);
  SmoothContext ctx{p, g, {0, 0, 0, 0}, scale};
  JpegMcuWindow(p, scale, ctx.win);
  const int32_t c0 = ctx.win[0], c1 = ctx.win[1], r0 = ctx.win[2], r1 = ctx.win[3];
  auto emitRow = [&](int32_t r) {
    if (col > c0) EmitSmoothed(p, ctx, col - 1, r, mw, mh);
    if (col == c1 - 1) EmitSmoothed(p, ctx, col, r, mw, mh);
  };
  if (p->vMax == 1) {
    emitRow(row);
  } else {
    if (row > r0) emitRow(row - 1);
    if (row == r1 - 1) emitRow(row);
  }
  return 0;
}

// ---- Buffered mode ----------------------------------------------------------------------------

int32_t JpegBufferedComponentChannel(const JPEG_PROPERTIES* p, int32_t component) {
  if (p->dibColor == 2 && p->jpegColor == 1 && component < 3) return 2 - component;
  return component;
}

namespace {

// One block of the scan's component, enlarged to its share of the picture.
template <typename Store>
void BufferedBlock(JPEG_PROPERTIES* p, int32_t col, int32_t row, Store store) {
  JpegDecoderState& d = p->dec;
  if (!d.scan) return;
  const int32_t ci = d.scan->comp[0].index;
  const int32_t scale = d.scale < 1 ? 1 : d.scale, bs = 8 / scale;
  const int32_t ex = p->hMax / d.frame[ci].h, ey = p->vMax / d.frame[ci].v;
  uint8_t* dst;
  JpegRect rect;
  const int32_t* roi = (d.roiEff[2] || d.roiEff[3]) ? d.roiEff : nullptr;
  if (JpegClipMcu(roi, bs * ex, bs * ey, col, row, p->dibChannels, p->rowStride, d.firstRow, p->dibWidth, p->dibHeight,
                  &dst, &rect) != 0)
    return;
  const int16_t* block = p->work + d.compBlockOffset[ci] * 64;
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    uint8_t* line = dst + (intptr_t)y * p->rowStride;
    for (int32_t x = rect.left; x < rect.right; ++x)
      store(line + (size_t)x * p->dibChannels, x, ci, (uint8_t)block[(y / ey) * 8 + x / ex]);
  }
}

}  // namespace

int32_t JpegBufferedMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const int32_t ch = p->dibChannels;
  const bool alphaFill = p->dec.ncomp == 3 && ch >= 4;
  BufferedBlock(p, col, row, [&](uint8_t* px, int32_t, int32_t ci, uint8_t v) {
    const int32_t c = JpegBufferedComponentChannel(p, ci);
    if (c < ch) px[c] = v;
    if (alphaFill && ci == 0) px[3] = 255;
  });
  return 0;
}

int32_t JpegBufferedYcbcrMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  BufferedBlock(p, col, row, [&](uint8_t* px, int32_t x, int32_t ci, uint8_t v) {
    if (ci == 0)
      px[0] = v;
    else if ((ci == 1 && (x & 1) == 0) || (ci == 2 && (x & 1) == 1))
      px[1] = v;
  });
  return 0;
}

void JpegConvertPictureColour(JPEG_PROPERTIES* p) {
  const JpegDecoderState& d = p->dec;
  const int32_t ch = p->dibChannels, dc = p->dibColor;
  if (ch < 3 || !(dc == 1 || dc == 2 || dc == 5) || !d.firstRow) return;
  const int32_t scale = d.scale < 1 ? 1 : d.scale;
  int32_t w = (d.width + scale - 1) / scale, h = (d.height + scale - 1) / scale;
  if (d.roiEff[2] || d.roiEff[3]) {
    w = d.roiEff[2] - d.roiEff[0];
    h = d.roiEff[3] - d.roiEff[1];
  }
  w = w < p->dibWidth ? w : p->dibWidth;
  h = h < Abs(p->dibHeight) ? h : Abs(p->dibHeight);
  for (int32_t y = h - 1; y >= 0; --y) {
    uint8_t* line = d.firstRow + (intptr_t)y * p->rowStride;
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = line + (size_t)x * ch;
      uint8_t rgb[3];
      YccToRgb(px[0], px[1], px[2], rgb);
      if (ch >= 4 && p->jpegColor == 6) {
        px[0] = (uint8_t)(255 - rgb[0]);
        px[1] = (uint8_t)(255 - rgb[1]);
        px[2] = (uint8_t)(255 - rgb[2]);
        continue;
      }
      px[0] = dc == 2 ? rgb[2] : rgb[0];
      px[1] = rgb[1];
      px[2] = dc == 2 ? rgb[0] : rgb[2];
      if (ch >= 4 && p->jpegColor == 3) px[3] = 255;
    }
  }
}
