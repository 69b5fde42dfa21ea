// Stands in for the sprite effects: no effect ever starts, so a sprite is
// always drawn as itself.
#include "player/core/display.h"
#include "player/core/sprite.h"

int CSprite::StartEffect(int, int, int, int, int) {
  effectStart = NowMs();
  return 0;
}

int CSprite::StepEffect() {
  effectActive = 0;
  FreePieces();
  return 1;
}

int CSprite::EndEffect() {
  if (!effectActive) return 0;
  effectActive = 0;
  FreePieces();
  return 1;
}
