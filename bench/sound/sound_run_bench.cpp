// Wall time of the sound steps of a whole conversion run over the
// full-count sample folder: 48 music tracks, 230 effects and the voice pack.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "converter/conv_file_make.h"
#include "tools/sample_game.h"
#include "tools/sample_sounds.h"

namespace {

const std::string& SampleFolder() {
  static const std::string folder = [] {
    const std::string f = std::string(VELMI_BINARY_DIR) + "/bench-tmp/sound/sample";
    std::filesystem::remove_all(f);
    vtools::SampleTable table;
    vtools::AddSoundRows(table, vtools::SampleSize::Full);
    vtools::WriteSampleGame(f, table);
    return f;
  }();
  return folder;
}

// Counters: the run's done count and failures (0 expected).
void BM_FullCountSoundRun(benchmark::State& state) {
  setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  const int encoder = int(state.range(0));
  const std::string out = std::string(VELMI_BINARY_DIR) + "/bench-tmp/sound/out";
  std::filesystem::create_directories(out);
  SampleFolder();
  int done = 0, failures = 0;
  for (auto _ : state) {
    const int bitrates[2] = {7, 4}, rates[2] = {1, 0};
    CConvFileMake job(bitrates, rates, 1, 80);
    std::snprintf(job.m_sourceFolder, sizeof job.m_sourceFolder, "%s", SampleFolder().c_str());
    std::snprintf(job.m_outputFolder, sizeof job.m_outputFolder, "%s", out.c_str());
    job.m_doPictures = 0;
    job.m_encoder = encoder;
    job.Run();
    done = job.DoneCount();
    failures = job.FailureCount();
  }
  state.counters["items"] = done;
  state.counters["failures"] = failures;
}
BENCHMARK(BM_FullCountSoundRun)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
