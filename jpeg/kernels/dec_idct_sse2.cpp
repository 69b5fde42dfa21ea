// SSE2 integer inverse DCT and dequantiser.  Both give exactly the plain
// routines' results: the transform runs the same 32-bit wrap-around
// arithmetic, and blocks whose row pass leaves the 16-bit range (never the
// case for valid data) take the plain routine.
#include <emmintrin.h>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"
#include "common/sse2_transpose.h"

namespace {

inline __m128i Pair(int16_t a, int16_t b) { return _mm_set_epi16(b, a, b, a, b, a, b, a); }

// Low 32 bits of each lane times a 16-bit constant k (given in every 16-bit
// lane): low half's product plus the high half's, moved up 16 bits.
inline __m128i MulLo32(__m128i a, __m128i k) {
  return _mm_add_epi32(_mm_mullo_epi16(a, k), _mm_slli_epi32(_mm_mulhi_epu16(a, k), 16));
}

// One 8-point pass over four lanes: x holds the inputs as 16-bit lanes, `hi`
// picks lanes 4-7; z receives the undescaled 32-bit outputs.  With N = 4
// the inputs from x[4] on are zero in every lane and the products they
// would add are left out; the remaining products are regrouped, which the
// wrap-around sums allow, so the outputs are the full pass's.
template <bool Hi, int N>
inline void Pass(const __m128i* x, __m128i* z) {
  auto il = [](__m128i a, __m128i b) { return Hi ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b); };
  const __m128i r2048 = _mm_set1_epi32(2048), k5793 = _mm_set1_epi16(5793);
  __m128i fg, hl, A, C, U, R, W, B;
  if (N == 8) {
    const __m128i p17 = il(x[1], x[7]), p53 = il(x[5], x[3]), p04 = il(x[0], x[4]), p26 = il(x[2], x[6]);
    const __m128i f = _mm_madd_epi16(p17, Pair(6393, -32138));
    const __m128i h = _mm_madd_epi16(p17, Pair(32138, 6393));
    const __m128i g = _mm_madd_epi16(p53, Pair(27246, -18205));
    const __m128i l = _mm_madd_epi16(p53, Pair(18205, 27246));
    fg = _mm_add_epi32(f, g);
    hl = _mm_add_epi32(h, l);
    A = _mm_sub_epi32(_mm_sub_epi32(_mm_add_epi32(h, f), l), g);
    C = _mm_sub_epi32(_mm_sub_epi32(_mm_add_epi32(h, g), l), f);
    U = _mm_slli_epi32(_mm_madd_epi16(p04, Pair(1, 1)), 15);
    R = _mm_slli_epi32(_mm_madd_epi16(p04, Pair(1, -1)), 15);
    W = _mm_add_epi32(_mm_madd_epi16(p26, Pair(21406, 17734)), _mm_madd_epi16(p26, Pair(21407, 0)));
    B = _mm_add_epi32(_mm_madd_epi16(p26, Pair(17734, -21406)), _mm_madd_epi16(p26, Pair(0, -21407)));
  } else {
    const __m128i p13 = il(x[1], x[3]), p02 = il(x[0], x[2]);
    fg = _mm_madd_epi16(p13, Pair(6393, -18205));
    hl = _mm_madd_epi16(p13, Pair(32138, 27246));
    A = _mm_add_epi32(_mm_madd_epi16(p13, Pair(19265, -9041)), _mm_madd_epi16(p13, Pair(19266, 0)));
    C = _mm_add_epi32(_mm_madd_epi16(p13, Pair(25745, -22725)), _mm_madd_epi16(p13, Pair(0, -22726)));
    U = R = _mm_slli_epi32(_mm_madd_epi16(p02, Pair(1, 0)), 15);
    W = _mm_add_epi32(_mm_madd_epi16(p02, Pair(0, 21406)), _mm_madd_epi16(p02, Pair(0, 21407)));
    B = _mm_madd_epi16(p02, Pair(0, 17734));
  }
  const __m128i P = MulLo32(_mm_srai_epi32(_mm_add_epi32(fg, r2048), 12), k5793);
  const __m128i T = MulLo32(_mm_srai_epi32(_mm_add_epi32(hl, r2048), 12), k5793);
  z[0] = _mm_add_epi32(_mm_add_epi32(T, U), W);
  z[7] = _mm_sub_epi32(_mm_add_epi32(U, W), T);
  z[1] = _mm_add_epi32(_mm_add_epi32(A, R), B);
  z[6] = _mm_sub_epi32(_mm_add_epi32(R, B), A);
  z[2] = _mm_sub_epi32(_mm_add_epi32(C, R), B);
  z[5] = _mm_sub_epi32(_mm_sub_epi32(R, B), C);
  z[3] = _mm_sub_epi32(_mm_add_epi32(P, U), W);
  z[4] = _mm_sub_epi32(_mm_sub_epi32(U, W), P);
}

inline int ZeroLanes(__m128i v) { return _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())); }

// Both passes on the (dequantised) rows in x; false, with nothing stored,
// when a row-pass output leaves the 16-bit range.  UpperZero: rows 4-7 are
// all zero, so their row-pass outputs are zero and the column pass sees
// zeros from input 4 on.
template <bool UpperZero>
__attribute__((always_inline)) inline bool Transform(__m128i* x, int16_t* block) {
  __m128i zl[8], zh[8];
  Transpose8x8Epi16(x);  // x[j] lane r = coefficient j of row r
  Pass<false, 8>(x, zl);
  if (!UpperZero) Pass<true, 8>(x, zh);
  const __m128i r2048 = _mm_set1_epi32(2048);
  // A value outside the 16-bit range saturates to -32768 or 32767; any lane
  // at either end (saturated or not) sends the block to the plain routine.
  __m128i high = _mm_set1_epi16(-32767), low = _mm_set1_epi16(32766);
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) {
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(zl[j], r2048), 12);
    const __m128i hi = UpperZero ? _mm_setzero_si128() : _mm_srai_epi32(_mm_add_epi32(zh[j], r2048), 12);
    x[j] = _mm_packs_epi32(lo, hi);
    high = _mm_max_epi16(high, x[j]);
    low = _mm_min_epi16(low, x[j]);
  }
  const __m128i ends =
      _mm_or_si128(_mm_cmpeq_epi16(high, _mm_set1_epi16(32767)), _mm_cmpeq_epi16(low, _mm_set1_epi16(-32768)));
  if (_mm_movemask_epi8(ends) != 0) return false;
  Transpose8x8Epi16(x);  // x[k] lane j = row-pass output k of column j
  if (UpperZero) {
    Pass<false, 4>(x, zl);
    Pass<true, 4>(x, zh);
  } else {
    Pass<false, 8>(x, zl);
    Pass<true, 8>(x, zh);
  }
  // After the shift by 21 every value lies in -1024..1023, so packing is
  // exact and the offset can be added in 16 bits.
  const __m128i round = _mm_set1_epi32(1048576), offset = _mm_set1_epi16(128);
  const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(255);
#pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) {
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(zl[k], round), 21);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(zh[k], round), 21);
    const __m128i v = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(_mm_packs_epi32(lo, hi), offset), zero), top);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), v);
  }
  return true;
}

// The transform of the coefficients in x (already dequantised); x is not
// kept.  The plain routine takes the blocks the kernel cannot.
__attribute__((always_inline)) inline void Idct(__m128i* x, int16_t* block) {
  // Only a DC value: every sample is the DC's (the plain arithmetic, once).
  const __m128i upper = _mm_or_si128(_mm_or_si128(x[4], x[5]), _mm_or_si128(x[6], x[7]));
  const __m128i ac = _mm_or_si128(_mm_or_si128(_mm_or_si128(x[1], x[2]), _mm_or_si128(x[3], upper)),
                                  _mm_and_si128(x[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0)));
  if (ZeroLanes(ac) == 0xFFFF) {
    const int32_t dc = (int16_t)_mm_cvtsi128_si32(x[0]);
    const int32_t row = (int32_t)(((uint32_t)dc << 15) + 2048u) >> 12;
    const int16_t v = JpegRangeLimit((int32_t)(((uint32_t)row << 15) + 1048576u) >> 21);
    const __m128i all = _mm_set1_epi16(v);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), all);
    return;
  }
  __m128i y[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) y[i] = x[i];
  // (Finer choices cost more in mispredicted branches than they save.)
  if (ZeroLanes(upper) == 0xFFFF ? Transform<true>(y, block) : Transform<false>(y, block)) return;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), x[i]);
  JpegIdctInt(block);
}

}  // namespace

void JpegIdctIntSse2(int16_t* block) {
  __m128i x[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  Idct(x, block);
}

void JpegIdctIntQuantSse2(int16_t* block, const int16_t* table) {
  __m128i x[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i)
    x[i] = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 8 * i)));
  Idct(x, block);
}

void JpegDequantizeIntSse2(int16_t* block, const int16_t* table) {
  for (int i = 0; i < 64; i += 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), _mm_mullo_epi16(c, q));
  }
}
