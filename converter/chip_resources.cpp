// The two chip bitmaps (resources 135 and 136 of type "Binary"): 128 x 128
// pixels, 8-bit palette of 8 colours, one for each screen size. They are
// drawn at compile time: a sheet of 16 x 16 chips on the magenta key colour,
// each chip a framed square whose colour walks the palette, so a person can
// tell at a glance that the sheet arrived whole and the right way up.
#include "converter/chip_resources.h"

#include <velmi_platform.h>

#include <array>
#include <cstdint>

#include "formats/le_bytes.h"

namespace {

constexpr int kSide = 128;
constexpr int kColours = 8;
constexpr int kPixelOffset = 54 + 4 * kColours;
constexpr int kFileSize = kPixelOffset + kSide * kSide;

using ChipImage = std::array<uint8_t, kFileSize>;

// inset: margin of a chip's square inside its 16 x 16 cell (smaller chips
// for the small screen).
constexpr ChipImage DrawChips(int inset) {
  ChipImage b{};
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(b.data() + 2, kFileSize);
  PutLe32(b.data() + 10, kPixelOffset);
  PutLe32(b.data() + 14, 40);
  PutLe32(b.data() + 18, kSide);
  PutLe32(b.data() + 22, kSide);
  b[26] = 1;
  b[28] = 8;
  PutLe32(b.data() + 34, kSide * kSide);
  PutLe32(b.data() + 46, kColours);
  // Palette B, G, R, 0: magenta key, white, black, red, green, blue, yellow, grey.
  constexpr uint8_t palette[kColours][3] = {{255, 0, 255}, {255, 255, 255}, {0, 0, 0},     {0, 0, 255},
                                            {0, 255, 0},   {255, 0, 0},     {0, 255, 255}, {128, 128, 128}};
  for (int i = 0; i < kColours; ++i) {
    for (int c = 0; c < 3; ++c) b[54 + 4 * i + c] = palette[i][c];
  }
  // Rows bottom-up; image row y is stored row 127 - y.
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int cx = x % 16, cy = y % 16;
      const int chip = (y / 16) * 8 + x / 16;
      uint8_t index = 0;
      if (cx >= inset && cx < 16 - inset && cy >= inset && cy < 16 - inset) {
        const bool frame = cx == inset || cx == 15 - inset || cy == inset || cy == 15 - inset;
        index = frame ? 2 : static_cast<uint8_t>(1 + (chip % 7) == 2 ? 7 : 1 + (chip % 7));
      }
      // A white mark in the sheet's top-left corner shows its orientation.
      if (x < 3 && y < 3) index = 1;
      b[kPixelOffset + (kSide - 1 - y) * kSide + x] = index;
    }
  }
  return b;
}

constexpr ChipImage kChipSmall = DrawChips(3);  // 320 x 240 screen
constexpr ChipImage kChipLarge = DrawChips(1);  // 640 x 480 screen

}  // namespace

void RegisterChipResources() {
  static const bool registered = [] {
    VelmiRegisterResource("Binary", MAKEINTRESOURCEA(135), kChipSmall.data(), DWORD(kChipSmall.size()));
    VelmiRegisterResource("Binary", MAKEINTRESOURCEA(136), kChipLarge.data(), DWORD(kChipLarge.size()));
    return true;
  }();
  (void)registered;
}
