// The story's sound requests: music, sound effects and voices by number or
// name, turned into file names, checked against the settings and opened on
// the mixer's channels 0 (music, a movie's sound), 10 (effects), 20 (voices).
#pragma once

#include <cstdint>

class PackReader;
struct GameSettings;
struct InputState;

constexpr int kChannelMusic = 0;
constexpr int kChannelEffect = 10;
constexpr int kChannelVoice = 20;

// Kinds of ApplyChannelVolumes.
enum VolumeKind { VOLUME_MASTER = 0, VOLUME_MUSIC, VOLUME_VOICE, VOLUME_EFFECT, VOLUME_MOVIE };

// What the requests need of the mixer.
class SoundRequestPort {
 public:
  virtual ~SoundRequestPort() = default;
  // From a folder ending in '\' (pack null) or from a pack entry; no fade,
  // started at once.  1 when the sound plays.
  virtual int Open(int channel, const char* fileName, const char* folderOrPack, PackReader* pack, int volume, int loop,
                   int inMemory) = 0;
  virtual void Stop(int channel) = 0;
  virtual void FadeOut(int channel, int ms) = 0;
  virtual void SetVolume(int channel, int volume) = 0;
  virtual int IsPlaying(int channel) = 0;
};

struct SoundRequestState {
  int32_t currentTrack = -1;   // -1 none
  int32_t trackMode = 0;       // 1 looping, 0 once
  int32_t currentEffect = -1;  // -1 none
  int32_t effectLoop = 0;
  char voiceName[64] = {};
};

class CStorySound {
 public:
  // The words the requests read live: settings (with the skip flag), the
  // latched input, the event-picture word and whether a movie plays.
  void Bind(SoundRequestPort* port, const GameSettings* settings, const InputState* input, const int32_t* eventPicture,
            const int32_t* moviePlaying);
  // Folders end in '\'; the voice pack is read through its reader.
  void SetPaths(const char* musicFolder, const char* effectFolder, const char* voicePackPath, PackReader* voicePack);

  // Low byte: track 0-254, 255 stops; bits 8-15: 2 plays once, else loops.
  void PlayBgm(int word);
  void PlaySe(int number, int loop);
  void PlayVoice(const char* name, int force);
  // Character 0-15 (others are ignored); always forced.
  void PlaySystemVoice(int character, int number);
  void ApplyChannelVolumes(int kind, int percent);
  // A new script: the same effect may sound again.
  void ForgetEffect();
  int IsVoicePlaying() const { return port_ ? port_->IsPlaying(kChannelVoice) : 0; }
  void StopVoice() { if (port_) port_->Stop(kChannelVoice); }
  void FadeOutVoice(int ms) { if (port_) port_->FadeOut(kChannelVoice, ms); }

  SoundRequestState state;

 private:
  int MasterShare(int volume) const;
  int VoiceAllowed(const char* name) const;

  SoundRequestPort* port_ = nullptr;
  const GameSettings* settings_ = nullptr;
  const InputState* input_ = nullptr;
  const int32_t* eventPicture_ = nullptr;
  const int32_t* moviePlaying_ = nullptr;
  const char* musicFolder_ = "";
  const char* effectFolder_ = "";
  const char* voicePackPath_ = "";
  PackReader* voicePack_ = nullptr;
};

class CSoundMixer;
// The mixer's side of the requests; owned by the mixer's module.
SoundRequestPort* MixerSoundPort(CSoundMixer* mixer);
