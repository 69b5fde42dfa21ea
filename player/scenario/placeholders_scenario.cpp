// Placeholders for the scenario, sound and movie work: each body does the
// least that keeps the platform running and nothing harmful.  The game-mode,
// stage, save-data, mixer, overlay, transition and movie work replace them.
#include "player/core/dirty_list.h"
#include "player/core/game_app.h"
#include "player/core/sprite.h"
#include "player/scenario/game_services.h"
#include "player/scenario/movie_player.h"
#include "player/scenario/sound_mixer.h"
#include "player/scenario/transition.h"

// Game members: only the words the platform reads.
void CGameApp::InitGameMembers() {
  InitPlatformMembers();
  errorWord = 0;
  gameMode = MODE_TITLE;
  phase = 0;
  saveAllowed = 1;
  loadAllowed = 1;
}

void CGameApp::FreeGameMembers() { FreePlatformMembers(); }

// No mode handlers yet: every mode runs nothing.
void DispatchGameMode(CGameApp*) {}

void CGameApp::WriteSystemData() {}
void CGameApp::ReadSystemData() {}

int FillSaveMenus(CPopupMenu*, int, int, const char*, int, int*, int* newestOut) {
  if (newestOut) *newestOut = -1;
  return -1;
}

int FillAutoSaveMenu(CPopupMenu*, int, const char*, int*, int* newestOut) {
  if (newestOut) *newestOut = -1;
  return -1;
}

CSoundMixer::CSoundMixer() = default;
CSoundMixer::~CSoundMixer() { CloseOutput(); }
unsigned CSoundMixer::OpenOutput(unsigned rate) { return rate == 44100 ? 44100 : 22050; }
void CSoundMixer::CloseOutput() {}
void CSoundMixer::Suspend() {}
void CSoundMixer::Resume() {}
void CSoundMixer::SetPreferredCodec(int) {}
void CSoundMixer::SetDeviceVolume(uint32_t) {}
void CSoundMixer::StopChannel(int) {}
void CSoundMixer::StopAll() {}

int LoadMp3Overlay() { return 1; }
void UnloadMp3Overlay() {}
int LoadOggOverlay() { return 1; }
void UnloadOggOverlay() {}

int CMoviePlayer::Step() { return 0; }

CTransition::CTransition(int, int) {}
void CTransition::FreeMask() {}
int CTransition::Apply(uint16_t*, const uint16_t*) { return 0; }
