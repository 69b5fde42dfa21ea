// The handheld picture file (".rbp"): a 36-byte header and the pixel body.
// Magic "RBP5" or "RBP7" ("RBP1": alpha stored in six bits), "KBP1" for map
// chips.  Numbers are little-endian.
#pragma once

#include <cstdint>

constexpr uint32_t RBP_HEADER_SIZE = 36;

enum RbpPixelType : uint32_t {
  RBP_TYPE_RGB565_ALPHA = 1,  // RGB565 and an alpha byte per pixel
  RBP_TYPE_RGB565 = 13,
  RBP_TYPE_JBP1 = 30,        // a JBP1 stream
  RBP_TYPE_JBP1_ALPHA = 32,  // a JBP1 stream and an LZSS-coded alpha plane
  RBP_TYPE_PALETTE = 80,     // 256 palette entries, then one index byte per pixel
  RBP_TYPE_GREY = 90,        // one grey byte per pixel
};

// Offset of the index bytes of a palette picture: its 256 four-byte entries
// follow the header.
constexpr uint32_t RBP_PALETTE_PIXELS = RBP_HEADER_SIZE + 256 * 4;

struct RbpHeader {
  char magic[4];
  uint32_t type;  // RbpPixelType
  uint32_t width;
  uint32_t height;
  uint32_t headerSize;  // offset of the body from the start of the file
  int16_t sourceWidth;  // size at desktop scale (design space for the player)
  int16_t sourceHeight;
  int16_t valueA;
  int16_t valueB;
  uint32_t jbp1Length;
  uint32_t alphaLength;
};

void StoreRbpHeader(uint8_t* dst, const RbpHeader& header);
// 0 when size is below the 36 header bytes, else 1.
int32_t LoadRbpHeader(const uint8_t* src, uint32_t size, RbpHeader* header);
