// Arbitrary bytes as a script: the story runs them for a bounded number of
// frames, with its requests recorded instead of drawn or played, and keys,
// taps and time taken from the input too.  No crash, no hang.
//
// The player lets a frame run kMaxContinuesPerFrame instructions before it
// ends the frame; a script that loops without waiting would run that many in
// every frame, seconds for one input under the fuzzer's instrumentation.  The
// harness therefore runs each instruction through an entry of its own in the
// opcode table that ends the frame, as the player's bound does, after
// kStepsPerFrame instructions.
#include <velmi_device.h>
#include <velmi_platform.h>

#include <array>
#include <cstring>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/scenario/story.h"
#include "tests/story/story_support.h"

namespace {

constexpr int kFrames = 48;
constexpr int kStepsPerFrame = 2000;
static_assert(kStepsPerFrame < kMaxContinuesPerFrame);

std::array<OpcodeHandler, 256> g_PlayerHandlers;  // the table as the player has it
int g_StepsLeft = 0;

// Runs the player's handler of the instruction at the program counter while
// the frame has steps left; else ends the frame without moving.
int BoundedStep(CGameApp* app) {
  if (g_StepsLeft <= 0) return STEP_YIELD;
  --g_StepsLeft;
  return g_PlayerHandlers[size_t(app->script.Opcode(app->story.pc))](app);
}

CGameApp* App() {
  static CGameApp* app = [] {
    VelmiDeviceReset();
    VelmiClockUseFake(1000);
    SetPlayerBuild(PlayerBuild::Ce42);
    SetScreenWidth(640);
    SetScreenHeight(480);
    return new CGameApp;
  }();
  return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CGameApp* app = App();
  story_test::RecordingStory recording;  // puts the opcode table back too
  g_PlayerHandlers = g_OpcodeHandlers;
  for (OpcodeHandler& h : g_OpcodeHandlers)
    if (h) h = &BoundedStep;
  const std::vector<uint8_t> file(data, data + size);
  story_test::TheWorld().anyScript = &file;
  std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  app->story = {};
  app->message.windowShown = 0;
  app->weather = {};
  app->settings.sacraMode = size > 0 ? data[0] & 1 : 0;
  app->settings.mannerFullCut = size > 1 ? data[1] & 1 : 0;
  app->gameMode = MODE_STORY;
  app->LoadScript("fuzz");
  for (int frame = 0; frame < kFrames; ++frame) {
    // Input from the tail of the data: a key, a tap in the choice rows, time.
    const uint8_t b = size ? data[size - 1 - size_t(frame) % size] : 0;
    std::memset(app->input.count, 0, sizeof app->input.count);
    app->input.count[b % 10] = (b & 0x10) ? 1 : 0;
    app->input.tap = (b & 0x20) ? 1 : 0;
    app->input.stylusX = 200 + (b & 0x0F) * 10;
    app->input.stylusY = 170 + (b >> 4) * 16;
    VelmiClockAdvance(b * 4u);
    app->gameMode = MODE_STORY;
    g_StepsLeft = kStepsPerFrame;
    app->RunStory();
    if (story_test::TheWorld().log.size() > 100000) story_test::TheWorld().log.clear();
  }
  app->LeaveGame();
  return 0;
}
