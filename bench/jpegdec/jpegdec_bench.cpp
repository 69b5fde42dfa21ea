// JPEG decoding, memory to memory into a preallocated B,G,R picture: ours
// beside libjpeg-turbo (islow, no fancy upsampling), init and free counted on
// both sides.  libjpeg-turbo's SIMD mode comes from the environment of this
// process (JSIMD_FORCENONE=1 / JSIMD_FORCESSE2=1 / neither); our processor
// kind is chosen to match (plain beside no SIMD, SSE2 kernels otherwise),
// and the ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "jpeg/jpeglib_api.h"

namespace {

const char* Mode() {
  if (std::getenv("JSIMD_FORCENONE")) return "nosimd";
  if (std::getenv("JSIMD_FORCESSE2")) return "sse2";
  return "default";
}

int OurKind() { return std::getenv("JSIMD_FORCENONE") ? 0 : 6; }

void PinKind(int kind) {
  const std::string path = "/tmp/velmi_jpegdec_bench_registry_" + std::to_string(getpid()) + ".txt";
  std::ofstream f(path);
  f << "[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\nUSECPU=dword:" << kind << "\n";
  f.close();
  setenv("VELMI_REGISTRY", path.c_str(), 1);
}

// Photo-like RGB content: gradients, soft shapes and mild noise.
std::vector<uint8_t> Photo(int w, int h) {
  std::vector<uint8_t> px((size_t)w * h * 3);
  std::mt19937 rng(42);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const double v = 128 + 60 * std::sin(x * 0.013 * (c + 1) + y * 0.007) + 40 * std::cos((x + y) * 0.021 + c) +
                         (int)(rng() % 9) - 4;
        px[((size_t)y * w + x) * 3 + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
      }
  return px;
}

std::vector<uint8_t> Encode(int w, int h, bool progressive) {
  const std::vector<uint8_t> px = Photo(w, h);
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(px.data() + (size_t)c.next_scanline * w * 3);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(mem, mem + size);
  std::free(mem);
  return out;
}

struct Input {
  int w, h;
  bool progressive;
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> picture;
};

Input& Get(int w, int h, bool progressive) {
  static std::map<std::tuple<int, int, bool>, Input> cache;
  auto key = std::make_tuple(w, h, progressive);
  auto it = cache.find(key);
  if (it == cache.end())
    it =
        cache.emplace(key, Input{w, h, progressive, Encode(w, h, progressive), std::vector<uint8_t>((size_t)w * h * 3)})
            .first;
  return it->second;
}

void Ours(benchmark::State& state) {
  Input& in = Get((int)state.range(0), (int)state.range(1), state.range(2) != 0);
  for (auto _ : state) {
    JpegJob job;
    JpegInit(&job);
    job.jpegBuffer = in.jpeg.data();
    job.jpegBufferSize = (int32_t)in.jpeg.size();
    job.dibPixels = in.picture.data();
    job.dibWidth = in.w;
    job.dibHeight = in.h;
    job.dibChannels = 3;
    job.dibColor = 2;
    const JpegStatus st = JpegRead(&job, 3);
    JpegFree(&job);
    if (st != 0) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(in.picture.data());
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)in.picture.size());
}

void Libjpeg(benchmark::State& state) {
  Input& in = Get((int)state.range(0), (int)state.range(1), state.range(2) != 0);
  std::vector<JSAMPROW> rows(in.h);
  for (int y = 0; y < in.h; ++y) rows[y] = in.picture.data() + (size_t)y * in.w * 3;
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr e;
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, in.jpeg.data(), (unsigned long)in.jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.do_fancy_upsampling = FALSE;
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height)
      jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(in.picture.data());
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)in.picture.size());
}

void Args(benchmark::internal::Benchmark* b) {
  for (int progressive : {0, 1}) {
    b->Args({640, 480, progressive});
    b->Args({2048, 1536, progressive});
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(Ours)->Apply(Args);
BENCHMARK(Libjpeg)->Apply(Args);

// Collects real times per benchmark to print ours / libjpeg-turbo.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    // The median of repetitions when there are any, else the single run.
    for (const Run& r : runs) {
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        times[name] = r.GetAdjustedRealTime();
      else if (r.run_type == Run::RT_Iteration && !times.count(name))
        times[name] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  PinKind(OurKind());
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nlibjpeg-turbo mode %s beside our processor kind %d (time ours / time libjpeg-turbo):\n", Mode(),
              OurKind());
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("Ours/", 0) != 0) continue;
    const std::string peer = "Libjpeg/" + name.substr(5);
    auto it = reporter.times.find(peer);
    if (it != reporter.times.end()) std::printf("  %-24s %.2f\n", name.substr(5).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  return 0;
}
