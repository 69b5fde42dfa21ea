// LZSS beside zlib (compress2 level 6, uncompress) on the same buffers.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "converter/lzss_compressor.h"
#include "formats/lzss.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes& Input(int which) {
  static const Bytes inputs[] = {
      formats_test::ScriptLikeText(256 * 1024),
      formats_test::AlphaPlane(640, 480),
      formats_test::RandomBytes(256 * 1024, 42),
  };
  return inputs[which];
}

const char* const kNames[] = {"script_text", "alpha_plane", "incompressible"};

void BM_LzssCompress(benchmark::State& state) {
  const Bytes& in = Input(static_cast<int>(state.range(0)));
  Bytes out(LzssMaxCompressedSize(static_cast<DWORD>(in.size())));
  int n = 0;
  for (auto _ : state) {
    n = LzssCompress(out.data(), in.data(), static_cast<DWORD>(in.size()));
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(n) / in.size();
  state.SetLabel(kNames[state.range(0)]);
}

void BM_ZlibCompress6(benchmark::State& state) {
  const Bytes& in = Input(static_cast<int>(state.range(0)));
  Bytes out(compressBound(in.size()));
  uLongf n = 0;
  for (auto _ : state) {
    n = out.size();
    compress2(out.data(), &n, in.data(), in.size(), 6);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(n) / in.size();
  state.SetLabel(kNames[state.range(0)]);
}

void BM_LzssDecode(benchmark::State& state) {
  const Bytes& in = Input(static_cast<int>(state.range(0)));
  Bytes coded(LzssMaxCompressedSize(static_cast<DWORD>(in.size())));
  coded.resize(LzssCompress(coded.data(), in.data(), static_cast<DWORD>(in.size())));
  Bytes out(in.size());
  for (auto _ : state) {
    const int r =
        LzssDecode(out.data(), coded.data(), static_cast<DWORD>(out.size()), static_cast<DWORD>(coded.size()));
    benchmark::DoNotOptimize(r);
  }
  if (out != in) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.SetLabel(kNames[state.range(0)]);
}

void BM_ZlibUncompress(benchmark::State& state) {
  const Bytes& in = Input(static_cast<int>(state.range(0)));
  Bytes coded(compressBound(in.size()));
  uLongf codedSize = coded.size();
  compress2(coded.data(), &codedSize, in.data(), in.size(), 6);
  Bytes out(in.size());
  for (auto _ : state) {
    uLongf n = out.size();
    const int r = uncompress(out.data(), &n, coded.data(), codedSize);
    benchmark::DoNotOptimize(r);
  }
  if (out != in) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.SetLabel(kNames[state.range(0)]);
}

}  // namespace

BENCHMARK(BM_LzssCompress)->DenseRange(0, 2);
BENCHMARK(BM_ZlibCompress6)->DenseRange(0, 2);
BENCHMARK(BM_LzssDecode)->DenseRange(0, 2);
BENCHMARK(BM_ZlibUncompress)->DenseRange(0, 2);
BENCHMARK_MAIN();
