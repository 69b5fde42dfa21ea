// The story's sound requests: music, sound effects and voices by number or
// name, on the mixer's channels 0, 10 and 20.
#pragma once

#include <cstdint>

constexpr int kChannelMusic = 0;
constexpr int kChannelEffect = 10;
constexpr int kChannelVoice = 20;

struct SoundRequestState {
  int32_t currentTrack;  // -1 none
  int32_t trackMode;     // 1 looping, 0 once
  int32_t currentEffect; // -1 none
  int32_t effectLoop;
  char voiceName[64];
};

class CGameApp;

void PlaySe(CGameApp* app, int number, int loop);
void PlayVoice(CGameApp* app, const char* name, int force);
