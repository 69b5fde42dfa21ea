// End to end: a sample desktop game converted (MP3 and Ogg), then a music
// track, an effect and a voice of the converted data folder played together
// through the mixer, headless, with the device's output captured to a file.
#include <gtest/gtest.h>

#include <velmi_platform.h>
#include <velmi_wave.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "converter/conv_file_make.h"
#include "mixer_fixtures.h"
#include "player/core/pack_reader.h"
#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"
#include "player/media/sound_mixer.h"
#include "tools/sample_game.h"
#include "tools/sample_sounds.h"

using namespace mixertest;
namespace fs = std::filesystem;

namespace {

// Device bytes (44,100 Hz stereo) that a sound of the data folder fills.
size_t DeviceBytes(const Bytes& file, int ogg) {
  std::vector<BYTE> buf(8192 + OggSource::OVERSHOOT_ROOM);
  size_t bytes = 0;
  WAVEFORMATEX f{};
  auto drain = [&](auto& s) {
    f = *s.GetFormat();
    for (;;) {
      const int n = s.Read(buf.data(), 8192, 0);
      bytes += size_t(n);
      if (n < 8192 || s.IsAtEnd()) break;
    }
  };
  if (ogg) {
    OggSource s;
    EXPECT_EQ(s.OpenMemory(file.data(), DWORD(file.size())), 0);
    drain(s);
  } else {
    Mp3Source s;
    EXPECT_EQ(s.OpenMemory(file.data(), DWORD(file.size())), 0);
    drain(s);
  }
  if (f.nChannels == 1) bytes *= 2;
  if (f.nSamplesPerSec == 22050) bytes *= 2;
  return bytes;
}

class CaptureRun : public ::testing::TestWithParam<int> {};

TEST_P(CaptureRun, MusicEffectAndVoiceFromAConvertedDataFolder) {
  const int encoder = GetParam();
  const char* ext = encoder == 0 ? ".mp3" : ".ogg";
  setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  unsetenv("VELMI_REGISTRY");
  LoadOverlays();
  const fs::path root = TempFolder(encoder == 0 ? "e2e_mp3" : "e2e_ogg");
  vtools::SampleTable table;
  vtools::AddSoundRows(table, vtools::SampleSize::Small);
  ASSERT_TRUE(vtools::WriteSampleGame((root / "game").string(), table));
  fs::create_directories(root / "out");
  {
    const int bitrates[2] = {7, 4}, rates[2] = {1, 0};
    CConvFileMake job(bitrates, rates, 1, 80);
    std::snprintf(job.m_sourceFolder, sizeof job.m_sourceFolder, "%s", (root / "game").c_str());
    std::snprintf(job.m_outputFolder, sizeof job.m_outputFolder, "%s", (root / "out").c_str());
    job.m_doPictures = 0;
    job.m_encoder = encoder;
    job.Run();
    ASSERT_TRUE(job.IsFinished());
  }
  const fs::path data = root / "out" / "data";
  const std::string bgm = WinPath((data / "bgm").string()) + "\\";
  const std::string se = WinPath((data / "se").string()) + "\\";
  const std::string voicePack = WinPath((data / "voice.mlz").string());

  // The longest of the three decides the length of the run.
  size_t longest = std::max(DeviceBytes(ReadBytes((data / "bgm" / (std::string("001") + ext)).string()), encoder),
                            DeviceBytes(ReadBytes((data / "se" / (std::string("000") + ext)).string()), encoder));
  {
    PackReader r;
    DWORD size = 0;
    BYTE* v = ReadPackEntry(&r, voicePack.c_str(), (std::string("VOICE\\v0003") + ext).c_str(), &size);
    ASSERT_NE(v, nullptr);
    longest = std::max(longest, DeviceBytes(Bytes(v, v + size), encoder));
    LocalFree(v);
  }

  const std::string capture = (root / "capture.raw").string();
  VelmiClockUseFake(5000);
  VelmiWaveUseFake(true);
  VelmiWaveCaptureTo(capture.c_str());
  {
    CSoundMixer mixer;
    mixer.SetPreferredCodec(encoder);
    ASSERT_EQ(mixer.OpenOutput(44100), 44100u);
    PackReader reader;
    // Levels as the story sets them: kind percent x master percent / 100.
    ASSERT_EQ(mixer.OpenSound(kSoundChannelMusic, "001", bgm.c_str(), nullptr, 60 * 50 / 100, 0, 0, 1, 0), 1);
    ASSERT_EQ(mixer.OpenSound(kSoundChannelEffect, "000", se.c_str(), nullptr, 80 * 50 / 100, 0, 0, 1, 1), 1);
    ASSERT_EQ(
        mixer.OpenSound(kSoundChannelVoice, "VOICE\\v0003", voicePack.c_str(), &reader, 100 * 50 / 100, 0, 0, 1, 1), 1);
    int buffers = 0;
    while (buffers < 200 &&
           (mixer.GetChannelState(0) == CHANNEL_PLAYING || mixer.GetChannelState(10) == CHANNEL_PLAYING ||
            mixer.GetChannelState(20) == CHANNEL_PLAYING)) {
      VelmiClockAdvance(116);
      ASSERT_EQ(VelmiWaveFakeReturn(1), 1);
      ++buffers;
    }
    VelmiWaveFakeReturn(3);  // the last refills reach the device
    mixer.CloseOutput();
    const DWORD n = mixer.BufferSize();
    VelmiWaveCaptureTo(nullptr);
    VelmiWaveUseFake(false);
    VelmiClockUseReal();

    const Bytes played = ReadBytes(capture);
    ASSERT_EQ(played.size() % n, 0u);
    std::vector<int16_t> s(played.size() / 2);
    std::memcpy(s.data(), played.data(), s.size() * 2);
    size_t first = s.size(), last = 0;
    int peak = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == 0) continue;
      first = std::min(first, i);
      last = i;
      peak = std::max(peak, std::abs(int(s[i])));
    }
    ASSERT_LT(first, s.size()) << "silent";
    EXPECT_EQ(first / (n / 2), 3u) << "sound starts after the three buffers queued at the start";
    // Within a buffer of the longest sound's length.
    const size_t end = last * 2 + 2 - 3 * size_t(n);
    EXPECT_LE(end, longest);
    EXPECT_GT(end + n, longest);
    EXPECT_GT(peak, 3000);
    EXPECT_LT(peak, 32767) << "clipped although no input does";
  }
}

INSTANTIATE_TEST_SUITE_P(Encoders, CaptureRun, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Mp3" : "Ogg"; });

}  // namespace
