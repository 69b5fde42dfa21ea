// The decoder's shortcuts against straightforward models: the integer
// transform's zero-input shortcuts (plain and SSE2) against the full
// arithmetic, and the plain colour converters against the per-pixel formulas.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

namespace {

int32_t A(int32_t a, int32_t b) { return JpegWrapAdd(a, b); }
int32_t S(int32_t a, int32_t b) { return JpegWrapSub(a, b); }
int32_t X(int32_t a, int32_t b) { return JpegWrapMul(a, b); }

// One 8-point pass, every product taken.
void Pass(const int32_t* x, int32_t* z) {
  const int32_t f = S(X(6393, x[1]), X(32138, x[7])), g = S(X(27246, x[5]), X(18205, x[3]));
  const int32_t h = A(X(32138, x[1]), X(6393, x[7])), l = A(X(18205, x[5]), X(27246, x[3]));
  const int32_t P = X(A(A(f, g), 2048) >> 12, 5793), T = X(A(A(h, l), 2048) >> 12, 5793);
  const int32_t Aa = S(S(A(h, f), l), g), C = S(S(A(h, g), l), f);
  const int32_t U = JpegWrapShl(A(x[0], x[4]), 15), R = JpegWrapShl(S(x[0], x[4]), 15);
  const int32_t W = A(X(42813, x[2]), X(17734, x[6])), B = S(X(17734, x[2]), X(42813, x[6]));
  z[0] = A(A(T, U), W);
  z[7] = S(A(U, W), T);
  z[1] = A(A(Aa, R), B);
  z[6] = S(A(R, B), Aa);
  z[2] = S(A(C, R), B);
  z[5] = S(S(R, B), C);
  z[3] = S(A(P, U), W);
  z[4] = S(S(U, W), P);
}

void ModelIdct(int16_t* block) {
  int32_t work[64], x[8], z[8];
  for (int r = 0; r < 8; ++r) {
    for (int i = 0; i < 8; ++i) x[i] = block[r * 8 + i];
    Pass(x, z);
    for (int i = 0; i < 8; ++i) work[r * 8 + i] = A(z[i], 2048) >> 12;
  }
  for (int c = 0; c < 8; ++c) {
    for (int i = 0; i < 8; ++i) x[i] = work[i * 8 + c];
    Pass(x, z);
    for (int i = 0; i < 8; ++i) block[i * 8 + c] = JpegRangeLimit(A(z[i], 1048576) >> 21);
  }
}

TEST(FastPaths, IntegerTransformShortcutsEqualTheFullArithmetic) {
  std::mt19937 rng(23);
  for (int n = 0; n < 12000; ++n) {
    alignas(16) int16_t model[64], plain[64], simd[64];
    const int range = n % 7 == 3 ? 32768 : 1024;
    for (auto& v : model) v = (int16_t)((int)(rng() % (2 * range)) - range);
    // Zero patterns the shortcuts look for: DC only, first row or column
    // only, rows or columns from 2 or 4 on zero, both, sparse.
    for (int i = 0; i < 64; ++i) {
      const int r = i / 8, c = i % 8;
      switch (n % 10) {
        case 0:
          if (i) model[i] = 0;
          break;
        case 1:
          if (r) model[i] = 0;
          break;
        case 2:
          if (c) model[i] = 0;
          break;
        case 3:
          if (r >= 4) model[i] = 0;
          break;
        case 4:
          if (c >= 4) model[i] = 0;
          break;
        case 5:
          if (r >= 2) model[i] = 0;
          break;
        case 6:
          if (c >= 2) model[i] = 0;
          break;
        case 7:
          if (r >= 4 || c >= 2) model[i] = 0;
          break;
        case 8:
          if (rng() % 4) model[i] = 0;
          break;
        default:
          break;
      }
    }
    std::memcpy(plain, model, sizeof model);
    std::memcpy(simd, model, sizeof model);
    ModelIdct(model);
    JpegIdctInt(plain);
    JpegIdctIntSse2(simd);
    ASSERT_EQ(std::memcmp(model, plain, sizeof model), 0) << n;
    ASSERT_EQ(std::memcmp(model, simd, sizeof model), 0) << n;
  }
}

uint8_t Clamp(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

TEST(FastPaths, PlainColourConvertersFollowTheFormulas) {
  struct Entry {
    JpegOutputConverterFn fn;
    int sampling, layout;  // sampling 0: 1x1, 1: 2x1, 2: 2x2; layout 0 RGB, 1 BGR, 2 RGB+255, 3 inverted + K
  } entries[] = {{JpegCvtYcc444Rgb, 0, 0},   {JpegCvtYcc422Rgb, 1, 0},   {JpegCvtYcc420Rgb, 2, 0},
                 {JpegCvtYcc444Bgr, 0, 1},   {JpegCvtYcc422Bgr, 1, 1},   {JpegCvtYcc420Bgr, 2, 1},
                 {JpegCvtYcc444Quad, 0, 2},  {JpegCvtYcc422Quad, 1, 2},  {JpegCvtYcc420Quad, 2, 2},
                 {JpegCvtYcck444Quad, 0, 3}, {JpegCvtYcck422Quad, 1, 3}, {JpegCvtYcck420Quad, 2, 3}};
  std::mt19937 rng(31);
  for (const Entry& e : entries) {
    const int w = e.sampling ? 16 : 8, h = e.sampling == 2 ? 16 : 8, nY = (w / 8) * (h / 8);
    const int bpp = e.layout >= 2 ? 4 : 3, stride = w * bpp + 3;
    for (int n = 0; n < 30; ++n) {
      alignas(16) int16_t mcu[640];
      for (auto& v : mcu) v = (int16_t)(rng() % 256);
      if (n == 0)
        for (int i = 0; i < 640; ++i) mcu[i] = (int16_t)(i % 2 ? 255 : 0);  // saturating extremes
      const int16_t *cb = mcu + 64 * nY, *cr = cb + 64, *k = cr + 64;
      std::vector<uint8_t> got((size_t)stride * (h + 2), 0x5A), want = got;
      uint8_t* base = got.data() + stride;
      e.fn(mcu, cb, cr, k, base, stride);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int yi = e.sampling == 0 ? y * 8 + x : (y / 8) * 128 + (x / 8) * 64 + (y % 8) * 8 + x % 8;
          const int ci = e.sampling == 0 ? y * 8 + x : e.sampling == 1 ? y * 8 + x / 2 : (y / 2) * 8 + x / 2;
          const int Y = mcu[yi], vb = cb[ci], vr = cr[ci];
          const uint8_t R = Clamp(Y + ((359 * vr - 45813) >> 8));
          const uint8_t G = Clamp(Y - ((88 * vb + 183 * vr - 34806) >> 8));
          const uint8_t B = Clamp(Y + ((454 * vb - 57937) >> 8));
          uint8_t* px = want.data() + stride + (size_t)y * stride + (size_t)x * bpp;
          switch (e.layout) {
            case 0:
              px[0] = R, px[1] = G, px[2] = B;
              break;
            case 1:
              px[0] = B, px[1] = G, px[2] = R;
              break;
            case 2:
              px[0] = R, px[1] = G, px[2] = B, px[3] = 255;
              break;
            default:
              px[0] = 255 - R, px[1] = 255 - G, px[2] = 255 - B, px[3] = (uint8_t)k[yi];
              break;
          }
        }
      ASSERT_TRUE(got == want) << "entry " << (&e - entries) << " sample " << n;
    }
  }
}

}  // namespace
