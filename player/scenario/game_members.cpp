// The game-member stage of the application object's construction and
// destruction.
#include <cstring>

#include "player/core/game_app.h"
#include "player/core/sprite.h"

int16_t g_ScriptVariables[kScriptVariables];

void CGameApp::InitGameMembers() {
  InitPlatformMembers();
  errorWord = 0;
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
  musicMode = {};
  interview = {};
  ending = {};
  systemData = {};
  // The seen and read block starts empty: both count words 0.
  systemData.block = static_cast<SeenReadBlock*>(LocalAlloc(LMEM_ZEROINIT, sizeof(SeenReadBlock)));
}

void CGameApp::FreeGameMembers() {
  if (story.buffer) LocalFree(story.buffer);
  story.buffer = nullptr;
  story.code = nullptr;
  if (saveSlots.thumbnail) LocalFree(saveSlots.thumbnail);
  saveSlots.thumbnail = nullptr;
  if (systemData.block) LocalFree(systemData.block);
  systemData.block = nullptr;
  FreePlatformMembers();
}
