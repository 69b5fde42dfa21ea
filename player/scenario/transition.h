// Screen transitions.  Placeholder interface of what the composition calls.
#pragma once

#include <cstdint>

class CTransition {
 public:
  CTransition(int width, int height);
  void FreeMask();
  // Draws one step of the transition over destination; 0 once it is over.
  int Apply(uint16_t* destination, const uint16_t* source);
};
