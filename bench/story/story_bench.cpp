// Costs of the story interpreter against the 16 ms frame ("per_frame": how
// many fit in one frame): FindLabel over
// a 200 KB script with the label near its end, beside memmem finding the same
// label bytes; and one frame of 10,000 variable instructions, beside a plain
// loop doing the same arithmetic on the same array.
#include <benchmark/benchmark.h>

#include <velmi_device.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/scenario/script_file.h"
#include "player/scenario/story.h"
#include "tools/mes_text.h"

namespace {

constexpr double kFrameSeconds = 0.016;

// How many iterations fit in one 16 ms frame (the share of the frame is its
// inverse).
void ReportFrameShare(benchmark::State& state) {
  state.counters["per_frame"] = benchmark::Counter(kFrameSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<uint8_t> Assemble(const std::string& text) {
  std::vector<uint8_t> out;
  std::string error;
  if (!vtools::AssembleMes(text, &out, &error)) std::abort();
  return out;
}

// About 200 KB of messages, voices and variable work, then the label.
const std::vector<uint8_t>& BigScript() {
  static const std::vector<uint8_t> bytes = [] {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) {
      text += "OP_LABEL \"scene_" + std::to_string(i) + "\"\n";
      text += "OP_VOICE \"VOICE\\\\vlm\\\\vlm_" + std::to_string(i) + "\"\n";
      text += "OP_MESSAGE \"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\"\n";
      text += "OP_VAR_OP 0 1 1 1\nOP_WAIT_PAGE 0\n";
    }
    text += "OP_LABEL \"the_end\"\nOP_END\n";
    return Assemble(text);
  }();
  return bytes;
}

void BM_FindLabel(benchmark::State& state) {
  const std::vector<uint8_t>& file = BigScript();
  CScriptFile script;
  BYTE* copy = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, file.size()));
  std::memcpy(copy, file.data(), file.size());
  script.Adopt(copy, DWORD(file.size()));
  uint32_t pos = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(script.FindLabel("THE_END", &pos));
    benchmark::DoNotOptimize(pos);
  }
  state.counters["code_bytes"] = script.CodeSize();
  ReportFrameShare(state);
}
BENCHMARK(BM_FindLabel);

void BM_MemmemLabel(benchmark::State& state) {
  const std::vector<uint8_t>& file = BigScript();
  static const char needle[] = "\x31the_end";
  for (auto _ : state) benchmark::DoNotOptimize(memmem(file.data(), file.size(), needle, sizeof needle));
  ReportFrameShare(state);
}
BENCHMARK(BM_MemmemLabel);

// A frame of 10,000 continuing instructions: variable arithmetic, then a wait.
void BM_VariableFrame(benchmark::State& state) {
  VelmiDeviceReset();
  SetPlayerBuild(PlayerBuild::Ce42);
  SetScreenWidth(640);
  SetScreenHeight(480);
  CGameApp* app = new CGameApp;
  std::string text;
  const char* ops[] = {"OP_VAR_OP 0 1 3 1", "OP_VAR_OP 0 2 7 3", "OP_VAR_OP 0 3 1 20", "OP_VAR_CMP 0 1 100 2"};
  for (int i = 0; i < 10000; ++i) text += std::string(ops[i % 4]) + "\n";
  text += "OP_END\n";
  const std::vector<uint8_t> file = Assemble(text);
  BYTE* copy = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, file.size()));
  std::memcpy(copy, file.data(), file.size());
  app->script.Adopt(copy, DWORD(file.size()));
  app->gameMode = MODE_STORY;
  for (auto _ : state) {
    app->story.pc = 0;
    app->story.frameCounter = 0;
    app->RunStory();
  }
  ReportFrameShare(state);
  delete app;
}
BENCHMARK(BM_VariableFrame);

void BM_PlainLoopFrame(benchmark::State& state) {
  static int16_t vars[4];
  int flag = 0;
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i) {
      switch (i % 4) {
        case 0:
          vars[1] = int16_t(vars[1] + 3);
          break;
        case 1:
          vars[2] = int16_t(vars[2] * 7);
          break;
        case 2:
          vars[3] = vars[1] ? int16_t(vars[3] / vars[1]) : 0;
          break;
        default:
          flag = vars[1] > 100;
          break;
      }
      benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(flag);
  }
  ReportFrameShare(state);
}
BENCHMARK(BM_PlainLoopFrame);

}  // namespace

BENCHMARK_MAIN();
