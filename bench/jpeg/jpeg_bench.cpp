// Encoder speed beside libjpeg-turbo: B,G,R pixels to a baseline 4:2:0 JPEG
// at quality 90 with the example Huffman tables, memory to memory into a
// preallocated buffer of the same size, job set-up and release included.
//
// Run once per libjpeg-turbo mode, each in its own process:
//   JSIMD_FORCENONE=1 jpeg_bench --benchmark_filter='Plain|Turbo'
//   JSIMD_FORCESSE2=1 jpeg_bench --benchmark_filter='Sse2|Turbo'
//   jpeg_bench --benchmark_filter='Sse2|Turbo'
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "jpeg/jpeglib_api.h"

namespace {

struct Picture {
  int w, h;
  std::vector<uint8_t> bgr;
};

// Photo-like: smooth shading, edges and a little grain; or pure noise.
Picture MakePicture(int w, int h, bool noise) {
  Picture p{w, h, std::vector<uint8_t>((size_t)w * h * 3)};
  std::mt19937 rng(42);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k) {
        int v;
        if (noise) {
          v = (int)(rng() & 255);
        } else {
          double s = 128 + 70 * std::sin(x / 57.0 + k) * std::cos(y / 41.0 - k) + 25 * std::sin((x + 2 * y) / 13.0);
          if (((x / 97) + (y / 71)) % 3 == 0) s = s * 0.55 + 70 * k;
          s += (int)(rng() % 7) - 3;
          v = s < 0 ? 0 : s > 255 ? 255 : (int)s;
        }
        p.bgr[((size_t)y * w + x) * 3 + k] = (uint8_t)v;
      }
  return p;
}

const Picture& Get(int w, int h, bool noise) {
  static std::vector<std::pair<std::string, Picture>> cache;
  const std::string key = std::to_string(w) + "x" + std::to_string(h) + (noise ? "n" : "p");
  for (auto& c : cache)
    if (c.first == key) return c.second;
  cache.emplace_back(key, MakePicture(w, h, noise));
  return cache.back().second;
}

void SelectKind(int kind) {
  static const std::string path = [] {
    std::atexit([] { std::remove(("/tmp/velmi-jpeg-bench-" + std::to_string(getpid()) + ".reg").c_str()); });
    return "/tmp/velmi-jpeg-bench-" + std::to_string(getpid()) + ".reg";
  }();
  std::ofstream f(path, std::ios::trunc);
  f << "[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\nUSECPU=dword:" << kind << "\n";
  f.close();
  setenv("VELMI_REGISTRY", path.c_str(), 1);
}

void Ours(benchmark::State& state, int kind) {
  const Picture& pic = Get((int)state.range(0), (int)state.range(1), state.range(2) != 0);
  SelectKind(kind);
  std::vector<uint8_t> out(pic.bgr.size() + 65536);
  size_t bytes = 0;
  for (auto _ : state) {
    JpegJob job;
    JpegInit(&job);
    job.dibPixels = const_cast<uint8_t*>(pic.bgr.data());
    job.dibWidth = pic.w;
    job.dibHeight = pic.h;
    job.jpegWidth = pic.w;
    job.jpegHeight = pic.h;
    job.jpegBuffer = out.data();
    job.jpegBufferSize = (int32_t)out.size();
    job.quality = 90;
    if (JpegWrite(&job, 9) != 0) state.SkipWithError("encode failed");
    bytes = (size_t)job.jpegBufferSize;
    JpegFree(&job);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = (double)bytes;
  state.SetItemsProcessed(state.iterations() * pic.w * pic.h);
}

void Turbo(benchmark::State& state) {
  const Picture& pic = Get((int)state.range(0), (int)state.range(1), state.range(2) != 0);
  std::vector<uint8_t> out(pic.bgr.size() + 65536);
  std::vector<JSAMPROW> rows((size_t)pic.h);
  for (int y = 0; y < pic.h; ++y) rows[(size_t)y] = const_cast<uint8_t*>(pic.bgr.data()) + (size_t)y * pic.w * 3;
  size_t bytes = 0;
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = out.data();
    unsigned long size = out.size();
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = (JDIMENSION)pic.w;
    cinfo.image_height = (JDIMENSION)pic.h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    jpeg_write_scanlines(&cinfo, rows.data(), (JDIMENSION)pic.h);
    jpeg_finish_compress(&cinfo);
    if (buf != out.data()) state.SkipWithError("libjpeg-turbo reallocated the buffer");
    bytes = size;
    jpeg_destroy_compress(&cinfo);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = (double)bytes;
  state.SetItemsProcessed(state.iterations() * pic.w * pic.h);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"w", "h", "noise"});
  for (int noise : {0, 1}) {
    b->Args({640, 480, noise});
    b->Args({2048, 1536, noise});
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(Ours, Plain, 0)->Apply(Sizes);
BENCHMARK_CAPTURE(Ours, Sse2, 6)->Apply(Sizes);
BENCHMARK(Turbo)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
