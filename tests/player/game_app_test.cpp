// The application object's game members: the mode table and its dispatch,
// the records of each topic after construction, and the settings table of
// velmi.cfg.
#include <gtest/gtest.h>

#include <velmi_device.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "player/app/config_settings.h"
#include "player/app/game_app.h"
#include "player/core/display.h"
#include "tests/support/mode_table.h"

namespace {

const int kAllModes[] = {MODE_TITLE,     MODE_MAP,           MODE_ALARM,         MODE_MINIGAME,     MODE_QUICK_OPTION,
                         MODE_CONFIRM,   MODE_SYSTEM_CONFIG, MODE_MASCOT_VOICE,  MODE_VOICE_CONFIG, MODE_SAVE_LOAD,
                         MODE_SAVE_ICON, MODE_LOAD,          MODE_BACK_TO_TITLE, MODE_CG,           MODE_SCENE_REPLAY,
                         MODE_MUSIC,     MODE_INTERVIEW,     MODE_STORY,         MODE_QUIT};

class GameAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
  }
  void TearDown() override { delete app; }
  CGameApp* app = nullptr;
};

// Records the mode and phase each call saw.
std::string g_calls;
int Record(CGameApp* app) {
  g_calls += std::to_string(app->gameMode) + "/" + std::to_string(app->phase) + " ";
  ++app->phase;
  return 1;
}

TEST(ModeTable, EveryModeOnceWithItsHandler) {
  std::set<int> seen;
  for (const ModeEntry& e : CGameApp::modeTable) {
    EXPECT_TRUE(seen.insert(e.mode).second) << "mode " << e.mode << " twice";
    EXPECT_EQ(e.handler == nullptr, e.mode == MODE_QUIT) << "mode " << e.mode;
  }
  EXPECT_EQ(seen, std::set<int>(std::begin(kAllModes), std::end(kAllModes)));
  for (int unknown : {-1, 1, 5, 98, 100, 998, 1000}) EXPECT_EQ(CGameApp::FindModeHandler(unknown), nullptr) << unknown;
}

TEST_F(GameAppTest, DispatchRunsTheCurrentModesEntryOnce) {
  std::vector<std::unique_ptr<ScopedModeHandler>> replaced;
  for (int mode : kAllModes) replaced.push_back(std::make_unique<ScopedModeHandler>(mode, Record));
  struct Case {
    int mode, phase;
    const char* calls;
  } cases[] = {
      {MODE_TITLE, 0, "0/0 "},
      {MODE_STORY, 3, "99/3 "},
      {MODE_CONFIRM, 0, "35/0 "},
      {MODE_INTERVIEW, 7, "83/7 "},
      {MODE_QUIT, 0, "999/0 "},  // replaced here; the production table runs nothing for it
      {998, 0, ""},
      {-1, 0, ""},
      {64, 2, ""},
  };
  for (const Case& c : cases) {
    g_calls.clear();
    app->gameMode = c.mode;
    app->phase = c.phase;
    app->DispatchMode();
    EXPECT_EQ(g_calls, c.calls) << "mode " << c.mode;
  }
  replaced.clear();
  // Restored: the quit mode runs nothing again.
  EXPECT_EQ(CGameApp::FindModeHandler(MODE_QUIT), nullptr);
  EXPECT_NE(CGameApp::FindModeHandler(MODE_TITLE), &Record);
}

TEST_F(GameAppTest, ConstructionStartsEveryTopicEmpty) {
  EXPECT_EQ(app->errorWord, 0u);
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 0);
  EXPECT_EQ(app->saveAllowed, 1);
  EXPECT_EQ(app->loadAllowed, 1);
  EXPECT_EQ(app->sound.currentTrack, -1);
  EXPECT_EQ(app->sound.currentEffect, -1);
  EXPECT_EQ(app->message.highlightedButton, -1);
  EXPECT_EQ(app->saveSlots.newest, -1);
  EXPECT_EQ(app->saveSlots.newestAuto, -1);
  EXPECT_EQ(app->script.HasCode(), 0);
  ASSERT_NE(app->systemData.block, nullptr);
  EXPECT_EQ(app->systemData.block->nodeCount, 0u);
  EXPECT_EQ(app->systemData.block->recordCount, 0u);
  const uint8_t* block = reinterpret_cast<const uint8_t*>(&app->saveState);
  for (size_t i = 0; i < sizeof app->saveState; ++i) ASSERT_EQ(block[i], 0) << i;
  for (int16_t v : g_ScriptVariables) ASSERT_EQ(v, 0);
}

TEST(ConfigSettings, ReadAndWriteOrdersNameTheTable) {
  VelmiDeviceReset();
  const CGameApp app;
  std::set<std::string> read, written;
  for (int i = 0; i < kConfigReadCount; ++i) {
    EXPECT_NE(FindConfigSetting(kConfigReadOrder[i]), nullptr) << kConfigReadOrder[i];
    EXPECT_TRUE(read.insert(kConfigReadOrder[i]).second) << kConfigReadOrder[i] << " read twice";
  }
  for (int i = 0; i < kConfigWriteCount; ++i) {
    const ConfigSetting* s = FindConfigSetting(kConfigWriteOrder[i]);
    ASSERT_NE(s, nullptr) << kConfigWriteOrder[i];
    EXPECT_TRUE(s->word != nullptr || s->step == SettingStep::kFontName) << s->key;
    EXPECT_TRUE(written.insert(kConfigWriteOrder[i]).second) << kConfigWriteOrder[i] << " written twice";
  }
  // Every setting is read; all but the two the user keeps are written.
  EXPECT_EQ(int(read.size()), kConfigSettingCount);
  for (int i = 0; i < kConfigSettingCount; ++i) {
    const std::string key = kConfigSettings[i].key;
    EXPECT_EQ(written.count(key), key == "MEM_STREAM" || key == "DEVICE_VOL" ? 0u : 1u) << key;
    // Defaults lie within their range.
    const ConfigSetting& s = kConfigSettings[i];
    if (s.rule == SettingRule::kRange) {
      EXPECT_EQ(ApplySettingRule(s, s.defaultValue, app), s.defaultValue) << key;
    }
  }
}

TEST(ConfigSettings, StartupRules) {
  VelmiDeviceReset();
  CGameApp app;
  struct Case {
    const char* key;
    int32_t read, applied;
  } cases[] = {
      {"MASTER_VOL", 5, 100},      {"MASTER_VOL", 120, 100},     {"MASTER_VOL", 10, 10},
      {"MOV_VOL", 100, 100},       {"TITLE_IMAGE_MODE", -5, 1},  {"TITLE_IMAGE_MODE", 7, 3},
      {"MESSAGE_SADOW", 9, 1},     {"VGA_QUALITY", -1, 1},       {"MEM_STREAM", 0, 0},
      {"CG_MODE_CHAR", -1, 0},     {"CG_MODE_CHAR", 8, 0},       {"CG_MODE_CHAR", 7, 7},
      {"CG_MODE_PAGE", 2, 0},      {"CG_MODE_PAGE", 1, 1},       {"EV_MODE_CHAR", 8, 0},
      {"READ_SKIP", 7, 7},         {"WINDOW_TRANS", 11, 5},      {"WINDOW_TRANS", 0, 0},
      {ANTIALIAS_KEY, 4, 0},       {ANTIALIAS_KEY, 3, 3},        {"MASCOT_VOICE", 15, 15},
      {"MASCOT_VOICE", 16, 0},     {"SAVE_MASCOT_ICON", 15, 15}, {"SAVE_MASCOT_ICON", -1, 0},
      {"KET_CUR_MODE", 9, 9},      {"KEY_CEN_CTRL", 77, 77},     {"MESSAGE_SPEED", 10, 1},
      {"MESSAGE_AUTO_ONE", 10, 0},
  };
  for (const Case& c : cases) {
    const ConfigSetting* s = FindConfigSetting(c.key);
    ASSERT_NE(s, nullptr) << c.key;
    EXPECT_EQ(ApplySettingRule(*s, c.read, app), c.applied) << c.key << " " << c.read;
  }
  // A scene replay page is kept below the page count of the tab read before
  // it (12, 11, 9, 11, 11, 12, 29, 4 pages); others become 0.
  const struct {
    int tab;
    int32_t read, applied;
  } pages[] = {
      {0, 11, 11}, {0, 12, 0},  {0, -1, 0}, {2, 8, 8}, {2, 9, 0}, {6, 24, 24},
      {6, 25, 25}, {6, 28, 28}, {6, 29, 0}, {7, 3, 3}, {7, 4, 0}, {6, 100, 0},
  };
  const ConfigSetting* page = FindConfigSetting("EV_MODE_PAGE");
  ASSERT_NE(page, nullptr);
  for (const auto& p : pages) {
    app.sceneReplay.tab = p.tab;
    EXPECT_EQ(ApplySettingRule(*page, p.read, app), p.applied) << "tab " << p.tab << " page " << p.read;
  }
}

}  // namespace
