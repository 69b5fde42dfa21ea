// Transition steps on a 640 x 480 screen (share of a 16 ms frame, ns a
// pixel); DecodeMovieFrame of a 480 x 640 frame beside libjpeg-turbo
// decoding the same picture as a JPEG; movie frames a second that each
// presenter reaches, against the movie's own rate.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "player/core/display.h"
#include "player/core/movie_decoder.h"
#include "player/core/pack_reader.h"
#include "player/media/movie_player.h"
#include "player/media/transition.h"
#include "tests/player/rbp_builder.h"
#include "tools/jmv/jmv_writer.h"

namespace {

constexpr int kW = 640, kH = 480;

// A picture with detail: gradients and a checkerboard.
jmv::Picture Scene(int w, int h) {
  jmv::Picture p = jmv::MakePicture(w, h, 0, 0, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = p.At(x, y);
      px[0] = static_cast<uint8_t>(x * 255 / (w - 1));
      px[1] = static_cast<uint8_t>(y * 255 / (h - 1));
      px[2] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.07));
      if (((x / 16) + (y / 16)) % 2) px[1] = static_cast<uint8_t>(255 - px[1]);
    }
  return p;
}

// Per Apply: ns a pixel of the 640 x 480 screen and the share of a 16 ms
// frame, from the time measured.
void ReportTransition(benchmark::State& state, double seconds, double applies) {
  state.counters["ns_per_pixel"] = seconds * 1e9 / applies / (double(kW) * kH);
  state.counters["share_of_16ms"] = seconds / applies / 0.016;
}

void TransitionSoftWipe(benchmark::State& state) {
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  VelmiClockUseFake(1000);
  CTransition t(kW, kH);
  t.MakeMask(2, 1000, TRANSITION_SOFT_WIPE);
  t.Start();
  VelmiClockAdvance(500);  // half way: every pixel blends or copies
  std::vector<uint16_t> fresh(kW * kH, 0x1234), old(kW * kH, 0xF0F0), dst(kW * kH);
  double seconds = 0;
  for (auto _ : state) {
    dst = fresh;
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(t.Apply(dst.data(), old.data()));
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  ReportTransition(state, seconds, double(state.iterations()));
  VelmiClockUseReal();
}

// A whole tile transition of kind 1 (two seconds, 120 frames of 16 ms).
void TransitionTiles(benchmark::State& state) {
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  VelmiClockUseFake(1000);
  std::vector<uint8_t> alpha(kW * kH);
  for (int i = 0; i < kW * kH; ++i) alpha[i] = static_cast<uint8_t>((i * 7) % 3 ? 255 : 0);
  const std::string dir = MakeTempDir("movie_bench");
  WritePack(dir + "/grp.mlz", {{"AdvData\\grp\\SYSTEM\\eff.rbp", MakeRbpJbp1Flat(kW, kH, 0, &alpha, 800, 600)}}, true);
  PackReader reader;
  std::vector<uint16_t> old(kW * kH, 0xF0F0), dst(kW * kH, 0x1234);
  double seconds = 0, applies = 0;
  for (auto _ : state) {
    CTransition t(kW, kH);
    LoadRule(&t, 1, TRANSITION_RULE_PICTURE, (dir + "/grp.mlz").c_str(), &reader, 2000);
    t.Start();
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < 120; ++frame) {
      benchmark::DoNotOptimize(t.Apply(dst.data(), old.data()));
      VelmiClockAdvance(16);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    applies += 120;
  }
  ReportTransition(state, seconds, applies);
  VelmiClockUseReal();
}

struct FramePair {
  std::vector<uint8_t> frame, jpeg;
};

const FramePair& Frame480x640() {
  static FramePair pair = [] {
    FramePair p;
    const jmv::Picture pic = Scene(480, 640);
    jmv::EncodeExchangedJpeg(pic, 85, &p.jpeg);
    jmv::FrameFromExchangedJpeg(p.jpeg, 85, &p.frame);
    return p;
  }();
  return pair;
}

void DecodeMovieFrame480x640(benchmark::State& state) {
  const FramePair& p = Frame480x640();
  std::vector<WORD> out(480 * 640);
  BlockDecoder s;
  InitMovieDecoder(&s);
  for (auto _ : state) {
    s.input = p.frame.data();
    s.inputLength = static_cast<DWORD>(p.frame.size());
    s.expectedWidth = 480;
    s.expectedHeight = 640;
    s.output = out.data();
    s.outputCapacity = static_cast<DWORD>(out.size() * 2);
    ParseJbp1Header(&s);
    ResetBlockFlags(&s);
    benchmark::DoNotOptimize(DecodeMovieFrame(&s));
  }
  state.SetLabel("ours");
}

// The peer: libjpeg-turbo decoding the same picture to RGB565 with the same
// plain chroma upsampling and its integer transform.
void LibjpegTurbo480x640(benchmark::State& state) {
  const FramePair& p = Frame480x640();
  std::vector<uint8_t> out(480 * 640 * 2);
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, p.jpeg.data(), static_cast<unsigned long>(p.jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB565;
    d.do_fancy_upsampling = FALSE;
    d.dct_method = JDCT_ISLOW;
    d.dither_mode = JDITHER_NONE;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = out.data() + size_t(d.output_scanline) * 480 * 2;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel("libjpeg-turbo");
}

LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

// Frames a second of each presenter: decode plus present of a full movie
// frame per Step, the clock moved on by one frame each time.
void Presenter(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));  // 0 direct, 1 doubled, 2 doubled smooth, 3 one to one
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  VelmiDeviceSetGeometry(kind == 3 ? 240 : 480, kind == 3 ? 320 : 640);
  SetScreenWidth(kind == 3 ? 320 : 640);
  SetScreenHeight(kind == 3 ? 240 : 480);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = u"MOVIEBENCH";
  RegisterClassW(&wc);
  CreateWindowExW(0, u"MOVIEBENCH", u"bench", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
  VelmiClockUseFake(1000);
  const std::string dir = MakeTempDir("movie_bench") + "/";
  const bool portrait = kind == 0;
  jmv::MovieHeader header;
  header.portrait = portrait;
  header.rateNumerator = 15;
  std::vector<std::vector<uint8_t>> frames;
  const jmv::Picture pic = portrait ? jmv::ToPortrait(Scene(640, 480)) : Scene(320, 240);
  header.width = static_cast<uint32_t>(pic.width);
  header.height = static_cast<uint32_t>(pic.height);
  for (int i = 0; i < 64; ++i) {
    frames.emplace_back();
    jmv::EncodeFrame(pic, 85, &frames.back());
  }
  WriteFileBytes(dir + "m.jmv" + (portrait ? "2" : ""), jmv::BuildMovie(header, frames));
  const char* names[] = {"direct 480x640", "doubled 320x240", "doubled smooth 320x240", "one to one 320x240"};
  for (auto _ : state) {
    state.PauseTiming();
    CMoviePlayer player;
    player.Open((dir + "m").c_str(), nullptr, 100, 0, 1, kind == 2);
    state.ResumeTiming();
    for (int f = 1; f < 64; ++f) {
      VelmiClockAdvance(1000 / 15 + 1);
      player.Step();
    }
  }
  state.counters["frames_per_s"] = benchmark::Counter(63.0 * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["x_movie_rate"] =
      benchmark::Counter(63.0 * double(state.iterations()) / 15.0, benchmark::Counter::kIsRate);
  state.SetLabel(names[kind]);
  VelmiClockUseReal();
  VelmiDeviceReset();
}

}  // namespace

BENCHMARK(TransitionSoftWipe)->Unit(benchmark::kMicrosecond);
BENCHMARK(TransitionTiles)->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodeMovieFrame480x640)->Unit(benchmark::kMicrosecond);
BENCHMARK(LibjpegTurbo480x640)->Unit(benchmark::kMicrosecond);
BENCHMARK(Presenter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
