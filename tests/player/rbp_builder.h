// Small writers of handheld pictures for the player's tests: the converter's
// own writers where it writes the type, and the two types only the player
// reads (80 palette, 90 grey).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Type 13 (RGB565) through the converter's writer, from rows of pixels.
Bytes MakeRbp565(int w, int h, const std::vector<uint16_t>& pixels, int canvasW, int canvasH);
// Type 1 with magic "KBP1" (6-bit alpha) or "RBP5" (8-bit alpha).
Bytes MakeRbpAlpha(int w, int h, const std::vector<uint16_t>& pixels, const std::vector<uint8_t>& alpha, bool kbp1,
                   int canvasW, int canvasH);
// Types 30 / 32: a flat grey JBP1 picture of luma y, with an LZSS alpha plane for 32.
Bytes MakeRbpJbp1Flat(int w, int h, int y, const std::vector<uint8_t>* alpha, int canvasW, int canvasH);
// Type 80: palette of (blue, green, red, 0) entries and index bytes.
Bytes MakeRbpPalette(int w, int h, const std::vector<uint32_t>& bgr, const std::vector<uint8_t>& index, int canvasW,
                     int canvasH);
// Type 90: one grey byte a pixel.
Bytes MakeRbpGrey(int w, int h, const std::vector<uint8_t>& grey, int canvasW, int canvasH);
// Any header with the given type and body (damage tests).
Bytes MakeRbpRaw(const char magic[4], uint32_t type, uint32_t w, uint32_t h, const Bytes& body, uint32_t jbp1Length = 0,
                 uint32_t alphaLength = 0, int canvasW = 0, int canvasH = 0);

// Writes a pack with the converter's pack writer; entries LZSS-coded when asked.
bool WritePack(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& entries, bool compress);

// Whole-file helpers (creating missing parent folders), and a fresh empty
// folder below the build tree that goes when the test process ends.
bool WriteFileBytes(const std::string& path, const Bytes& data);
Bytes ReadFileBytes(const std::string& path);
std::string MakeTempDir(const char* tag);

// The system pictures the title screen loads ("AdvData\grp\system\" +
// name, no extension), which a player run that shows the title needs.
std::vector<std::string> TitleSystemPictureNames();
// Those pictures and the message window, small and flat, as pack entries:
// the screens place their cells, the pictures' content is not looked at.
std::vector<std::pair<std::string, Bytes>> TitleSystemPictures();

// RGB565 pixels of a PNG (8-bit RGB), rows top-down; empty when unreadable.
std::vector<uint16_t> ReadPng565(const std::string& path, int* w, int* h);

// A rectangle of the 800 x 600 canvas.
struct CanvasRect {
  int x, y, w, h;
};
// Two w x h screenshots of the 800 x 600 canvas held against each other:
// the count of differing pixels outside the text areas, and the share of
// differing pixels inside them (where the font's rendering may vary).
void CompareOutsideText(const std::vector<uint16_t>& got, const std::vector<uint16_t>& want, int w, int h,
                        const std::vector<CanvasRect>& textAreas, int* outside, double* insideShare);
