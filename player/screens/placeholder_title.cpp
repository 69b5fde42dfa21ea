// Stands in for the title screen: it shows nothing and waits.
#include "player/core/game_app.h"

int CGameApp::RunTitle() { return 1; }
int CGameApp::BuildTitleMenu(int, int, int) { return 0; }
