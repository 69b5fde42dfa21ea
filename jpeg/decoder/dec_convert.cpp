// Output converters for the common layouts: MCU drivers, plain full-MCU
// routines (the reference for the processor kernels) and edge routines.
#include "jpeg/decoder/dec_internal.h"

namespace {

enum Sampling { S444, S422, S420 };
enum Layout { kRgb, kBgr, kQuad, kYcck, kCopy3, kCopy3Quad, kCopy4, kPack, kGray };

inline uint8_t Clamp(int32_t v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

// Clamp of Y + term for whole blocks: samples are 0..255 and the terms lie
// in -227..226, so every sum falls inside the table (the mask only keeps a
// stray value from reading outside it).
struct ClampTable {
  uint8_t v[1024];
  ClampTable() {
    for (int i = 0; i < 1024; ++i) v[i] = Clamp(i - 384);
  }
  uint8_t operator()(int32_t x) const { return v[(x + 384) & 1023]; }
};
const ClampTable kClamp;

constexpr int BytesPerPixel(Layout l) {
  return l == kPack ? 2 : l == kGray ? 1 : (l == kQuad || l == kYcck || l == kCopy3Quad || l == kCopy4) ? 4 : 3;
}

// Converts the pixels of rectangle r of one 8x8 luma block.  Chroma samples
// are those of the block (already offset for right and bottom blocks).
template <Sampling S, Layout L>
void BlockRoutine(const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* k, uint8_t* dst,
                  const JpegRect& r, int32_t stride) {
  constexpr int bpp = BytesPerPixel(L);
  constexpr bool colour = L == kRgb || L == kBgr || L == kQuad || L == kYcck;
  // Chroma terms once per chroma sample the block uses.
  constexpr int cw = S == S444 ? 8 : 4, chh = S == S420 ? 4 : 8;
  int32_t rt[64], gt[64], bt[64];
  if (colour) {
    for (int i = 0; i < chh; ++i)
      for (int j = 0; j < cw; ++j) {
        const int32_t vb = cb[i * 8 + j], vr = cr[i * 8 + j];
        rt[i * cw + j] = (359 * vr - 45813) >> 8;
        gt[i * cw + j] = (88 * vb + 183 * vr - 34806) >> 8;
        bt[i * cw + j] = (454 * vb - 57937) >> 8;
      }
  }
  if (colour && r.left == 0 && r.top == 0 && r.right == 8 && r.bottom == 8) {
    // Whole block: each chroma sample's terms serve the pixels it covers.
    constexpr int rw = S == S444 ? 1 : 2, rh = S == S420 ? 2 : 1;
    auto put = [&](uint8_t* px, int32_t Y, int32_t tr, int32_t tg, int32_t tb, int32_t kv) {
      const uint8_t R = kClamp(Y + tr), G = kClamp(Y - tg), B = kClamp(Y + tb);
      if (L == kBgr) {
        px[0] = B;
        px[1] = G;
        px[2] = R;
      } else if (L == kYcck) {
        px[0] = (uint8_t)(255 - R);
        px[1] = (uint8_t)(255 - G);
        px[2] = (uint8_t)(255 - B);
        px[3] = (uint8_t)kv;
      } else {
        px[0] = R;
        px[1] = G;
        px[2] = B;
        if (L == kQuad) px[3] = 255;
      }
    };
    for (int yy = 0; yy < 8; ++yy) {
      const int32_t* tr = rt + (yy / rh) * cw;
      const int32_t* tg = gt + (yy / rh) * cw;
      const int32_t* tb = bt + (yy / rh) * cw;
      const int16_t* yrow = y + yy * 8;
      const int16_t* krow = L == kYcck ? k + yy * 8 : nullptr;
      uint8_t* px = dst + (intptr_t)yy * stride;
      for (int j = 0; j < cw; ++j) {
        // One chroma sample's terms serve its one or two pixels of this row.
        const int32_t r0 = tr[j], g0 = tg[j], b0 = tb[j];
        for (int dx = 0; dx < rw; ++dx, px += bpp) {
          const int xx = j * rw + dx;
          put(px, yrow[xx], r0, g0, b0, krow ? krow[xx] : 0);
        }
      }
    }
    return;
  }
  for (int32_t yy = r.top; yy < r.bottom; ++yy) {
    uint8_t* px = dst + (intptr_t)yy * stride + (intptr_t)r.left * bpp;
    for (int32_t xx = r.left; xx < r.right; ++xx, px += bpp) {
      const int32_t ci = S == S444 ? yy * 8 + xx : S == S422 ? yy * 8 + xx / 2 : (yy / 2) * 8 + xx / 2;
      const int32_t ti = S == S444 ? yy * 8 + xx : S == S422 ? yy * 4 + xx / 2 : (yy / 2) * 4 + xx / 2;
      const int32_t Y = y[yy * 8 + xx];
      if (colour) {
        const uint8_t R = Clamp(Y + rt[ti]), G = Clamp(Y - gt[ti]), B = Clamp(Y + bt[ti]);
        if (L == kRgb || L == kQuad) {
          px[0] = R;
          px[1] = G;
          px[2] = B;
          if (L == kQuad) px[3] = 255;
        } else if (L == kBgr) {
          px[0] = B;
          px[1] = G;
          px[2] = R;
        } else {
          px[0] = (uint8_t)(255 - R);
          px[1] = (uint8_t)(255 - G);
          px[2] = (uint8_t)(255 - B);
          px[3] = (uint8_t)k[yy * 8 + xx];
        }
      } else if (L == kGray) {
        px[0] = Clamp(Y);
      } else if (L == kPack) {
        px[0] = (uint8_t)Y;
        px[1] = (uint8_t)((xx & 1) ? cr[ci] : cb[ci]);
      } else {
        px[0] = (uint8_t)Y;
        px[1] = (uint8_t)cb[ci];
        px[2] = (uint8_t)cr[ci];
        if (L == kCopy3Quad) px[3] = 255;
        if (L == kCopy4) px[3] = (uint8_t)k[yy * 8 + xx];
      }
    }
  }
}

constexpr JpegRect kFull{0, 0, 8, 8};

// Whole colour MCU row by row: the terms of a chroma row once, the samples
// of a pixel row side by side in short loops the compiler can widen.
template <Sampling S, Layout L>
void ColourMcu(const int16_t* __restrict c0, const int16_t* __restrict cb, const int16_t* __restrict cr,
               const int16_t* __restrict k, uint8_t* __restrict dst, int32_t stride) {
  constexpr int bpp = BytesPerPixel(L);
  constexpr int W = S == S444 ? 8 : 16, H = S == S420 ? 16 : 8;
  int16_t tr[16], tg[16], tb[16];
  for (int yy = 0; yy < H; ++yy) {
    if (S != S420 || (yy & 1) == 0) {
      const int16_t* b = cb + (S == S420 ? yy / 2 : yy) * 8;
      const int16_t* r = cr + (S == S420 ? yy / 2 : yy) * 8;
      int16_t t0[8], t1[8], t2[8];
      for (int j = 0; j < 8; ++j) {
        const int32_t vb = b[j], vr = r[j];
        t0[j] = (int16_t)((359 * vr - 45813) >> 8);
        t1[j] = (int16_t)((88 * vb + 183 * vr - 34806) >> 8);
        t2[j] = (int16_t)((454 * vb - 57937) >> 8);
      }
      for (int j = 0; j < 8; ++j) {
        if (S == S444) {
          tr[j] = t0[j], tg[j] = t1[j], tb[j] = t2[j];
        } else {
          tr[2 * j] = tr[2 * j + 1] = t0[j];
          tg[2 * j] = tg[2 * j + 1] = t1[j];
          tb[2 * j] = tb[2 * j + 1] = t2[j];
        }
      }
    }
    // Luma of the row: the left block, then the right one.
    const int16_t* yl = c0 + (S == S420 && yy >= 8 ? 128 : 0) + (yy & 7) * 8;
    int16_t ys[16];
    for (int x = 0; x < 8; ++x) ys[x] = yl[x];
    if (W == 16)
      for (int x = 0; x < 8; ++x) ys[8 + x] = yl[64 + x];
    uint8_t R[16], G[16], B[16];
    for (int x = 0; x < W; ++x) {
      const int16_t r = (int16_t)(ys[x] + tr[x]), g = (int16_t)(ys[x] - tg[x]), b = (int16_t)(ys[x] + tb[x]);
      R[x] = (uint8_t)(r < 0 ? 0 : r > 255 ? 255 : r);
      G[x] = (uint8_t)(g < 0 ? 0 : g > 255 ? 255 : g);
      B[x] = (uint8_t)(b < 0 ? 0 : b > 255 ? 255 : b);
    }
    uint8_t* px = dst + (intptr_t)yy * stride;
    const int16_t* krow = L == kYcck ? k + (S == S420 && yy >= 8 ? 128 : 0) + (yy & 7) * 8 : nullptr;
    for (int x = 0; x < W; ++x, px += bpp) {
      if (L == kBgr) {
        px[0] = B[x], px[1] = G[x], px[2] = R[x];
      } else if (L == kYcck) {
        px[0] = (uint8_t)(255 - R[x]), px[1] = (uint8_t)(255 - G[x]), px[2] = (uint8_t)(255 - B[x]);
        px[3] = (uint8_t)krow[(x & 7) + (x >> 3) * 64];
      } else {
        px[0] = R[x], px[1] = G[x], px[2] = B[x];
        if (L == kQuad) px[3] = 255;
      }
    }
  }
}

// Whole MCU through the block routine, blocks in the order TL, TR, BL, BR.
template <Sampling S, Layout L>
void FullMcu(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* dst, int32_t stride) {
  constexpr int bpp = BytesPerPixel(L);
  if (L == kRgb || L == kBgr || L == kQuad || L == kYcck) {
    ColourMcu<S, L>(c0, c1, c2, c3, dst, stride);
    return;
  }
  BlockRoutine<S, L>(c0, c1, c2, c3, dst, kFull, stride);
  if (S == S444) return;
  BlockRoutine<S, L>(c0 + 64, c1 + 4, c2 + 4, c3 ? c3 + 64 : nullptr, dst + 8 * bpp, kFull, stride);
  if (S == S422) return;
  BlockRoutine<S, L>(c0 + 128, c1 + 32, c2 + 32, c3 ? c3 + 128 : nullptr, dst + (intptr_t)8 * stride, kFull, stride);
  BlockRoutine<S, L>(c0 + 192, c1 + 36, c2 + 36, c3 ? c3 + 192 : nullptr, dst + (intptr_t)8 * stride + 8 * bpp, kFull,
                     stride);
}

struct Member {
  Sampling s;
  Layout l;
  int32_t slot;  // -1: the plain routine called directly
};

constexpr Member MemberOf(int code) {
  switch (code) {
    case 1:
      return {S444, kRgb, cvtYcc444Rgb};
    case 2:
      return {S444, kBgr, cvtYcc444Bgr};
    case 3:
      return {S420, kRgb, cvtYcc420Rgb};
    case 4:
      return {S420, kBgr, cvtYcc420Bgr};
    case 5:
      return {S422, kRgb, cvtYcc422Rgb};
    case 6:
      return {S422, kBgr, cvtYcc422Bgr};
    case 7:
      return {S444, kQuad, cvtYcc444Quad};
    case 8:
      return {S420, kQuad, cvtYcc420Quad};
    case 9:
      return {S422, kQuad, cvtYcc422Quad};
    case 10:
      return {S444, kYcck, cvtYcck444Quad};
    case 11:
      return {S420, kYcck, cvtYcck420Quad};
    case 12:
      return {S422, kYcck, cvtYcck422Quad};
    case 13:
      return {S444, kCopy3Quad, cvtCopy3Quad};
    case 14:
      return {S444, kCopy4, cvtCopy4};
    case 15:
      return {S444, kCopy3, -1};
    case 16:
      return {S420, kCopy3, cvtCopy420};
    case 17:
      return {S422, kCopy3, cvtCopy422};
    case 19:
      return {S422, kPack, cvtPack422};
    default:
      return {S444, kGray, cvtGray};
  }
}

// Edge routine of one member: the part rect of an MCU that the picture or
// the region of interest cuts, block by block through the block routine.
template <int Code>
void Edge(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* dst, JpegRect rect,
          int32_t stride) {
  constexpr Member m = MemberOf(Code);
  constexpr int bpp = BytesPerPixel(m.l);
  constexpr int nY = (m.s == S444 ? 1 : 2) * (m.s == S420 ? 2 : 1);
  static constexpr JpegRect blocks[4] = {{0, 0, 8, 8}, {8, 0, 16, 8}, {0, 8, 8, 16}, {8, 8, 16, 16}};
  for (int b = 0; b < nY; ++b) {
    JpegRect r = JpegRectIntersect(rect, blocks[b]);
    if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) continue;
    const int ox = blocks[b].left, oy = blocks[b].top;
    r = JpegRect{r.left - ox, r.top - oy, r.right - ox, r.bottom - oy};
    const int chromaOff = (ox ? 4 : 0) + (oy ? 32 : 0);
    BlockRoutine<m.s, m.l>(c0 + 64 * b, c1 + chromaOff, c2 + chromaOff, c3 ? c3 + 64 * b : nullptr,
                           dst + (intptr_t)oy * stride + ox * bpp, r, stride);
  }
}

// MCU driver of one member: whole MCUs through the member's kernel-table
// entry, cut ones through its edge routine.
template <int Code>
int32_t Driver(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  constexpr Member m = MemberOf(Code);
  constexpr int W = m.s == S444 ? 8 : 16, H = m.s == S420 ? 16 : 8;
  constexpr int bpp = BytesPerPixel(m.l);
  constexpr int nY = W / 8 * (H / 8);
  uint8_t* dst;
  JpegRect rect;
  const JpegDecoderState& d = p->dec;
  const int32_t* roi = (d.roiEff[2] || d.roiEff[3]) ? d.roiEff : nullptr;
  JpegStatus st =
      JpegClipMcu(roi, W, H, col, row, bpp, p->rowStride, d.firstRow, p->dibWidth, p->dibHeight, &dst, &rect);
  if (st != 0) return st;
  const int16_t* c0 = p->work;
  const int16_t* c1 = p->work + 64 * nY;
  const int16_t* c2 = c1 + 64;
  const int16_t* c3 = (m.l == kYcck || m.l == kCopy4) ? c2 + 64 : nullptr;
  if (rect.left == 0 && rect.top == 0 && rect.right == W && rect.bottom == H) {
    if (m.slot < 0)
      JpegCvtCopy3(c0, c1, c2, c3, dst, p->rowStride);
    else
      p->out.kernels->outputConverters[m.slot](c0, c1, c2, c3, dst, p->rowStride);
    return 0;
  }
  Edge<Code>(c0, c1, c2, c3, dst, rect, p->rowStride);
  return 0;
}

typedef void (*EdgeFn)(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, JpegRect, int32_t);

// The nineteen members by converter code: MCU driver and edge routine.
constexpr JpegDecoderRoutineFn JpegOutYcc444Rgb = Driver<1>;
constexpr JpegDecoderRoutineFn JpegOutYcc444Bgr = Driver<2>;
constexpr JpegDecoderRoutineFn JpegOutYcc420Rgb = Driver<3>;
constexpr JpegDecoderRoutineFn JpegOutYcc420Bgr = Driver<4>;
constexpr JpegDecoderRoutineFn JpegOutYcc422Rgb = Driver<5>;
constexpr JpegDecoderRoutineFn JpegOutYcc422Bgr = Driver<6>;
constexpr JpegDecoderRoutineFn JpegOutYcc444Quad = Driver<7>;
constexpr JpegDecoderRoutineFn JpegOutYcc420Quad = Driver<8>;
constexpr JpegDecoderRoutineFn JpegOutYcc422Quad = Driver<9>;
constexpr JpegDecoderRoutineFn JpegOutYcck444Quad = Driver<10>;
constexpr JpegDecoderRoutineFn JpegOutYcck420Quad = Driver<11>;
constexpr JpegDecoderRoutineFn JpegOutYcck422Quad = Driver<12>;
constexpr JpegDecoderRoutineFn JpegOutCopy3Quad = Driver<13>;
constexpr JpegDecoderRoutineFn JpegOutCopy4 = Driver<14>;
constexpr JpegDecoderRoutineFn JpegOutCopy3 = Driver<15>;
constexpr JpegDecoderRoutineFn JpegOutCopy420 = Driver<16>;
constexpr JpegDecoderRoutineFn JpegOutCopy422 = Driver<17>;
constexpr JpegDecoderRoutineFn JpegOutPack422 = Driver<19>;
constexpr EdgeFn JpegEdgeYcc444Rgb = Edge<1>;
constexpr EdgeFn JpegEdgeYcc444Bgr = Edge<2>;
constexpr EdgeFn JpegEdgeYcc420Rgb = Edge<3>;
constexpr EdgeFn JpegEdgeYcc420Bgr = Edge<4>;
constexpr EdgeFn JpegEdgeYcc422Rgb = Edge<5>;
constexpr EdgeFn JpegEdgeYcc422Bgr = Edge<6>;
constexpr EdgeFn JpegEdgeYcc444Quad = Edge<7>;
constexpr EdgeFn JpegEdgeYcc420Quad = Edge<8>;
constexpr EdgeFn JpegEdgeYcc422Quad = Edge<9>;
constexpr EdgeFn JpegEdgeYcck444Quad = Edge<10>;
constexpr EdgeFn JpegEdgeYcck420Quad = Edge<11>;
constexpr EdgeFn JpegEdgeYcck422Quad = Edge<12>;
constexpr EdgeFn JpegEdgeCopy3Quad = Edge<13>;
constexpr EdgeFn JpegEdgeCopy4 = Edge<14>;
constexpr EdgeFn JpegEdgeCopy3 = Edge<15>;
constexpr EdgeFn JpegEdgeCopy420 = Edge<16>;
constexpr EdgeFn JpegEdgeCopy422 = Edge<17>;
constexpr EdgeFn JpegEdgePack422 = Edge<19>;
// Named with the others; the table below holds the colour outputs only.
[[maybe_unused]] constexpr EdgeFn JpegEdgeGray = Edge<0>;
struct OutputMember {
  int32_t code;
  JpegDecoderRoutineFn driver;
  EdgeFn edge;
};
constexpr OutputMember kOutputMembers[] = {
    {1, JpegOutYcc444Rgb, JpegEdgeYcc444Rgb},
    {2, JpegOutYcc444Bgr, JpegEdgeYcc444Bgr},
    {3, JpegOutYcc420Rgb, JpegEdgeYcc420Rgb},
    {4, JpegOutYcc420Bgr, JpegEdgeYcc420Bgr},
    {5, JpegOutYcc422Rgb, JpegEdgeYcc422Rgb},
    {6, JpegOutYcc422Bgr, JpegEdgeYcc422Bgr},
    {7, JpegOutYcc444Quad, JpegEdgeYcc444Quad},
    {8, JpegOutYcc420Quad, JpegEdgeYcc420Quad},
    {9, JpegOutYcc422Quad, JpegEdgeYcc422Quad},
    {10, JpegOutYcck444Quad, JpegEdgeYcck444Quad},
    {11, JpegOutYcck420Quad, JpegEdgeYcck420Quad},
    {12, JpegOutYcck422Quad, JpegEdgeYcck422Quad},
    {13, JpegOutCopy3Quad, JpegEdgeCopy3Quad},
    {14, JpegOutCopy4, JpegEdgeCopy4},
    {15, JpegOutCopy3, JpegEdgeCopy3},
    {16, JpegOutCopy420, JpegEdgeCopy420},
    {17, JpegOutCopy422, JpegEdgeCopy422},
    {19, JpegOutPack422, JpegEdgePack422},
};

}  // namespace

// ---- Plain full-MCU routines -----------------------------------------------------------------

void JpegCvtGray(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* d, int32_t s) {
  FullMcu<S444, kGray>(c0, c1, c2, c3, d, s);
}
#define VELMI_CVT(name, S, L)                                                                                    \
  void name(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* d, int32_t s) { \
    FullMcu<S, L>(c0, c1, c2, c3, d, s);                                                                         \
  }
VELMI_CVT(JpegCvtYcc444Rgb, S444, kRgb)
VELMI_CVT(JpegCvtYcc422Rgb, S422, kRgb)
VELMI_CVT(JpegCvtYcc420Rgb, S420, kRgb)
VELMI_CVT(JpegCvtYcc444Bgr, S444, kBgr)
VELMI_CVT(JpegCvtYcc422Bgr, S422, kBgr)
VELMI_CVT(JpegCvtYcc420Bgr, S420, kBgr)
VELMI_CVT(JpegCvtYcc444Quad, S444, kQuad)
VELMI_CVT(JpegCvtYcc422Quad, S422, kQuad)
VELMI_CVT(JpegCvtYcc420Quad, S420, kQuad)
VELMI_CVT(JpegCvtCopy3, S444, kCopy3)
VELMI_CVT(JpegCvtCopy422, S422, kCopy3)
VELMI_CVT(JpegCvtCopy420, S420, kCopy3)
VELMI_CVT(JpegCvtCopy3Quad, S444, kCopy3Quad)
VELMI_CVT(JpegCvtPack422, S422, kPack)
VELMI_CVT(JpegCvtYcck444Quad, S444, kYcck)
VELMI_CVT(JpegCvtYcck422Quad, S422, kYcck)
VELMI_CVT(JpegCvtYcck420Quad, S420, kYcck)
VELMI_CVT(JpegCvtCopy4, S444, kCopy4)
#undef VELMI_CVT

int32_t JpegOutGray(JPEG_PROPERTIES* p, int32_t col, int32_t row) { return Driver<0>(p, col, row); }

int32_t JpegOutputDriverFor(int32_t code, JpegDecoderRoutineFn* driver) {
  for (const OutputMember& m : kOutputMembers)
    if (m.code == code) {
      *driver = m.driver;
      return 1;
    }
  return 0;
}

void JpegFillPlainOutputKernels(JpegKernelTable* t) {
  JpegOutputConverterFn* o = t->outputConverters;
  o[cvtGray] = JpegCvtGray;
  o[cvtYcc444Rgb] = JpegCvtYcc444Rgb;
  o[cvtYcc422Rgb] = JpegCvtYcc422Rgb;
  o[cvtYcc420Rgb] = JpegCvtYcc420Rgb;
  o[cvtYcc444Bgr] = JpegCvtYcc444Bgr;
  o[cvtYcc422Bgr] = JpegCvtYcc422Bgr;
  o[cvtYcc420Bgr] = JpegCvtYcc420Bgr;
  o[cvtYcc444Quad] = JpegCvtYcc444Quad;
  o[cvtYcc422Quad] = JpegCvtYcc422Quad;
  o[cvtYcc420Quad] = JpegCvtYcc420Quad;
  o[cvtCopy3] = JpegCvtCopy3;
  o[cvtCopy422] = JpegCvtCopy422;
  o[cvtCopy420] = JpegCvtCopy420;
  o[cvtCopy3Quad] = JpegCvtCopy3Quad;
  o[cvtPack422] = JpegCvtPack422;
  o[cvtYcck444Quad] = JpegCvtYcck444Quad;
  o[cvtYcck422Quad] = JpegCvtYcck422Quad;
  o[cvtYcck420Quad] = JpegCvtYcck420Quad;
  o[cvtCopy4] = JpegCvtCopy4;
}
