// The block decoders' combined code-and-value lookup: with it, every block of
// any data (well-formed, truncated or corrupt) decodes exactly as the long
// way does, and whole streams agree with the plain decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"
#include "tests/jpegdec/dec_util.h"

namespace {

// Random code lengths (short ones favoured, some oversubscribed) and symbols.
bool RandomTable(std::mt19937& rng, int cls, JpegHuffDecodeTable* t) {
  uint8_t counts[16] = {}, symbols[256];
  const int total = 1 + (int)(rng() % 162);
  const int shortest = 1 + (int)(rng() % 4);
  for (int k = 0; k < total; ++k) ++counts[shortest - 1 + (int)(rng() % (rng() % 2 ? 6 : 16 - shortest + 1))];
  if (rng() % 4 == 0) counts[0] = 2;  // oversubscribed
  for (int k = 0; k < 256; ++k) symbols[k] = (uint8_t)(cls ? rng() : rng() % 16);
  for (int k = 0; k < 8; ++k) symbols[rng() % 32] = (uint8_t)(rng() % 3 ? 0xF0 : 0x00);
  return JpegDeriveDecodeTable(counts, symbols, cls, 0, t) == 0;
}

std::vector<uint8_t> RandomData(std::mt19937& rng) {
  std::vector<uint8_t> d(1 + rng() % 600);
  const int style = (int)(rng() % 3);
  for (auto& b : d) b = (uint8_t)(style == 0 ? rng() : style == 1 ? rng() % 8 : (rng() % 4 ? 0 : rng()));
  for (size_t i = 0; i + 1 < d.size(); ++i)
    if (d[i] == 0xFF) d[i + 1] = (uint8_t)(rng() % 3 ? 0x00 : rng() % 2 ? 0xD0 + rng() % 8 : 0xFF);
  return d;
}

TEST(HuffLookup, BlockDecodersMatchTheLongWayOnAnyData) {
  using Fn = JpegStatus (*)(JpegInStream*, const JpegHuffDecodeTable*, const JpegHuffDecodeTable*, int16_t*, int16_t*);
  const Fn fns[] = {JpegDecodeBlockMmx, JpegDecodeBlockMmx2, JpegDecodeDcOnlyMmx};
  std::mt19937 rng(5);
  static JpegHuffDecodeTable dc, ac, dcLong, acLong;
  int shortHits = 0;
  for (int round = 0; round < 600; ++round) {
    if (!RandomTable(rng, 0, &dc) || !RandomTable(rng, 1, &ac)) continue;
    dcLong = dc;
    acLong = ac;
    std::memset(dcLong.combined, 0, sizeof dcLong.combined);
    std::memset(acLong.combined, 0, sizeof acLong.combined);
    for (int32_t e : ac.combined) shortHits += e != 0;
    const std::vector<uint8_t> data = RandomData(rng);
    const Fn fn = fns[round % 3];
    JpegInStream a{}, b{};
    a.ptr = a.memStart = data.data();
    a.end = data.data() + data.size();
    a.memSize = (int32_t)data.size();
    b.ptr = b.memStart = a.ptr;
    b.end = a.end;
    b.memSize = a.memSize;
    int16_t predA = 0, predB = 0;
    for (int blk = 0; blk < 60; ++blk) {
      alignas(16) int16_t outA[64], outB[64];
      std::memset(outA, 0x5A, sizeof outA);
      std::memset(outB, 0x5A, sizeof outB);
      ASSERT_EQ(fn(&a, &dc, &ac, &predA, outA), fn(&b, &dcLong, &acLong, &predB, outB));
      ASSERT_EQ(std::memcmp(outA, outB, sizeof outA), 0) << "round " << round << " block " << blk;
      ASSERT_EQ(predA, predB);
      ASSERT_EQ(a.acc, b.acc);
      ASSERT_EQ(a.bits, b.bits);
      ASSERT_EQ(a.ptr, b.ptr);
      ASSERT_EQ(a.marker, b.marker);
    }
  }
  EXPECT_GT(shortHits, 0);
}

// Coefficients made for short codes: small values, short runs, runs of 16
// zeros and untouched blocks, beside a few large values.
std::vector<jd::LjCoefs> ShortCodeCoefs(std::mt19937& rng, int w, int h, int comps, int hs, int vs) {
  std::vector<jd::LjCoefs> coefs;
  for (int c = 0; c < comps; ++c) {
    const int hmax = comps == 1 ? 1 : hs, vmax = comps == 1 ? 1 : vs;
    const int ch = c == 0 ? hmax : 1, cv = c == 0 ? vmax : 1;
    jd::LjCoefs k;
    k.blocksW = ((w * ch + hmax - 1) / hmax + 7) / 8;
    k.blocksH = ((h * cv + vmax - 1) / vmax + 7) / 8;
    k.c.resize((size_t)k.blocksW * k.blocksH * 64);
    int16_t dc = 0;
    for (size_t blk = 0; blk < k.c.size() / 64; ++blk) {
      int16_t* b = &k.c[blk * 64];
      dc = (int16_t)(rng() % 8 ? dc + (int)(rng() % 9) - 4 : (int)(rng() % 1001) - 500);
      b[0] = dc;
      const int kind = (int)(blk % 5);
      for (int i = 1; i < 64; ++i) {
        int v = 0;
        if (kind == 0 && rng() % 3 == 0) v = (int)(rng() % 7) - 3;
        if (kind == 1 && i < 12) v = (int)(rng() % 31) - 15;
        if (kind == 2 && (i == 20 || i == 45 || i == 63)) v = 1;  // runs of 16 zeros
        if (kind == 3 && rng() % 9 == 0) v = (int)(rng() % 2001) - 1000;
        b[i] = (int16_t)v;
      }
    }
    coefs.push_back(std::move(k));
  }
  return coefs;
}

TEST(HuffLookup, StreamsDecodeAsThePlainDecoderDoes) {
  struct Shape {
    int w, h, comps, hs, vs, restart;
  } shapes[] = {{64, 48, 3, 2, 2, 0}, {57, 41, 3, 2, 1, 3}, {48, 40, 1, 1, 1, 1}, {40, 24, 3, 1, 1, 5}};
  std::mt19937 rng(11);
  for (const Shape& g : shapes) {
    SCOPED_TRACE(testing::Message() << g.w << "x" << g.h << " restart " << g.restart);
    const std::vector<jd::LjCoefs> coefs = ShortCodeCoefs(rng, g.w, g.h, g.comps, g.hs, g.vs);
    const std::vector<uint8_t> jpeg = jd::LjWriteCoefs(g.w, g.h, g.comps, g.hs, g.vs, coefs, false, g.restart);
    ASSERT_FALSE(jpeg.empty());
    jd::ReadOptions ro;
    ro.plainOutput = true;
    jd::Decode pixels[2];
    for (int i = 0; i < 2; ++i) {
      jd::UseCpuKind(i ? 6 : 0);
      JpegStatus st;
      const std::vector<jd::LjCoefs> got = jd::OurCoefs(jpeg, &st);
      ASSERT_EQ(st, 0);
      ASSERT_EQ(got.size(), coefs.size());
      for (size_t c = 0; c < coefs.size(); ++c)
        EXPECT_TRUE(got[c].c == coefs[c].c) << "kind " << i * 6 << " comp " << c;
      pixels[i] = jd::OurDecode(jpeg, ro);
      ASSERT_EQ(pixels[i].status, 0);
    }
    EXPECT_TRUE(pixels[0].px == pixels[1].px);

    // Bit-flipped and cut copies end with the same status whichever block
    // decoder runs.  The pixels of cut copies part by design (the plain
    // decoders read missing bits as 0), so there the two processor-specific
    // decoders, one-byte and four-byte refill, are held to each other.
    for (int n = 0; n < 40; ++n) {
      std::vector<uint8_t> bad = jpeg;
      const bool cut = n % 2;
      if (cut)
        bad.resize(bad.size() / 3 + rng() % (bad.size() * 2 / 3));
      else
        for (int k = 0; k < 2; ++k) bad[bad.size() / 4 + rng() % (bad.size() * 3 / 4)] ^= (uint8_t)(1 << (rng() % 8));
      const int kinds[3] = {0, 3, 6};
      jd::Decode out[3];
      for (int i = 0; i < 3; ++i) {
        jd::UseCpuKind(kinds[i]);
        out[i] = jd::OurDecode(bad, ro);
      }
      EXPECT_EQ(out[0].status, out[1].status) << "case " << n;
      EXPECT_EQ(out[0].status, out[2].status) << "case " << n;
      if (cut) {
        EXPECT_TRUE(out[1].px == out[2].px) << "case " << n;
      }
    }
  }
  jd::UseCpuKind(0);
}

}  // namespace
