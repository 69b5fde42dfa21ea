// Shared by the text tests, the fuzz target and the benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "player/core/font_list.h"
#include "player/core/text_window.h"

// Shift-JIS bytes of a UTF-8 literal.
std::string Sjis(const char* utf8);
// The record code of one character (first byte low).
uint16_t Code(const char* utf8);
