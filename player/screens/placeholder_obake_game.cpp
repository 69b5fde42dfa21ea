// Stands in for the haunted-house mini game: it shows nothing.
#include "player/core/game_app.h"

int CGameApp::RunObakeGame() { return 1; }
