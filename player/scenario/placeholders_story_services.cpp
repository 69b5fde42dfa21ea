// Stands in for the story's script state, the read flags, the save files and
// the quick option menu: no script, nothing read, nothing saved.
#include "player/core/game_app.h"
#include "player/scenario/story_services.h"

const char* StoryScriptName(const CGameApp*) { return ""; }
int StoryReadBlock(const CGameApp*) { return 0; }
int TestReadFlag(CGameApp*, const char*, int) { return 0; }
void SetReadFlag(CGameApp*, const char*, int) {}
int AutoSave(CGameApp*) { return 0; }
void CGameApp::SnapshotSaveState() {}
void CGameApp::OpenQuickOption() {}
