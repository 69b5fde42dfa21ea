// The one-bit DIB section that glyphs are rendered into before they are
// blended onto the screen.
#pragma once

#include <windows.h>

// Top-down, size x size pixels (size a multiple of 8, rows size / 8 bytes),
// colour 0 black and 1 white.  Null when the section cannot be made.
inline HBITMAP MakeGlyphDibSection(int size, void** bits) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = size;
  info.header.biHeight = -size;
  info.header.biPlanes = 1;
  info.header.biBitCount = 1;
  info.header.biCompression = BI_RGB;
  info.header.biSizeImage = DWORD(size) * DWORD(size) / 8;
  info.header.biClrUsed = 2;
  info.colors[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
}
