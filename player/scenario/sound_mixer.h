// The sound mixer: 64 channels of MP3 or Ogg sound mixed into one wave
// output.  Channel 0 plays music and a movie's sound, 10 sound effects and
// 20 voices.
#pragma once

#include <cstdint>

class PackReader;
struct SoundChannel;

constexpr int kSoundChannels = 64;

class CSoundMixer {
 public:
  CSoundMixer();
  ~CSoundMixer();
  CSoundMixer(const CSoundMixer&) = delete;
  CSoundMixer& operator=(const CSoundMixer&) = delete;

  // Returns the rate in use (44,100 or 22,050).
  unsigned OpenOutput(unsigned rate);
  void CloseOutput();
  void Suspend();
  void Resume();
  // 1: ".ogg" first; anything else: ".mp3" first.
  void SetPreferredCodec(int n);
  void SetDeviceVolume(uint32_t v);
  // Opens a sound from a folder (ending in '\') or from a pack through its
  // reader; 1 on success.
  int OpenSound(int channel, const char* name, const char* folderOrPack, PackReader* pack, int volume, int fadeInMs,
                int loop, int start, int inMemory);
  int Play(int channel, int loop);
  void StopChannel(int channel);
  void StopAll();
  int FadeIn(int channel, int ms);
  int FadeOut(int channel, int ms);
  SoundChannel* GetChannel(int channel);
  int SetChannelVolume(SoundChannel* record, int volume);
  // Play position in ms of a playing channel; -1 otherwise.
  int GetPlayPosition(int channel);
};
