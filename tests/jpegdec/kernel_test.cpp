// Processor kernels against the plain routines: output converters on random
// MCUs, the integer transform and dequantiser on random blocks, and the block
// decoders on random coefficients that libjpeg-turbo codes into well-formed
// streams.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"
#include "tests/jpegdec/dec_util.h"

namespace {

TEST(Kernels, RegistryKindSelectsTheTable) {
  for (int kind = 0; kind <= 6; ++kind) {
    jd::UseCpuKind(kind);
    JpegJob job;
    ASSERT_EQ(JpegInit(&job), 0);
    const JpegKernelTable* t = job.props.out.kernels;
    EXPECT_EQ(job.props.dec.cpuKind, kind);
    const bool simd = kind >= 3;
    EXPECT_EQ(t->huffDecodeBlock, simd ? (kind == 3 ? JpegDecodeBlockMmx : JpegDecodeBlockMmx2) : JpegDecodeBlock);
    EXPECT_EQ(t->huffDecodeDcOnly, simd ? JpegDecodeDcOnlyMmx : JpegDecodeBlockDc);
    EXPECT_EQ(t->idctInt, simd ? JpegIdctIntSse2 : JpegIdctInt);
    EXPECT_EQ(t->dequantInt, simd ? JpegDequantizeIntSse2 : JpegDequantizeInt);
    EXPECT_EQ(t->dequantScaled, JpegDequantizeScaled);
    EXPECT_EQ(t->outputConverters[cvtCopy3], JpegCvtCopy3);
    EXPECT_EQ(t->outputConverters[cvtCopy4], JpegCvtCopy4);
    EXPECT_EQ(t->outputConverters[cvtYcc420Bgr] == JpegCvtYcc420Bgr, !simd);
    for (auto f : t->outputConverters) EXPECT_NE(f, nullptr);
    EXPECT_EQ(t->decoderOutput, nullptr);
    JpegFree(&job);
  }
  jd::UseCpuKind(0);
}

// Model of a colour kernel's bytes for one pixel.
void KernelPixel(int y, int cb, int cr, int k, int layout, uint8_t* px) {
  auto clamp = [](int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); };
  const int r = ((cr * 359) >> 8) - 179, b = ((cb * 454) >> 8) - 227;
  const int g = (88 * cb + 183 * cr - 34806) >> 8;
  const uint8_t R = clamp(y + r), G = clamp(y - g), B = clamp(y + b);
  switch (layout) {
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
      px[0] = 255 - R, px[1] = 255 - G, px[2] = 255 - B, px[3] = (uint8_t)k;
      break;
  }
}

TEST(Kernels, OutputKernelsWriteTheStatedBytesOfRandomMcus) {
  JpegKernelTable plain{}, simd{};
  JpegFillPlainOutputKernels(&plain);
  JpegFillPlainOutputKernels(&simd);
  JpegFillSimdOutputKernels(&simd, JPEG_CPU_P4_SSE2);
  struct Entry {
    int slot, sampling, layout;  // sampling 0: 1x1, 1: 2x1, 2: 2x2; layout -1 copy-like (plain bytes)
  } entries[] = {{cvtGray, 0, -1},       {cvtPack422, 1, -1},   {cvtYcc444Rgb, 0, 0},  {cvtYcc422Rgb, 1, 0},
                 {cvtYcc420Rgb, 2, 0},   {cvtYcc444Bgr, 0, 1},  {cvtYcc422Bgr, 1, 1},  {cvtYcc420Bgr, 2, 1},
                 {cvtYcc444Quad, 0, 2},  {cvtYcc422Quad, 1, 2}, {cvtYcc420Quad, 2, 2}, {cvtYcck444Quad, 0, 3},
                 {cvtYcck422Quad, 1, 3}, {cvtYcck420Quad, 2, 3}};
  std::mt19937 rng(5);
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.slot);
    const int w = e.sampling ? 16 : 8, h = e.sampling == 2 ? 16 : 8, nY = (w / 8) * (h / 8);
    const int bpp = e.slot == cvtGray ? 1 : e.slot == cvtPack422 ? 2 : e.layout >= 2 ? 4 : 3;
    for (int n = 0; n < 40; ++n) {
      alignas(16) int16_t mcu[640];
      for (auto& v : mcu) v = (int16_t)(rng() % 256);
      const int16_t* c1 = mcu + 64 * nY;
      const int16_t* c2 = c1 + 64;
      const int16_t* c3 = c2 + 64;
      const int stride = w * bpp + 5;
      std::vector<uint8_t> a((size_t)stride * (h + 1), 0xA5), b = a;
      uint8_t* da = a.data() + stride / 2;
      uint8_t* db = b.data() + stride / 2;
      // Some rows run bottom-up through a negative stride.
      const bool up = n % 2;
      if (up) {
        da = a.data() + (size_t)stride * (h - 1) + 2;
        db = b.data() + (size_t)stride * (h - 1) + 2;
      }
      plain.outputConverters[e.slot](mcu, c1, c2, c3, da, up ? -stride : stride);
      simd.outputConverters[e.slot](mcu, c1, c2, c3, db, up ? -stride : stride);
      if (e.layout < 0) {
        ASSERT_TRUE(a == b);
        continue;
      }
      // Every byte outside the MCU keeps its value.
      std::vector<uint8_t> expect = a;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int yi = (y / 8) * 128 / (e.sampling == 2 ? 1 : 2) + (x / 8) * 64 + (y % 8) * 8 + x % 8;
          const int yIndex = e.sampling == 0 ? y * 8 + x : yi;
          const int ci = e.sampling == 0 ? y * 8 + x : e.sampling == 1 ? y * 8 + x / 2 : (y / 2) * 8 + x / 2;
          uint8_t* px = expect.data() + (da - a.data()) + (intptr_t)(up ? -y : y) * stride + x * bpp;
          KernelPixel(mcu[yIndex], c1[ci], c2[ci], c3[yIndex], e.layout, px);
        }
      ASSERT_TRUE(b == expect) << "sample " << n;
    }
  }
}

TEST(Kernels, IntegerTransformAndDequantiserEqualThePlainRoutines) {
  std::mt19937 rng(9);
  for (int n = 0; n < 20000; ++n) {
    alignas(16) int16_t a[64], b[64], q[80];
    const int range = n < 15000 ? 1024 : 32768;
    for (int i = 0; i < 64; ++i) {
      a[i] = (int16_t)((int)(rng() % (2 * range)) - range);
      if (n % 3 == 0 && i > 10 && rng() % 2) a[i] = 0;
      q[i] = (int16_t)(rng() % 256 + 1);
    }
    // Sparse blocks as well: only the first rows (or only the DC) set.
    const int rows = n % 7 == 1 ? 1 + (int)(rng() % 5) : 8;
    for (int i = rows * 8; i < 64; ++i) a[i] = 0;
    if (n % 7 == 1 && rows == 1) std::memset(a + 1, 0, 7 * sizeof a[0]);
    int16_t c[64], o[64];
    std::memcpy(o, a, sizeof a);
    std::memcpy(b, a, sizeof a);
    std::memcpy(c, a, sizeof a);
    JpegIdctIntSse2(b);
    JpegIdctIntQuantSse2(c, q);
    JpegIdctInt(a);
    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << n;
    std::memcpy(a, o, sizeof a);
    // The one-pass form against the plain dequantiser and transform.
    JpegDequantizeInt(a, q);
    JpegIdctInt(a);
    ASSERT_EQ(std::memcmp(a, c, sizeof a), 0) << n;
    for (int i = 0; i < 64; ++i) a[i] = b[i] = (int16_t)((int)(rng() % 65536) - 32768);
    JpegDequantizeInt(a, q);
    JpegDequantizeIntSse2(b, q);
    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << n;
  }
}

// Random coefficients, coded by libjpeg-turbo, come back exactly with every
// processor kind (the block decoders, their refills and restarts).
TEST(Kernels, BlockDecodersReturnRandomCoefficientsExactly) {
  struct Geometry {
    int w, h, comps, hs, vs;
    bool progressive;
    int restart;
  } shapes[] = {{64, 48, 3, 2, 2, false, 0}, {61, 37, 3, 2, 1, false, 3}, {40, 40, 1, 1, 1, false, 1},
                {48, 32, 3, 1, 1, false, 7}, {52, 36, 3, 2, 2, true, 0},  {33, 17, 1, 1, 1, true, 2}};
  std::mt19937 rng(17);
  for (const Geometry& g : shapes) {
    SCOPED_TRACE(testing::Message() << g.w << "x" << g.h << " comps " << g.comps << " progressive " << g.progressive);
    std::vector<jd::LjCoefs> coefs;
    for (int c = 0; c < g.comps; ++c) {
      const int hmax = g.comps == 1 ? 1 : g.hs, vmax = g.comps == 1 ? 1 : g.vs;
      const int h = c == 0 ? hmax : 1, v = c == 0 ? vmax : 1;
      jd::LjCoefs k;
      k.blocksW = ((g.w * h + hmax - 1) / hmax + 7) / 8;
      k.blocksH = ((g.h * v + vmax - 1) / vmax + 7) / 8;
      k.c.resize((size_t)k.blocksW * k.blocksH * 64);
      for (size_t i = 0; i < k.c.size(); ++i) {
        const int pos = (int)(i % 64);
        if (pos == 0)
          k.c[i] = (int16_t)((int)(rng() % 1001) - 500);
        else if (rng() % 5 == 0)
          k.c[i] = (int16_t)((int)(rng() % 601) - 300);
        else if (rng() % 7 == 0)
          k.c[i] = (int16_t)((int)(rng() % 3) - 1);
      }
      coefs.push_back(std::move(k));
    }
    const std::vector<uint8_t> jpeg = jd::LjWriteCoefs(g.w, g.h, g.comps, g.hs, g.vs, coefs, g.progressive, g.restart);
    ASSERT_FALSE(jpeg.empty());
    for (int kind : {0, 3, 4, 5, 6}) {
      jd::UseCpuKind(kind);
      JpegStatus st;
      const std::vector<jd::LjCoefs> got = jd::OurCoefs(jpeg, &st);
      ASSERT_EQ(st, 0) << "kind " << kind;
      ASSERT_EQ(got.size(), coefs.size());
      for (size_t c = 0; c < coefs.size(); ++c) EXPECT_TRUE(got[c].c == coefs[c].c) << "kind " << kind << " comp " << c;
    }
  }
  jd::UseCpuKind(0);
}

}  // namespace
