// The pop-up menu at 640 x 480 as shares of a 16 ms frame: opening it (save
// the screen, draw the root page, present) with the close that puts the
// screen back, and changing page; beside SDL2 filling the same menu
// rectangle and copying the whole screen twice, the least work of an open
// and a close.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <velmi_device.h>

#include <memory>
#include <vector>

#include "player/app/menu_commands.h"
#include "player/core/display.h"
#include "player/menu/popup_menu.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr double kFrameSeconds = 0.016;

void UseDevice() {
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  VelmiDeviceSetGeometry(480, 640);
  SetPlayerBuild(PlayerBuild::Ce50);
  SetScreenWidth(kW);
  SetScreenHeight(kH);
  RawFrameBufferDesc d{};
  QueryRawFrameBuffer(&d);
  VelmiDeviceStatus s;
  s.time.wYear = 2026;
  s.batteryPercent = 80;
  VelmiDevicePinStatus(s);
}

// Iterations of work counted as the share of one frame that each takes.
void FrameShare(benchmark::State& state, int perIteration) {
  state.counters["share_of_16ms"] = benchmark::Counter(double(state.iterations()) * perIteration * kFrameSeconds,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::unique_ptr<CPopupMenu> BuiltMenu() {
  UseDevice();
  auto menu = std::make_unique<CPopupMenu>();
  const char* fonts[] = {"Gothic"};
  BuildMenuTreeInto(menu.get(), fonts, 1);
  return menu;
}

void MenuOpenAndClose(benchmark::State& state) {
  auto menu = BuiltMenu();
  for (auto _ : state) {
    menu->Open();
    menu->Close();
    benchmark::ClobberMemory();
  }
  FrameShare(state, 1);
}
BENCHMARK(MenuOpenAndClose)->Unit(benchmark::kMicrosecond);

void MenuChangePage(benchmark::State& state) {
  auto menu = BuiltMenu();
  menu->Open();
  for (int i = 0; i < 6; ++i) menu->MoveCursor(0);
  for (auto _ : state) {
    menu->EnterOrLeave(1);
    menu->EnterOrLeave(0);
    benchmark::ClobberMemory();
  }
  menu->Close();
  FrameShare(state, 2);
}
BENCHMARK(MenuChangePage)->Unit(benchmark::kMicrosecond);

void SdlFillAndTwoScreenCopies(benchmark::State& state) {
  std::vector<uint16_t> screen(size_t(kW) * kH), saved(size_t(kW) * kH);
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormatFrom(screen.data(), kW, kH, 16, kW * 2, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* copy = SDL_CreateRGBSurfaceWithFormatFrom(saved.data(), kW, kH, 16, kW * 2, SDL_PIXELFORMAT_RGB565);
  SDL_Rect menuRect{0, 0, 258, 222};
  for (auto _ : state) {
    SDL_BlitSurface(dst, nullptr, copy, nullptr);
    SDL_FillRect(dst, &menuRect, 0xD699);
    SDL_BlitSurface(copy, nullptr, dst, nullptr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(copy);
  SDL_FreeSurface(dst);
  FrameShare(state, 1);
}
BENCHMARK(SdlFillAndTwoScreenCopies)->Unit(benchmark::kMicrosecond);

}  // namespace
