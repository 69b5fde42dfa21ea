// Rendering: golden coverage images of short strings at each anti-alias
// factor, colours, shadow, clipping, the backlog view, whole strings into
// pictures, the glyph writer and the font list.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/rgb565.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/glyph_writer.h"
#include "player/core/input.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "tests/text/text_env.h"

namespace {

// A 6-bit grey image (the green channel of the RGB565 pixels).
struct Grey {
  int width = 0, height = 0;
  std::vector<int> v;
  bool operator==(const Grey& o) const { return width == o.width && height == o.height && v == o.v; }
};

Grey Crop(const uint16_t* pixels, int pitch, int x, int y, int w, int h) {
  Grey g{w, h, {}};
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) g.v.push_back((pixels[size_t(y + j) * pitch + x + i] >> 5) & 0x3F);
  return g;
}

std::string Pgm(const Grey& g) {
  std::ostringstream o;
  o << "P2\n" << g.width << " " << g.height << "\n63\n";
  for (int j = 0; j < g.height; ++j) {
    for (int i = 0; i < g.width; ++i) o << (i ? " " : "") << g.v[size_t(j) * g.width + i];
    o << "\n";
  }
  return o.str();
}

Grey ReadPgm(const std::string& path) {
  std::ifstream in(path);
  std::string magic;
  int maxval = 0;
  Grey g;
  in >> magic >> g.width >> g.height >> maxval;
  if (magic != "P2") return {};
  g.v.resize(size_t(g.width) * g.height);
  for (int& p : g.v) in >> p;
  return in ? g : Grey{};
}

// Compares with tests/text/golden/<name>.pgm; VELMI_UPDATE_GOLDEN=1 writes it.
void ExpectGolden(const Grey& got, const char* name) {
  const std::string path = std::string(VELMI_TEXT_DIR) + "/golden/" + name + ".pgm";
  if (std::getenv("VELMI_UPDATE_GOLDEN")) {
    std::ofstream(path) << Pgm(got);
    return;
  }
  Grey want = ReadPgm(path);
  if (!(got == want)) {
    const std::string actual = std::string(VELMI_BINARY_DIR) + "/" + name + ".actual.pgm";
    std::ofstream(actual) << Pgm(got);
    ADD_FAILURE() << name << " differs from " << path << "; drawn: " << actual;
  }
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScreen(640, 480);
    VelmiClockUseFake(5000);
    Reset();
  }
  void TearDown() override {
    window.reset();
    screen.reset();
    VelmiClockUseReal();
  }
  void Reset() {
    window = std::make_unique<CTextWindow>();
    UseMessageWindowSettings(*window);
    screen = std::make_unique<CScreen>();
    dirty.SetSize(uint32_t(GetScreenWidth()), uint32_t(GetScreenHeight()));
  }
  void Lay(const char* utf8) {
    text = Sjis(utf8);
    GameSettings s{};
    InputState in{};
    window->noWait = 1;
    window->StartText(text.c_str());
    LayoutText(window.get(), &s, &in, &dirty, 100);
    window->SetInstantMode(1);
  }
  void Fill(uint16_t v) {
    uint16_t* p = screen->GetPixels();
    std::fill(p, p + size_t(screen->GetWidth()) * screen->GetHeight(), v);
  }
  uint16_t At(int x, int y) const { return screen->GetPixels()[size_t(y) * screen->GetWidth() + x]; }

  std::unique_ptr<CTextWindow> window;
  std::unique_ptr<CScreen> screen;
  CDirtyList dirty;
  std::string text;
};

TEST_F(RenderTest, GoldenCoverageAtEachAntiAliasFactor) {
  const char* names[] = {"aa1", "aa2", "aa3", "aa4"};
  for (int level = 0; level < 4; ++level) {
    Reset();
    Lay("｛かん／漢｝字Ab。");
    Fill(0);
    window->Draw(screen.get(), level, 0);
    ExpectGolden(Crop(screen->GetPixels(), 640, 30, 348, 120, 40), names[level]);
    // Everything drawn is marked drawn; another call changes nothing.
    for (int i = 0; i < window->count; ++i) EXPECT_EQ(window->records[i].state, 0);
    Fill(0);
    window->Draw(screen.get(), level, 0);
    EXPECT_EQ(At(40, 370), 0);
  }
  // The shadow darkens the background below and right of the ink.
  Reset();
  Lay("漢字");
  Fill(0x8410);
  window->Draw(screen.get(), 1, 1);
  ExpectGolden(Crop(screen->GetPixels(), 640, 30, 360, 56, 30), "shadow");
}

TEST_F(RenderTest, ColoursShadowClippingAndLargeCells) {
  // Record colours are 0x00BBGGRR.
  struct Case {
    uint32_t colour;
    uint16_t pixel;
  } cases[] = {{0x0000FF, 0xF800}, {0x00FF00, 0x07E0}, {0xFF0000, 0x001F}, {0xCCCCCC, 0xCE79}};
  for (const Case& c : cases) {
    Reset();
    window->colour = c.colour;
    Lay("■");
    Fill(0);
    window->Draw(screen.get(), 0, 1);
    EXPECT_EQ(At(34 + 11, 364 + 11), c.pixel) << std::hex << c.colour;
  }
  // Ink at (x, y) without ink at (x + 1, y + 1) leaves a black shadow there.
  Reset();
  Lay("■");
  Fill(0xFFFF);
  window->Draw(screen.get(), 0, 1);
  int shadows = 0;
  for (int y = 360; y < 392; ++y)
    for (int x = 30; x < 62; ++x) shadows += At(x, y) == 0;
  EXPECT_GT(shadows, 20);
  // Cells past the screen's edges and cells larger than the DIB allows at
  // the chosen factor are clipped and scaled down, never overrun.
  Reset();
  window->SetInstantMode(1);
  TextCharRecord recs[4] = {};
  const int16_t where[4][2] = {{630, 470}, {-10, -12}, {600, -5}, {100, 100}};
  const uint32_t sizes[4] = {22, 30, 100, 300};
  for (int i = 0; i < 4; ++i) {
    recs[i] = TextCharRecord{1, 1, Code("■"), sizes[i], 0xFFFFFF, where[i][0], where[i][1], 0, 0};
  }
  Fill(0);
  window->DrawChars(screen.get(), recs, 4, 4, 1);
  EXPECT_EQ(At(635, 475), 0xFFFF);
  EXPECT_EQ(At(5, 5), 0xFFFF);
  EXPECT_EQ(At(300, 300), 0xFFFF);
  // A 100-pixel cell at factor 4 is drawn as at factor 2, the most that fits.
  std::vector<uint16_t> four(screen->GetPixels(), screen->GetPixels() + 640 * 480);
  recs[2].state = 1;
  Fill(0);
  window->DrawChars(screen.get(), recs + 2, 1, 2, 1);
  recs[2].state = 1;
  std::vector<uint16_t> two(screen->GetPixels(), screen->GetPixels() + 640 * 480);
  for (int y = 0; y < 100; ++y)
    for (int x = 600; x < 640; ++x) ASSERT_EQ(four[size_t(y) * 640 + x], two[size_t(y) * 640 + x]) << x << "," << y;
}

TEST_F(RenderTest, BacklogViewKeepsTheNamePlateColour) {
  for (int w : {640, 320}) {
    UseScreen(w, w * 3 / 4);
    Reset();
    // A name laid out on the plate, as the message window does, then a line.
    window->colour = 0x00FF00;
    window->SetPosition(100, 12);
    Lay("名");
    window->colour = 0x0000FF;
    window->SetPosition(38, 76);
    Lay("本文");
    ASSERT_EQ(window->count, 3);
    EXPECT_EQ(window->records[0].top, window->NamePlateTop());
    EXPECT_EQ(window->NamePlateTop(), w == 640 ? 313 : 156);
    window->backlog.Push("", window->records, kTextPageBytes, uint32_t(window->count));
    window->ClearText();
    window->backlogView = 1;
    window->backlogPage = 0;
    Fill(0);
    window->Draw(screen.get(), 0, 0);
    const TextCharRecord* page = static_cast<const TextCharRecord*>(window->backlog.GetData(0, nullptr));
    EXPECT_EQ(page[0].colour, 0x00FF00u) << w;
    EXPECT_EQ(page[1].colour, 0xCCCCCCu) << w;
    EXPECT_EQ(page[2].colour, 0xCCCCCCu) << w;
    // Drawn: the name in green, the rest grey.
    bool green = false, grey = false;
    for (int y = 0; y < int(screen->GetHeight()); ++y)
      for (int x = 0; x < int(screen->GetWidth()); ++x) {
        green |= At(x, y) == 0x07E0;
        grey |= At(x, y) == 0xCE79;
      }
    EXPECT_TRUE(green && grey) << w;
    // A page pushed with a count larger than its records stays in bounds.
    window->backlog.Push("", window->records, 48, 160);
    window->SetInstantMode(1);
    window->FlagCharsInRect(&dirty);
    window->Draw(screen.get(), 3, 1);
  }
}

TEST_F(RenderTest, WholeStringsIntoPictures) {
  CPicture pic;
  ASSERT_EQ(CPicture::CreateBlank(&pic, 120, 40, 0, 1), 1);
  ASSERT_NE(pic.alpha, nullptr);
  std::memset(pic.alpha, 0, 120 * 40);
  const std::string s = Sjis("■Ab");
  window->DrawString(&pic, s.c_str(), 30, 0, 0xFF0000, 0, 0, 2, 1);
  // Colour 0x00RRGGBB; full coverage sets the alpha to 255.
  const int g = 24;  // 30 canvas units
  EXPECT_EQ(pic.GetPixels()[12 * 120 + 12], 0xF800);
  EXPECT_EQ(pic.alpha[12 * 120 + 12], 255);
  // The shadow pass leaves black at the lower right of the square.
  int black = 0, partial = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < g + 2; ++x) {
      if (pic.alpha[y * 120 + x] > 0 && pic.GetPixels()[y * 120 + x] == 0) ++black;
      if (pic.alpha[y * 120 + x] > 0 && pic.alpha[y * 120 + x] < 255) ++partial;
    }
  EXPECT_GT(black, 10);
  // Single-byte characters advance half a cell: "A" starts at g.
  int firstA = 120;
  for (int y = 0; y < 40; ++y)
    for (int x = g + 2; x < 120; ++x)
      if (pic.alpha[y * 120 + x]) firstA = std::min(firstA, x);
  EXPECT_GE(firstA, g);
  EXPECT_LT(firstA, g + g / 2);
  // Strings running past the picture are clipped; a bolder weight inks more.
  CPicture a, b;
  CPicture::CreateBlank(&a, 60, 20, 0, 1);
  CPicture::CreateBlank(&b, 60, 20, 0, 1);
  std::memset(a.alpha, 0, 60 * 20);
  std::memset(b.alpha, 0, 60 * 20);
  const std::string long_text = Sjis("漢字漢字漢字漢字");
  window->DrawStringAltFont(&a, long_text.c_str(), 24, 2, 0xFFFFFF, 10, 5, 1, 1, 2);
  window->DrawStringAltFont(&b, long_text.c_str(), 24, 2, 0xFFFFFF, 10, 5, 1, 1, 4);
  auto ink = [](const CPicture& p) {
    int n = 0;
    for (size_t i = 0; i < size_t(p.width) * p.height; ++i) n += p.alpha[i];
    return n;
  };
  EXPECT_GT(ink(a), 0);
  EXPECT_GT(ink(b), ink(a));
  window->DrawString(&a, long_text.c_str(), 24, 0, 0xFFFFFF, -30, -10, 4, 1);
  pic.FreePixels();
  a.FreePixels();
  b.FreePixels();
}

TEST_F(RenderTest, MessageFontFaceWeightAndRefusals) {
  std::string longName(128, 'x');
  EXPECT_EQ(SetMessageFontFace(longName.c_str()), 128);
  const std::string gothic = Sjis("ＭＳ ゴシック");
  EXPECT_STREQ(GetMessageFontFace(), gothic.c_str());
  const std::string proportional = Sjis("IPA Pゴシック");
  EXPECT_EQ(SetMessageFontFace(proportional.c_str()), 0);
  EXPECT_STREQ(GetMessageFontFace(), proportional.c_str());
  EXPECT_EQ(SetMessageFontFace(gothic.c_str()), 0);
  EXPECT_EQ(CreateMessageFont(24, 9), 1);
  EXPECT_EQ(GetMessageFontWeightIndex(), 4);
  EXPECT_EQ(CreateMessageFont(24, -1), 1);
  EXPECT_EQ(GetMessageFontWeightIndex(), 0);
  CreateMessageFont(24, 4);
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override { UseScreen(640, 480); }
  // Landscape pixels set in a portrait buffer (W rows of H).
  static std::vector<std::pair<int, int>> Set(const std::vector<uint16_t>& buf, uint16_t colour) {
    std::vector<std::pair<int, int>> out;
    for (int lx = 0; lx < 640; ++lx)
      for (int ly = 0; ly < 480; ++ly)
        if (buf[size_t(ly) + size_t(639 - lx) * 480] == colour) out.push_back({lx, ly});
    return out;
  }
};

TEST_F(WriterTest, RotatedSolidTextClippedAndClamped) {
  CGlyphWriter writer;
  EXPECT_EQ(writer.fontSize, 12);
  std::vector<uint16_t> buf(640 * 480, 0);
  const std::string ab = Sjis("A漢b");
  writer.DrawSjisText(buf.data(), ab.c_str(), 100, 50, 200, 13);
  const uint16_t grey = PackRgb565(200, 200, 200);
  auto set = Set(buf, grey);
  ASSERT_FALSE(set.empty());
  // "A" in [100, 106), "漢" in [106, 119), "b" in [119, 125); rows [50, 63).
  bool inA = false, inKan = false, inB = false;
  for (auto [x, y] : set) {
    ASSERT_TRUE(x >= 100 && x < 125 && y >= 50 && y < 63) << x << "," << y;
    inA |= x < 106;
    inKan |= x >= 106 && x < 119;
    inB |= x >= 119;
  }
  EXPECT_TRUE(inA && inKan && inB);
  // The same text straight into a frame buffer of the same layout.
  std::vector<uint16_t> fb(640 * 480, 0);
  SetFrameBufferPointer(reinterpret_cast<uint8_t*>(fb.data()));
  writer.frameBuffer = RawFrameBufferDesc{480, 640, 2, 960, 16, 1};
  writer.DrawSjisText(nullptr, ab.c_str(), 100, 50, 200, 0);
  EXPECT_EQ(fb, buf);
  SetFrameBufferPointer(nullptr);
  // Past the corners and larger than the DIB: clipped, size held at 32.
  std::fill(buf.begin(), buf.end(), 0);
  const std::string big = Sjis("漢漢漢");
  writer.DrawSjisText(buf.data(), big.c_str(), 620, 460, 255, 40);
  EXPECT_EQ(writer.fontSize, 32);
  writer.DrawSjisText(buf.data(), big.c_str(), -20, -20, 255, 0);
  set = Set(buf, 0xFFFF);
  EXPECT_FALSE(set.empty());
  for (auto [x, y] : set) EXPECT_TRUE((x >= 620 && y >= 460) || (x < 12 + 32 * 2 && y < 12)) << x << "," << y;
  writer.DrawSjisText(buf.data(), "", 0, 0, 255, 0);
  writer.DrawSjisText(buf.data(), nullptr, 0, 0, 255, 0);
}

TEST(FontListTest, PreferredFirstThenTheRest) {
  struct Case {
    std::vector<const char*> preferred;
    std::vector<const char*> listed;
  } cases[] = {
      {{}, {"IPAゴシック", "IPA Pゴシック"}},
      {{"IPAゴシック"}, {"IPAゴシック", "IPA Pゴシック"}},
      {{"ＭＳ 明朝", "ipaゴシック", ""}, {"IPAゴシック", "IPA Pゴシック"}},
  };
  for (const Case& c : cases) {
    FontList list;
    std::vector<std::string> keep;
    for (const char* p : c.preferred) keep.push_back(Sjis(p));
    for (const std::string& p : keep) list.AddPreferred(p.c_str());
    list.Build();
    ASSERT_EQ(list.Count(), int(c.listed.size()));
    char name[128];
    for (size_t i = 0; i < c.listed.size(); ++i) {
      list.GetName(int(i), name);
      EXPECT_EQ(std::string(name), Sjis(c.listed[i])) << i;
      EXPECT_EQ(list.FindName(name), int(i));
    }
    for (int bad : {-1, -1000, list.Count(), 99}) {
      std::strcpy(name, "junk");
      list.GetName(bad, name);
      EXPECT_STREQ(name, "") << bad;
    }
    EXPECT_EQ(list.FindName(Sjis("ＭＳ 明朝").c_str()), 0);
    EXPECT_EQ(list.FindName(""), 0);
  }
  // Vertical and non-TrueType families are passed over; 15 names at most;
  // a list left empty offers the gothic alone.
  FontList list;
  list.pass = 1;
  LOGFONTW lf{};
  auto feed = [&](const char16_t* face, DWORD type) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
    EXPECT_EQ(FontList::EnumCallback(&lf, nullptr, type, LPARAM(&list)), 1);
  };
  feed(u"@IPAGothic", TRUETYPE_FONTTYPE);
  feed(u"$Odd", TRUETYPE_FONTTYPE);
  feed(u"Raster", RASTER_FONTTYPE);
  EXPECT_EQ(list.Count(), 0);
  for (int i = 0; i < 20; ++i) {
    std::u16string face = u"Face" + std::u16string(1, char16_t(u'A' + i));
    feed(face.c_str(), TRUETYPE_FONTTYPE);
  }
  feed(u"FaceA", TRUETYPE_FONTTYPE);
  EXPECT_EQ(list.Count(), 15);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
