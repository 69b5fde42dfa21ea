// The story's sound requests: music, effects and voices turned into file
// names, checked against the settings and opened on the mixer's channels.
#include "player/scenario/sound_requests.h"

#include "common/format.h"
#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/input.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "player/media/sound_mixer.h"
#include "player/scenario/system_voices.h"

namespace {

// The name with its extension replaced by ".mp3" (or ".mp3" appended); 0
// when it does not fit.  The mixer prefers the configured codec's extension.
int Mp3Name(char* out, size_t capacity, const char* name) {
  const size_t len = StrLength(name);
  if (len + 5 > capacity) return 0;
  StrCopy(out, name);
  char* dot = SjisFindLastChar(out, '.');
  const char* slash = SjisFindLastChar(out, '\\');
  if (dot && (!slash || dot > slash)) *dot = 0;
  StrAppend(out, ".mp3");
  return 1;
}

// A name inside the effect folder: no leading separator, no drive and no
// "..", so that a script cannot lead a read outside the data folder.
bool StaysInFolder(const char* name) {
  if (name[0] == '\\' || name[0] == '/') return false;
  for (const char* p = name; *p;) {
    if (IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      p += 2;
      continue;
    }
    if (*p == ':' || (p[0] == '.' && p[1] == '.')) return false;
    ++p;
  }
  return true;
}

}  // namespace

void CStorySound::Bind(SoundRequestState* state, const GameSettings* settings, const InputState* input,
                       const int32_t* eventPicture) {
  state_ = state;
  settings_ = settings;
  input_ = input;
  eventPicture_ = eventPicture;
}

void CStorySound::SetPaths(const char* musicFolder, const char* effectFolder, const char* voicePackPath,
                           PackReader* voicePack) {
  musicFolder_ = musicFolder ? musicFolder : "";
  effectFolder_ = effectFolder ? effectFolder : "";
  voicePackPath_ = voicePackPath ? voicePackPath : "";
  voicePack_ = voicePack;
}

int CStorySound::MasterShare(int volume) const { return volume * settings_->masterVolume / 100; }

void CStorySound::PlayBgm(int word) {
  int track = word & 0xFF;
  if (track == 255) track = -1;
  if (track == state_->currentTrack) return;  // the play mode stays as it is too
  if (track < 0) {
    port_->Stop(kChannelMusic);
    state_->currentTrack = -1;
    state_->trackMode = 0;
    return;
  }
  const int once = ((word >> 8) & 0xFF) == 2;
  char file[16];
  FormatString(file, "%z3.mp3", track);
  if (settings_->musicPlay)
    port_->Open(kChannelMusic, file, musicFolder_, nullptr, MasterShare(settings_->musicVolume), !once,
                settings_->memStream);
  // Recorded even when the music is off, so that a save brings it back.
  state_->currentTrack = track;
  state_->trackMode = once ? 0 : 1;
}

void CStorySound::PlaySe(int number, int loop) {
  if (number == 255) number = -1;
  if (number == state_->currentEffect) return;
  if (number < 0) {
    port_->Stop(kChannelEffect);
    state_->currentEffect = -1;
    state_->effectLoop = 0;
    return;
  }
  char file[16];
  FormatString(file, "%z3.mp3", number);
  if (settings_->sePlay)
    port_->Open(kChannelEffect, file, effectFolder_, nullptr, MasterShare(settings_->seVolume), loop, 1);
  state_->currentEffect = number;
  state_->effectLoop = loop;
}

void CStorySound::ForgetEffect() {
  port_->Stop(kChannelEffect);
  state_->currentEffect = -1;
}

int CStorySound::VoiceAllowed(const char* name) const {
  const GameSettings& s = *settings_;
  if (!s.charVoiceUse[VoiceCharacterIndex(name)] || !s.voicePlay) return 0;
  if (s.mannerVoiceCut && eventPicture_ && *eventPicture_) return 0;
  if (s.skipRunning || (input_ && input_->count[IN_LEFT])) return 0;
  return 1;
}

void CStorySound::PlayVoice(const char* name, int force) {
  if (!name) name = "";
  if (!force) {
    port_->Stop(kChannelVoice);
    // Bounded copy: a longer name is remembered cut.
    FormatStringN(state_->voiceName, sizeof state_->voiceName, "%s", name);
  }
  if (!name[0]) return;
  char file[128];
  if (!Mp3Name(file, sizeof file, name)) return;
  const int volume = MasterShare(settings_->voiceVolume);
  if (SjisStartsWith(file, "SE\\")) {
    // A refused name plays nothing and leaves the voice channel stopped, as
    // a missing file does (a request that is not forced stopped it above).
    if (!StaysInFolder(name + 3)) {
      if (force) port_->Stop(kChannelVoice);
      return;
    }
    port_->Open(kChannelVoice, file + 3, effectFolder_, nullptr, volume, 0, 1);
    return;
  }
  if (!force && !VoiceAllowed(name)) return;
  port_->Open(kChannelVoice, file, voicePackPath_, voicePack_, volume, 0, 1);
}

void CStorySound::PlaySystemVoice(int character, int number) {
  char name[64];
  if (!FormatSystemVoiceName(name, sizeof name, character, number)) return;
  PlayVoice(name, 1);
}

void CStorySound::ApplyChannelVolumes(int kind, int percent) {
  const GameSettings& s = *settings_;
  const bool movie = port_->IsMoviePlaying() != 0;
  const bool track = state_->currentTrack >= 0, effect = state_->currentEffect >= 0;
  switch (kind) {
    case VOLUME_MASTER:
      if (movie)
        port_->SetVolume(kChannelMusic, s.movieVolume * percent / 100);
      else if (track)
        port_->SetVolume(kChannelMusic, s.musicVolume * percent / 100);
      if (effect) port_->SetVolume(kChannelEffect, s.seVolume * percent / 100);
      port_->SetVolume(kChannelVoice, s.voiceVolume * percent / 100);
      break;
    case VOLUME_MUSIC:
      if (!movie && track) port_->SetVolume(kChannelMusic, s.masterVolume * percent / 100);
      break;
    case VOLUME_VOICE:
      port_->SetVolume(kChannelVoice, s.masterVolume * percent / 100);
      break;
    case VOLUME_EFFECT:
      if (effect) port_->SetVolume(kChannelEffect, s.masterVolume * percent / 100);
      break;
    case VOLUME_MOVIE:
      if (movie) port_->SetVolume(kChannelMusic, s.masterVolume * percent / 100);
      break;
    default:
      break;
  }
}

void MixerSoundPort::Attach(CSoundMixer* mixer, const CScreen* const* screen) {
  mixer_ = mixer;
  screen_ = screen;
}

int MixerSoundPort::Open(int channel, const char* fileName, const char* folderOrPack, PackReader* pack, int volume,
                         int loop, int inMemory) {
  return mixer_ ? mixer_->OpenSound(channel, fileName, folderOrPack, pack, volume, 0, loop, 1, inMemory) : 0;
}

void MixerSoundPort::Stop(int channel) {
  if (mixer_) mixer_->StopChannel(channel);
}

void MixerSoundPort::FadeOut(int channel, int ms) {
  if (mixer_) mixer_->FadeOut(channel, ms);
}

void MixerSoundPort::SetVolume(int channel, int volume) {
  if (mixer_) mixer_->SetChannelVolume(channel, volume);
}

int MixerSoundPort::IsPlaying(int channel) { return mixer_ && mixer_->GetPlayPosition(channel) >= 0; }

int MixerSoundPort::IsMoviePlaying() { return screen_ && *screen_ && (*screen_)->IsMoviePlaying(); }

void CGameApp::PlayBgm(int word) { soundRequests.PlayBgm(word); }

void CGameApp::PlaySystemVoice(int character, int number) { soundRequests.PlaySystemVoice(character, number); }

void CGameApp::ApplyChannelVolumes(int kind, int percent) { soundRequests.ApplyChannelVolumes(kind, percent); }

void PlaySe(CGameApp* app, int number, int loop) { app->soundRequests.PlaySe(number, loop); }

void PlayVoice(CGameApp* app, const char* name, int force) { app->soundRequests.PlayVoice(name, force); }
