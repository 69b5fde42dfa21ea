// SSE2 output converter kernels for whole MCUs.  The colour terms are taken
// from high-half products: r = (16 Cr x 5744) >> 16 - 179 and
// b = (16 Cb x 7264) >> 16 - 227, so R and B can be one below the plain
// routines'; G is the plain routine's.  Grey and packed 4:2:2 give the plain
// bytes.  Every kernel writes exactly the MCU's pixels.
#include <emmintrin.h>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

namespace {

enum Sampling { S444, S422, S420 };
enum Layout { kRgb, kBgr, kQuad, kYcck };

inline __m128i Load8(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

struct Terms {
  __m128i r, g, b;
};

// Colour terms of eight chroma samples.
inline Terms ChromaTerms(__m128i cb, __m128i cr) {
  Terms t;
  const __m128i cb16 = _mm_slli_epi16(cb, 4), cr16 = _mm_slli_epi16(cr, 4);
  t.r = _mm_sub_epi16(_mm_mulhi_epi16(cr16, _mm_set1_epi16(5744)), _mm_set1_epi16(179));
  t.b = _mm_sub_epi16(_mm_mulhi_epi16(cb16, _mm_set1_epi16(7264)), _mm_set1_epi16(227));
  const __m128i w = _mm_set_epi16(88, 183, 88, 183, 88, 183, 88, 183);
  const __m128i off = _mm_set1_epi32(556896);
  const __m128i lo = _mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cr16, cb16), w), off), 12);
  const __m128i hi = _mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cr16, cb16), w), off), 12);
  t.g = _mm_packs_epi32(lo, hi);
  return t;
}

// Terms of chroma samples 0-3 (or 4-7) widened over two pixels each.
inline Terms Widen(const Terms& t, bool high) {
  Terms o;
  if (high) {
    o.r = _mm_unpackhi_epi16(t.r, t.r);
    o.g = _mm_unpackhi_epi16(t.g, t.g);
    o.b = _mm_unpackhi_epi16(t.b, t.b);
  } else {
    o.r = _mm_unpacklo_epi16(t.r, t.r);
    o.g = _mm_unpacklo_epi16(t.g, t.g);
    o.b = _mm_unpacklo_epi16(t.b, t.b);
  }
  return o;
}

// Three-byte pixels from four-byte ones (the fourth byte dropped): 16 bytes
// of four pixels become their 12 bytes at the start of the register.
inline __m128i Squeeze(__m128i px) {
  const __m128i lowPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i highPixel = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
  const __m128i six = _mm_or_si128(_mm_and_si128(px, lowPixel), _mm_srli_epi64(_mm_and_si128(px, highPixel), 8));
  const __m128i keepLo = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
  const __m128i keepHi = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000u), 0);
  return _mm_or_si128(_mm_and_si128(six, keepLo), _mm_and_si128(_mm_srli_si128(six, 2), keepHi));
}

// Eight pixels of one row.
template <Layout L>
inline void Pixels8(__m128i y, const Terms& t, const int16_t* k, uint8_t* dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i R = _mm_packus_epi16(_mm_add_epi16(y, t.r), zero);
  const __m128i G = _mm_packus_epi16(_mm_sub_epi16(y, t.g), zero);
  const __m128i B = _mm_packus_epi16(_mm_add_epi16(y, t.b), zero);
  if (L == kRgb || L == kBgr) {
    const __m128i first = L == kRgb ? R : B, third = L == kRgb ? B : R;
    const __m128i p01 = _mm_unpacklo_epi8(first, G), p2x = _mm_unpacklo_epi8(third, zero);
    const __m128i a = Squeeze(_mm_unpacklo_epi16(p01, p2x)), b = Squeeze(_mm_unpackhi_epi16(p01, p2x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm_srli_si128(b, 4));
  } else {
    __m128i c0 = R, c1 = G, c2 = B, c3 = _mm_set1_epi8(-1);
    if (L == kYcck) {
      c0 = _mm_sub_epi8(c3, R);
      c1 = _mm_sub_epi8(c3, G);
      c2 = _mm_sub_epi8(c3, B);
      c3 = _mm_packus_epi16(_mm_and_si128(Load8(k), _mm_set1_epi16(0xFF)), zero);
    }
    const __m128i p01 = _mm_unpacklo_epi8(c0, c1), p23 = _mm_unpacklo_epi8(c2, c3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi16(p01, p23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_unpackhi_epi16(p01, p23));
  }
}

template <Sampling S, Layout L>
void Kernel(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* dst, int32_t stride) {
  constexpr int bpp = (L == kQuad || L == kYcck) ? 4 : 3;
  if (S == S444) {
    for (int y = 0; y < 8; ++y) {
      const Terms t = ChromaTerms(Load8(c1 + 8 * y), Load8(c2 + 8 * y));
      Pixels8<L>(Load8(c0 + 8 * y), t, c3 ? c3 + 8 * y : nullptr, dst + (intptr_t)y * stride);
    }
  } else if (S == S422) {
    for (int y = 0; y < 8; ++y) {
      const Terms t = ChromaTerms(Load8(c1 + 8 * y), Load8(c2 + 8 * y));
      uint8_t* row = dst + (intptr_t)y * stride;
      Pixels8<L>(Load8(c0 + 8 * y), Widen(t, false), c3 ? c3 + 8 * y : nullptr, row);
      Pixels8<L>(Load8(c0 + 64 + 8 * y), Widen(t, true), c3 ? c3 + 64 + 8 * y : nullptr, row + 8 * bpp);
    }
  } else {
    for (int i = 0; i < 8; ++i) {
      const Terms t = ChromaTerms(Load8(c1 + 8 * i), Load8(c2 + 8 * i));
      const Terms left = Widen(t, false), right = Widen(t, true);
      const int base = i < 4 ? 0 : 128, yr = 2 * (i & 3);
      for (int j = 0; j < 2; ++j) {
        const int off = base + 8 * (yr + j);
        uint8_t* row = dst + (intptr_t)(2 * i + j) * stride;
        Pixels8<L>(Load8(c0 + off), left, c3 ? c3 + off : nullptr, row);
        Pixels8<L>(Load8(c0 + 64 + off), right, c3 ? c3 + 64 + off : nullptr, row + 8 * bpp);
      }
    }
  }
}

}  // namespace

void JpegCvtGrayMmx(const int16_t* c0, const int16_t*, const int16_t*, const int16_t*, uint8_t* dst, int32_t stride) {
  for (int y = 0; y < 8; y += 2) {
    const __m128i v = _mm_packus_epi16(Load8(c0 + 8 * y), Load8(c0 + 8 * y + 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (intptr_t)y * stride), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (intptr_t)(y + 1) * stride), _mm_srli_si128(v, 8));
  }
}

void JpegCvtPack422Mmx(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t*, uint8_t* dst,
                       int32_t stride) {
  for (int y = 0; y < 8; ++y) {
    const __m128i cbcr0 = _mm_unpacklo_epi16(Load8(c1 + 8 * y), Load8(c2 + 8 * y));
    const __m128i cbcr1 = _mm_unpackhi_epi16(Load8(c1 + 8 * y), Load8(c2 + 8 * y));
    const __m128i yl = Load8(c0 + 8 * y), yr = Load8(c0 + 64 + 8 * y);
    uint8_t* row = dst + (intptr_t)y * stride;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row),
                     _mm_packus_epi16(_mm_unpacklo_epi16(yl, cbcr0), _mm_unpackhi_epi16(yl, cbcr0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 16),
                     _mm_packus_epi16(_mm_unpacklo_epi16(yr, cbcr1), _mm_unpackhi_epi16(yr, cbcr1)));
  }
}

#define VELMI_KERNEL(name, S, L)                                                                                 \
  void name(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* d, int32_t s) { \
    Kernel<S, L>(c0, c1, c2, c3, d, s);                                                                          \
  }
VELMI_KERNEL(JpegCvtYcc444RgbMmx, S444, kRgb)
VELMI_KERNEL(JpegCvtYcc422RgbSse, S422, kRgb)
VELMI_KERNEL(JpegCvtYcc420RgbMmx, S420, kRgb)
VELMI_KERNEL(JpegCvtYcc444BgrMmx, S444, kBgr)
VELMI_KERNEL(JpegCvtYcc422BgrSse, S422, kBgr)
VELMI_KERNEL(JpegCvtYcc420BgrMmx, S420, kBgr)
VELMI_KERNEL(JpegCvtYcc444QuadMmx, S444, kQuad)
VELMI_KERNEL(JpegCvtYcc422QuadMmx, S422, kQuad)
VELMI_KERNEL(JpegCvtYcc420QuadMmx, S420, kQuad)
VELMI_KERNEL(JpegCvtYcck444QuadMmx, S444, kYcck)
VELMI_KERNEL(JpegCvtYcck422QuadMmx, S422, kYcck)
VELMI_KERNEL(JpegCvtYcck420QuadMmx, S420, kYcck)
#undef VELMI_KERNEL

namespace {
// The 4:2:2 kernels of the MMX classes compute the same bytes as these.
constexpr JpegOutputConverterFn JpegCvtYcc422RgbMmx = JpegCvtYcc422RgbSse;
constexpr JpegOutputConverterFn JpegCvtYcc422BgrMmx = JpegCvtYcc422BgrSse;
}  // namespace

void JpegFillSimdOutputKernels(JpegKernelTable* t, int32_t kind) {
  const bool sse = kind >= JPEG_CPU_P6_SSE;
  JpegOutputConverterFn* o = t->outputConverters;
  o[cvtGray] = JpegCvtGrayMmx;
  o[cvtYcc444Rgb] = JpegCvtYcc444RgbMmx;
  o[cvtYcc422Rgb] = sse ? JpegCvtYcc422RgbSse : JpegCvtYcc422RgbMmx;
  o[cvtYcc420Rgb] = JpegCvtYcc420RgbMmx;
  o[cvtYcc444Bgr] = JpegCvtYcc444BgrMmx;
  o[cvtYcc422Bgr] = sse ? JpegCvtYcc422BgrSse : JpegCvtYcc422BgrMmx;
  o[cvtYcc420Bgr] = JpegCvtYcc420BgrMmx;
  o[cvtYcc444Quad] = JpegCvtYcc444QuadMmx;
  o[cvtYcc422Quad] = JpegCvtYcc422QuadMmx;
  o[cvtYcc420Quad] = JpegCvtYcc420QuadMmx;
  o[cvtPack422] = JpegCvtPack422Mmx;
  o[cvtYcck444Quad] = JpegCvtYcck444QuadMmx;
  o[cvtYcck422Quad] = JpegCvtYcck422QuadMmx;
  o[cvtYcck420Quad] = JpegCvtYcck420QuadMmx;
}
