// Stands in for the sound mixer: the output opens at the rate asked for and
// no sound ever plays.
#include "player/scenario/sound_mixer.h"

CSoundMixer::CSoundMixer() = default;
CSoundMixer::~CSoundMixer() { CloseOutput(); }
unsigned CSoundMixer::OpenOutput(unsigned rate) { return rate == 44100 ? 44100 : 22050; }
void CSoundMixer::CloseOutput() {}
void CSoundMixer::Suspend() {}
void CSoundMixer::Resume() {}
void CSoundMixer::SetPreferredCodec(int) {}
void CSoundMixer::SetDeviceVolume(uint32_t) {}
int CSoundMixer::OpenSound(int, const char*, const char*, PackReader*, int, int, int, int, int) { return 0; }
int CSoundMixer::Play(int, int) { return 0; }
void CSoundMixer::StopChannel(int) {}
void CSoundMixer::StopAll() {}
int CSoundMixer::FadeIn(int, int) { return 1; }
int CSoundMixer::FadeOut(int, int) { return 1; }
SoundChannel* CSoundMixer::GetChannel(int) { return nullptr; }
int CSoundMixer::SetChannelVolume(SoundChannel*, int) { return 1; }
int CSoundMixer::GetPlayPosition(int) { return -1; }
