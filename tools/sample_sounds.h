// The sounds of the synthetic desktop game: music tracks and sound effects
// ("AdvData\MUSIC\%z3.pcm", "AdvData\SE\%z3.pcm") in every shape the
// converter reads, and "AdvData\voice.dat" with records of every kind.
// Every sound is a sine tone, so an encoded result can be checked by its
// frequency, length, rate and channel count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sample_game.h"

namespace vtools {

enum class SoundShape {
  Pcm,         // ".pcm" image of 16-bit samples
  Compressed,  // ".pcm" image with the compressed flag set: never converted
  Wave16,      // RIFF WAVE, 16-bit PCM
  Wave8,       // RIFF WAVE, 8-bit PCM
  ImaAdpcm,    // RIFF WAVE, IMA ADPCM
};

// Format and tone of one generated sound file.
struct SampleToneOptions {
  SoundShape shape = SoundShape::Pcm;
  double hz = 440;
  int rate = 22050;
  int channels = 1;
  double seconds = 0.25;
};

struct SoundRow {
  std::string path;  // relative to the game folder
  int number;        // the %z3 number
  SampleToneOptions spec;
};

std::vector<SoundRow> SampleMusic(SampleSize size);
std::vector<SoundRow> SampleEffects(SampleSize size);

enum class VoiceBody {
  Wave,      // RIFF WAVE image
  Deflated,  // ".pcm" head, zlib-deflated 16-bit samples
  Coded,     // ".pcm" head, deflated transform-coded blocks
  Other,     // not a ".pcm" name: a placeholder entry
};

// Name, body kind, tone and format of one generated voice.
struct SampleVoiceOptions {
  std::string name;  // as stored in the index (at most 59 bytes)
  VoiceBody body = VoiceBody::Deflated;
  double hz = 440;  // Coded: the frequency of the bin the codes fill
  int rate = 22050;
  int channels = 1;
  double seconds = 0.3;
};

std::vector<SampleVoiceOptions> SampleVoices(SampleSize size);

// The voices the game itself names: system voices 1 to kSystemVoiceCount of
// the 16 characters, the ten interviews ("interview\velmi.pcm", ...) and
// two story voices in each character's folder ("vlm\vlm_0001.pcm", ...).
constexpr int kSystemVoiceCount = 13;
std::vector<SampleVoiceOptions> GameVoices();
// Index name of a system voice ("adw\sys_adw_01.pcm" for character 9) and
// the tone it holds (one frequency per character and number).
std::string SystemVoiceName(int character, int number);
double SystemVoiceHz(int character, int number);

// Pieces of the images, shared with the sound tests.
// Interleaved samples of a sine tone; a second channel is the first at half level.
std::vector<int16_t> ToneSamples(double hz, int rate, int channels, double seconds, double level = 0.5);
// The 16-byte "fmt " body of plain PCM.
std::vector<uint8_t> PcmFormatChunk(int rate, int channels, int bits);
// A RIFF WAVE image of one "fmt " chunk, a "fact" chunk when frames >= 0,
// and the "data" chunk (padded to even length).
std::vector<uint8_t> RiffWave(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data, int64_t frames = -1);

// Images of one sound.
std::vector<uint8_t> SoundImage(const SampleToneOptions& spec);
std::vector<uint8_t> VoiceBodyImage(const SampleVoiceOptions& spec);
// The whole index file for a list of voices.
std::vector<uint8_t> VoiceIndexFile(const std::vector<SampleVoiceOptions>& voices);
// The frequency a Coded voice really has (its bin's centre).
double CodedVoiceHz(const SampleVoiceOptions& spec);

void AddSoundRows(SampleTable& table, SampleSize size);

}  // namespace vtools
