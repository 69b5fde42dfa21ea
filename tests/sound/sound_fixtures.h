// Small sound fixtures for the sound tests: tones, ".pcm" and WAVE images,
// independent decoding of our MP3 and Ogg output, and a frequency probe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

using Bytes = std::vector<uint8_t>;

struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
  double seconds() const { return rate ? double(frames()) / rate : 0; }
};

// A sine tone; with two channels the right one is the left at half level.
Pcm Tone(double hz, int rate, int channels, double seconds, double level = 0.5);
Bytes PcmBytes(const Pcm& pcm);   // 16-bit little-endian
Bytes PcmBytes8(const Pcm& pcm);  // 8-bit unsigned
// ".pcm" image: 28-byte head then samples.  `bits` is what the head claims.
Bytes PcmImage(const Bytes& samples, int rate, int channels, int bits = 16, uint8_t compressed = 0,
               int64_t statedLength = -1);
// RIFF WAVE image of plain PCM.
Bytes WaveImage(const Bytes& samples, int rate, int channels, int bits);
// RIFF WAVE image written by libsndfile in a compressed encoding
// (SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM, SF_FORMAT_ALAW, SF_FORMAT_ULAW).
Bytes SndfileWave(const Pcm& pcm, int subtype);

// Decodes with the Debian tools (mpg123, oggdec) run as separate programs.
bool DecodeMp3(const Bytes& mp3, Pcm* out, std::string* error);
bool DecodeOgg(const Bytes& ogg, Pcm* out, std::string* error);
Pcm ReadWav(const std::string& path);

// Frequency (Hz) with the most energy in the first channel, 50..6000 Hz,
// measured on a window in the middle of the sound.
double DominantHz(const Pcm& pcm);

// This process's scratch folder of the sound tests, below the build tree.
std::string TempDir();

}  // namespace soundtest
