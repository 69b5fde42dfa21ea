// Fixtures of the mixer and source tests: tones encoded to MP3 (libmp3lame)
// and Ogg Vorbis (our oggenc library), tags, the independent decoders
// (mpg123, oggdec) and a loaded pair of overlays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mixertest {

using Bytes = std::vector<uint8_t>;

// Interleaved 16-bit samples: a sine of `hz` at `level` (0..1), the right
// channel a third higher.
std::vector<int16_t> Tone(double hz, int rate, int channels, double seconds, double level = 0.4);
Bytes EncodeMp3(const std::vector<int16_t>& pcm, int rate, int channels);
Bytes EncodeOgg(const std::vector<int16_t>& pcm, int rate, int channels);

// Tags around an MP3 stream.
Bytes WithId3v2(const Bytes& mp3, uint32_t bodySize);
Bytes WithId3v1(const Bytes& mp3);

// Raw 16-bit output of `mpg123 --no-gapless -s` and `oggdec -R`.
Bytes Mpg123Raw(const Bytes& mp3);
Bytes OggdecRaw(const Bytes& ogg);

// A fresh folder under the temporary folder; files in it.
std::string TempFolder(const std::string& tag);
void WriteBytes(const std::string& path, const Bytes& data);
Bytes ReadBytes(const std::string& path);
// Windows form of a Linux path (the layer maps it back).
std::string WinPath(const std::string& linuxPath);

// Points the module search at the build's bin folder and loads both
// overlays (once).
void LoadOverlays();

}  // namespace mixertest
