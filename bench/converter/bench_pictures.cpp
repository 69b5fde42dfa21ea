// The picture road, stage by stage, on one 800 x 600 desktop picture at both
// screen scales, and a whole conversion of the sample desktop game. There is
// no outside peer: the figures are absolute times on this machine.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "converter/conv_file_make.h"
#include "converter/pictures/baseline_jpeg_reader.h"
#include "converter/pictures/bitmap_scale.h"
#include "converter/pictures/jbp1_recoder.h"
#include "converter/pictures/jbp1_writer.h"
#include "converter/pictures/rbp_writer.h"
#include "converter/pictures/zev_decode.h"
#include "formats/jbp1_stream.h"
#include "tools/sample_game.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr BYTE kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                              41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                              30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct Local {
  BYTE* p = nullptr;
  DWORD n = 0;
  ~Local() {
    if (p) LocalFree(p);
  }
};

// The sample game's 800 x 600 background, in the deflate variant.
const std::vector<uint8_t>& Zev800() {
  static const std::vector<uint8_t> file = [] {
    vtools::SamplePictureOptions spec{vtools::ZevVariant::Deflate, 24, 800, 600, vtools::PictureLook::Grid};
    return vtools::WriteZev(vtools::DrawSamplePicture("bg_sky.zev", spec), {});
  }();
  return file;
}

void Decode(Local* out) {
  out->n = static_cast<DWORD>(Zev800().size());
  out->p = DecodeZevDeflate(Zev800().data(), &out->n);
}

void RepackAndScale(const Local& decoded, int percent, Local* out) {
  DWORD n = decoded.n;
  BYTE* packed = RepackBitmap(decoded.p, &n);
  out->p = ScaleKeyed24(packed, &n, percent);
  out->n = n;
  LocalFree(packed);
}

// The top-first 24-bit copy the re-coder hands to the JPEG library.
std::vector<BYTE> TopFirst(const Local& scaled) {
  const int32_t w = *reinterpret_cast<const int32_t*>(scaled.p + 18),
                h = *reinterpret_cast<const int32_t*>(scaled.p + 22);
  const size_t stride = (3 * static_cast<size_t>(w) + 3) & ~size_t{3};
  std::vector<BYTE> copy(scaled.p, scaled.p + 54 + stride * h);
  for (int32_t y = 0; y < h; ++y) std::memcpy(&copy[54 + stride * y], scaled.p + 54 + stride * (h - 1 - y), stride);
  return copy;
}

struct Stages {
  Local decoded, scaled, jpeg;
  std::vector<BYTE> top;
  explicit Stages(int percent) {
    Decode(&decoded);
    RepackAndScale(decoded, percent, &scaled);
    top = TopFirst(scaled);
    jpeg.p = EncodeJpegInMemory(top.data(), &jpeg.n, 90);
  }
};

void BM_Decode(benchmark::State& state) {
  for (auto _ : state) {
    Local d;
    Decode(&d);
    benchmark::DoNotOptimize(d.p);
  }
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

void BM_RepackScale(benchmark::State& state) {
  Local d;
  Decode(&d);
  for (auto _ : state) {
    Local s;
    RepackAndScale(d, static_cast<int>(state.range(0)), &s);
    benchmark::DoNotOptimize(s.p);
  }
}
BENCHMARK(BM_RepackScale)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond);

void BM_JpegEncode(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Local j;
    j.p = EncodeJpegInMemory(s.top.data(), &j.n, 90);
    benchmark::DoNotOptimize(j.p);
  }
}
BENCHMARK(BM_JpegEncode)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond);

void BM_JpegRead(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CMemoryByteSource source(s.jpeg.p, s.jpeg.n);
    auto reader = std::make_unique<CBaselineJpegReader>();
    benchmark::DoNotOptimize(reader->Parse(&source));
  }
}
BENCHMARK(BM_JpegRead)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond);

// Dividing the blocks back and writing the JBP1 stream.
void BM_Jbp1(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  CMemoryByteSource source(s.jpeg.p, s.jpeg.n);
  CBaselineJpegReader reader;
  reader.Parse(&source);
  for (auto _ : state) {
    Jbp1Coefficients pic{};
    pic.width = static_cast<DWORD>(reader.Width());
    pic.height = static_cast<DWORD>(reader.Height());
    pic.quality = 90;
    for (int k = 0; k < 64; ++k) {
      pic.lumaQuant[kZigzag[k]] = static_cast<BYTE>(reader.QuantTable(0)[k]);
      pic.chromaQuant[kZigzag[k]] = static_cast<BYTE>(reader.QuantTable(1)[k]);
    }
    std::vector<int> blocks(reader.BlockCount() * 64);
    for (size_t b = 0; b < reader.BlockCount(); ++b) {
      const BYTE* q = b % 6 < 4 ? pic.lumaQuant : pic.chromaQuant;
      for (int i = 0; i < 64; ++i) blocks[b * 64 + i] = reader.Block(b)[i] / q[i];
    }
    pic.blocks = blocks.data();
    Local out;
    out.p = WriteJbp1Stream(pic, &out.n);
    benchmark::DoNotOptimize(out.p);
  }
}
BENCHMARK(BM_Jbp1)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond);

// The whole road of one picture: decode, repack and scale, then "RBP7" at
// quality 90 (code 2) or "RBP5" (code 0).
void BM_WholePicture(benchmark::State& state) {
  const int percent = static_cast<int>(state.range(0));
  const unsigned code = static_cast<unsigned>(state.range(1));
  for (auto _ : state) {
    Local d, s, pic;
    Decode(&d);
    RepackAndScale(d, percent, &s);
    pic.p = MakeRbpPicture(s.p, &pic.n, code, 0, 0);
    benchmark::DoNotOptimize(pic.p);
  }
}
BENCHMARK(BM_WholePicture)->Args({40, 2})->Args({80, 2})->Args({40, 0})->Args({80, 0})->Unit(benchmark::kMillisecond);

std::string SampleFolder() {
  static const std::string folder = [] {
    const std::string f = std::string(VELMI_BINARY_DIR) + "/bench-tmp/converter/sample";
    std::filesystem::remove_all(f);
    vtools::WriteSampleGame(f, vtools::SampleGameTable(vtools::SampleSize::Full));
    return f;
  }();
  return folder;
}

void RunSample(int percent, int quality) {
  const int bitrates[2] = {5, 3}, rates[2] = {1, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::strcpy(job->m_sourceFolder, SampleFolder().c_str());
  const std::string out = std::string(VELMI_BINARY_DIR) + "/bench-tmp/converter/out";
  std::filesystem::create_directories(out);
  std::strcpy(job->m_outputFolder, out.c_str());
  job->m_qualityCode = quality;
  job->m_doMusic = job->m_doVoices = 0;
  CThreadCtrl ctrl(job);
  ctrl.StartChecked();
  ctrl.WaitChecked(INFINITE);
  ctrl.Close();
  delete job;
}

// Whole run on the sample folder (pictures and scripts); its peak memory is
// measured in a child process that does nothing else.
void BM_SampleRun(benchmark::State& state) {
  const int percent = static_cast<int>(state.range(0));
  SampleFolder();
  for (auto _ : state) RunSample(percent, 2);
  const pid_t child = fork();
  if (child == 0) {
    RunSample(percent, 2);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_SampleRun)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond)->Iterations(3);

// The JPEG encoder's share of a sample run: every sample picture's own
// encode, timed alone, against the run's wall time.
void BM_SampleEncoderShare(benchmark::State& state) {
  const int percent = static_cast<int>(state.range(0));
  SampleFolder();
  double share = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    RunSample(percent, 2);
    const double run = std::chrono::duration<double>(Clock::now() - t0).count();
    double encode = 0;
    for (const vtools::SampleFile& row : vtools::SampleGameTable(vtools::SampleSize::Full)) {
      if (row.path.size() < 4 || row.path[0] == '.' ||
          (row.path.find(".zev") == std::string::npos && row.path.find(".ZEV") == std::string::npos) ||
          row.path.find("startup") != std::string::npos)
        continue;
      const std::vector<uint8_t> file = row.make();
      DWORD n = static_cast<DWORD>(file.size());
      Local d;
      if (ZevVariantOf(file.data(), n) == 2) {
        d.p = DecodeZevDeflate(file.data(), &n);
      } else {
        n = ZevLzBitmapSize(file.data(), n);
        d.p = static_cast<BYTE*>(LocalAlloc(LPTR, n));
        DecodeZevLz(d.p, file.data(), n, static_cast<DWORD>(file.size()));
      }
      d.n = n;
      if (!d.p) continue;
      Local s;
      DWORD m = d.n;
      BYTE* packed = RepackBitmap(d.p, &m);
      s.p = *reinterpret_cast<const uint16_t*>(packed + 28) == 32 ? ScaleAlpha32(packed, &m, percent)
                                                                  : ScaleKeyed24(packed, &m, percent);
      s.n = m;
      LocalFree(packed);
      if (!s.p || *reinterpret_cast<const int32_t*>(s.p + 18) < 8 || *reinterpret_cast<const int32_t*>(s.p + 22) < 8)
        continue;
      // Drop the alpha byte: the encoder sees B, G, R.
      const int32_t w = *reinterpret_cast<const int32_t*>(s.p + 18), h = *reinterpret_cast<const int32_t*>(s.p + 22);
      const int bpp = *reinterpret_cast<const uint16_t*>(s.p + 28) / 8;
      const size_t inStride = (static_cast<size_t>(bpp) * w + 3) & ~size_t{3},
                   stride = (3 * static_cast<size_t>(w) + 3) & ~size_t{3};
      std::vector<BYTE> copy(54 + stride * h);
      std::memcpy(copy.data(), s.p, 54);
      copy[28] = 24;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
          std::memcpy(&copy[54 + stride * y + 3 * x], s.p + 54 + inStride * (h - 1 - y) + bpp * x, 3);
      const auto e0 = Clock::now();
      Local j;
      j.p = EncodeJpegInMemory(copy.data(), &j.n, 90);
      encode += std::chrono::duration<double>(Clock::now() - e0).count();
    }
    share = encode / run;
  }
  state.counters["encoder_share_pct"] = 100.0 * share;
}
BENCHMARK(BM_SampleEncoderShare)->Arg(40)->Arg(80)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
