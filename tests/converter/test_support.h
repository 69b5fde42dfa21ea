// Helpers shared by the converter tests: bitmaps built in memory, and
// libjpeg-turbo as the independent judge of JPEG streams.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ctest {

// A BMP file image (rows bottom-up, padded to 4 unless packed) whose pixel
// (x, y), y = 0 at the top, is given by fill as bytes B, G, R(, A); 8-bit
// images take palette entries B, G, R and fill writes the index at px[0].
std::vector<BYTE> MakeBitmap(int w, int h, int bits, const std::function<void(int x, int y, BYTE* px)>& fill,
                             bool packed = false, const std::vector<BYTE>& paletteBgr = {});

// Pixel (x, y from the top) of a bitmap with positive height; rowBytes 0
// means padded rows.
const BYTE* BitmapPixel(const std::vector<BYTE>& bmp, int x, int y, bool packed = false);
const BYTE* BitmapPixel(const BYTE* bmp, int x, int y, bool packed = false);
int BitmapWidth(const BYTE* bmp);
int BitmapHeight(const BYTE* bmp);
int BitmapBits(const BYTE* bmp);

// Coefficients as libjpeg-turbo's jpeg_read_coefficients gives them.
struct JpegComponentCoefficients {
  int h = 0, v = 0;
  int widthInBlocks = 0, heightInBlocks = 0;  // of the coefficient arrays (whole MCUs)
  std::vector<int16_t> blocks;                // row-major blocks of 64, natural order
  uint16_t quant[64] = {};                    // natural order
};
struct JpegCoefficients {
  bool ok = false;
  int width = 0, height = 0;
  bool progressive = false;
  std::string warning;
  std::vector<JpegComponentCoefficients> components;
};
JpegCoefficients ReadCoefficients(const std::vector<BYTE>& jpeg);
JpegCoefficients ReadCoefficients(const BYTE* jpeg, size_t size);

// libjpeg-turbo encoding of an RGB picture (rgb: w x h x 3, top row first).
struct LibjpegOptions {
  int quality = 75;
  int hSamp = 2, vSamp = 2;  // luma sampling factors; chroma 1 x 1
  int restartInterval = 0;   // in MCUs
  int restartRows = 0;
  bool optimize = false;
  bool progressive = false;
  bool grey = false;
  std::string comment;
  std::vector<BYTE> app0Thumbnail;  // extra JFIF APP0 segment payload
};
std::vector<BYTE> LibjpegCompress(const std::vector<BYTE>& rgb, int w, int h, const LibjpegOptions& options);

// Deterministic picture content: kinds "flat", "gradient", "checker",
// "noise", "photo" (smooth shapes with detail).
std::vector<BYTE> MakeRgb(int w, int h, const std::string& kind, uint32_t seed = 1);

}  // namespace ctest
