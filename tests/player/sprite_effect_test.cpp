// Sprite effects: the code table, each family's pieces at chosen clock times,
// the ends of effects in the frame step, and screenshots of a few families.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/blit.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/core/sprite_effects.h"
#include "tests/player/rbp_builder.h"

namespace {

void UseScreen(int w, int h, int canvasW, int canvasH, PlayerBuild build) {
  SetPlayerBuild(build);
  SetCanvasWidth(canvasW);
  SetCanvasHeight(canvasH);
  SetScreenWidth(w);
  SetScreenHeight(h);
}

class EffectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Canvas and screen of one size: canvas values are screen pixels.
    UseScreen(640, 480, 640, 480, PlayerBuild::Ce42);
    VelmiClockUseFake(10000);
  }
  void TearDown() override { VelmiClockUseReal(); }
  // A 40 x 24 sprite at (100, 50).
  static void Small(CSprite* s) {
    s->InitSource(0, 0, 0, 40, 24);
    s->SetPosition(100, 50);
  }
};

bool InRange(int code, std::initializer_list<std::pair<int, int>> ranges) {
  for (auto [a, b] : ranges)
    if (code >= a && code <= b) return true;
  return false;
}

TEST_F(EffectTest, CodeTableMatchesTheFamiliesAndTheRemovingCodes) {
  const std::initializer_list<std::pair<int, int>> none = {{2, 4},     {7, 8},     {15, 15},   {28, 31},   {36, 39},
                                                           {42, 47},   {50, 50},   {52, 59},   {61, 62},   {64, 128},
                                                           {130, 132}, {135, 136}, {143, 143}, {156, 159}, {164, 167},
                                                           {170, 177}, {179, 190}, {0, 0},     {192, 400}, {-5, -1}};
  const std::initializer_list<std::pair<int, int>> removing = {{63, 63},   {129, 129}, {133, 134}, {137, 138},
                                                               {139, 142}, {144, 155}, {160, 163}, {168, 169},
                                                               {178, 178}, {191, 191}};
  for (int code = -5; code <= 400; ++code) {
    const SpriteEffectRule* rule = FindEffectRule(code);
    EXPECT_EQ(rule == nullptr, InRange(code, none)) << code;
    if (rule) {
      EXPECT_EQ(rule->code, code);
      EXPECT_EQ(rule->removing != 0, InRange(code, removing)) << code;
    }
  }
  // A code that starts nothing leaves the sprite as it was.
  CSprite s;
  Small(&s);
  EXPECT_EQ(s.StartEffect(2, 1000, 0, 0, 0), 0);
  EXPECT_FALSE(s.IsEffectActive());
  EXPECT_EQ(s.pieces, nullptr);
  EXPECT_EQ(s.effectStart, 10000u);
  EXPECT_EQ(s.Update(), 1);
  EXPECT_EQ(s.drawX, 100);
}

// One piece of one effect at one time; -1 fields are not checked.
struct PieceCase {
  int code, p1, p2, p3, at, piece;
  int drawX, drawY, l, t, r, b, level;
  int level2 = -1, aux = -1, blend = -1, spare = -1;
};

TEST_F(EffectTest, PiecesFollowTheFamilyFormulas) {
  const PieceCase cases[] = {
      // Fades.
      {1, 0, 0, 0, 250, 0, 100, 50, 0, 0, 40, 24, 64},
      {129, 0, 0, 0, 250, 0, 100, 50, 0, 0, 40, 24, 192},
      // Blinds of 8 over 3 bands (9 steps) and 5 column bands (10 steps).
      {5, 0, 0, 0, 500, 0, 100, 50, 0, 0, 40, 4, 256},
      {5, 0, 0, 0, 500, 2, 100, 66, 0, 16, 40, 19, 256},
      {9, 0, 0, 0, 500, 0, 100, 55, 0, 5, 40, 8, 256},
      {9, 0, 0, 0, 500, 2, 100, 70, 0, 20, 40, 24, 256},
      {133, 0, 0, 0, 500, 0, 100, 54, 0, 4, 40, 8, 256},
      {137, 0, 0, 0, 500, 2, 100, 66, 0, 16, 40, 20, 256},
      {6, 0, 0, 0, 500, 1, 108, 50, 8, 0, 13, 24, 256},
      {138, 0, 0, 0, 500, 0, 100, 50, 0, 0, 5, 24, 256},
      // Staggered: bands of p1, p2 bands a step apart, p3 + 1 lines a step.
      {11, 12, 1, 3, 500, 0, 100, 54, 0, 4, 40, 12, 256},
      {11, 12, 1, 3, 500, 1, 100, 70, 0, 20, 40, 24, 256},
      {12, 12, 1, 3, 500, 0, 100, 50, 0, 0, 40, 4, 256},
      {140, 12, 1, 3, 500, 1, 100, 70, 0, 20, 40, 24, 256},
      {140, 12, 1, 3, 500, 0, 100, 54, 0, 4, 40, 12, 256},
      {13, 16, 2, 1, 500, 2, 134, 50, 34, 0, 40, 24, 256},
      {14, 16, 2, 1, 500, 0, 100, 50, 0, 0, 6, 24, 256},
      // Fading strips and tiles.
      {16, 10, 0, 64, 500, 1, 110, 50, 10, 0, 20, 24, 128},
      {16, 10, 0, 64, 500, 3, 130, 50, 30, 0, 40, 24, 0},
      {145, 10, 0, 64, 500, 3, 130, 50, 30, 0, 40, 24, 64},
      {18, 8, 0, 128, 500, 1, 100, 58, 0, 8, 40, 16, 128},
      {147, 8, 0, 128, 500, 2, 100, 66, 0, 16, 40, 24, 0},
      {20, 8, 0, 256, 500, 6, 108, 58, 8, 8, 16, 16, 256},
      {20, 8, 0, 256, 500, 7, 116, 58, 16, 8, 24, 16, 0},
      {21, 8, 0, 256, 500, 14, 132, 66, 32, 16, 40, 24, 256},
      {22, 8, 0, 256, 500, 10, 100, 66, 0, 16, 8, 24, 256},
      {23, 8, 0, 256, 500, 4, 132, 50, 32, 0, 40, 8, 256},
      {23, 8, 0, 256, 500, 0, 100, 50, 0, 0, 8, 8, 0},
      {151, 8, 0, 256, 500, 4, 132, 50, 32, 0, 40, 8, 0},
      // All bands at once.
      {24, 0, 0, 0, 500, 1, 100, 58, 0, 8, 40, 12, 256},
      {25, 0, 0, 0, 500, 1, 100, 62, 0, 12, 40, 16, 256},
      {152, 0, 0, 0, 250, 0, 100, 52, 0, 2, 40, 8, 256},
      {155, 0, 0, 0, 250, 4, 132, 50, 32, 0, 38, 24, 256},
      // Slides over the sprite's own size.
      {32, 0, 0, 0, 250, 0, 70, 50, 0, 0, 40, 24, 256},
      {33, 0, 0, 0, 250, 0, 130, 50, 0, 0, 40, 24, 256},
      {34, 0, 0, 0, 250, 0, 100, 32, 0, 0, 40, 24, 256},
      {35, 0, 0, 0, 250, 0, 100, 68, 0, 0, 40, 24, 256},
      {160, 0, 0, 0, 500, 0, 120, 50, 0, 0, 40, 24, 256},
      {161, 0, 0, 0, 500, 0, 80, 50, 0, 0, 40, 24, 256},
      {163, 0, 0, 0, 500, 0, 100, 38, 0, 0, 40, 24, 256},
      // Wipes from alternate sides, placed from the screen origin.
      {40, 8, 0, 0, 250, 0, 0, 0, 0, 0, 10, 8, 256},
      {40, 8, 0, 0, 250, 1, 30, 8, 30, 8, 40, 16, 256},
      {168, 8, 0, 0, 250, 0, 0, 0, 0, 0, 30, 8, 256},
      {168, 8, 0, 0, 250, 1, 10, 8, 10, 8, 40, 16, 256},
      {41, 10, 0, 0, 250, 0, 0, 0, 0, 0, 10, 6, 256},
      {41, 10, 0, 0, 250, 1, 10, 18, 10, 18, 20, 24, 256},
      {169, 10, 0, 0, 250, 0, 0, 0, 0, 0, 10, 18, 256},
      {169, 10, 0, 0, 250, 1, 10, 6, 10, 6, 20, 24, 256},
      // Wave: amplitude 10 at half time, rows 90 degrees apart.
      {48, 20, 90, 0, 500, 0, 110, 50, 0, 0, 40, 1, 256},
      {48, 20, 90, 0, 500, 1, 100, 51, 0, 1, 40, 2, 256},
      {48, 20, 90, 0, 500, 2, 90, 52, 0, 2, 40, 3, 256},
      {49, 20, 1, 1, 500, 0, 90, 50, 0, 0, 40, 1, 128},  // phase 180: row 0 at cos 180
      // Mosaic, second picture, brightness ramps.
      {51, 16, 0, 0, 500, 0, 100, 50, 0, 0, 40, 24, 256, -1, -1, 99, 8},
      {60, 0, 0, 5, 250, 0, 100, 50, 0, 0, 40, 24, 64, -1, 5},
      {63, 0, 7, 0, 250, 0, 100, 50, 0, 0, 40, 24, 256, 64, -1, -1, 7},
      {63, 0, 7, 1, 250, 0, 100, 50, 0, 0, 40, 24, 256, 448},
      {191, 0, 0, 0, 250, 0, 100, 50, 0, 0, 40, 24, 256, 192},
      {191, 0, 0, 1, 250, 0, 100, 50, 0, 0, 40, 24, 256, 320},
  };
  for (const PieceCase& c : cases) {
    std::string tag = "code " + std::to_string(c.code) + " piece " + std::to_string(c.piece);
    VelmiClockUseFake(10000);
    CSprite s;
    Small(&s);
    ASSERT_EQ(s.StartEffect(c.code, 1000, c.p1, c.p2, c.p3), 1) << tag;
    VelmiClockAdvance(DWORD(c.at));
    ASSERT_EQ(s.Update(), 1) << tag;
    ASSERT_TRUE(s.IsEffectActive()) << tag;
    ASSERT_LT(c.piece, s.effectColumns * s.effectRows) << tag;
    const SpriteDrawItem& p = s.pieces[c.piece];
    EXPECT_EQ(p.drawX, c.drawX) << tag;
    EXPECT_EQ(p.drawY, c.drawY) << tag;
    EXPECT_EQ(p.srcLeft, c.l) << tag;
    EXPECT_EQ(p.srcTop, c.t) << tag;
    EXPECT_EQ(p.srcRight, c.r) << tag;
    EXPECT_EQ(p.srcBottom, c.b) << tag;
    EXPECT_EQ(p.level, c.level) << tag;
    if (c.level2 >= 0) {
      EXPECT_EQ(p.level2, c.level2) << tag;
    }
    if (c.aux >= 0) {
      EXPECT_EQ(p.auxSlot, c.aux) << tag;
    }
    if (c.blend >= 0) {
      EXPECT_EQ(p.blend, c.blend) << tag;
    }
    if (c.spare >= 0) {
      EXPECT_EQ(p.spare, c.spare) << tag;
    }
    EXPECT_EQ(p.slot, 0) << tag;
    EXPECT_EQ(p.zoomX, 1000) << tag;
  }
}

TEST_F(EffectTest, GridSizesAndSteps) {
  // Blinds on a 100-line sprite: 13 bands, the last 4 lines, 14 steps.
  CSprite s;
  s.InitSource(0, 0, 0, 40, 100);
  ASSERT_EQ(s.StartEffect(5, 1400, 0, 0, 0), 1);
  EXPECT_EQ(s.effectRows, 13);
  EXPECT_EQ(s.effectColumns, 1);
  VelmiClockAdvance(100);  // step 1: band 0 one line, band 2 none yet
  s.Update();
  EXPECT_EQ(s.effectSteps, 14);
  EXPECT_EQ(s.pieces[12].srcTop, 96);
  EXPECT_EQ(s.pieces[0].srcBottom - s.pieces[0].srcTop, 1);
  EXPECT_EQ(s.pieces[2].srcBottom - s.pieces[2].srcTop, 0);
  VelmiClockAdvance(900);  // step 10: the last band shows its 4 lines, band 11 five
  s.Update();
  EXPECT_EQ(s.pieces[12].srcBottom - s.pieces[12].srcTop, 4);
  EXPECT_EQ(s.pieces[11].srcBottom - s.pieces[11].srcTop, 5);
  EXPECT_EQ(s.pieces[0].srcBottom - s.pieces[0].srcTop, 8);
  // Grids of the other families.
  const struct {
    int code, p1, columns, rows;
  } grids[] = {{6, 0, 5, 1},   {13, 16, 3, 1},  {16, 10, 4, 1}, {20, 8, 5, 13}, {40, 8, 1, 12},
               {41, 10, 4, 1}, {48, 0, 1, 100}, {178, 0, 8, 8}, {32, 0, 1, 1},  {40, 500, 1, 1}};
  for (auto& g : grids) {
    CSprite t;
    t.InitSource(0, 0, 0, 40, 100);
    ASSERT_EQ(t.StartEffect(g.code, 100, g.p1, 1, 1), 1) << g.code;
    EXPECT_EQ(t.effectColumns, g.columns) << g.code;
    EXPECT_EQ(t.effectRows, g.rows) << g.code;
  }
}

// Sizes, steps and durations of 0 (also when the small screen scales a size
// to 0) never divide by zero: the effect runs or ends at once.
TEST_F(EffectTest, ZeroSizesAndDurations) {
  for (PlayerBuild build : {PlayerBuild::Ce42, PlayerBuild::Ce30}) {
    if (build == PlayerBuild::Ce30)
      UseScreen(320, 240, 800, 600, build);
    else
      UseScreen(640, 480, 800, 600, build);
    for (int code = 1; code < 192; ++code) {
      if (!FindEffectRule(code)) continue;
      for (int duration : {0, 1000}) {
        for (int p : {0, 1}) {
          VelmiClockUseFake(5000);
          CSprite s;
          s.InitSource(0, 0, 0, 50, 30);
          ASSERT_EQ(s.StartEffect(code, duration, p, p, p), 1) << code;
          VelmiClockAdvance(DWORD(duration / 3));
          int r = s.Update();
          if (duration == 0) {
            EXPECT_FALSE(s.IsEffectActive()) << code;
            EXPECT_EQ(s.pieces, nullptr) << code;
            EXPECT_EQ(r == 0, FindEffectRule(code)->removing != 0) << code;
          } else {
            EXPECT_TRUE(s.IsEffectActive()) << code;
          }
        }
      }
    }
  }
}

TEST_F(EffectTest, RestartEndAndRemovingEnds) {
  // A slide ended early puts the sprite back at once.
  CSprite s;
  Small(&s);
  s.StartEffect(32, 1000, 0, 0, 0);
  VelmiClockAdvance(300);
  s.Update();
  EXPECT_EQ(s.pieces[0].drawX, 72);
  EXPECT_EQ(s.EndEffect(), 1);
  EXPECT_EQ(s.EndEffect(), 0);
  EXPECT_EQ(s.x, 100000);
  EXPECT_EQ(s.finished, 0u);
  EXPECT_EQ(s.Update(), 1);
  EXPECT_EQ(s.drawX, 100);
  // A removing effect given way to by another: the grid and the position go
  // back, and the sprite lives on.
  CSprite r;
  Small(&r);
  r.StartEffect(160, 1000, 0, 0, 0);
  VelmiClockAdvance(500);
  r.Update();
  r.x = 5000;  // somebody moves it during the effect
  ASSERT_EQ(r.StartEffect(5, 1000, 0, 0, 0), 1);
  EXPECT_EQ(r.x, 100000);
  EXPECT_EQ(r.effectRemoveAtEnd, 0u);
  EXPECT_EQ(r.finished, 0u);
  EXPECT_EQ(r.effectRows, 3);
  // Ending a removing effect by hand marks the sprite finished; code 1 ends opaque.
  CSprite f;
  Small(&f);
  f.StartEffect(129, 1000, 0, 0, 0);
  f.EndEffect();
  EXPECT_EQ(f.finished, 1u);
  CSprite g;
  Small(&g);
  g.level = 0;
  g.StartEffect(1, 1000, 0, 0, 0);
  g.EndEffect();
  EXPECT_EQ(g.level, 256);
}

class EffectFrameTest : public EffectTest {
 protected:
  void SetUp() override {
    EffectTest::SetUp();
    VelmiDeviceReset();
    SetPlayerBuild(PlayerBuild::Ce50);
    app = new CGameApp;
    app->dirty->SetSize(640, 480);
    app->pictures[0] = new CPicture;
    CPicture::CreateBlank(app->pictures[0], 640, 480, 0, 2);
    // Pattern: red grows to the right, green downward, blue on a checker.
    uint16_t* px = app->pictures[0]->GetPixels();
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x)
        px[y * 640 + x] = PackRgb565(x * 255 / 639, y * 255 / 479, ((x / 40 + y / 30) & 1) ? 0xF8 : 0);
  }
  void TearDown() override {
    delete app;
    EffectTest::TearDown();
  }
  CSprite* FullScreen(int slot) {
    CSprite* s = new CSprite;
    s->InitSource(0, 0, 0, 640, 480);
    s->SetPosition(0, 0);
    s->SetPriority(10);
    app->sprites[slot] = s;
    return s;
  }
  // One frame step's composition; returns the dirty rectangles it drew.
  std::vector<RECT> Frame() {
    app->ResetDrawBuckets();
    app->FillDrawBuckets();
    app->RemoveFinishedSprites();
    app->InvalidateChangedSprites();
    std::vector<RECT> drawn;
    for (int i = 0; i < app->dirty->Count(); ++i) {
      RECT r;
      if (app->dirty->GetRect(i, &r)) drawn.push_back(r);
    }
    ComposeFrame(app, app->DrawChainHead());
    app->dirty->Clear();
    return drawn;
  }
  uint16_t At(int x, int y) const { return app->screen->GetPixels()[y * 640 + x]; }
  uint16_t Picture(int x, int y) const { return app->pictures[0]->GetPixels()[y * 640 + x]; }
  CGameApp* app = nullptr;
};

TEST_F(EffectFrameTest, FadeOutDeletesTheSpriteInTheFrameItEnds) {
  CSprite* s = FullScreen(7);
  Frame();
  s->StartEffect(129, 1000, 0, 0, 0);
  int last = 257;
  for (int t = 0; t < 9; ++t) {
    VelmiClockAdvance(100);
    std::vector<RECT> drawn = Frame();
    ASSERT_NE(app->sprites[7], nullptr) << t;
    int level = s->pieces[0].level;
    EXPECT_LT(level, last);
    last = level;
    ASSERT_FALSE(drawn.empty());  // redrawn every frame of the effect
  }
  EXPECT_EQ(last, 256 - 256 * 900 / 1000);
  VelmiClockAdvance(100);
  std::vector<RECT> drawn = Frame();
  EXPECT_EQ(app->sprites[7], nullptr);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].right, 640);
  EXPECT_EQ(At(320, 240), 0);  // cleared, nothing left over
}

TEST_F(EffectFrameTest, MovedPiecesLeaveNothingBehind) {
  // A small sprite sliding out to the right: each frame redraws where its
  // piece was, and the frame that deletes it clears its last place.
  CSprite* s = new CSprite;
  s->InitSource(0, 0, 0, 40, 24);
  s->SetPosition(100, 50);
  app->sprites[3] = s;
  Frame();
  s->StartEffect(160, 100, 0, 0, 0);
  VelmiClockAdvance(50);
  Frame();
  EXPECT_EQ(At(121, 50), Picture(1, 0));
  VelmiClockAdvance(40);
  std::vector<RECT> drawn = Frame();
  ASSERT_FALSE(drawn.empty());
  EXPECT_LE(drawn[0].left, 120);  // the last frame's piece at 120
  EXPECT_EQ(At(121, 50), 0);
  EXPECT_EQ(At(136, 50), Picture(0, 0));
  VelmiClockAdvance(10);
  drawn = Frame();
  EXPECT_EQ(app->sprites[3], nullptr);
  ASSERT_FALSE(drawn.empty());
  EXPECT_GE(drawn[0].right, 140 + 36);
  for (int x = 90; x < 200; ++x) ASSERT_EQ(At(x, 60), 0) << x;
}

TEST_F(EffectFrameTest, DissolveCoversTheWholeScreen) {
  CeSrand(77);
  CSprite* s = FullScreen(2);
  Frame();
  s->StartEffect(178, 1000, 0, 0, 0);
  VelmiClockAdvance(500);
  Frame();
  int taken = 0;
  for (uint32_t w : s->tileWords) taken += w != 0;
  EXPECT_EQ(taken, 32);
  // Tiles of 80 x 60: a taken tile shows nothing, the others the picture.
  int seenTaken = 0, seenShown = 0;
  for (int k = 0; k < 64; ++k) {
    int x = (k % 8) * 80 + 79, y = (k / 8) * 60 + 59;
    EXPECT_EQ(s->pieces[k].drawX, (k % 8) * 80);
    if (s->tileWords[k]) {
      EXPECT_EQ(At(x, y), 0) << k;
      ++seenTaken;
    } else {
      EXPECT_EQ(At(x, y), Picture(x, y)) << k;
      ++seenShown;
    }
  }
  EXPECT_EQ(seenTaken, 32);
  EXPECT_EQ(seenShown, 32);
  VelmiClockAdvance(499);
  Frame();
  taken = 0;
  for (uint32_t w : s->tileWords) taken += w != 0;
  EXPECT_EQ(taken, 63);
  VelmiClockAdvance(1);
  Frame();
  EXPECT_EQ(app->sprites[2], nullptr);
}

// Screenshots through the headless device, against stored images. Set
// VELMI_UPDATE_GOLDEN=1 to write them anew.
TEST_F(EffectFrameTest, GoldenScreenshots) {
  const struct {
    const char* name;
    int code, p1, p2, p3, at;
  } shots[] = {
      {"effect_fade_in", 1, 0, 0, 0, 375},
      {"effect_blinds", 5, 0, 0, 0, 400},
      {"effect_blinds_columns_out", 138, 0, 0, 0, 300},
      {"effect_slide_in", 34, 0, 0, 0, 250},
  };
  const std::string goldenDir = std::string(VELMI_SOURCE_DIR) + "/tests/player/golden/";
  const std::string outDir = MakeTempDir("effect_shots");
  const bool update = std::getenv("VELMI_UPDATE_GOLDEN") != nullptr;
  VelmiDeviceSetGeometry(480, 640);
  ASSERT_TRUE(QueryRawFrameBuffer(&app->screen->desc));
  for (auto& shot : shots) {
    VelmiClockUseFake(10000);
    delete app->sprites[1];
    app->sprites[1] = nullptr;
    CSprite* s = FullScreen(1);
    RECT all{0, 0, 640, 480};
    app->dirty->Add(&all, 1);
    s->StartEffect(shot.code, 1000, shot.p1, shot.p2, shot.p3);
    VelmiClockAdvance(DWORD(shot.at));
    Frame();
    app->screen->Present(GetFrameBufferPointer(), nullptr, nullptr);
    const std::string path = outDir + "/" + shot.name + ".png", golden = goldenDir + shot.name + ".png";
    ASSERT_TRUE(VelmiDeviceScreenshot(path.c_str(), false)) << shot.name;
    if (update) WriteFileBytes(golden, ReadFileBytes(path));
    int w = 0, h = 0, gw = 0, gh = 0;
    std::vector<uint16_t> got = ReadPng565(path, &w, &h), want = ReadPng565(golden, &gw, &gh);
    ASSERT_EQ(w, 640) << shot.name;
    ASSERT_EQ(gw, w) << shot.name << ": no stored image";
    ASSERT_EQ(gh, h) << shot.name;
    int differ = 0;
    for (size_t i = 0; i < got.size(); ++i) differ += got[i] != want[i];
    EXPECT_EQ(differ, 0) << shot.name;
  }
  // The stored images show what the formulas say (a few spot checks).
  int w = 0, h = 0;
  std::vector<uint16_t> fade = ReadPng565(goldenDir + "effect_fade_in.png", &w, &h);
  ASSERT_EQ(fade.size(), size_t(640 * 480));
  EXPECT_EQ(fade[200 * 640 + 600], Blend565(0, Picture(600, 200), 96 >> 2));  // level 96 of 256
  std::vector<uint16_t> blinds = ReadPng565(goldenDir + "effect_blinds.png", &w, &h);
  ASSERT_EQ(blinds.size(), size_t(640 * 480));
  // 60 bands, 37 steps; at 400 ms step 14: band 0 fully open, band 20 opens 4 lines.
  EXPECT_EQ(blinds[7 * 640 + 5], Picture(5, 7));
  EXPECT_EQ(blinds[(160 + 3) * 640 + 5], Picture(5, 163));
  EXPECT_EQ(blinds[(160 + 4) * 640 + 5], 0);
  EXPECT_EQ(blinds[400 * 640 + 5], 0);
  std::vector<uint16_t> slide = ReadPng565(goldenDir + "effect_slide_in.png", &w, &h);
  ASSERT_EQ(slide.size(), size_t(640 * 480));
  // From above: a quarter in, the picture's last 120 lines at the top.
  EXPECT_EQ(slide[0 * 640 + 300], Picture(300, 360));
  EXPECT_EQ(slide[119 * 640 + 300], Picture(300, 479));
  EXPECT_EQ(slide[120 * 640 + 300], 0);
}

}  // namespace
