// The mode table and the dispatch of one frame to the current mode.
#include "player/scenario/game_mode.h"

#include "player/app/game_app.h"

namespace {

template <int (CGameApp::*Run)()>
int RunMember(CGameApp* app) {
  return (app->*Run)();
}

}  // namespace

ModeEntry CGameApp::modeTable[kModeCount] = {
    {MODE_TITLE, &RunMember<&CGameApp::RunTitle>},
    {MODE_MAP, &RunMember<&CGameApp::RunMapMove>},
    {MODE_ALARM, &RunMember<&CGameApp::RunAlarmChoice>},
    {MODE_MINIGAME, &RunMember<&CGameApp::RunObakeGame>},
    {MODE_QUICK_OPTION, &RunMember<&CGameApp::RunQuickOption>},
    {MODE_CONFIRM, &RunMember<&CGameApp::RunConfirm>},
    {MODE_SYSTEM_CONFIG, &RunMember<&CGameApp::RunSystemConfig>},
    {MODE_MASCOT_VOICE, &RunMember<&CGameApp::RunMascotVoiceScreen>},
    {MODE_VOICE_CONFIG, &RunMember<&CGameApp::RunVoiceConfig>},
    {MODE_SAVE_LOAD, &RunMember<&CGameApp::RunSaveLoad>},
    {MODE_SAVE_ICON, &RunMember<&CGameApp::RunSaveIconScreen>},
    {MODE_LOAD, &RunMember<&CGameApp::RunLoadSelected>},
    {MODE_BACK_TO_TITLE, &RunMember<&CGameApp::RunBackToTitle>},
    {MODE_CG, &RunMember<&CGameApp::RunCgMode>},
    {MODE_SCENE_REPLAY, &RunMember<&CGameApp::RunSceneReplay>},
    {MODE_MUSIC, &RunMember<&CGameApp::RunMusicMode>},
    {MODE_INTERVIEW, &RunMember<&CGameApp::RunInterview>},
    {MODE_STORY, &RunMember<&CGameApp::RunStory>},
    {MODE_QUIT, nullptr},
};

ModeHandler CGameApp::FindModeHandler(int mode) {
  for (const ModeEntry& e : modeTable)
    if (e.mode == mode) return e.handler;
  return nullptr;
}

void CGameApp::DispatchMode() {
  if (ModeHandler run = FindModeHandler(gameMode)) run(this);
}
