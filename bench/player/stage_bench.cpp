// Costs of the story's screen: a story frame (background, two characters,
// the message window and typing text) as a share of the 16 ms frame, and
// each sprite effect family's step and draw on a full-screen sprite beside
// the plain blit of the same sprite.
#include <filesystem>
#include <system_error>
#include <benchmark/benchmark.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/scenario/stage.h"
#include "tests/player/rbp_builder.h"
#include "tests/player/compose_steps.h"

namespace {

constexpr int W = 640, H = 480;
constexpr double kFrameSeconds = 0.016;

void UseVga() {
  VelmiDeviceSetGeometry(480, 640);
  SetPlayerBuild(PlayerBuild::Ce42);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(W);
  SetScreenHeight(H);
}

// One frame step's composition with the given rectangle dirty (none: only
// what changed).
void ComposeOnce(CGameApp* app, bool wholeScreen) {
  if (wholeScreen) {
    RECT all{0, 0, W, H};
    app->dirty->Add(&all, 1);
  }
  ComposeDirtyRects(app);
}

// Measures the loop's wall time per iteration: the share of the 16 ms frame.
class FrameClock {
 public:
  FrameClock() : start_(std::chrono::steady_clock::now()) {}
  double PerIteration(const benchmark::State& state) const {
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return state.iterations() ? total / double(state.iterations()) : 0.0;
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

struct StoryPack {
  std::string dir, pack;
  StoryPack() {
    dir = MakeTempDir("story_bench");
    std::mt19937 rng(3);
    std::vector<uint16_t> bg(size_t(W) * H), ch(300 * 450), win(size_t(W) * H);
    std::vector<uint8_t> alpha(300 * 450);
    for (uint16_t& p : bg) p = uint16_t(rng());
    for (uint16_t& p : win) p = uint16_t(rng());
    for (size_t i = 0; i < ch.size(); ++i) {
      ch[i] = uint16_t(rng());
      uint32_t r = rng() % 100;
      alpha[i] = r < 45 ? 255 : r < 90 ? 0 : uint8_t(rng());
    }
    WritePack(dir + "/grpack_v.mlz",
              {{"AdvData\\GRP\\bg\\bg01.rbp", MakeRbp565(W, H, bg, 800, 600)},
               {"AdvData\\GRP\\ch\\a.rbp", MakeRbpAlpha(300, 450, ch, alpha, false, 375, 562)},
               {"AdvData\\GRP\\ch\\b.rbp", MakeRbpAlpha(300, 450, ch, alpha, false, 375, 562)},
               {"AdvData\\GRP\\SYSTEM\\Messwin.rbp", MakeRbp565(W, H, win, 800, 600)}},
              false);
    pack = dir + "/grpack_v.mlz";
    for (char& c : pack)
      if (c == '/') c = '\\';
  }
  ~StoryPack() {
    {
      std::error_code rmError;
      std::filesystem::remove_all(dir, rmError);
    }
  }
};

// A stage built through the story's own operations.
CGameApp* MakeStory() {
  static StoryPack files;
  UseVga();
  CGameApp* app = new CGameApp;
  app->dirty->SetSize(W, H);
  StrCopy(app->picturePackPath, files.pack.c_str());
  QueryRawFrameBuffer(&app->screen->desc);
  app->gameMode = MODE_STORY;
  app->stage.characters[0].homeX = -180;
  app->stage.characters[1].homeX = 180;
  app->ShowBackground("bg\\bg01");
  app->ShowCharacter(0, "ch\\a");
  app->ShowCharacter(1, "ch\\b");
  app->BuildMessageWindow();
  app->ShowMessageWindow(1);
  app->settings.windowTrans = 6;
  app->UpdateMessageWindowAlpha();
  app->settings.messageSpeed = 2;  // a character every 20 ms
  SetSpeakerName(app, "NAME");
  return app;
}

// The story frame: a message typing out, one frame every 16 ms of the fake
// clock; "whole" redraws the whole screen each frame (a background change),
// "typing" only what the text and the sprites changed.
void StoryFrame(benchmark::State& state, bool whole) {
  VelmiClockUseFake(1000);
  CGameApp* app = MakeStory();
  std::string text(60, 'a' - 0x20);
  ComposeOnce(app, true);
  FrameClock clock;
  for (auto _ : state) {
    const int typed = ShowMessageText(app, text.c_str());
    app->story.frameCounter = typed ? 0 : app->story.frameCounter + 1;
    if (typed) {
      app->textWindow->ClearText();
      RECT area{ScaleX(6), ScaleY(380), ScaleX(742), ScaleY(588)};
      app->dirty->Add(&area, 1);
    }
    ComposeOnce(app, whole);
    app->screen->Present(GetFrameBufferPointer(), nullptr, nullptr);
    VelmiClockAdvance(16);
    benchmark::ClobberMemory();
  }
  state.counters["share_of_16ms"] = clock.PerIteration(state) / kFrameSeconds;
  delete app;
  VelmiClockUseReal();
}
BENCHMARK_CAPTURE(StoryFrame, whole_screen, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(StoryFrame, typing, false)->Unit(benchmark::kMicrosecond);

// A full-screen opaque sprite in slot 1.
CGameApp* MakeFullScreenSprite() {
  UseVga();
  CGameApp* app = new CGameApp;
  app->dirty->SetSize(W, H);
  app->pictures[0] = new CPicture;
  CPicture::CreateBlank(app->pictures[0], W, H, 0, 2);
  std::mt19937 rng(5);
  for (int i = 0; i < W * H; ++i) app->pictures[0]->GetPixels()[i] = uint16_t(rng());
  CSprite* s = new CSprite;
  s->InitSource(0, 0, 0, 800, 600);
  s->SetPosition(0, 0);
  s->SetPriority(10);
  app->sprites[1] = s;
  return app;
}

// Seconds a plain full-screen frame of the same sprite takes, measured once.
double PlainFrameSeconds() {
  static double seconds = [] {
    VelmiClockUseFake(1000);
    CGameApp* app = MakeFullScreenSprite();
    const int n = 300;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
      ComposeOnce(app, true);
      VelmiClockAdvance(16);
    }
    auto t1 = std::chrono::steady_clock::now();
    delete app;
    VelmiClockUseReal();
    return std::chrono::duration<double>(t1 - t0).count() / n;
  }();
  return seconds;
}

void PlainBlit(benchmark::State& state) {
  VelmiClockUseFake(1000);
  CGameApp* app = MakeFullScreenSprite();
  FrameClock clock;
  for (auto _ : state) {
    ComposeOnce(app, true);
    VelmiClockAdvance(16);
    benchmark::ClobberMemory();
  }
  state.counters["share_of_16ms"] = clock.PerIteration(state) / kFrameSeconds;
  delete app;
  VelmiClockUseReal();
}
BENCHMARK(PlainBlit)->Unit(benchmark::kMicrosecond);

// One family: its step and its draw over the whole screen each frame, the
// effect restarted before it would end.
void EffectFrame(benchmark::State& state, int code, int p1, int p2, int p3) {
  const double plain = PlainFrameSeconds();
  VelmiClockUseFake(1000);
  CeSrand(9);
  CGameApp* app = MakeFullScreenSprite();
  CSprite* s = app->sprites[1];
  constexpr int kDuration = 30000;
  s->StartEffect(code, kDuration, p1, p2, p3);
  uint32_t started = NowMs();
  FrameClock clock;
  for (auto _ : state) {
    if (NowMs() - started > kDuration - 100) {
      s->EndEffect();
      s->finished = 0;
      s->StartEffect(code, kDuration, p1, p2, p3);
      started = NowMs();
    }
    ComposeOnce(app, true);
    VelmiClockAdvance(16);
    benchmark::ClobberMemory();
  }
  const double perFrame = clock.PerIteration(state);
  state.counters["x_plain_blit"] = perFrame / plain;
  state.counters["share_of_16ms"] = perFrame / kFrameSeconds;
  delete app;
  VelmiClockUseReal();
}
BENCHMARK_CAPTURE(EffectFrame, fade_129, 129, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, blinds_5, 5, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, staggered_11, 11, 40, 1, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, fading_strips_16, 16, 40, 0, 16)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, fading_tiles_20, 20, 40, 0, 16)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, all_bands_24, 24, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, slide_32, 32, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, wipe_40, 40, 8, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, wave_48, 48, 20, 3, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, mosaic_51, 51, 16, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, second_picture_60, 60, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, brightness_63, 63, 0, 0, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EffectFrame, dissolve_178, 178, 0, 0, 0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
