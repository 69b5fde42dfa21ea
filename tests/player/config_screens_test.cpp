// The configuration screens and the character choosers against a recording
// mixer: the live channel volumes of the sliders, the system voices played,
// the choosers' and the voice configuration's sprite tables and stylus
// presses, and what velmi.cfg stores afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player/app/startup.h"
#include "player/core/ini_store.h"
#include "player/core/settings.h"
#include "player/screens/screen_common.h"
#include "tests/player/recording_mixer.h"
#include "tests/player/screen_fixture.h"

namespace {

using Calls = std::vector<std::string>;

class ConfigScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    mixer.detail = false;
    app->soundRequests.SetPort(&mixer);
    app->settings.masterVolume = 80;
    for (int32_t& v : app->settings.charVoiceUse) v = 1;
  }
  // A stylus press in the middle of a w x h box at (x, y).
  void TapBox(int x, int y, int w, int h) { TapAt(x + w / 2, y + h / 2); }
  // Two presses on one point: the first highlights, the second chooses.
  void TapTwice(int x, int y) {
    for (int i = 0; i < 2; ++i) {
      TapAt(x, y);
      Frame();
    }
  }
  RecordingMixer mixer;
};

// Slider steps are set by the stylus alone (a press selects the step, a
// second press sets it), and the playing channels take the new volume in the
// same frame: MASTER_VOL x value / 100 on channel 0 (music, while a track and
// no movie play), 10 (effects, while one is current) and 20 (voices, always).
TEST_F(ConfigScreenTest, SlidersSetTheLiveChannelVolumes) {
  struct Case {
    int step;  // 200 + i music, 210 + i voice, 220 + i effects, 230 + i window
    int track, effect, movie;
    Calls calls;
  } cases[] = {
      {204, 3, -1, 0, {"volume 0 40"}},  // MUSIC_VOL 50
      {209, 3, 2, 0, {"volume 0 80"}},
      {204, -1, 2, 0, {}},  // no track
      {204, 3, -1, 1, {}},  // a movie holds channel 0
      {210, -1, -1, 0, {"volume 20 8"}},
      {219, -1, -1, 1, {"volume 20 80"}},  // even when nothing plays there
      {222, 3, 5, 0, {"volume 10 24"}},
      {222, 3, -1, 0, {}},  // no effect
      {235, 3, 5, 0, {}},   // the window slider is no volume
  };
  app->gameMode = MODE_STORY;
  app->OpenSystemConfig();
  for (const Case& c : cases) {
    app->sound.currentTrack = c.track;
    app->sound.currentEffect = c.effect;
    mixer.moviePlaying = c.movie;
    const int i = c.step % 10 + (c.step == 240 ? 10 : 0);
    const int row = c.step < 210 ? 107 : c.step < 220 ? 152 : c.step < 230 ? 197 : 332;
    const int left = c.step < 230 ? 541 : 528;
    TapBox(left + 13 * i, row, 13, 14);
    Frame();
    EXPECT_EQ(app->systemConfig.cursor, c.step);
    EXPECT_TRUE(mixer.Take().empty()) << c.step;
    TapBox(left + 13 * i, row, 13, 14);
    Frame();
    EXPECT_EQ(mixer.Take(), c.calls) << c.step << " track " << c.track << " effect " << c.effect;
    EXPECT_EQ(app->systemConfig.cursor, kConfigCursorNone) << c.step;
  }
  EXPECT_EQ(app->settings.musicVolume, 50);
  EXPECT_EQ(app->settings.voiceVolume, 100);
  EXPECT_EQ(app->settings.seVolume, 30);
  EXPECT_EQ(app->settings.windowTrans, 5);
}

// The system voices of the chooser and the voice configuration name the
// character pictured: the chooser's icon k speaks character k's voice 12;
// the voice configuration's cell k speaks voice 12 (on) or 13 (off), cells 9
// and 10 each through the other character's row.
TEST_F(ConfigScreenTest, SystemVoicesOfTheChooserAndTheVoiceConfiguration) {
  struct Case {
    int k;
    const char* chooser;  // what choosing icon k plays
    const char* off;      // what switching cell k off plays
    const char* on;
  } cases[] = {
      {0, "VOICE\\vlm\\sys_vlm_12.mp3", "VOICE\\vlm\\sys_vlm_13.mp3", "VOICE\\vlm\\sys_vlm_12.mp3"},
      {9, "VOICE\\adw\\sys_adw_12.mp3", "VOICE\\hdk\\sys_hdk_13.mp3", "VOICE\\hdk\\sys_hdk_12.mp3"},
      {10, "VOICE\\hdk\\sys_hdk_12.mp3", "VOICE\\adw\\sys_adw_13.mp3", "VOICE\\adw\\sys_adw_12.mp3"},
      {15, "VOICE\\qor\\sys_qor_12.mp3", "VOICE\\qor\\sys_qor_13.mp3", "VOICE\\qor\\sys_qor_12.mp3"},
  };
  for (const Case& c : cases) {
    app->gameMode = MODE_TITLE;
    app->phase = 12;
    app->OpenSystemConfig();
    // The portrait opens the chooser without a voice.
    TapTwice(200, 360);
    ASSERT_EQ(app->gameMode, MODE_MASCOT_VOICE);
    EXPECT_TRUE(mixer.Take().empty());
    TapTwice(248 + 82 * (c.k % 4) + 30, 136 + 82 * (c.k / 4) + 30);
    EXPECT_EQ(app->gameMode, MODE_SYSTEM_CONFIG);
    EXPECT_EQ(mixer.Take(), Calls{std::string("open 20 ") + c.chooser}) << c.k;
    // Into the voice configuration: cell k off, then on again.
    TapTwice(560, 385);
    ASSERT_EQ(app->gameMode, MODE_VOICE_CONFIG);
    const int x = 288 + 90 * (c.k % 4) + 36, y = 120 + 90 * (c.k / 4) + 36;
    TapTwice(x, y);
    EXPECT_EQ(app->settings.charVoiceUse[c.k], 0) << c.k;
    EXPECT_EQ(mixer.Take(), Calls{std::string("open 20 ") + c.off}) << c.k;
    Press(IN_KEY_C);
    Frame();
    EXPECT_EQ(app->settings.charVoiceUse[c.k], 1) << c.k;
    EXPECT_EQ(mixer.Take(), Calls{std::string("open 20 ") + c.on}) << c.k;
    // All off and all on are silent.
    TapTwice(100, 278);
    TapTwice(100, 208);
    EXPECT_TRUE(mixer.Take().empty());
    Drive("aa");
    EXPECT_EQ(app->gameMode, MODE_TITLE);
  }
}

// The title's items that open the load, extras and configuration screens
// speak the MASCOT_VOICE character's voices 5, 6 and 10 (character 9
// through its crossed row).
TEST_F(ConfigScreenTest, TitleItemsSpeakTheSystemVoiceCharacter) {
  app->settings.mascotVoice = 9;
  struct Case {
    const char* keys;
    const char* voice;
    int mode;
  } cases[] = {
      {"ddc", "VOICE\\adw\\sys_adw_05.mp3", MODE_SAVE_LOAD},
      {"dddc", "VOICE\\adw\\sys_adw_06.mp3", MODE_TITLE},
      {"ddddc", "VOICE\\adw\\sys_adw_10.mp3", MODE_SYSTEM_CONFIG},
  };
  for (const Case& c : cases) {
    ReachTitleMenu(this, app);
    ASSERT_EQ(app->phase, 12);
    const Calls shown = mixer.Take();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "open 20 VOICE\\adw\\sys_adw_02.mp3"), shown.end());
    Drive(c.keys);
    EXPECT_EQ(mixer.Take(), Calls{std::string("open 20 ") + c.voice}) << c.keys;
    EXPECT_EQ(app->gameMode, c.mode) << c.keys;
    if (c.mode != MODE_TITLE) Drive("a");
  }
}

// ---- Character choice screens

// The chooser's sprites from the columns of its layout: the panel in slot
// 299 and icon k in slot 280 + k, all at priority 3.
struct ChooserColumns {
  int mode;
  const char* picture;
  int panelSx, panelSy, panelW, panelH, panelX, panelY;
  int icon, normalY, highlightY, left, stepX, top, stepY;
};
const ChooserColumns kChoosers[] = {
    {MODE_MASCOT_VOICE, "systemconfig_chip00.rbp", 0, 144, 400, 392, 208, 96, 72, 536, 608, 248, 82, 136, 82},
    {MODE_SAVE_ICON, "charactericom.rbp", 0, 0, 312, 312, 48, 160, 56, 313, 369, 80, 65, 192, 64},
};

std::string IconLine(const ChooserColumns& c, int k, bool highlighted) {
  char line[160];
  std::snprintf(line, sizeof line, "%d %s %d,%d %dx%d @%d,%d p3 l256 v1", 280 + k, c.picture, c.icon * k,
                highlighted ? c.highlightY : c.normalY, c.icon, c.icon, c.left + c.stepX * (k % 4),
                c.top + c.stepY * (k / 4));
  return line;
}

class ChooserTest : public ConfigScreenTest {
 protected:
  // Opens the chooser over its screen, with its pictures loaded.
  void Open(const ChooserColumns& c) {
    app->settings.mascotVoice = 2;
    app->settings.saveMascotIcon = 4;
    app->gameMode = MODE_QUICK_OPTION;
    if (c.mode == MODE_MASCOT_VOICE) {
      app->OpenSystemConfig();
      app->OpenMascotVoiceScreen();
    } else {
      app->OpenSaveLoad(0);
      app->saveLoad.chosenRow = 3;
      app->OpenSaveIconScreen();
    }
    ASSERT_EQ(app->gameMode, c.mode);
  }
  // The centre of icon k.
  void TapIcon(const ChooserColumns& c, int k) {
    TapBox(c.left + c.stepX * (k % 4), c.top + c.stepY * (k / 4), c.icon, c.icon);
  }
  int32_t Selection(const ChooserColumns& c) {
    return c.mode == MODE_MASCOT_VOICE ? app->characterChoice.selection : app->saveLoad.cursor;
  }
};

TEST_F(ChooserTest, SpriteTables) {
  UsePicturePack();
  for (const ChooserColumns& c : kChoosers) {
    Open(c);
    std::vector<std::string> want;
    for (int k = 0; k < 16; ++k) want.push_back(IconLine(c, k, false));
    char panel[160];
    std::snprintf(panel, sizeof panel, "299 %s %d,%d %dx%d @%d,%d p3 l256 v1", c.picture, c.panelSx, c.panelSy,
                  c.panelW, c.panelH, c.panelX, c.panelY);
    want.push_back(panel);
    EXPECT_EQ(Joined(SpriteTable(280, 299)), Joined(want)) << c.mode;
    // The first press on an icon only highlights it; a press on another
    // moves the highlight.
    TapIcon(c, 6);
    Frame();
    EXPECT_EQ(SpriteTable(286, 286)[0], IconLine(c, 6, true));
    TapIcon(c, 13);
    Frame();
    EXPECT_EQ(SpriteTable(286, 286)[0], IconLine(c, 6, false));
    EXPECT_EQ(SpriteTable(293, 293)[0], IconLine(c, 13, true));
    EXPECT_EQ(app->gameMode, c.mode);
    Press(IN_KEY_A);
    Frame();
    EXPECT_TRUE(SpriteTable(280, 299).empty()) << c.mode;
  }
}

// Stylus presses: a second press on the highlighted icon chooses it and
// changes the setting the chooser governs; a press inside the panel between
// icons clears the highlight (KEY_C then does nothing); a press outside
// selects back and a second one leaves, like KEY_A, with the setting kept.
TEST_F(ChooserTest, StylusChoosesOrLeaves) {
  UsePicturePack();
  enum Outcome { STAYS, LEAVES, CHOSEN };
  struct Case {
    const char* presses;  // 0-9, a-f: icons; b: between icons; o: outside the panel; C: KEY_C; A: KEY_A
    Outcome outcome;
    int chosen;  // the setting after (2 mascot, 4 icon when none is chosen)
  } cases[] = {
      {"77", CHOSEN, 7},   {"7e", STAYS, -1},  {"7ee", CHOSEN, 14}, {"7bC", STAYS, -1}, {"7o", STAYS, -1},
      {"7oo", LEAVES, -1}, {"oC", LEAVES, -1}, {"7A", LEAVES, -1},  {"bb", STAYS, -1},  {"7C", CHOSEN, 7},
  };
  for (const ChooserColumns& col : kChoosers) {
    const bool voice = col.mode == MODE_MASCOT_VOICE;
    const int none = voice ? kConfigCursorNone : kCursorNone;
    for (const Case& c : cases) {
      Open(col);
      for (const char* p = c.presses; *p && app->gameMode == col.mode; ++p) {
        if (*p == 'C') {
          Press(IN_KEY_C);
        } else if (*p == 'A') {
          Press(IN_KEY_A);
        } else if (*p == 'b') {
          TapAt(col.left + col.icon + 4, col.top + 10);
        } else if (*p == 'o') {
          TapAt(col.panelX + col.panelW + 20, col.panelY + 20);
        } else {
          TapIcon(col, *p <= '9' ? *p - '0' : *p - 'a' + 10);
        }
        Frame();
        if (app->gameMode != col.mode) break;
        if (*p == 'b') {
          EXPECT_EQ(Selection(col), none) << c.presses;
        }
        if (*p == 'o') {
          EXPECT_EQ(Selection(col), 16) << c.presses;
        }
      }
      const int mascot = voice && c.outcome == CHOSEN ? c.chosen : 2;
      const int icon = !voice && c.outcome == CHOSEN ? c.chosen : 4;
      EXPECT_EQ(app->settings.mascotVoice, mascot) << c.presses;
      EXPECT_EQ(app->settings.saveMascotIcon, icon) << c.presses;
      const int back = voice ? MODE_SYSTEM_CONFIG : MODE_SAVE_LOAD;
      const int after = c.outcome == STAYS ? col.mode : c.outcome == LEAVES || voice ? back : MODE_CONFIRM;
      EXPECT_EQ(app->gameMode, after) << c.presses;
      if (after == MODE_CONFIRM) {
        EXPECT_EQ(app->confirm.question, 120);
      }
      // The portrait shows the system-voice character after the chooser.
      if (voice && after == back) {
        ASSERT_NE(app->sprites[201], nullptr);
        EXPECT_EQ(app->sprites[201]->srcLeft, 104 * mascot) << c.presses;
      }
      if (app->gameMode == MODE_CONFIRM) Drive("a");
      if (app->gameMode == col.mode) Drive("a");
      if (app->gameMode == MODE_SAVE_LOAD || app->gameMode == MODE_SYSTEM_CONFIG) Drive("a");
      ASSERT_EQ(app->gameMode, MODE_QUICK_OPTION) << c.presses;
    }
  }
}

// ---- Voice configuration

// Cell k: (72 k, 1 on or 217 off; 72 lower when highlighted), 72 x 71, at
// (288 + 90 (k mod 4), 120 + 90 (k div 4)).
std::string CellLine(int k, bool on, bool highlighted) {
  char line[160];
  std::snprintf(line, sizeof line, "%d voiceconfig_chip01.rbp %d,%d 72x71 @%d,%d p4 l256 v1", 210 + k, 72 * k,
                (on ? 1 : 217) + (highlighted ? 72 : 0), 288 + 90 * (k % 4), 120 + 90 * (k / 4));
  return line;
}

class VoiceConfigTest : public ConfigScreenTest {
 protected:
  void Open() {
    app->gameMode = MODE_TITLE;
    app->phase = 12;
    app->OpenSystemConfig();
    app->systemConfig.cursor = 5;
    Press(IN_KEY_C);
    Frame();
    ASSERT_EQ(app->gameMode, MODE_VOICE_CONFIG);
  }
};

TEST_F(VoiceConfigTest, SpriteTableShowsEachCharactersSetting) {
  UsePicturePack();
  app->settings.charVoiceUse[3] = 0;
  app->settings.charVoiceUse[9] = 0;
  Open();
  std::vector<std::string> want = {
      "200 voiceconfig_BG00.rbp 0,0 800x600 @0,0 p5 l256 v1",
      "201 voiceconfig_chip00.rbp 352,1 176x31 @55,334 p4 l256 v1",
      "202 voiceconfig_chip00.rbp 176,1 176x31 @55,193 p4 l256 v1",
      "203 voiceconfig_chip00.rbp 0,1 176x31 @55,263 p4 l256 v1",
  };
  for (int k = 0; k < 16; ++k) want.push_back(CellLine(k, k != 3 && k != 9, false));
  EXPECT_EQ(Joined(SpriteTable(200, 299)), Joined(want));
  // The highlight of a cell follows the row of its setting; the buttons'
  // highlighted cells lie at y 33.
  EXPECT_EQ(Drive("dddd", &app->voiceConfig.cursor), "0 1 2 3 ");
  EXPECT_EQ(SpriteTable(213, 213)[0], CellLine(3, false, true));
  EXPECT_EQ(SpriteTable(212, 212)[0], CellLine(2, true, false));
  TapAt(100, 208);
  Frame();
  EXPECT_EQ(SpriteTable(202, 202)[0], "202 voiceconfig_chip00.rbp 176,33 176x31 @55,193 p4 l256 v1");
  EXPECT_EQ(SpriteTable(213, 213)[0], CellLine(3, false, false));
}

// Each cell switches its own character's setting, by stylus or by key, and
// keeps its highlight in the row of the new state; velmi.cfg then stores
// CHAR_VOICE_USE of setting number k + 1.
TEST_F(VoiceConfigTest, CellsSwitchTheirCharacterAndVelmiCfgStoresIt) {
  UsePicturePack();
  struct Case {
    int k;
    bool stylus;
  } cases[] = {{0, true}, {9, true}, {10, false}, {15, false}, {4, true}};
  Open();
  for (const Case& c : cases) {
    int32_t was[16];
    for (int j = 0; j < 16; ++j) was[j] = app->settings.charVoiceUse[j];
    if (c.stylus) {
      TapTwice(288 + 90 * (c.k % 4) + 36, 120 + 90 * (c.k / 4) + 36);
    } else {
      app->voiceConfig.cursor = c.k == 0 ? 18 : c.k - 1;
      Drive("dc");
    }
    for (int j = 0; j < 16; ++j)
      EXPECT_EQ(app->settings.charVoiceUse[j], j == c.k ? 1 - was[j] : was[j]) << "cell " << c.k << " setting " << j;
    EXPECT_EQ(app->voiceConfig.cursor, c.k);
    EXPECT_EQ(SpriteTable(210 + c.k, 210 + c.k)[0], CellLine(c.k, app->settings.charVoiceUse[c.k] != 0, true));
  }
  std::string folder = MakeTempDir("voicecfg") + "/";
  std::string win = folder;
  for (char& ch : win)
    if (ch == '/') ch = '\\';
  std::snprintf(app->programFolder, sizeof app->programFolder, "%s", win.c_str());
  SaveConfig(app);
  ASSERT_EQ(IniStore::Flush(), 1);
  const Bytes file = ReadFileBytes(folder + "velmi.cfg");
  const std::string text(file.begin(), file.end());
  for (int k = 0; k < 16; ++k) {
    char line[32];
    std::snprintf(line, sizeof line, "CHAR_VOICE_USE_%02d=%d\r\n", k + 1, app->settings.charVoiceUse[k]);
    EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
  }
  EXPECT_NE(text.find("CHAR_VOICE_USE_10=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("CHAR_VOICE_USE_11=0\r\n"), std::string::npos);
}

}  // namespace
