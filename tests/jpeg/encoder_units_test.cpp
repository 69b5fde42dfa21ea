// The encoder's arithmetic pinned down: quality scaling, colour conversion,
// transforms, quantisers, the Huffman coder and the header bytes; and every
// processor kernel against its plain twin.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>

#include <jpeglib.h>

#include "jpeg/jpeg_internal.h"
#include "jpeg/kernels/enc_kernels.h"
#include "jpeg_test_util.h"

namespace {

TEST(QualityScaling, TableOfCases) {
  struct {
    int quality, base, expect;
  } cases[] = {{0, 16, 255}, {-5, 16, 255}, {1, 16, 255},  {1, 5, 250},   {10, 16, 80}, {49, 16, 16},
               {50, 16, 16}, {50, 99, 99},  {51, 16, 16},  {75, 16, 8},   {75, 99, 50}, {90, 16, 3},
               {99, 16, 1},  {100, 99, 1},  {250, 255, 1}, {1, 255, 255}, {2, 3, 75}};
  for (const auto& c : cases) {
    uint8_t base[64];
    std::memset(base, c.base, sizeof base);
    int16_t out[64];
    JpegScaleQuantTable(c.quality, base, out);
    EXPECT_EQ(out[0], c.expect) << "quality " << c.quality << " base " << c.base;
    EXPECT_EQ(out[63], c.expect);
  }
}

// libjpeg-turbo scales the same example tables the same way: every quality.
TEST(QualityScaling, MatchesLibjpegForEveryQuality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  cinfo.in_color_space = JCS_RGB;
  cinfo.input_components = 3;
  jpeg_set_defaults(&cinfo);
  for (int q = 1; q <= 100; ++q) {
    jpeg_set_quality(&cinfo, q, TRUE);
    int16_t luma[64], chroma[64];
    JpegScaleQuantTable(q, JpegStdLumaQuant, luma);
    JpegScaleQuantTable(q, JpegStdChromaQuant, chroma);
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(luma[k], cinfo.quant_tbl_ptrs[0]->quantval[ZigzagToNatural[k]]) << "q" << q << " k" << k;
      ASSERT_EQ(chroma[k], cinfo.quant_tbl_ptrs[1]->quantval[ZigzagToNatural[k]]) << "q" << q << " k" << k;
    }
  }
  // The example Huffman tables are the standard's, as libjpeg-turbo holds them.
  const struct {
    JHUFF_TBL* t;
    const uint8_t *counts, *symbols;
  } huff[] = {{cinfo.dc_huff_tbl_ptrs[0], JpegStdDcLumaCounts, JpegStdDcLumaSymbols},
              {cinfo.ac_huff_tbl_ptrs[0], JpegStdAcLumaCounts, JpegStdAcLumaSymbols},
              {cinfo.dc_huff_tbl_ptrs[1], JpegStdDcChromaCounts, JpegStdDcChromaSymbols},
              {cinfo.ac_huff_tbl_ptrs[1], JpegStdAcChromaCounts, JpegStdAcChromaSymbols}};
  for (const auto& h : huff) {
    int n = 0;
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(h.counts[i], h.t->bits[i + 1]);
      n += h.counts[i];
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(h.symbols[i], h.t->huffval[i]);
  }
  jpeg_destroy_compress(&cinfo);
}

// Runs the input converter that a write selects over MCU (col, row) and
// returns the level-shifted sample blocks.
std::vector<int16_t> ConvertMcu(const std::vector<uint8_t>& pixels, int w, int h, int dibChannels, int dibColor,
                                int jpegChannels, int jpegColor, int sub, int kind, int col = 0, int row = 0,
                                int dibSubsampling = 0) {
  jt::UseCpuKind(kind);
  JpegJob job;
  EXPECT_EQ(JpegInit(&job), 0);
  std::vector<uint8_t> out(4096);
  job.dibPixels = const_cast<uint8_t*>(pixels.data());
  job.dibWidth = w;
  job.dibHeight = h;
  job.dibChannels = dibChannels;
  job.dibColor = dibColor;
  job.dibSubsampling = dibSubsampling;
  job.jpegWidth = w;
  job.jpegHeight = h;
  job.jpegChannels = jpegChannels;
  job.jpegColor = jpegColor;
  job.jpegSubsampling = sub;
  job.jpegBuffer = out.data();
  job.jpegBufferSize = (int32_t)out.size();
  EXPECT_EQ(JpegWrite(&job, 11), 0);  // frame set-up without image data
  JPEG_PROPERTIES& p = job.props;
  p.out.firstRow = job.dibPixels;
  p.cursor = 0;
  EXPECT_EQ(JpegSelectInputConverter(&p), 0);
  std::vector<int16_t> blocks;
  if (p.out.kernels->inputConverter) {
    for (int r = 0; r <= row; ++r)
      for (int c = 0; c < p.mcusPerRow; ++c) {
        p.out.kernels->inputConverter(&p, c, r);
        if (r == row && c == col) blocks.assign(p.work, p.work + 640);
      }
  }
  JpegFree(&job);
  return blocks;
}

TEST(InputConversion, WholeAndBorderChromaOfTheSameGroup) {
  // B,G,R bytes of one 2x2 group: -48 when the MCU is whole, -47 on the border path.
  const uint8_t group[4][3] = {{1, 221, 199}, {117, 136, 228}, {15, 162, 52}, {4, 13, 11}};
  for (int kind : {0, 6}) {
    for (int size : {16, 2}) {
      std::vector<uint8_t> px((size_t)size * size * 3);
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) std::memcpy(&px[((size_t)y * size + x) * 3], group[(y & 1) * 2 + (x & 1)], 3);
      const std::vector<int16_t> b = ConvertMcu(px, size, size, 3, 2, 3, 3, 1, kind);
      ASSERT_EQ(b.size(), 640u);
      EXPECT_EQ(b[4 * 64], size == 16 ? -48 : -47) << "kind " << kind << " size " << size;
    }
  }
}

TEST(InputConversion, PixelFormulasAndBorderRepetition) {
  struct {
    uint8_t b, g, r;
    int y, cb, cr;
  } cases[] = {
      {255, 255, 255, 127, 0, 0}, {0, 0, 0, -128, 0, 0}, {255, 0, 0, -99, 128, -21}, {0, 0, 255, -51, -43, 128}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> px = {c.b, c.g, c.r};
    const std::vector<int16_t> b = ConvertMcu(px, 1, 1, 3, 2, 3, 3, 1, 0);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(b[i], c.y);
      ASSERT_EQ(b[192 + i], c.y);  // bottom-right luma block repeats the one pixel
      ASSERT_EQ(b[256 + i], c.cb);
      ASSERT_EQ(b[320 + i], c.cr);
    }
  }
  // 17x17 with 4:2:0: the right MCU has one valid column, every padded sample repeats it.
  const jt::Image img = jt::MakeImage(jt::Content::kNoise, 17, 17);
  for (int kind : {0, 6}) {
    const std::vector<int16_t> b = ConvertMcu(img.px, 17, 17, 3, 2, 3, 3, 1, kind, 1, 0);
    for (int y = 0; y < 16; ++y) {
      const int16_t first = b[(y / 8) * 128 + (y % 8) * 8];
      for (int x = 1; x < 16; ++x) ASSERT_EQ(b[(y / 8) * 128 + (x / 8) * 64 + (y % 8) * 8 + x % 8], first);
    }
  }
}

TEST(InputConversion, OtherLayouts) {
  // Ink C=M=Y=0, K=255: Y 127, Cb 0, Cr 0, K +127; C=M=Y=255 gives Y -128.
  std::vector<int16_t> b = ConvertMcu({0, 0, 0, 255}, 1, 1, 4, 5, 4, 6, 0, 0);
  EXPECT_EQ(b[0], 127);
  EXPECT_EQ(b[64], 0);
  EXPECT_EQ(b[128], 0);
  EXPECT_EQ(b[192], 127);
  b = ConvertMcu({255, 255, 255, 0}, 1, 1, 4, 5, 4, 6, 0, 6);
  EXPECT_EQ(b[0], -128);
  EXPECT_EQ(b[192], -128);
  // Three-byte copy with 4:2:0: component-1 bytes 0,1,2,3 of a group average to 2.
  std::vector<uint8_t> px(16 * 16 * 3, 50);
  px[1] = 0;
  px[3 + 1] = 1;
  px[16 * 3 + 1] = 2;
  px[16 * 3 + 3 + 1] = 3;
  b = ConvertMcu(px, 16, 16, 3, 1, 3, 1, 1, 0);
  EXPECT_EQ(b[256], -126);
  // B,G,R written as R,G,B components: component 0 holds the third byte.
  b = ConvertMcu({10, 20, 30}, 1, 1, 3, 2, 3, 1, 0, 0);
  EXPECT_EQ(b[0], 30 - 128);
  EXPECT_EQ(b[128], 10 - 128);
  // Grey to YCbCr: chroma 0, also on the border.
  b = ConvertMcu({200}, 1, 1, 1, 4, 3, 3, 1, 0);
  EXPECT_EQ(b[0], 72);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(b[256 + i] | b[320 + i], 0);
  // Packed 4:2:2 of odd width: the last pixel's Cr comes from the pair before it.
  b = ConvertMcu({10, 20, 30, 40, 50, 60}, 3, 1, 3, 3, 3, 3, 2, 0, 0, 0, 2);
  EXPECT_EQ(b[0], 10 - 128);
  EXPECT_EQ(b[2], 50 - 128);
  EXPECT_EQ(b[128], 20 - 128);
  EXPECT_EQ(b[129], 60 - 128);
  EXPECT_EQ(b[192 + 1], 40 - 128);
}

TEST(Kernels, InputKernelsEqualPlainOnRandomMcus) {
  JpegKernelTable plain{}, simd{};
  JpegFillKernels(&plain, 0);
  JpegFillKernels(&simd, 6);
  std::mt19937 rng(7);
  const JpegMcuKernelFn JpegKernelTable::*slots[] = {
      &JpegKernelTable::rgbYccH1V1, &JpegKernelTable::rgbYccH2V1, &JpegKernelTable::rgbYccH2V2,
      &JpegKernelTable::bgrYccH1V1, &JpegKernelTable::bgrYccH2V1, &JpegKernelTable::bgrYccH2V2,
      &JpegKernelTable::packed422,  &JpegKernelTable::ycckH1V1,   &JpegKernelTable::ycckH2V1,
      &JpegKernelTable::ycckH2V2,   &JpegKernelTable::copy3H1V1,  &JpegKernelTable::copy4H1V1};
  const char* names[] = {"rgb 1x1", "rgb 2x1",  "rgb 2x2",  "bgr 1x1",  "bgr 2x1", "bgr 2x2",
                         "packed",  "ycck 1x1", "ycck 2x1", "ycck 2x2", "copy3",   "copy4"};
  for (int round = 0; round < 50; ++round) {
    const int stride = 64 + (int)(rng() % 8);
    std::vector<uint8_t> px((size_t)stride * 16);
    for (auto& v : px) v = (uint8_t)(round % 5 == 0 ? (rng() & 1) * 255 : rng());
    for (size_t si = 0; si < std::size(slots); ++si) {
      const auto slot = slots[si];
      alignas(32) int16_t a[640], b[640];
      std::memset(a, 0x55, sizeof a);
      std::memset(b, 0x55, sizeof b);
      (plain.*slot)(px.data(), stride, a, a + 256, a + 320, a + 384);
      (simd.*slot)(px.data(), stride, b, b + 256, b + 320, b + 384);
      ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << names[si];
    }
    alignas(32) int16_t a[64], b[64];
    plain.greyBlock(px.data(), stride, a);
    simd.greyBlock(px.data(), stride, b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a));
  }
}

TEST(ForwardDct, FlatBlocksAndTransformsEqualPlainOnRandomBlocks) {
  for (auto fdct : {JpegFdctInt, JpegFdctIntSse2}) {
    int16_t blk[64];
    for (auto& v : blk) v = -128;
    fdct(blk);
    EXPECT_EQ(blk[0], -1024);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(blk[i], 0);
    for (auto& v : blk) v = 127;
    fdct(blk);
    EXPECT_EQ(blk[0], 1016);
  }
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    alignas(32) int16_t a[64], b[64], c[64], d[64];
    for (int i = 0; i < 64; ++i) {
      // Samples, extremes, and (a few rounds) any 16-bit value: the wrap-around must agree too.
      int16_t v;
      if (round < 1000)
        v = (int16_t)((int)(rng() % 257) - 128);
      else if (round < 1500)
        v = (int16_t)((int)(rng() % 511) - 255);
      else if (round < 1800)
        v = (int16_t)((rng() & 1) ? 255 : -255);
      else
        v = (int16_t)rng();
      a[i] = b[i] = c[i] = d[i] = v;
    }
    JpegFdctInt(a);
    JpegFdctIntSse2(b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "round " << round;
    JpegFdctScaled(c);
    JpegFdctScaledMmx(d);
    ASSERT_EQ(0, std::memcmp(c, d, sizeof c)) << "round " << round;
  }
}

TEST(Quantiser, IntegerPathAndProcessorRounding) {
  int16_t table[64];
  for (int i = 0; i < 64; ++i) table[i] = 1;
  table[1] = 2;    // zigzag 1 -> natural 1
  table[2] = 255;  // zigzag 2 -> natural 8
  JpegPrepareQuantRecip(table);
  EXPECT_EQ((uint16_t)table[0], 32768);
  EXPECT_EQ(table[1], 16384);
  EXPECT_EQ(table[8], 128);
  int16_t blk[64] = {0};
  blk[0] = -77;
  blk[1] = 1;
  blk[2] = -1;
  blk[8] = 300;
  JpegQuantizeRecip(blk, table);
  EXPECT_EQ(blk[0], -77);  // step 1 keeps the value
  EXPECT_EQ(blk[1], 1);    // +1 / 2 rounds up
  blk[1] = -1;
  JpegQuantizeRecip(blk, table);
  EXPECT_EQ(blk[1], 0);  // -1 / 2 rounds towards plus infinity

  // The processor quantiser equals the plain one for even reciprocals; the
  // scaled one for coefficients within -8192..8191.
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    int16_t steps[64], recip[64], scaled[64];
    for (auto& s : steps) s = (int16_t)(1 + rng() % 255);
    std::memcpy(recip, steps, sizeof steps);
    std::memcpy(scaled, steps, sizeof steps);
    JpegPrepareQuantRecip(recip);
    JpegPrepareQuantScaled(scaled);
    int16_t a[64], b[64], c[64], d[64];
    for (int i = 0; i < 64; ++i) a[i] = b[i] = c[i] = d[i] = (int16_t)((int)(rng() % 8191) - 4095);
    JpegQuantizeRecip(a, recip);
    JpegQuantizeRecipSse2(b, recip);
    JpegQuantizeScaled(c, scaled);
    JpegQuantizeScaledMmx(d, scaled);
    for (int i = 0; i < 64; ++i) {
      const int r = (uint16_t)recip[i];
      if (r % 2 == 0) {
        ASSERT_EQ(a[i], b[i]) << "r " << r;
      }
      ASSERT_EQ(c[i], d[i]);
    }
  }
  // Odd reciprocals follow the stated processor rounding.
  int16_t steps[64];
  for (auto& s : steps) s = 7;
  JpegPrepareQuantRecip(steps);
  ASSERT_EQ(steps[0], 32768 / 7);
  int16_t blk2[64];
  for (int i = 0; i < 64; ++i) blk2[i] = (int16_t)(i * 61 - 1900);
  int16_t expect[64];
  for (int i = 0; i < 64; ++i) {
    const int t = ((int)(int16_t)(uint16_t)(blk2[i] * 8) * ((uint16_t)steps[i] >> 1)) >> 16;
    expect[i] = (int16_t)((int16_t)(t + 1) >> 1);
  }
  JpegQuantizeRecipSse2(blk2, steps);
  EXPECT_EQ(0, std::memcmp(blk2, expect, sizeof expect));

  // Scaled path: a last step of 1 is taken as 2; the DC multiplier of step 1 is 4096.
  int16_t t2[64];
  for (auto& s : t2) s = 1;
  JpegPrepareQuantScaled(t2);
  EXPECT_EQ(t2[0], 4096);
  EXPECT_EQ(t2[63], (1 + 53810) / 2);
}

std::vector<uint8_t> EncodeOneBlock(JpegEncodeBlockFn fn, const int16_t* blk, int32_t* lastDc, JpegStatus* st,
                                    const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac) {
  JpegKernelTable table{};
  JpegFillKernels(&table, 0);
  JpegOutputStream s{};
  s.kernels = &table;
  std::vector<uint8_t> buf(1024);
  JpegSinkOpen(&s, buf.data(), (int32_t)buf.size());
  *st = fn(&s, dc, ac, lastDc, blk);
  if (*st == 0) *st = JpegPutBytes(nullptr, 0, &s);
  buf.resize(s.total);
  return buf;
}

TEST(Huffman, ProcessorEncoderWritesThePlainBytes) {
  JpegHuffEncodeTable dc, ac;
  ASSERT_EQ(JpegDeriveEncodeTable(JpegStdDcLumaCounts, JpegStdDcLumaSymbols, &dc), 0);
  ASSERT_EQ(JpegDeriveEncodeTable(JpegStdAcLumaCounts, JpegStdAcLumaSymbols, &ac), 0);
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    int16_t blk[64] = {0};
    const int density = (int)(rng() % 64);
    for (int i = 0; i < 64; ++i)
      if ((int)(rng() % 64) < density) blk[i] = (int16_t)((int)(rng() % 2047) - 1023);
    if (round % 7 == 0) blk[63] = 5;  // last coefficient non-zero: no EOB
    int32_t lastA = (int32_t)(rng() % 2001) - 1000, lastB = lastA;
    JpegStatus sa, sb;
    const auto a = EncodeOneBlock(JpegEncodeBlock, blk, &lastA, &sa, &dc, &ac);
    const auto b = EncodeOneBlock(JpegEncodeBlockSse2, blk, &lastB, &sb, &dc, &ac);
    ASSERT_EQ(sa, 0);
    ASSERT_EQ(sb, 0);
    ASSERT_EQ(a, b) << "round " << round;
    ASSERT_EQ(lastA, lastB);
  }
  // A symbol without a code is an error, not a silently corrupt stream.
  int16_t big[64] = {0};
  big[0] = 4000;  // DC category 12 is not in the example table
  for (auto fn : {JpegEncodeBlock, JpegEncodeBlockSse2}) {
    int32_t last = 0;
    JpegStatus st;
    EncodeOneBlock(fn, big, &last, &st, &dc, &ac);
    EXPECT_EQ(st, JPEG_ERR_BAD_HUFFMAN);
  }
  int16_t bigAc[64] = {0};
  bigAc[1] = 2000;  // AC category 11
  for (auto fn : {JpegEncodeBlock, JpegEncodeBlockSse2}) {
    int32_t last = 0;
    JpegStatus st;
    EncodeOneBlock(fn, bigAc, &last, &st, &dc, &ac);
    EXPECT_EQ(st, JPEG_ERR_BAD_HUFFMAN);
  }
}

TEST(Huffman, SmallBlocksByteExact) {
  // Hand-coded blocks: DC category 0 then EOB; a 0xFF byte gets its stuffing.
  JpegHuffEncodeTable dc, ac;
  JpegDeriveEncodeTable(JpegStdDcLumaCounts, JpegStdDcLumaSymbols, &dc);
  JpegDeriveEncodeTable(JpegStdAcLumaCounts, JpegStdAcLumaSymbols, &ac);
  int16_t blk[64] = {0};
  int32_t last = 0;
  JpegStatus st;
  // DC 0: code 00; EOB: code 1010; padding with 1s: 0010 1011 -> 0x2B.
  EXPECT_EQ(EncodeOneBlock(JpegEncodeBlock, blk, &last, &st, &dc, &ac), std::vector<uint8_t>({0x2B}));
  // DC diff -1: category 1 (010) and bit 0, EOB 1010: one whole byte.
  blk[0] = -1;
  last = 0;
  EXPECT_EQ(EncodeOneBlock(JpegEncodeBlock, blk, &last, &st, &dc, &ac), std::vector<uint8_t>({0x4A}));
  // DC diff 1024: category 11 (111111110), 10000000000, EOB 1010; the 0xFF
  // byte is followed by a stuffed 0x00.
  blk[0] = 1023;
  last = -1;
  for (auto fn : {JpegEncodeBlock, JpegEncodeBlockSse2}) {
    int32_t l = last;
    EXPECT_EQ(EncodeOneBlock(fn, blk, &l, &st, &dc, &ac), std::vector<uint8_t>({0xFF, 0x00, 0x40, 0x0A}));
  }
}

// A run of blocks through one stream: pending bits cross block boundaries,
// sparse and dense blocks alternate, and a tight buffer fails exactly when
// the plain writer's does.
struct StreamResult {
  JpegStatus st;
  std::vector<uint8_t> bytes;
};

StreamResult EncodeStream(JpegEncodeBlockFn fn, const std::vector<int16_t>& blocks, size_t size,
                          const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac) {
  JpegKernelTable table{};
  JpegFillKernels(&table, 0);
  JpegOutputStream s{};
  s.kernels = &table;
  std::vector<uint8_t> buf(size);
  JpegSinkOpen(&s, buf.data(), (int32_t)buf.size());
  int32_t last = 0;
  JpegStatus st = JPEG_SUCCESS;
  for (size_t i = 0; st == 0 && i < blocks.size(); i += 64) st = fn(&s, dc, ac, &last, &blocks[i]);
  if (st == 0) st = JpegPutBytes(nullptr, 0, &s);
  buf.resize(s.total);
  return {st, buf};
}

TEST(Huffman, ProcessorEncoderOverAStreamAndATightBuffer) {
  JpegHuffEncodeTable dc, ac;
  ASSERT_EQ(JpegDeriveEncodeTable(JpegStdDcLumaCounts, JpegStdDcLumaSymbols, &dc), 0);
  ASSERT_EQ(JpegDeriveEncodeTable(JpegStdAcLumaCounts, JpegStdAcLumaSymbols, &ac), 0);
  std::mt19937 rng(11);
  std::vector<int16_t> blocks(64 * 600, 0);
  for (size_t b = 0; b < 600; ++b) {
    const int density = (int)(b % 65);  // across the sparse/dense switch
    for (int i = 0; i < 64; ++i)
      if ((int)(rng() % 64) < density) blocks[b * 64 + i] = (int16_t)((int)(rng() % 2047) - 1023);
    if (b % 5 == 0) blocks[b * 64 + 63] = (int16_t)(b % 2 ? -1 : 1);  // no EOB
    if (b % 9 == 0) blocks[b * 64 + 9] = -1;                          // a long run first
  }
  const StreamResult plain = EncodeStream(JpegEncodeBlock, blocks, 1 << 20, &dc, &ac);
  ASSERT_EQ(plain.st, 0);
  EXPECT_EQ(EncodeStream(JpegEncodeBlockSse2, blocks, 1 << 20, &dc, &ac).bytes, plain.bytes);
  const size_t full = plain.bytes.size();
  for (size_t size : {full - 900, full - 3, full - 1, full, full + 1, full + 2, full + 1000}) {
    const StreamResult a = EncodeStream(JpegEncodeBlock, blocks, size, &dc, &ac);
    const StreamResult b = EncodeStream(JpegEncodeBlockSse2, blocks, size, &dc, &ac);
    EXPECT_EQ(a.st, b.st) << "size " << size;
    EXPECT_EQ(a.st, size > full ? 0 : JPEG_ERR_BUFFER_SMALL) << "size " << size;
    if (a.st == 0) {
      EXPECT_EQ(a.bytes, b.bytes) << "size " << size;
    }
  }
  // -32768 has category 16, which no AC symbol carries: an error in sparse
  // and dense blocks alike.
  for (int density : {2, 64}) {
    std::vector<int16_t> one(64, 0);
    for (int i = 1; i < density; ++i) one[(size_t)i] = (int16_t)(i % 7 - 3 ? i % 7 - 3 : 2);
    one[20] = -32768;
    EXPECT_EQ(EncodeStream(JpegEncodeBlock, one, 4096, &dc, &ac).st, JPEG_ERR_BAD_HUFFMAN);
    EXPECT_EQ(EncodeStream(JpegEncodeBlockSse2, one, 4096, &dc, &ac).st, JPEG_ERR_BAD_HUFFMAN);
  }
}

TEST(Huffman, OptimalTablesAndDerivation) {
  int32_t counts[257] = {0};
  uint8_t bits[16], values[256];
  counts[7] = 10;
  EXPECT_EQ(JpegGenerateOptimalTable(counts, bits, values), 1);
  EXPECT_EQ(bits[0], 1);  // one 1-bit code; the reserved symbol took the other
  EXPECT_EQ(values[0], 7);
  std::memset(counts, 0, sizeof counts);
  counts[0] = 5;
  counts[1] = 5;
  EXPECT_EQ(JpegGenerateOptimalTable(counts, bits, values), 2);
  EXPECT_EQ(bits[0], 1);
  EXPECT_EQ(bits[1], 1);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(values[1], 1);
  // Skewed counts still fit in 16 bits.
  std::memset(counts, 0, sizeof counts);
  for (int i = 0; i < 40; ++i) counts[i] = 1 << (i < 30 ? i : 30);
  const int n = JpegGenerateOptimalTable(counts, bits, values);
  int sum = 0;
  for (int i = 0; i < 16; ++i) sum += bits[i];
  EXPECT_EQ(sum, n);
  JpegHuffEncodeTable t;
  EXPECT_EQ(JpegDeriveEncodeTable(bits, values, &t), 0);

  uint8_t many[16] = {0};
  uint8_t syms[259] = {0};
  many[15] = 255;
  many[14] = 1;  // 256 codes: accepted
  EXPECT_EQ(JpegDeriveEncodeTable(many, syms, &t), 0);
  many[13] = 3;  // 259 codes
  EXPECT_EQ(JpegDeriveEncodeTable(many, syms, &t), JPEG_ERR_BAD_HUFFMAN);
  JpegHuffDecodeTable d;
  EXPECT_EQ(JpegDeriveDecodeTable(many, syms, 1, 0, &d), JPEG_ERR_BAD_HUFFMAN);
  ASSERT_EQ(JpegDeriveDecodeTable(JpegStdDcLumaCounts, JpegStdDcLumaSymbols, 0, 0, &d), 0);
  EXPECT_EQ(d.lookahead[0], (2 << 16) | 0);  // code 00
  EXPECT_EQ(d.lookahead[0xFE], (8 << 16) | 10);
  EXPECT_EQ(d.lookahead[0xFF], 0);  // 9-bit code: no look-ahead entry
}

TEST(Markers, ConverterHeaderBytesAndBanner) {
  const jt::Image img = jt::MakeImage(jt::Content::kGradient, 40, 17);
  jt::EncodeOptions spec;
  spec.quality = 75;
  JpegStatus st;
  const std::vector<uint8_t> j = jt::Encode(img, spec, &st);
  ASSERT_EQ(st, 0);
  std::vector<uint8_t> expect = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  const char banner[] = "Portable JPEG Library, version [3.20.15.61]";
  ASSERT_EQ(sizeof banner - 1, 43u);
  for (uint8_t b : {0xFF, 0xFE, 0x00, 0x2E}) expect.push_back(b);
  expect.insert(expect.end(), banner, banner + sizeof banner);  // with the terminating 0
  const uint8_t* tables[2] = {JpegStdLumaQuant, JpegStdChromaQuant};
  for (int t = 0; t < 2; ++t) {
    for (uint8_t b : {0xFF, 0xDB, 0x00, 0x43}) expect.push_back(b);
    expect.push_back((uint8_t)t);
    int16_t q[64];
    JpegScaleQuantTable(75, tables[t], q);
    for (int k = 0; k < 64; ++k) expect.push_back((uint8_t)q[k]);
  }
  for (uint8_t b : {0xFF, 0xC4, 0x01, 0xA2}) expect.push_back(b);
  const uint8_t* counts[4] = {JpegStdDcLumaCounts, JpegStdAcLumaCounts, JpegStdDcChromaCounts, JpegStdAcChromaCounts};
  const uint8_t* syms[4] = {JpegStdDcLumaSymbols, JpegStdAcLumaSymbols, JpegStdDcChromaSymbols, JpegStdAcChromaSymbols};
  const uint8_t ids[4] = {0x00, 0x10, 0x01, 0x11};
  for (int t = 0; t < 4; ++t) {
    expect.push_back(ids[t]);
    int n = 0;
    for (int i = 0; i < 16; ++i) {
      expect.push_back(counts[t][i]);
      n += counts[t][i];
    }
    expect.insert(expect.end(), syms[t], syms[t] + n);
  }
  for (uint8_t b :
       {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 17,   0x00, 40,   0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03,
        0x11, 0x01, 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00})
    expect.push_back(b);
  ASSERT_GT(j.size(), expect.size());
  EXPECT_EQ(std::vector<uint8_t>(j.begin(), j.begin() + (long)expect.size()), expect);
  EXPECT_EQ(j[j.size() - 2], 0xFF);
  EXPECT_EQ(j[j.size() - 1], 0xD9);
}

}  // namespace
