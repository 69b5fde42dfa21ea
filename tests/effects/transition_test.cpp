// Screen transitions on small pixel tables: the soft wipe's 6-bit blend,
// the tile grid, its timing and its mask frames, and rule pictures that do
// not fit.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <string>
#include <vector>

#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/core/polar.h"
#include "player/media/transition.h"
#include "tests/player/rbp_builder.h"

namespace {

constexpr uint16_t kOld = 0x0000, kNew = 0xFFFF;

class TransitionTest : public testing::Test {
 protected:
  void SetUp() override {
    VelmiClockUseFake(10000);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
  }
  void TearDown() override { VelmiClockUseReal(); }

  // A pack holding the rule picture: a w x h type-32 picture whose alpha is
  // given per pixel.
  std::string RulePack(int w, int h, const std::vector<uint8_t>& alpha, const char* type = nullptr) {
    const std::string dir = MakeTempDir("transition");
    const std::string path = dir + "/grp.mlz";
    Bytes picture =
        type ? MakeRbpRaw(type, 30, w, h, Bytes(64, 0), 64, 0, 800, 600) : MakeRbpJbp1Flat(w, h, 0, &alpha, 800, 600);
    EXPECT_TRUE(WritePack(path, {{"AdvData\\grp\\SYSTEM\\eff.rbp", picture}}, true));
    return path;
  }
};

TEST_F(TransitionTest, SoftWipeBlendsInSixtyFourSteps) {
  // 8 x 1 screen, horizontal mask 0, 32, ..., 224; duration 1,000 ms.
  struct Case {
    DWORD elapsed;
    int result;
    uint16_t expect[8];
  } cases[] = {
      {0, 1, {kOld, kOld, kOld, kOld, kOld, kOld, kOld, kOld}},
      {100, 1, {0x2965, 0x0861, kOld, kOld, kOld, kOld, kOld, kOld}},
      {500, 1, {kNew, 0xDEFB, 0xBDF7, 0x9CF3, 0x7BEF, 0x5AEB, 0x39E7, 0x18E3}},
      {900, 1, {kNew, kNew, kNew, kNew, kNew, kNew, kNew, 0xE75C}},
      {1000, 0, {kNew, kNew, kNew, kNew, kNew, kNew, kNew, kNew}},
  };
  for (const Case& c : cases) {
    VelmiClockUseFake(10000);
    CTransition t(8, 1);
    ASSERT_EQ(t.MakeMask(1, 1000, TRANSITION_SOFT_WIPE), 1);
    ASSERT_EQ(t.Start(), 1);
    VelmiClockAdvance(c.elapsed);
    std::vector<uint16_t> dst(8, kNew), src(8, kOld);
    EXPECT_EQ(t.Apply(dst.data(), src.data()), c.result) << c.elapsed;
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst[x], c.expect[x]) << c.elapsed << " ms, x " << x;
  }
}

TEST_F(TransitionTest, MaskKinds) {
  CTransition diagonal(8, 4), unknown(8, 1), horizontal(8, 1);
  ASSERT_EQ(diagonal.MakeMask(2, 500, 1), 1);
  const uint8_t expect[32] = {0,  16, 32, 48,  64,  80,  96,  112, 32, 48,  64,  80,  96,  112, 128, 144,
                              64, 80, 96, 112, 128, 144, 160, 176, 96, 112, 128, 144, 160, 176, 192, 208};
  for (int i = 0; i < 32; ++i) EXPECT_EQ(diagonal.Mask()[i], expect[i]) << i;
  // Any other kind gives the left-to-right wipe.
  ASSERT_EQ(unknown.MakeMask(7, 500, 1), 1);
  ASSERT_EQ(horizontal.MakeMask(1, 500, 1), 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(unknown.Mask()[i], horizontal.Mask()[i]);
  // Without a mask nothing starts and nothing is drawn.
  CTransition empty(8, 1);
  EXPECT_EQ(empty.Start(), 0);
  uint16_t d[8] = {}, s[8] = {};
  EXPECT_EQ(empty.Apply(d, s), 0);
}

TEST_F(TransitionTest, TileGridOfAFullScreen) {
  const std::string pack = RulePack(640, 480, std::vector<uint8_t>(640 * 480, 255));
  PackReader reader;
  CTransition t(640, 480);
  ASSERT_EQ(LoadRule(&t, 2, TRANSITION_RULE_PICTURE, pack.c_str(), &reader, 2000), 1);
  EXPECT_EQ(t.Mode(), 12);
  EXPECT_EQ(t.Columns(), 26);
  EXPECT_EQ(t.Rows(), 20);
  EXPECT_EQ(t.Tile(25).width, 15);  // 640 = 25 x 25 + 15
  EXPECT_EQ(t.Tile(0).height, 25);
  EXPECT_EQ(t.Tile(26 * 19).height, 5);  // 480 = 19 x 25 + 5
  // Kind 2 runs twice its duration; the top-left tile starts at once, the
  // bottom-right one last.
  EXPECT_EQ(t.ExtraMs(), 2000);
  EXPECT_EQ(t.Tile(0).delay, 0);
  EXPECT_EQ(t.Tile(26 * 20 - 1).delay, (25 + 19) * 2000 / 46);
  std::vector<uint16_t> dst(640 * 480, kNew), src(640 * 480, kOld);
  ASSERT_EQ(t.Start(), 1);
  VelmiClockAdvance(3999);
  EXPECT_EQ(t.Apply(dst.data(), src.data()), 1);
  VelmiClockAdvance(1);
  EXPECT_EQ(t.Apply(dst.data(), src.data()), 0);
}

TEST_F(TransitionTest, SeededTilesTakeTheirSpeedAndDirection) {
  struct Case {
    int kind;
    int column;  // of the tile looked at, in row 0
  } cases[] = {{1, 0}, {1, 1}, {2, 0}, {3, 0}, {5, 0}};
  const std::string pack = RulePack(100, 75, std::vector<uint8_t>(100 * 75, 255));
  for (const Case& c : cases) {
    // The tile's two draws follow 2 x column draws of the tiles before it.
    CeSrand(99);
    for (int i = 0; i < 2 * c.column; ++i) CeRand();
    const int speedDraw = CeRand(), directionDraw = CeRand();
    int speed = 8192, angle = directionDraw % 36000;
    if (c.kind == 1) {
      speed = (speedDraw % 64) * 32 + 6000;
      angle = c.column % 2 ? directionDraw % 6000 + 15000 : (directionDraw % 6000 + 33000) % 36000;
    } else if (c.kind == 2) {
      speed = (speedDraw % 64 + 128) * 16;
      angle = directionDraw % 6000 + 12000;
    } else if (c.kind == 3) {
      speed = (speedDraw % 64 + 128) * 64;
      angle = directionDraw % 12000 + 3000;
    }
    int dx, dy;
    PolarToPoint(angle, speed, &dx, &dy);
    CeSrand(99);
    PackReader reader;
    CTransition t(100, 75);
    ASSERT_EQ(LoadRule(&t, c.kind, TRANSITION_RULE_PICTURE, pack.c_str(), &reader, 1000), 1);
    EXPECT_EQ(t.Tile(c.column).dx, dx) << "kind " << c.kind;
    EXPECT_EQ(t.Tile(c.column).dy, dy) << "kind " << c.kind;
  }
}

TEST_F(TransitionTest, TilesDissolveThroughTheMaskFrames) {
  // 100 x 75 screen: tiles of 4 x 4.  Mask frames 0..11 (columns 0..47) keep
  // every pixel of the old screen, frames 12..24 none.
  std::vector<uint8_t> alpha(100 * 75, 0);
  for (int y = 0; y < 75; ++y)
    for (int x = 0; x < 48; ++x) alpha[y * 100 + x] = 255;
  const std::string pack = RulePack(100, 75, alpha);
  PackReader reader;
  CTransition t(100, 75);
  ASSERT_EQ(LoadRule(&t, 4, TRANSITION_RULE_PICTURE, pack.c_str(), &reader, 1000), 1);
  ASSERT_EQ(t.Columns(), 25);
  ASSERT_EQ(t.Rows(), 19);
  std::vector<uint16_t> src(100 * 75);
  for (int i = 0; i < 100 * 75; ++i) src[i] = static_cast<uint16_t>(i + 1);
  ASSERT_EQ(t.Start(), 1);
  auto step = [&](DWORD advance) {
    VelmiClockAdvance(advance);
    std::vector<uint16_t> dst(100 * 75, 0);
    EXPECT_EQ(t.Apply(dst.data(), src.data()), 1);
    return dst;
  };
  // Age 0: every tile is copied whole at its place after one step.
  std::vector<uint16_t> dst = step(0);
  const TransitionTile& last = t.Tile(25 * 19 - 1);
  const int lx = last.x >> 10, ly = last.y >> 10;
  for (int y = 0; y < last.height; ++y)
    for (int x = 0; x < last.width; ++x)
      if (lx + x >= 0 && lx + x < 100 && ly + y >= 0 && ly + y < 75) {
        EXPECT_EQ(dst[(ly + y) * 100 + lx + x], src[(last.sourceY + y) * 100 + last.sourceX + x]);
      }
  // Frame 10 of 25 (400 ms): still copied, one step further on.
  dst = step(400);
  EXPECT_EQ(last.x >> 10, (last.sourceX * 1024 + 2 * last.dx) >> 10);
  bool anyOld = false;
  for (uint16_t v : dst) anyOld |= v != 0;
  EXPECT_TRUE(anyOld);
  // Frame 12 (480 ms): the mask frame is empty, only the new scene shows.
  dst = step(80);
  for (uint16_t v : dst) ASSERT_EQ(v, 0);
}

TEST_F(TransitionTest, RulePicturesThatDoNotFitAreRefused) {
  PackReader reader;
  CTransition t(100, 75);
  const std::string fits = RulePack(100, 75, std::vector<uint8_t>(100 * 75, 1));
  struct Case {
    const char* name;
    std::string pack;
    const char* entry;
    bool withReader;
  } cases[] = {
      {"no reader", fits, TRANSITION_RULE_PICTURE, false},
      {"missing entry", fits, "AdvData\\grp\\SYSTEM\\none", true},
      {"other size", RulePack(80, 75, std::vector<uint8_t>(80 * 75, 1)), TRANSITION_RULE_PICTURE, true},
      {"type 30", RulePack(100, 75, {}, "RBP7"), TRANSITION_RULE_PICTURE, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadRule(&t, 1, c.entry, c.pack.c_str(), c.withReader ? &reader : nullptr, 1000), 0) << c.name;
    EXPECT_EQ(t.Start(), 0) << c.name;
  }
  // An alpha plane whose stated length runs past the entry.
  const std::vector<uint8_t> plane(100 * 75, 1);
  Bytes good = MakeRbpJbp1Flat(100, 75, 0, &plane, 800, 600);
  Bytes bad = good;
  bad[32] = 0xFF;
  bad[33] = 0xFF;
  const std::string dir = MakeTempDir("transition_bad");
  ASSERT_TRUE(WritePack(dir + "/bad.mlz", {{"AdvData\\grp\\SYSTEM\\eff.rbp", bad}}, false));
  EXPECT_EQ(LoadRule(&t, 1, TRANSITION_RULE_PICTURE, (dir + "/bad.mlz").c_str(), &reader, 1000), 0);
  // The extension of the name is replaced.
  EXPECT_EQ(LoadRule(&t, 1, "AdvData\\grp\\SYSTEM\\eff.ZEV", fits.c_str(), &reader, 1000), 1);
}

}  // namespace
