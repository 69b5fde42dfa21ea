// Stands in for the story's sound requests: nothing is played or recorded.
#include "player/core/game_app.h"
#include "player/scenario/sound_requests.h"

void CGameApp::PlayBgm(int) {}
void CGameApp::PlaySystemVoice(int, int) {}
void CGameApp::ApplyChannelVolumes(int, int) {}
void PlaySe(CGameApp*, int, int) {}
void PlayVoice(CGameApp*, const char*, int) {}
