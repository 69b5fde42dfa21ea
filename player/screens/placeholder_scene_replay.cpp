// Stands in for the scene replay: it shows nothing.
#include "player/core/game_app.h"

void CGameApp::BuildSceneReplay(int, int) {}
int CGameApp::RunSceneReplay() { return 1; }
