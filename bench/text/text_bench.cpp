// DrawChars at anti-alias factors 1-4 beside FreeType rendering the same
// characters at the same sizes straight into a one-bit bitmap (the layer's
// overhead is the ratio of the two rates), and a full page laid out (and
// drawn) as a share of the 16 ms frame.
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <velmi_platform.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/input.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "tests/text/text_env.h"

namespace {

// Three full lines of message text with a ruby group, as the story shows them.
const char* kPage =
    "｛きょう／今日｝は朝から雨が降っていた。傘を持って出かけた/"
    "駅前の交差点で、見覚えのある後ろ姿を見つけた。/"
    "「おはよう。ずいぶん早いのね」と彼女は笑った。";

struct Setup {
  Setup() {
    UseScreen(640, 480);
    VelmiClockUseFake(1000);
    screen = std::make_unique<CScreen>();
    dirty.SetSize(640, 480);
    text = Sjis(kPage);
  }
  void Prepare(CTextWindow& w) {
    UseMessageWindowSettings(w);
    w.noWait = 1;
  }
  int Layout(CTextWindow& w) {
    GameSettings s{};
    InputState in{};
    w.ClearText();
    w.SetPosition(38, 76);
    w.StartText(text.c_str());
    int r = LayoutText(&w, &s, &in, &dirty, 100);
    dirty.Clear();
    return r;
  }
  std::unique_ptr<CScreen> screen;
  CDirtyList dirty;
  std::string text;
};

Setup& S() {
  static Setup s;
  return s;
}

void DrawChars(benchmark::State& state) {
  const int n = int(state.range(0));
  CTextWindow w;
  S().Prepare(w);
  S().Layout(w);
  w.SetInstantMode(1);
  for (auto _ : state) {
    for (int i = 0; i < w.count; ++i) w.records[i].state = 1;
    w.DrawChars(S().screen.get(), w.records, w.count, n, 1);
    benchmark::DoNotOptimize(S().screen->GetPixels());
  }
  state.SetItemsProcessed(state.iterations() * w.count);
}

void FreeTypeDirect(benchmark::State& state) {
  const int n = int(state.range(0));
  CTextWindow w;
  S().Prepare(w);
  S().Layout(w);
  // The same characters at the same cell sizes, rendered monochrome by
  // FreeType and copied into a 256x256 one-bit bitmap.
  FT_Library lib;
  FT_Face face;
  FT_Init_FreeType(&lib);
  if (FT_New_Face(lib, "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", 0, &face)) {
    state.SkipWithError("no IPA Gothic");
    return;
  }
  struct Item {
    uint32_t code;
    long em;
  };
  std::vector<Item> items;
  for (int i = 0; i < w.count; ++i) {
    char mb[2] = {char(w.records[i].character & 0xFF), char(w.records[i].character >> 8)};
    WCHAR wide = 0;
    MultiByteToWideChar(CP_ACP, 0, mb, mb[1] ? 2 : 1, &wide, 1);
    long cell = long(w.records[i].size) * n;
    items.push_back({uint32_t(wide), (cell * 2048 * 64 + 2203 / 2) / 2203});
  }
  std::vector<uint8_t> dib(256 * 32);
  long current = -1;
  for (auto _ : state) {
    for (const Item& it : items) {
      if (it.em != current) {
        FT_Set_Char_Size(face, 0, it.em, 72, 72);
        current = it.em;
      }
      std::memset(dib.data(), 0, dib.size());
      FT_Load_Char(face, it.code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO);
      const FT_Bitmap& bm = face->glyph->bitmap;
      for (unsigned r = 0; r < bm.rows && r < 256; ++r)
        std::memcpy(dib.data() + r * 32, bm.buffer + r * bm.pitch, std::min<unsigned>(32, unsigned(bm.pitch)));
      benchmark::DoNotOptimize(dib.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(items.size()));
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

// Wall time per page as a percentage of the 16 ms frame.
double FramePercent(std::chrono::steady_clock::time_point start, benchmark::IterationCount iterations) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return iterations ? seconds / double(iterations) / 0.016 * 100.0 : 0.0;
}

void PageLayout(benchmark::State& state) {
  CTextWindow w;
  S().Prepare(w);
  int chars = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    S().Layout(w);
    chars = w.count;
  }
  state.counters["frame_pct"] = FramePercent(start, state.iterations());
  state.counters["chars"] = chars;
}

void PageLayoutAndDraw(benchmark::State& state) {
  CTextWindow w;
  S().Prepare(w);
  w.SetInstantMode(1);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    S().Layout(w);
    w.DrawChars(S().screen.get(), w.records, w.count, int(state.range(0)), 1);
  }
  state.counters["frame_pct"] = FramePercent(start, state.iterations());
}

BENCHMARK(DrawChars)->ArgName("aa")->DenseRange(1, 4);
BENCHMARK(FreeTypeDirect)->ArgName("aa")->DenseRange(1, 4);
BENCHMARK(PageLayout)->Unit(benchmark::kMicrosecond);
BENCHMARK(PageLayoutAndDraw)->ArgName("aa")->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
