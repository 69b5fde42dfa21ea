// The story's stage on a sprite-table snapshot: slot roles, tints, removal,
// glides on the fake clock and the scrollable background.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/scenario/stage.h"
#include "player/scenario/system_data.h"
#include "tests/player/scenario_fixture.h"

namespace {

constexpr uint16_t kGrey = 0x8410;

class StageTest : public ScenarioAppTest {
 protected:
  void SetUp() override {
    std::vector<uint16_t> bg(80 * 60, 0x001F), ch(40 * 60, kGrey), scroll(20 * 10, 0xF800), event(80 * 60, kGrey);
    std::vector<uint8_t> alpha(20 * 10, 255);
    for (int x = 0; x < 20; ++x) alpha[x] = 0;  // the first row clear
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
  EXPECT_NE(said.find("AdvData\\GRP\\ch\\nobody.zev"), std::string::npos) << said;
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

TEST_F(StageTest, ScrollBackgroundComposedIntoTheScene) {
  app->ShowScrollBackground("sc\\s");
  ASSERT_TRUE(app->IsPictureSlotUsed(kSlotScrollBackground));
  EXPECT_EQ(app->sprites[kSlotScrollBackground], nullptr);
  app->ApplyViewport();  // no scene background yet: nothing
  app->ShowBackground("bg\\bg01");
  // Viewport at (25, 10) canvas = (20, 8) screen, 12 x 4 screen pixels from
  // the scroll picture's (4, 0): its clear first row leaves the background.
  app->stage.viewportX = 25;
  app->stage.viewportY = 10;
  app->stage.originX = 15;
  app->stage.originY = 5;
  app->stage.scrollX = 5;
  app->stage.scrollY = 0;
  app->dirty->Clear();
  app->ApplyViewport();
  const struct {
    int x, y;
    uint16_t colour;
  } after[] = {{20, 8, 0x001F}, {20, 9, 0xF800}, {31, 11, 0xF800}, {32, 9, 0x001F}, {20, 12, 0x001F}, {19, 9, 0x001F}};
  for (auto& p : after) EXPECT_EQ(Pixel(kSlotBackground, p.y * 80 + p.x), p.colour) << p.x << "," << p.y;
  EXPECT_GT(app->dirty->Count(), 0);
  // A viewport reaching past both pictures is clipped to them.
  app->stage.viewportX = 90;
  app->stage.viewportY = 50;
  app->stage.originX = 10000;
  app->stage.originY = 10000;
  app->stage.scrollX = 0;
  app->ApplyViewport();
  EXPECT_EQ(Pixel(kSlotBackground, 49 * 80 + 79), 0xF800);
  EXPECT_EQ(Pixel(kSlotBackground, 50 * 80 + 79), 0x001F);
  app->stage.scrollX = -50;
  app->stage.scrollY = -5000;
  app->ApplyViewport();
  app->stage.scrollX = 50000;
  app->ApplyViewport();
  // The same name again keeps the scroll words; another resets them.
  app->ShowScrollBackground("sc\\s");
  EXPECT_EQ(app->stage.scrollX, 50000);
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
