// Stands in for the weather particles: none ever fall.
#include "player/core/game_app.h"

void CGameApp::StartParticles(int, int, int, int, int) {}
void CGameApp::StopParticles() {}
void CGameApp::StepParticles() {}
int CGameApp::CountActiveParticles() const { return 0; }
void CGameApp::SpawnPetal() {}
void CGameApp::SpawnSnowflake() {}
void CGameApp::SpawnPetalOrSnow() {}
