// The application object's sound requests, on its mixer and settings.
#include "player/core/game_app.h"
#include "player/scenario/story_sound.h"

void CGameApp::BindSoundRequests() {
  storySound.Bind(MixerSoundPort(mixer), &settings, &input, nullptr, nullptr);
  storySound.SetPaths(musicPath, sePath, voicePackPath, voicePack);
}

void CGameApp::PlayBgm(int word) { storySound.PlayBgm(word); }

void CGameApp::PlaySystemVoice(int character, int number) { storySound.PlaySystemVoice(character, number); }

void CGameApp::ApplyChannelVolumes(int kind, int percent) { storySound.ApplyChannelVolumes(kind, percent); }

void PlaySe(CGameApp* app, int number, int loop) { app->storySound.PlaySe(number, loop); }

void PlayVoice(CGameApp* app, const char* name, int force) { app->storySound.PlayVoice(name, force); }
