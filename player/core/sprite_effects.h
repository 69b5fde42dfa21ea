// Sprite effect codes and the table that sorts them into families.
#pragma once

#include <cstdint>

#include "player/core/sprite.h"

// Codes 1..191; code + 128 is, in most families, the removing variant.
using SpriteEffectCode = int32_t;
constexpr SpriteEffectCode kEffectFadeIn = 1;
constexpr SpriteEffectCode kEffectFadeOut = 129;

enum class EffectFamily : uint8_t {
  Fade,           // 1 / 129
  Blinds,         // bands of 8 opening one line a step, two bands a step apart
  Staggered,      // bands of p1 opening p3 + 1 lines a step, p2 bands a step apart
  FadingStrips,   // strips fading one after another
  FadingTiles,    // square tiles fading along a diagonal
  AllBands,       // bands of 8 opening together
  Slide,          // in or out over the sprite's own size
  Wipe,           // strips from alternate sides
  Wave,           // one row per source line on a fading cosine
  Mosaic,         // blend mode 99 with a shrinking cell size
  SecondPicture,  // fade in through the auxiliary slot
  Brightness,     // ramp of the second level
  Dissolve,       // random 8 x 8 tiles of the screen taken away
};

// What part of its band a band piece shows (Blinds, Staggered, AllBands).
enum : uint8_t { kShowFirst = 0, kShowLast, kHideFirst, kHideLast };

struct SpriteEffectRule {
  uint8_t code;
  EffectFamily family;
  uint8_t axis;     // 0 rows, 1 columns
  uint8_t order;    // 0 forward, 1 reverse; tiles: which start formula
  uint8_t variant;  // band part, fade out (1), slide direction, ...
  uint8_t removing;
};

// Null for codes that start nothing.
const SpriteEffectRule* FindEffectRule(int code);
// Columns and rows of the piece grid for a w x h sprite; returns their product.
int EffectGridSize(const SpriteEffectRule& rule, int w, int h, int p1, int* columns, int* rows);
