// Stands in for the ending roll and slides: each finishes at once.
#include "player/core/game_app.h"

int CGameApp::RunEndingRoll(int) { return 1; }
int CGameApp::RunEndingSlides(int) { return 1; }
