// Solid one-colour Shift-JIS text without anti-aliasing, written in the
// rotated (portrait) layout of the frame buffer, for the pop-up menu and
// the movie captions, which draw outside the composition.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/display.h"

class CGlyphWriter {
 public:
  CGlyphWriter();
  ~CGlyphWriter();
  CGlyphWriter(const CGlyphWriter&) = delete;
  CGlyphWriter& operator=(const CGlyphWriter&) = delete;

  int CreateFont();
  int CreateDib();
  // target: a screen-sized buffer in the portrait layout, or null for the
  // frame buffer.  x, y in pixels of the landscape screen; grey 0..255; a
  // size of 1 or more changes the font size (at most 32, the glyph DIB).
  void DrawSjisText(uint16_t* target, const char* text, int x, int y, int grey, int size);

  RawFrameBufferDesc frameBuffer;
  HFONT font;
  int32_t fontSize;
  void* dibBits;
  HBITMAP dib;
  HDC memoryDc;
};
