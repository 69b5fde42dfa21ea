// Screen transitions: soft wipes through a mask and tile transitions through
// the rule picture, drawn over the new scene from the captured old screen.
#pragma once

#include <cstdint>

class PackReader;

class CTransition {
 public:
  CTransition(int width, int height);
  CTransition(const CTransition&) = delete;
  CTransition& operator=(const CTransition&) = delete;

  // Frees the mask (before the object is deleted).
  void FreeMask();
  // Generates a mask: kind 1 horizontal wipe, 2 diagonal wipe; 0 when it
  // cannot be allocated.
  int MakeMask(int kind, int durationMs, int mode);
  // Start time = now; 0 when there is no mask.
  int Start();
  // Draws one step over destination; 0 once the time is over.
  int Apply(uint16_t* destination, const uint16_t* source);
};

// Loads the rule picture and sets up the tile mode 10 + kind; 1 on success.
int LoadRule(CTransition* transition, int kind, const char* name, const char* packPath, PackReader* reader,
             int durationMs);

// The game object's words of the screen effects.
struct EffectState {
  uint32_t startTime;
  int32_t shakeSwings;
};
