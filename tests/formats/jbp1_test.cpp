#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "converter/pictures/jbp1_writer.h"
#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/jbp1_decoder.h"
#include "player/core/jbp1_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string CodeOf(const HuffmanTreeLinks& tree, int symbol, int nodeCount) {
  std::string code;
  for (int node = symbol; node != nodeCount - 1;) {
    const int link = tree.parent[node];
    code.insert(code.begin(), link < 0 ? '1' : '0');
    node = std::abs(link);
  }
  return code;
}

// ---- streams ---------------------------------------------------------------

struct Picture {
  DWORD width, height;
  std::vector<int> blocks;  // 6 x 64 per macroblock, natural order
  BYTE lumaQuant[64], chromaQuant[64];
  size_t Blocks() const { return blocks.size() / 64; }
};

Picture EmptyPicture(DWORD w, DWORD h, BYTE quant = 1) {
  Picture p{w, h, {}, {}, {}};
  p.blocks.assign(((w + 15) / 16) * ((h + 15) / 16) * 6 * 64, 0);
  std::memset(p.lumaQuant, quant, 64);
  std::memset(p.chromaQuant, quant, 64);
  return p;
}

Bytes Write(const Picture& p, DWORD quality = 90) {
  Jbp1Coefficients c{p.width, p.height, quality, {}, {}, p.blocks.data()};
  std::memcpy(c.lumaQuant, p.lumaQuant, 64);
  std::memcpy(c.chromaQuant, p.chromaQuant, 64);
  DWORD size = 0;
  BYTE* s = WriteJbp1Stream(c, &size);
  EXPECT_NE(s, nullptr);
  if (s == nullptr) return {};
  Bytes out(s, s + size);
  LocalFree(s);
  return out;
}

BlockDecoder Prepare(const Bytes& stream, DWORD w, DWORD h) {
  BlockDecoder d;
  InitBlockDecoder(&d);
  d.input = stream.data();
  d.inputLength = static_cast<DWORD>(stream.size());
  d.expectedWidth = w;
  d.expectedHeight = h;
  ParseJbp1Header(&d);
  ResetBlockFlags(&d);
  return d;
}

// Decoded coefficients (as the writer was given them), or empty on failure.
std::vector<int> DecodeCoefficients(const Bytes& stream, DWORD w, DWORD h) {
  BlockDecoder d = Prepare(stream, w, h);
  const size_t blocks = ((w + 15) / 16) * ((h + 15) / 16) * 6;
  std::vector<short> out(blocks * 64);
  if (!DecodeJbp1Coefficients(&d, out.data(), blocks)) return {};
  return std::vector<int>(out.begin(), out.end());
}

// RGB565 rows of rounded width, or empty on failure.
std::vector<uint16_t> DecodePicture(const Bytes& stream, DWORD w, DWORD h) {
  BlockDecoder d = Prepare(stream, w, h);
  if (!DecodeJbp1(&d)) return {};
  std::vector<uint16_t> out(d.output, d.output + d.outputSize / 2);
  LocalFree(d.output);
  return out;
}

// A stream put together symbol by symbol, for sequences the writer never
// makes.  Symbols come with their extra bits (value, count).
struct Sym {
  int symbol;
  DWORD bits = 0;
  int count = 0;
};
// The stored AC counts may be given instead of counted.
Bytes HandStream(WORD w, WORD h, const std::vector<Sym>& dc, const std::vector<Sym>& ac, bool quantTables = true,
                 const DWORD* acCountsGiven = nullptr) {
  DWORD dcCounts[31] = {}, acCounts[511] = {};
  for (const Sym& s : dc) ++dcCounts[s.symbol];
  for (const Sym& s : ac) ++acCounts[s.symbol];
  if (acCountsGiven != nullptr) std::memcpy(acCounts, acCountsGiven, 256 * sizeof(DWORD));
  DWORD dcStored[16];
  std::memcpy(dcStored, dcCounts, sizeof dcStored);
  const Bytes packed = PackAcCounts(acCounts);
  HuffmanTreeLinks dcTree, acTree;
  const int dcNodes = BuildHuffmanTree(dcCounts, 16, &dcTree);
  const int acNodes = BuildHuffmanTree(acCounts, 256, &acTree);
  Bytes dcStream, acStream;
  BitWriter dw(&dcStream), aw(&acStream);
  for (const Sym& s : dc) {
    dw.PutCode(s.symbol, dcNodes, dcTree);
    dw.PutBits(s.bits, s.count);
  }
  for (const Sym& s : ac) {
    aw.PutCode(s.symbol, acNodes, acTree);
    aw.PutBits(s.bits, s.count);
  }
  dw.Flush();
  aw.Flush();
  Jbp1Header header{{'J', 'B', 'P', '1'},
                    44,
                    quantTables ? JBP1_FLAGS : 1u,
                    80,
                    w,
                    h,
                    24,
                    0,
                    static_cast<DWORD>(dcStream.size()),
                    static_cast<DWORD>(acStream.size()),
                    0,
                    0};
  Bytes out(44);
  StoreJbp1Header(out.data(), header);
  for (DWORD c : dcStored) {
    const size_t at = out.size();
    out.resize(at + 4);
    PutLe32(&out[at], c);
  }
  out.insert(out.end(), packed.begin(), packed.end());
  if (quantTables) out.insert(out.end(), 128, 1);
  out.insert(out.end(), dcStream.begin(), dcStream.end());
  out.insert(out.end(), acStream.begin(), acStream.end());
  return out;
}

// ---- the code tree ---------------------------------------------------------

TEST(Jbp1Huffman, WorkedTrees) {
  HuffmanTreeLinks tree;
  DWORD counts[31] = {6};
  ASSERT_EQ(BuildHuffmanTree(counts, 16, &tree), 31);
  EXPECT_EQ(CodeOf(tree, 0, 31), "1");
  EXPECT_EQ(CodeOf(tree, 15, 31), "0000");
  for (int s = 1; s <= 14; ++s) {
    std::string expect;
    for (int b = 4; b >= 0; --b) expect += ((s + 1) >> b) & 1 ? '1' : '0';
    EXPECT_EQ(CodeOf(tree, s, 31), expect) << s;
  }
  DWORD counts2[31] = {3, 2, 1};
  ASSERT_EQ(BuildHuffmanTree(counts2, 16, &tree), 31);
  EXPECT_EQ(CodeOf(tree, 0, 31), "0");
  EXPECT_EQ(CodeOf(tree, 1, 31), "11");
  EXPECT_EQ(CodeOf(tree, 2, 31), "101");
  EXPECT_EQ(counts2[30], 6u);
  EXPECT_EQ(counts2[0], HUFFMAN_USED_COUNT);
}

// The tree is the one that repeated PickTwoSmallest merges give, ties and
// zero counts included; counts at the live limit stop the merging.
TEST(Jbp1Huffman, SameTreeAsPairwiseMerging) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    const int n = round % 2 ? 256 : 16;
    DWORD counts[511] = {}, reference[511] = {};
    for (int i = 0; i < n; ++i) {
      const int kind = rng() % 4;
      counts[i] = kind == 0 ? 0 : kind == 1 ? rng() % 4 : kind == 2 ? rng() % 1000 : rng() % 3000000;
    }
    if (round % 10 == 9) counts[rng() % n] = HUFFMAN_LIVE_LIMIT;
    std::memcpy(reference, counts, sizeof counts);
    int refNodes = n;
    short refFirst[511], refSecond[511], refParent[511] = {};
    for (int k = n;; ++k) {
      int a, b;
      PickTwoSmallest(reference, k, &a, &b);
      if (a < 0 || b < 0) break;
      reference[k] = reference[a] + reference[b];
      refFirst[k] = static_cast<short>(a);
      refSecond[k] = static_cast<short>(b);
      refParent[a] = static_cast<short>(k);
      refParent[b] = static_cast<short>(-k);
      reference[a] = reference[b] = HUFFMAN_USED_COUNT;
      refNodes = k + 1;
    }
    HuffmanTreeLinks tree;
    ASSERT_EQ(BuildHuffmanTree(counts, n, &tree), refNodes) << round;
    EXPECT_EQ(refNodes == 2 * n - 1, round % 10 != 9) << round;
    for (int k = n; k < refNodes; ++k) {
      ASSERT_EQ(tree.firstChild[k], refFirst[k]) << round << " node " << k;
      ASSERT_EQ(tree.secondChild[k], refSecond[k]) << round << " node " << k;
    }
    for (int i = 0; i < refNodes - 1; ++i) ASSERT_EQ(tree.parent[i], refParent[i]) << round;
    for (int i = 0; i < refNodes; ++i) ASSERT_EQ(counts[i], reference[i]) << round;
  }
}

// ---- symbols -----------------------------------------------------------------

TEST(Jbp1Symbols, CategoriesAndExtraBits) {
  struct Case {
    int value, category;
    DWORD bits;
  };
  const Case cases[] = {{0, 0, 0},        {1, 1, 1},          {-1, 1, 0},      {-3, 2, 0},
                        {3, 2, 3},        {-4, 3, 3},         {255, 8, 255},   {-255, 8, 0},
                        {2047, 11, 2047}, {32767, 15, 32767}, {-32767, 15, 0}, {40000, 15, 40000 & 0x7FFF}};
  for (const Case& c : cases) {
    int category;
    DWORD bits;
    SplitCategoryBits(c.value, &category, &bits);
    EXPECT_EQ(category, c.category) << c.value;
    EXPECT_EQ(bits, c.bits) << c.value;
    EXPECT_EQ(DcCategory(c.value), c.category) << c.value;
  }
}

TEST(Jbp1Symbols, AcRunsBecomeSymbols) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> values;  // zigzag position, value
    std::vector<int> symbols;
  };
  const Case cases[] = {
      {"no AC value", {}, {0}},
      {"value at position 1", {{1, 5}}, {3, 0}},
      {"value at the last position has no end symbol", {{63, 1}}, {0xFF, 0xFF, 0x21}},
      {"15 zeros", {{16, 1}}, {0xF0, 0x01, 0}},
      {"18 zeros", {{19, -1}}, {0xF3, 0x01, 0}},
      {"30 zeros", {{31, 1}}, {0xFF, 0x01, 0}},
      {"31 zeros before category 2", {{32, 2}}, {0xFF, 0x12, 0}},
      {"14 zeros", {{15, 1}, {16, 2}}, {0xE1, 0x02, 0}},
      {"two values and a tail", {{1, -1}, {3, 100}}, {0x01, 0x17, 0}},
  };
  for (const Case& c : cases) {
    int block[64] = {};
    for (auto [pos, v] : c.values) block[Jbp1ZigzagToNatural[pos]] = v;
    std::vector<AcPair> pairs;
    ScanAcRuns(block, &pairs);
    AcSymbolCursor cursor{pairs.data(), pairs.size()};
    AcSymbol s;
    std::vector<int> got;
    while (MapAcSymbol(&cursor, &s)) got.push_back(s.symbol);
    EXPECT_EQ(got, c.symbols) << c.what;
  }
}

TEST(Jbp1Symbols, PackedCounts) {
  DWORD zeros[256] = {};
  EXPECT_EQ(PackAcCounts(zeros), (Bytes{0, 255, 0, 255, 0, 255, 0, 255}));
  DWORD some[256] = {};
  some[0] = 0x0102;
  some[255] = 7;
  // 02 01, then 1018 zero bytes (3 pairs of 256 and one of 250), 07 00 00 00 -> padded.
  EXPECT_EQ(PackAcCounts(some), (Bytes{2, 1, 0, 255, 0, 255, 0, 255, 0, 249, 7, 0, 2, 0, 0, 0}));
}

// ---- the stream ----------------------------------------------------------

TEST(Jbp1Stream, LayoutOfAFlatMacroblock) {
  const Bytes s = Write(EmptyPicture(16, 16, 3), 80);
  ASSERT_EQ(s.size(), 44u + 64 + 12 + 128 + 4 + 4);
  EXPECT_EQ(Bytes(s.begin(), s.begin() + 4), (Bytes{'J', 'B', 'P', '1'}));
  const uint32_t header[] = {44, 0x08000001, 80};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetLe32(&s[4 + 4 * i]), header[i]);
  EXPECT_EQ(GetLe16(&s[16]), 16);
  EXPECT_EQ(GetLe16(&s[18]), 16);
  EXPECT_EQ(GetLe32(&s[20]), 24u);
  EXPECT_EQ(GetLe32(&s[24]), 0u);  // reserved words and fill bytes are zero
  EXPECT_EQ(GetLe32(&s[28]), 4u);
  EXPECT_EQ(GetLe32(&s[32]), 4u);
  EXPECT_EQ(GetLe32(&s[36]), 0u);
  EXPECT_EQ(GetLe32(&s[40]), 0u);
  EXPECT_EQ(GetLe32(&s[44]), 6u);  // six DC differences of category 0
  EXPECT_EQ(Bytes(s.begin() + 108, s.begin() + 120), (Bytes{6, 0, 255, 0, 255, 0, 255, 0, 254, 0, 0, 0}));
  EXPECT_EQ(Bytes(s.begin() + 120, s.begin() + 248), Bytes(128, 3));
  EXPECT_EQ(Bytes(s.begin() + 248, s.end()), (Bytes{0x3F, 0, 0, 0, 0x3F, 0, 0, 0}));
}

// Blocks go through the writer and come out of the player's entropy decoder
// exactly, for pictures of several shapes and coefficient statistics.
TEST(Jbp1Stream, CoefficientsRoundTripExactly) {
  std::mt19937 rng(21);
  struct Case {
    DWORD w, h;
    int density;  // percent of non-zero AC values
    int range;
  };
  const Case cases[] = {{16, 16, 10, 20}, {100, 75, 30, 200}, {40, 24, 3, 2047},  {64, 48, 95, 1000},
                        {8, 8, 50, 5},    {640, 32, 15, 60},  {17, 300, 1, 32767}};
  for (const Case& c : cases) {
    Picture p = EmptyPicture(c.w, c.h);
    for (size_t b = 0; b < p.Blocks(); ++b) {
      int* block = &p.blocks[b * 64];
      block[0] = static_cast<int>(rng() % (2 * 1024)) - 1024;
      for (int k = 1; k < 64; ++k) {
        if (static_cast<int>(rng() % 100) >= c.density) continue;
        int v = static_cast<int>(rng() % c.range) + 1;
        block[Jbp1ZigzagToNatural[k]] = rng() % 2 ? v : -v;
      }
      if (b % 7 == 3) block[63] = 1;  // a value at the last position
    }
    const Bytes s = Write(p);
    EXPECT_EQ(DecodeCoefficients(s, c.w, c.h), p.blocks) << c.w << "x" << c.h;
  }
}

// Counts that grow like Fibonacci numbers give codes far longer than a
// 32-bit word; they are written and read back intact.
TEST(Jbp1Stream, CodesLongerThanAWord) {
  DWORD counts[256] = {};
  const int symbols[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x11, 0x12, 0x13,
                         0x14, 0x15, 0x21, 0x22, 0x23, 0x24, 0x31, 0x32, 0x33, 0x41, 0x42, 0x43, 0x51, 0x52,
                         0x53, 0x61, 0x62, 0x63, 0x71, 0x72, 0x81, 0x82, 0x91, 0x92, 0xA1, 0xA2, 0xB1};
  DWORD a = 1, b = 1;
  for (int s : symbols) {
    counts[s] = a;
    const DWORD next = a + b;
    a = b;
    b = next;
  }
  DWORD work[511];
  std::memcpy(work, counts, sizeof counts);
  HuffmanTreeLinks tree;
  ASSERT_EQ(BuildHuffmanTree(work, 256, &tree), 511);
  ASSERT_GT(CodeOf(tree, 0x00, 511).size(), 40u);  // the end-of-block symbol
  ASSERT_GT(CodeOf(tree, 0x02, 511).size(), 32u);

  // Every block: a value of category 2 at position 1 (-3), then the end.
  std::vector<Sym> ac;
  for (int block = 0; block < 6; ++block) {
    ac.push_back({0x02, 0, 2});
    ac.push_back({0x00});
  }
  const Bytes s = HandStream(16, 16, std::vector<Sym>(6, Sym{0}), ac, true, counts);
  const std::vector<int> got = DecodeCoefficients(s, 16, 16);
  ASSERT_EQ(got.size(), 6u * 64);
  for (int block = 0; block < 6; ++block) {
    EXPECT_EQ(got[block * 64 + 1], -3) << block;
    EXPECT_EQ(std::count(got.begin() + block * 64, got.begin() + block * 64 + 64, 0), 63) << block;
  }
}

TEST(Jbp1Decode, FlatBlocksAndOutputShape) {
  // 100 x 75: 7 x 5 macroblocks into a 112 x 80 buffer.
  Picture p = EmptyPicture(100, 75, 5);
  for (size_t b = 0; b < p.Blocks(); ++b) p.blocks[b * 64] = b % 6 < 4 ? -3 : 0;
  const Bytes s = Write(p);
  BlockDecoder d = Prepare(s, 100, 75);
  EXPECT_EQ(d.roundedWidth, 112u);
  EXPECT_EQ(d.roundedHeight, 80u);
  EXPECT_EQ(d.aligned, 0);
  ASSERT_EQ(DecodeJbp1(&d), 1);
  EXPECT_EQ(d.outputSize, 112u * 80 * 2);
  EXPECT_EQ(d.rowPitch, 224u);
  EXPECT_EQ(d.bitsPerPixel, 16u);
  // (-3 x 5) / 8 rounds down to -2: grey 126.
  const uint16_t grey = PackRgb565(126, 126, 126);
  for (DWORD i = 0; i < 112 * 80; ++i) ASSERT_EQ(d.output[i], grey) << i;
  LocalFree(d.output);

  // Luma 127 with no chroma is white, -128 black.
  for (auto [dc, pixel] : {std::pair{1016, 0xFFFF}, std::pair{-1024, 0x0000}}) {
    Picture q = EmptyPicture(16, 16, 1);
    for (int b = 0; b < 4; ++b) q.blocks[b * 64] = dc;
    const std::vector<uint16_t> px = DecodePicture(Write(q), 16, 16);
    ASSERT_EQ(px.size(), 256u);
    EXPECT_EQ(px[0], pixel);
    EXPECT_EQ(px[255], pixel);
  }
}

// The first chroma block is Cb and drives blue, the second Cr and red.
TEST(Jbp1Decode, SaturatedAndSkinColours) {
  struct Case {
    const char* what;
    int r, g, b;
    int exact;  // expected RGB565, or -1
  };
  const Case cases[] = {{"red", 255, 0, 0, 0xF800},
                        {"blue", 0, 0, 255, 0x001F},
                        {"green", 0, 255, 0, 0x07E0},
                        {"skin", 224, 172, 138, -1},
                        {"dark skin", 141, 85, 36, -1}};
  for (const Case& c : cases) {
    const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    const double cb = -0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b;
    const double cr = 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b;
    Picture p = EmptyPicture(16, 16, 1);
    const int dcs[6] = {0, 0, 0, 0, static_cast<int>(std::lround(cb * 8)), static_cast<int>(std::lround(cr * 8))};
    for (int b = 0; b < 6; ++b) p.blocks[b * 64] = b < 4 ? static_cast<int>(std::lround((y - 128) * 8)) : dcs[b];
    const std::vector<uint16_t> px = DecodePicture(Write(p), 16, 16);
    ASSERT_EQ(px.size(), 256u) << c.what;
    const int r = (px[0] >> 11) << 3, g = ((px[0] >> 5) & 63) << 2, b = (px[0] & 31) << 3;
    if (c.exact >= 0) {
      EXPECT_EQ(px[0], c.exact) << c.what;
    }
    EXPECT_NEAR(r, c.r, 10) << c.what;
    EXPECT_NEAR(g, c.g, 10) << c.what;
    EXPECT_NEAR(b, c.b, 10) << c.what;
  }
}

// A picture through a plain forward DCT and quantisation, written and decoded:
// the result stays close to the source.
TEST(Jbp1Decode, PictureWithinTolerance) {
  const int w = 72, h = 40;
  auto source = [](int x, int y, int channel) {
    const double v[3] = {128 + 100 * std::sin(x * 0.07) * std::cos(y * 0.05), 40 + 2.5 * y,
                         200 - 1.5 * x + 20 * std::sin(0.3 * (x + y))};
    return std::min(255.0, std::max(0.0, v[channel]));
  };
  static const int kLuma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  Picture p = EmptyPicture(w, h);
  for (int i = 0; i < 64; ++i) {
    p.lumaQuant[i] = static_cast<BYTE>(std::max(1, kLuma[i] / 4));
    p.chromaQuant[i] = static_cast<BYTE>(std::max(1, kLuma[i] / 3));
  }
  const int mbCols = (w + 15) / 16;
  auto plane = [&](int x, int y, int which) {  // which: 0 Y, 1 Cb, 2 Cr at full resolution
    x = std::min(x, w - 1);
    y = std::min(y, h - 1);
    const double r = source(x, y, 0), g = source(x, y, 1), b = source(x, y, 2);
    if (which == 0) return 0.299 * r + 0.587 * g + 0.114 * b - 128;
    if (which == 1) return -0.168736 * r - 0.331264 * g + 0.5 * b;
    return 0.5 * r - 0.418688 * g - 0.081312 * b;
  };
  for (size_t mb = 0; mb < p.Blocks() / 6; ++mb) {
    const int mx = static_cast<int>(mb % mbCols) * 16, my = static_cast<int>(mb / mbCols) * 16;
    for (int b = 0; b < 6; ++b) {
      double samples[64];
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          if (b < 4) {
            samples[y * 8 + x] = plane(mx + (b & 1) * 8 + x, my + (b >> 1) * 8 + y, 0);
          } else {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += plane(mx + 2 * x + (k & 1), my + 2 * y + (k >> 1), b - 3);
            samples[y * 8 + x] = sum / 4;
          }
        }
      const BYTE* quant = b < 4 ? p.lumaQuant : p.chromaQuant;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
          double sum = 0;
          for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
              sum += samples[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
          const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
          p.blocks[(mb * 6 + b) * 64 + v * 8 + u] =
              static_cast<int>(std::lround(0.25 * cu * cv * sum / quant[v * 8 + u]));
        }
    }
  }
  const std::vector<uint16_t> px = DecodePicture(Write(p), w, h);
  ASSERT_EQ(px.size(), 80u * 48);
  double total = 0;
  int worst = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint16_t v = px[y * 80 + x];
      const int got[3] = {(v >> 11) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3};
      for (int c = 0; c < 3; ++c) {
        const int err = std::abs(got[c] - static_cast<int>(source(x, y, c)));
        total += err;
        worst = std::max(worst, err);
      }
    }
  EXPECT_LT(total / (w * h * 3), 5.0);
  EXPECT_LT(worst, 40);
}

// ---- kernels -----------------------------------------------------------------

// The SSE2 kernels give the plain routines' results bit for bit, on
// coefficients of real pictures and on any 16-bit values a damaged stream
// can produce.
TEST(Jbp1Kernels, Sse2MatchesPlain) {
#if VELMI_JBP1_SSE2
  std::mt19937 rng(17);
  for (int round = 0; round < 3000; ++round) {
    const bool wild = round % 3 == 0;
    alignas(16) short a[64], b[64];
    WORD quant[64];
    for (int i = 0; i < 64; ++i) {
      quant[i] = static_cast<WORD>(wild ? rng() % 256 : 1 + rng() % 60);
      const int range = i == 0 ? 1024 : (i < 10 ? 200 : 20);
      a[i] = static_cast<short>(wild ? static_cast<int>(rng())
                                     : (rng() % 4 ? 0 : static_cast<int>(rng() % (2 * range + 1)) - range));
    }
    if (round % 7 == 0) std::fill(a + 1, a + 64, 0);  // DC only
    std::memcpy(b, a, sizeof a);
    const short dc = a[0];
    Jbp1InverseDctPlain(a, quant);
    Jbp1InverseDctSse2(b, quant);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "round " << round;
    if (round % 7 == 0) {
      // A lone DC value: a flat block of (DC x q) / 8, rounded down.
      const short flat = static_cast<short>(static_cast<short>(dc * quant[0]) >> 3);
      ASSERT_EQ(std::count(a, a + 64, flat), 64) << "round " << round;
    }
  }
  for (int round = 0; round < 500; ++round) {
    const bool wild = round % 4 == 0;
    alignas(16) short blocks[6][64];
    for (auto& block : blocks)
      for (short& v : block)
        v = static_cast<short>(wild ? static_cast<int>(rng()) : static_cast<int>(rng() % 400) - 200);
    WORD plain[16 * 20], fast[16 * 20];
    std::fill(plain, plain + 16 * 20, 0x1234);
    std::fill(fast, fast + 16 * 20, 0x1234);
    Jbp1StoreMacroblockPlain(blocks, plain, 20);
    Jbp1StoreMacroblockSse2(blocks, fast, 20);
    ASSERT_EQ(0, std::memcmp(plain, fast, sizeof plain)) << "round " << round;
  }
#else
  GTEST_SKIP() << "no SSE2 kernels in this build";
#endif
}

// Any 16-bit coefficients with any 16-bit quantiser go through the public
// transform without signed overflow (the sanitizer build judges), and a lone
// DC value still gives its flat block.
TEST(Jbp1Kernels, ExtremeInputsStayDefined) {
  std::mt19937 rng(29);
  for (int round = 0; round < 200; ++round) {
    short block[64];
    WORD quant[64];
    for (int i = 0; i < 64; ++i) {
      block[i] = static_cast<short>(round % 2 ? (rng() % 2 ? 32767 : -32768) : static_cast<int>(rng()));
      quant[i] = static_cast<WORD>(round % 3 ? 65535 : rng());
    }
    if (round % 5 == 0) std::fill(block + 1, block + 64, 0);
    const short dc = block[0];
    Jbp1InverseDct(block, quant);
    if (round % 5 == 0) {
      const short flat = static_cast<short>(static_cast<short>(dc * quant[0]) >> 3);
      ASSERT_EQ(std::count(block, block + 64, flat), 64) << round;
    }
  }
}

// ---- damaged streams -------------------------------------------------------

TEST(Jbp1Decode, HandMadeSymbolSequences) {
  const std::vector<Sym> dc(6, Sym{0});
  // 0xF3 skips 18 positions; the value lands at position 19.
  std::vector<Sym> ac = {{0xF3}, {0x01, 1, 1}, {0}, {0}, {0}, {0}, {0}, {0}};
  std::vector<int> got = DecodeCoefficients(HandStream(16, 16, dc, ac), 16, 16);
  ASSERT_EQ(got.size(), 6u * 64);
  EXPECT_EQ(got[Jbp1ZigzagToNatural[19]], 1);
  EXPECT_EQ(std::count(got.begin(), got.end(), 0), 6 * 64 - 1);

  // Runs that would pass position 63 end the block.
  for (int last : {0xF0, 0x30}) {
    ac = {{0xFF}, {0xFF}, {last}, {0x01, 1, 1}, {0}, {0}, {0}, {0}};
    got = DecodeCoefficients(HandStream(16, 16, dc, ac), 16, 16);
    ASSERT_EQ(got.size(), 6u * 64) << last;
    EXPECT_EQ(std::count(got.begin(), got.begin() + 64, 0), 64) << last;
    EXPECT_EQ(got[64 + 1], 1) << last;  // the next block starts with the next symbol
  }

  // Without quantisation tables the coefficients are taken as they stand.
  const std::vector<Sym> dcFlat = {{7, 80, 7}, {0}, {0}, {0}, {7, 0x7F - 80, 7}, {0}};  // 80, 80, 80, 80, 0, 0
  const Bytes noTables = HandStream(16, 16, dcFlat, std::vector<Sym>(6, Sym{0}), false);
  const std::vector<uint16_t> px = DecodePicture(noTables, 16, 16);
  ASSERT_EQ(px.size(), 256u);
  const int grey = 128 + 10;  // 80 / 8
  EXPECT_EQ(px[0], PackRgb565(grey, grey, grey));
}

TEST(Jbp1Decode, RefusesDamagedStreams) {
  Picture p = EmptyPicture(48, 32, 2);
  std::mt19937 rng(3);
  for (size_t i = 0; i < p.blocks.size(); ++i)
    if (rng() % 5 == 0) p.blocks[i] = static_cast<int>(rng() % 41) - 20;
  const Bytes good = Write(p);
  ASSERT_EQ(DecodePicture(good, 48, 32).size(), 48u * 32);

  auto with = [&](auto change) {
    Bytes s = good;
    change(s);
    return s;
  };
  struct Case {
    const char* what;
    Bytes stream;
    DWORD w, h;
  };
  const Case cases[] = {
      {"other width than the picture", good, 32, 32},
      {"other height than the picture", good, 48, 48},
      {"header only", Bytes(good.begin(), good.begin() + 44), 48, 32},
      {"cut in the counts", Bytes(good.begin(), good.begin() + 100), 48, 32},
      {"cut in the tables", Bytes(good.begin(), good.begin() + 200), 48, 32},
      {"cut in the AC stream", Bytes(good.begin(), good.end() - 4), 48, 32},
      {"count offset past the end", with([](Bytes& s) { PutLe32(&s[4], 0xFFFFFFF0); }), 48, 32},
      {"DC length past the end", with([](Bytes& s) { PutLe32(&s[28], 0xFFFFFFF0); }), 48, 32},
      {"DC count at the live limit", with([](Bytes& s) { PutLe32(&s[48], HUFFMAN_LIVE_LIMIT); }), 48, 32},
      {"zero run past the AC table", with([](Bytes& s) {
         const Bytes runs = {0, 255, 0, 255, 0, 255, 0, 254, 0, 5};  // 1023 zeros, then 6 more
         std::copy(runs.begin(), runs.end(), s.begin() + 108);
       }),
       48, 32},
      {"zero size", with([](Bytes& s) { PutLe16(&s[16], 0); }), 0, 32},
  };
  for (const Case& c : cases) EXPECT_TRUE(DecodePicture(c.stream, c.w, c.h).empty()) << c.what;

  // A caller's output that is too small.
  BlockDecoder d = Prepare(good, 48, 32);
  std::vector<WORD> small(48 * 32 - 1);
  d.output = small.data();
  d.outputCapacity = static_cast<DWORD>(small.size() * 2);
  EXPECT_EQ(DecodeJbp1(&d), 0);
  // ...and one that fits is written in place.
  std::vector<WORD> fits(48 * 32);
  d = Prepare(good, 48, 32);
  d.output = fits.data();
  d.outputCapacity = static_cast<DWORD>(fits.size() * 2);
  ASSERT_EQ(DecodeJbp1(&d), 1);
  EXPECT_EQ(d.output, fits.data());
  EXPECT_EQ(std::vector<uint16_t>(fits.begin(), fits.end()), DecodePicture(good, 48, 32));

  // Every truncation fails cleanly; none reads outside the stream.
  // (The last 3 bytes may be fill, so each cut removes at least a word.)
  for (size_t n = 0; n + 4 <= good.size(); n += 7) {
    const Bytes cut(good.begin(), good.begin() + n);
    BlockDecoder t = Prepare(cut, 48, 32);
    t.input = cut.empty() ? nullptr : cut.data();
    EXPECT_EQ(DecodeJbp1(&t), 0) << n;
  }
  BlockDecoder none;
  InitBlockDecoder(&none);
  EXPECT_EQ(ParseJbp1Header(&none), 0);
}

}  // namespace
