// Bit-exact arithmetic: the inverse transforms' worked examples and the
// colour formulas' worked examples, plain and processor kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

namespace {

int Limit(int x) { return x < -128 ? 0 : x > 127 ? 255 : x + 128; }

TEST(InverseDct, DcOnlyBlocksGiveTheRoundedMeanEverywhere) {
  for (int dc : {-5000, -1030, -1029, -1028, -1027, -5, -4, -3, 0, 3, 4, 5, 12, 1019, 1020, 1021, 5000}) {
    SCOPED_TRACE(dc);
    int16_t b[64] = {};
    b[0] = (int16_t)dc;
    JpegIdctInt(b);
    const int expect = Limit((int)std::floor((dc + 4) / 8.0));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], expect);
    int16_t e[64] = {};
    e[0] = (int16_t)dc;
    JpegIdctIntEighth(e);
    EXPECT_EQ(e[0], Limit((dc + 4) >> 3));
    int16_t s[64] = {};
    s[0] = (int16_t)dc;
    JpegIdctScaledEighth(s);
    EXPECT_EQ(s[0], Limit((dc + 8) >> 4));
  }
  // The thresholds of the 1/8 transforms.
  int16_t b[64] = {-1029};
  JpegIdctIntEighth(b);
  EXPECT_EQ(b[0], 0);
  b[0] = 1020;
  JpegIdctIntEighth(b);
  EXPECT_EQ(b[0], 255);
  b[0] = -2057;
  JpegIdctScaledEighth(b);
  EXPECT_EQ(b[0], 0);
  b[0] = 2040;
  JpegIdctScaledEighth(b);
  EXPECT_EQ(b[0], 255);
}

TEST(InverseDct, ScaledPathDcStepIsTwiceTheProduct) {
  int16_t table[80];
  for (int i = 0; i < 80; ++i) table[i] = 77;  // the tail must be cleared
  for (int i = 0; i < 64; ++i) table[i] = (int16_t)(i + 1);
  JpegPrepareDequantScaled(table);
  EXPECT_EQ(table[0], 256);  // step 1 at DC
  for (int i = 64; i < 80; ++i) EXPECT_EQ(table[i], 0);
  int16_t block[64] = {};
  block[0] = 5;
  JpegDequantizeScaled(block, table);
  EXPECT_EQ(block[0], 10);
  // Natural order: zigzag position 1 (step 2) lands at natural index 1, position 2 at 8.
  const double* f = ScaledDequantFactor();
  EXPECT_NEAR(f[0], 0.125, 1e-12);
  EXPECT_EQ(table[1], (int16_t)(2 * f[1] * 0.0625 * 32768 + 0.5));
  EXPECT_EQ(table[8], (int16_t)(3 * f[2] * 0.0625 * 32768 + 0.5));

  int16_t it[80];
  for (int i = 0; i < 80; ++i) it[i] = (int16_t)(i + 1);
  JpegPrepareDequantInt(it);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(it[ZigzagToNatural[k]], k + 1);
  for (int i = 64; i < 80; ++i) EXPECT_EQ(it[i], 0);
}

// Both full-size transforms against a double-precision inverse DCT.
TEST(InverseDct, FullSizeTransformsFollowTheTrueTransform) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coef(-60, 60);
  const double pi = 3.14159265358979323846;
  int worstInt = 0, worstScaled = 0;
  int16_t unit[80];
  for (int i = 0; i < 64; ++i) unit[i] = 1;
  JpegPrepareDequantScaled(unit);
  for (int n = 0; n < 300; ++n) {
    int16_t c[64] = {};
    c[0] = (int16_t)(coef(rng) * 16);
    for (int i = 1; i < 64; ++i)
      if (rng() % 4 == 0) c[i] = (int16_t)coef(rng);
    double ref[64];
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u)
            s += (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) * c[v * 8 + u] *
                 std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
        ref[y * 8 + x] = std::min(255.0, std::max(0.0, std::round(s / 4 + 128)));
      }
    int16_t a[64], b[64];
    std::memcpy(a, c, sizeof a);
    std::memcpy(b, c, sizeof b);
    JpegIdctInt(a);
    JpegDequantizeScaled(b, unit);
    JpegIdctScaled(b);
    for (int i = 0; i < 64; ++i) {
      worstInt = std::max(worstInt, (int)std::abs(a[i] - ref[i]));
      worstScaled = std::max(worstScaled, (int)std::abs(b[i] - ref[i]));
    }
  }
  EXPECT_LE(worstInt, 1);
  EXPECT_LE(worstScaled, 2);
}

TEST(InverseDct, FarOutOfRangeDcSaturates) {
  for (auto f :
       {JpegIdctInt, JpegIdctScaled, JpegIdctIntHalf, JpegIdctScaledHalf, JpegIdctIntQuarter, JpegIdctScaledQuarter}) {
    int16_t lo[64] = {-5000}, hi[64] = {5000};
    f(lo);
    f(hi);
    EXPECT_EQ(lo[0], 0);
    EXPECT_EQ(hi[0], 255);
  }
}

TEST(InverseDct, ReducedTransformsIgnoreRowAndColumnFour) {
  std::mt19937 rng(3);
  for (auto f : {JpegIdctIntHalf, JpegIdctScaledHalf, JpegIdctIntQuarter, JpegIdctScaledQuarter}) {
    for (int n = 0; n < 50; ++n) {
      int16_t a[64], b[64];
      for (int i = 0; i < 64; ++i) a[i] = (int16_t)((int)(rng() % 200) - 100);
      std::memcpy(b, a, sizeof a);
      for (int i = 0; i < 8; ++i) {
        b[32 + i] = (int16_t)(b[32 + i] + 37);
        b[i * 8 + 4] = (int16_t)(b[i * 8 + 4] - 23);
      }
      f(a);
      f(b);
      const int size = (f == JpegIdctIntHalf || f == JpegIdctScaledHalf) ? 4 : 2;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) ASSERT_EQ(a[y * 8 + x], b[y * 8 + x]);
    }
  }
}

// ---- Colour ------------------------------------------------------------------------------

struct Mcu {
  alignas(16) int16_t s[640];
  void Fill(int y, int cb, int cr, int k = 0) {
    for (int i = 0; i < 640; ++i) s[i] = (int16_t)y;
    for (int i = 64; i < 192; ++i) s[i] = (int16_t)(i < 128 ? cb : cr);
    for (int i = 192; i < 256; ++i) s[i] = (int16_t)k;
  }
};

std::vector<uint8_t> Run444(JpegOutputConverterFn f, const Mcu& m, int bpp) {
  std::vector<uint8_t> out(8 * 8 * bpp);
  f(m.s, m.s + 64, m.s + 128, m.s + 192, out.data(), 8 * bpp);
  return std::vector<uint8_t>(out.begin(), out.begin() + bpp);
}

TEST(Colour, WorkedExamplesOfThePlainConverters) {
  Mcu m;
  struct Row {
    int y, cb, cr, r, g, b;
  } rows[] = {{100, 128, 128, 100, 101, 100},
              {255, 128, 128, 255, 255, 255},
              {128, 0, 0, 0, 255, 0},
              {128, 255, 255, 255, 0, 255}};
  for (const Row& r : rows) {
    m.Fill(r.y, r.cb, r.cr, 40);
    EXPECT_EQ(Run444(JpegCvtYcc444Rgb, m, 3), (std::vector<uint8_t>{(uint8_t)r.r, (uint8_t)r.g, (uint8_t)r.b}));
    EXPECT_EQ(Run444(JpegCvtYcc444Bgr, m, 3), (std::vector<uint8_t>{(uint8_t)r.b, (uint8_t)r.g, (uint8_t)r.r}));
    EXPECT_EQ(Run444(JpegCvtYcc444Quad, m, 4), (std::vector<uint8_t>{(uint8_t)r.r, (uint8_t)r.g, (uint8_t)r.b, 255}));
    EXPECT_EQ(Run444(JpegCvtYcck444Quad, m, 4),
              (std::vector<uint8_t>{(uint8_t)(255 - r.r), (uint8_t)(255 - r.g), (uint8_t)(255 - r.b), 40}));
  }
}

TEST(Colour, KernelRoundingDiffersOnlyWhereStated) {
  Mcu m;
  m.Fill(100, 128, 67);
  EXPECT_EQ(Run444(JpegCvtYcc444Rgb, m, 3), (std::vector<uint8_t>{15, 145, 100}));
  m.Fill(100, 128, 67);
  JpegKernelTable t{};
  JpegFillSimdOutputKernels(&t, JPEG_CPU_P4_SSE2);
  EXPECT_EQ(Run444(t.outputConverters[cvtYcc444Rgb], m, 3)[0], 14);
  m.Fill(250, 1, 128);
  EXPECT_EQ(Run444(JpegCvtYcc444Rgb, m, 3)[2], 25);
  EXPECT_EQ(Run444(t.outputConverters[cvtYcc444Rgb], m, 3)[2], 24);
  m.Fill(100, 128, 128);
  EXPECT_EQ(Run444(t.outputConverters[cvtYcc444Rgb], m, 3), (std::vector<uint8_t>{100, 101, 100}));

  // Every three- and four-byte kernel: G 0 and 255 at the chroma extremes.
  const int entries[] = {cvtYcc444Rgb, cvtYcc422Rgb,  cvtYcc420Rgb,  cvtYcc444Bgr, cvtYcc422Bgr,
                         cvtYcc420Bgr, cvtYcc444Quad, cvtYcc422Quad, cvtYcc420Quad};
  for (int e : entries) {
    const int bpp = e >= cvtYcc444Quad ? 4 : 3;
    const int c1 = e % 3 == 1 ? 64 : e % 3 == 2 ? 128 : 256;
    for (int extreme : {0, 255}) {
      for (int i = 0; i < 640; ++i) m.s[i] = 128;
      for (int i = 0; i < 128; ++i) m.s[c1 + i] = (int16_t)extreme;
      std::vector<uint8_t> out(16 * 16 * bpp, 77);
      t.outputConverters[e](m.s, m.s + c1, m.s + c1 + 64, nullptr, out.data(), 16 * bpp);
      const int w = c1 == 64 ? 8 : 16, h = c1 == 256 ? 16 : 8;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(out[(y * 16 + x) * bpp + 1], 255 - extreme) << e;
    }
  }

  // The stated sets: R one lower for 11 values of Cr, B one lower for 174 of Cb; G always equal.
  std::vector<int> crLower;
  int cbLower = 0;
  for (int v = 0; v < 256; ++v) {
    const int rPlain = (359 * v - 45813) >> 8, bPlain = (454 * v - 57937) >> 8;
    m.Fill(rPlain < 0 ? 200 : 50, 128, v);
    if (Run444(JpegCvtYcc444Rgb, m, 3)[0] != Run444(t.outputConverters[cvtYcc444Rgb], m, 3)[0]) {
      EXPECT_EQ(Run444(JpegCvtYcc444Rgb, m, 3)[0] - 1, Run444(t.outputConverters[cvtYcc444Rgb], m, 3)[0]);
      crLower.push_back(v);
    }
    m.Fill(bPlain < 0 ? 240 : 20, v, 128);
    if (Run444(JpegCvtYcc444Rgb, m, 3)[2] != Run444(t.outputConverters[cvtYcc444Rgb], m, 3)[2]) ++cbLower;
  }
  EXPECT_EQ(crLower, (std::vector<int>{67, 72, 77, 82, 154, 159, 164, 169, 241, 246, 251}));
  EXPECT_EQ(cbLower, 174);
  for (int cb = 0; cb < 256; ++cb)
    for (int cr = 0; cr < 256; cr += 4) {
      for (int i = 0; i < 64; ++i) {
        m.s[i] = (int16_t)((cb * 7 + i) & 255);
        m.s[64 + i] = (int16_t)cb;
        m.s[128 + i] = (int16_t)(cr + (i & 3));
      }
      uint8_t a[192], b[192];
      JpegCvtYcc444Rgb(m.s, m.s + 64, m.s + 128, nullptr, a, 24);
      t.outputConverters[cvtYcc444Rgb](m.s, m.s + 64, m.s + 128, nullptr, b, 24);
      for (int i = 1; i < 192; i += 3) ASSERT_EQ(a[i], b[i]) << cb << " " << cr;
    }
}

}  // namespace
