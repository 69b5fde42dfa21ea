// The MP3 and Ogg roads end to end: our encodes are decoded by mpg123 and
// oggdec and must come out at the target rate, channel count, length and
// tone frequency.  Also the module loading rules and failure roads.
#include <gtest/gtest.h>
#include <gogo.h>
#include <oggenc.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "converter/sound/mp3_encoder.h"
#include "converter/sound/ogg_encoder.h"
#include "converter/sound/sound_prep.h"
#include "formats/le_bytes.h"
#include "sound_fixtures.h"

namespace {

using namespace soundtest;

struct Owned {
  BYTE* p = nullptr;
  DWORD n = 0;
  ~Owned() {
    if (p) LocalFree(p);
  }
  Bytes bytes() const { return p ? Bytes(p, p + n) : Bytes(); }
};

class Encoders : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
    unsetenv("VELMI_REGISTRY");
  }
};

enum Shape { kPcm, kWave16, kWave8, kImaAdpcm };

struct RoadCase {
  Shape shape;
  int srcRate, srcCh;
  int rate44k, stereo, bitrateIndex;
  double hz;
};

Bytes MakeImage(const RoadCase& c, double seconds) {
  Pcm tone = Tone(c.hz, c.srcRate, c.srcCh, seconds);
  switch (c.shape) {
    case kPcm:
      return PcmImage(PcmBytes(tone), c.srcRate, c.srcCh);
    case kWave16:
      return WaveImage(PcmBytes(tone), c.srcRate, c.srcCh, 16);
    case kWave8:
      return WaveImage(PcmBytes8(tone), c.srcRate, c.srcCh, 8);
    default:
      return SndfileWave(tone, SF_FORMAT_IMA_ADPCM);
  }
}

const RoadCase kRoads[] = {
    {kPcm, 44100, 2, 1, 1, 7, 440},                                           // already at target: no conversion
    {kPcm, 22050, 1, 0, 0, 3, 880},                                           // 22.05 kHz mono at 32 kbit/s
    {kPcm, 44100, 2, 0, 0, 5, 660},                                           // down to 22.05 kHz mono
    {kPcm, 22050, 1, 1, 1, 12, 500},                                          // up to 44.1 kHz stereo at 320 kbit/s
    {kWave8, 11025, 1, 0, 0, 4, 750},                                         // 8-bit 11,025 Hz effect
    {kImaAdpcm, 22050, 1, 0, 0, 4, 600},                                      // compressed effect
    {kImaAdpcm, 22050, 2, 1, 1, 8, 1200}, {kWave16, 48000, 2, 1, 0, 0, 300},  // lowest bit rate, mono 44.1 kHz
};

void CheckDecoded(const Pcm& got, const RoadCase& c, double seconds, double slack) {
  EXPECT_EQ(c.rate44k ? 44100 : 22050, got.rate);
  EXPECT_EQ(c.stereo ? 2 : 1, got.channels);
  EXPECT_NEAR(seconds, got.seconds(), slack);
  EXPECT_NEAR(c.hz, DominantHz(got), 8);
}

TEST_F(Encoders, Mp3RoadDecodesWithMpg123) {
  const double seconds = 1.0;
  for (const RoadCase& c : kRoads) {
    SCOPED_TRACE(testing::Message() << "shape " << c.shape << " " << c.srcRate << "/" << c.srcCh << " index "
                                    << c.bitrateIndex);
    Bytes img = MakeImage(c, seconds);
    Owned mp3;
    mp3.n = DWORD(img.size());
    mp3.p = c.shape == kPcm ? EncodeMp3FromPcm(img.data(), c.bitrateIndex, c.rate44k, c.stereo, &mp3.n)
                            : EncodeMp3FromWave(img.data(), c.bitrateIndex, c.rate44k, c.stereo, &mp3.n);
    ASSERT_NE(nullptr, mp3.p);
    ASSERT_GT(mp3.n, 0u);
    Pcm got;
    std::string err;
    ASSERT_TRUE(DecodeMp3(mp3.bytes(), &got, &err)) << err;
    // No gapless information is written: the decoder keeps the coder's delay
    // and the padding of the last frame (under 0.15 s at 22.05 kHz).
    CheckDecoded(got, c, seconds + 0.07, 0.08);
  }
}

TEST_F(Encoders, OggRoadDecodesWithOggdec) {
  const double seconds = 1.0;
  for (const RoadCase& c : kRoads) {
    SCOPED_TRACE(testing::Message() << "shape " << c.shape << " " << c.srcRate << "/" << c.srcCh << " index "
                                    << c.bitrateIndex);
    Bytes img = MakeImage(c, seconds);
    Owned ogg;
    ogg.n = DWORD(img.size());
    const int q = OggQualityIndexFor(c.bitrateIndex);
    ogg.p = c.shape == kPcm ? OggEncodeFromPcm(img.data(), q, c.rate44k, c.stereo, &ogg.n)
                            : OggEncodeFromWave(img.data(), q, c.rate44k, c.stereo, &ogg.n);
    ASSERT_NE(nullptr, ogg.p);
    Pcm got;
    std::string err;
    ASSERT_TRUE(DecodeOgg(ogg.bytes(), &got, &err)) << err;
    // Vorbis keeps the exact length; ADPCM's last block may add a little.
    CheckDecoded(got, c, seconds, c.shape == kImaAdpcm ? 0.05 : 0.002);
  }
}

TEST_F(Encoders, OggIsReproducibleWithAFixedSerial) {
  Bytes img = PcmImage(PcmBytes(Tone(440, 22050, 1, 0.5)), 22050, 1);
  Owned a, b;
  a.n = b.n = DWORD(img.size());
  a.p = OggEncodeFromPcm(img.data(), 3, 0, 0, &a.n);
  b.p = OggEncodeFromPcm(img.data(), 3, 0, 0, &b.n);
  ASSERT_NE(nullptr, a.p);
  EXPECT_EQ(a.bytes(), b.bytes());
  ASSERT_GT(a.n, 18u);
  EXPECT_EQ(0, std::memcmp(a.p, "OggS", 4));
  const uint32_t serial = GetLe32(a.p + 14);
  EXPECT_EQ(0x56454C4Du, serial);
  char version[128];
  EXPECT_GT(GetOggEncoderVersion(version, 0), 0u);
  EXPECT_NE(nullptr, std::strstr(version, "Vorbis"));
}

// MPEG audio frame header fields of the first frame.
struct FrameInfo {
  int kbps = 0, rate = 0;
};
FrameInfo FirstFrame(const Bytes& mp3) {
  static const int kV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int kV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  for (size_t i = 0; i + 4 <= mp3.size(); ++i) {
    if (mp3[i] != 0xFF || (mp3[i + 1] & 0xE0) != 0xE0) continue;
    const int version = (mp3[i + 1] >> 3) & 3;  // 3 = MPEG-1, 2 = MPEG-2
    const int bi = mp3[i + 2] >> 4, si = (mp3[i + 2] >> 2) & 3;
    const int rates1[3] = {44100, 48000, 32000};
    FrameInfo f;
    f.kbps = version == 3 ? kV1[bi] : kV2[bi];
    f.rate = version == 3 ? rates1[si] : rates1[si] / 2;
    return f;
  }
  return {};
}

TEST_F(Encoders, Mp3BitRatesAreClampedAndNoInfoFrameIsWritten) {
  struct {
    int rate44k, stereo, index, kbps, rate;
  } cases[] = {
      {1, 1, 0, 32, 44100}, {1, 0, 0, 32, 44100}, {0, 1, 12, 160, 22050}, {0, 0, 3, 32, 22050}, {1, 1, 12, 320, 44100}};
  for (const auto& c : cases) {
    Bytes img = PcmImage(PcmBytes(Tone(440, 22050, 1, 0.3)), 22050, 1);
    Owned mp3;
    mp3.n = DWORD(img.size());
    mp3.p = EncodeMp3FromPcm(img.data(), c.index, c.rate44k, c.stereo, &mp3.n);
    ASSERT_NE(nullptr, mp3.p);
    FrameInfo f = FirstFrame(mp3.bytes());
    EXPECT_EQ(c.kbps, f.kbps) << c.index;
    EXPECT_EQ(c.rate, f.rate) << c.index;
    const std::string head(reinterpret_cast<char*>(mp3.p), std::min<size_t>(mp3.n, 400));
    EXPECT_EQ(std::string::npos, head.find("Xing"));
    EXPECT_EQ(std::string::npos, head.find("Info"));
  }
}

TEST_F(Encoders, PcmHeadBitsPlayNoPartAtTheTargetFormat) {
  Bytes samples = PcmBytes(Tone(440, 22050, 1, 0.3));
  Bytes a = PcmImage(samples, 22050, 1, 16), b = PcmImage(samples, 22050, 1, 8);
  Owned x, y;
  x.n = DWORD(a.size());
  y.n = DWORD(b.size());
  x.p = EncodeMp3FromPcm(a.data(), 3, 0, 0, &x.n);
  y.p = EncodeMp3FromPcm(b.data(), 3, 0, 0, &y.n);
  ASSERT_NE(nullptr, x.p);
  EXPECT_EQ(x.bytes(), y.bytes());
}

TEST_F(Encoders, WriteCallbackGrowsItsBlock) {
  // 16 kHz mono at 160 kbit/s codes to more than half its input, which is
  // the block the encode starts with for inputs of 2 MiB and more.
  Pcm tone = Tone(440, 16000, 1, 70);
  Bytes samples = PcmBytes(tone);
  ASSERT_GE(samples.size(), 2u * 1024 * 1024);
  WAVEFORMATEX f{1, 1, 16000, 32000, 2, 16, 0};
  CGogoEncoder enc(160);
  ASSERT_TRUE(enc.IsLoaded());
  Owned mp3;
  mp3.n = DWORD(samples.size());
  mp3.p = enc.EncodePcm(samples.data(), &f, &mp3.n);
  ASSERT_NE(nullptr, mp3.p);
  EXPECT_GT(mp3.n, samples.size() / 2);
  Pcm got;
  std::string err;
  ASSERT_TRUE(DecodeMp3(mp3.bytes(), &got, &err)) << err;
  EXPECT_NEAR(70.0, got.seconds(), 0.2);
}

TEST_F(Encoders, FailuresGiveNoBlock) {
  Bytes samples = PcmBytes(Tone(440, 22050, 1, 0.2));
  // A head with no channels cannot be converted.
  Bytes img = PcmImage(samples, 22050, 0);
  DWORD n = DWORD(img.size());
  EXPECT_EQ(nullptr, EncodeMp3FromPcm(img.data(), 3, 0, 0, &n));
  EXPECT_EQ(0u, n);
  n = DWORD(img.size());
  EXPECT_EQ(nullptr, OggEncodeFromPcm(img.data(), 3, 0, 0, &n));
  EXPECT_EQ(0u, n);
  // A file shorter than its head, and one that is not a WAVE.
  n = 10;
  EXPECT_EQ(nullptr, EncodeMp3FromPcm(img.data(), 3, 0, 0, &n));
  n = DWORD(img.size());
  EXPECT_EQ(nullptr, EncodeMp3FromWave(img.data(), 3, 0, 0, &n));
  n = DWORD(img.size());
  EXPECT_EQ(nullptr, OggEncodeFromWave(img.data(), 3, 0, 0, &n));
  // The module refuses samples it cannot read.
  WAVEFORMATEX eightBit{1, 1, 22050, 22050, 1, 8, 0};
  CGogoEncoder enc(64);
  n = DWORD(samples.size());
  EXPECT_EQ(nullptr, enc.EncodePcm(samples.data(), &eightBit, &n));
  EXPECT_EQ(0u, n);
  // The Ogg library refuses formats it does not code.
  WAVEFORMATEX noRate{1, 1, 0, 0, 2, 16, 0};
  n = DWORD(samples.size());
  EXPECT_EQ(nullptr, GetOggEncodeProcessMemory(0.3f, &noRate, samples.data(), &n));
  EXPECT_EQ(0u, n);
}

class ModuleLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = TempDir() + "/velmi_sound_registry_" + std::to_string(getpid()) + ".txt";
    unsetenv("VELMI_REGISTRY");
  }
  void TearDown() override {
    std::remove(registry_.c_str());
    unsetenv("VELMI_REGISTRY");
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  }
  void Registry(const std::string& valueLine) {
    std::ofstream f(registry_);
    f << "[HKEY_CURRENT_USER\\Software\\MarineCat\\GOGO_DLL]\n" << valueLine << "\n";
    setenv("VELMI_REGISTRY", registry_.c_str(), 1);
  }
  std::string registry_;
};

TEST_F(ModuleLoading, MissingModuleTakesTheMissingDllRoad) {
  setenv("VELMI_MODULE_PATH", (TempDir() + "/no-such-folder").c_str(), 1);
  CGogoEncoder enc(128);
  EXPECT_FALSE(enc.IsLoaded());
  EXPECT_EQ(12, enc.Load());
  char text[256] = "stale";
  EXPECT_EQ(0u, enc.GetVersionText(text));
  EXPECT_STREQ("", text);
  Bytes img = PcmImage(PcmBytes(Tone(440, 22050, 1, 0.2)), 22050, 1);
  DWORD n = DWORD(img.size());
  EXPECT_EQ(nullptr, EncodeMp3FromPcm(img.data(), 3, 0, 0, &n));
  EXPECT_EQ(0u, n);
}

TEST_F(ModuleLoading, RegistryPathIsTriedWhenTheNameIsNotFound) {
  // Only the installed copy under another name can be found.
  setenv("VELMI_MODULE_PATH", VELMI_ALT_MODULE_DIR, 1);
  {
    CGogoEncoder enc(128);
    EXPECT_FALSE(enc.IsLoaded());
  }
  Registry("INSTPATH=dword:1");  // not a string: ignored
  {
    CGogoEncoder enc(128);
    EXPECT_FALSE(enc.IsLoaded());
  }
  Registry("INSTPATH=sz:C:\\Program Files\\gogo\\gogo_inst.dll");
  CGogoEncoder enc(128);
  ASSERT_TRUE(enc.IsLoaded());
  char text[256];
  EXPECT_GT(enc.GetVersionText(text), 3000u);
  EXPECT_NE(nullptr, std::strstr(text, "lame"));
}

}  // namespace
