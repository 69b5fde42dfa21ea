// Save costs as shares of a 16 ms frame: writing one save with its
// thumbnail beside stdio writing the same bytes, and filling the save and
// load items of the pop-up menu from 18 full slot files beside stdio reading
// the same files whole.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/core/display.h"
#include "player/app/menu_commands.h"
#include "player/core/menu_ids.h"
#include "player/core/picture.h"
#include "player/scenario/save_file.h"
#include "player/menu/popup_menu.h"
#include "player/scenario/save_image.h"
#include "tests/player/rbp_builder.h"

namespace {

constexpr int W = 640, H = 480;

// The frame share: time per iteration over 16 ms.
void ReportFrameShare(benchmark::State& state) {
  state.counters["frame_share"] =
      benchmark::Counter(double(state.iterations()) * 0.016, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct Folder {
  std::string dir, win;
  SaveStateBlock block{};
  std::vector<uint16_t> screen = std::vector<uint16_t>(size_t(W) * H);
  Folder() {
    dir = MakeTempDir("save-bench");
    win = dir + "/";
    for (char& c : win)
      if (c == '/') c = '\\';
    std::memcpy(block.magic, "YMN0", 4);
    block.thumbnailOffset = kSaveStateSize;
    std::strcpy(block.time, "2004-05-06 07:08:10");
    std::strcpy(block.label,
                "-5\x8c\x8e"
                "6\x93\xfa[title]-");
    for (int i = 0; i < kSaveVariableCount; ++i) block.variables[i] = int16_t(i);
    for (size_t i = 0; i < screen.size(); ++i) screen[i] = uint16_t(i * 2654435761u >> 16);
    // Every numbered slot of the menu and the three auto-save slots.
    DWORD size = 0;
    BYTE* thumb = MakeThumbnailBmp(screen.data(), W, H, 128, 96, &size);
    for (int slot = 0; slot < 15; ++slot) Write(slot, thumb, size);
    for (int slot = 500; slot < 503; ++slot) Write(slot, thumb, size);
    LocalFree(thumb);
  }
  ~Folder() {
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!system(cmd.c_str());
  }
  void Write(int slot, const BYTE* thumb, DWORD size) {
    char path[1024];
    MakeSavePath(path, sizeof path, win.c_str(), slot);
    WriteSaveImage(path, block, thumb, size);
  }
};

Folder& F() {
  static Folder f;
  return f;
}

void WriteOneSave(benchmark::State& state) {
  Folder& f = F();
  for (auto _ : state) {
    DWORD size = 0;
    BYTE* thumb = MakeThumbnailBmp(f.screen.data(), W, H, 128, 96, &size);
    f.Write(40, thumb, size);
    LocalFree(thumb);
  }
  ReportFrameShare(state);
}
BENCHMARK(WriteOneSave)->Unit(benchmark::kMicrosecond)->UseRealTime();

void StdioWriteSameBytes(benchmark::State& state) {
  Folder& f = F();
  std::vector<uint8_t> bytes(kSaveStateSize + 54 + 128 * 96 * 2, 1);
  std::string path = f.dir + "/peer.dat";
  for (auto _ : state) {
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  ReportFrameShare(state);
}
BENCHMARK(StdioWriteSameBytes)->Unit(benchmark::kMicrosecond)->UseRealTime();

void FillMenus(benchmark::State& state) {
  Folder& f = F();
  SetScreenWidth(W);
  SetScreenHeight(H);
  const char* fonts[] = {"Alpha"};
  CPopupMenu menu;
  BuildMenuTreeInto(&menu, fonts, 1);
  int used[15], autoUsed[3], newest = -1, autoNewest = -1;
  for (auto _ : state) {
    FillSaveMenus(&menu, kMenuLoadFirst, kMenuSaveFirst, f.win.c_str(), 1, used, &newest);
    FillAutoSaveMenu(&menu, kMenuAutoSaveFirst, f.win.c_str(), autoUsed, &autoNewest);
  }
  ReportFrameShare(state);
}
BENCHMARK(FillMenus)->Unit(benchmark::kMicrosecond)->UseRealTime();

void StdioReadSameFiles(benchmark::State& state) {
  Folder& f = F();
  std::vector<uint8_t> buffer(1 << 16);
  for (auto _ : state) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 501, 502, 503}) {
      char name[32];
      std::snprintf(name, sizeof name, "/save%03d.dat", n);
      FILE* in = std::fopen((f.dir + name).c_str(), "rb");
      benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), in));
      std::fclose(in);
    }
  }
  ReportFrameShare(state);
}
BENCHMARK(StdioReadSameFiles)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
