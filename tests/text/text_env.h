// Shared by the text tests, the fuzz target and the benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "player/core/font_list.h"
#include "player/core/text_window.h"
#include "tests/text/sjis_text.h"

// The record code of one character (first byte low).
uint16_t Code(const char* utf8);

// The Ce42 build on the 800 x 600 canvas, shown on a w x h screen.
void UseScreen(int w, int h);
// The game's message window: text area, 28-pixel font, position, spacing,
// 24 characters by 3 lines, white.
void UseMessageWindowSettings(CTextWindow& window);
