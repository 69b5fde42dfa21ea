// The system screens driven frame by frame on the fake clock: the shared
// input and slot rules, and the title's phases and menu.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <string>

#include "player/core/display.h"
#include "player/core/game_app.h"
#include "player/scenario/transition.h"
#include "player/screens/screen_common.h"
#include "tests/support/mode_table.h"

namespace {

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiClockUseFake(100000);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
  }
  void TearDown() override {
    delete app;
    VelmiClockUseReal();
  }
  // One frame after ms of the clock.
  void Frame(DWORD ms = 16) {
    VelmiClockAdvance(ms);
    app->DispatchMode();
  }
  void Press(int counter) { app->input.count[counter] = 1; }
  // A stylus press far from every item of the screens.
  void TapOutside() {
    app->input.tap = 1;
    app->input.stylusX = app->input.stylusY = 1;
  }
  CGameApp* app = nullptr;
};

TEST(ScreenInput, FreshPressesAndChoicesAreConsumed) {
  struct Case {
    uint32_t tap, keyC, right;
    int choice;
    uint32_t tapAfter, keyCAfter, rightAfter;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 0}, {0, 1, 0, 1, 0, 0, 0}, {0, 0, 1, 1, 0, 0, 0},
      // A held key (count above 1) is no choice and stays.
      {0, 2, 3, 0, 0, 2, 3},
      // One fresh word consumes the other two even when they are held.
      {0, 1, 5, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    InputState in = {};
    in.tap = c.tap;
    in.count[IN_KEY_C] = c.keyC;
    in.count[IN_RIGHT] = c.right;
    EXPECT_EQ(TakeChoice(&in), c.choice) << c.tap << c.keyC << c.right;
    EXPECT_EQ(in.tap, c.tapAfter);
    EXPECT_EQ(in.count[IN_KEY_C], c.keyCAfter);
    EXPECT_EQ(in.count[IN_RIGHT], c.rightAfter);
  }
  InputState in = {};
  for (uint32_t count : {0u, 2u, 7u}) {
    in.count[IN_UP] = count;
    EXPECT_EQ(TakeFreshPress(&in, IN_UP), 0);
    EXPECT_EQ(in.count[IN_UP], count);
  }
  in.count[IN_UP] = 1;
  EXPECT_EQ(TakeFreshPress(&in, IN_UP), 1);
  EXPECT_EQ(in.count[IN_UP], 0u);
}

TEST(ScreenSlots, OverlaysShareNoSlotWithTheFullScreens) {
  auto overlap = [](int a0, int a1, int b0, int b1) { return a0 <= b1 && b0 <= a1; };
  for (int i = 0; i < kScreenSlotCount; ++i) {
    const ScreenSlots& a = kScreenSlots[i];
    EXPECT_LE(a.firstSprite, a.lastSprite);
    EXPECT_LT(a.lastSprite, kSpriteSlots);
    EXPECT_LT(a.lastPicture, kPictureSlots);
    for (int j = i + 1; j < kScreenSlotCount; ++j) {
      const ScreenSlots& b = kScreenSlots[j];
      // The character choosers open over a full screen and borrow its pictures.
      const bool chooserPictures = i == SLOTS_FULL_SCREEN && j == SLOTS_CHOOSER;
      EXPECT_FALSE(overlap(a.firstSprite, a.lastSprite, b.firstSprite, b.lastSprite)) << a.screen << " " << b.screen;
      if (!chooserPictures)
        EXPECT_FALSE(overlap(a.firstPicture, a.lastPicture, b.firstPicture, b.lastPicture)) << a.screen << " " << b.screen;
    }
  }
  // None reaches the message window's, the weather's or the stage's slots.
  for (int i = 0; i < kScreenSlotCount; ++i) {
    if (i == SLOTS_TITLE) continue;
    EXPECT_GT(kScreenSlots[i].firstSprite, kSlotMessageWindow - 100);
    EXPECT_FALSE(overlap(kScreenSlots[i].firstSprite, kScreenSlots[i].lastSprite, 400, 463));
    EXPECT_FALSE(overlap(kScreenSlots[i].firstSprite, kScreenSlots[i].lastSprite, 500, 511));
  }
}

TEST_F(ScreenTest, OverlayRemembersAndRestoresModePhaseAndWindow) {
  for (int shown : {0, 1}) {
    app->gameMode = MODE_STORY;
    app->phase = 7;
    app->message.windowShown = shown;
    QuickOptionState s = {};
    s.windowWasShown = 5;
    EnterScreen(app, MODE_QUICK_OPTION, &s.returnMode, &s.returnPhase, &s.windowWasShown);
    EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
    EXPECT_EQ(s.returnMode, MODE_STORY);
    EXPECT_EQ(s.returnPhase, 7);
    EXPECT_EQ(s.windowWasShown, shown);
    app->phase = 3;
    ReturnFromScreen(app, s.returnMode, s.returnPhase, s.windowWasShown);
    EXPECT_EQ(app->gameMode, MODE_STORY);
    EXPECT_EQ(app->phase, 7);
  }
}

// ---- Title

TEST_F(ScreenTest, TitleIsTheFirstScreen) {
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 0);
  EXPECT_NE(CGameApp::FindModeHandler(MODE_TITLE), nullptr);
  Frame();
  EXPECT_EQ(app->phase, 1);
  EXPECT_EQ(app->title.cursor, kCursorNone);
  EXPECT_EQ(app->title.previousCursor, kCursorNone);
}

TEST_F(ScreenTest, TitleLogoAndScrollPhasesFollowTheClock) {
  struct Step {
    DWORD advance;
    int phase;
  } steps[] = {
      {0, 1},    {499, 1}, {1, 2},  // logo fades in for 500 ms
      {1499, 2}, {1, 3},            // shown for 1,500 ms
      {499, 3},  {1, 5},            // fades out
      {0, 6},                       // title picture set chosen
      {499, 6},  {1, 7},  {499, 7}, {1, 8},  // fade in, pause
      {1999, 8}, {500, 8}, {1, 9},  // scroll with trails, then the level rises
      {499, 9},  {1, 10}, {0, 11},  // the menu picture fades in; the title voice
      {60000, 11},                  // waits for a choice
  };
  Frame(0);
  for (const Step& s : steps) {
    Frame(s.advance);
    ASSERT_EQ(app->phase, s.phase) << "after " << s.advance;
    EXPECT_EQ(app->gameMode, MODE_TITLE);
  }
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->phase, 12);
  EXPECT_EQ(app->title.itemCount, 5);
  EXPECT_EQ(app->input.count[IN_KEY_C], 0u);
}

// Runs the title from phase 5 to its menu.
void ReachTitleMenu(ScreenTest* t, CGameApp* app) {
  app->phase = 5;
  for (int i = 0; i < 12 && app->phase != 11; ++i) {
    VelmiClockAdvance(3000);
    app->DispatchMode();
  }
  app->input.count[IN_RIGHT] = 1;
  app->DispatchMode();
  (void)t;
}

TEST_F(ScreenTest, TitleRowAndExtrasFromProgressFlagsAndImageMode) {
  struct Case {
    std::string flags;  // progress flags set, digits 1-7
    int imageMode;
    int row, extras, items;
  } cases[] = {
      {"", 0, 0, 0, 5},        {"35", 0, 1, 0, 5},     {"46", 0, 1, 0, 5},    {"3", 0, 0, 0, 5},
      {"56", 0, 0, 0, 5},      {"123456", 0, 2, 1, 6}, {"7", 0, 0, 2, 6},     {"1234567", 0, 2, 2, 6},
      {"", 3, 2, 0, 5},        {"", 1, 0, 0, 5},       {"", 2, 1, 0, 5},      {"123456", 1, 0, 1, 6},
      {"35", 4, 0, 0, 5},
  };
  for (const Case& c : cases) {
    for (int n = 1; n <= 7; ++n) g_ScriptVariables[100 * 256 + n] = 0;
    for (char d : c.flags) g_ScriptVariables[100 * 256 + (d - '0')] = 1;
    app->settings.titleImageMode = c.imageMode;
    ReachTitleMenu(this, app);
    EXPECT_EQ(app->phase, 12) << c.flags << " mode " << c.imageMode;
    EXPECT_EQ(app->title.pictureRow, c.row) << c.flags << " mode " << c.imageMode;
    EXPECT_EQ(app->title.extrasLevel, c.extras) << c.flags << " mode " << c.imageMode;
    EXPECT_EQ(app->title.itemCount, c.items) << c.flags << " mode " << c.imageMode;
  }
}

TEST(TitleMenu, BuildCountsTheItemsShown) {
  VelmiDeviceReset();
  CGameApp app;
  struct Case {
    int row, level, extras, count;
  } cases[] = {
      {0, 0, 0, 5}, {1, 0, 1, 6}, {2, 0, 2, 6}, {0, 1, 0, 3}, {2, 1, 1, 3},
      {2, 1, 2, 4}, {3, 0, 0, 0}, {-1, 0, 0, 0}, {0, 2, 2, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(app.BuildTitleMenu(c.row, c.level, c.extras), c.count) << c.row << " " << c.level << " " << c.extras;
}

// Key order of the menus: cursor after each key from nothing highlighted.
TEST_F(ScreenTest, TitleMenuKeysFollowTheKeyOrder) {
  struct Case {
    const char* flags;
    int level;
    const char* keys;  // u up, d down, a KEY_A
    const char* cursors;
  } cases[] = {
      {"", 0, "ddddddu", "0 1 2 3 4 0 4 "},
      {"", 0, "u", "4 "},
      {"123456", 0, "dddddd", "0 1 2 3 4 5 "},
      {"123456", 0, "ddddddd", "0 1 2 3 4 5 0 "},
      {"123456", 0, "u", "5 "},
      // Locked interviews are not counted: music mode wraps to the gallery.
      {"", 1, "dddd", "0 1 2 0 "},
      {"7", 1, "ddddu", "0 1 2 3 2 "},
      {"7", 1, "uu", "3 2 "},
  };
  for (const Case& c : cases) {
    for (int n = 1; n <= 7; ++n) g_ScriptVariables[100 * 256 + n] = 0;
    for (const char* d = c.flags; *d; ++d) g_ScriptVariables[100 * 256 + (*d - '0')] = 1;
    app->settings.titleImageMode = 0;
    ReachTitleMenu(this, app);
    if (c.level == 1) {
      Press(IN_DOWN);
      Frame();
      Press(IN_DOWN);
      Frame();
      Press(IN_DOWN);
      Frame();
      Press(IN_KEY_C);
      Frame();
      ASSERT_EQ(app->title.menuLevel, 1) << c.flags;
      ASSERT_EQ(app->title.cursor, kCursorNone);
    }
    std::string seen;
    for (const char* k = c.keys; *k; ++k) {
      Press(*k == 'u' ? IN_UP : IN_DOWN);
      Frame();
      seen += std::to_string(app->title.cursor) + " ";
      EXPECT_EQ(app->title.previousCursor, app->title.cursor);
    }
    EXPECT_EQ(seen, c.cursors) << c.flags << " level " << c.level;
  }
}

TEST_F(ScreenTest, TitleMenuChoosesOnlyWhatWasHighlighted) {
  ReachTitleMenu(this, app);
  // Moving and choosing in one frame does nothing.
  Press(IN_DOWN);
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->title.cursor, 0);
  EXPECT_EQ(app->phase, 12);
  EXPECT_EQ(app->input.count[IN_KEY_C], 0u);
  // KEY_A in the main menu is ignored and left alone.
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->title.menuLevel, 0);
  EXPECT_EQ(app->title.cursor, 0);
  // A press outside every item removes the highlight and chooses nothing.
  TapOutside();
  Frame();
  EXPECT_EQ(app->title.cursor, kCursorNone);
  EXPECT_EQ(app->phase, 12);
  TapOutside();
  Frame();
  EXPECT_EQ(app->title.cursor, kCursorNone);
  EXPECT_EQ(app->title.menuLevel, 0);
}

TEST_F(ScreenTest, TitleSubmenuOutsideTwiceOrKeyAReturnsToTheMainMenu) {
  ReachTitleMenu(this, app);
  auto enterExtras = [&] {
    for (int i = 0; i < 3; ++i) {
      Press(IN_DOWN);
      Frame();
    }
    Press(IN_RIGHT);
    Frame();
    ASSERT_EQ(app->title.menuLevel, 1);
  };
  enterExtras();
  EXPECT_EQ(app->title.itemCount, 3);
  Press(IN_DOWN);
  Frame();
  TapOutside();
  Frame();
  EXPECT_EQ(app->title.cursor, 10);
  EXPECT_EQ(app->title.menuLevel, 1);
  TapOutside();
  Frame();
  EXPECT_EQ(app->title.menuLevel, 0);
  EXPECT_EQ(app->title.cursor, kCursorNone);
  EXPECT_EQ(app->title.itemCount, 5);
  enterExtras();
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->title.menuLevel, 0);
  EXPECT_EQ(app->title.itemCount, 5);
}

TEST_F(ScreenTest, TitleExtrasItemsEnterTheirModes) {
  g_ScriptVariables[100 * 256 + 7] = 1;
  for (int item = 0; item < 4; ++item) {
    app->gameMode = MODE_TITLE;
    ReachTitleMenu(this, app);
    for (int i = 0; i < 3; ++i) {
      Press(IN_DOWN);
      Frame();
    }
    Press(IN_RIGHT);
    Frame();
    for (int i = 0; i <= item; ++i) {
      Press(IN_DOWN);
      Frame();
    }
    Press(IN_KEY_C);
    Frame();
    EXPECT_EQ(app->phase, 50 + item);
    Frame();
    EXPECT_EQ(app->gameMode, MODE_CG + item);
    EXPECT_EQ(app->phase, 0);
  }
}

TEST_F(ScreenTest, TitleReturnFromExtrasKeepsTheSubmenu) {
  app->title.menuLevel = 1;
  app->title.extrasLevel = 2;
  app->title.pictureRow = 1;
  app->title.cursor = 2;
  app->phase = 90;
  Frame();
  EXPECT_EQ(app->phase, 12);
  EXPECT_EQ(app->title.menuLevel, 1);
  EXPECT_EQ(app->title.itemCount, 4);
  EXPECT_EQ(app->title.cursor, kCursorNone);
}

// The new game and the second start: teardown, the transition's wait, the
// story.  A transition that never ends holds the title no longer than the
// longest screen transition.
TEST_F(ScreenTest, TitleStartsTheStoryAfterTheTransition) {
  struct Case {
    const char* flags;
    int downs;
    int first, wait;
    bool stuck;
  } cases[] = {
      {"", 1, 13, 14, false},
      {"123456", 6, 30, 31, false},
      {"", 1, 13, 14, true},
      {"7", 6, 30, 31, true},
  };
  for (const Case& c : cases) {
    for (int n = 1; n <= 7; ++n) g_ScriptVariables[100 * 256 + n] = 0;
    for (const char* d = c.flags; *d; ++d) g_ScriptVariables[100 * 256 + (*d - '0')] = 1;
    app->gameMode = MODE_TITLE;
    app->sound.currentTrack = 25;
    app->sound.trackMode = 1;
    ReachTitleMenu(this, app);
    for (int i = 0; i < c.downs; ++i) {
      Press(IN_DOWN);
      Frame();
    }
    Press(IN_KEY_C);
    Frame();
    ASSERT_EQ(app->phase, c.first) << c.flags;
    Frame();
    EXPECT_EQ(app->phase, c.wait);
    EXPECT_EQ(app->sound.currentTrack, -1);
    EXPECT_EQ(app->sound.trackMode, 0);
    if (c.stuck) {
      app->transition = new CTransition(800, 600);
      Frame(kScreenTransitionLimitMs - 100);
      EXPECT_EQ(app->phase, c.wait);
      Frame(100);
      delete app->transition;
      app->transition = nullptr;
    } else {
      Frame();
    }
    EXPECT_EQ(app->phase, c.wait + 1);
    Frame(499);
    EXPECT_EQ(app->phase, c.wait + 1);
    Frame(1);
    Frame();
    EXPECT_EQ(app->gameMode, MODE_STORY) << c.flags;
    EXPECT_EQ(app->phase, 0);
  }
}

}  // namespace
