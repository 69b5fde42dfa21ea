// The game object's transitions and effects frame by frame on the fake
// clock: set-up, end states, the cut-short rule, the white flash and the
// shake.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/media/transition.h"
#include "tests/player/rbp_builder.h"

namespace {

class ScreenEffectsTest : public testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiClockUseFake(20000);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    app = new CGameApp;
    app->settings.effectUse = 1;
    app->settings.skipRunning = 0;
  }
  void TearDown() override {
    delete app;
    VelmiClockUseReal();
  }
  // Runs one frame of an effect: the instruction's frame counter counts.
  template <typename F>
  int Frame(F&& effect, DWORD advance = 16) {
    if (app->story.frameCounter > 0) VelmiClockAdvance(advance);
    const int done = effect();
    ++app->story.frameCounter;
    return done;
  }
  void StartInstruction() { app->story.frameCounter = 0; }
  std::string RulePack() {
    const std::string dir = MakeTempDir("effects");
    const std::vector<uint8_t> alpha(640 * 480, 255);
    EXPECT_TRUE(WritePack(dir + "/grp.mlz",
                          {{"AdvData\\grp\\SYSTEM\\eff.rbp", MakeRbpJbp1Flat(640, 480, 0, &alpha, 800, 600)}}, true));
    return dir + "/grp.mlz";
  }
  CGameApp* app = nullptr;
};

TEST_F(ScreenEffectsTest, WithEffectsOffATransitionEndsOnItsSecondFrame) {
  app->settings.effectUse = 0;
  auto fade = [&] { return app->CrossFade(1000); };
  auto wipe = [&] { return app->MaskWipe(1, 1000); };
  StartInstruction();
  EXPECT_EQ(Frame(fade), 0);
  EXPECT_EQ(Frame(fade), 1);
  StartInstruction();
  EXPECT_EQ(Frame(wipe), 0);
  EXPECT_NE(app->transition, nullptr);
  EXPECT_EQ(Frame(wipe), 1);
  EXPECT_EQ(app->transition, nullptr);
}

TEST_F(ScreenEffectsTest, MaskWipeRunsUntilCutShort) {
  struct Case {
    const char* name;
    void (*press)(CGameApp*);
  } cases[] = {
      {"tap", [](CGameApp* a) { a->input.tap = 1; }},
      {"fresh RIGHT", [](CGameApp* a) { a->input.count[IN_RIGHT] = 1; }},
      {"fresh KEY_C", [](CGameApp* a) { a->input.count[IN_KEY_C] = 1; }},
      {"LEFT held", [](CGameApp* a) { a->input.count[IN_LEFT] = 5; }},
      {"skipping", [](CGameApp* a) { a->settings.skipRunning = 1; }},
      {"effects switched off", [](CGameApp* a) { a->settings.effectUse = 0; }},
  };
  for (const Case& c : cases) {
    app->input = InputState{};
    app->settings.effectUse = 1;
    app->settings.skipRunning = 0;
    auto wipe = [&] { return app->MaskWipe(2, 1000); };
    StartInstruction();
    ASSERT_EQ(Frame(wipe), 0) << c.name;
    ASSERT_NE(app->transition, nullptr);
    EXPECT_EQ(app->transition->Mode(), TRANSITION_SOFT_WIPE);
    // A held RIGHT (count above 1) does not cut it short.
    app->input.count[IN_RIGHT] = 3;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(Frame(wipe), 0) << c.name;
    c.press(app);
    EXPECT_EQ(Frame(wipe), 1) << c.name;
    EXPECT_EQ(app->transition, nullptr) << c.name;
    EXPECT_EQ(app->input.tap, 0u) << c.name;
    EXPECT_NE(app->input.count[IN_KEY_C], 1u) << c.name;
  }
}

TEST_F(ScreenEffectsTest, TransitionFreedByTheCompositionEndsTheEffect) {
  auto wipe = [&] { return app->MaskWipe(1, 300); };
  StartInstruction();
  ASSERT_EQ(Frame(wipe), 0);
  // The composition applies it until its time is over, then frees it.
  std::vector<uint16_t> fresh(640 * 480, 0xFFFF), old(640 * 480, 0);
  VelmiClockAdvance(300);
  ASSERT_EQ(app->transition->Apply(fresh.data(), old.data()), 0);
  app->transition->FreeMask();
  delete app->transition;
  app->transition = nullptr;
  EXPECT_EQ(Frame(wipe), 1);
}

TEST_F(ScreenEffectsTest, RuleTransitionsThatCannotStartFinishAtOnce) {
  // No picture pack path: the rule does not load.
  auto rule = [&] { return app->RuleTransition(2, 2000); };
  StartInstruction();
  EXPECT_EQ(Frame(rule), 1);
  EXPECT_EQ(app->transition, nullptr);
  app->BeginRuleTransition(1);
  EXPECT_EQ(app->transition, nullptr);
  // A mask wipe of an unknown kind draws kind 1's wipe.
  auto odd = [&] { return app->MaskWipe(9, 500); };
  StartInstruction();
  EXPECT_EQ(Frame(odd), 0);
  ASSERT_NE(app->transition, nullptr);
  EXPECT_EQ(app->transition->Mask()[639], 639 * 256 / 640);
}

// A rule picture the pack lists but that does not load is damaged data: one
// box a run names it; a pack without one tells nothing.
TEST_F(ScreenEffectsTest, DamagedRulePictureIsToldOnce) {
  const std::string dir = MakeTempDir("effects");
  const std::vector<uint8_t> alpha(640 * 480, 255);
  std::vector<uint8_t> cut = MakeRbpJbp1Flat(640, 480, 0, &alpha, 800, 600);
  cut.resize(cut.size() / 2);
  ASSERT_TRUE(WritePack(dir + "/none.mlz", {{"AdvData\\grp\\SYSTEM\\other.rbp", cut}}, true));
  ASSERT_TRUE(WritePack(dir + "/cut.mlz", {{"AdvData\\grp\\SYSTEM\\eff.rbp", cut}}, true));
  const size_t before = VelmiDeviceMessageBoxes().size();
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", (dir + "/none.mlz").c_str());
  auto rule = [&] { return app->RuleTransition(2, 2000); };
  StartInstruction();
  EXPECT_EQ(Frame(rule), 1);
  EXPECT_EQ(VelmiDeviceMessageBoxes().size(), before);
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", (dir + "/cut.mlz").c_str());
  StartInstruction();
  EXPECT_EQ(Frame(rule), 1);
  // The rule transition tells it in its own frame; the call that begins one
  // after it tells nothing more.
  const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  EXPECT_NE(boxes.back().find("AdvData/grp/SYSTEM/eff.rbp"), std::string::npos) << boxes.back();
  app->BeginRuleTransition(1);
  EXPECT_EQ(app->transition, nullptr);
  EXPECT_EQ(VelmiDeviceMessageBoxes().size(), before + 1);
}

// A rule picture the pack lists without bytes (the converter could not make
// it) is told once a run as a picture whose conversion failed; the
// transition runs without it and finishes at once.
TEST_F(ScreenEffectsTest, UnconvertedRulePictureIsToldOnce) {
  const std::string dir = MakeTempDir("effects");
  ASSERT_TRUE(WritePack(dir + "/none.mlz", {{"AdvData\\grp\\SYSTEM\\eff.rbp", {}}}, true));
  const size_t before = VelmiDeviceMessageBoxes().size();
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", (dir + "/none.mlz").c_str());
  auto rule = [&] { return app->RuleTransition(2, 2000); };
  StartInstruction();
  EXPECT_EQ(Frame(rule), 1);
  EXPECT_EQ(app->transition, nullptr);
  app->BeginRuleTransition(1);
  EXPECT_EQ(app->transition, nullptr);
  const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  // 変換に失敗した画像: the rule picture's entry.
  EXPECT_NE(boxes.back().find("\xe5\xa4\x89\xe6\x8f\x9b\xe3\x81\xab\xe5\xa4\xb1\xe6\x95\x97\xe3\x81\x97\xe3\x81\x9f"
                              "\xe7\x94\xbb\xe5\x83\x8f: AdvData/grp/SYSTEM/eff.rbp\n"),
            std::string::npos)
      << boxes.back();
  EXPECT_NE(boxes.back().find("convert_game --screen 640x480"), std::string::npos) << boxes.back();
}

TEST_F(ScreenEffectsTest, BeginRuleTransitionRunsWithoutACaller) {
  const std::string pack = RulePack();
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", pack.c_str());
  app->BeginRuleTransition(3);
  ASSERT_NE(app->transition, nullptr);
  EXPECT_EQ(app->transition->Mode(), 13);
  EXPECT_EQ(app->transition->DurationMs(), 2000);
  std::vector<uint16_t> fresh(640 * 480, 0xFFFF), old(640 * 480, 0);
  VelmiClockAdvance(1999);
  EXPECT_EQ(app->transition->Apply(fresh.data(), old.data()), 1);
  VelmiClockAdvance(1);
  EXPECT_EQ(app->transition->Apply(fresh.data(), old.data()), 0);
  app->transition->FreeMask();
  delete app->transition;
  app->transition = nullptr;
}

TEST_F(ScreenEffectsTest, WhiteFlashHoldsThenFades) {
  struct Case {
    int kind;
    DWORD endsAt;  // ms after the first frame
  } cases[] = {{0, 50}, {1, 400}, {2, 50}};
  for (const Case& c : cases) {
    auto flash = [&] { return app->WhiteFlash(c.kind); };
    StartInstruction();
    ASSERT_EQ(Frame(flash), 0);
    DWORD elapsed = 0;
    while (elapsed + 1 < c.endsAt) {
      ASSERT_EQ(Frame(flash, 1), 0) << c.kind << " at " << elapsed + 1;
      ++elapsed;
    }
    EXPECT_EQ(Frame(flash, 1), 1) << c.kind;
  }
}

TEST_F(ScreenEffectsTest, ShakeSwingsAndSettles) {
  struct Case {
    int direction, swings;
    std::vector<int> offsets;  // after each swing
  } cases[] = {{0, 2, {12, -12, 12, -12, 0}}, {1, 2, {12, -12, 12, -12, 0}}, {0, 1, {12, -12, 0}}};
  for (const Case& c : cases) {
    auto shake = [&] { return app->ShakeScreen(c.direction, c.swings); };
    StartInstruction();
    ASSERT_EQ(Frame(shake), 0);
    std::vector<int> seen{c.direction ? app->shakeY : app->shakeX};
    int done = 0;
    for (int i = 0; i < 20 && !done; ++i) {
      EXPECT_EQ(Frame(shake, 50), 0);  // 50 ms is not more than 50
      done = Frame(shake, 1);
      seen.push_back(c.direction ? app->shakeY : app->shakeX);
      EXPECT_EQ(c.direction ? app->shakeX : app->shakeY, 0);
    }
    EXPECT_EQ(seen, c.offsets);
  }
  // Not at all with effects off, LEFT held or while skipping.
  app->settings.effectUse = 0;
  StartInstruction();
  EXPECT_EQ(Frame([&] { return app->ShakeScreen(0, 2); }), 1);
  EXPECT_EQ(app->shakeX, 0);
}

}  // namespace
