// Stands in for the music mode: it shows nothing.
#include "player/core/game_app.h"

void CGameApp::BuildMusicMode(int, int) {}
int CGameApp::RunMusicMode() { return 1; }
