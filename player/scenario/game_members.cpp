// The game-member stage of the application object's construction and
// destruction.
#include <cstring>

#include "player/app/game_app.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/media/sound_mixer.h"
#include "player/media/transition.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"

int16_t g_ScriptVariables[kScriptVariables];

namespace {

void ClearGameVariables() { std::memset(g_ScriptVariables, 0, kGameVariables * sizeof g_ScriptVariables[0]); }

// The per-play-through words of the story, the stage and the weather.
void ClearPlayThrough(CGameApp* app) {
  const uint32_t loads = app->story.loadCount;
  app->story = {};
  app->story.loadCount = loads;
  app->stage = {};
  app->weather = {};
  app->sound.voiceName[0] = 0;
  // The message and speaker a choice shows belong to the play-through too.
  app->message.text[0] = 0;
  app->message.speaker[0] = 0;
  ClearGameVariables();
}

}  // namespace

void CGameApp::InitGameMembers() {
  InitPlatformMembers();
  errorWord = 0;
  damagedDataTold = 0;
  gameMode = MODE_TITLE;
  phase = 0;
  saveAllowed = 1;
  loadAllowed = 1;
  story = {};
  std::memset(&saveState, 0, sizeof saveState);
  std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  sound = {};
  sound.currentTrack = -1;
  sound.currentEffect = -1;
  soundRequests.Bind(&sound, &settings, &input, &systemData.eventPicture);
  soundRequests.MixerPort().Attach(mixer, &screen);
  soundRequests.SetPaths(musicPath, sePath, voicePackPath, voicePack);
  stage = {};
  message = {};
  message.highlightedButton = -1;
  saveSlots = {};
  saveSlots.newest = -1;
  saveSlots.newestAuto = -1;
  effect = {};
  weather = {};
  title = {};
  quickOption = {};
  confirm = {};
  systemConfig = {};
  saveLoad = {};
  voiceConfig = {};
  characterChoice = {};
  cgMode = {};
  sceneReplay = {};
  map = {};
  alarm = {};
  obake = {};
  musicMode = {};
  interview = {};
  ending = {};
  systemData = {};
  // The seen and read block starts empty: both count words 0.
  systemData.block = static_cast<SeenReadBlock*>(LocalAlloc(LMEM_ZEROINIT, sizeof(SeenReadBlock)));
}

void CGameApp::FreeGameMembers() {
  script.Free();
  if (saveSlots.thumbnail) LocalFree(saveSlots.thumbnail);
  saveSlots.thumbnail = nullptr;
  if (systemData.block) LocalFree(systemData.block);
  systemData.block = nullptr;
  FreePlatformMembers();
}

void CGameApp::NewGame() {
  script.Free();
  ++story.loadCount;
  shakeX = shakeY = 0;
  sound.currentEffect = -1;
  FreeThumbnail();
  ClearPlayThrough(this);
  gameMode = MODE_STORY;
  phase = 0;
  BuildMessageWindow();
  std::memset(&saveState, 0, sizeof saveState);
  SetSaveLoadEnabled(menu, &settings, &saveAllowed, loadAllowed, 1);
}

void CGameApp::LeaveGame() {
  SetSaveLoadEnabled(menu, &settings, &saveAllowed, loadAllowed, 0);
  if (screen && screen->IsMoviePlaying()) screen->StopMovie(mixer);
  if (mixer) mixer->StopAll();
  if (transition) {
    transition->FreeMask();
    delete transition;
    transition = nullptr;
  }
  DeleteAllSprites();
  FreeAllPictureSlots();
  ReleaseTextWindow();
  message.windowShown = 0;
  shakeX = shakeY = 0;
  std::memset(&saveState, 0, sizeof saveState);
  FreeThumbnail();
  StopParticles();
  script.Free();
  ++story.loadCount;
  sound.currentTrack = -1;
  sound.trackMode = 0;
  sound.currentEffect = -1;
  sound.effectLoop = 0;
  ClearPlayThrough(this);
  InvalidateVirtualRect(0, 0, 800, 600);
  gameMode = MODE_TITLE;
  phase = 5;
}

int CGameApp::RunBackToTitle() {
  InvalidateVirtualRect(0, 0, 800, 600);
  if (transition) return 1;
  LeaveGame();
  return 1;
}
