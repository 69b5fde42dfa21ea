// The story's stage: scene background, scrollable background, two character
// slots with their layer pictures, and the glides that move them.
#pragma once

#include <cstdint>

// One character slot; a character is drawn with its middle at 400 + x.
struct CharacterSlot {
  int32_t shown;
  char name[32];
  char layer[32];
  int32_t x, y;
  int32_t homeX, homeY;  // set by the character position instruction
};

struct GlideState {
  int32_t active;
  int32_t startX, startY;
  int32_t targetX, targetY;
  uint32_t startTime;
};

struct StageState {
  CharacterSlot characters[2];
  char backgroundName[32];
  int32_t backgroundX, backgroundY;
  char scrollName[128];
  int32_t viewportX, viewportY;  // position
  int32_t originX, originY;
  int32_t scrollX, scrollY;
  GlideState characterGlides[2];
  GlideState backgroundGlide;
};

// Tint words of character names ending in '@' and '*' (byte 0 red, 1 green,
// 2 blue, in percent).
constexpr uint32_t kTintAt = 0x5D564B;
constexpr uint32_t kTintStar = 0x64647A;
