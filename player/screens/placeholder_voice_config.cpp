// Stands in for the voice configuration screen: it never opens.
#include "player/core/game_app.h"

void CGameApp::OpenVoiceConfig() {}
void CGameApp::BuildVoiceConfig() {}
int CGameApp::RunVoiceConfig() { return 1; }
void CGameApp::CloseVoiceConfig() {}
