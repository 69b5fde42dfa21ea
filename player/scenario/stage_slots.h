// Picture and sprite slots as every screen uses them, in canvas units, and
// the fixed roles of the stage's slots.
#pragma once

#include <cstdint>

// Slot roles (picture slot and sprite slot alike unless said).
constexpr int kSlotScreenCopy = 0;          // copy of the screen for cross-fades
constexpr int kSlotScrollBackground = 21;   // drawn into the scene background
constexpr int kSlotLayer = 22;              // + character slot 0 or 1
constexpr int kSlotCharacter = 24;          // + character slot 0 or 1
constexpr int kSlotBackground = 28;         // scene background
constexpr int kSlotWeather = 253;           // weather particles (picture)
constexpr int kSlotChoiceTexts = 254;       // choice texts (picture)
constexpr int kSlotMessageWindow = 255;     // message window (picture)
constexpr int kSpriteChoiceFirst = 480;     // choice plates, texts and highlight: 480-489
constexpr int kSpriteWindowFirst = 500;     // message window parts: 500-510

// Bits of the application's error word; the frame step ends the program
// when the word is not 0.
constexpr uint32_t kErrorPictureLoad = 0x80000000u;
constexpr uint32_t kErrorPictureSlot = 0x00800000u;

inline bool IsPictureSlot(int n) { return n >= 0 && n < 256; }
inline bool IsSpriteSlot(int n) { return n >= 0 && n < 512; }
