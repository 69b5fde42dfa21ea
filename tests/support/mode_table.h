// Test support: tests run their own handler in place of a mode's by
// replacing its entry in the application's mode table.
#pragma once

#include "player/app/game_app.h"

// Puts handler in the entry of mode and returns the handler it replaced.
inline ModeHandler ReplaceModeHandler(int mode, ModeHandler handler) {
  for (ModeEntry& e : CGameApp::modeTable) {
    if (e.mode != mode) continue;
    ModeHandler old = e.handler;
    e.handler = handler;
    return old;
  }
  return nullptr;
}

// Replaces a mode's handler for the life of the object.
class ScopedModeHandler {
 public:
  ScopedModeHandler(int mode, ModeHandler handler) : mode_(mode), old_(ReplaceModeHandler(mode, handler)) {}
  ~ScopedModeHandler() { ReplaceModeHandler(mode_, old_); }
  ScopedModeHandler(const ScopedModeHandler&) = delete;
  ScopedModeHandler& operator=(const ScopedModeHandler&) = delete;

 private:
  int mode_;
  ModeHandler old_;
};
