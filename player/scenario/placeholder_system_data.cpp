// Stands in for system.dat, the seen lists and the read flags: nothing is
// remembered, read or written.
#include "player/core/game_app.h"
#include "player/scenario/system_data.h"

void CGameApp::WriteSystemData() {}
void CGameApp::ReadSystemData() {}
void CGameApp::ApplyEventPictureRule() {}
int AddSeenName(CGameApp*, int, const char*) { return 0; }
int TestReadFlag(CGameApp*, const char*, int) { return 0; }
ReadFlagRecord* SetReadFlag(CGameApp*, const char*, int) { return nullptr; }
const SceneRecord* LookupSceneRecord(const char*) { return nullptr; }
