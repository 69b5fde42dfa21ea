// The story's stage on a sprite-table snapshot: slot roles, tints, removal,
// glides on the fake clock and the scrollable background.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/scenario/stage.h"
#include "player/scenario/system_data.h"
#include "tests/player/scenario_fixture.h"

namespace {

constexpr uint16_t kGrey = 0x8410;

// The scroll picture's pixel (x, y): never the background's blue.
constexpr uint16_t ScrollPixel(int x, int y) { return uint16_t(0x8000 | y << 8 | x); }

class StageTest : public ScenarioAppTest {
 protected:
  void SetUp() override {
    std::vector<uint16_t> bg(80 * 60, 0x001F), ch(40 * 60, kGrey), scroll(20 * 10), event(80 * 60, kGrey);
    // Each scroll pixel tells where it comes from; its first row is clear.
    std::vector<uint8_t> alpha(20 * 10, 255);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x) scroll[y * 20 + x] = ScrollPixel(x, y);
    for (int x = 0; x < 20; ++x) alpha[x] = 0;
    StartApp({{"AdvData\\GRP\\bg\\bg01.rbp", MakeRbp565(80, 60, bg, 100, 75)},
              {"AdvData\\GRP\\bg\\bg02.rbp", MakeRbp565(80, 60, bg, 100, 75)},
              {"AdvData\\GRP\\ch\\a.rbp", MakeRbp565(40, 60, ch, 50, 75)},
              {"AdvData\\GRP\\ch\\b.rbp", MakeRbp565(40, 60, ch, 50, 75)},
              {"AdvData\\GRP\\sc\\s.rbp", MakeRbpAlpha(20, 10, scroll, alpha, false, 25, 12)},
              {"AdvData\\GRP\\bg\\iv_vlm00a.rbp", MakeRbp565(80, 60, event, 100, 75)}});
    app->settings.skipRunning = 0;
  }
  uint16_t Pixel(int slot, int i) const { return app->pictures[slot]->GetPixels()[i]; }
};

// One row of the sprite table as the tests look at it.
struct SpriteRow {
  int slot, priority, x, y, originX;
};

TEST_F(StageTest, SlotRolesOfBackgroundCharactersAndLayers) {
  app->stage.characters[1].homeX = -200;
  app->stage.characters[1].homeY = 25;
  app->ShowBackground("bg\\bg01");
  app->ShowCharacter(0, "ch\\a");
  app->ShowCharacter(1, "ch\\b");
  app->ShowLayer(0, "ch\\b");
  app->ShowLayer(1, "ch\\a");
  EXPECT_EQ(app->errorWord, 0u);
  const SpriteRow rows[] = {
      {kSlotBackground, 48, 0, 0, 0},
      {kSlotCharacter + 0, 32, 320000, 0, 20},
      {kSlotCharacter + 1, 30, 160000, 20000, 20},
      {kSlotLayer + 0, 31, 320000, 0, 20},
      {kSlotLayer + 1, 29, 160000, 20000, 20},
  };
  int used = 0;
  for (CSprite* s : app->sprites) used += s != nullptr;
  EXPECT_EQ(used, 5);
  for (const SpriteRow& r : rows) {
    CSprite* s = app->sprites[r.slot];
    ASSERT_NE(s, nullptr) << r.slot;
    EXPECT_EQ(s->slot, r.slot) << r.slot;
    EXPECT_EQ(s->priority, r.priority) << r.slot;
    EXPECT_EQ(s->x, r.x) << r.slot;
    EXPECT_EQ(s->y, r.y) << r.slot;
    EXPECT_EQ(s->reqOriginX, r.originX) << r.slot;
    ASSERT_TRUE(app->IsPictureSlotUsed(r.slot)) << r.slot;
  }
  EXPECT_STREQ(app->stage.backgroundName, "bg\\bg01");
  EXPECT_STREQ(app->stage.characters[1].name, "ch\\b");
  EXPECT_STREQ(app->stage.characters[1].layer, "ch\\a");
  EXPECT_EQ(app->stage.characters[1].shown, 1);
  EXPECT_EQ(app->stage.characters[1].x, -200);
  // The current background again: characters go, the background stays.
  CSprite* background = app->sprites[kSlotBackground];
  app->ShowBackground("BG\\BG01");
  EXPECT_EQ(app->sprites[kSlotBackground], background);
  EXPECT_EQ(app->sprites[kSlotCharacter], nullptr);
  EXPECT_EQ(app->sprites[kSlotCharacter + 1], nullptr);
  EXPECT_EQ(app->stage.characters[0].shown, 0);
  EXPECT_NE(app->sprites[kSlotLayer], nullptr);
  // Another background clears the whole stage first.
  app->ShowBackground("bg\\bg02");
  EXPECT_EQ(app->sprites[kSlotLayer], nullptr);
  EXPECT_EQ(app->sprites[kSlotLayer + 1], nullptr);
  EXPECT_NE(app->sprites[kSlotBackground], nullptr);
  // Character slots other than 0 and 1 are refused.
  app->ShowCharacter(2, "ch\\a");
  app->ShowLayer(-1, "ch\\a");
  app->RemoveCharacter(5);
  EXPECT_EQ(app->MoveCharacter(7, 0, 0), 1);
  for (int n = 20; n < 30; ++n) EXPECT_TRUE(n == kSlotBackground || app->sprites[n] == nullptr) << n;
}

TEST_F(StageTest, TintsRemovalAndMissingPictures) {
  const struct {
    const char* name;
    uint32_t red, green, blue;  // percent
  } tints[] = {{"ch\\a", 100, 100, 100}, {"ch\\a@", 75, 86, 93}, {"ch\\a*", 122, 100, 100}};
  for (auto& t : tints) {
    app->ShowCharacter(0, t.name);
    ASSERT_EQ(app->errorWord, 0u) << t.name;
    uint32_t r = std::min<uint32_t>(255, Red8(kGrey) * t.red / 100),
             g = std::min<uint32_t>(255, Green8(kGrey) * t.green / 100),
             b = std::min<uint32_t>(255, Blue8(kGrey) * t.blue / 100);
    EXPECT_EQ(Pixel(kSlotCharacter, 0), PackRgb565(r, g, b)) << t.name;
    EXPECT_STREQ(app->stage.characters[0].name, t.name);
  }
  // "-" takes the character and its layer away; an empty name does nothing.
  app->ShowLayer(0, "ch\\b");
  app->ShowCharacter(0, "");
  EXPECT_NE(app->sprites[kSlotCharacter], nullptr);
  app->ShowCharacter(0, "-");
  EXPECT_EQ(app->sprites[kSlotCharacter], nullptr);
  EXPECT_EQ(app->sprites[kSlotLayer], nullptr);
  EXPECT_FALSE(app->IsPictureSlotUsed(kSlotCharacter));
  EXPECT_EQ(app->stage.characters[0].shown, 0);
  EXPECT_STREQ(app->stage.characters[0].layer, "");
  // A layer "-" takes only the layer.
  app->ShowCharacter(1, "ch\\a");
  app->ShowLayer(1, "ch\\b");
  app->ShowLayer(1, "-");
  EXPECT_EQ(app->sprites[kSlotLayer + 1], nullptr);
  EXPECT_NE(app->sprites[kSlotCharacter + 1], nullptr);
  // A movie that cannot start leaves none playing.
  app->PlayMovie("MOVIE\\none.jmv");
  EXPECT_FALSE(app->screen->IsMoviePlaying());
  // A missing picture sets the error bit; the name goes to the error stream.
  testing::internal::CaptureStderr();
  app->ShowCharacter(0, "ch\\nobody@");
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(app->errorWord, kErrorPictureLoad);
  EXPECT_NE(said.find("AdvData/GRP/ch/nobody.zev"), std::string::npos) << said;
}

TEST_F(StageTest, GlidesOnTheFakeClock) {
  app->ShowBackground("bg\\bg01");
  app->ShowCharacter(0, "ch\\a");
  // 75 canvas units to the right: 100 ms.
  const struct {
    DWORD at;
    int done, x;
  } steps[] = {{0, 0, 0}, {50, 0, 37}, {99, 0, 74}, {100, 1, 75}};
  DWORD now = 0;
  for (auto& s : steps) {
    VelmiClockAdvance(s.at - now);
    now = s.at;
    EXPECT_EQ(app->MoveCharacter(0, 75, 0), s.done) << s.at;
    EXPECT_EQ(app->stage.characters[0].x, s.x) << s.at;
    EXPECT_EQ(app->sprites[kSlotCharacter]->x, (s.x + 400) * 640 / 800 * 1000) << s.at;
  }
  EXPECT_EQ(app->stage.characterGlides[0].active, 0);
  // A tap cuts a glide short: the character lands on the target at once.
  EXPECT_EQ(app->MoveCharacter(0, 75, 300), 0);
  VelmiClockAdvance(10);
  app->input.tap = 1;
  EXPECT_EQ(app->MoveCharacter(0, 75, 300), 1);
  EXPECT_EQ(app->stage.characters[0].y, 300);
  app->input.tap = 0;
  // The background: 800 units take 2,500 ms; mode 1 moves at once.
  EXPECT_EQ(app->MoveBackground(-800, 0, 0), 0);
  VelmiClockAdvance(1250);
  EXPECT_EQ(app->MoveBackground(-800, 0, 0), 0);
  EXPECT_EQ(app->stage.backgroundX, -400);
  EXPECT_EQ(app->sprites[kSlotBackground]->x, -320000);
  VelmiClockAdvance(1250);
  EXPECT_EQ(app->MoveBackground(-800, 0, 0), 1);
  EXPECT_EQ(app->stage.backgroundX, -800);
  EXPECT_EQ(app->MoveBackground(10, 20, 1), 1);
  EXPECT_EQ(app->stage.backgroundY, 20);
  // Skip lands at once; without a background there is nothing to move.
  app->settings.skipRunning = 1;
  EXPECT_EQ(app->MoveCharacter(0, -100, 0), 1);
  EXPECT_EQ(app->stage.characters[0].x, -100);
  app->ClearStage();
  EXPECT_EQ(app->MoveBackground(5, 5, 0), 1);
  EXPECT_EQ(app->stage.backgroundX, 10);
}

// OP_VIEWPORT and OP_SCROLL_TO as the story runs them: the scroll picture
// from the scroll position is composed into the scene background from the
// viewport position to the background's right and bottom edges, clipped to
// both pictures, over the background as it stands (its clear first row
// leaves what an earlier position drew).
TEST_F(StageTest, ScrollBackgroundComposedIntoTheScene) {
  app->ShowScrollBackground("sc\\s");
  ASSERT_TRUE(app->IsPictureSlotUsed(kSlotScrollBackground));
  EXPECT_EQ(app->sprites[kSlotScrollBackground], nullptr);
  app->ApplyViewport();  // no scene background yet: nothing
  app->ShowBackground("bg\\bg01");
  // The scene background as the rule makes it, in screen pixels.
  std::vector<uint16_t> want(80 * 60, 0x001F);
  const struct {
    int viewportX, viewportY, originX, originY;  // OP_VIEWPORT, canvas units
    int scrollToX, scrollToY;                    // OP_SCROLL_TO
  } steps[] = {
      {0, 0, 0, 0, 0, 0},          // the whole scroll picture at the corner
      {0, 0, 0, 0, 5, 0},          // 4 pixels further into it
      {0, 0, 0, 0, 10, 5},         // and 4 lower
      {0, 0, 0, 0, -10, -5},       // before its start: drawn 8 right, 4 down
      {25, 10, 15, 5, 20, 7},      // viewport at (20, 8); scroll (4, 1)
      {90, 50, 0, 0, 0, 0},        // at (72, 40): cut by the right edge
      {-25, 0, 0, 0, 0, 0},        // left of the background: its first 20 columns cut
      {0, 0, 0, 0, 25, 0},         // past the scroll picture's right edge: nothing
      {0, 0, 0, 0, 10000, 10000},  // far past it: nothing
  };
  for (const auto& c : steps) {
    app->stage.viewportX = c.viewportX;
    app->stage.viewportY = c.viewportY;
    app->stage.originX = c.originX;
    app->stage.originY = c.originY;
    app->stage.scrollX = c.scrollToX - c.originX;
    app->stage.scrollY = c.scrollToY - c.originY;
    app->dirty->Clear();
    app->ApplyViewport();
    EXPECT_GT(app->dirty->Count(), 0);
    const int tx = ScaleX(c.viewportX), ty = ScaleY(c.viewportY);
    const int sx = ScaleX(app->stage.scrollX), sy = ScaleY(app->stage.scrollY);
    for (int y = std::max(ty, 0); y < 60; ++y)
      for (int x = std::max(tx, 0); x < 80; ++x) {
        const int u = x - tx + sx, v = y - ty + sy;
        if (u >= 0 && u < 20 && v >= 1 && v < 10) want[y * 80 + x] = ScrollPixel(u, v);
      }
    int differ = 0, first = -1;
    for (int i = 0; i < 80 * 60; ++i)
      if (Pixel(kSlotBackground, i) != want[i] && differ++ == 0) first = i;
    EXPECT_EQ(differ, 0) << "viewport " << c.viewportX << "," << c.viewportY << " scroll " << c.scrollToX << ","
                         << c.scrollToY << ": first at " << first % 80 << "," << first / 80;
  }
  // Under the clear first row of the negative position, drawn from (8, 4),
  // the position before it shows.
  EXPECT_EQ(Pixel(kSlotBackground, 4 * 80 + 8), ScrollPixel(16, 8));
  // The same name again keeps the scroll words; another resets them.
  app->ShowScrollBackground("sc\\s");
  EXPECT_EQ(app->stage.scrollX, 10000);
  app->ShowScrollBackground("");
  EXPECT_EQ(app->stage.scrollX, 0);
  EXPECT_FALSE(app->IsPictureSlotUsed(kSlotScrollBackground));
}

// Showing a background puts its name on seen-list A and runs the
// event-picture rule: in the story, DISP_FREE_MODE 1 darkens an event
// picture to 64/256 and 2 to black; other pictures and modes stay as loaded.
TEST_F(StageTest, SeenListAndEventPictureRule) {
  app->ShowBackground("bg\\bg01");
  EXPECT_EQ(AddSeenName(app, kSeenListA, "bg01"), 0);  // already there
  EXPECT_EQ(AddSeenName(app, kSeenListA, "bg02"), 1);
  const uint16_t dark64 = PackRgb565(Red8(kGrey) * 64 >> 8, Green8(kGrey) * 64 >> 8, Blue8(kGrey) * 64 >> 8);
  const struct {
    int mode, dispFree;
    const char* name;
    uint16_t pixel;
    int word;
  } cases[] = {
      {MODE_STORY, 1, "bg\\iv_vlm00a", dark64, 1}, {MODE_STORY, 2, "bg\\iv_vlm00a", 0, 1},
      {MODE_STORY, 0, "bg\\iv_vlm00a", kGrey, 0},  {MODE_TITLE, 1, "bg\\iv_vlm00a", kGrey, 0},
      {MODE_STORY, 1, "bg\\bg02", 0x001F, 0},
  };
  for (auto& c : cases) {
    app->ClearStage();
    app->gameMode = c.mode;
    app->settings.dispFreeMode = c.dispFree;
    app->ShowBackground(c.name);
    ASSERT_EQ(app->errorWord, 0u) << c.name;
    EXPECT_EQ(Pixel(kSlotBackground, 0), c.pixel) << c.name << " mode " << c.mode << " free " << c.dispFree;
    EXPECT_EQ(app->systemData.eventPicture, c.word) << c.name;
  }
  EXPECT_EQ(AddSeenName(app, kSeenListA, "iv_vlm00a"), 0);
}

}  // namespace
