// Stands in for the yes/no confirmation: it never opens.
#include "player/core/game_app.h"

void CGameApp::OpenConfirm(int) {}
void CGameApp::BuildConfirmDialog() {}
int CGameApp::RunConfirm() { return 1; }
