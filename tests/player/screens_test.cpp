// The system screens driven frame by frame on the fake clock: the shared
// input and slot rules, and the title's phases and menu.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/media/transition.h"
#include "player/menu/popup_menu.h"
#include "player/screens/save_rows.h"
#include "player/screens/screen_common.h"
#include "tests/player/screen_fixture.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/mode_table.h"

namespace {

TEST(ScreenInput, FreshPressesAndChoicesAreConsumed) {
  struct Case {
    uint32_t tap, keyC, right;
    int choice;
    uint32_t tapAfter, keyCAfter, rightAfter;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, 0},
      {1, 0, 0, 1, 0, 0, 0},
      {0, 1, 0, 1, 0, 0, 0},
      {0, 0, 1, 1, 0, 0, 0},
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
      if (!chooserPictures) {
        EXPECT_FALSE(overlap(a.firstPicture, a.lastPicture, b.firstPicture, b.lastPicture))
            << a.screen << " " << b.screen;
      }
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
      {0, 1},      {499, 1}, {1, 2},            // logo fades in for 500 ms
      {1499, 2},   {1, 3},                      // shown for 1,500 ms
      {499, 3},    {1, 5},                      // fades out
      {0, 6},                                   // title picture set chosen
      {499, 6},    {1, 7},   {499, 7}, {1, 8},  // fade in, pause
      {1999, 8},   {500, 8}, {1, 9},            // scroll with trails, then the level rises
      {499, 9},    {1, 10},  {0, 11},           // the menu picture fades in; the title voice
      {60000, 11},                              // waits for a choice
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

TEST_F(ScreenTest, TitleRowAndExtrasFromProgressFlagsAndImageMode) {
  struct Case {
    std::string flags;  // progress flags set, digits 1-7
    int imageMode;
    int row, extras, items;
  } cases[] = {
      {"", 0, 0, 0, 5},       {"35", 0, 1, 0, 5},     {"46", 0, 1, 0, 5},      {"3", 0, 0, 0, 5}, {"56", 0, 0, 0, 5},
      {"123456", 0, 2, 1, 6}, {"7", 0, 0, 2, 6},      {"1234567", 0, 2, 2, 6}, {"", 3, 2, 0, 5},  {"", 1, 0, 0, 5},
      {"", 2, 1, 0, 5},       {"123456", 1, 0, 1, 6}, {"35", 4, 0, 0, 5},
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
      {0, 0, 0, 5}, {1, 0, 1, 6}, {2, 0, 2, 6},  {0, 1, 0, 3}, {2, 1, 1, 3},
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
      Drive("dddc");
      ASSERT_EQ(app->title.menuLevel, 1) << c.flags;
      ASSERT_EQ(app->title.cursor, kCursorNone);
    }
    EXPECT_EQ(Drive(c.keys, &app->title.cursor), c.cursors) << c.flags << " level " << c.level;
    EXPECT_EQ(app->title.previousCursor, app->title.cursor);
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
    const char* script;
  } cases[] = {
      {"", 1, 13, 14, false, "fst_1216_a1_cmn"},
      {"123456", 6, 30, 31, false, "0ind_1216_a1_hsr"},
      {"", 1, 13, 14, true, "fst_1216_a1_cmn"},
      {"7", 6, 30, 31, true, "0ind_1216_a1_hsr"},
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
    EXPECT_STREQ(app->story.scriptName, c.script);
  }
}

// ---- Yes/no confirmation

// Keys from nothing highlighted, and the cursor after each.
TEST_F(ScreenTest, ConfirmKeysMoveBetweenTheTwoButtons) {
  struct Case {
    const char* keys;
    const char* cursors;
  } cases[] = {{"uuu", "1 0 1 "}, {"ddd", "0 1 0 "}, {"du", "0 1 "}, {"ud", "1 0 "}};
  for (const Case& c : cases) {
    app->gameMode = MODE_TITLE;
    app->phase = 12;
    app->OpenConfirm(10);
    ASSERT_EQ(app->gameMode, MODE_CONFIRM);
    EXPECT_EQ(app->confirm.cursor, kCursorNone);
    EXPECT_EQ(Drive(c.keys, &app->confirm.cursor), c.cursors) << c.keys;
  }
  // UP and DOWN in one frame: UP first, DOWN on its result.
  app->OpenConfirm(10);
  Press(IN_UP);
  Press(IN_DOWN);
  Frame();
  EXPECT_EQ(app->confirm.cursor, 0);
}

TEST_F(ScreenTest, ConfirmNoAndCancelReturnToTheCaller) {
  struct Case {
    const char* keys;  // d down, c KEY_C, a KEY_A, t tap outside
    int question;
    bool open;
  } cases[] = {
      {"a", 120, false},    // KEY_A answers no at once
      {"da", 10, false},    // even with yes highlighted
      {"ddc", 125, false},  // no chosen
      {"dc", 120, false},   // a save returns to the save screen
      {"dtt", 1, true},     // a press between the buttons answers nothing
      {"dd", 10, true},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_SAVE_LOAD;
    app->phase = 4;
    app->OpenConfirm(c.question);
    EXPECT_EQ(app->confirm.question, c.question);
    for (const char* k = c.keys; *k; ++k) {
      // RIGHT held with KEY_A is consumed too.
      if (*k == 'a') app->input.count[IN_RIGHT] = 1;
      Drive(std::string(1, *k).c_str());
    }
    EXPECT_EQ(app->gameMode, c.open ? MODE_CONFIRM : MODE_SAVE_LOAD) << c.keys;
    if (!c.open) {
      EXPECT_EQ(app->phase, 4) << c.keys;
    }
    EXPECT_EQ(app->input.count[IN_RIGHT], 0u) << c.keys;
  }
}

TEST_F(ScreenTest, ConfirmYesLeavesForTheTitleOrTheLoad) {
  struct Case {
    int question, mode;
  } cases[] = {{1, MODE_BACK_TO_TITLE}, {125, MODE_LOAD}};
  for (const Case& c : cases) {
    app->gameMode = MODE_QUICK_OPTION;
    app->OpenConfirm(c.question);
    Drive("dr");
    EXPECT_EQ(app->gameMode, c.mode) << c.question;
  }
}

LRESULT CALLBACK QuietProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(ScreenTest, ConfirmQuitClosesTheWindow) {
  // The fixture's device reset forgets window classes: register each run.
  WNDCLASSW wc{};
  wc.lpfnWndProc = QuietProc;
  wc.lpszClassName = u"SCREENTEST";
  ASSERT_NE(RegisterClassW(&wc), 0);
  app->hwnd = CreateWindowExW(0, u"SCREENTEST", u"t", 0, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(app->hwnd, nullptr);
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenConfirm(10);
  Press(IN_DOWN);
  Frame();
  auto closePosted = [&] {
    MSG m;
    bool found = false;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) found = found || (m.message == WM_CLOSE && m.hwnd == app->hwnd);
    return found;
  };
  EXPECT_FALSE(closePosted());
  app->input.tap = 0;
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_QUIT);
  EXPECT_EQ(app->phase, MODE_QUIT);
  EXPECT_TRUE(closePosted());
  DestroyWindow(app->hwnd);
  app->hwnd = nullptr;
}

TEST_F(ScreenTest, ConfirmOverTheStoryHidesAndRestoresTheWindow) {
  for (int shown : {0, 1}) {
    app->gameMode = MODE_STORY;
    app->phase = 2;
    app->message.windowShown = shown;
    app->OpenConfirm(1);
    EXPECT_EQ(app->confirm.windowWasShown, shown);
    EXPECT_EQ(app->confirm.returnMode, MODE_STORY);
    EXPECT_EQ(app->confirm.returnPhase, 2);
    Press(IN_KEY_A);
    Frame();
    EXPECT_EQ(app->gameMode, MODE_STORY);
    EXPECT_EQ(app->phase, 2);
  }
}

// ---- Quick option menu

TEST_F(ScreenTest, QuickOptionKeysAndOutsidePresses) {
  struct Case {
    const char* keys;  // u, d, t (press outside the box)
    const char* cursors;
  } cases[] = {
      {"u", "5 "},
      {"d", "0 "},
      {"dddddd", "0 1 2 3 4 5 "},
      {"ddddddd", "0 1 2 3 4 5 0 "},
      {"du", "0 5 "},
      {"dt", "0 7 "},
      {"tu", "7 5 "},
      {"td", "7 0 "},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_STORY;
    app->OpenQuickOption();
    ASSERT_EQ(app->gameMode, MODE_QUICK_OPTION);
    EXPECT_EQ(app->quickOption.cursor, kCursorNone);
    EXPECT_EQ(Drive(c.keys, &app->quickOption.cursor), c.cursors) << c.keys;
    EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION) << c.keys;
    Press(IN_KEY_A);
    Frame();
  }
}

TEST_F(ScreenTest, QuickOptionChoicesAndClosing) {
  struct Case {
    int downs;     // items from the top entry
    bool outside;  // two presses outside instead
    int mode;      // mode after the choice
  } cases[] = {
      {1, false, MODE_QUICK_OPTION},  // the top entry does nothing
      {5, false, MODE_CONFIRM},       // return to the title asks first
      {6, false, MODE_STORY},         // close
      {0, true, MODE_STORY},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_STORY;
    app->phase = 6;
    app->OpenQuickOption();
    EXPECT_EQ(app->quickOption.returnMode, MODE_STORY);
    EXPECT_EQ(app->quickOption.returnPhase, 6);
    if (c.outside) {
      TapOutside();
      Frame();
      EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
      TapOutside();
      Frame();
    } else {
      for (int i = 0; i < c.downs; ++i) {
        Press(IN_DOWN);
        Frame();
      }
      Press(IN_KEY_C);
      Frame();
    }
    EXPECT_EQ(app->gameMode, c.mode) << c.downs;
    if (c.mode == MODE_STORY) {
      EXPECT_EQ(app->phase, 6);
    }
    if (c.mode == MODE_CONFIRM) {
      EXPECT_EQ(app->confirm.question, 1);
      EXPECT_EQ(app->confirm.returnMode, MODE_QUICK_OPTION);
      // No brings the box back, still highlighted.
      Press(IN_KEY_A);
      Frame();
      EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
      EXPECT_EQ(app->quickOption.cursor, 4);
    }
    if (app->gameMode == MODE_QUICK_OPTION) {
      Press(IN_KEY_A);
      Frame();
      EXPECT_EQ(app->gameMode, MODE_STORY);
    }
  }
}

// ---- Save and load screen

TEST(SaveRows, PageZeroOpensWithTheNewestSavesThenNumberedSlots) {
  struct Case {
    int page, row;
    SaveRowKind kind;
    int slot;
  } cases[] = {
      {0, 0, SaveRowKind::kNewestAuto, -1}, {0, 1, SaveRowKind::kNewest, -1},   {0, 2, SaveRowKind::kNumbered, 0},
      {0, 4, SaveRowKind::kNumbered, 2},    {1, 0, SaveRowKind::kNumbered, 3},  {1, 1, SaveRowKind::kNumbered, 4},
      {1, 4, SaveRowKind::kNumbered, 7},    {5, 2, SaveRowKind::kNumbered, 25}, {9, 0, SaveRowKind::kNumbered, 43},
      {9, 4, SaveRowKind::kNumbered, 47},
  };
  for (const Case& c : cases) {
    const SaveRow r = SaveRowOf(c.page, c.row);
    EXPECT_EQ(r.kind, c.kind) << c.page << " " << c.row;
    EXPECT_EQ(r.slot, c.slot) << c.page << " " << c.row;
  }
  // Every numbered slot is on exactly one row.
  std::vector<int> rows(kSavePages * kSavePageRows - 2, 0);
  for (int page = 0; page < kSavePages; ++page)
    for (int row = 0; row < kSavePageRows; ++row) {
      const SaveRow r = SaveRowOf(page, row);
      if (r.kind != SaveRowKind::kNumbered) continue;
      ASSERT_GE(r.slot, 0);
      ASSERT_LT(r.slot, int(rows.size()));
      ++rows[r.slot];
    }
  EXPECT_EQ(rows, std::vector<int>(rows.size(), 1));
}

TEST_F(SaveScreenTest, RowsShowTheSavesOfThePage) {
  Save(0);
  Save(2, 77);  // an icon word beyond the sixteen icons counts as none
  Save(5, -1);
  Save(47);
  Save(500, 0);                                                     // the first auto-save
  WriteFileBytes(dir + "/save004.dat", Bytes{'Y', 'M', 'X', '0'});  // damaged: slot 3
  app->saveSlots.newest = 2;
  app->saveSlots.newestAuto = 0;
  struct Case {
    int direction, page;
    const char* used;
  } cases[] = {
      {1, 0, "11101"},  // newest auto-save, newest save, slots 0-2
      {0, 0, "00101"},  // saving: the newest rows cannot be chosen
      {1, 1, "00100"},  // slots 3-7: the damaged slot 3 is empty
      {0, 9, "00001"},  // slots 43-47
      {1, 5, "00000"},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_TITLE;
    app->phase = 12;
    app->OpenSaveLoad(c.direction);
    app->BuildSaveLoadScreen(c.page);
    EXPECT_EQ(app->gameMode, MODE_SAVE_LOAD);
    EXPECT_EQ(app->saveLoad.page, c.page);
    EXPECT_EQ(app->saveLoad.cursor, kCursorNone);
    EXPECT_EQ(Used(), c.used) << c.direction << " page " << c.page;
    Press(IN_KEY_A);
    Frame();
    EXPECT_EQ(app->gameMode, MODE_TITLE);
    EXPECT_EQ(app->phase, 12);
  }
}

TEST_F(SaveScreenTest, KeysSkipRowsThatCannotBeChosen) {
  Save(0);
  Save(2);
  app->saveSlots.newest = 2;
  struct Case {
    int direction, page;
    const char* keys;
    const char* cursors;
  } cases[] = {
      {0, 0, "dddddddd", "2 3 4 5 6 7 2 3 "},  // saving on page 0 starts at row 2
      {0, 0, "u", "7 "},
      {0, 0, "duu", "2 7 6 "},
      {0, 1, "ddu", "0 1 0 "},
      {0, 1, "uuuuuu", "7 6 5 4 3 2 "},
      {1, 0, "dddddd", "1 2 4 5 6 7 "},  // loading skips the rows without a save
      {1, 0, "ddddddd", "1 2 4 5 6 7 1 "},
      {1, 0, "uuu", "7 6 5 "},
      {1, 0, "duuu", "1 7 6 5 "},
      {1, 0, "ddddu", "1 2 4 5 4 "},
      {1, 3, "dddd", "5 6 7 5 "},  // no save on the page: only the buttons
      {1, 3, "uuuu", "7 6 5 7 "},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_STORY;
    app->OpenSaveLoad(c.direction);
    if (c.page) app->BuildSaveLoadScreen(c.page);
    EXPECT_EQ(Keys(c.keys), c.cursors) << c.direction << " page " << c.page << " " << c.keys;
    Press(IN_KEY_A);
    Frame();
    EXPECT_EQ(app->gameMode, MODE_STORY);
  }
}

TEST_F(SaveScreenTest, PageButtonsWrapAroundTheTenPages) {
  Save(43);
  app->gameMode = MODE_QUICK_OPTION;
  app->OpenSaveLoad(1);
  EXPECT_EQ(Keys("d"), "5 ");
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->saveLoad.page, 9);
  EXPECT_EQ(Used(), "10000");
  EXPECT_EQ(app->saveLoad.cursor, kCursorNone);
  EXPECT_EQ(Keys("dddd"), "0 5 6 7 ");
  EXPECT_EQ(Keys("u"), "6 ");
  Press(IN_RIGHT);
  Frame();
  EXPECT_EQ(app->saveLoad.page, 0);
  // Moving and choosing in one frame does nothing.
  Press(IN_DOWN);
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->saveLoad.page, 0);
  EXPECT_EQ(app->saveLoad.cursor, 5);
  // Back.
  EXPECT_EQ(Keys("dd"), "6 7 ");
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
}

TEST_F(SaveScreenTest, LoadAsksAndLoadsAfterTheFade) {
  Save(0);
  Save(6);
  app->saveSlots.newest = 6;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  EXPECT_EQ(Keys("dd"), "1 2 ");
  Press(IN_KEY_C);
  Frame();
  ASSERT_EQ(app->gameMode, MODE_CONFIRM);
  EXPECT_EQ(app->confirm.question, 125);
  EXPECT_EQ(app->confirm.saveTargetPage, 0);
  EXPECT_EQ(app->confirm.saveTargetRow, 2);
  EXPECT_EQ(app->confirm.returnMode, MODE_SAVE_LOAD);
  // No: back on the screen with the row still highlighted.
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_SAVE_LOAD);
  EXPECT_EQ(app->saveLoad.cursor, 2);
  Drive("cdc");
  EXPECT_EQ(app->gameMode, MODE_LOAD);
  // The load waits for the fade, but no longer than a fade can last; this
  // save's script is not in the game, so the title comes back.
  app->transition = new CTransition(800, 600);
  Frame(kScreenTransitionLimitMs - 20);
  EXPECT_EQ(app->gameMode, MODE_LOAD);
  Frame(20);
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 5);
}

TEST_F(SaveScreenTest, SaveGoesThroughTheIconChooserAndTheQuestion) {
  app->gameMode = MODE_QUICK_OPTION;
  app->settings.saveMascotIcon = 9;
  app->OpenSaveLoad(0);
  EXPECT_EQ(Keys("d"), "2 ");
  Press(IN_KEY_C);
  Frame();
  ASSERT_EQ(app->gameMode, MODE_SAVE_ICON);
  EXPECT_EQ(app->saveLoad.chosenRow, 2);
  EXPECT_EQ(app->saveLoad.cursor, kCursorNone);
  EXPECT_EQ(Keys("dd"), "0 1 ");
  Press(IN_KEY_C);
  Frame();
  ASSERT_EQ(app->gameMode, MODE_CONFIRM);
  EXPECT_EQ(app->confirm.question, 120);
  EXPECT_EQ(app->confirm.returnMode, MODE_SAVE_LOAD);
  EXPECT_EQ(app->saveLoad.cursor, 2);
  // Page 0 row 2 is slot 0.
  EXPECT_EQ(SaveRowOf(app->confirm.saveTargetPage, app->confirm.saveTargetRow).slot, 0);
  EXPECT_EQ(app->settings.saveMascotIcon, 1);
  // The icon stays stored when the answer is no.
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_SAVE_LOAD);
  EXPECT_EQ(app->settings.saveMascotIcon, 1);
  EXPECT_EQ(app->saveLoad.cursor, 2);
}

// The two choosers: keys cycle through sixteen icons and back; KEY_A and back
// leave without changing the setting.
TEST_F(ScreenTest, CharacterChoosersCycleAndLeave) {
  struct Case {
    int mode;
    const char* keys;  // u, d, t (press outside the panel), c KEY_C, a KEY_A
    const char* selections;
    int after;         // mode after the keys
    int mascot, icon;  // settings after
  } cases[] = {
      {MODE_MASCOT_VOICE, "u", "300 16 ", MODE_MASCOT_VOICE, 2, 4},
      {MODE_MASCOT_VOICE, "d", "300 0 ", MODE_MASCOT_VOICE, 2, 4},
      {MODE_MASCOT_VOICE, "uuu", "300 16 15 14 ", MODE_MASCOT_VOICE, 2, 4},
      {MODE_MASCOT_VOICE, "ddddc", "300 0 1 2 3 300 ", MODE_SYSTEM_CONFIG, 3, 4},
      {MODE_MASCOT_VOICE, "dca", "300 0 300 ", MODE_SYSTEM_CONFIG, 0, 4},
      {MODE_MASCOT_VOICE, "da", "300 0 300 ", MODE_SYSTEM_CONFIG, 2, 4},
      {MODE_MASCOT_VOICE, "tt", "300 16 300 ", MODE_SYSTEM_CONFIG, 2, 4},
      {MODE_MASCOT_VOICE, "uc", "300 16 300 ", MODE_SYSTEM_CONFIG, 2, 4},
      {MODE_SAVE_ICON, "u", "100 16 ", MODE_SAVE_ICON, 2, 4},
      {MODE_SAVE_ICON, "uud", "100 16 15 16 ", MODE_SAVE_ICON, 2, 4},
      {MODE_SAVE_ICON, "uudd", "100 16 15 16 0 ", MODE_SAVE_ICON, 2, 4},
      {MODE_SAVE_ICON, "a", "100 3 ", MODE_SAVE_LOAD, 2, 4},
      {MODE_SAVE_ICON, "tt", "100 16 3 ", MODE_SAVE_LOAD, 2, 4},
      {MODE_SAVE_ICON, "uuc", "100 16 15 3 ", MODE_CONFIRM, 2, 15},
  };
  for (const Case& c : cases) {
    app->settings.mascotVoice = 2;
    app->settings.saveMascotIcon = 4;
    app->saveLoad.chosenRow = 3;
    app->saveLoad.page = 1;
    int32_t* word;
    if (c.mode == MODE_MASCOT_VOICE) {
      app->gameMode = MODE_SYSTEM_CONFIG;
      app->OpenMascotVoiceScreen();
      word = &app->characterChoice.selection;
    } else {
      app->gameMode = MODE_SAVE_LOAD;
      app->OpenSaveIconScreen();
      word = &app->saveLoad.cursor;
    }
    ASSERT_EQ(app->gameMode, c.mode);
    std::string seen = std::to_string(*word) + " ";
    for (const char* k = c.keys; *k && app->gameMode == c.mode; ++k) seen += Drive(std::string(1, *k).c_str(), word);
    EXPECT_EQ(seen, c.selections) << c.mode << " " << c.keys;
    EXPECT_EQ(app->gameMode, c.after) << c.mode << " " << c.keys;
    EXPECT_EQ(app->settings.mascotVoice, c.mascot) << c.keys;
    EXPECT_EQ(app->settings.saveMascotIcon, c.icon) << c.keys;
    if (c.after == MODE_CONFIRM) {
      EXPECT_EQ(app->confirm.saveTargetRow, 3);
      EXPECT_EQ(app->confirm.saveTargetPage, 1);
    }
  }
}

// ---- System and voice configuration

TEST_F(ScreenTest, SystemConfigKeysAndSwitches) {
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSystemConfig();
  ASSERT_EQ(app->gameMode, MODE_SYSTEM_CONFIG);
  EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone);
  EXPECT_EQ(Drive("uuddddddddd", &app->systemConfig.cursor), "6 5 6 0 1 2 3 4 5 6 0 ");
  struct Case {
    int item;
    int32_t GameSettings::*word;
  } cases[] = {{1, &GameSettings::transMode}, {2, &GameSettings::effectUse}, {3, &GameSettings::textCutMode}};
  for (const Case& c : cases) {
    for (int before : {0, 1}) {
      app->settings.*c.word = before;
      app->systemConfig.cursor = kConfigCursorNone;
      for (int i = 0; i <= c.item; ++i) {
        Press(IN_DOWN);
        Frame();
      }
      ASSERT_EQ(app->systemConfig.cursor, c.item);
      Press(IN_KEY_C);
      Frame();
      EXPECT_EQ(app->settings.*c.word, 1 - before) << c.item;
      // After a change nothing is highlighted.
      EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone);
    }
  }
  // The fourth button does nothing.
  app->systemConfig.cursor = 4;
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_SYSTEM_CONFIG);
  EXPECT_EQ(app->systemConfig.cursor, 4);
  // Back returns to the title menu.
  Drive("ddc");
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 12);
}

// Slider steps take a second press on the step (a choice with the step
// already under the cursor).
TEST_F(ScreenTest, SystemConfigSliderStepsSetTheSettings) {
  struct Case {
    int step;
    int32_t GameSettings::*word;
    int value;
  } cases[] = {
      {200, &GameSettings::musicVolume, 10}, {209, &GameSettings::musicVolume, 100},
      {213, &GameSettings::voiceVolume, 40}, {220, &GameSettings::seVolume, 10},
      {229, &GameSettings::seVolume, 100},   {230, &GameSettings::windowTrans, 0},
      {235, &GameSettings::windowTrans, 5},  {240, &GameSettings::windowTrans, 10},
  };
  app->gameMode = MODE_STORY;
  app->OpenSystemConfig();
  for (const Case& c : cases) {
    app->settings.*c.word = 70;
    app->systemConfig.cursor = c.step;
    Press(IN_KEY_C);
    Frame();
    EXPECT_EQ(app->settings.*c.word, c.value) << c.step;
    EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone) << c.step;
  }
}

TEST_F(ScreenTest, SystemConfigWindowLevelFollowsTheSwitchAndTheSlider) {
  app->gameMode = MODE_STORY;
  app->sprites[501] = new CSprite;
  app->OpenSystemConfig();
  struct Case {
    int transMode, step;
    int level;
  } cases[] = {{1, 235, 128}, {1, 240, 256}, {1, 230, 0}, {0, 233, 256}, {1, 233, 76}};
  for (const Case& c : cases) {
    app->settings.transMode = c.transMode;
    app->systemConfig.cursor = c.step;
    Press(IN_KEY_C);
    Frame();
    EXPECT_EQ(app->sprites[501]->level, c.level) << c.transMode << " " << c.step;
  }
  // Switching transparency processing off shows the window whole.
  app->settings.transMode = 1;
  app->systemConfig.cursor = 1;
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->settings.transMode, 0);
  EXPECT_EQ(app->sprites[501]->level, 256);
}

TEST_F(ScreenTest, VoiceConfigTogglesCharactersAndReturns) {
  for (int& v : app->settings.charVoiceUse) v = 1;
  app->gameMode = MODE_QUICK_OPTION;
  app->phase = 3;
  app->OpenSystemConfig();
  app->systemConfig.cursor = 5;
  Press(IN_RIGHT);
  Frame();
  ASSERT_EQ(app->gameMode, MODE_VOICE_CONFIG);
  EXPECT_EQ(app->voiceConfig.cursor, kConfigCursorNone);
  EXPECT_EQ(Drive("uudd", &app->voiceConfig.cursor), "18 17 18 0 ");
  // Cell 0 off and on again; a highlighted cell keeps its highlight.
  for (int expected : {0, 1}) {
    Press(IN_KEY_C);
    Frame();
    EXPECT_EQ(app->settings.charVoiceUse[0], expected);
    EXPECT_EQ(app->voiceConfig.cursor, 0);
  }
  // All off, all on.
  app->voiceConfig.cursor = 17;
  Press(IN_KEY_C);
  Frame();
  for (int k = 0; k < 16; ++k) EXPECT_EQ(app->settings.charVoiceUse[k], 0) << k;
  EXPECT_EQ(app->voiceConfig.cursor, 17);
  app->voiceConfig.cursor = 16;
  Press(IN_KEY_C);
  Frame();
  for (int k = 0; k < 16; ++k) EXPECT_EQ(app->settings.charVoiceUse[k], 1) << k;
  // KEY_A returns to a fresh configuration page; its return mode is kept.
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_SYSTEM_CONFIG);
  EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone);
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
  EXPECT_EQ(app->phase, 3);
}

TEST_F(ScreenTest, SystemConfigPortraitOpensTheVoiceCharacterChooser) {
  app->gameMode = MODE_TITLE;
  app->OpenSystemConfig();
  Drive("dc");
  EXPECT_EQ(app->gameMode, MODE_MASCOT_VOICE);
  Press(IN_KEY_A);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_SYSTEM_CONFIG);
  EXPECT_EQ(app->systemConfig.returnMode, MODE_TITLE);
}

// The pop-up menu's load and save submenus are off while a full screen is
// open; closing enables them as the game allows, and at the title no save.
TEST_F(ScreenTest, FullScreensSwitchTheLoadAndSaveSubmenus) {
  ASSERT_NE(app->menu, nullptr);
  const char* fonts[] = {"Gothic"};
  BuildMenuTreeInto(app->menu, fonts, 1);
  MenuPage* root = app->menu->root;
  ASSERT_NE(root, nullptr);
  auto enabled = [&](int i) { return (root->items[i].flags & kMenuEnabled) != 0; };
  struct Case {
    int from;
    bool config;
    bool saveAfter;
  } cases[] = {
      {MODE_TITLE, false, false},
      {MODE_TITLE, true, false},
      {MODE_QUICK_OPTION, false, true},
      {MODE_QUICK_OPTION, true, true},
  };
  for (const Case& c : cases) {
    app->saveAllowed = 1;
    app->gameMode = c.from;
    if (c.config)
      app->OpenSystemConfig();
    else
      app->OpenSaveLoad(1);
    EXPECT_FALSE(enabled(0)) << c.from << c.config;
    EXPECT_FALSE(enabled(1)) << c.from << c.config;
    Drive("a");
    EXPECT_EQ(app->gameMode, c.from);
    EXPECT_TRUE(enabled(0)) << c.from << c.config;
    EXPECT_EQ(enabled(1), c.saveAfter) << c.from << c.config;
    // The game's own word is left as it was.
    EXPECT_EQ(app->saveAllowed, 1);
  }
}

// A yes to the save question that the disk refuses: the message box names
// the file and the reason, the older save stays, and the screen comes back.
TEST_F(SaveScreenTest, RefusedSaveQuestionIsTold) {
  VelmiDeviceSetHeadless(true);
  // Every picture of the way there, so that the save's box is the only one.
  std::vector<std::string> names = ScreenPictureNames();
  names.push_back("quickoption_chip00");
  std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
  for (const std::string& n : names)
    entries.push_back({"AdvData\\grp\\system\\" + n + ".rbp", MakeRbp565(16, 16, std::vector<uint16_t>(256), 16, 16)});
  UsePack(entries);
  Save(0);
  const Bytes before = ReadFileBytes(dir + "/save001.dat");
  ASSERT_EQ(mkdir((dir + "/save001.dat.tmp").c_str(), 0700), 0);
  std::strcpy(app->story.scriptName, "fst_1216_a1_cmn");
  app->SnapshotSaveState();
  app->gameMode = MODE_STORY;
  app->OpenQuickOption();
  Drive("ddc");
  ASSERT_EQ(app->gameMode, MODE_SAVE_LOAD);
  Drive("dc");
  ASSERT_EQ(app->gameMode, MODE_SAVE_ICON);
  Drive("dddc");
  ASSERT_EQ(app->gameMode, MODE_CONFIRM);
  EXPECT_TRUE(VelmiDeviceMessageBoxes().empty());
  Drive("dc");
  EXPECT_EQ(app->gameMode, MODE_SAVE_LOAD);
  EXPECT_EQ(ReadFileBytes(dir + "/save001.dat"), before);
  const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(dir + "/save001.dat"), std::string::npos) << boxes[0];
  // 同じ名前のフォルダがあります: a folder stands at the temporary name
  EXPECT_NE(boxes[0].find("\xE5\x90\x8C\xE3\x81\x98\xE5\x90\x8D\xE5\x89\x8D\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA9"
                          "\xE3\x83\xAB\xE3\x83\x80"),
            std::string::npos)
      << boxes[0];
}

// A save made on the screen from the quick option box, loaded back from the
// title through the load question and the fade.
TEST_F(SaveScreenTest, SaveMadeOnTheScreenLoadsBack) {
  Bytes script = {1, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD};
  script.resize(8 + 100, 0);
  ASSERT_TRUE(WritePack(dir + "/grpack_v.mlz", {{"AdvData\\mes\\fst_1216_a1_cmn.mes", script}}, false));
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s/grpack_v.mlz", dir.c_str());
  std::strcpy(app->story.scriptName, "fst_1216_a1_cmn");
  app->story.pc = 30;
  g_ScriptVariables[5] = 77;
  app->SnapshotSaveState();
  app->gameMode = MODE_STORY;
  app->phase = 4;
  app->OpenQuickOption();
  Drive("ddc");
  ASSERT_EQ(app->gameMode, MODE_SAVE_LOAD);
  EXPECT_EQ(app->saveLoad.direction, 0);
  Drive("dc");
  ASSERT_EQ(app->gameMode, MODE_SAVE_ICON);
  Drive("dddc");
  ASSERT_EQ(app->gameMode, MODE_CONFIRM);
  Drive("dc");
  // Written into slot 0, shown on the rebuilt page.
  EXPECT_EQ(app->gameMode, MODE_SAVE_LOAD);
  EXPECT_GT(ReadFileBytes(dir + "/save001.dat").size(), 26688u);
  EXPECT_EQ(Used(), "00100");
  EXPECT_EQ(app->saveLoad.cursor, kCursorNone);
  Drive("aa");
  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_EQ(app->phase, 4);

  std::strcpy(app->story.scriptName, "elsewhere");
  g_ScriptVariables[5] = 0;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  EXPECT_EQ(Used(), "01100");  // the newest save, and slot 0 itself
  EXPECT_EQ(Keys("dd"), "1 2 ");
  Drive("c");
  ASSERT_EQ(app->gameMode, MODE_CONFIRM);
  Drive("dc");
  ASSERT_EQ(app->gameMode, MODE_LOAD);
  for (int i = 0; i < 10 && app->gameMode == MODE_LOAD; ++i) Frame(500);
  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_STREQ(app->story.scriptName, "fst_1216_a1_cmn");
  EXPECT_EQ(app->story.pc, 30u);
  EXPECT_EQ(g_ScriptVariables[5], 77);
  EXPECT_EQ(app->settings.saveMascotIcon, 2);

  // A load whose file has gone since the question returns to the title.
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  EXPECT_EQ(Keys("dd"), "1 2 ");
  Drive("cdc");
  ASSERT_EQ(app->gameMode, MODE_LOAD);
  std::remove((dir + "/save001.dat").c_str());
  for (int i = 0; i < 10 && app->gameMode == MODE_LOAD; ++i) Frame(500);
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 5);
}

}  // namespace

// ---- Sprite-table snapshots on the real stage

TEST_F(ScreenTest, TitleMenuSpriteTable) {
  UsePicturePack();
  ReachTitleMenu(this, app);
  ASSERT_EQ(app->phase, 12);
  // Each item's normal cell at x 0 of the chip picture, placed on its touch box.
  const std::vector<std::string> want = {
      "10 title_daytime_BG04.rbp 0,0 800x600 @0,0 p48 l256 v1",
      "11 title_daytime_chip01.rbp 0,0 128x40 @336,180 p32 l256 v1",
      "12 title_daytime_chip01.rbp 0,40 104x40 @348,230 p32 l256 v1",
      "13 title_daytime_chip01.rbp 0,80 128x40 @336,280 p32 l256 v1",
      "14 title_daytime_chip01.rbp 0,120 144x40 @326,330 p32 l256 v1",
      "15 title_daytime_chip01.rbp 0,200 184x40 @308,380 p32 l256 v1",
  };
  EXPECT_EQ(Joined(SpriteTable(0, 16)), Joined(want));
  // The highlighted cell lies one item width to the right.
  Drive("dd");
  EXPECT_EQ(SpriteTable(12, 12)[0], "12 title_daytime_chip01.rbp 104,40 104x40 @348,230 p32 l256 v1");
  EXPECT_EQ(SpriteTable(11, 11)[0], want[1]);
}

TEST_F(SaveScreenTest, SavePageSpriteTable) {
  UsePicturePack();
  Save(0, 3);
  Save(1, 12);
  app->saveSlots.newest = 1;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  // Page 0 while loading: no auto-save in row 0, the newest save (slot 1) in
  // row 1, then slots 0-2; the counter reads "01/10".
  const std::vector<std::string> want = {
      "200 load_BG00.rbp 0,0 800x600 @0,0 p5 l256 v1",
      "201 common_load_chip00.rbp 160,120 16x24 @252,422 p4 l256 v1",
      "202 common_load_chip00.rbp 16,120 16x24 @268,422 p4 l256 v1",
      "203 common_load_chip00.rbp 0,120 16x24 @284,422 p4 l256 v1",
      "205 common_load_chip00.rbp 17,120 16x24 @236,422 p4 l256 v1",
      "206 common_load_chip00.rbp 0,0 112x32 @234,532 p4 l256 v1",
      "207 common_load_chip00.rbp 112,0 72x40 @172,437 p4 l256 v1",
      "208 common_load_chip00.rbp 184,0 72x40 @280,437 p4 l256 v1",
      "221 charactericom.rbp 672,313 56x56 @456,189 p4 l256 v1",
      "222 charactericom.rbp 168,313 56x56 @456,274 p4 l256 v1",
      "223 charactericom.rbp 672,313 56x56 @456,359 p4 l256 v1",
      "250  0,0 800x600 @0,0 p4 l256 v1",
      "255 saveandload_chip00.rbp 0,1 288x72 @444,97 p4 l256 v1",
      "256 saveandload_chip00.rbp 0,217 288x72 @444,182 p4 l256 v1",
      "257 saveandload_chip00.rbp 0,145 288x72 @444,267 p4 l256 v1",
      "258 saveandload_chip00.rbp 0,145 288x72 @444,352 p4 l256 v1",
      "259 saveandload_chip00.rbp 0,145 288x72 @444,437 p4 l256 v1",
  };
  EXPECT_EQ(Joined(SpriteTable(200, 299)), Joined(want));
  // Highlighting row 2 shows its thumbnail and its story date, drawn below
  // the visible part of the text layer.
  EXPECT_EQ(Keys("d"), "1 ");
  EXPECT_EQ(Keys("d"), "2 ");
  const std::vector<std::string> highlighted = {
      "240  0,0 160x120 @216,256 p4 l256 v1",
      "241  0,636 96x18 @260,376 p4 l256 v1",
  };
  EXPECT_EQ(Joined(SpriteTable(240, 241)), Joined(highlighted));
  EXPECT_EQ(SpriteTable(256, 257),
            (std::vector<std::string>{"256 saveandload_chip00.rbp 0,217 288x72 @444,182 p4 l256 v1",
                                      "257 saveandload_chip00.rbp 288,145 288x72 @444,267 p4 l256 v1"}));
}

TEST_F(ScreenTest, SystemConfigSpriteTable) {
  UsePicturePack();
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->settings.musicVolume = 50;
  app->settings.voiceVolume = 100;
  app->settings.seVolume = 0;
  app->settings.windowTrans = 5;
  app->OpenSystemConfig();
  // Slider knobs at 528 + 138 x the share of their setting, bars as long.
  const std::vector<std::string> want = {
      "200 systemconfig_bg.rbp 0,0 800x600 @0,0 p5 l256 v1",
      "201 systemconfig_chip01.rbp 0,0 104x104 @168,330 p4 l256 v1",
      "202 systemconfig_chip00.rbp 0,0 72x24 @250,95 p4 l256 v1",
      "203 systemconfig_chip00.rbp 0,0 72x24 @250,140 p4 l256 v1",
      "204 systemconfig_chip00.rbp 72,0 72x24 @250,185 p4 l256 v1",
      "205 systemconfig_chip00.rbp 72,72 72x24 @250,230 p4 l256 v1",
      "210 systemconfig_chip00.rbp 144,104 6x14 @597,107 p4 l256 v1",
      "211 systemconfig_chip00.rbp 144,96 69x8 @528,109 p4 l256 v1",
      "212 systemconfig_chip00.rbp 144,104 6x14 @666,152 p4 l256 v1",
      "213 systemconfig_chip00.rbp 144,96 138x8 @528,154 p4 l256 v1",
      "214 systemconfig_chip00.rbp 144,104 6x14 @528,197 p4 l256 v1",
      "215 systemconfig_chip00.rbp 144,96 0x8 @528,199 p4 l256 v1",
      "216 systemconfig_chip00.rbp 305,0 151x24 @528,232 p4 l256 v1",
      "218 systemconfig_chip00.rbp 144,104 6x14 @666,287 p4 l256 v1",
      "219 systemconfig_chip00.rbp 144,96 138x8 @528,289 p4 l256 v1",
      "220 systemconfig_chip00.rbp 144,104 6x14 @597,332 p4 l256 v1",
      "221 systemconfig_chip00.rbp 144,96 69x8 @528,334 p4 l256 v1",
      "222 systemconfig_chip00.rbp 633,0 159x32 @514,443 p4 l256 v1",
      "223 common_chip00.rbp 0,0 112x32 @608,531 p4 l256 v1",
      "224 systemconfig_chip00.rbp 457,1 175x31 @502,371 p4 l256 v1",
  };
  EXPECT_EQ(Joined(SpriteTable(200, 299)), Joined(want));
}

// ---- Stylus presses through the screens' touch boxes

// A press at (x, y), then the cursor.
struct TapCase {
  int x, y;
  int cursor;
};

TEST_F(ScreenTest, StylusOnTheTitleMenu) {
  ReachTitleMenu(this, app);
  const TapCase cases[] = {
      {340, 185, 0},
      {350, 235, 1},
      {460, 315, 2},
      {330, 335, 3},
      {490, 415, 4},
      // Between two items and far from all of them: nothing.
      {400, 225, kCursorNone},
      {10, 10, kCursorNone},
  };
  for (const TapCase& c : cases) {
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->title.cursor, c.cursor) << c.x << "," << c.y;
    EXPECT_EQ(app->phase, 12);
  }
  // A press on another item moves there without choosing; a second press on
  // the highlighted item chooses it.
  TapAt(350, 235);
  Frame();
  TapAt(340, 185);
  Frame();
  EXPECT_EQ(app->title.cursor, 0);
  EXPECT_EQ(app->phase, 12);
  TapAt(340, 185);
  Frame();
  EXPECT_NE(app->phase, 12);
}

TEST_F(ScreenTest, StylusOnTheConfirmationButtons) {
  // Each press differs from the one before, so none answers.
  const TapCase cases[] = {
      {300, 320, 0}, {498, 345, 1}, {200, 320, kCursorNone}, {402, 317, 1}, {350, 300, kCursorNone},
  };
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenConfirm(10);
  for (const TapCase& c : cases) {
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->confirm.cursor, c.cursor) << c.x << "," << c.y;
    EXPECT_EQ(app->gameMode, MODE_CONFIRM);
  }
  // Two presses on no answer it.
  TapAt(450, 330);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_CONFIRM);
  TapAt(450, 330);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 12);
}

TEST_F(ScreenTest, StylusOnTheQuickOptionBox) {
  const TapCase cases[] = {
      {615, 80, 0},
      {640, 110, 1},
      {700, 140, 2},
      {630, 170, 3},
      {640, 200, 4},
      {710, 245, 5},
      // Inside the box between items: nothing; outside the box: item 7.
      {580, 40, kCursorNone},
      {760, 280, kCursorNone},
      {10, 10, 7},
      {570, 100, 7},
      {620, 300, 7},
  };
  for (const TapCase& c : cases) {
    app->gameMode = MODE_STORY;
    app->OpenQuickOption();
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->quickOption.cursor, c.cursor) << c.x << "," << c.y;
    EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
    Press(IN_KEY_A);
    Frame();
    ASSERT_EQ(app->gameMode, MODE_STORY);
  }
  // A second press outside closes; a press on an item in between does not.
  app->OpenQuickOption();
  TapAt(10, 10);
  Frame();
  TapAt(640, 110);
  Frame();
  TapAt(10, 10);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
  TapAt(10, 10);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_STORY);
}

// Slider steps are reached by the stylus only: a press puts the cursor on the
// step, a second press there sets the setting and clears the cursor.
TEST_F(ScreenTest, StylusOnTheConfigurationSliders) {
  struct Case {
    int x, y;
    int step;
    int32_t GameSettings::*word;
    int value;
    int knob, knobX;
  } cases[] = {
      {543, 109, 200, &GameSettings::musicVolume, 10, 210, 528 + 13},
      {660, 118, 209, &GameSettings::musicVolume, 100, 210, 528 + 138},
      {582, 155, 213, &GameSettings::voiceVolume, 40, 212, 528 + 55},
      {595, 200, 224, &GameSettings::seVolume, 50, 214, 528 + 69},
      {530, 334, 230, &GameSettings::windowTrans, 0, 220, 528},
      {660, 340, 240, &GameSettings::windowTrans, 10, 220, 528 + 138},
  };
  app->gameMode = MODE_STORY;
  app->OpenSystemConfig();
  for (const Case& c : cases) {
    app->settings.*c.word = 70;
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->systemConfig.cursor, c.step) << c.x << "," << c.y;
    EXPECT_EQ(app->settings.*c.word, 70);
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->settings.*c.word, c.value) << c.step;
    EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone) << c.step;
    ASSERT_NE(app->sprites[c.knob], nullptr);
    EXPECT_EQ(app->sprites[c.knob]->canvasX / 1000, c.knobX) << c.step;
  }
  // Beside the steps: nothing highlighted, nothing changed.
  for (const TapCase& c : std::vector<TapCase>{{538, 109, 0}, {543, 125, 0}, {675, 109, 0}}) {
    app->settings.musicVolume = 70;
    TapAt(c.x, c.y);
    Frame();
    EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone) << c.x << "," << c.y;
    EXPECT_EQ(app->settings.musicVolume, 70);
  }
  // Keys never land on a step.
  EXPECT_EQ(Drive("dddddddd", &app->systemConfig.cursor), "0 1 2 3 4 5 6 0 ");
}

// ---- Thumbnails of another screen size

// The 320 x 240 configuration writes 64 x 48 thumbnails; shown on the
// 640 x 480 screen the thumbnail sprite still asks for 160 x 120 units, and
// the composition draws only the picture.
TEST_F(SaveScreenTest, SmallThumbnailIsDrawnClippedToItsPicture) {
  Canvas800 canvas;
  UsePicturePack();
  ASSERT_TRUE(WriteFileBytes(dir + "/save001.dat", MakeSaveFile(3, "2026-12-10 17:30:08", "fst_1216_a1_cmn", 64, 48)));
  app->dirty->SetSize(640, 480);
  app->saveSlots.newest = -1;
  app->saveSlots.newestAuto = -1;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  auto pixel = [this](int x, int y) { return app->screen->GetPixels()[y * 640 + x]; };
  Compose();
  // Inside the thumbnail's 64 x 48 pixels, and inside the asked 128 x 96
  // pixels but beyond the picture.
  struct Point {
    int x, y;
    bool inside;
  } points[] = {{175, 207, true},  {234, 207, true},  {175, 250, true},  {234, 250, true},
                {240, 207, false}, {290, 290, false}, {175, 255, false}, {200, 290, false}};
  std::vector<uint16_t> before;
  for (const Point& p : points) before.push_back(pixel(p.x, p.y));
  EXPECT_EQ(Keys("d"), "2 ");
  ASSERT_NE(app->pictures[227], nullptr);
  EXPECT_EQ(app->pictures[227]->width, 64u);
  EXPECT_EQ(app->pictures[227]->height, 48u);
  ASSERT_EQ(SpriteTable(240, 240), (std::vector<std::string>{"240  0,0 160x120 @216,256 p4 l256 v1"}));
  Compose();
  const uint16_t thumb = app->pictures[227]->GetPixels()[0];
  for (size_t i = 0; i < std::size(points); ++i) {
    const Point& p = points[i];
    EXPECT_EQ(pixel(p.x, p.y), p.inside ? thumb : before[i]) << p.x << "," << p.y;
  }
}
