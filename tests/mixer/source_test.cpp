// The MP3 and Ogg sources against independent decoders, their looping,
// request sizes, suspend and resume, and the faults they must survive.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "common/file.h"
#include "mixer_fixtures.h"
#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"

using namespace mixertest;

namespace {

class SourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadOverlays(); }
};

// Everything a source gives when read in requests of `chunk` bytes (a
// destination with the overshoot room behind it).
template <typename Source>
Bytes ReadAll(Source& s, int chunk, size_t limit = 64u << 20) {
  Bytes out;
  std::vector<BYTE> buf(size_t(chunk) + OggSource::OVERSHOOT_ROOM);
  while (out.size() < limit) {
    const int n = s.Read(buf.data(), chunk, 0);
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n < chunk || s.IsAtEnd()) {
      if (n == 0 || s.IsAtEnd()) break;
    }
  }
  return out;
}

template <typename Source>
Bytes ReadLooping(Source& s, size_t total, int chunk) {
  Bytes out;
  std::vector<BYTE> buf(size_t(chunk) + OggSource::OVERSHOOT_ROOM);
  while (out.size() < total) {
    const int n = s.Read(buf.data(), chunk, 1);
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

struct Mp3Case {
  const char* label;
  int rate, channels;
  uint32_t id3v2Body;  // 0: no leading tag
  bool id3v1;
};

TEST_F(SourceTest, Mp3EqualsMpg123InMemoryAndMappedWithAndWithoutTags) {
  ASSERT_TRUE(Mp3OverlayPresent());
  const Mp3Case cases[] = {
      {"44k stereo", 44100, 2, 0, false},
      {"22k mono", 22050, 1, 0, false},
      {"44k stereo ID3v2", 44100, 2, 300, false},
      {"22k mono ID3v1", 22050, 1, 0, true},
      {"44k stereo both tags", 44100, 2, 1000, true},
  };
  for (const Mp3Case& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes mp3 = EncodeMp3(Tone(440, c.rate, c.channels, 0.7), c.rate, c.channels);
    if (c.id3v2Body) mp3 = WithId3v2(mp3, c.id3v2Body);
    if (c.id3v1) mp3 = WithId3v1(mp3);
    const Bytes expected = Mpg123Raw(mp3);
    ASSERT_GT(expected.size(), 10000u);

    Mp3Source mem;
    ASSERT_EQ(mem.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
    EXPECT_EQ(mem.GetFormat()->nChannels, c.channels);
    EXPECT_EQ(mem.GetFormat()->nSamplesPerSec, DWORD(c.rate));
    EXPECT_EQ(mem.startOffset, c.id3v2Body ? c.id3v2Body + 10 : 0u);
    EXPECT_EQ(ReadAll(mem, 4096), expected);

    const std::string dir = TempFolder("mp3");
    WriteBytes(dir + "/t.mp3", mp3);
    Mp3Source mapped;
    ASSERT_EQ(mapped.OpenMappedFile(WinPath(dir + "/t.mp3").c_str(), 0, 0), 0);
    EXPECT_EQ(ReadAll(mapped, 3000), expected);
    DWORD estimate = 0;
    mapped.EstimatePcmSize(&estimate);
    EXPECT_GE(estimate, expected.size());
    EXPECT_LE(estimate, expected.size() + 2 * mapped.avgBytesPerSec);
  }
}

TEST_F(SourceTest, OggEqualsOggdecFromMemoryAndFile) {
  ASSERT_TRUE(OggOverlayPresent());
  char version[144];
  GetOggOverlayVersion(version);
  EXPECT_NE(std::string(version).find("Tessaly"), std::string::npos);
  const struct { int rate, channels; } cases[] = {{44100, 2}, {22050, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    const Bytes ogg = EncodeOgg(Tone(523, c.rate, c.channels, 0.8), c.rate, c.channels);
    const Bytes expected = OggdecRaw(ogg);
    ASSERT_GT(expected.size(), 10000u);
    OggSource mem;
    ASSERT_EQ(mem.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
    EXPECT_EQ(mem.GetFormat()->nChannels, c.channels);
    EXPECT_EQ(mem.GetFormat()->nSamplesPerSec, DWORD(c.rate));
    DWORD total = 0;
    mem.GetPcmSize(&total);
    EXPECT_EQ(total, expected.size());
    EXPECT_EQ(ReadAll(mem, 4096), expected);

    const std::string dir = TempFolder("ogg");
    WriteBytes(dir + "/t.ogg", ogg);
    OggSource file;
    ASSERT_EQ(file.OpenFile(WinPath(dir + "/T.OGG").c_str()), 0);  // found without regard to case
    EXPECT_EQ(ReadAll(file, 5000), expected);
  }
}

TEST_F(SourceTest, ShortAndLongRequestsGiveTheSameBytes) {
  const Bytes mp3 = EncodeMp3(Tone(300, 22050, 1, 0.5), 22050, 1);
  const Bytes ogg = EncodeOgg(Tone(300, 44100, 2, 0.5), 44100, 2);
  const int chunks[] = {2, 4, 100, 1152, 4608, 40960};
  Bytes mp3First, oggFirst;
  for (int chunk : chunks) {
    SCOPED_TRACE(chunk);
    Mp3Source m;
    ASSERT_EQ(m.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
    const Bytes a = ReadAll(m, chunk);
    OggSource o;
    ASSERT_EQ(o.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
    const Bytes b = ReadAll(o, chunk);
    if (mp3First.empty()) {
      mp3First = a, oggFirst = b;
      ASSERT_FALSE(a.empty());
      ASSERT_FALSE(b.empty());
    }
    EXPECT_EQ(a, mp3First);
    EXPECT_EQ(b, oggFirst);
  }
}

TEST_F(SourceTest, LoopingSourcesRepeatWithoutGapFromTheFirstFrameAfterTheTag) {
  const Bytes mp3 = WithId3v2(EncodeMp3(Tone(700, 44100, 2, 0.3), 44100, 2), 64);
  const Bytes ogg = EncodeOgg(Tone(700, 22050, 1, 0.3), 22050, 1);
  Mp3Source m1, m2;
  ASSERT_EQ(m1.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
  ASSERT_EQ(m2.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
  OggSource o1, o2;
  ASSERT_EQ(o1.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
  ASSERT_EQ(o2.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
  const Bytes mp3Once = ReadAll(m1, 4096), oggOnce = ReadAll(o1, 4096);
  const size_t total = mp3Once.size() * 5 / 2;
  const Bytes mp3Loop = ReadLooping(m2, total, 6000);
  ASSERT_GE(mp3Loop.size(), total);
  // The decoder runs on across the loop point, so the first frame of a new
  // pass blends with the end of the last one; every later byte repeats.
  const size_t blend = 2 * 1152 * 2;
  for (size_t i = 0; i < total; ++i) {
    if (i < mp3Once.size() || i % mp3Once.size() >= blend) {
      ASSERT_EQ(mp3Loop[i], mp3Once[i % mp3Once.size()]) << "MP3 byte " << i;
    }
  }
  EXPECT_FALSE(m2.IsAtEnd());
  const size_t oggTotal = oggOnce.size() * 5 / 2;
  const Bytes oggLoop = ReadLooping(o2, oggTotal, 7000);
  ASSERT_GE(oggLoop.size(), oggTotal);
  for (size_t i = 0; i < oggTotal; ++i) ASSERT_EQ(oggLoop[i], oggOnce[i % oggOnce.size()]) << "Ogg byte " << i;
  EXPECT_FALSE(o2.IsAtEnd());
}

TEST_F(SourceTest, EndOfANonLoopingStreamAndSuspendedSilence) {
  const Bytes mp3 = EncodeMp3(Tone(200, 22050, 1, 0.2), 22050, 1);
  Mp3Source m;
  ASSERT_EQ(m.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
  const Bytes all = ReadAll(m, 1 << 20);
  EXPECT_TRUE(m.IsAtEnd());
  BYTE buf[64];
  EXPECT_EQ(m.Read(buf, 64, 0), 0);

  Mp3Source s;
  ASSERT_EQ(s.OpenMemory(mp3.data(), DWORD(mp3.size())), 0);
  s.Suspend();
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(s.Read(buf, 64, 0), 64);
  for (BYTE b : buf) ASSERT_EQ(b, 0);
  s.Resume();
  EXPECT_EQ(ReadAll(s, 4096), all);  // nothing was skipped

  const Bytes ogg = EncodeOgg(Tone(200, 22050, 1, 0.2), 22050, 1);
  OggSource o;
  ASSERT_EQ(o.OpenMemory(ogg.data(), DWORD(ogg.size())), 0);
  std::vector<BYTE> big(1 << 20);
  const int n = o.Read(big.data(), 1 << 19, 0);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, 1 << 19);
  EXPECT_TRUE(o.IsAtEnd());
  EXPECT_EQ(o.Read(big.data(), 100, 0), 0);
}

TEST_F(SourceTest, MappedFileIsReleasedOnSuspendAndEndsWhenItCannotComeBack) {
  const Bytes mp3 = EncodeMp3(Tone(440, 44100, 2, 0.6), 44100, 2);
  const Bytes expected = Mpg123Raw(mp3);
  const std::string dir = TempFolder("remap");
  WriteBytes(dir + "/m.mp3", mp3);
  const std::string win = WinPath(dir + "/m.mp3");

  Mp3Source s;
  ASSERT_EQ(s.OpenMappedFile(win.c_str(), 0, 0), 0);
  std::vector<BYTE> buf(20000);
  Bytes got;
  int n = s.Read(buf.data(), 20000, 0);
  got.insert(got.end(), buf.begin(), buf.begin() + n);
  s.Suspend();
  EXPECT_EQ(s.file, nullptr);
  EXPECT_EQ(s.data, nullptr);
  s.Resume();
  const Bytes rest = ReadAll(s, 20000);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, expected);

  Mp3Source gone;
  ASSERT_EQ(gone.OpenMappedFile(win.c_str(), 0, 0), 0);
  gone.Suspend();
  ASSERT_EQ(unlink((dir + "/m.mp3").c_str()), 0);
  gone.Resume();
  EXPECT_TRUE(gone.IsAtEnd());
  EXPECT_EQ(gone.Read(buf.data(), 100, 1), 0);
}

TEST_F(SourceTest, OpensThatMustFailCleanly) {
  const Bytes mp3 = EncodeMp3(Tone(440, 44100, 2, 0.2), 44100, 2);
  const std::string longPath(600, 'a');
  Mp3Source m;
  // An ID3v2 tag that claims more than the file holds.
  Bytes lying = mp3;
  const Bytes tag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  lying.insert(lying.begin(), tag.begin(), tag.end());
  EXPECT_EQ(m.OpenMemory(lying.data(), DWORD(lying.size())), 1);
  const Bytes noise(5000, 0x11);
  EXPECT_EQ(m.OpenMemory(noise.data(), DWORD(noise.size())), 1);
  EXPECT_EQ(m.OpenMemory(mp3.data(), 3), 1);
  EXPECT_EQ(m.OpenMappedFile(longPath.c_str(), 0, 0), 1);
  EXPECT_EQ(m.OpenMappedFile("\\no\\such\\file.mp3", 0, 0), 1);
  BYTE buf[16];
  EXPECT_EQ(m.Read(buf, 16, 1), 0);

  OggSource o;
  EXPECT_EQ(o.OpenMemory(noise.data(), DWORD(noise.size())), 1);
  EXPECT_EQ(o.OpenFile(std::string(300, 'b').c_str()), 1);
  EXPECT_EQ(o.OpenFile("\\no\\such\\file.ogg"), 1);
}

// ---- Faulty overlays: table entries replaced ------------------------------

struct FakeMp3 {
  int32_t words[20];
};
FakeMp3 g_fakeRecord;
int g_fakeDecodeResult = 0;
void* FakeCreate(const BYTE*) { return &g_fakeRecord; }
int FakePredecode(void*, const BYTE*) { return 0; }
int FakeDecode(void*, void* out, const BYTE*, int) {
  std::memset(out, 1, 4608);
  return g_fakeDecodeResult;
}
void FakeDestroy(void*) {}

class FaultyMp3Overlay : public SourceTest {
 protected:
  void SetUp() override {
    saved = g_mp3Overlay;
    g_mp3Overlay.create = FakeCreate;
    g_mp3Overlay.predecode = FakePredecode;
    g_mp3Overlay.decode = FakeDecode;
    g_mp3Overlay.destroy = FakeDestroy;
    g_fakeRecord = {};
    g_fakeRecord.words[MP3_WORD_CHANNELS] = 2;
    g_fakeRecord.words[MP3_WORD_RATE] = 44100;
    g_fakeRecord.words[MP3_WORD_FRAME_LENGTH] = 100;
  }
  void TearDown() override { g_mp3Overlay = saved; }
  Mp3Overlay saved;
};

TEST_F(FaultyMp3Overlay, LoopOverNothingFrameTooLongAndZeroBitRateEndTheStream) {
  const Bytes data(10000, 0);
  std::vector<BYTE> buf(8192);
  // Every frame decodes to nothing: a looping source ends instead of spinning.
  g_fakeDecodeResult = 0;
  Mp3Source a;
  ASSERT_EQ(a.OpenMemory(data.data(), DWORD(data.size())), 0);
  EXPECT_EQ(a.Read(buf.data(), 4096, 1), 0);
  EXPECT_TRUE(a.IsAtEnd());
  // A frame longer than the frame buffer ends the stream.
  g_fakeDecodeResult = 1152;
  g_fakeRecord.words[MP3_WORD_FRAME_LENGTH] = 5000;
  Mp3Source b;
  ASSERT_EQ(b.OpenMemory(data.data(), DWORD(data.size())), 0);
  EXPECT_EQ(b.Read(buf.data(), 4096, 1), 0);
  EXPECT_TRUE(b.IsAtEnd());
  // A decoder that claims more samples than a frame holds is cut to it.
  g_fakeRecord.words[MP3_WORD_FRAME_LENGTH] = 100;
  g_fakeDecodeResult = 100000;
  Mp3Source c;
  ASSERT_EQ(c.OpenMemory(data.data(), DWORD(data.size())), 0);
  EXPECT_EQ(c.Read(buf.data(), 8000, 0), 8000);
  // Bit rate 0: no division by it.
  g_fakeRecord.words[MP3_WORD_BITRATE] = 0;
  DWORD size = 123;
  c.EstimatePcmSize(&size);
  EXPECT_EQ(c.durationMs, 0u);
  EXPECT_EQ(size, c.avgBytesPerSec);
}

int g_oggStep = 0;      // bytes a decode step writes
int g_oggEofAfter = 0;  // steps until the end is reported (-1 never)
int g_oggSteps = 0;
int g_oggReplays = 0;
BYTE g_oggFormat[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0, 0, 0};
int FakeProcess(void*, void* out, int, int) {
  ++g_oggSteps;
  std::memset(out, 7, size_t(std::max(g_oggStep, 0)));
  return g_oggStep;
}
int FakeEof(void*) { return g_oggEofAfter >= 0 && g_oggSteps >= g_oggEofAfter; }
int FakeReplay(void*) {
  ++g_oggReplays;
  g_oggSteps = 0;
  return 0;
}
int FakeInput(void*, const void*, DWORD, int) { return 0; }
const void* FakeFormat(void*) { return g_oggFormat; }

class FaultyOggOverlay : public SourceTest {
 protected:
  void SetUp() override {
    saved = g_oggOverlay;
    g_oggOverlay.process_frame = FakeProcess;
    g_oggOverlay.eof = FakeEof;
    g_oggOverlay.replay = FakeReplay;
    g_oggOverlay.input_memory = FakeInput;
    g_oggOverlay.pcm_format = FakeFormat;
    g_oggSteps = g_oggReplays = 0;
  }
  void TearDown() override { g_oggOverlay = saved; }
  OggOverlay saved;
};

TEST_F(FaultyOggOverlay, StepsThatGiveNothingEndAndOvershootIsBounded) {
  const BYTE image[4] = {};
  std::vector<BYTE> buf(4096 + OggSource::OVERSHOOT_ROOM + 40000);
  {
    // A step that gives nothing and reports no end.
    g_oggStep = 0;
    g_oggEofAfter = -1;
    OggSource s;
    ASSERT_EQ(s.OpenMemory(image, 4), 0);
    EXPECT_EQ(s.Read(buf.data(), 4096, 1), 0);
    EXPECT_TRUE(s.IsAtEnd());
  }
  {
    // A looping stream whose every pass is empty.
    g_oggStep = 0;
    g_oggEofAfter = 0;
    g_oggSteps = 0;
    OggSource s;
    ASSERT_EQ(s.OpenMemory(image, 4), 0);
    EXPECT_EQ(s.Read(buf.data(), 4096, 1), 0);
    EXPECT_TRUE(s.IsAtEnd());
    EXPECT_LE(g_oggReplays, 1);
  }
  {
    // An overshoot beyond the spill buffer keeps only what fits.
    g_oggStep = 4096 + 30000;
    g_oggEofAfter = -1;
    OggSource s;
    ASSERT_EQ(s.OpenMemory(image, 4), 0);
    EXPECT_EQ(s.Read(buf.data(), 4096, 0), 4096);
    EXPECT_EQ(s.spillEnd, OggSource::SPILL_SIZE);
  }
  {
    // An overshoot within the spill buffer serves the next request first.
    g_oggStep = 1000;
    g_oggEofAfter = 3;
    g_oggSteps = 0;
    OggSource s;
    ASSERT_EQ(s.OpenMemory(image, 4), 0);
    EXPECT_EQ(s.Read(buf.data(), 2500, 0), 2500);
    EXPECT_EQ(s.spillEnd - s.spillPos, 500u);
    EXPECT_EQ(s.Read(buf.data(), 2500, 0), 500);
    EXPECT_TRUE(s.IsAtEnd());
  }
}

TEST_F(SourceTest, MissingModulesLeaveTheBindingsAbsent) {
  const std::string empty = TempFolder("nomodules");
  const std::string wrong = TempFolder("wrongmodules");
  // A module without the entry points: the encoder module under the
  // overlays' names.
  const Bytes gogo = ReadBytes(std::string(VELMI_MODULE_DIR) + "/gogo.dll.so");
  ASSERT_FALSE(gogo.empty());
  WriteBytes(wrong + "/Corvane.ovl.so", gogo);
  WriteBytes(wrong + "/Tessaly.ovl.so", gogo);
  UnloadMp3Overlay();
  UnloadOggOverlay();
  setenv("VELMI_MODULE_PATH", empty.c_str(), 1);
  EXPECT_EQ(LoadMp3Overlay(), 1);
  EXPECT_EQ(LoadOggOverlay(), 1);
  EXPECT_FALSE(Mp3OverlayPresent());
  EXPECT_FALSE(OggOverlayPresent());
  setenv("VELMI_MODULE_PATH", wrong.c_str(), 1);
  EXPECT_EQ(LoadMp3Overlay(), 0);
  EXPECT_EQ(LoadOggOverlay(), 0);
  EXPECT_FALSE(Mp3OverlayPresent());
  EXPECT_FALSE(OggOverlayPresent());

  const Bytes mp3 = EncodeMp3(Tone(440, 44100, 2, 0.1), 44100, 2);
  Mp3Source m;
  EXPECT_EQ(m.OpenMemory(mp3.data(), DWORD(mp3.size())), 1);
  OggSource o;
  EXPECT_EQ(o.handle, nullptr);
  EXPECT_EQ(o.OpenMemory(mp3.data(), DWORD(mp3.size())), 1);

  LoadOverlays();
  EXPECT_TRUE(Mp3OverlayPresent());
  EXPECT_TRUE(OggOverlayPresent());
}

}  // namespace
