// Sound preparation: the ".pcm" head, the RIFF walk, and format conversion
// through our compression manager streams (judged by tone frequency and
// length; compressed fixtures are written by libsndfile).
#include <gtest/gtest.h>
#include <msacm.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>

#include "converter/sound/ogg_encoder.h"
#include "converter/sound/sound_prep.h"
#include "formats/le_bytes.h"
#include "sound_fixtures.h"

namespace {

using namespace soundtest;

void Put32(Bytes& b, uint32_t v) { AppendLe32(b, v); }
void Chunk(Bytes& b, const char* tag, const Bytes& body, int64_t declared = -1) {
  b.insert(b.end(), tag, tag + 4);
  Put32(b, uint32_t(declared < 0 ? int64_t(body.size()) : declared));
  b.insert(b.end(), body.begin(), body.end());
}
Bytes Riff(const Bytes& chunks, int64_t declared = -1) {
  Bytes b = {'R', 'I', 'F', 'F'};
  Put32(b, uint32_t(declared < 0 ? int64_t(chunks.size() + 4) : declared));
  b.insert(b.end(), {'W', 'A', 'V', 'E'});
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}
Bytes Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits, size_t size = 16) {
  Bytes f;
  auto p16 = [&](unsigned v) { AppendLe16(f, v); };
  p16(tag);
  p16(ch);
  Put32(f, rate);
  Put32(f, rate * ch * bits / 8);
  p16(ch * bits / 8);
  p16(bits);
  f.resize(size, 0xEE);
  return f;
}

struct RiffCase {
  const char* name;
  Bytes image;
  bool ok;
  uint32_t dataSize;  // when ok
  size_t dataOffset;  // when ok
};

TEST(RiffWalk, Cases) {
  const Bytes fmt = Fmt(1, 1, 22050, 16);
  const Bytes four(4, 7), five(5, 9);
  std::vector<RiffCase> cases;
  {
    Bytes c;
    Chunk(c, "data", four);
    Chunk(c, "fmt ", fmt);
    cases.push_back({"data before fmt", Riff(c), true, 4, 20});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", {});
    Chunk(c, "data", four);
    cases.push_back({"empty data then data", Riff(c), true, 4, 12 + 24 + 8 + 8});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", Fmt(1, 1, 22050, 16, 12));
    Chunk(c, "data", four);
    cases.push_back({"fmt of 12 bytes", Riff(c), false, 0, 0});
  }
  {
    Bytes c;
    Chunk(c, "LIST", five);
    c.push_back(0);  // pad byte after the odd chunk
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", four);
    cases.push_back({"odd chunk pad", Riff(c), true, 4, 12 + 14 + 24 + 8});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", four, 1000000);
    cases.push_back({"data cut to the image", Riff(c), true, 4, 12 + 24 + 8});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", four);
    cases.push_back({"RIFF size beyond the image", Riff(c, 0x7FFFFFF0), true, 4, 12 + 24 + 8});
    cases.push_back({"RIFF size ends before data", Riff(c, 4 + 24), false, 0, 0});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", fmt, 0xFFFFFFF0);  // a chunk that claims the rest of the address space
    cases.push_back({"huge fmt", Riff(c), false, 0, 0});
  }
  {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    cases.push_back({"no data", Riff(c), false, 0, 0});
    Bytes bad = Riff(c);
    bad[8] = 'X';
    cases.push_back({"not WAVE", bad, false, 0, 0});
    cases.push_back({"too short", Bytes{'R', 'I', 'F', 'F', 0, 0}, false, 0, 0});
  }
  for (const RiffCase& rc : cases) {
    WaveFormatBuffer f;
    DWORD size = 12345;
    const BYTE* data = ParseRiffWave(rc.image.data(), DWORD(rc.image.size()), f.get(), &size);
    if (!rc.ok) {
      EXPECT_EQ(nullptr, data) << rc.name;
      EXPECT_EQ(12345u, size) << rc.name;
      continue;
    }
    ASSERT_NE(nullptr, data) << rc.name;
    EXPECT_EQ(rc.dataSize, size) << rc.name;
    EXPECT_EQ(rc.dataOffset, size_t(data - rc.image.data())) << rc.name;
    EXPECT_EQ(22050u, f.get()->nSamplesPerSec) << rc.name;
  }
}

TEST(RiffWalk, LongFmtChunkIsCutAndItsCodecCountBounded) {
  Bytes fmt = Fmt(0x11, 1, 22050, 4, 2000);
  fmt[16] = 0xFF;  // codec bytes claimed: 65535
  fmt[17] = 0xFF;
  Bytes c;
  Chunk(c, "fmt ", fmt);
  Chunk(c, "data", Bytes(4, 1));
  Bytes image = Riff(c);
  std::vector<uint8_t> guarded(kFormatBufferSize + 64, 0xAB);
  DWORD size = 0;
  ASSERT_NE(nullptr,
            ParseRiffWave(image.data(), DWORD(image.size()), reinterpret_cast<WAVEFORMATEX*>(guarded.data()), &size));
  for (size_t i = kFormatBufferSize; i < guarded.size(); ++i) ASSERT_EQ(0xAB, guarded[i]);
  EXPECT_EQ(kFormatBufferSize - 18, reinterpret_cast<WAVEFORMATEX*>(guarded.data())->cbSize);
}

TEST(PcmImage, HeadAndDataLength) {
  Bytes samples(100, 1);
  PcmHeader h;
  Bytes img = PcmImage(samples, 22050, 2, 16, 1, 100);
  img[9] = 5;
  ASSERT_TRUE(ReadPcmHeader(img.data(), DWORD(img.size()), &h));
  EXPECT_EQ(100u, h.dataLength);
  EXPECT_EQ(1, h.compressed);
  EXPECT_EQ(5, h.decoderParam);
  EXPECT_EQ(2, h.channels);
  EXPECT_EQ(22050u, h.samplesPerSec);
  EXPECT_EQ(100u, PcmSampleBytes(h, DWORD(img.size())));
  // A head that promises more than the file holds gives what is there.
  img = PcmImage(samples, 22050, 2, 16, 0, 1 << 30);
  ASSERT_TRUE(ReadPcmHeader(img.data(), DWORD(img.size()), &h));
  EXPECT_EQ(100u, PcmSampleBytes(h, DWORD(img.size())));
  EXPECT_FALSE(ReadPcmHeader(img.data(), 27, &h));
  EXPECT_FALSE(ReadPcmHeader(nullptr, 100, &h));
}

TEST(Formats, TargetsBitratesAndQualities) {
  WaveFormatBuffer t;
  BuildTargetFormat(t.get(), 1, 1);
  EXPECT_EQ(1, t.get()->wFormatTag);
  EXPECT_EQ(2, t.get()->nChannels);
  EXPECT_EQ(44100u, t.get()->nSamplesPerSec);
  EXPECT_EQ(4, t.get()->nBlockAlign);
  EXPECT_EQ(176400u, t.get()->nAvgBytesPerSec);
  EXPECT_EQ(16, t.get()->cbSize);
  BuildTargetFormat(t.get(), 0, 0);
  EXPECT_EQ(1, t.get()->nChannels);
  EXPECT_EQ(22050u, t.get()->nSamplesPerSec);
  EXPECT_EQ(44100u, t.get()->nAvgBytesPerSec);

  // The head's bit count plays no part; the tag is not compared.
  PcmHeader h{};
  h.channels = 1;
  h.samplesPerSec = 22050;
  h.bitsPerSample = 8;
  WaveFormatBuffer s;
  BuildPcmSourceFormat(s.get(), h);
  EXPECT_EQ(16, s.get()->wBitsPerSample);
  s.get()->wFormatTag = 2;
  EXPECT_FALSE(FormatsDiffer(s.get(), t.get()));
  s.get()->nSamplesPerSec = 11025;
  EXPECT_TRUE(FormatsDiffer(s.get(), t.get()));

  EXPECT_EQ(32, Mp3BitrateFor(3, 0));
  EXPECT_EQ(320, Mp3BitrateFor(12, 1));
  EXPECT_EQ(8, Mp3BitrateFor(0, 0));
  EXPECT_EQ(320, Mp3BitrateFor(99, 1));
  for (int i : {0, 1, 2}) EXPECT_FLOAT_EQ(-0.1f, OggQualityFor(OggQualityIndexFor(i)));
  EXPECT_EQ(10, OggQualityIndexFor(12));
  EXPECT_FLOAT_EQ(0.9f, OggQualityFor(OggQualityIndexFor(12)));
}

// ---- Conversion through the compression manager -------------------------

struct ConvCase {
  int srcRate, srcCh, srcBits, dstRate, dstCh;
};

Pcm FromBytes(const BYTE* b, DWORD n, int rate, int ch) {
  Pcm p;
  p.rate = rate;
  p.channels = ch;
  p.samples.resize(n / 2);
  for (size_t i = 0; i < p.samples.size(); ++i) p.samples[i] = int16_t(GetLe16(&b[2 * i]));
  return p;
}

TEST(AcmConversion, RatesChannelsAndWidths) {
  const ConvCase cases[] = {{22050, 1, 16, 44100, 2}, {44100, 2, 16, 22050, 1}, {11025, 1, 8, 22050, 1},
                            {44100, 1, 16, 44100, 2}, {48000, 2, 16, 44100, 2}, {8000, 2, 8, 22050, 1}};
  for (const ConvCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.srcRate << "/" << c.srcCh << "/" << c.srcBits << " -> " << c.dstRate << "/"
                                    << c.dstCh);
    Pcm tone = Tone(700, c.srcRate, c.srcCh, 0.5);
    Bytes src = c.srcBits == 8 ? PcmBytes8(tone) : PcmBytes(tone);
    WaveFormatBuffer sf, df;
    PcmHeader h{};
    h.channels = WORD(c.srcCh);
    h.samplesPerSec = DWORD(c.srcRate);
    BuildPcmSourceFormat(sf.get(), h);
    sf.get()->wBitsPerSample = WORD(c.srcBits);
    sf.get()->nBlockAlign = WORD(c.srcCh * c.srcBits / 8);
    BuildTargetFormat(df.get(), 0, c.dstCh == 2);
    df.get()->nSamplesPerSec = DWORD(c.dstRate);
    df.get()->nAvgBytesPerSec = DWORD(c.dstRate) * df.get()->nBlockAlign;

    BYTE* out = nullptr;
    DWORD n = ConvertPcmForOgg(sf.get(), df.get(), src.data(), DWORD(src.size()), &out);
    ASSERT_NE(nullptr, out);
    Pcm got = FromBytes(out, n, c.dstRate, c.dstCh);
    LocalFree(out);
    EXPECT_NEAR(0.5, got.seconds(), 0.002);
    EXPECT_NEAR(700, DominantHz(got), 6);
    if (c.dstCh == 2 && c.srcCh == 1) {
      EXPECT_EQ(got.samples[1000], got.samples[1001]);
    }

    // The MP3 road's buffer: extra bytes, zero-filled, same samples.
    out = nullptr;
    DWORD n2 = ConvertPcmForMp3(sf.get(), df.get(), src.data(), DWORD(src.size()), &out, 64);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(n, n2);
    LocalFree(out);
  }
}

TEST(AcmConversion, SizeIsAnUpperBoundAndTheDestinationIsNeverOverrun) {
  WAVEFORMATEX s{1, 1, 11025, 22050, 2, 16, 0};
  WAVEFORMATEX d{1, 2, 44100, 176400, 4, 16, 0};
  HACMSTREAM h = nullptr;
  ASSERT_EQ(MMSYSERR_NOERROR, acmStreamOpen(&h, nullptr, &s, &d, nullptr, 0, 0, 0));
  Bytes src = PcmBytes(Tone(300, 11025, 1, 0.3));
  DWORD bound = 0;
  ASSERT_EQ(MMSYSERR_NOERROR, acmStreamSize(h, DWORD(src.size()), &bound, ACM_STREAMSIZEF_SOURCE));
  for (DWORD cap : {bound, DWORD(1000), DWORD(3), DWORD(0)}) {
    Bytes dst(cap);  // exact size: ASan reports any write past it
    ACMSTREAMHEADER hdr{};
    hdr.cbStruct = sizeof hdr;
    hdr.pbSrc = src.data();
    hdr.cbSrcLength = DWORD(src.size());
    hdr.pbDst = cap ? dst.data() : nullptr;
    hdr.cbDstLength = cap;
    EXPECT_EQ(ACMERR_UNPREPARED, acmStreamConvert(h, &hdr, 0));
    ASSERT_EQ(MMSYSERR_NOERROR, acmStreamPrepareHeader(h, &hdr, 0));
    ASSERT_EQ(MMSYSERR_NOERROR, acmStreamConvert(h, &hdr, 0));
    EXPECT_LE(hdr.cbDstLengthUsed, cap);
    EXPECT_EQ(0u, hdr.cbDstLengthUsed % 4);
    if (cap == bound) {
      EXPECT_NEAR(0.3 * 44100 * 4, hdr.cbDstLengthUsed, 4 * 8);
    }
    EXPECT_EQ(MMSYSERR_NOERROR, acmStreamUnprepareHeader(h, &hdr, 0));
  }
  EXPECT_EQ(MMSYSERR_NOERROR, acmStreamClose(h, 0));
}

TEST(AcmConversion, RefusesWhatItCannotConvert) {
  WAVEFORMATEX pcm{1, 2, 44100, 176400, 4, 16, 0};
  const WAVEFORMATEX bad[] = {
      {0x55, 2, 44100, 16000, 1, 0, 0},  // MP3 in WAVE
      {1, 3, 44100, 264600, 6, 16, 0},   // three channels
      {1, 2, 44100, 176400, 4, 12, 0},   // 12-bit PCM
      {1, 2, 0, 0, 4, 16, 0},            // no rate
      {0x11, 1, 22050, 11100, 0, 4, 0},  // ADPCM without block size
  };
  for (const WAVEFORMATEX& b : bad) {
    WAVEFORMATEX src = b;
    HACMSTREAM h = nullptr;
    EXPECT_EQ(ACMERR_NOTPOSSIBLE, acmStreamOpen(&h, nullptr, &src, &pcm, nullptr, 0, 0, 0)) << b.wFormatTag;
    EXPECT_EQ(nullptr, h);
  }
  WAVEFORMATEX mono22{1, 1, 22050, 44100, 2, 16, 0};
  WAVEFORMATEX toMp3{0x55, 1, 22050, 4000, 1, 0, 0};
  HACMSTREAM h = nullptr;
  EXPECT_EQ(ACMERR_NOTPOSSIBLE, acmStreamOpen(&h, nullptr, &mono22, &toMp3, nullptr, 0, 0, 0));
  WAVEFORMATEX far{1, 1, 100, 200, 2, 16, 0};
  EXPECT_EQ(ACMERR_NOTPOSSIBLE, acmStreamOpen(&h, nullptr, &far, &pcm, nullptr, 0, 0, 0));  // beyond 256:1
  EXPECT_EQ(MMSYSERR_NOERROR, acmStreamOpen(nullptr, nullptr, &mono22, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY));
}

// Compressed WAVE images written by libsndfile go through the Ogg road's
// decode step: the suggested format keeps rate and channels, 16-bit PCM.
TEST(AcmConversion, CompressedWaveDecodesToPcm) {
  const int subtypes[] = {SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM, SF_FORMAT_ALAW, SF_FORMAT_ULAW};
  for (int subtype : subtypes) {
    for (int ch : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "subtype " << std::hex << subtype << " channels " << ch);
      Pcm tone = Tone(1000, 11025, ch, 0.4);
      Bytes wav = SndfileWave(tone, subtype);
      ASSERT_FALSE(wav.empty());
      WaveFormatBuffer f;
      DWORD size = 0;
      BYTE* pcm = DecodeWaveToPcm(wav.data(), DWORD(wav.size()), f.get(), &size);
      ASSERT_NE(nullptr, pcm);
      EXPECT_EQ(1, f.get()->wFormatTag);
      EXPECT_EQ(16, f.get()->wBitsPerSample);
      EXPECT_EQ(11025u, f.get()->nSamplesPerSec);
      EXPECT_EQ(ch, f.get()->nChannels);
      Pcm got = FromBytes(pcm, size, 11025, ch);
      LocalFree(pcm);
      // ADPCM pads its last block; never more than one block of extra frames.
      EXPECT_GE(got.frames(), tone.frames());
      EXPECT_LE(got.frames(), tone.frames() + 2048);
      EXPECT_NEAR(1000, DominantHz(got), 6);
    }
  }
  // A PCM WAVE is left alone: nothing returned, the size is its data's.
  Bytes plain = WaveImage(Bytes(400, 0), 22050, 1, 16);
  WaveFormatBuffer f;
  DWORD size = 1;
  EXPECT_EQ(nullptr, DecodeWaveToPcm(plain.data(), DWORD(plain.size()), f.get(), &size));
  EXPECT_EQ(400u, size);
}

// An IMA ADPCM image whose sample bytes are an odd number long: libsndfile
// seeks past the padded end of its data chunk, which must not send its chunk
// walk round in circles (found by fuzzing).
TEST(AcmConversion, OddLengthAdpcmDataEnds) {
  static const uint8_t kImage[] = {
      0x52, 0x49, 0x46, 0x46, 0x34, 0x09, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6d, 0x74, 0x20, 0x14, 0x00,
      0x00, 0x00, 0x11, 0x00, 0x01, 0x00, 0x22, 0x60, 0x00, 0x00, 0x5c, 0x2b, 0x00, 0x00, 0x00, 0x01, 0x04, 0x00,
      0x02, 0x00, 0xf9, 0x01, 0x66, 0x61, 0x63, 0x74, 0x04, 0x00, 0x00, 0x00, 0xf9, 0x01, 0x00, 0x00, 0x64, 0x61,
      0x74, 0x61, 0x00, 0x01, 0x00, 0x00, 0x4c, 0x49, 0x53, 0x54, 0x52, 0x49, 0x46, 0x46, 0x96, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x14, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xbf, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xf3, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0x00, 0x00, 0x00, 0xfc, 0xfd, 0xfe, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00,
  };
  Bytes image(kImage, kImage + sizeof kImage);
  WaveFormatBuffer f;
  DWORD size = 0;
  BYTE* pcm = DecodeWaveToPcm(image.data(), DWORD(image.size()), f.get(), &size);
  // The walk ends, and the one 256-byte block gives its 505 samples (the
  // fact chunk's count) as 16-bit mono PCM at the image's rate.
  ASSERT_NE(pcm, nullptr);
  LocalFree(pcm);
  EXPECT_EQ(size, 505u * 2);
  EXPECT_EQ(f.get()->wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.get()->nChannels, 1);
  EXPECT_EQ(f.get()->nSamplesPerSec, 0x6022u);
  EXPECT_EQ(f.get()->wBitsPerSample, 16);
}

}  // namespace
