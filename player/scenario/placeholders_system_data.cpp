// Stands in for the seen lists and the event-picture rule: nothing is
// remembered and every background shows as loaded.
#include "player/core/game_app.h"
#include "player/scenario/story_system_data.h"

int AddSeenName(CGameApp*, int, const char*) { return 0; }

void CGameApp::ApplyEventPictureRule() {}
