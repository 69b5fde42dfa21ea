// Costs of the endings and the gallery against the 16 ms frame ("per_frame":
// how many fit in one frame): a roll frame with its two full-screen
// pictures moving, composed; loading the roll's next picture; building a
// gallery page (five pictures, 531 records against the seen list); beside
// copying one full screen with memcpy.
#include <filesystem>
#include <system_error>
#include <benchmark/benchmark.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/scenario/story_tables.h"
#include "player/scenario/system_data.h"
#include "tests/player/compose_steps.h"
#include "tests/player/rbp_builder.h"

namespace {

constexpr double kFrameSeconds = 0.016;
constexpr int W = 640, H = 480;

void ReportFrameShare(benchmark::State& state) {
  state.counters["per_frame"] = benchmark::Counter(kFrameSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

// A picture pack with the roll's nineteen pictures and the gallery's five
// (the loader reads every picture name with the extension ".rbp").
struct ExtrasPack {
  std::string dir, path;
  ExtrasPack() {
    dir = MakeTempDir("extras-bench");
    const Bytes full = MakeRbpJbp1Flat(W, H, 120, nullptr, 800, 600);
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int n = 1; n <= 19; ++n) {
      char name[64];
      std::snprintf(name, sizeof name, "AdvData\\GRP\\ED\\Gend_%02d.rbp", n);
      entries.push_back({name, full});
    }
    std::vector<uint8_t> alpha(size_t(W) * H, 255);
    const Bytes chips = MakeRbpJbp1Flat(W, H, 200, &alpha, 800, 600);
    entries.push_back({"AdvData\\grp\\SYSTEM\\cgmode_BG00.rbp", full});
    for (const char* n : {"AdvData\\grp\\SYSTEM\\common_cg_chip00", "AdvData\\grp\\SYSTEM\\cgmode_dummychip",
                          "AdvData\\grp\\SYSTEM\\thumbnail_vlm", "AdvData\\grp\\SYSTEM\\scenereplay_chip"})
      entries.push_back({std::string(n) + ".rbp", chips});
    path = dir + "/grpack_v.mlz";
    WritePack(path, entries, false);
    for (char& c : path)
      if (c == '/') c = '\\';
  }
  ~ExtrasPack() {
    {
      std::error_code rmError;
      std::filesystem::remove_all(dir, rmError);
    }
  }
};

ExtrasPack& Pack() {
  static ExtrasPack pack;
  return pack;
}

CGameApp* NewApp() {
  VelmiDeviceSetGeometry(480, 640);
  VelmiClockUseFake(100000);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(W);
  SetScreenHeight(H);
  CGameApp* app = new CGameApp;
  app->dirty->SetSize(W, H);
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", Pack().path.c_str());
  return app;
}

// One roll frame: 16 ms of scrolling, the two pictures placed and the
// screen composed; the picture loads fall on their frames.
void BM_EndingRollFrame(benchmark::State& state) {
  CGameApp* app = NewApp();
  app->story.frameCounter = 0;
  for (auto _ : state) {
    if (app->RunEndingRoll(0))
      app->story.frameCounter = 0;
    else
      ++app->story.frameCounter;
    VelmiClockAdvance(16);
    ComposeDirtyRects(app);
    benchmark::ClobberMemory();
  }
  ReportFrameShare(state);
  delete app;
  VelmiClockUseReal();
}
BENCHMARK(BM_EndingRollFrame)->Unit(benchmark::kMicrosecond);

// The hitch of a picture swap: loading one 800x600 picture into its slot.
void BM_RollPictureLoad(benchmark::State& state) {
  CGameApp* app = NewApp();
  for (auto _ : state) {
    app->LoadPictureSlot(10, "AdvData\\GRP\\ED\\Gend_05.zev", 0);
    app->FreePictureSlot(10);
  }
  ReportFrameShare(state);
  delete app;
  VelmiClockUseReal();
}
BENCHMARK(BM_RollPictureLoad)->Unit(benchmark::kMicrosecond);

// A gallery page: five pictures loaded and the 531 records matched against
// a seen list of 200 names.
void BM_GalleryPageBuild(benchmark::State& state) {
  CGameApp* app = NewApp();
  for (int i = 0; i < kCgEntryCount; i += 3) AddSeenName(app, kSeenListA, g_CgTable[i].name);
  for (int i = 0; i < 23; ++i) AddSeenName(app, kSeenListA, ("bg_other_" + std::to_string(i)).c_str());
  for (auto _ : state) {
    app->BuildCgMode(0, 1);
    benchmark::ClobberMemory();
  }
  ReportFrameShare(state);
  delete app;
  VelmiClockUseReal();
}
BENCHMARK(BM_GalleryPageBuild)->Unit(benchmark::kMicrosecond);

// The peer: one full screen of pixels copied.
void BM_MemcpyScreen(benchmark::State& state) {
  std::vector<uint16_t> a(size_t(W) * H, 1), b(size_t(W) * H);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 2);
    benchmark::ClobberMemory();
  }
  ReportFrameShare(state);
}
BENCHMARK(BM_MemcpyScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
