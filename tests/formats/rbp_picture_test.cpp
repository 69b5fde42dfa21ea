#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "converter/pack_writer.h"
#include "converter/pictures/rbp_writer.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/pack_reader.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using formats_test::Bgra;
using formats_test::MakeBmp;
using formats_test::MakeBmp8;

// A picture as the player reads it: the fields of its header that the player
// relies on and the pixel body, taken straight from the bytes.
struct ParsedPicture {
  std::string magic;
  uint32_t type = 0, width = 0, height = 0, dataOffset = 0, jbp1Length = 0, alphaLength = 0;
  int16_t designWidth = 0, designHeight = 0, valueA = 0, valueB = 0;
  std::vector<uint16_t> pixels;
  std::vector<uint8_t> alpha;
};

uint32_t U32(const Bytes& b, size_t at) { return GetLe32(&b[at]); }
int16_t I16(const Bytes& b, size_t at) { return static_cast<int16_t>(GetLe16(&b[at])); }

ParsedPicture Parse(const Bytes& file) {
  ParsedPicture p;
  if (file.size() < 36) return p;
  p.magic.assign(file.begin(), file.begin() + 4);
  p.type = U32(file, 4);
  p.width = U32(file, 8);
  p.height = U32(file, 12);
  p.dataOffset = U32(file, 16);
  p.designWidth = I16(file, 20);
  p.designHeight = I16(file, 22);
  p.valueA = I16(file, 24);
  p.valueB = I16(file, 26);
  p.jbp1Length = U32(file, 28);
  p.alphaLength = U32(file, 32);
  const size_t n = static_cast<size_t>(p.width) * p.height;
  const size_t step = p.type == 1 ? 3 : 2;
  if (p.dataOffset > file.size() || (file.size() - p.dataOffset) / step < n) return p;
  for (size_t i = 0; i < n; ++i) {
    const size_t at = p.dataOffset + i * step;
    p.pixels.push_back(GetLe16(&file[at]));
    if (p.type == 1) p.alpha.push_back(file[at + 2]);
  }
  return p;
}

// (size by reference: it is filled by the call that makes data.)
Bytes Take(BYTE* data, const DWORD& size) {
  if (data == nullptr) return {};
  Bytes out(data, data + size);
  LocalFree(data);
  return out;
}

TEST(RbpPicture, Rgb565DropsLowBits) {
  struct Case {
    uint8_t r, g, b;
    uint16_t value;
  };
  const Case cases[] = {
      {255, 128, 0, 0xFC00}, {255, 255, 255, 0xFFFF}, {7, 3, 7, 0x0000}, {255, 0, 255, 0xF81F}, {8, 4, 8, 0x0821}};
  for (const Case& c : cases) {
    const Bytes bmp = MakeBmp(1, 1, 24, [&](int, int) { return Bgra{c.b, c.g, c.r, 0}; });
    DWORD size = 0;
    const ParsedPicture p = Parse(Take(MakeRbpPicture(bmp.data(), &size, 0, 0, 0), size));
    EXPECT_EQ(p.pixels.at(0), c.value) << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
}

TEST(RbpPicture, Type13FromPaddedRowsTopRowFirst) {
  // 3 x 2: rows of 9 bytes padded to 12.
  const Bytes bmp = MakeBmp(3, 2, 24, [](int x, int y) {
    return Bgra{static_cast<uint8_t>(8 * x), 0, static_cast<uint8_t>(y ? 0 : 255), 0};
  });
  SetSourceSize(1000, 750);
  DWORD size = 0;
  const Bytes file = Take(MakeRbpPicture(bmp.data(), &size, 0, -2, 7), size);
  ASSERT_EQ(size, 36u + 2 * 3 * 2);
  const ParsedPicture p = Parse(file);
  EXPECT_EQ(p.magic, "RBP5");
  EXPECT_EQ(p.type, 13u);
  EXPECT_EQ(p.width, 3u);
  EXPECT_EQ(p.height, 2u);
  EXPECT_EQ(p.dataOffset, 36u);
  EXPECT_EQ(p.designWidth, 1000);
  EXPECT_EQ(p.designHeight, 750);
  EXPECT_EQ(p.valueA, -2);
  EXPECT_EQ(p.valueB, 7);
  EXPECT_EQ(p.jbp1Length, 0u);
  EXPECT_EQ(p.alphaLength, 0u);
  EXPECT_EQ(p.pixels, (std::vector<uint16_t>{0xF800, 0xF801, 0xF802, 0x0000, 0x0001, 0x0002}));
}

TEST(RbpPicture, Type1KeepsAlphaUnchanged) {
  const uint8_t alphas[] = {0, 1, 0x80, 0xFE, 0xFF, 63};
  const Bytes bmp = MakeBmp(3, 2, 32, [&](int x, int y) { return Bgra{255, 255, 0, alphas[y * 3 + x]}; });
  SetSourceSize(0x12345, -3);  // the low 16 bits are kept
  DWORD size = 0;
  const Bytes file = Take(MakeRbpPicture(bmp.data(), &size, 0, 0, 0), size);
  ASSERT_EQ(size, 36u + 3 * 3 * 2);
  const ParsedPicture p = Parse(file);
  EXPECT_EQ(p.magic, "RBP5");
  EXPECT_EQ(p.type, 1u);
  EXPECT_EQ(p.designWidth, 0x2345);
  EXPECT_EQ(p.designHeight, -3);
  EXPECT_EQ(p.pixels, std::vector<uint16_t>(6, 0x07FF));
  EXPECT_EQ(p.alpha, Bytes(alphas, alphas + 6));
}

TEST(RbpPicture, OtherDepthsAndSmallPicturesWithQuality) {
  DWORD size = 99;
  const Bytes bmp8 = MakeBmp8(4, 4, {{0, 0, 0, 0}}, 1, [](int, int) { return 0; });
  EXPECT_EQ(MakeRbpPicture(bmp8.data(), &size, 0, 0, 0), nullptr);
  EXPECT_EQ(size, 0u);
  const Bytes bmp16 = MakeBmp(4, 4, 16, [](int, int) { return Bgra{}; });
  EXPECT_EQ(MakeRbpPicture(bmp16.data(), &size, 0, 0, 0), nullptr);

  // Below 8 x 8 the re-coder gives nothing, whatever the quality: "RBP5".
  const Bytes bmp = MakeBmp(4, 4, 24, [](int x, int y) { return Bgra{uint8_t(x * 60), uint8_t(y * 60), 0, 0}; });
  for (unsigned quality : {0u, 1u, 2u, 3u, 4u}) {
    const Bytes file = Take(MakeRbpPicture(bmp.data(), &size, quality, 0, 0), size);
    EXPECT_EQ(Parse(file).magic, "RBP5") << quality;
    EXPECT_EQ(size, 36u + 32) << quality;
  }
}

TEST(ChipPicture, EightBitPaletteAndTwentyFourBit) {
  const std::vector<Bgra> colours = {{0, 0, 0, 0}, {255, 0, 255, 0}, {255, 255, 255, 0}, {0, 128, 255, 0},
                                     {8, 4, 8, 0}, {1, 2, 3, 0},     {0, 0, 255, 0},     {255, 0, 0, 0}};
  const Bytes bmp = MakeBmp8(5, 3, colours, 8, [](int x, int y) { return static_cast<uint8_t>((x + y) % 8); });
  DWORD size = 0;
  const Bytes file = Take(MakeChipPicture(bmp.data(), &size), size);
  ASSERT_EQ(size, 36u + 2 * 5 * 3);
  EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 36), Bytes(12, 0));
  const ParsedPicture p = Parse(file);
  EXPECT_EQ(p.magic, "KBP1");
  EXPECT_EQ(p.type, 13u);
  EXPECT_EQ(p.width, 5u);
  EXPECT_EQ(p.height, 3u);
  EXPECT_EQ(p.designWidth, 5);
  EXPECT_EQ(p.designHeight, 3);
  const uint16_t rgb[] = {0x0000, 0xF81F, 0xFFFF, 0xFC00, 0x0821, 0x0000, 0xF800, 0x001F};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(p.pixels[y * 5 + x], rgb[(x + y) % 8]) << x << "," << y;

  // A colours-used count of 0 means a full table of 256.
  std::vector<Bgra> full(256, Bgra{0, 0, 0, 0});
  full[200] = {255, 0, 255, 0};
  const Bytes bmp256 = MakeBmp8(2, 2, full, 0, [](int, int) { return 200; });
  EXPECT_EQ(Parse(Take(MakeChipPicture(bmp256.data(), &size), size)).pixels, std::vector<uint16_t>(4, 0xF81F));

  // 24-bit chips have packed rows too.
  const Bytes bmp24 = MakeBmp(
      3, 2, 24,
      [](int x, int y) {
        return Bgra{uint8_t(x == 1 ? 255 : 0), 0, uint8_t(y ? 255 : 0), 0};
      },
      true);
  EXPECT_EQ(Parse(Take(MakeChipPicture(bmp24.data(), &size), size)).pixels,
            (std::vector<uint16_t>{0x0000, 0x001F, 0x0000, 0xF800, 0xF81F, 0xF800}));

  const Bytes bmp32 = MakeBmp(2, 2, 32, [](int, int) { return Bgra{}; });
  EXPECT_EQ(MakeChipPicture(bmp32.data(), &size), nullptr);
  EXPECT_EQ(size, 0u);
}

// Written into a pack and read back by the player's reader, as the loader
// will fetch it.
TEST(RbpPicture, TravelsThroughAPack) {
  vtest::TempFolder dir("formats");
  const std::string pack = dir.File("grpack.mlz");
  const Bytes bmp = MakeBmp(40, 30, 32, [](int x, int y) {
    return Bgra{uint8_t(x * 6), uint8_t(y * 8), uint8_t(x ^ y), uint8_t(x < 20 ? 0 : 200)};
  });
  SetSourceSize(50, 37);
  DWORD size = 0;
  const Bytes picture = Take(MakeRbpPicture(bmp.data(), &size, 0, 0, 0), size);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 1));
  ASSERT_TRUE(writer.AddEntry("ch\\mio.rbp", picture.data(), size, TRUE));
  ASSERT_TRUE(writer.Finish());

  PackReader reader;
  DWORD read = 0;
  int used = 0;
  BYTE* data =
      ReadPackEntryInto(&reader, pack.c_str(), "CH\\MIO.RBP", &read, SharedReadArea, SHARED_READ_AREA_SIZE, &used);
  ASSERT_NE(data, nullptr);
  const Bytes back(data, data + read);
  if (!used) LocalFree(data);
  ASSERT_EQ(back, picture);
  const ParsedPicture p = Parse(back);
  EXPECT_EQ(p.type, 1u);
  EXPECT_EQ(p.designWidth, 50);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const uint16_t expect = PackRgb565(x ^ y, y * 8, x * 6);
      ASSERT_EQ(p.pixels[y * 40 + x], expect) << x << "," << y;
      ASSERT_EQ(p.alpha[y * 40 + x], x < 20 ? 0 : 200);
    }
  }
}

}  // namespace
