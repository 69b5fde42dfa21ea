// Stands in for the system configuration screen: it never opens.
#include "player/core/game_app.h"

void CGameApp::OpenSystemConfig() {}
void CGameApp::BuildSystemConfig() {}
int CGameApp::RunSystemConfig() { return 1; }
