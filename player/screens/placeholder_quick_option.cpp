// Stands in for the quick option menu: it never opens.
#include "player/core/game_app.h"

void CGameApp::OpenQuickOption() {}
void CGameApp::BuildQuickOption() {}
int CGameApp::RunQuickOption() { return 1; }
