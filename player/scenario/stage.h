// The story's stage: scene background, scrollable background, two character
// slots with their layer pictures, and the glides that move them.
#pragma once

#include <cstdint>

// Slot roles of the stage (picture and sprite slot alike unless said).
constexpr int kSlotScreenCopy = 0;
constexpr int kSlotScrollBackground = 21;
constexpr int kSlotLayer = 22;      // + character slot
constexpr int kSlotCharacter = 24;  // + character slot
constexpr int kSlotBackground = 28;
constexpr int kSlotWeather = 253;
constexpr int kSlotChoiceTexts = 254;
constexpr int kSlotMessageWindow = 255;

// Slot numbers of the tables; any other is refused.
inline bool IsPictureSlot(int n) { return n >= 0 && n < 256; }
inline bool IsSpriteSlot(int n) { return n >= 0 && n < 512; }

// Tint words of character names ending in '@' and '*' (byte 0 red, 1 green,
// 2 blue, in percent).
constexpr uint32_t kTintAt = 0x5D564B;
constexpr uint32_t kTintStar = 0x64647A;

// One character slot; its layout is also the save file's.
struct CharacterSlot {
  int32_t shown;
  char name[32];
  char layer[32];
  int32_t x, y;
  int32_t homeX, homeY;  // set by the character position instruction; drawn with its middle at 400 + x
};
static_assert(sizeof(CharacterSlot) == 84, "character record as saved");

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
  int32_t viewportX, viewportY;
  int32_t originX, originY;
  int32_t scrollX, scrollY;
  GlideState characterGlides[2];
  GlideState backgroundGlide;
  uint32_t pictureLoadTime;  // NowMs of the last LoadPictureSlot
};
