#include "player/core/jbp1_kernels.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#include "common/sse2_transpose.h"
#include "formats/rgb565.h"
#endif

namespace {

// A 32-bit product shifted right by 16; it wraps as the device's 32-bit
// multiply does (only a damaged stream gets that far).
inline int Mul(int x, int k) { return static_cast<int>(static_cast<uint32_t>(x) * static_cast<uint32_t>(k)) >> 16; }

// Sums wrap in 32 bits as the products do, so that no dequantised value
// (up to 32768 x 65535) can overflow into undefined behaviour.
inline int Add(int a, int b) { return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int Sub(int a, int b) { return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// One 8-point pass of the integer Loeffler-Ligtenberg-Moschytz transform.
inline void Idct8(int c0, int c1, int c2, int c3, int c4, int c5, int c6, int c7, int out[8]) {
  const int z1e = Mul(Add(c2, c6), 35467);
  const int tmp2 = Add(z1e, Mul(c6, -121094));
  const int tmp3 = Add(z1e, Mul(c2, 50159));
  const int tmp0 = Add(c0, c4);
  const int tmp1 = Sub(c0, c4);
  const int tmp10 = Add(tmp0, tmp3), tmp13 = Sub(tmp0, tmp3);
  const int tmp11 = Add(tmp1, tmp2), tmp12 = Sub(tmp1, tmp2);

  const int z5 = Mul(Add(Add(c7, c3), Add(c5, c1)), 77062);
  const int z1 = Mul(Add(c7, c1), -58980);
  const int z2 = Mul(Add(c5, c3), -167963);
  const int z3 = Add(Mul(Add(c7, c3), -128553), z5);
  const int z4 = Add(Mul(Add(c5, c1), -25570), z5);
  const int t0 = Add(Mul(c7, 19571), Add(z1, z3));
  const int t1 = Add(Mul(c5, 134553), Add(z2, z4));
  const int t2 = Add(Mul(c3, 201373), Add(z2, z3));
  const int t3 = Add(Mul(c1, 98390), Add(z1, z4));

  out[0] = Add(tmp10, t3);
  out[7] = Sub(tmp10, t3);
  out[1] = Add(tmp11, t2);
  out[6] = Sub(tmp11, t2);
  out[2] = Add(tmp12, t1);
  out[5] = Sub(tmp12, t1);
  out[3] = Add(tmp13, t0);
  out[4] = Sub(tmp13, t0);
}

// Chroma terms are computed from samples bounded to this range, so that
// every product stays in range whatever the stream holds.
constexpr int kChromaLimit = 8192;

}  // namespace

void Jbp1InverseDctPlain(short* b, const WORD* q) {
  int out[8];
  for (int c = 0; c < 8; ++c) {
    short* col = b + c;
    const WORD* qc = q + c;
    if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
      // Same result as the full pass: every output is the top entry.
      const short v = static_cast<short>(col[0] * qc[0]);  // fits: |col| <= 32768, q <= 65535
      for (int r = 0; r < 8; ++r) col[8 * r] = v;
      continue;
    }
    Idct8(col[0] * qc[0], col[8] * qc[8], col[16] * qc[16], col[24] * qc[24], col[32] * qc[32], col[40] * qc[40],
          col[48] * qc[48], col[56] * qc[56], out);
    for (int r = 0; r < 8; ++r) col[8 * r] = static_cast<short>(out[r]);
  }
  for (int r = 0; r < 8; ++r) {
    short* row = b + 8 * r;
    Idct8(row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], out);
    for (int i = 0; i < 8; ++i) row[i] = static_cast<short>(out[i] >> 3);
  }
}

void Jbp1StoreMacroblockPlain(const short (*blocks)[64], WORD* out, size_t pitch) {
  // The first chroma block drives blue (1.772), the second red (1.402).
  // Channel c of a sample v is clamp(v + 128, 0, 255), as the 768-entry
  // tables of the decoder give it.
  for (int y = 0; y < 16; ++y) {
    WORD* dst = out + static_cast<size_t>(y) * pitch;
    for (int x = 0; x < 16; ++x) {
      const int ci = (y >> 1) * 8 + (x >> 1);
      const int c1 = std::clamp<int>(blocks[4][ci], -kChromaLimit, kChromaLimit - 1);
      const int c2 = std::clamp<int>(blocks[5][ci], -kChromaLimit, kChromaLimit - 1);
      const int l = blocks[(y >> 3) * 2 + (x >> 3)][(y & 7) * 8 + (x & 7)];
      const int blue = std::clamp(l + 128 + ((c1 * 116129) >> 16), 0, 255);
      const int red = std::clamp(l + 128 + ((c2 * 91881) >> 16), 0, 255);
      const int green = std::clamp(l + 128 - ((c1 * 22553 + c2 * 46801) >> 16), 0, 255);
      dst[x] = PackRgb565(red, green, blue);
    }
  }
}

#if defined(__SSE2__)

namespace {

// (low 32 bits of x * k) >> 16 in each lane, k broadcast.
__attribute__((always_inline)) inline __m128i MulK(__m128i x, __m128i k) {
  const __m128i low = _mm_set_epi32(0, -1, 0, -1);
  const __m128i p02 = _mm_mul_epu32(x, k);
  const __m128i p13 = _mm_mul_epu32(_mm_srli_epi64(x, 32), k);
  return _mm_srai_epi32(_mm_or_si128(_mm_and_si128(p02, low), _mm_slli_epi64(p13, 32)), 16);
}

__attribute__((always_inline)) inline void Idct8Sse2(const __m128i c[8], __m128i out[8]) {
  const __m128i z1e = MulK(_mm_add_epi32(c[2], c[6]), _mm_set1_epi32(35467));
  const __m128i tmp2 = _mm_add_epi32(z1e, MulK(c[6], _mm_set1_epi32(-121094)));
  const __m128i tmp3 = _mm_add_epi32(z1e, MulK(c[2], _mm_set1_epi32(50159)));
  const __m128i tmp0 = _mm_add_epi32(c[0], c[4]);
  const __m128i tmp1 = _mm_sub_epi32(c[0], c[4]);
  const __m128i tmp10 = _mm_add_epi32(tmp0, tmp3), tmp13 = _mm_sub_epi32(tmp0, tmp3);
  const __m128i tmp11 = _mm_add_epi32(tmp1, tmp2), tmp12 = _mm_sub_epi32(tmp1, tmp2);

  const __m128i s71 = _mm_add_epi32(c[7], c[1]), s53 = _mm_add_epi32(c[5], c[3]);
  const __m128i s73 = _mm_add_epi32(c[7], c[3]), s51 = _mm_add_epi32(c[5], c[1]);
  const __m128i z5 = MulK(_mm_add_epi32(s73, s51), _mm_set1_epi32(77062));
  const __m128i z1 = MulK(s71, _mm_set1_epi32(-58980));
  const __m128i z2 = MulK(s53, _mm_set1_epi32(-167963));
  const __m128i z3 = _mm_add_epi32(MulK(s73, _mm_set1_epi32(-128553)), z5);
  const __m128i z4 = _mm_add_epi32(MulK(s51, _mm_set1_epi32(-25570)), z5);
  const __m128i t0 = _mm_add_epi32(MulK(c[7], _mm_set1_epi32(19571)), _mm_add_epi32(z1, z3));
  const __m128i t1 = _mm_add_epi32(MulK(c[5], _mm_set1_epi32(134553)), _mm_add_epi32(z2, z4));
  const __m128i t2 = _mm_add_epi32(MulK(c[3], _mm_set1_epi32(201373)), _mm_add_epi32(z2, z3));
  const __m128i t3 = _mm_add_epi32(MulK(c[1], _mm_set1_epi32(98390)), _mm_add_epi32(z1, z4));

  out[0] = _mm_add_epi32(tmp10, t3);
  out[7] = _mm_sub_epi32(tmp10, t3);
  out[1] = _mm_add_epi32(tmp11, t2);
  out[6] = _mm_sub_epi32(tmp11, t2);
  out[2] = _mm_add_epi32(tmp12, t1);
  out[5] = _mm_sub_epi32(tmp12, t1);
  out[3] = _mm_add_epi32(tmp13, t0);
  out[4] = _mm_sub_epi32(tmp13, t0);
}

// Keeps the low 16 bits of each 32-bit lane (a store to a 16-bit value).
inline __m128i Pack16(__m128i a, __m128i b) {
  a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
  b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
  return _mm_packs_epi32(a, b);
}

}  // namespace

void Jbp1InverseDctSse2(short* block, const WORD* quant) {
  __m128i rows[8], lo[8], hi[8], c[8], out[8];
  // Column pass, four columns per lane group; the products coefficient x
  // quantiser are exact 32-bit values.
  for (int r = 0; r < 8; ++r) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + 8 * r));
    const __m128i pl = _mm_mullo_epi16(x, q), ph = _mm_mulhi_epi16(x, q);
    lo[r] = _mm_unpacklo_epi16(pl, ph);
    hi[r] = _mm_unpackhi_epi16(pl, ph);
  }
  Idct8Sse2(lo, out);
  for (int r = 0; r < 8; ++r) c[r] = out[r];
  Idct8Sse2(hi, out);
  for (int r = 0; r < 8; ++r) rows[r] = Pack16(c[r], out[r]);

  // Row pass on the transposed block: lanes are rows.
  Transpose8x8Epi16(rows);
  for (int k = 0; k < 8; ++k) {
    lo[k] = _mm_srai_epi32(_mm_unpacklo_epi16(rows[k], rows[k]), 16);
    hi[k] = _mm_srai_epi32(_mm_unpackhi_epi16(rows[k], rows[k]), 16);
  }
  Idct8Sse2(lo, out);
  for (int k = 0; k < 8; ++k) c[k] = _mm_srai_epi32(out[k], 3);
  Idct8Sse2(hi, out);
  for (int k = 0; k < 8; ++k) rows[k] = Pack16(c[k], _mm_srai_epi32(out[k], 3));
  Transpose8x8Epi16(rows);
  for (int r = 0; r < 8; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * r), rows[r]);
}

void Jbp1StoreMacroblockSse2(const short (*blocks)[64], WORD* out, size_t pitch) {
  // Per chroma row: blue, red and green terms plus 128, with the same
  // bounds and the same rounding as the plain routine:
  //   c1 x 116129 >> 16 = 2 c1 + (c1 x -14943 >> 16)
  //   c2 x 91881 >> 16 = c2 + (c2 x 26345 >> 16)
  //   (c1 x 22553 + c2 x 46801) >> 16 = c2 + ((c1 x 22553 - c2 x 18735) >> 16)
  const __m128i lowLimit = _mm_set1_epi16(-kChromaLimit), highLimit = _mm_set1_epi16(kChromaLimit - 1);
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i greenWeights = _mm_set_epi16(-18735, 22553, -18735, 22553, -18735, 22553, -18735, 22553);
  const __m128i zero = _mm_setzero_si128(), max = _mm_set1_epi16(255);
  const __m128i redMask = _mm_set1_epi16(0xF8), greenMask = _mm_set1_epi16(0xFC);
  for (int cy = 0; cy < 8; ++cy) {
    __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[4] + cy * 8));
    __m128i c2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[5] + cy * 8));
    c1 = _mm_min_epi16(_mm_max_epi16(c1, lowLimit), highLimit);
    c2 = _mm_min_epi16(_mm_max_epi16(c2, lowLimit), highLimit);
    const __m128i bt =
        _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c1, c1), _mm_mulhi_epi16(c1, _mm_set1_epi16(-14943))), bias);
    const __m128i rt = _mm_add_epi16(_mm_add_epi16(c2, _mm_mulhi_epi16(c2, _mm_set1_epi16(26345))), bias);
    const __m128i gl = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(c1, c2), greenWeights), 16);
    const __m128i gh = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(c1, c2), greenWeights), 16);
    const __m128i gt = _mm_sub_epi16(bias, _mm_add_epi16(c2, _mm_packs_epi32(gl, gh)));
    const __m128i terms[3][2] = {
        {_mm_unpacklo_epi16(bt, bt), _mm_unpackhi_epi16(bt, bt)},
        {_mm_unpacklo_epi16(rt, rt), _mm_unpackhi_epi16(rt, rt)},
        {_mm_unpacklo_epi16(gt, gt), _mm_unpackhi_epi16(gt, gt)},
    };
    for (int dy = 0; dy < 2; ++dy) {
      const int y = cy * 2 + dy;
      WORD* dst = out + static_cast<size_t>(y) * pitch;
      for (int side = 0; side < 2; ++side) {
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[(y >> 3) * 2 + side] + (y & 7) * 8));
        // Saturation only happens far outside 0..255, where the
        // clamp gives the same result.
        const __m128i b = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(l, terms[0][side]), zero), max);
        const __m128i r = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(l, terms[1][side]), zero), max);
        const __m128i g = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(l, terms[2][side]), zero), max);
        const __m128i pixel = _mm_or_si128(
            _mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, redMask), 8), _mm_slli_epi16(_mm_and_si128(g, greenMask), 3)),
            _mm_srli_epi16(b, 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + side * 8), pixel);
      }
    }
  }
}

#endif
