// The system screens as shares of a 16 ms frame: one frame of the title's
// scroll with trails (the screen captured, the title picture moved and the
// whole screen composed), with the heap blocks each frame takes, and a save
// page built from five save files with its text layer drawn.
#include <filesystem>
#include <system_error>
#include <benchmark/benchmark.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/le_bytes.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "tests/player/compose_steps.h"
#include "tests/player/rbp_builder.h"
#include "bench/support/heap_counter.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr double kFrameSeconds = 0.016;

void FrameShare(benchmark::State& state) {
  state.counters["share_of_16ms"] = benchmark::Counter(double(state.iterations()) * kFrameSeconds,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

CGameApp* NewApp() {
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  VelmiDeviceSetGeometry(480, 640);
  SetPlayerBuild(PlayerBuild::Ce50);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(kW);
  SetScreenHeight(kH);
  VelmiClockUseFake(100000);
  CGameApp* app = new CGameApp;
  app->dirty->SetSize(kW, kH);
  return app;
}

void ComposeAll(CGameApp* app) {
  RECT all{0, 0, kW, kH};
  app->dirty->Add(&all, 1);
  ComposeDirtyRects(app);
}

void TitleScrollFrame(benchmark::State& state) {
  CGameApp* app = NewApp();
  // The tall title picture, drawn by sprite 10 as the title places it.
  CPicture* tall = new CPicture;
  CPicture::CreateBlank(tall, kW, kH * 2, 0x5A, 2);
  tall->canvasWidth = 800;
  tall->canvasHeight = 1200;
  app->pictures[10] = tall;
  CSprite* s = new CSprite;
  s->InitSource(10, 0, 0, 800, 1200);
  s->SetPriority(48);
  app->sprites[10] = s;
  app->phase = 8;
  app->title.phaseStart = NowMs();
  long frames = 0, blocks = 0;
  for (auto _ : state) {
    VelmiClockAdvance(16);
    if (NowMs() - app->title.phaseStart >= 1900) app->title.phaseStart = NowMs();
    const long before = HeapBlocksTaken();
    app->RunTitle();
    ComposeAll(app);
    blocks += HeapBlocksTaken() - before;
    ++frames;
    benchmark::ClobberMemory();
  }
  state.counters["allocs_per_frame"] = double(blocks) / double(frames ? frames : 1);
  FrameShare(state);
  delete app;
  VelmiClockUseReal();
}
BENCHMARK(TitleScrollFrame)->Unit(benchmark::kMicrosecond);

Bytes SaveFile(int icon) {
  Bytes b(26688, 0);
  std::memcpy(b.data(), "YMN0", 4);
  PutLe32(b.data() + 4, 26688);
  std::memcpy(b.data() + 8, "2026-12-10 17:30:08", 19);
  PutLe32(b.data() + 92, uint32_t(icon));
  std::memcpy(b.data() + 106, "fst_1216_a1_cmn", 15);
  const int w = 128, h = 96;
  Bytes bmp(54 + size_t(w) * h * 2, 0x33);
  std::memset(bmp.data(), 0, 54);
  PutLe32(bmp.data() + 18, w);
  PutLe32(bmp.data() + 22, h);
  b.insert(b.end(), bmp.begin(), bmp.end());
  return b;
}

void SavePageBuild(benchmark::State& state) {
  CGameApp* app = NewApp();
  const std::string dir = MakeTempDir("savebench");
  std::snprintf(app->savePath, sizeof app->savePath, "%s/", dir.c_str());
  // Page 1: slots 3 to 7.
  for (int slot = 3; slot <= 7; ++slot) {
    char name[32];
    std::snprintf(name, sizeof name, "/save%03d.dat", slot + 1);
    WriteFileBytes(dir + name, SaveFile(slot));
  }
  // The screen's pictures, from a pack as the game reads them.
  std::vector<std::pair<std::string, Bytes>> entries;
  for (const char* n : {"save_BG00", "save_BG01", "load_BG00", "load_BG01", "saveandload_chip00", "common_chip00",
                        "common_save_chip00", "common_load_chip00", "charactericom"})
    entries.push_back({std::string("AdvData\\grp\\system\\") + n + ".rbp",
                       MakeRbp565(800, 600, std::vector<uint16_t>(800 * 600, 0x39E7), 800, 600)});
  if (!WritePack(dir + "/grpack_v.mlz", entries, false)) state.SkipWithError("cannot write the picture pack");
  std::string pack = dir + "/grpack_v.mlz";
  for (char& c : pack)
    if (c == '/') c = '\\';
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", pack.c_str());
  app->textWindow = new CTextWindow;
  app->saveLoad.direction = 1;
  // Each build frees the page's pictures and text layer and makes them anew.
  for (auto _ : state) {
    app->BuildSaveLoadScreen(1);
    benchmark::ClobberMemory();
  }
  state.counters["rows_used"] = app->saveLoad.rowUsed[0] + app->saveLoad.rowUsed[1] + app->saveLoad.rowUsed[2] +
                                app->saveLoad.rowUsed[3] + app->saveLoad.rowUsed[4];
  FrameShare(state);
  delete app;
  {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
  VelmiClockUseReal();
}
BENCHMARK(SavePageBuild)->Unit(benchmark::kMicrosecond);

}  // namespace
