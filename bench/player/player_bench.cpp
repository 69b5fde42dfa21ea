// Drawing costs of the player: blit kernels (with their vector row loops and
// with the scalar ones) beside SDL2's blits of the same pictures onto an
// RGB565 surface and memcpy of the frame, the rotating present, a
// full story frame composed, and LoadPicture per picture type.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <velmi_device.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/blit.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int W = 640, H = 480;

struct Pictures {
  std::vector<uint16_t> target, source;
  std::vector<uint8_t> alpha;
  std::vector<uint32_t> argb;
  CPicture opaque, alphaPic;
  Pictures() : target(size_t(W) * H), source(size_t(W) * H), alpha(size_t(W) * H), argb(size_t(W) * H) {
    std::mt19937 rng(7);
    for (size_t i = 0; i < source.size(); ++i) {
      source[i] = uint16_t(rng());
      target[i] = uint16_t(rng());
      // Character pictures: mostly opaque or clear, soft edges between.
      uint32_t r = rng() % 100;
      alpha[i] = r < 45 ? 255 : r < 90 ? 0 : uint8_t(rng());
      uint32_t p = source[i];
      argb[i] = uint32_t(alpha[i]) << 24 | Red8(p) << 16 | Green8(p) << 8 | Blue8(p);
    }
    opaque.width = alphaPic.width = W;
    opaque.height = alphaPic.height = H;
    opaque.depth = 16;
    alphaPic.depth = 24;
    opaque.pixels = alphaPic.pixels = reinterpret_cast<uint8_t*>(source.data());
    alphaPic.alpha = alpha.data();
  }
};

Pictures& P() {
  static Pictures p;
  return p;
}

void Ours(benchmark::State& state, int kind) {
  Pictures& p = P();
  RECT r{0, 0, W, H};
  for (auto _ : state) {
    if (kind == 0) BlitNormal(&p.opaque, p.target.data(), W, 0, 0, &r, 256);
    if (kind == 1) BlitNormal(&p.alphaPic, p.target.data(), W, 0, 0, &r, 256);
    if (kind == 2) BlitAdd(&p.opaque, p.target.data(), W, 0, 0, &r, 256);
    if (kind == 3) BlitNormal(&p.opaque, p.target.data(), W, 0, 0, &r, 128);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}

// The same kernels with the vector row loops switched off.
void OursScalar(benchmark::State& state, int kind) {
  SetVectorBlendRows(false);
  Ours(state, kind);
  SetVectorBlendRows(true);
}

void Sdl(benchmark::State& state, int kind) {
  Pictures& p = P();
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormatFrom(p.target.data(), W, H, 16, W * 2, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* src = kind == 1
                         ? SDL_CreateRGBSurfaceWithFormatFrom(p.argb.data(), W, H, 32, W * 4, SDL_PIXELFORMAT_ARGB8888)
                         : SDL_CreateRGBSurfaceWithFormatFrom(p.source.data(), W, H, 16, W * 2, SDL_PIXELFORMAT_RGB565);
  SDL_SetSurfaceBlendMode(src, kind == 0                ? SDL_BLENDMODE_NONE
                               : kind == 1 || kind == 3 ? SDL_BLENDMODE_BLEND
                                                        : SDL_BLENDMODE_ADD);
  if (kind == 3) SDL_SetSurfaceAlphaMod(src, 128);  // a fade: the whole picture at half strength
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * W * H);
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}

BENCHMARK_CAPTURE(Ours, opaque_copy, 0);
BENCHMARK_CAPTURE(Sdl, opaque_copy, 0);
BENCHMARK_CAPTURE(Ours, alpha_blend, 1);
BENCHMARK_CAPTURE(Sdl, alpha_blend, 1);
BENCHMARK_CAPTURE(Ours, additive, 2);
BENCHMARK_CAPTURE(Sdl, additive, 2);
BENCHMARK_CAPTURE(Ours, fade, 3);
BENCHMARK_CAPTURE(Sdl, fade, 3);
BENCHMARK_CAPTURE(OursScalar, alpha_blend, 1);
BENCHMARK_CAPTURE(OursScalar, additive, 2);
BENCHMARK_CAPTURE(OursScalar, fade, 3);

void PresentFull(benchmark::State& state) {
  VelmiDeviceSetGeometry(480, 640);
  SetScreenWidth(W);
  SetScreenHeight(H);
  CScreen screen;
  QueryRawFrameBuffer(&screen.desc);
  std::memcpy(screen.GetPixels(), P().source.data(), size_t(W) * H * 2);
  for (auto _ : state) {
    screen.Present(GetFrameBufferPointer(), nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * W * H * 2);
}
BENCHMARK(PresentFull);

void MemcpyFull(benchmark::State& state) {
  std::vector<uint16_t> fb(size_t(W) * H);
  for (auto _ : state) {
    std::memcpy(fb.data(), P().source.data(), size_t(W) * H * 2);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * W * H * 2);
}
BENCHMARK(MemcpyFull);

// A story frame: the background, two characters with alpha, the message
// window's translucent box; the whole screen dirty.
void ComposeStoryFrame(benchmark::State& state) {
  VelmiDeviceSetGeometry(480, 640);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(W);
  SetScreenHeight(H);
  CGameApp* app = new CGameApp;
  app->dirty->SetSize(W, H);
  Pictures& p = P();
  CPicture* bg = new CPicture;
  CPicture::CreateBlank(bg, W, H, 0x40, 2);
  app->pictures[28] = bg;
  for (int c = 0; c < 2; ++c) {
    CPicture* ch = new CPicture;
    CPicture::CreateBlank(ch, 300, 450, 0, 3);
    for (int i = 0; i < 300 * 450; ++i) {
      ch->GetPixels()[i] = p.source[size_t(i)];
      ch->alpha[i] = p.alpha[size_t(i)];
    }
    app->pictures[30 + c] = ch;
  }
  auto sprite = [&](int slot, int picture, int x, int y, int w, int h, int prio) {
    CSprite* s = new CSprite;
    s->InitSource(picture, 0, 0, w, h);
    s->SetPosition(x, y);
    s->SetPriority(prio);
    app->sprites[slot] = s;
  };
  sprite(0, 28, 0, 0, 800, 600, 100);
  sprite(1, 30, 50, 30, 375, 562, 50);
  sprite(2, 31, 400, 30, 375, 562, 50);
  CSprite* box = new CSprite;
  box->InitFillRect(20, 420, 760, 170, 0x000020);
  box->SetLevel(160);
  box->SetPriority(10);
  app->sprites[3] = box;
  app->gameMode = MODE_STORY;
  for (auto _ : state) {
    RECT all{0, 0, W, H};
    app->dirty->Add(&all, 1);
    app->ResetDrawBuckets();
    app->FillDrawBuckets();
    app->InvalidateChangedSprites();
    app->clearFirst = !app->IsPictureSlotUsed(28);
    ComposeFrame(app, app->DrawChainHead());
    app->dirty->Clear();
    benchmark::ClobberMemory();
  }
  delete app;
}
BENCHMARK(ComposeStoryFrame)->Unit(benchmark::kMicrosecond);

struct PictureFiles {
  std::string dir, folder;
  PictureFiles() {
    dir = MakeTempDir("bench");
    folder = dir + "/";
    for (char& c : folder)
      if (c == '/') c = '\\';
    const int n = W * H;
    const size_t count = size_t(n);
    std::vector<uint16_t> px(P().source.begin(), P().source.end());
    std::vector<uint8_t> a6(count), grey(count), index(count);
    for (int i = 0; i < n; ++i) {
      a6[size_t(i)] = P().alpha[size_t(i)] >> 2;
      grey[size_t(i)] = uint8_t(i);
      index[size_t(i)] = uint8_t(i * 7);
    }
    std::vector<uint32_t> pal(256);
    for (int i = 0; i < 256; ++i) pal[size_t(i)] = uint32_t(i * 0x010203);
    WriteFileBytes(dir + "/t13.rbp", MakeRbp565(W, H, px, 800, 600));
    WriteFileBytes(dir + "/t1.rbp", MakeRbpAlpha(W, H, px, a6, true, 800, 600));
    WriteFileBytes(dir + "/t30.rbp", MakeRbpJbp1Flat(W, H, 150, nullptr, 800, 600));
    std::vector<uint8_t> a8(P().alpha);
    WriteFileBytes(dir + "/t32.rbp", MakeRbpJbp1Flat(W, H, 150, &a8, 800, 600));
    WriteFileBytes(dir + "/t80.rbp", MakeRbpPalette(W, H, pal, index, 800, 600));
    WriteFileBytes(dir + "/t90.rbp", MakeRbpGrey(W, H, grey, 800, 600));
  }
  ~PictureFiles() { vtest::RemoveTree(dir); }
};

void LoadType(benchmark::State& state, const char* name) {
  static PictureFiles files;
  for (auto _ : state) {
    CPicture pic;
    if (!LoadPicture(&pic, name, files.folder.c_str(), 0, nullptr)) state.SkipWithError("load failed");
    pic.FreePixels();
  }
}
BENCHMARK_CAPTURE(LoadType, type13, "t13")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadType, type1, "t1")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadType, type30, "t30")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadType, type32, "t32")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadType, type80, "t80")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadType, type90, "t90")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
