// The handheld picture file (".rbp"): a 36-byte header and the pixel body.
// Magic "RBP5" or "RBP7" ("RBP1": alpha stored in six bits), "KBP1" for map
// chips.  Numbers are little-endian.
#pragma once

#include <windows.h>

constexpr DWORD RBP_HEADER_SIZE = 36;

enum RbpPixelType : DWORD {
  RBP_TYPE_RGB565_ALPHA = 1,  // RGB565 and an alpha byte per pixel
  RBP_TYPE_RGB565 = 13,
  RBP_TYPE_JBP1 = 30,        // a JBP1 stream
  RBP_TYPE_JBP1_ALPHA = 32,  // a JBP1 stream and an LZSS-coded alpha plane
  RBP_TYPE_PALETTE = 80,     // 256 palette entries, then one index byte per pixel
  RBP_TYPE_GREY = 90,        // one grey byte per pixel
};

// Offset of the index bytes of a palette picture: its 256 four-byte entries
// follow the header.
constexpr DWORD RBP_PALETTE_PIXELS = RBP_HEADER_SIZE + 256 * 4;

struct RbpHeader {
  char magic[4];
  DWORD type;  // RbpPixelType
  DWORD width;
  DWORD height;
  DWORD headerSize;   // offset of the body from the start of the file
  SHORT sourceWidth;  // size at desktop scale (design space for the player)
  SHORT sourceHeight;
  SHORT valueA;
  SHORT valueB;
  DWORD jbp1Length;
  DWORD alphaLength;
};

void StoreRbpHeader(BYTE* dst, const RbpHeader& header);
// FALSE when size is below the 36 header bytes.
BOOL LoadRbpHeader(const BYTE* src, DWORD size, RbpHeader* header);
