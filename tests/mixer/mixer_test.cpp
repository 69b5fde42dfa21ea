// The mixer on the fake wave device and the fake clock: what it plays is
// captured and compared with a model of the conversion, gain, saturation
// and fade rules, buffer by buffer.
#include <gtest/gtest.h>

#include <velmi_platform.h>
#include <velmi_wave.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "mixer_fixtures.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"
#include "player/media/movie_player.h"
#include "player/media/sound_mixer.h"

using namespace mixertest;

namespace {

// ---- The model ----------------------------------------------------------

// Input frame that output frame f takes: nearest neighbour, no filtering.
size_t InputFrame(size_t f, DWORD streamRate, DWORD deviceRate) {
  if (deviceRate == 44100 && streamRate == 22050) return f / 2;
  if (deviceRate == 22050 && streamRate == 44100) return f * 2;
  return f;
}

// Device frames (stereo) from stream samples.
std::vector<int16_t> ModelConvert(const int16_t* in, size_t inFrames, int channels, DWORD streamRate, DWORD deviceRate,
                                  size_t outFrames) {
  std::vector<int16_t> out(outFrames * 2, 0);
  for (size_t f = 0; f < outFrames; ++f) {
    const size_t i = InputFrame(f, streamRate, deviceRate);
    if (i >= inFrames) break;
    out[2 * f] = in[i * channels];
    out[2 * f + 1] = in[i * channels + channels - 1];
  }
  return out;
}

// Stream bytes a buffer of n device bytes asks for.
size_t Want(size_t n, int channels, DWORD streamRate, DWORD deviceRate) {
  if (channels == 1) n /= 2;
  if (deviceRate == 44100 && streamRate == 22050) n /= 2;
  if (deviceRate == 22050 && streamRate == 44100) n *= 2;
  return n;
}

// One channel as the model plays it: the whole stream, decoded once.
struct ModelChannel {
  std::vector<int16_t> pcm;  // the stream's samples, once
  int channels = 2;
  DWORD rate = 44100;
  bool loop = false;
  size_t consumed = 0;  // stream bytes handed out so far
  bool ended = false;
  // Device samples of the next buffer of n bytes, before gain.
  std::vector<int16_t> Next(size_t n, DWORD deviceRate) {
    std::vector<int16_t> out(n / 2, 0);
    if (ended) return out;
    const size_t total = pcm.size() * 2;
    if (!loop && consumed >= total) {
      ended = true;
      return out;
    }
    const size_t want = Want(n, channels, rate, deviceRate);
    std::vector<int16_t> chunk;
    for (size_t b = 0; b < want / 2; ++b) {
      size_t at = consumed / 2 + b;
      if (loop)
        at %= pcm.size();
      else if (at >= pcm.size())
        break;
      chunk.push_back(pcm[at]);
    }
    consumed += chunk.size() * 2;
    const size_t inFrames = chunk.size() / channels;
    size_t outFrames = inFrames;
    if (deviceRate == 44100 && rate == 22050) outFrames *= 2;
    if (deviceRate == 22050 && rate == 44100) outFrames /= 2;
    outFrames = std::min(outFrames, n / 4);
    const std::vector<int16_t> conv = ModelConvert(chunk.data(), inFrames, channels, rate, deviceRate, outFrames);
    std::copy(conv.begin(), conv.end(), out.begin());
    return out;
  }
};

void ModelMix(std::vector<int16_t>& out, const std::vector<int16_t>& s, int gain) {
  for (size_t i = 0; i < out.size(); ++i) {
    const int v = gain < 100 ? s[i] * gain / 100 : s[i];
    out[i] = int16_t(std::clamp(out[i] + v, -32768, 32767));
  }
}

std::vector<int16_t> Samples(const Bytes& b) {
  std::vector<int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

// ---- The rig ------------------------------------------------------------

class MixerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadOverlays(); }

  void SetUp() override {
    VelmiClockUseFake(100000);
    VelmiWaveUseFake(true);
    VelmiWaveFailRate(0);
    folder = TempFolder("snd");
    capture = folder + "/capture.raw";
    VelmiWaveCaptureTo(capture.c_str());
    mixer = std::make_unique<CSoundMixer>();
  }
  void TearDown() override {
    mixer.reset();
    VelmiWaveCaptureTo(nullptr);
    VelmiWaveUseFake(false);
    VelmiWaveFailRate(0);
    VelmiClockUseReal();
  }

  // Writes a sound file into the sound folder and returns its PCM as our
  // sources decode it (checked against the independent decoders elsewhere).
  ModelChannel AddMp3(const std::string& name, const std::vector<int16_t>& tone, int rate, int channels) {
    const Bytes mp3 = EncodeMp3(tone, rate, channels);
    WriteBytes(folder + "/" + name + ".mp3", mp3);
    Mp3Source s;
    EXPECT_EQ(s.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
    return Decoded(s, rate, channels);
  }
  ModelChannel AddOgg(const std::string& name, const std::vector<int16_t>& tone, int rate, int channels) {
    const Bytes ogg = EncodeOgg(tone, rate, channels);
    WriteBytes(folder + "/" + name + ".ogg", ogg);
    OggSource s;
    EXPECT_EQ(s.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
    return Decoded(s, rate, channels);
  }
  template <typename Source>
  static ModelChannel Decoded(Source& s, int rate, int channels) {
    ModelChannel m;
    m.rate = DWORD(rate);
    m.channels = channels;
    std::vector<BYTE> buf(8192 + OggSource::OVERSHOOT_ROOM);
    Bytes all;
    for (;;) {
      const int n = s.Read(buf.data(), 8192, 0);
      all.insert(all.end(), buf.begin(), buf.begin() + n);
      if (n < 8192 || s.IsAtEnd()) break;
    }
    m.pcm = Samples(all);
    return m;
  }

  int Open(int channel, const char* name, int volume, int loop = 0, int fadeInMs = 0, int inMemory = 1) {
    return mixer->OpenSound(channel, name, (WinPath(folder) + "\\").c_str(), nullptr, volume, fadeInMs, loop, 1,
                            inMemory);
  }

  // Plays `count` buffers (the clock moves `ms` before each) and returns
  // what the device played.
  std::vector<int16_t> Pump(int count, DWORD ms = 0) {
    const size_t before = ReadBytes(capture).size();
    for (int i = 0; i < count; ++i) {
      if (ms) VelmiClockAdvance(ms);
      EXPECT_EQ(VelmiWaveFakeReturn(1), 1);
    }
    const Bytes all = ReadBytes(capture);
    return Samples(Bytes(all.begin() + long(before), all.end()));
  }

  size_t Mark() { return ReadBytes(capture).size(); }
  // Refill k since `mark` (taken right after the output was opened): the
  // device plays three silent buffers first.
  std::vector<int16_t> Refilled(size_t mark, int k, DWORD n) {
    const Bytes all = ReadBytes(capture);
    const size_t at = mark + size_t(3 + k) * n;
    if (all.size() < at + n) return {};
    return Samples(Bytes(all.begin() + long(at), all.begin() + long(at + n)));
  }

  std::string folder, capture;
  std::unique_ptr<CSoundMixer> mixer;
};

// ---- Conversion ---------------------------------------------------------

TEST(MixerConversion, NearestNeighbourRateAndChannelConversionMatchesTheModel) {
  struct Case {
    int channels;
    DWORD streamRate, deviceRate;
  };
  const Case cases[] = {{1, 22050, 44100}, {2, 22050, 44100}, {2, 44100, 44100}, {1, 44100, 44100},
                        {2, 32000, 44100}, {1, 11025, 44100}, {1, 44100, 22050}, {2, 44100, 22050},
                        {2, 22050, 22050}, {1, 22050, 22050}, {2, 32000, 22050}};
  std::mt19937 rng(7);
  std::vector<int16_t> in(2 * 2 * 5000);
  for (auto& s : in) s = int16_t(rng());
  for (const Case& c : cases) {
    for (size_t frames : {1u, 2u, 3u, 4097u}) {
      SCOPED_TRACE(testing::Message() << c.channels << "ch " << c.streamRate << " on " << c.deviceRate << ", " << frames
                                      << " frames");
      std::vector<int16_t> out(frames * 2, 0x7777);
      CSoundMixer::ConvertToOutput(reinterpret_cast<BYTE*>(out.data()), reinterpret_cast<const BYTE*>(in.data()),
                                   DWORD(frames * 4), c.channels, c.streamRate, c.deviceRate);
      EXPECT_EQ(out, ModelConvert(in.data(), in.size() / c.channels, c.channels, c.streamRate, c.deviceRate, frames));
    }
  }
}

// ---- Playing ------------------------------------------------------------

TEST_F(MixerTest, ThreeStreamsMixAsTheModelAtBothDeviceRates) {
  for (DWORD rate : {44100u, 22050u}) {
    SCOPED_TRACE(rate);
    mixer = std::make_unique<CSoundMixer>();
    ASSERT_EQ(mixer->OpenOutput(rate), rate);
    EXPECT_EQ(GetOutputRate(), rate);
    const DWORD n = mixer->BufferSize();
    EXPECT_EQ(n, rate == 44100 ? 20480u : 10240u);
    EXPECT_EQ(VelmiWaveQueued(), 3);
    ModelChannel music = AddMp3("music", Tone(440, 44100, 2, 3.0), 44100, 2);
    ModelChannel voice = AddOgg("voice", Tone(660, 22050, 1, 0.6), 22050, 1);
    ModelChannel effect = AddMp3("effect", Tone(880, 22050, 1, 0.4, 0.8), 22050, 1);
    ASSERT_EQ(Open(0, "music", 100, 0, 0, 0), 1);  // streamed from the mapped file
    ASSERT_EQ(Open(20, "voice.wav", 37), 1);       // an extension is replaced
    ASSERT_EQ(Open(10, "effect", 80), 1);
    EXPECT_EQ(mixer->GetChannel(20)->sourceKind, 1);
    EXPECT_EQ(mixer->GetChannel(0)->sourceKind, 0);
    const size_t mark = Mark();
    bool clipped = false;
    std::vector<std::vector<int16_t>> expected;
    for (int k = 0; k < 14; ++k) {
      std::vector<int16_t> e(n / 2, 0);
      ModelMix(e, music.Next(n, rate), 100);
      ModelMix(e, effect.Next(n, rate), 80);
      ModelMix(e, voice.Next(n, rate), 37);
      for (int16_t s : e) clipped |= s == 32767 || s == -32768;
      expected.push_back(e);
    }
    // Three silent buffers were queued at the start.
    for (int16_t s : Pump(3)) ASSERT_EQ(s, 0);
    Pump(14);
    for (int k = 0; k < 14; ++k) ASSERT_EQ(Refilled(mark, k, n), expected[k]) << "buffer " << k;
    EXPECT_TRUE(clipped) << "the loud pair never reached the limits";
    // The effect and the voice have ended; they keep their slots, silent.
    EXPECT_EQ(mixer->GetChannelState(10), CHANNEL_IDLE);
    EXPECT_EQ(mixer->GetChannelState(20), CHANNEL_IDLE);
    EXPECT_EQ(mixer->GetPlayPosition(20), -1);
    EXPECT_EQ(mixer->GetChannelState(0), CHANNEL_PLAYING);
  }
}

TEST_F(MixerTest, FadesFollowTheClockAndAFinishedFadeOutReleasesTheChannel) {
  mixer->OpenOutput(44100);
  const size_t mark = Mark();
  const DWORD n = mixer->BufferSize();
  ModelChannel a = AddMp3("a", Tone(300, 44100, 2, 3.0), 44100, 2);
  ModelChannel b = AddMp3("b", Tone(500, 44100, 2, 3.0), 44100, 2);
  ASSERT_EQ(Open(0, "a", 90, 1, 1000), 1);  // fade in over 1,000 ms
  ASSERT_EQ(Open(1, "b", 60, 1), 1);
  a.loop = b.loop = true;
  const DWORD start = GetTickCount();
  ASSERT_EQ(mixer->FadeOut(1, 700), 1);
  EXPECT_EQ(mixer->FadeOut(5, 700), 0);  // an empty slot
  EXPECT_EQ(mixer->FadeIn(5, 700), 0);
  std::vector<std::vector<int16_t>> expected;
  bool bGone = false;
  for (int k = 0; k < 14; ++k) {
    VelmiClockAdvance(100);
    const DWORD elapsed = GetTickCount() - start;
    std::vector<int16_t> e(n / 2, 0);
    const int pa = elapsed >= 1000 ? 100 : int(elapsed * 100 / 1000);
    ModelMix(e, a.Next(n, 44100), std::min(100, 90 * pa / 100));
    if (!bGone) {
      if (elapsed >= 700) {
        bGone = true;  // stopped and released in this refill, nothing mixed
      } else {
        ModelMix(e, b.Next(n, 44100), std::min(100, 60 * (100 - int(elapsed * 100 / 700)) / 100));
      }
    }
    expected.push_back(e);
    VelmiWaveFakeReturn(1);
    EXPECT_EQ(mixer->GetChannel(1) == nullptr, bGone) << "buffer " << k;
    EXPECT_EQ(mixer->GetChannel(0)->effectiveVolume, std::min(100, 90 * pa / 100));
  }
  Pump(3);
  for (int k = 0; k < 14; ++k) ASSERT_EQ(Refilled(mark, k, n), expected[k]) << "buffer " << k;
  // A fade-out of 0 ms ends at the next buffer.
  ASSERT_EQ(mixer->FadeOut(0, 0), 1);
  Pump(1);
  EXPECT_EQ(mixer->GetChannel(0), nullptr);
}

TEST_F(MixerTest, VolumeRulesAndLoopingPlayback) {
  mixer->OpenOutput(44100);
  const DWORD n = mixer->BufferSize();
  ModelChannel m = AddOgg("loop", Tone(440, 22050, 2, 0.25, 0.7), 22050, 2);
  ASSERT_EQ(Open(3, "loop", 150, 1), 1);
  EXPECT_EQ(mixer->GetChannel(3)->volume, 0);  // out of range: 0
  EXPECT_EQ(mixer->SetChannelVolume(3, 55), 1);
  EXPECT_EQ(mixer->SetChannelVolume(3, 101), 1);  // above 100: the old volume stays
  EXPECT_EQ(mixer->GetChannel(3)->volume, 55);
  EXPECT_EQ(mixer->SetChannelVolume(nullptr, 10), 1);
  EXPECT_EQ(mixer->SetChannelVolume(4, 10), 0);
  m.loop = true;
  std::vector<int16_t> expected;
  for (int k = 0; k < 12; ++k) {  // about six passes of the stream
    std::vector<int16_t> e(n / 2, 0);
    ModelMix(e, m.Next(n, 44100), 55);
    expected.insert(expected.end(), e.begin(), e.end());
  }
  Pump(3);
  EXPECT_EQ(Pump(12), expected);
  EXPECT_EQ(mixer->GetChannelState(3), CHANNEL_PLAYING);
}

TEST_F(MixerTest, SixtyFourChannelsAtOnce) {
  mixer->OpenOutput(44100);
  const DWORD n = mixer->BufferSize();
  ModelChannel m = AddMp3("fx", Tone(1000, 44100, 2, 0.5, 0.9), 44100, 2);
  std::vector<ModelChannel> models(kSoundChannels, m);
  for (int c = 0; c < kSoundChannels; ++c) ASSERT_EQ(Open(c, "fx", 1 + c % 3), 1) << c;
  std::vector<int16_t> expected;
  for (int k = 0; k < 4; ++k) {
    std::vector<int16_t> e(n / 2, 0);
    for (int c = 0; c < kSoundChannels; ++c) ModelMix(e, models[c].Next(n, 44100), 1 + c % 3);
    expected.insert(expected.end(), e.begin(), e.end());
  }
  Pump(3);
  EXPECT_EQ(Pump(4), expected);
}

TEST_F(MixerTest, PlayPositionStartsAtTheThirdMixAndSurvivesSuspend) {
  mixer->OpenOutput(44100);
  const DWORD n = mixer->BufferSize();
  ModelChannel m = AddMp3("long", Tone(440, 44100, 2, 4.0), 44100, 2);
  ASSERT_EQ(Open(0, "long", 100), 1);
  EXPECT_EQ(mixer->GetPlayPosition(0), 0);
  Pump(2);
  EXPECT_EQ(mixer->GetPlayPosition(0), 0);  // two mixes: no stamp yet
  Pump(1);                                  // the third mix takes the stamp
  EXPECT_EQ(mixer->GetPlayPosition(0), 0);
  Pump(2);
  const auto ms = [&](double buffers) { return int(buffers * n * (1.0 / (44100 * 4)) * 1000); };
  EXPECT_EQ(mixer->GetPlayPosition(0), ms(2));  // refills 0 and 1 have been heard
  // Refills 2 to 4 are queued; a suspend drops them with the device.
  for (int k = 0; k < 5; ++k) m.Next(n, 44100);
  const int written = mixer->BuffersWritten();
  mixer->Suspend();
  EXPECT_EQ(VelmiWaveOpenDevices(), 0);
  EXPECT_EQ(mixer->Device(), nullptr);
  EXPECT_EQ(mixer->BuffersWritten(), written);  // buffers returned by the reset were not refilled
  EXPECT_EQ(mixer->GetChannelState(0), CHANNEL_PLAYING);
  EXPECT_EQ(mixer->GetPlayPosition(0), ms(2));
  mixer->Resume();
  ASSERT_NE(mixer->Device(), nullptr);
  EXPECT_EQ(VelmiWaveQueued(), 3);
  for (int16_t s : Pump(3)) ASSERT_EQ(s, 0);
  EXPECT_EQ(mixer->GetPlayPosition(0), ms(2));  // the new stamp is taken as refill 5 starts playing
  std::vector<int16_t> expected;
  for (int k = 0; k < 3; ++k) {
    std::vector<int16_t> e(n / 2, 0);
    ModelMix(e, m.Next(n, 44100), 100);
    expected.insert(expected.end(), e.begin(), e.end());
  }
  EXPECT_EQ(Pump(3), expected);  // playing goes on after what was mixed
  Pump(1);
  EXPECT_EQ(mixer->GetPlayPosition(0), ms(6));
}

// ---- Stopping -----------------------------------------------------------

TEST_F(MixerTest, StopWaitsForTheDeviceThreadAndOpenNeverReusesALiveChannel) {
  mixer->OpenOutput(44100);
  AddMp3("s", Tone(440, 44100, 2, 1.0), 44100, 2);
  ASSERT_EQ(Open(0, "s", 100, 1), 1);
  std::atomic<bool> done{false};
  std::thread device([&] {
    while (!done) VelmiWaveFakeReturn(1);
  });
  mixer->StopChannel(0);
  EXPECT_EQ(mixer->GetChannel(0), nullptr);
  ASSERT_EQ(Open(0, "s", 100, 1), 1);
  ASSERT_EQ(Open(0, "s", 50, 1), 1);  // stops the sound that plays there first
  EXPECT_EQ(mixer->GetChannel(0)->volume, 50);
  done = true;
  device.join();
  // Suspended: no refill comes, the stop releases at once.
  mixer->Suspend();
  mixer->StopChannel(0);
  EXPECT_EQ(mixer->GetChannel(0), nullptr);
  mixer->Resume();
  ASSERT_EQ(Open(7, "s", 100), 1);
  mixer->CloseOutput();
  EXPECT_EQ(mixer->GetChannel(7), nullptr);
  EXPECT_EQ(VelmiWaveOpenDevices(), 0);
  EXPECT_EQ(mixer->OpenOutput(44100), 0u);  // closed for good
}

// ---- Opening ------------------------------------------------------------

// A stored pack of the given entries.
Bytes Pack(const std::vector<std::pair<std::string, Bytes>>& entries) {
  Bytes out(16 + 84 * entries.size(), 0);
  std::memcpy(out.data(), "RLZ2", 4);
  auto put = [&](size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
  put(4, uint32_t(entries.size()));
  uint32_t offset = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t e = 16 + 84 * i;
    std::memcpy(out.data() + e, entries[i].first.c_str(), entries[i].first.size() + 1);
    put(e + 64, uint32_t(entries[i].second.size()));
    put(e + 68, uint32_t(entries[i].second.size()));
    put(e + 72, 0);
    put(e + 76, offset);
    offset += uint32_t(entries[i].second.size());
  }
  for (const auto& en : entries) out.insert(out.end(), en.second.begin(), en.second.end());
  return out;
}

TEST_F(MixerTest, OpenSoundFindsTheKindByExtensionInFoldersAndPacks) {
  // No output: stops release at once.
  AddMp3("onlymp3", Tone(440, 22050, 1, 0.2), 22050, 1);
  AddMp3("both", Tone(440, 22050, 1, 0.2), 22050, 1);
  AddOgg("both", Tone(440, 22050, 1, 0.2), 22050, 1);
  AddOgg("onlyogg", Tone(440, 22050, 1, 0.2), 22050, 1);
  const std::string tooLong(64, 'x');
  struct Case {
    int codec;
    const char* name;
    int kind;  // -1: fails
  } cases[] = {{1, "onlymp3", 0},     {1, "both", 1},     {0, "both", 0},          {2, "both", 0},
               {0, "onlyogg.mp3", 1}, {0, "missing", -1}, {1, tooLong.c_str(), -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mixer->SetPreferredCodec(c.codec);
    EXPECT_EQ(Open(2, c.name, 100), c.kind >= 0 ? 1 : 0);
    if (c.kind >= 0) {
      EXPECT_EQ(mixer->GetChannel(2)->sourceKind, c.kind);
      EXPECT_STREQ(mixer->GetChannel(2)->name, c.name);
    } else {
      EXPECT_EQ(mixer->GetChannel(2), nullptr);
    }
  }
  mixer->SetPreferredCodec(2);
  EXPECT_EQ(mixer->PreferredCodec(), 0);

  const Bytes voice = EncodeOgg(Tone(440, 22050, 1, 0.3), 22050, 1);
  WriteBytes(folder + "/voice.mlz",
             Pack({{"V001.ogg", voice}, {"V002.mp3", EncodeMp3(Tone(440, 22050, 1, 0.3), 22050, 1)}}));
  PackReader reader;
  const std::string pack = WinPath(folder + "/voice.mlz");
  mixer->SetPreferredCodec(0);
  ASSERT_EQ(mixer->OpenSound(20, "v001", pack.c_str(), &reader, 100, 0, 0, 1, 1), 1);
  EXPECT_EQ(mixer->GetChannel(20)->sourceKind, 1);
  EXPECT_EQ(mixer->GetChannel(20)->totalPcmBytes, OggdecRaw(voice).size());
  EXPECT_EQ(mixer->GetChannelState(20), CHANNEL_PLAYING);
  ASSERT_EQ(mixer->OpenSound(21, "V002", pack.c_str(), &reader, 100, 0, 0, 0, 1), 1);
  EXPECT_EQ(mixer->GetChannelState(21), CHANNEL_IDLE);  // loaded, not started
  EXPECT_EQ(mixer->Play(21, 0), 0);
  EXPECT_EQ(mixer->GetChannelState(21), CHANNEL_PLAYING);
  EXPECT_EQ(mixer->OpenSound(22, "V003", pack.c_str(), &reader, 100, 0, 0, 1, 1), 0);

  // Without the Ogg overlay an Ogg sound is not even made.  (The overlay
  // goes only after every channel, as at the end of the program.)
  mixer->StopAll();
  UnloadOggOverlay();
  EXPECT_EQ(mixer->OpenSound(20, "v001", pack.c_str(), &reader, 100, 0, 0, 1, 1), 0);
  EXPECT_EQ(mixer->GetChannel(20), nullptr);
  EXPECT_EQ(Open(3, "onlyogg", 100), 0);
  EXPECT_EQ(Open(3, "both", 100), 1);  // the MP3 file still plays
  LoadOverlays();
}

TEST_F(MixerTest, OutputRateFallbackAndARunWithoutDevice) {
  VelmiWaveFailRate(44100);
  EXPECT_EQ(mixer->OpenOutput(44100), 22050u);
  EXPECT_EQ(VelmiWaveRefusedOpens(), 1);
  EXPECT_EQ(mixer->BufferSize(), 10240u);
  EXPECT_EQ(GetOutputRate(), 22050u);
  EXPECT_NE(mixer->Device(), nullptr);

  mixer = std::make_unique<CSoundMixer>();
  VelmiWaveFailRate(VELMI_WAVE_FAIL_ALL);
  EXPECT_EQ(mixer->OpenOutput(44100), 22050u);
  EXPECT_EQ(mixer->Device(), nullptr);
  AddMp3("x", Tone(440, 44100, 2, 0.2), 44100, 2);
  ASSERT_EQ(Open(0, "x", 100, 1), 1);
  mixer->SetDeviceVolume(70000);
  EXPECT_EQ(mixer->GetPlayPosition(0), 0);
  mixer->StopChannel(0);  // nothing would ever release it: released at once
  EXPECT_EQ(mixer->GetChannel(0), nullptr);
  mixer->Suspend();
  mixer->Resume();
  EXPECT_EQ(mixer->Device(), nullptr);
}

// A movie's sound track is taken only where a device plays it: with no
// device its position stays 0, and a movie timed by it would never leave its
// first frame; without the track the movie runs on the clock.
TEST_F(MixerTest, AMovieTrackIsTakenOnlyWithADevice) {
  AddMp3("opening", Tone(440, 44100, 2, 0.2), 44100, 2);
  const std::string where = WinPath(folder) + "\\";
  for (const bool device : {true, false}) {
    mixer = std::make_unique<CSoundMixer>();
    VelmiWaveFailRate(device ? 0 : VELMI_WAVE_FAIL_ALL);
    mixer->OpenOutput(44100);
    ASSERT_EQ(mixer->Device() != nullptr, device);
    EXPECT_EQ(kMixerTrackCalls.open(mixer.get(), "opening.mp3", where.c_str(), 100, 1), device ? 1 : 0) << device;
    EXPECT_EQ(mixer->GetChannel(0) != nullptr, device) << device;
  }
}

}  // namespace
