// Dequantisation tables, dequantisers and inverse DCTs at full size and at
// 1/2, 1/4 and 1/8 (scaled reads), on the scaled and the integer path.
#include <cmath>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"

namespace {

// 32-bit wrap-around arithmetic, as the fixed-point steps are defined.
inline int32_t A(int32_t a, int32_t b) { return JpegWrapAdd(a, b); }
inline int32_t S(int32_t a, int32_t b) { return JpegWrapSub(a, b); }
inline int32_t X(int32_t a, int32_t b) { return JpegWrapMul(a, b); }
inline int32_t L(int32_t a, int s) { return JpegWrapShl(a, s); }
inline int32_t M(int32_t v, int32_t k) { return A(X(v, k), 16384) >> 15; }

struct FactorTable {
  double f[64];
  FactorTable() {
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < 64; ++k) {
      const int nat = ZigzagToNatural[k];
      const int u = nat / 8, v = nat % 8;
      const double su = u == 0 ? 1.0 : std::sqrt(2.0) * std::cos(u * pi / 16);
      const double sv = v == 0 ? 1.0 : std::sqrt(2.0) * std::cos(v * pi / 16);
      f[k] = su * sv / 8;
    }
  }
};

}  // namespace

const double* ScaledDequantFactor() {
  static const FactorTable table;
  return table.f;
}

void JpegPrepareDequantScaled(int16_t* table) {
  const double* f = ScaledDequantFactor();
  int16_t out[64];
  for (int k = 0; k < 64; ++k) {
    const double m = table[k] * f[k] * 0.0625 * 32768 + 0.5;
    // Multipliers are 16-bit; steps above what fits saturate instead of wrapping.
    int32_t v = m >= 32767.0 ? 32767 : m <= -32768.0 ? -32768 : (int32_t)m;
    out[ZigzagToNatural[k]] = (int16_t)v;
  }
  std::memcpy(table, out, sizeof out);
  std::memset(table + 64, 0, 16 * sizeof(int16_t));
}

void JpegPrepareDequantInt(int16_t* table) {
  int16_t out[64];
  for (int k = 0; k < 64; ++k) out[ZigzagToNatural[k]] = table[k];
  std::memcpy(table, out, sizeof out);
  std::memset(table + 64, 0, 16 * sizeof(int16_t));
}

void JpegDequantizeScaled(int16_t* __restrict block, const int16_t* __restrict table) {
  for (int i = 0; i < 64; ++i) block[i] = (int16_t)(A(X(block[i], table[i]), 64) >> 7);
}

void JpegDequantizeInt(int16_t* __restrict block, const int16_t* __restrict table) {
  // The product of two 16-bit values fits in int; its low 16 bits are kept.
  for (int i = 0; i < 64; ++i) block[i] = (int16_t)(block[i] * table[i]);
}

namespace {

// One 8-point pass of the scaled factorisation.
inline void ScaledPass(const int32_t* x, int32_t* y) {
  const int32_t g = A(A(x[1], x[3]), A(x[5], x[7]));
  const int32_t e = M(S(S(A(x[5], x[7]), x[3]), x[1]), 25080);
  const int32_t f = M(S(S(A(x[1], x[7]), x[5]), x[3]), 46341);
  const int32_t h = S(e, M(S(x[5], x[3]), 85627));
  const int32_t l = S(S(M(S(x[1], x[7]), 35468), e), g);
  const int32_t u = A(x[2], x[6]);
  const int32_t v = S(M(S(x[2], x[6]), 46341), u);
  const int32_t d = S(x[0], x[4]);
  const int32_t a = S(A(x[0], x[4]), u);
  const int32_t c = A(A(x[0], x[4]), u);
  const int32_t fl = S(f, l);
  y[0] = A(c, g);
  y[7] = S(c, g);
  y[1] = A(A(v, d), l);
  y[6] = S(A(v, d), l);
  y[2] = A(S(d, v), fl);
  y[5] = S(S(d, v), fl);
  y[3] = S(a, A(h, fl));
  y[4] = A(a, A(h, fl));
}

}  // namespace

void JpegIdctScaled(int16_t* block) {
  int32_t x[8], y[8];
  for (int c = 0; c < 8; ++c) {
    for (int i = 0; i < 8; ++i) x[i] = block[i * 8 + c];
    ScaledPass(x, y);
    for (int i = 0; i < 8; ++i) block[i * 8 + c] = (int16_t)y[i];
  }
  for (int r = 0; r < 8; ++r) {
    int16_t* row = block + r * 8;
    for (int i = 0; i < 8; ++i) x[i] = row[i];
    ScaledPass(x, y);
    for (int i = 0; i < 8; ++i) row[i] = JpegRangeLimit(A(y[i], 8) >> 4);
  }
}

namespace {

inline void ScaledHalfPass(int32_t x0, int32_t x1, int32_t x2, int32_t x3, int32_t x5, int32_t x6, int32_t x7,
                           int32_t* out) {
  const int32_t c = M(S(x2, x6), 46341) / 2;
  const int32_t p = S(x5, x3), q = S(x1, x7);
  const int32_t s = A(S(X(q, 60548), X(p, 25080)), 32768) >> 16;
  const int32_t t = A(A(X(p, 60547), X(q, 25080)), 32768) >> 16;
  out[0] = A(A(x0, c), s);
  out[1] = S(A(x0, t), c);
  out[2] = S(S(x0, c), t);
  out[3] = S(A(x0, c), s);
}

}  // namespace

void JpegIdctScaledHalf(int16_t* b) {
  int32_t o[4];
  static const int cols[7] = {0, 1, 2, 3, 5, 6, 7};
  for (int c : cols) {
    ScaledHalfPass(b[c], b[8 + c], b[16 + c], b[24 + c], b[40 + c], b[48 + c], b[56 + c], o);
    for (int i = 0; i < 4; ++i) b[i * 8 + c] = (int16_t)o[i];
  }
  for (int r = 0; r < 4; ++r) {
    int16_t* e = b + r * 8;
    ScaledHalfPass(e[0], e[1], e[2], e[3], e[5], e[6], e[7], o);
    for (int i = 0; i < 4; ++i) e[i] = JpegRangeLimit(A(o[i], 8) >> 4);
  }
}

void JpegIdctScaledQuarter(int16_t* b) {
  static const int cols[5] = {0, 1, 3, 5, 7};
  for (int c : cols) {
    const int32_t x0 = b[c], x1 = b[8 + c], x3 = b[24 + c], x5 = b[40 + c], x7 = b[56 + c];
    const int32_t r = A(A(X(S(x1, x7), 85627), X(S(x5, x3), 35468)), 65536) >> 17;
    b[c] = (int16_t)A(x0, r);
    b[8 + c] = (int16_t)S(x0, r);
  }
  for (int row = 0; row < 2; ++row) {
    int16_t* e = b + row * 8;
    const int32_t R = A(A(X(S(e[1], e[7]), 85627), X(S(e[5], e[3]), 35468)), 65536) >> 17;
    const int32_t e0 = e[0];
    e[0] = JpegRangeLimit(A(A(e0, R), 8) >> 4);
    e[1] = JpegRangeLimit(A(S(e0, R), 8) >> 4);
  }
}

void JpegIdctScaledEighth(int16_t* b) { b[0] = JpegRangeLimit(A(b[0], 8) >> 4); }

namespace {

inline void IntPass(const int32_t* x, int32_t* z) {
  const int32_t f = S(X(6393, x[1]), X(32138, x[7]));
  const int32_t g = S(X(27246, x[5]), X(18205, x[3]));
  const int32_t h = A(X(32138, x[1]), X(6393, x[7]));
  const int32_t l = A(X(18205, x[5]), X(27246, x[3]));
  const int32_t P = X(A(A(f, g), 2048) >> 12, 5793);
  const int32_t T = X(A(A(h, l), 2048) >> 12, 5793);
  const int32_t Aa = S(S(A(h, f), l), g);
  const int32_t C = S(S(A(h, g), l), f);
  const int32_t U = L(A(x[0], x[4]), 15);
  const int32_t R = L(S(x[0], x[4]), 15);
  const int32_t W = A(X(42813, x[2]), X(17734, x[6]));
  const int32_t B = S(X(17734, x[2]), X(42813, x[6]));
  z[0] = A(A(T, U), W);
  z[7] = S(A(U, W), T);
  z[1] = A(A(Aa, R), B);
  z[6] = S(A(R, B), Aa);
  z[2] = S(A(C, R), B);
  z[5] = S(S(R, B), C);
  z[3] = S(A(P, U), W);
  z[4] = S(S(U, W), P);
}

}  // namespace

void JpegIdctInt(int16_t* block) {
  alignas(32) int32_t work[64];
  int32_t x[8], z[8];
  // Rows.  A row whose AC inputs are all zero gives U for every output: the
  // same values, without the products.
  for (int r = 0; r < 8; ++r) {
    const int16_t* in = block + r * 8;
    int32_t* out = work + r * 8;
    if ((in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7]) == 0) {
      const int32_t v = A(L(in[0], 15), 2048) >> 12;
      for (int i = 0; i < 8; ++i) out[i] = v;
      continue;
    }
    for (int i = 0; i < 8; ++i) x[i] = in[i];
    IntPass(x, z);
    for (int i = 0; i < 8; ++i) out[i] = A(z[i], 2048) >> 12;
  }
  // Columns, all eight side by side (branch-free, so the compiler can run
  // them in parallel lanes).
  int32_t col[8][8];
  for (int c = 0; c < 8; ++c) {
    const int32_t* w = work + c;
    const int32_t x0 = w[0], x1 = w[8], x2 = w[16], x3 = w[24], x4 = w[32], x5 = w[40], x6 = w[48], x7 = w[56];
    const int32_t f = S(X(6393, x1), X(32138, x7)), g = S(X(27246, x5), X(18205, x3));
    const int32_t h = A(X(32138, x1), X(6393, x7)), l = A(X(18205, x5), X(27246, x3));
    const int32_t P = X(A(A(f, g), 2048) >> 12, 5793), T = X(A(A(h, l), 2048) >> 12, 5793);
    const int32_t Aa = S(S(A(h, f), l), g), C = S(S(A(h, g), l), f);
    const int32_t U = L(A(x0, x4), 15), R = L(S(x0, x4), 15);
    const int32_t W = A(X(42813, x2), X(17734, x6)), B = S(X(17734, x2), X(42813, x6));
    col[0][c] = A(A(A(T, U), W), 1048576) >> 21;
    col[7][c] = A(S(A(U, W), T), 1048576) >> 21;
    col[1][c] = A(A(A(Aa, R), B), 1048576) >> 21;
    col[6][c] = A(S(A(R, B), Aa), 1048576) >> 21;
    col[2][c] = A(S(A(C, R), B), 1048576) >> 21;
    col[5][c] = A(S(S(R, B), C), 1048576) >> 21;
    col[3][c] = A(S(A(P, U), W), 1048576) >> 21;
    col[4][c] = A(S(S(U, W), P), 1048576) >> 21;
  }
  for (int i = 0; i < 8; ++i)
    for (int c = 0; c < 8; ++c) {
      const int32_t v = col[i][c];
      block[i * 8 + c] = (int16_t)(v < -128 ? 0 : v > 127 ? 255 : v + 128);
    }
}

namespace {

// 4-point output of the integer 1/2 transform; shift and rounding per pass.
inline void IntHalfPass(int32_t x0, int32_t x1, int32_t x2, int32_t x3, int32_t x5, int32_t x6, int32_t x7,
                        int32_t round, int shift, int32_t* out) {
  const int32_t E = L(x0, 14);
  const int32_t K = S(X(15137, x2), X(6270, x6));
  const int32_t a = A(E, K), b = S(E, K);
  const int32_t G = S(S(A(X(7373, x3), X(20995, x1)), X(4926, x5)), X(4176, x7));
  const int32_t H = S(S(A(X(11893, x5), X(8697, x1)), X(17799, x3)), X(1730, x7));
  out[0] = A(A(a, G), round) >> shift;
  out[1] = A(A(b, H), round) >> shift;
  out[2] = A(S(b, H), round) >> shift;
  out[3] = A(S(a, G), round) >> shift;
}

}  // namespace

void JpegIdctIntHalf(int16_t* b) {
  int32_t work[4][8] = {};
  static const int cols[7] = {0, 1, 2, 3, 5, 6, 7};
  int32_t o[4];
  for (int c : cols) {
    const int32_t x0 = b[c], x1 = b[8 + c], x2 = b[16 + c], x3 = b[24 + c], x5 = b[40 + c], x6 = b[48 + c],
                  x7 = b[56 + c];
    if ((x1 | x2 | x3 | x5 | x6 | x7) == 0) {
      for (int i = 0; i < 4; ++i) work[i][c] = X(4, x0);
      continue;
    }
    IntHalfPass(x0, x1, x2, x3, x5, x6, x7, 2048, 12, o);
    for (int i = 0; i < 4; ++i) work[i][c] = o[i];
  }
  for (int r = 0; r < 4; ++r) {
    const int32_t* w = work[r];
    int16_t* e = b + r * 8;
    if ((w[1] | w[2] | w[3] | w[5] | w[6] | w[7]) == 0) {
      const int16_t v = JpegRangeLimit(A(w[0], 16) >> 5);
      e[0] = e[1] = e[2] = e[3] = v;
      continue;
    }
    IntHalfPass(w[0], w[1], w[2], w[3], w[5], w[6], w[7], 262144, 19, o);
    for (int i = 0; i < 4; ++i) e[i] = JpegRangeLimit(o[i]);
  }
}

void JpegIdctIntQuarter(int16_t* b) {
  int32_t work[2][8] = {};
  static const int cols[5] = {0, 1, 3, 5, 7};
  for (int c : cols) {
    const int32_t x0 = b[c], x1 = b[8 + c], x3 = b[24 + c], x5 = b[40 + c], x7 = b[56 + c];
    if ((x1 | x3 | x5 | x7) == 0) {
      work[0][c] = work[1][c] = X(4, x0);
      continue;
    }
    const int32_t Lc = S(S(A(X(6967, x5), X(29692, x1)), X(5906, x7)), X(10426, x3));
    work[0][c] = A(A(L(x0, 15), Lc), 4096) >> 13;
    work[1][c] = A(S(L(x0, 15), Lc), 4096) >> 13;
  }
  for (int r = 0; r < 2; ++r) {
    const int32_t* w = work[r];
    int16_t* e = b + r * 8;
    if ((w[1] | w[3] | w[5] | w[7]) == 0) {
      e[0] = e[1] = JpegRangeLimit(A(w[0], 16) >> 5);
      continue;
    }
    const int32_t Lr = S(S(A(X(6967, w[5]), X(29692, w[1])), X(5906, w[7])), X(10426, w[3]));
    e[0] = JpegRangeLimit(A(A(L(w[0], 15), Lr), 524288) >> 20);
    e[1] = JpegRangeLimit(A(S(L(w[0], 15), Lr), 524288) >> 20);
  }
}

void JpegIdctIntEighth(int16_t* b) { b[0] = JpegRangeLimit(A(b[0], 4) >> 3); }
