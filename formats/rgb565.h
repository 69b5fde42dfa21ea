// RGB565 pixels (red in the top five bits) packed from 8-bit channels; the
// low bits of each channel are dropped.  Colours come in two word orders:
// 0x00RRGGBB (pictures, drawing calls) and 0x00BBGGRR (the character records,
// as a Windows COLORREF).  Each has its own helper: mixing them up swaps red
// and blue.
#pragma once

#include <cstdint>

// Channels 0..255.
inline uint16_t PackRgb565(uint32_t red, uint32_t green, uint32_t blue) {
  return static_cast<uint16_t>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | (blue >> 3));
}

// A colour 0x00RRGGBB.
inline uint16_t Rgb565FromRgb(uint32_t rgb) { return PackRgb565((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A colour 0x00BBGGRR.
inline uint16_t Rgb565FromBgr(uint32_t bgr) { return PackRgb565(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }
