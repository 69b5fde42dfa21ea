// SSE2 forward DCTs and quantisers.  The transforms keep the plain
// routines' 32-bit arithmetic exactly (eight lanes, wrap-around products);
// the quantisers use the processor rounding on 16-bit lanes.
#include <emmintrin.h>

#include "jpeg/kernels/enc_kernels.h"
#include "common/sse2_transpose.h"

namespace {

// a * K modulo 2^32 for 0 < K < 65536 in four 32-bit lanes; k holds K in
// every 16-bit lane.
inline __m128i MulK(__m128i a, __m128i k) {
  const __m128i lo = _mm_mullo_epi16(a, k);
  const __m128i hi = _mm_mulhi_epu16(a, k);
  return _mm_add_epi32(lo, _mm_slli_epi32(hi, 16));
}

inline __m128i K16(int k) { return _mm_set1_epi16((short)(uint16_t)k); }

inline __m128i WidenLo(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
inline __m128i WidenHi(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }
// Low 16 bits of each 32-bit lane of a and b, as eight 16-bit lanes.
inline __m128i Narrow(__m128i a, __m128i b) {
  a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
  b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
  return _mm_packs_epi32(a, b);
}

// Integer butterfly on four lanes of 32-bit inputs; outputs before narrowing.
template <bool Rows>
inline __attribute__((always_inline)) void IntButterfly(const __m128i* x, __m128i* y) {
  const __m128i r = Rows ? _mm_set1_epi32(2048) : _mm_set1_epi32(1048576);
  const int s = Rows ? 12 : 21;
  const __m128i s07 = _mm_add_epi32(x[0], x[7]), s16 = _mm_add_epi32(x[1], x[6]);
  const __m128i s25 = _mm_add_epi32(x[2], x[5]), s34 = _mm_add_epi32(x[3], x[4]);
  const __m128i d07 = _mm_sub_epi32(x[0], x[7]), d16 = _mm_sub_epi32(x[1], x[6]);
  const __m128i d25 = _mm_sub_epi32(x[2], x[5]), d34 = _mm_sub_epi32(x[3], x[4]);
  const __m128i e0 = _mm_add_epi32(s07, s34), e3 = _mm_sub_epi32(s07, s34);
  const __m128i e1 = _mm_add_epi32(s16, s25), e2 = _mm_sub_epi32(s16, s25);
  const __m128i c2048 = _mm_set1_epi32(2048);
  const __m128i p = _mm_srai_epi32(_mm_add_epi32(MulK(d07, K16(46341)), c2048), 12);
  const __m128i q = _mm_srai_epi32(_mm_add_epi32(MulK(d34, K16(46341)), c2048), 12);
  const __m128i u = _mm_slli_epi32(_mm_add_epi32(d16, d25), 3);
  const __m128i v = _mm_slli_epi32(_mm_sub_epi32(d16, d25), 3);
  const __m128i a = _mm_add_epi32(p, u), c = _mm_sub_epi32(p, u);
  const __m128i b = _mm_add_epi32(q, v), d = _mm_sub_epi32(q, v);
  y[2] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(MulK(e3, K16(42813)), MulK(e2, K16(17734))), r), s);
  y[6] = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(MulK(e3, K16(17734)), MulK(e2, K16(42813))), r), s);
  y[1] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(MulK(a, K16(4017)), MulK(b, K16(799))), r), s);
  y[7] = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(MulK(a, K16(799)), MulK(b, K16(4017))), r), s);
  y[5] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(MulK(c, K16(2276)), MulK(d, K16(3406))), r), s);
  y[3] = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(MulK(c, K16(3406)), MulK(d, K16(2276))), r), s);
  if (Rows) {
    y[0] = _mm_srai_epi32(_mm_slli_epi32(_mm_add_epi32(e0, e1), 19), 16);
    y[4] = _mm_srai_epi32(_mm_slli_epi32(_mm_sub_epi32(e0, e1), 19), 16);
  } else {
    const __m128i c32 = _mm_set1_epi32(32);
    y[0] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(e0, e1), c32), 6);
    y[4] = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(e0, e1), c32), 6);
  }
}

// One pass over eight lanes of 16-bit inputs.  Fits: the results are known
// to fit 16 bits, so a saturating pack keeps their low bits.
template <bool Rows, bool Fits = false>
inline __attribute__((always_inline)) void IntPass(__m128i* v) {
  __m128i lo[8], hi[8], ylo[8], yhi[8];
  for (int k = 0; k < 8; ++k) {
    lo[k] = WidenLo(v[k]);
    hi[k] = WidenHi(v[k]);
  }
  IntButterfly<Rows>(lo, ylo);
  IntButterfly<Rows>(hi, yhi);
  for (int k = 0; k < 8; ++k) v[k] = Fits ? _mm_packs_epi32(ylo[k], yhi[k]) : Narrow(ylo[k], yhi[k]);
}

inline __m128i M(__m128i v, int k) { return _mm_srai_epi32(_mm_add_epi32(MulK(v, K16(k)), _mm_set1_epi32(16384)), 15); }

inline __attribute__((always_inline)) void ScaledButterfly(const __m128i* x, __m128i* y) {
  const __m128i t0 = _mm_add_epi32(x[0], x[7]), t7 = _mm_sub_epi32(x[0], x[7]);
  const __m128i t1 = _mm_add_epi32(x[1], x[6]), t6 = _mm_sub_epi32(x[1], x[6]);
  const __m128i t2 = _mm_add_epi32(x[2], x[5]), t5 = _mm_sub_epi32(x[2], x[5]);
  const __m128i t3 = _mm_add_epi32(x[3], x[4]), t4 = _mm_sub_epi32(x[3], x[4]);
  const __m128i e10 = _mm_add_epi32(t0, t3), e13 = _mm_sub_epi32(t0, t3);
  const __m128i e11 = _mm_add_epi32(t1, t2), e12 = _mm_sub_epi32(t1, t2);
  y[0] = _mm_add_epi32(e10, e11);
  y[4] = _mm_sub_epi32(e10, e11);
  const __m128i z1 = M(_mm_add_epi32(e12, e13), 23170);
  y[2] = _mm_add_epi32(e13, z1);
  y[6] = _mm_sub_epi32(e13, z1);
  const __m128i o10 = _mm_add_epi32(t4, t5), o11 = _mm_add_epi32(t5, t6), o12 = _mm_add_epi32(t6, t7);
  const __m128i z5 = M(_mm_sub_epi32(o10, o12), 12540);
  const __m128i z2 = _mm_add_epi32(M(o10, 17734), z5);
  const __m128i z4 = _mm_add_epi32(M(o12, 42813), z5);
  const __m128i z3 = M(o11, 23170);
  const __m128i z11 = _mm_add_epi32(t7, z3), z13 = _mm_sub_epi32(t7, z3);
  y[5] = _mm_add_epi32(z13, z2);
  y[3] = _mm_sub_epi32(z13, z2);
  y[1] = _mm_add_epi32(z11, z4);
  y[7] = _mm_sub_epi32(z11, z4);
}

inline void Transpose4x4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpackhi_epi32(a, b);
  const __m128i t2 = _mm_unpacklo_epi32(c, d), t3 = _mm_unpackhi_epi32(c, d);
  a = _mm_unpacklo_epi64(t0, t2);
  b = _mm_unpackhi_epi64(t0, t2);
  c = _mm_unpacklo_epi64(t1, t3);
  d = _mm_unpackhi_epi64(t1, t3);
}

inline __m128i PairK(int a, int b) {
  return _mm_set1_epi32((int)((uint32_t)(uint16_t)a | ((uint32_t)(uint16_t)b << 16)));
}

// (x . k + r) >> s on eight lanes of interleaved 16-bit pairs, back to 16 bits.
inline __m128i MaddRound(__m128i lo, __m128i hi, __m128i k, __m128i r, int s) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lo, k), r), s),
                         _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(hi, k), r), s));
}

// Row pass for samples within -255..255: every intermediate fits 16 bits and
// every product is an exact 16 x 16 multiply-add, so the result equals the
// 32-bit pass.
inline __attribute__((always_inline)) void IntRowPassSmall(__m128i* x) {
  const __m128i s07 = _mm_add_epi16(x[0], x[7]), s16 = _mm_add_epi16(x[1], x[6]);
  const __m128i s25 = _mm_add_epi16(x[2], x[5]), s34 = _mm_add_epi16(x[3], x[4]);
  const __m128i d07 = _mm_sub_epi16(x[0], x[7]), d16 = _mm_sub_epi16(x[1], x[6]);
  const __m128i d25 = _mm_sub_epi16(x[2], x[5]), d34 = _mm_sub_epi16(x[3], x[4]);
  const __m128i e0 = _mm_add_epi16(s07, s34), e3 = _mm_sub_epi16(s07, s34);
  const __m128i e1 = _mm_add_epi16(s16, s25), e2 = _mm_sub_epi16(s16, s25);
  const __m128i r = _mm_set1_epi32(2048);
  const __m128i k46 = PairK(32767, 13574);  // 46341 = 32767 + 13574
  const __m128i p = MaddRound(_mm_unpacklo_epi16(d07, d07), _mm_unpackhi_epi16(d07, d07), k46, r, 12);
  const __m128i q = MaddRound(_mm_unpacklo_epi16(d34, d34), _mm_unpackhi_epi16(d34, d34), k46, r, 12);
  const __m128i u = _mm_slli_epi16(_mm_add_epi16(d16, d25), 3);
  const __m128i v = _mm_slli_epi16(_mm_sub_epi16(d16, d25), 3);
  const __m128i a = _mm_add_epi16(p, u), c = _mm_sub_epi16(p, u);
  const __m128i b = _mm_add_epi16(q, v), d = _mm_sub_epi16(q, v);
  x[0] = _mm_slli_epi16(_mm_add_epi16(e0, e1), 3);
  x[4] = _mm_slli_epi16(_mm_sub_epi16(e0, e1), 3);
  const __m128i abl = _mm_unpacklo_epi16(a, b), abh = _mm_unpackhi_epi16(a, b);
  x[1] = MaddRound(abl, abh, PairK(4017, 799), r, 12);
  x[7] = MaddRound(abl, abh, PairK(799, -4017), r, 12);
  const __m128i cdl = _mm_unpacklo_epi16(c, d), cdh = _mm_unpackhi_epi16(c, d);
  x[5] = MaddRound(cdl, cdh, PairK(2276, 3406), r, 12);
  x[3] = MaddRound(cdl, cdh, PairK(3406, -2276), r, 12);
  // 42813 = 32767 + 10046: two multiply-adds on the same pairs.
  const __m128i el = _mm_unpacklo_epi16(e3, e2), eh = _mm_unpackhi_epi16(e3, e2);
  const __m128i k2a = PairK(32767, 17734), k2b = PairK(10046, 0);
  const __m128i k6a = PairK(17734, -32767), k6b = PairK(0, -10046);
  x[2] = _mm_packs_epi32(
      _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(el, k2a), _mm_madd_epi16(el, k2b)), r), 12),
      _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(eh, k2a), _mm_madd_epi16(eh, k2b)), r), 12));
  x[6] = _mm_packs_epi32(
      _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(el, k6a), _mm_madd_epi16(el, k6b)), r), 12),
      _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(eh, k6a), _mm_madd_epi16(eh, k6b)), r), 12));
}

// Column pass after IntRowPassSmall (inputs within +-16321): the butterfly
// folded into multiply-adds of 16-bit sums and differences; the rest of the
// products are exact 32-bit.  Every identity holds modulo 2^32, as the plain
// pass computes.
template <bool Hi>
inline __attribute__((always_inline)) __m128i Pair16(__m128i a, __m128i b) {
  return Hi ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
}

template <bool Hi>
inline __attribute__((always_inline)) void IntColHalf(const __m128i* sd, __m128i* y) {
  const __m128i s1 = Pair16<Hi>(sd[0], sd[3]), s2 = Pair16<Hi>(sd[1], sd[2]);
  const __m128i d7 = Pair16<Hi>(sd[4], sd[4]), d4 = Pair16<Hi>(sd[7], sd[7]);
  const __m128i dd = Pair16<Hi>(sd[5], sd[6]);
  const __m128i ones = PairK(1, 1);
  const __m128i c32 = _mm_set1_epi32(32), r = _mm_set1_epi32(1048576), c2048 = _mm_set1_epi32(2048);
  const __m128i m1 = _mm_madd_epi16(s1, ones), m2 = _mm_madd_epi16(s2, ones);
  y[0] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(m1, m2), c32), 6);
  y[4] = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(m1, m2), c32), 6);
  y[2] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(s1, PairK(32767, -32767)),
                                                                  _mm_madd_epi16(s1, PairK(10046, -10046))),
                                                    _mm_madd_epi16(s2, PairK(17734, -17734))),
                                      r),
                        21);
  y[6] = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(s1, PairK(17734, -17734)),
                                                                  _mm_madd_epi16(s2, PairK(-32767, 32767))),
                                                    _mm_madd_epi16(s2, PairK(-10046, 10046))),
                                      r),
                        21);
  const __m128i k46 = PairK(32767, 13574);
  const __m128i p = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(d7, k46), c2048), 12);
  const __m128i q = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(d4, k46), c2048), 12);
  auto out = [&](__m128i pq, __m128i ka, __m128i kb) {
    return _mm_srai_epi32(
        _mm_add_epi32(_mm_add_epi32(pq, _mm_add_epi32(_mm_madd_epi16(dd, ka), _mm_madd_epi16(dd, kb))), r), 21);
  };
  y[1] = out(_mm_add_epi32(MulK(p, K16(4017)), MulK(q, K16(799))), PairK(32767, 25744), PairK(5761, 0));
  y[7] = out(_mm_sub_epi32(MulK(p, K16(799)), MulK(q, K16(4017))), PairK(-25744, 32767), PairK(0, 5761));
  y[5] = out(_mm_add_epi32(MulK(p, K16(2276)), MulK(q, K16(3406))), PairK(-32767, 9040), PairK(-12689, 0));
  y[3] = out(_mm_sub_epi32(MulK(p, K16(3406)), MulK(q, K16(2276))), PairK(-9040, -32767), PairK(0, -12689));
}

inline __attribute__((always_inline)) void IntColPassSmall(__m128i* v) {
  // s07, s16, s25, s34, d07, d16, d25, d34: each within 16 bits here.
  const __m128i sd[8] = {_mm_add_epi16(v[0], v[7]), _mm_add_epi16(v[1], v[6]), _mm_add_epi16(v[2], v[5]),
                         _mm_add_epi16(v[3], v[4]), _mm_sub_epi16(v[0], v[7]), _mm_sub_epi16(v[1], v[6]),
                         _mm_sub_epi16(v[2], v[5]), _mm_sub_epi16(v[3], v[4])};
  __m128i lo[8], hi[8];
  IntColHalf<false>(sd, lo);
  IntColHalf<true>(sd, hi);
  for (int k = 0; k < 8; ++k) v[k] = _mm_packs_epi32(lo[k], hi[k]);
}

inline bool WithinSamples(const __m128i* v) {
  __m128i hi = v[0], lo = v[0];
  for (int i = 1; i < 8; ++i) {
    hi = _mm_max_epi16(hi, v[i]);
    lo = _mm_min_epi16(lo, v[i]);
  }
  const __m128i out = _mm_or_si128(_mm_cmpgt_epi16(hi, _mm_set1_epi16(255)), _mm_cmplt_epi16(lo, _mm_set1_epi16(-255)));
  return _mm_movemask_epi8(out) == 0;
}

}  // namespace

void JpegFdctIntSse2(int16_t* block) {
  __m128i v[8];
  for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  Transpose8x8Epi16(v);  // lanes are rows: the row pass
  if (WithinSamples(v)) {
    IntRowPassSmall(v);
    Transpose8x8Epi16(v);  // lanes are columns: the column pass
    IntColPassSmall(v);    // a transform of samples stays within 16 bits
  } else {
    IntPass<true>(v);
    Transpose8x8Epi16(v);
    IntPass<false>(v);
  }
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), v[i]);
}

void JpegFdctScaledMmx(int16_t* block) {
  __m128i v[8];
  for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  Transpose8x8Epi16(v);
  // Row pass: 32-bit results, lanes = rows (lo: rows 0-3, hi: rows 4-7).
  __m128i lo[8], hi[8], ylo[8], yhi[8];
  for (int k = 0; k < 8; ++k) {
    lo[k] = WidenLo(v[k]);
    hi[k] = WidenHi(v[k]);
  }
  ScaledButterfly(lo, ylo);
  ScaledButterfly(hi, yhi);
  // Transpose the 8x8 of 32-bit values so that lanes become columns:
  // c[r] (columns 0-3 of row r) and d[r] (columns 4-7).
  __m128i c[8], d[8];
  for (int rb = 0; rb < 2; ++rb) {
    __m128i* src = rb ? yhi : ylo;  // rows 4rb..4rb+3
    __m128i a0 = src[0], a1 = src[1], a2 = src[2], a3 = src[3];
    Transpose4x4(a0, a1, a2, a3);
    c[4 * rb + 0] = a0;
    c[4 * rb + 1] = a1;
    c[4 * rb + 2] = a2;
    c[4 * rb + 3] = a3;
    __m128i b0 = src[4], b1 = src[5], b2 = src[6], b3 = src[7];
    Transpose4x4(b0, b1, b2, b3);
    d[4 * rb + 0] = b0;
    d[4 * rb + 1] = b1;
    d[4 * rb + 2] = b2;
    d[4 * rb + 3] = b3;
  }
  __m128i oc[8], od[8];
  ScaledButterfly(c, oc);
  ScaledButterfly(d, od);
  for (int k = 0; k < 8; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), Narrow(oc[k], od[k]));
}

void JpegQuantizeRecipSse2(int16_t* block, const int16_t* table) {
  const __m128i one = _mm_set1_epi16(1);
  for (int i = 0; i < 64; i += 8) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
    __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + i));
    c = _mm_mulhi_epi16(_mm_slli_epi16(c, 3), _mm_srli_epi16(r, 1));
    c = _mm_srai_epi16(_mm_add_epi16(c, one), 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), c);
  }
}

void JpegQuantizeScaledMmx(int16_t* block, const int16_t* table) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i lo = _mm_set1_epi16(-8192), hi = _mm_set1_epi16(8191);
  for (int i = 0; i < 64; i += 8) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + i));
    c = _mm_min_epi16(_mm_max_epi16(c, lo), hi);
    c = _mm_mulhi_epi16(_mm_slli_epi16(c, 2), m);
    c = _mm_srai_epi16(_mm_add_epi16(c, one), 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), c);
  }
}
