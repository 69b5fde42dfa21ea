// Forward DCT and quantisation: the integer path (method 1) and the scaled
// path (method 0).  Products and sums are 32-bit with wrap-around.
#include "jpeg/jpeg_internal.h"

// Numerators of the scaled path's multipliers, in zigzag order.
const int32_t ScaledQuantBase[64] = {
    4096,  2953,  2953, 3134,  2129,  3134,  3483,  2260, 2260, 3483,  4096,  2511,  2399,  2511,  4096,  5213,
    2953,  2666,  2666, 2953,  5213,  7568,  3758,  3134, 2962, 3134,  3758,  7568,  14846, 5456,  3990,  3483,
    3483,  3990,  5456, 14846, 10703, 5792,  4433,  4096, 4433, 5792,  10703, 11362, 6436,  5213,  5213,  6436,
    11362, 12625, 7568, 6635,  7568,  12625, 14846, 9632, 9632, 14846, 18895, 13984, 18895, 27432, 27432, 53810,
};

namespace {

inline int32_t Add(int32_t a, int32_t b) { return JpegWrapAdd(a, b); }
inline int32_t Sub(int32_t a, int32_t b) { return JpegWrapSub(a, b); }
inline int32_t Mul(int32_t a, int32_t b) { return JpegWrapMul(a, b); }

// One pass of the integer butterfly over x[0], x[step], ... x[7*step].
template <int R, int S, bool Rows>
inline void IntPass(int16_t* x, int step) {
  const int32_t x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
  const int32_t x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];
  const int32_t s07 = x0 + x7, s16 = x1 + x6, s25 = x2 + x5, s34 = x3 + x4;
  const int32_t d07 = x0 - x7, d16 = x1 - x6, d25 = x2 - x5, d34 = x3 - x4;
  const int32_t e0 = s07 + s34, e3 = s07 - s34, e1 = s16 + s25, e2 = s16 - s25;
  const int32_t p = Add(Mul(46341, d07), 2048) >> 12;
  const int32_t q = Add(Mul(46341, d34), 2048) >> 12;
  const int32_t u = JpegWrapShl(d16 + d25, 3), v = JpegWrapShl(d16 - d25, 3);
  const int32_t a = Add(p, u), c = Sub(p, u), b = Add(q, v), d = Sub(q, v);
  x[2 * step] = (int16_t)(Add(Add(Mul(42813, e3), Mul(17734, e2)), R) >> S);
  x[6 * step] = (int16_t)(Add(Sub(Mul(17734, e3), Mul(42813, e2)), R) >> S);
  x[1 * step] = (int16_t)(Add(Add(Mul(4017, a), Mul(799, b)), R) >> S);
  x[7 * step] = (int16_t)(Add(Sub(Mul(799, a), Mul(4017, b)), R) >> S);
  x[5 * step] = (int16_t)(Add(Add(Mul(2276, c), Mul(3406, d)), R) >> S);
  x[3 * step] = (int16_t)(Add(Sub(Mul(3406, c), Mul(2276, d)), R) >> S);
  if (Rows) {
    x[0] = (int16_t)(JpegWrapShl(e0 + e1, 19) >> 16);
    x[4 * step] = (int16_t)(JpegWrapShl(e0 - e1, 19) >> 16);
  } else {
    x[0] = (int16_t)((e0 + e1 + 32) >> 6);
    x[4 * step] = (int16_t)((e0 - e1 + 32) >> 6);
  }
}

inline int32_t M(int32_t v, int32_t k) { return Add(Mul(v, k), 16384) >> 15; }

template <typename In, typename Out>
inline void ScaledPass(const In* x, int is, Out* y, int os) {
  const int32_t t0 = Add(x[0], x[7 * is]), t7 = Sub(x[0], x[7 * is]);
  const int32_t t1 = Add(x[is], x[6 * is]), t6 = Sub(x[is], x[6 * is]);
  const int32_t t2 = Add(x[2 * is], x[5 * is]), t5 = Sub(x[2 * is], x[5 * is]);
  const int32_t t3 = Add(x[3 * is], x[4 * is]), t4 = Sub(x[3 * is], x[4 * is]);
  const int32_t e10 = Add(t0, t3), e13 = Sub(t0, t3), e11 = Add(t1, t2), e12 = Sub(t1, t2);
  y[0] = (Out)Add(e10, e11);
  y[4 * os] = (Out)Sub(e10, e11);
  const int32_t z1 = M(Add(e12, e13), 23170);
  y[2 * os] = (Out)Add(e13, z1);
  y[6 * os] = (Out)Sub(e13, z1);
  const int32_t o10 = Add(t4, t5), o11 = Add(t5, t6), o12 = Add(t6, t7);
  const int32_t z5 = M(Sub(o10, o12), 12540);
  const int32_t z2 = Add(M(o10, 17734), z5);
  const int32_t z4 = Add(M(o12, 42813), z5);
  const int32_t z3 = M(o11, 23170);
  const int32_t z11 = Add(t7, z3), z13 = Sub(t7, z3);
  y[5 * os] = (Out)Add(z13, z2);
  y[3 * os] = (Out)Sub(z13, z2);
  y[1 * os] = (Out)Add(z11, z4);
  y[7 * os] = (Out)Sub(z11, z4);
}

}  // namespace

void JpegPrepareQuantRecip(int16_t* table) {
  int32_t r[64];
  for (int k = 0; k < 64; ++k) {
    const int32_t step = table[k];
    r[k] = step != 0 ? 32768 / step : 32768;
  }
  for (int k = 0; k < 64; ++k) table[ZigzagToNatural[k]] = (int16_t)(uint16_t)r[k];
}

void JpegPrepareQuantScaled(int16_t* table) {
  if (table[63] < 2) table[63] = 2;
  int32_t m[64];
  for (int k = 0; k < 64; ++k) {
    const int32_t step = table[k] != 0 ? table[k] : 1;
    m[k] = ((step >> 1) + ScaledQuantBase[k]) / step;
  }
  for (int k = 0; k < 64; ++k) table[ZigzagToNatural[k]] = (int16_t)m[k];
}

void JpegFdctInt(int16_t* block) {
  for (int r = 0; r < 8; ++r) IntPass<2048, 12, true>(block + 8 * r, 1);
  for (int c = 0; c < 8; ++c) IntPass<1048576, 21, false>(block + c, 8);
}

void JpegFdctScaled(int16_t* block) {
  alignas(32) int32_t work[64];
  for (int r = 0; r < 8; ++r) ScaledPass<int16_t, int32_t>(block + 8 * r, 1, work + 8 * r, 1);
  for (int c = 0; c < 8; ++c) ScaledPass<int32_t, int16_t>(work + c, 8, block + c, 8);
}

void JpegQuantizeRecip(int16_t* block, const int16_t* table) {
  for (int i = 0; i < 64; ++i) {
    const int32_t r = (uint16_t)table[i];
    block[i] = (int16_t)(Add(Mul(block[i], r), 16384) >> 15);
  }
}

void JpegQuantizeScaled(int16_t* block, const int16_t* table) {
  for (int i = 0; i < 64; ++i) block[i] = (int16_t)(Add(Mul(block[i], table[i]), 16384) >> 15);
}
