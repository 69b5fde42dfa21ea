#include "tools/sample_sounds.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/le_bytes.h"

namespace vtools {
namespace {
using Bytes = std::vector<uint8_t>;
}  // namespace

std::vector<int16_t> ToneSamples(double hz, int rate, int channels, double seconds, double level) {
  const size_t frames = size_t(seconds * rate);
  std::vector<int16_t> v(frames * channels);
  for (size_t i = 0; i < frames; ++i) {
    const double x = level * 32767 * std::sin(2 * M_PI * hz * double(i) / rate);
    for (int c = 0; c < channels; ++c) v[i * channels + c] = int16_t(std::lround(c ? x / 2 : x));
  }
  return v;
}

Bytes RiffWave(const Bytes& fmt, const Bytes& data, int64_t frames) {
  Bytes chunks;
  AppendTag(chunks, "fmt ");
  AppendLe32(chunks, uint32_t(fmt.size()));
  chunks.insert(chunks.end(), fmt.begin(), fmt.end());
  if (frames >= 0) {
    AppendTag(chunks, "fact");
    AppendLe32(chunks, 4);
    AppendLe32(chunks, uint32_t(frames));
  }
  AppendTag(chunks, "data");
  AppendLe32(chunks, uint32_t(data.size()));
  chunks.insert(chunks.end(), data.begin(), data.end());
  if (data.size() & 1) chunks.push_back(0);
  Bytes b;
  AppendTag(b, "RIFF");
  AppendLe32(b, uint32_t(4 + chunks.size()));
  AppendTag(b, "WAVE");
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

Bytes PcmFormatChunk(int rate, int channels, int bits) {
  Bytes f;
  const int align = channels * bits / 8;
  AppendLe16(f, 1);
  AppendLe16(f, channels);
  AppendLe32(f, rate);
  AppendLe32(f, uint32_t(rate) * uint32_t(align));
  AppendLe16(f, align);
  AppendLe16(f, bits);
  return f;
}

namespace {

std::vector<int16_t> Tone(const SampleToneOptions& s) { return ToneSamples(s.hz, s.rate, s.channels, s.seconds); }

Bytes Samples16(const std::vector<int16_t>& v) {
  Bytes b;
  for (int16_t s : v) AppendLe16(b, uint16_t(s));
  return b;
}

// The 28-byte head of a ".pcm" image.
Bytes PcmHead(uint32_t dataLength, uint8_t compressed, int rate, int channels) {
  Bytes b;
  AppendTag(b, "PCM ");
  AppendLe32(b, dataLength);
  b.push_back(compressed);
  b.push_back(0);
  AppendLe16(b, 0);
  AppendLe16(b, 1);
  AppendLe16(b, channels);
  AppendLe32(b, rate);
  AppendLe32(b, rate * channels * 2);
  AppendLe16(b, channels * 2);
  AppendLe16(b, 16);
  return b;
}

// IMA ADPCM, as WAVE files carry it: blocks of 256 bytes per channel, each
// starting with the channel's sample and step index, then 4-bit codes in
// groups of eight samples per channel, low nibble first.
const int kStep[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
                       25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
                       88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
                       307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
                       1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
                       3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
                       12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kIndexStep[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaState {
  int predictor = 0, index = 0;
  int Encode(int sample) {
    const int step = kStep[index];
    int diff = sample - predictor, code = 0;
    if (diff < 0) {
      code = 8;
      diff = -diff;
    }
    int part = step;
    if (diff >= part) {
      code |= 4;
      diff -= part;
    }
    part >>= 1;
    if (diff >= part) {
      code |= 2;
      diff -= part;
    }
    part >>= 1;
    if (diff >= part) code |= 1;
    // Follow the decoder exactly, so the two never drift apart.
    int delta = step >> 3;
    if (code & 4) delta += step;
    if (code & 2) delta += step >> 1;
    if (code & 1) delta += step >> 2;
    predictor = std::clamp(code & 8 ? predictor - delta : predictor + delta, -32768, 32767);
    index = std::clamp(index + kIndexStep[code & 7], 0, 88);
    return code;
  }
};

Bytes ImaAdpcmWave(const SampleToneOptions& s) {
  const std::vector<int16_t> pcm = Tone(s);
  const int ch = s.channels, align = 256 * ch, perBlock = (align - 4 * ch) * 8 / (4 * ch) + 1;
  const size_t frames = pcm.size() / ch;
  auto at = [&](size_t f, int c) { return f < frames ? int(pcm[f * ch + c]) : 0; };
  Bytes data;
  std::vector<ImaState> state(ch);
  for (size_t start = 0; start < frames; start += perBlock) {
    for (int c = 0; c < ch; ++c) {
      state[c].predictor = at(start, c);
      AppendLe16(data, uint16_t(int16_t(state[c].predictor)));
      data.push_back(uint8_t(state[c].index));
      data.push_back(0);
    }
    for (int g = 0; g < (perBlock - 1) / 8; ++g)
      for (int c = 0; c < ch; ++c)
        for (int k = 0; k < 8; k += 2) {
          const size_t f = start + 1 + size_t(g) * 8 + k;
          const int lo = state[c].Encode(at(f, c));
          const int hi = state[c].Encode(at(f + 1, c));
          data.push_back(uint8_t(lo | hi << 4));
        }
  }
  Bytes fmt;
  AppendLe16(fmt, 0x11);
  AppendLe16(fmt, ch);
  AppendLe32(fmt, s.rate);
  AppendLe32(fmt, uint32_t(int64_t(s.rate) * align / perBlock));
  AppendLe16(fmt, align);
  AppendLe16(fmt, 4);
  AppendLe16(fmt, 2);
  AppendLe16(fmt, perBlock);
  return RiffWave(fmt, data, int64_t(frames));
}

Bytes Deflate(const Bytes& in) {
  uLongf n = compressBound(uLong(in.size()));
  Bytes out(n);
  if (compress2(out.data(), &n, in.data(), uLong(in.size()), 9) != Z_OK) return {};
  out.resize(n);
  return out;
}

// Transform-coded blocks whose only non-zero code is bin m's real part:
// every block decodes to a cosine of that bin, amplitude 2 x the value.
int CodedBin(const SampleVoiceOptions& s) { return std::clamp(int(std::lround(s.hz * 4096 / s.rate)), 1, 255); }

Bytes CodedBlocks(const SampleVoiceOptions& s, uint32_t samples) {
  const int m = CodedBin(s);
  const unsigned code = 2 * 4000 - 1;  // odd codes are positive: value 4000
  const size_t blocks = (samples + 4063) / 4064;
  Bytes b(blocks * 8192, 0);
  for (size_t k = 0; k < blocks; ++k) {
    uint8_t* blk = b.data() + k * 8192;
    blk[2 * m] = uint8_t(code >> 8);
    blk[4096 + m] = uint8_t(code & 0xF0);
    blk[6144 + m] = uint8_t((code & 0x0F) << 4);
  }
  return b;
}

}  // namespace

double CodedVoiceHz(const SampleVoiceOptions& spec) { return double(CodedBin(spec)) * spec.rate / 4096; }

Bytes SoundImage(const SampleToneOptions& s) {
  switch (s.shape) {
    case SoundShape::Pcm:
    case SoundShape::Compressed: {
      Bytes samples = Samples16(Tone(s));
      Bytes b = PcmHead(uint32_t(samples.size()), s.shape == SoundShape::Compressed ? 1 : 0, s.rate, s.channels);
      b.insert(b.end(), samples.begin(), samples.end());
      return b;
    }
    case SoundShape::Wave16:
      return RiffWave(PcmFormatChunk(s.rate, s.channels, 16), Samples16(Tone(s)));
    case SoundShape::Wave8: {
      Bytes data;
      for (int16_t v : Tone(s)) data.push_back(uint8_t((v >> 8) + 128));
      return RiffWave(PcmFormatChunk(s.rate, s.channels, 8), data);
    }
    case SoundShape::ImaAdpcm:
      return ImaAdpcmWave(s);
  }
  return {};
}

Bytes VoiceBodyImage(const SampleVoiceOptions& v) {
  SampleToneOptions s{SoundShape::Pcm, v.hz, v.rate, v.channels, v.seconds};
  switch (v.body) {
    case VoiceBody::Wave:
      s.shape = SoundShape::Wave16;
      return SoundImage(s);
    case VoiceBody::Other:
      return RiffWave(PcmFormatChunk(v.rate, 1, 16), Bytes(64, 0));  // a WAVE, but not named as a sound
    case VoiceBody::Deflated:
    case VoiceBody::Coded: {
      const bool coded = v.body == VoiceBody::Coded;
      const uint32_t samples = uint32_t(v.seconds * v.rate);
      const Bytes raw = coded ? CodedBlocks(v, samples) : Samples16(Tone(s));
      const Bytes deflated = Deflate(raw);
      Bytes b = PcmHead(coded ? samples * 2 : uint32_t(raw.size()), coded ? 1 : 0, v.rate, coded ? 1 : v.channels);
      if (coded) b[9] = 3;  // the decoder's parameter, unused
      AppendLe32(b, uint32_t(deflated.size()));
      b.insert(b.end(), deflated.begin(), deflated.end());
      return b;
    }
  }
  return {};
}

Bytes VoiceIndexFile(const std::vector<SampleVoiceOptions>& voices) {
  std::vector<Bytes> bodies;
  for (const SampleVoiceOptions& v : voices) bodies.push_back(VoiceBodyImage(v));
  Bytes b;
  AppendLe32(b, uint32_t(voices.size()));
  uint32_t offset = uint32_t(4 + 64 * voices.size());
  for (size_t i = 0; i < voices.size(); ++i) {
    Bytes name(60, 0);
    std::copy_n(voices[i].name.begin(), std::min<size_t>(voices[i].name.size(), 59), name.begin());
    b.insert(b.end(), name.begin(), name.end());
    AppendLe32(b, offset);
    offset += uint32_t(bodies[i].size());
  }
  for (const Bytes& body : bodies) b.insert(b.end(), body.begin(), body.end());
  return b;
}

std::vector<SoundRow> SampleMusic(SampleSize size) {
  std::vector<SoundRow> rows;
  const bool full = size != SampleSize::Small;
  const bool game = size == SampleSize::Game;
  // The tracks the converter passes over: the game keeps them outside the
  // 46 tracks it plays (1 to 46).
  const int compressed = game ? 0 : 7, wave = game ? 47 : 13;
  for (int n = 0; n < 48; ++n) {
    if (!full && n > 3 && n != 7 && n != 13) continue;
    SampleToneOptions s;
    s.hz = 220 + 20 * n;
    s.seconds = game ? 1.0 : full ? 0.3 : 0.4;
    s.rate = n % 2 ? 44100 : 22050;
    s.channels = n % 2 ? 2 : 1;
    if (n == compressed) s.shape = SoundShape::Compressed;  // skipped by the converter
    if (n == wave) s.shape = SoundShape::Wave16;            // a WAVE among the music is passed over too
    char path[64];
    std::snprintf(path, sizeof path, "AdvData\\MUSIC\\%03d.pcm", n);
    rows.push_back({path, n, s});
  }
  return rows;
}

std::vector<SoundRow> SampleEffects(SampleSize size) {
  std::vector<SoundRow> rows;
  const bool full = size != SampleSize::Small;
  static const SoundShape kCycle[] = {SoundShape::Pcm, SoundShape::Wave8,  SoundShape::ImaAdpcm,
                                      SoundShape::Pcm, SoundShape::Wave16, SoundShape::ImaAdpcm};
  for (int n = 0; n < 230; ++n) {
    if (!full && n > 6) continue;
    SampleToneOptions s;
    s.shape = kCycle[n % 6];
    s.hz = 300 + 15 * n;
    s.seconds = 0.2;
    s.rate = 22050;
    s.channels = 1;
    if (s.shape == SoundShape::Wave8) s.rate = 11025;  // 8-bit 11,025 Hz effects
    if (n % 6 == 3) {
      s.rate = 44100;
      s.channels = 2;
    }
    if (n % 6 == 5) s.channels = 2;                // stereo ADPCM
    if (n == 6) s.shape = SoundShape::Compressed;  // skipped
    char path[64];
    std::snprintf(path, sizeof path, "AdvData\\SE\\%03d.pcm", n);
    rows.push_back({path, n, s});
  }
  return rows;
}

namespace {

// Folders of the characters' story voices (character index order) and of
// their system voices: characters 9 and 10 take their system voices from
// each other's folder, and every other name speaks with "qor" (15).
const char* const kVoiceFolders[15] = {"vlm", "dov", "fnr", "lup", "brs", "olw", "wnr", "rwa",
                                       "elv", "hdk", "adw", "hsr", "iph", "zta", "kva"};
const char* const kSystemVoiceFolders[16] = {"vlm", "dov", "fnr", "lup", "brs", "olw", "wnr", "rwa",
                                             "elv", "adw", "hdk", "hsr", "iph", "zta", "kva", "qor"};
const char* const kInterviews[10] = {"velmi",  "dova",  "berisa", "lupa",  "olwe",
                                     "fenira", "wenra", "ruwa",   "kalva", "hestri"};

}  // namespace

std::string SystemVoiceName(int character, int number) {
  const char* folder = kSystemVoiceFolders[std::clamp(character, 0, 15)];
  char name[48];
  std::snprintf(name, sizeof name, "%s\\sys_%s_%02d.pcm", folder, folder, number);
  return name;
}

double SystemVoiceHz(int character, int number) { return 300.0 + 40 * std::clamp(character, 0, 15) + 2 * number; }

std::vector<SampleVoiceOptions> GameVoices() {
  std::vector<SampleVoiceOptions> v;
  for (int c = 0; c < 16; ++c)
    for (int n = 1; n <= kSystemVoiceCount; ++n)
      v.push_back({SystemVoiceName(c, n), VoiceBody::Deflated, SystemVoiceHz(c, n), 22050, 1, 0.3});
  for (int i = 0; i < 10; ++i)
    v.push_back(
        {std::string("interview\\") + kInterviews[i] + ".pcm", VoiceBody::Deflated, 1000.0 + 50 * i, 22050, 1, 1.0});
  // Story voices, two per character folder.
  for (int c = 0; c < 15; ++c)
    for (int n = 1; n <= 2; ++n) {
      char name[48];
      std::snprintf(name, sizeof name, "%s\\%s_%04d.pcm", kVoiceFolders[c], kVoiceFolders[c], n);
      v.push_back({name, VoiceBody::Deflated, 500.0 + 30 * c + 10 * n, 22050, 1, 0.5});
    }
  return v;
}

std::vector<SampleVoiceOptions> SampleVoices(SampleSize size) {
  std::vector<SampleVoiceOptions> v = {
      {"v0001.pcm", VoiceBody::Deflated, 500, 22050, 1, 0.3},
      {"v0002.pcm", VoiceBody::Wave, 620, 22050, 1, 0.3},
      {"v0003.pcm", VoiceBody::Coded, 700, 22050, 1, 0.5},
      {"readme.txt", VoiceBody::Other},
      {"chara\\v0005.PCM", VoiceBody::Deflated, 820, 44100, 2, 0.3},
      {"chara\\sub\\a.b.pcm", VoiceBody::Coded, 1000, 22050, 1, 0.4},
  };
  if (size != SampleSize::Small) {
    for (int i = 0; i < 24; ++i) {
      char name[48];
      std::snprintf(name, sizeof name, "scene%02d\\v%04d.pcm", i / 8, 100 + i);
      const VoiceBody body = i % 3 == 0 ? VoiceBody::Coded : i % 3 == 1 ? VoiceBody::Deflated : VoiceBody::Wave;
      v.push_back({name, body, 400.0 + 30 * i, 22050, 1, 0.3});
    }
    v.push_back({"noext", VoiceBody::Other});
  }
  if (size == SampleSize::Game) {
    const std::vector<SampleVoiceOptions> game = GameVoices();
    v.insert(v.end(), game.begin(), game.end());
  }
  return v;
}

void AddSoundRows(SampleTable& t, SampleSize size) {
  for (const auto& list : {SampleMusic(size), SampleEffects(size)})
    for (const SoundRow& r : list) {
      const SampleToneOptions spec = r.spec;
      t.push_back(SampleFile{r.path, [spec] { return SoundImage(spec); }});
    }
  const std::vector<SampleVoiceOptions> voices = SampleVoices(size);
  t.push_back(SampleFile{"AdvData\\voice.dat", [voices] { return VoiceIndexFile(voices); }});
}

}  // namespace vtools
