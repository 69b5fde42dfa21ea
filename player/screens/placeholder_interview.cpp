// Stands in for the interviews: they show nothing and play nothing.
#include "player/core/game_app.h"

void CGameApp::BuildInterview(int, int) {}
int CGameApp::RunInterview() { return 1; }
void CGameApp::PlayInterviewVoice(int) {}
