// The scenario's share of the application object.  Placeholder: only the
// words the platform reads; the game-mode work extends this record.
#pragma once

#include <cstdint>

enum GameModeValue : int32_t {
  MODE_TITLE = 0,
  MODE_STORY = 99,
  MODE_QUIT = 999,
};

class CGameApp;

// Runs the handler of the current game mode for one frame.
void DispatchGameMode(CGameApp* app);

struct CGameMembers {
  uint32_t errorWord = 0;  // non-zero: the frame step closes the window
  int32_t gameMode = 0;
  int32_t phase = 0;
  int32_t saveAllowed = 1;
  int32_t loadAllowed = 1;
};
