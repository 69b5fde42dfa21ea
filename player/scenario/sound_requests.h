// The story's sound requests: music, sound effects and voices by number or
// name, on the mixer's channels 0, 10 and 20.
#pragma once

#include <cstdint>

constexpr int kChannelMusic = 0;
constexpr int kChannelEffect = 10;
constexpr int kChannelVoice = 20;

struct SoundRequestState {
  int32_t currentTrack;   // -1 none
  int32_t trackMode;      // 1 looping, 0 once
  int32_t currentEffect;  // -1 none
  int32_t effectLoop;
  char voiceName[64];
};

class CGameApp;
class CScreen;
class CSoundMixer;
class PackReader;
struct GameSettings;
struct InputState;

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
  // A movie's sound holds channel 0.
  virtual int IsMoviePlaying() = 0;
};

// The port on the application's mixer and screen.
class MixerSoundPort : public SoundRequestPort {
 public:
  void Attach(CSoundMixer* mixer, const CScreen* const* screen);
  int Open(int channel, const char* fileName, const char* folderOrPack, PackReader* pack, int volume, int loop,
           int inMemory) override;
  void Stop(int channel) override;
  void FadeOut(int channel, int ms) override;
  void SetVolume(int channel, int volume) override;
  int IsPlaying(int channel) override;
  int IsMoviePlaying() override;

 private:
  CSoundMixer* mixer_ = nullptr;
  const CScreen* const* screen_ = nullptr;
};

// The requests: file names, the settings' checks and the channels, on the
// sound record.
class CStorySound {
 public:
  CStorySound() = default;
  CStorySound(const CStorySound&) = delete;
  CStorySound& operator=(const CStorySound&) = delete;

  // The words the requests read live: the record, the settings (with the
  // skip flag), the latched input and the event-picture word.
  void Bind(SoundRequestState* state, const GameSettings* settings, const InputState* input,
            const int32_t* eventPicture);
  // Null goes back to the application's mixer.
  void SetPort(SoundRequestPort* port) { port_ = port ? port : &mixerPort_; }
  MixerSoundPort& MixerPort() { return mixerPort_; }
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
  int IsVoicePlaying() { return port_->IsPlaying(kChannelVoice); }
  void StopVoice() { port_->Stop(kChannelVoice); }
  void FadeOutVoice(int ms) { port_->FadeOut(kChannelVoice, ms); }

 private:
  int MasterShare(int volume) const;
  int VoiceAllowed(const char* name) const;

  MixerSoundPort mixerPort_;
  SoundRequestPort* port_ = &mixerPort_;
  SoundRequestState* state_ = nullptr;
  const GameSettings* settings_ = nullptr;
  const InputState* input_ = nullptr;
  const int32_t* eventPicture_ = nullptr;
  const char* musicFolder_ = "";
  const char* effectFolder_ = "";
  const char* voicePackPath_ = "";
  PackReader* voicePack_ = nullptr;
};

void PlaySe(CGameApp* app, int number, int loop);
void PlayVoice(CGameApp* app, const char* name, int force);
