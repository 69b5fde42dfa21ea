// The wave output: the waveOut contract on the fake device, the same on
// SDL's dummy audio driver (buffers come back on SDL's thread), capture of
// the played bytes, and the mixer on the real driver suspending, resuming
// and closing while the callback runs.
#include <gtest/gtest.h>

#include <mmsystem.h>
#include <velmi_device.h>
#include <velmi_wave.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "mixer_fixtures.h"
#include "player/media/sound_mixer.h"

using namespace mixertest;

namespace {

struct Returns {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<DWORD_PTR> order;  // dwUser of each returned header
  int opens = 0, closes = 0;
};

void CALLBACK Record(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* r = reinterpret_cast<Returns*>(instance);
  std::lock_guard<std::mutex> l(r->lock);
  if (message == MM_WOM_DONE) r->order.push_back(reinterpret_cast<WAVEHDR*>(param1)->dwUser);
  if (message == MM_WOM_OPEN) ++r->opens;
  if (message == MM_WOM_CLOSE) ++r->closes;
  r->changed.notify_all();
}

WAVEFORMATEX Stereo16(DWORD rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = rate * 4;
  return f;
}

struct Buffers {
  explicit Buffers(int count, DWORD size) : data(size_t(count), std::vector<char>(size)), headers(size_t(count)) {
    for (int i = 0; i < count; ++i) {
      for (DWORD b = 0; b < size; ++b) data[i][b] = char(i * 31 + b);
      headers[i] = {};
      headers[i].lpData = data[i].data();
      headers[i].dwBufferLength = size;
      headers[i].dwUser = DWORD_PTR(i);
    }
  }
  std::vector<std::vector<char>> data;
  std::vector<WAVEHDR> headers;
};

DWORD PositionBytes(HWAVEOUT d) {
  MMTIME t{};
  t.wType = TIME_BYTES;
  EXPECT_EQ(waveOutGetPosition(d, &t, sizeof t), MMSYSERR_NOERROR);
  return t.u.cb;
}

class WaveOutTest : public ::testing::Test {
 protected:
  void TearDown() override {
    VelmiWaveUseFake(false);
    VelmiWaveCaptureTo(nullptr);
    VelmiWaveFailRate(0);
  }
};

TEST_F(WaveOutTest, FakeDeviceReturnsBuffersInOrderOnceAndCountsThePosition) {
  VelmiWaveUseFake(true);
  Returns r;
  HWAVEOUT d = nullptr;
  WAVEFORMATEX f = Stereo16(44100);
  ASSERT_EQ(waveOutOpen(&d, WAVE_MAPPER, &f, DWORD_PTR(&Record), DWORD_PTR(&r), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_EQ(r.opens, 1);
  Buffers b(3, 4000);
  EXPECT_EQ(waveOutWrite(d, &b.headers[0], sizeof(WAVEHDR)), WAVERR_UNPREPARED);
  for (WAVEHDR& h : b.headers) {
    ASSERT_EQ(waveOutPrepareHeader(d, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(d, &h, sizeof h), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveOutUnprepareHeader(d, &b.headers[1], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(d), WAVERR_STILLPLAYING);
  EXPECT_EQ(PositionBytes(d), 0u);
  EXPECT_EQ(VelmiWaveFakeReturn(2), 2);
  EXPECT_EQ(r.order, (std::vector<DWORD_PTR>{0, 1}));
  EXPECT_EQ(PositionBytes(d), 8000u);
  MMTIME ms{};
  ms.wType = TIME_MS;
  waveOutGetPosition(d, &ms, sizeof ms);
  EXPECT_EQ(ms.u.ms, 8000u / 4 * 1000 / 44100);
  EXPECT_TRUE(b.headers[0].dwFlags & WHDR_DONE);
  EXPECT_FALSE(b.headers[0].dwFlags & WHDR_INQUEUE);
  // A reset returns what is queued, unplayed, and starts the count again.
  EXPECT_EQ(waveOutReset(d), MMSYSERR_NOERROR);
  EXPECT_EQ(r.order, (std::vector<DWORD_PTR>{0, 1, 2}));
  EXPECT_EQ(PositionBytes(d), 0u);
  EXPECT_EQ(VelmiWaveFakeReturn(1), 0);
  for (WAVEHDR& h : b.headers) EXPECT_EQ(waveOutUnprepareHeader(d, &h, sizeof h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(d), MMSYSERR_NOERROR);
  EXPECT_EQ(r.closes, 1);
  EXPECT_EQ(waveOutClose(d), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveOutTest, FormatsAndTheRefusedRate) {
  VelmiWaveUseFake(true);
  HWAVEOUT d = nullptr;
  WAVEFORMATEX eight = Stereo16(22050);
  eight.wBitsPerSample = 8;
  EXPECT_EQ(waveOutOpen(&d, WAVE_MAPPER, &eight, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
  EXPECT_EQ(d, nullptr);
  VelmiWaveFailRate(44100);
  WAVEFORMATEX f = Stereo16(44100);
  EXPECT_EQ(waveOutOpen(&d, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
  EXPECT_EQ(VelmiWaveRefusedOpens(), 1);
  f = Stereo16(22050);
  ASSERT_EQ(waveOutOpen(&d, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutSetVolume(d, 0x8000FFFF), MMSYSERR_NOERROR);
  DWORD v = 0;
  EXPECT_EQ(waveOutGetVolume(d, &v), MMSYSERR_NOERROR);
  EXPECT_EQ(v, 0x8000FFFFu);
  EXPECT_EQ(waveOutClose(d), MMSYSERR_NOERROR);
}

class RealDriverTest : public WaveOutTest {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    VelmiDeviceSetHeadless(true);
  }
};

TEST_F(RealDriverTest, DummyDriverPlaysEveryBufferOnItsThreadAndCapturesThem) {
  const std::string cap = TempFolder("wavecap") + "/played.raw";
  VelmiWaveCaptureTo(cap.c_str());
  Returns r;
  HWAVEOUT d = nullptr;
  WAVEFORMATEX f = Stereo16(44100);
  ASSERT_EQ(waveOutOpen(&d, WAVE_MAPPER, &f, DWORD_PTR(&Record), DWORD_PTR(&r), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  Buffers b(4, 2000);
  for (WAVEHDR& h : b.headers) {
    waveOutPrepareHeader(d, &h, sizeof h);
    waveOutWrite(d, &h, sizeof h);
  }
  {
    std::unique_lock<std::mutex> l(r.lock);
    ASSERT_TRUE(r.changed.wait_for(l, std::chrono::seconds(20), [&] { return r.order.size() == 4; }));
  }
  EXPECT_EQ(r.order, (std::vector<DWORD_PTR>{0, 1, 2, 3}));
  EXPECT_EQ(PositionBytes(d), 8000u);
  for (WAVEHDR& h : b.headers) waveOutUnprepareHeader(d, &h, sizeof h);
  EXPECT_EQ(waveOutClose(d), MMSYSERR_NOERROR);
  VelmiWaveCaptureTo(nullptr);
  Bytes expected;
  for (auto& data : b.data) expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(ReadBytes(cap), expected);
}

TEST_F(RealDriverTest, MixerSuspendsResumesAndClosesWhileTheCallbackRuns) {
  LoadOverlays();
  const std::string folder = TempFolder("realmix");
  WriteBytes(folder + "/m.mp3", EncodeMp3(Tone(440, 44100, 2, 2.0), 44100, 2));
  CSoundMixer mixer;
  ASSERT_EQ(mixer.OpenOutput(44100), 44100u);
  ASSERT_NE(mixer.Device(), nullptr);
  const std::string where = WinPath(folder) + "\\";
  ASSERT_EQ(mixer.OpenSound(0, "m", where.c_str(), nullptr, 100, 0, 1, 1, 1), 1);
  for (int round = 0; round < 5; ++round) {
    mixer.Suspend();
    EXPECT_EQ(mixer.Device(), nullptr);
    mixer.Resume();
    EXPECT_NE(mixer.Device(), nullptr);
    ASSERT_EQ(mixer.OpenSound(10, "m", where.c_str(), nullptr, 50, 0, 0, 1, 1), 1);  // stops the one there
  }
  mixer.StopChannel(10);
  EXPECT_EQ(mixer.GetChannel(10), nullptr);
  mixer.CloseOutput();
  EXPECT_EQ(mixer.GetChannel(0), nullptr);
  EXPECT_EQ(VelmiWaveOpenDevices(), 0);
}

}  // namespace
