// Stands in for the save and load screen: it never opens.
#include "player/core/game_app.h"

void CGameApp::OpenSaveLoad(int) {}
void CGameApp::BuildSaveLoadScreen(int) {}
int CGameApp::RunSaveLoad() { return 1; }
int CGameApp::RunLoadSelected() { return 1; }
