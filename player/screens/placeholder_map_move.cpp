// Stands in for the map movement and the alarm choice: they show nothing.
#include "player/core/game_app.h"

int CGameApp::RunMapMove() { return 1; }
void CGameApp::BuildAlarmScreen() {}
int CGameApp::RunAlarmChoice() { return 1; }
