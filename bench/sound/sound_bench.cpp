// Real-time factor of our MP3 and Ogg roads beside the coders called
// directly with the same settings on the same samples, and the voice
// decoder's blocks per second.
//
// Counter "x_realtime": seconds of sound coded per second of wall time.
#include <benchmark/benchmark.h>
#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "converter/sound/mp3_encoder.h"
#include "converter/sound/ogg_encoder.h"
#include "converter/sound/sound_prep.h"
#include "converter/sound/voice_decoder.h"

namespace {

constexpr double kSeconds = 10;

// A chord with a little noise, so the coders have something to work on.
const std::vector<int16_t>& Samples(int rate, int channels) {
  static std::vector<int16_t> cache[2][3];
  auto& v = cache[rate == 44100][channels];
  if (v.empty()) {
    std::mt19937 rng(5);
    const size_t frames = size_t(kSeconds * rate);
    v.resize(frames * channels);
    for (size_t i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) {
        const double t = double(i) / rate;
        const double s = 6000 * std::sin(2 * M_PI * 220 * t) + 4000 * std::sin(2 * M_PI * (330 + 110 * c) * t) +
                         2000 * std::sin(2 * M_PI * 1760 * t) + double(int(rng() % 801) - 400);
        v[i * channels + c] = int16_t(s);
      }
  }
  return v;
}

WAVEFORMATEX Format(int rate, int channels) {
  WAVEFORMATEX f{};
  BuildTargetFormat(&f, rate == 44100, channels == 2);
  return f;
}

void Report(benchmark::State& state) {
  state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

// The MP3 road as the sound runs take it: module loaded per sound, samples
// pulled through the read callback, stream gathered by the write callback.
void BM_Mp3Binding(benchmark::State& state) {
  setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  const int rate = int(state.range(0)), ch = int(state.range(1));
  const auto& s = Samples(rate, ch);
  WAVEFORMATEX f = Format(rate, ch);
  const int kbps = ch == 2 ? 128 : 64;
  for (auto _ : state) {
    DWORD n = DWORD(s.size() * 2);
    BYTE* mp3 = Mp3EncodeBuffer(&f, kbps, reinterpret_cast<const BYTE*>(s.data()), &f, &n);
    if (!mp3) state.SkipWithError("gogo.dll.so not found");
    benchmark::DoNotOptimize(mp3);
    if (mp3) LocalFree(mp3);
  }
  Report(state);
}

// libmp3lame directly with the module's settings.
void BM_Mp3LameDirect(benchmark::State& state) {
  const int rate = int(state.range(0)), ch = int(state.range(1));
  const auto& s = Samples(rate, ch);
  const int kbps = ch == 2 ? 128 : 64;
  const int frame = rate == 44100 ? 1152 : 576;
  std::vector<unsigned char> out(frame * 5 / 4 + 7200);
  std::vector<unsigned char> stream;
  for (auto _ : state) {
    stream.clear();
    lame_global_flags* gf = lame_init();
    lame_set_num_channels(gf, ch);
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_mode(gf, ch == 2 ? JOINT_STEREO : MONO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, kbps);
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_quality(gf, 5);
    lame_init_params(gf);
    const size_t frames = s.size() / ch;
    for (size_t i = 0; i < frames; i += frame) {
      const int n = int(std::min<size_t>(frame, frames - i));
      int k = ch == 2 ? lame_encode_buffer_interleaved(gf, const_cast<short*>(s.data() + i * 2), n, out.data(),
                                                       int(out.size()))
                      : lame_encode_buffer(gf, s.data() + i, s.data() + i, n, out.data(), int(out.size()));
      stream.insert(stream.end(), out.begin(), out.begin() + std::max(k, 0));
    }
    int k = lame_encode_flush(gf, out.data(), int(out.size()));
    stream.insert(stream.end(), out.begin(), out.begin() + std::max(k, 0));
    lame_close(gf);
    benchmark::DoNotOptimize(stream.data());
  }
  Report(state);
}

void BM_OggBinding(benchmark::State& state) {
  const int rate = int(state.range(0)), ch = int(state.range(1));
  const auto& s = Samples(rate, ch);
  WAVEFORMATEX f = Format(rate, ch);
  for (auto _ : state) {
    DWORD n = DWORD(s.size() * 2);
    BYTE* ogg = OggEncodeBuffer(&f, OggQualityFor(3), reinterpret_cast<const BYTE*>(s.data()), &f, &n);
    benchmark::DoNotOptimize(ogg);
    if (ogg) LocalFree(ogg);
  }
  Report(state);
}

// libvorbisenc and libogg directly at the same quality.
void BM_VorbisDirect(benchmark::State& state) {
  const int rate = int(state.range(0)), ch = int(state.range(1));
  const auto& s = Samples(rate, ch);
  std::vector<unsigned char> stream;
  for (auto _ : state) {
    stream.clear();
    vorbis_info vi;
    vorbis_info_init(&vi);
    vorbis_encode_init_vbr(&vi, ch, rate, OggQualityFor(3));
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    ogg_packet a, b, c;
    vorbis_analysis_headerout(&vd, &vc, &a, &b, &c);
    ogg_stream_packetin(&os, &a);
    ogg_stream_packetin(&os, &b);
    ogg_stream_packetin(&os, &c);
    ogg_page page;
    auto put = [&] {
      stream.insert(stream.end(), page.header, page.header + page.header_len);
      stream.insert(stream.end(), page.body, page.body + page.body_len);
    };
    while (ogg_stream_flush(&os, &page)) put();
    const size_t frames = s.size() / ch;
    for (size_t i = 0; i <= frames; i += 1024) {
      const int n = int(std::min<size_t>(1024, frames - i));
      if (n > 0) {
        float** buf = vorbis_analysis_buffer(&vd, n);
        for (int f = 0; f < n; ++f)
          for (int k = 0; k < ch; ++k) buf[k][f] = s[(i + f) * ch + k] / 32768.0f;
      }
      vorbis_analysis_wrote(&vd, n);
      while (vorbis_analysis_blockout(&vd, &vb) == 1) {
        vorbis_analysis(&vb, nullptr);
        vorbis_bitrate_addblock(&vb);
        ogg_packet op;
        while (vorbis_bitrate_flushpacket(&vd, &op)) {
          ogg_stream_packetin(&os, &op);
          while (ogg_stream_pageout(&os, &page)) put();
        }
      }
      if (n == 0) break;
    }
    while (ogg_stream_flush(&os, &page)) put();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    benchmark::DoNotOptimize(stream.data());
  }
  Report(state);
}

void BM_VoiceDecoder(benchmark::State& state) {
  if (!LoadVoiceDecodeTable()) state.SkipWithError("resource 132 missing");
  const int blocks = 64;
  std::vector<BYTE> in(size_t(blocks) * kVoiceBlockBytes);
  std::mt19937 rng(3);
  for (auto& b : in) b = BYTE(rng() % 7);  // small codes, as quantised speech has
  const DWORD outBytes = DWORD(kVoiceBlockStep * blocks * 2);
  std::vector<BYTE> out(outBytes);
  for (auto _ : state) {
    ExpandPcmVoice(out.data(), in.data(), outBytes, DWORD(in.size()), 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["blocks_per_s"] = benchmark::Counter(blocks, benchmark::Counter::kIsIterationInvariantRate);
}

#define RATES Args({44100, 2})->Args({22050, 1})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Mp3Binding)->RATES;
BENCHMARK(BM_Mp3LameDirect)->RATES;
BENCHMARK(BM_OggBinding)->RATES;
BENCHMARK(BM_VorbisDirect)->RATES;
BENCHMARK(BM_VoiceDecoder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
