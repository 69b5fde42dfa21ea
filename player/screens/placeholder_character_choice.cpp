// Stands in for the character choice screens: they never open.
#include "player/core/game_app.h"

void CGameApp::OpenMascotVoiceScreen() {}
int CGameApp::RunMascotVoiceScreen() { return 1; }
void CGameApp::OpenSaveIconScreen() {}
int CGameApp::RunSaveIconScreen() { return 1; }
