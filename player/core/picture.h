// The one picture record of the player and the .rbp loader.
#pragma once

#include <windows.h>

#include <cstdint>

#include "formats/rgb565.h"

class PackReader;
class CScreen;

class CPicture {
 public:
  CPicture();
  ~CPicture() = default;  // owners call FreePixels first, as the slots do

  void FreePixels();
  uint16_t* GetPixels() const { return reinterpret_cast<uint16_t*>(pixels); }
  uint8_t* GetAlpha() const { return alpha; }

  // kind 2: plain RGB565; any other kind adds an alpha plane.
  static int CreateBlank(CPicture* picture, uint32_t width, uint32_t height, uint8_t fill, int kind);
  static int CaptureScreen(CPicture* picture, const CScreen* screen);
  static void TintPercent(CPicture* picture, uint32_t percent);
  static void Darken(CPicture* picture, uint32_t factor);
  static void AlphaCompose(CPicture* target, const CPicture* source, int tx, int ty, int sx, int sy, int width,
                           int height);

  uint32_t width;
  uint32_t height;
  int32_t canvasWidth;
  int32_t canvasHeight;
  char name[64];
  uint32_t flags;
  uint32_t depth;    // 8 palette, 16 RGB565, 24 RGB565 + alpha plane, 32 empty
  uint8_t* pixels;   // u16 rows for 16/24, index bytes for 8
  uint8_t* palette;  // depth 8: 256 entries of 4 bytes (blue, green, red, unused)
  uint8_t* alpha;    // depth 24: one byte a pixel
  uint8_t* owned;    // the allocation behind pixels
  uint8_t* mask;     // optional plane laid over the target
  uint32_t maskPitch;
};

// The source path is a folder when it ends with '\', else a pack read
// through the reader.
int LoadPicture(CPicture* picture, const char* name, const char* sourcePath, int bit31, PackReader* reader);
BYTE* ReadRbpFile(const char* sourcePath, const char* name, PackReader* reader, int* shared, DWORD* size);

BYTE* MakeThumbnailBmp(const uint16_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint32_t thumbWidth,
                       uint32_t thumbHeight, DWORD* sizeOut);
int ReadSaveHeader(CPicture* picture, const char* fileName, const char* folder, char* scriptNameOut,
                   size_t scriptNameCapacity, uint32_t* iconOut, uint32_t* stampOut);
uint32_t PackDateTime(const char* stamp);

// 8-bit forms of an RGB565 pixel (PackRgb565 packs them back).
inline uint32_t Red8(uint32_t p) { return (p >> 8) & 0xF8; }
inline uint32_t Green8(uint32_t p) { return (p >> 3) & 0xFC; }
inline uint32_t Blue8(uint32_t p) { return (p & 0x1F) << 3; }
