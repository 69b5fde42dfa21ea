// Stands in for the picture gallery: it shows nothing.
#include "player/core/game_app.h"

void CGameApp::BuildCgMode(int, int) {}
int CGameApp::RunCgMode() { return 1; }
