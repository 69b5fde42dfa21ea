// The .rbp loader and the picture operations.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <cstring>
#include <filesystem>

#include "common/file.h"
#include "formats/le_bytes.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/temp_folder.h"

namespace {

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("pic");
    ASSERT_FALSE(dir.empty());
    folder = dir + "/";
    for (char& c : folder)
      if (c == '/') c = '\\';
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
  }
  void TearDown() override {
    pic.FreePixels();
    vtest::RemoveTree(dir);
  }
  int Load(const std::string& file, const Bytes& b, const char* name = nullptr) {
    WriteFileBytes(dir + "/" + file, b);
    pic.FreePixels();
    return LoadPicture(&pic, name ? name : file.c_str(), folder.c_str(), 0, nullptr);
  }
  uint16_t Px(int i) const { return pic.GetPixels()[i]; }
  std::string dir, folder;
  CPicture pic;
};

TEST_F(PictureTest, EveryTypeFromAFolder) {
  ASSERT_EQ(Load("a.rbp", MakeRbp565(2, 1, {0x1234, 0xF800}, 3, 2)), 1);
  EXPECT_EQ(pic.depth, 16u);
  EXPECT_EQ(Px(1), 0xF800);
  EXPECT_EQ(pic.canvasWidth, 3);
  EXPECT_STREQ(pic.name, "a.rbp");

  ASSERT_EQ(Load("k.rbp", MakeRbpAlpha(3, 1, {1, 2, 3}, {0, 1, 63}, true, 3, 1)), 1);
  EXPECT_EQ(pic.depth, 24u);
  EXPECT_EQ(pic.alpha[0], 0);
  EXPECT_EQ(pic.alpha[1], 7);
  EXPECT_EQ(pic.alpha[2], 255);
  ASSERT_EQ(Load("r.rbp", MakeRbpAlpha(3, 1, {1, 2, 3}, {0, 1, 63}, false, 3, 1)), 1);
  EXPECT_EQ(pic.alpha[1], 1);
  EXPECT_EQ(pic.alpha[2], 63);

  ASSERT_EQ(Load("g.rbp", MakeRbpGrey(2, 1, {255, 8}, 2, 1)), 1);
  EXPECT_EQ(Px(0), 0xFFFF);
  EXPECT_EQ(Px(1), 0x0841);

  ASSERT_EQ(Load("p.rbp", MakeRbpPalette(2, 1, {0x00FF0000u, 0x000000FFu}, {1, 0}, 2, 1)), 1);
  EXPECT_EQ(pic.depth, 8u);
  EXPECT_EQ(pic.pixels[0], 1);
  EXPECT_EQ(pic.palette[4 * 1 + 0], 0xFF);

  // JBP1: a 100-pixel-wide picture is copied out of 112-pixel rows, a 64-wide one decoded in place.
  for (int w : {100, 64}) {
    ASSERT_EQ(Load("j.rbp", MakeRbpJbp1Flat(w, 20, 200, nullptr, w, 20)), 1) << w;
    EXPECT_EQ(pic.depth, 16u);
    for (int i : {0, w - 1, w * 20 - 1}) {
      uint16_t p = Px(i);
      EXPECT_NEAR(int(Red8(p)), 200, 8) << w;
      EXPECT_NEAR(int(Green8(p)), 200, 8) << w;
    }
  }
  std::vector<uint8_t> alpha(32 * 16, 0);
  alpha[0] = 4;
  alpha[1] = 255;
  ASSERT_EQ(Load("ja.rbp", MakeRbpJbp1Flat(32, 16, 100, &alpha, 32, 16)), 1);
  EXPECT_EQ(pic.depth, 24u);
  EXPECT_EQ(pic.alpha[0], 7);
  EXPECT_EQ(pic.alpha[1], 255);
  EXPECT_EQ(pic.alpha[2], 0);
}

TEST_F(PictureTest, NamesAndExtensions) {
  WriteFileBytes(dir + "/bg_x.rbp", MakeRbp565(1, 1, {7}, 1, 1));
  const char* name = "bg_x.zev";
  ASSERT_EQ(LoadPicture(&pic, name, folder.c_str(), 1, nullptr), 1);
  EXPECT_STREQ(name, "bg_x.zev");  // the caller's text stays as it was
  EXPECT_STREQ(pic.name, "bg_x.rbp");
  EXPECT_EQ(pic.flags, 0x80000000u);
  pic.FreePixels();
  WriteFileBytes(dir + "/UP.RBP", MakeRbp565(1, 1, {7}, 1, 1));
  ASSERT_EQ(LoadPicture(&pic, "UP.RBP", folder.c_str(), 0, nullptr), 1);
  EXPECT_STREQ(pic.name, "UP.RBP");
  pic.FreePixels();
  // A folder whose last character before the backslash has a trail byte in
  // the lead-byte range (亜 is 88 9F) is still a folder.
  std::string sub = "\x88\x9f";
  ASSERT_TRUE(std::filesystem::create_directory(dir + "/\xe4\xba\x9c"));
  WriteFileBytes(dir + "/\xe4\xba\x9c/in.rbp", MakeRbp565(1, 1, {9}, 1, 1));
  ASSERT_EQ(LoadPicture(&pic, "in", (folder + sub + "\\").c_str(), 0, nullptr), 1);
  EXPECT_EQ(Px(0), 9);
  pic.FreePixels();
  std::string longName(64, 'a');
  EXPECT_EQ(LoadPicture(&pic, longName.c_str(), folder.c_str(), 0, nullptr), 0);
  EXPECT_EQ(LoadPicture(&pic, "missing", folder.c_str(), 0, nullptr), 0);
  EXPECT_EQ(pic.owned, nullptr);
}

TEST_F(PictureTest, DamagedFilesFailAndUnknownTypesAreEmpty) {
  // Earlier contents must not survive as a depth with no pixels.
  ASSERT_EQ(Load("u.rbp", MakeRbpRaw("RBP5", 55, 4, 4, Bytes(32, 0))), 1);
  EXPECT_EQ(pic.depth, 32u);
  EXPECT_EQ(pic.pixels, nullptr);
  const struct {
    const char* what;
    Bytes file;
  } bad[] = {
      {"short header", Bytes(20, 0)},
      {"565 body short", MakeRbpRaw("RBP5", 13, 4, 4, Bytes(31, 0))},
      {"alpha body short", MakeRbpRaw("RBP5", 1, 4, 4, Bytes(47, 0))},
      {"grey body short", MakeRbpRaw("RBP5", 90, 4, 4, Bytes(15, 0))},
      {"palette short", MakeRbpRaw("RBP5", 80, 4, 4, Bytes(1000, 0))},
      {"jbp1 length past end", MakeRbpRaw("RBP7", 30, 16, 16, Bytes(10, 0), 0xFFFFFFF0u)},
      {"jbp1 garbage", MakeRbpRaw("RBP7", 30, 16, 16, Bytes(100, 0x5A), 100)},
      {"huge size", MakeRbpRaw("RBP5", 13, 0x10000, 0x10000, Bytes(8, 0))},
  };
  for (auto& b : bad) EXPECT_EQ(Load("b.rbp", b.file), 0) << b.what;
  // A JBP1 stream whose size differs from the header's picture.
  Bytes j = MakeRbpJbp1Flat(32, 16, 100, nullptr, 32, 16);
  j[8] = 48;
  EXPECT_EQ(Load("s.rbp", j), 0);
  // Offsets larger than the file.
  Bytes o = MakeRbp565(1, 1, {7}, 1, 1);
  o[16] = 0xFF;
  o[19] = 0x7F;
  EXPECT_EQ(Load("o.rbp", o), 0);
}

TEST_F(PictureTest, PackEntriesStoredAndCoded) {
  std::string pack = dir + "/grpack_v.mlz";
  Bytes big = MakeRbp565(256, 256, std::vector<uint16_t>(256 * 256, 0x07E0), 320, 320);  // beyond the shared area
  ASSERT_TRUE(WritePack(
      pack,
      {{"a.rbp", MakeRbp565(1, 1, {0x1F}, 1, 1)}, {"big.rbp", big}, {"p.rbp", MakeRbpPalette(1, 1, {0xFF}, {0}, 1, 1)}},
      false));
  std::string packWin = folder + "grpack_v.mlz";
  PackReader reader;
  ASSERT_EQ(LoadPicture(&pic, "A.zev", packWin.c_str(), 0, &reader), 1);
  EXPECT_EQ(Px(0), 0x1F);
  pic.FreePixels();
  ASSERT_EQ(LoadPicture(&pic, "big", packWin.c_str(), 0, &reader), 1);
  EXPECT_EQ(Px(256 * 256 - 1), 0x07E0);
  pic.FreePixels();
  // A paletted picture from the shared area gets a buffer of its own.
  ASSERT_EQ(LoadPicture(&pic, "p", packWin.c_str(), 0, &reader), 1);
  EXPECT_NE(pic.owned, SharedReadArea);
  pic.FreePixels();
  ASSERT_TRUE(WritePack(pack, {{"c.rbp", MakeRbpGrey(2, 1, {255, 8}, 2, 1)}}, true));
  PackReader fresh;
  ASSERT_EQ(LoadPicture(&pic, "c", packWin.c_str(), 0, &fresh), 1);
  EXPECT_EQ(Px(1), 0x0841);
  pic.FreePixels();
  EXPECT_EQ(LoadPicture(&pic, "c", packWin.c_str(), 0, nullptr), 0);
}

// A failed allocation of the pixels or of the alpha plane leaves the picture
// empty, never with the old size over a new buffer.
TEST(PictureOps, CreateBlankFailureLeavesThePictureEmpty) {
  SetScreenWidth(640);
  SetCanvasWidth(800);
  SetScreenHeight(480);
  SetCanvasHeight(600);
  struct Case {
    int failAfter;  // LocalAlloc calls that succeed first
    int kind;
  } cases[] = {{0, 2}, {0, 3}, {1, 3}};
  for (const Case& c : cases) {
    CPicture p;
    ASSERT_EQ(CPicture::CreateBlank(&p, 8, 6, 0x11, 3), 1);
    VelmiFailLocalAlloc(c.failAfter);
    EXPECT_EQ(CPicture::CreateBlank(&p, 16, 12, 0, c.kind), 0) << c.failAfter << " " << c.kind;
    VelmiFailLocalAlloc(-1);
    EXPECT_EQ(p.pixels, nullptr);
    EXPECT_EQ(p.owned, nullptr);
    EXPECT_EQ(p.alpha, nullptr);
    EXPECT_EQ(p.width, 0u);
    EXPECT_EQ(p.height, 0u);
    EXPECT_EQ(p.canvasWidth, 0);
    EXPECT_EQ(p.depth, 32u);
    // The picture takes a new size afterwards.
    ASSERT_EQ(CPicture::CreateBlank(&p, 16, 12, 0, c.kind), 1);
    EXPECT_EQ(p.width, 16u);
    p.FreePixels();
  }
}

TEST(PictureOps, TintDarkenComposeThumbnailStamp) {
  SetScreenWidth(640);
  SetCanvasWidth(800);
  SetScreenHeight(480);
  SetCanvasHeight(600);
  CPicture p;
  ASSERT_EQ(CPicture::CreateBlank(&p, 4, 2, 0, 3), 1);
  EXPECT_EQ(p.depth, 24u);
  EXPECT_EQ(p.canvasWidth, 5);
  p.GetPixels()[0] = PackRgb565(100, 100, 100);
  CPicture::TintPercent(&p, 100 | 200 << 8 | 50 << 16);
  EXPECT_EQ(p.GetPixels()[0], PackRgb565(96, 200, 48));
  p.GetPixels()[1] = PackRgb565(200, 200, 200);
  CPicture::TintPercent(&p, 100 | 200 << 8 | 100 << 16);
  EXPECT_EQ(Green8(p.GetPixels()[1]), 0xFCu);  // saturates
  // Depth 24 pixels are 2 bytes apart: every pixel darkens, the alpha stays.
  for (int i = 0; i < 8; ++i) p.GetPixels()[i] = 0xFFFF, p.alpha[i] = 9;
  CPicture::Darken(&p, 128);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.GetPixels()[i], PackRgb565(0x7C, 0x7E, 0x7C)) << i;
  EXPECT_EQ(p.alpha[7], 9);
  CPicture empty;
  CPicture::TintPercent(&empty, 0);  // no pixels: nothing to do
  CPicture::Darken(&empty, 0);

  CPicture target, src;
  CPicture::CreateBlank(&target, 4, 4, 0, 2);
  CPicture::CreateBlank(&src, 2, 2, 0xFF, 3);
  CPicture::AlphaCompose(&target, &src, 3, 3, 0, 0, 5, 5);  // clipped to one pixel
  EXPECT_EQ(target.GetPixels()[15], 0xFFFF);
  EXPECT_EQ(target.GetPixels()[14], 0);
  CPicture::AlphaCompose(&target, &src, -1, -1, 0, 0, 2, 2);
  EXPECT_EQ(target.GetPixels()[0], 0xFFFF);
  EXPECT_EQ(target.GetPixels()[1], 0);

  std::vector<uint16_t> screen(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) screen[y * 640 + x] = (x % 4 < 2) ? 0xFFFF : 0x0000;
  DWORD size = 0;
  BYTE* bmp = MakeThumbnailBmp(screen.data(), 640, 480, 160, 120, &size);
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(size, 54u + 160 * 120 * 2);
  EXPECT_EQ(bmp[0], 'B');
  uint16_t first = GetLe16(bmp + 54);
  EXPECT_EQ(first, PackRgb565(0xF8 / 2, 0xFC / 2, 0xF8 / 2));  // 4x4 box average
  LocalFree(bmp);
  std::vector<uint16_t> small(100 * 100, 0xFFFF);
  bmp = MakeThumbnailBmp(small.data(), 100, 100, 160, 120, &size);
  ASSERT_NE(bmp, nullptr);
  int nonZero = 0;
  for (DWORD i = 54; i < size; ++i) nonZero += bmp[i] != 0;
  EXPECT_EQ(nonZero, 0);
  LocalFree(bmp);

  uint32_t s = PackDateTime("2008-10-24 16:48:30");
  EXPECT_EQ(s >> 25, 8u);
  EXPECT_EQ((s >> 21) & 15, 10u);
  EXPECT_EQ((s >> 16) & 31, 24u);
  EXPECT_EQ((s >> 11) & 31, 16u);
  EXPECT_EQ((s >> 5) & 63, 48u);
  EXPECT_EQ(s & 31, 15u);
  p.FreePixels();
  target.FreePixels();
  src.FreePixels();
}

TEST_F(PictureTest, SaveHeaderChecksOffsets) {
  Bytes save(200, 0);
  std::memcpy(save.data(), "YMN3", 4);
  std::memcpy(save.data() + 8, "2008-10-24 16:48:30", 19);
  save[92] = 5;
  std::memcpy(save.data() + 106, "scene01", 8);
  // Embedded 2x2 BMP at 120 (rows bottom-up).
  size_t bmp = 120;
  save.resize(bmp + 54 + 8, 0);
  save[4] = uint8_t(bmp);
  save[bmp + 18] = 2;
  save[bmp + 22] = 2;
  save[bmp + 54] = 0x11;  // bottom-left pixel
  WriteFileBytes(dir + "/save001.dat", save);
  char script[16];
  uint32_t icon = 0, stamp = 0;
  ASSERT_EQ(ReadSaveHeader(&pic, "save001.dat", folder.c_str(), script, sizeof script, &icon, &stamp), 1);
  EXPECT_EQ(icon, 5u);
  EXPECT_STREQ(script, "scene01");
  EXPECT_EQ(stamp, PackDateTime("2008-10-24 16:48:30"));
  EXPECT_EQ(Px(2), 0x11);  // turned top-down
  pic.FreePixels();
  save[4] = 0xF0;  // the BMP offset points past the file
  save[5] = 0xFF;
  WriteFileBytes(dir + "/save002.dat", save);
  EXPECT_EQ(ReadSaveHeader(&pic, "save002.dat", folder.c_str(), script, sizeof script, &icon, &stamp), 0);
  save[4] = uint8_t(bmp);
  save[5] = 0;
  save[bmp + 18] = 200;  // larger than the bytes that follow
  WriteFileBytes(dir + "/save003.dat", save);
  EXPECT_EQ(ReadSaveHeader(&pic, "save003.dat", folder.c_str(), script, sizeof script, &icon, &stamp), 0);
  save[0] = 'X';
  WriteFileBytes(dir + "/save004.dat", save);
  EXPECT_EQ(ReadSaveHeader(&pic, "save004.dat", folder.c_str(), script, sizeof script, &icon, &stamp), 0);
  EXPECT_EQ(stamp, 0u);
}

}  // namespace
