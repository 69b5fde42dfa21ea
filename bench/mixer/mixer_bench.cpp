// One refill of the mixer as a share of the buffer's play time (three
// typical channels, and all 64), allocations in the steady state of the
// refill, and our MP3 and Ogg sources beside libmpg123 and libvorbisfile
// called directly on the same files.
//
// Counters: "x_realtime" = seconds of sound per second of wall time (the
// share of play time is its inverse); "allocs_per_refill" = heap blocks
// taken per refill after the first second of play.
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <velmi_platform.h>
#include <velmi_wave.h>
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "player/media/mp3_source.h"
#include "tests/mixer/mixer_fixtures.h"
#include "player/media/ogg_source.h"
#include "player/media/sound_mixer.h"
#include "bench/support/heap_counter.h"

namespace {

using Bytes = mixertest::Bytes;

std::vector<int16_t> Music(int rate, int channels, double seconds) {
  std::mt19937 rng(3);
  const size_t frames = size_t(rate * seconds);
  std::vector<int16_t> v(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      const double t = double(i) / rate;
      v[i * channels + c] = int16_t(5000 * std::sin(2 * M_PI * 220 * t) +
                                    3000 * std::sin(2 * M_PI * (330 + 55 * c) * t) + double(int(rng() % 601) - 300));
    }
  return v;
}

struct Files {
  Bytes music, voice, effect;
  std::string folder;
};

const Files& TheFiles() {
  static Files* f = [] {
    auto* x = new Files;
    x->music = mixertest::EncodeMp3(Music(44100, 2, 10), 44100, 2);
    x->voice = mixertest::EncodeOgg(Music(22050, 1, 10), 22050, 1);
    x->effect = mixertest::EncodeMp3(Music(22050, 1, 2), 22050, 1);
    x->folder = "/tmp/velmi_mixer_bench_" + std::to_string(getpid());
    mkdir(x->folder.c_str(), 0755);
    auto put = [&](const char* name, const Bytes& b) {
      std::ofstream(x->folder + "/" + name, std::ios::binary)
          .write(reinterpret_cast<const char*>(b.data()), long(b.size()));
    };
    put("music.mp3", x->music);
    put("voice.ogg", x->voice);
    put("effect.mp3", x->effect);
    mixertest::LoadOverlays();
    return x;
  }();
  return *f;
}

std::string Where() {
  std::string w = TheFiles().folder + "/";
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

void RunRefills(benchmark::State& state, int channelCount) {
  TheFiles();
  VelmiWaveUseFake(true);
  {
    CSoundMixer mixer;
    mixer.OpenOutput(44100);
    const std::string where = Where();
    for (int c = 0; c < channelCount; ++c) {
      const char* name = c % 3 == 0 ? "music" : c % 3 == 1 ? "voice" : "effect";
      mixer.OpenSound(c, name, where.c_str(), nullptr, 80, 0, 1, 1, 1);
    }
    for (int i = 0; i < 10; ++i) VelmiWaveFakeReturn(1);  // past the first second
    const long before = HeapBlocksTaken();
    long refills = 0;
    for (auto _ : state) {
      VelmiWaveFakeReturn(1);
      ++refills;
    }
    state.counters["allocs_per_refill"] = double(HeapBlocksTaken() - before) / double(refills ? refills : 1);
    const double play = double(mixer.BufferSize()) / (44100.0 * 4);
    state.counters["x_realtime"] = benchmark::Counter(play, benchmark::Counter::kIsIterationInvariantRate);
    mixer.Suspend();  // nothing returns buffers now: stops release at once
  }
  VelmiWaveUseFake(false);
}

void BM_RefillThreeChannels(benchmark::State& state) { RunRefills(state, 3); }
void BM_Refill64Channels(benchmark::State& state) { RunRefills(state, 64); }

void ReportSeconds(benchmark::State& state, double seconds) {
  state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Mp3SourceMusic(benchmark::State& state) {
  const Bytes& mp3 = TheFiles().music;
  std::vector<BYTE> buf(20480);
  for (auto _ : state) {
    Mp3Source s;
    s.OpenMemory(mp3.data(), DWORD(mp3.size()));
    while (s.Read(buf.data(), 20480, 0) == 20480) {
    }
    benchmark::DoNotOptimize(buf.data());
  }
  ReportSeconds(state, 10);
}

// libmpg123 on the same bytes, fed whole, as a program calling it directly.
void BM_Libmpg123Music(benchmark::State& state) {
  const Bytes& mp3 = TheFiles().music;
  std::vector<unsigned char> buf(20480);
  for (auto _ : state) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(h);
    mpg123_feed(h, mp3.data(), mp3.size());
    size_t done = 0;
    for (;;) {
      const int r = mpg123_read(h, buf.data(), buf.size(), &done);
      if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    benchmark::DoNotOptimize(buf.data());
    mpg123_delete(h);
  }
  ReportSeconds(state, 10);
}

void BM_OggSourceVoice(benchmark::State& state) {
  const Bytes& ogg = TheFiles().voice;
  std::vector<BYTE> buf(20480 + OggSource::OVERSHOOT_ROOM);
  for (auto _ : state) {
    OggSource s;
    s.OpenMemory(ogg.data(), DWORD(ogg.size()));
    while (s.Read(buf.data(), 10240, 0) == 10240) {
    }
    benchmark::DoNotOptimize(buf.data());
  }
  ReportSeconds(state, 10);
}

struct Mem {
  const Bytes* b;
  size_t pos;
};
size_t MemRead(void* out, size_t size, size_t n, void* src) {
  auto* m = static_cast<Mem*>(src);
  const size_t k = std::min(n, (m->b->size() - m->pos) / size);
  std::memcpy(out, m->b->data() + m->pos, k * size);
  m->pos += k * size;
  return k;
}

// libvorbisfile on the same bytes from memory, as a program calling it directly.
void BM_LibvorbisfileVoice(benchmark::State& state) {
  const Bytes& ogg = TheFiles().voice;
  std::vector<char> buf(10240);
  for (auto _ : state) {
    Mem m{&ogg, 0};
    OggVorbis_File vf;
    ov_open_callbacks(&m, &vf, nullptr, 0, ov_callbacks{MemRead, nullptr, nullptr, nullptr});
    int link = 0;
    while (ov_read(&vf, buf.data(), int(buf.size()), 0, 2, 1, &link) > 0) {
    }
    benchmark::DoNotOptimize(buf.data());
    ov_clear(&vf);
  }
  ReportSeconds(state, 10);
}

}  // namespace

BENCHMARK(BM_RefillThreeChannels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Refill64Channels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mp3SourceMusic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libmpg123Music)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggSourceVoice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibvorbisfileVoice)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
