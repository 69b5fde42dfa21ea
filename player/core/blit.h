// Blit and blend kernels into the RGB565 back buffer.  The caller clips;
// the kernels never do.  Level 256 is opaque and takes the plain kernel.
#pragma once

#include <windows.h>

#include <cstdint>

class CPicture;

// rect: for blits the source rectangle in picture pixels; for fills only its
// width and height count.
int BlitNormal(const CPicture* picture, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level);
int BlitAdd(const CPicture* picture, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level);
int FillColor(uint32_t color, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level);
int FillAdd(uint32_t color, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level);

// The alpha, additive and level kernels run SSE2 row loops where the
// processor has them (x86-64), else scalar ones with the same results.
// on = false forces the scalar loops (the tests compare the two); returns
// whether the vector loops exist.
bool SetVectorBlendRows(bool on);

// The 6-bit blend of two RGB565 pixels with weight a (0..64) toward s.
inline uint16_t Blend565(uint32_t d, uint32_t s, uint32_t a) {
  uint32_t rb = (((d & 0xF81F) * (64 - a) + (s & 0xF81F) * a) >> 6) & 0xF81F;
  uint32_t g = (((d & 0x07E0) * (64 - a) + (s & 0x07E0) * a) >> 6) & 0x07E0;
  return uint16_t(rb | g);
}
