// Fixtures of the decoder tests: pictures, libjpeg-turbo as writer and
// judge, and our decoder driven through JpegRead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/jpeglib_api.h"

namespace jd {

// Selects the processor kind of every later JpegInit through the registry store.
void UseCpuKind(int kind);

// Interleaved pixels, top row first, no padding.
struct Pixels {
  int w = 0, h = 0, ch = 3;
  std::vector<uint8_t> px;
};
Pixels MakePicture(int w, int h, int ch, uint32_t seed);

struct LjWrite {
  int quality = 85;
  int hs = 2, vs = 2;  // sampling of the first component (and of the fourth)
  bool progressive = false;
  int restartRows = 0;  // restart interval in MCU rows
  int restartMcus = 0;  // restart interval in MCUs
  bool optimize = false;
  int colorSpace = 0;  // J_COLOR_SPACE of the JPEG (0: default for the input)
  bool jfif = true;
  std::string comment;
  std::vector<uint8_t> app0;    // extra APP0 body written after the header markers
  bool nonInterleaved = false;  // sequential, one scan per component
  bool wideQuant0 = false;      // quantisation table 0 with steps above 255 (a 16-bit DQT)
  bool fullAcTable0 = false;    // AC table 0 with all 256 symbols (255 codes of 8 bits, one of 9)
};
// Encodes RGB (ch 3), grey (ch 1) or CMYK (ch 4) pixels.
std::vector<uint8_t> LjEncode(const Pixels& in, const LjWrite& opt);

struct LjImage {
  int w = 0, h = 0, comps = 0;
  std::vector<uint8_t> px;
};
// islow, no fancy upsampling; 3 components come out as RGB, 4 as CMYK.
LjImage LjDecode(const std::vector<uint8_t>& jpeg, int scaleDenom = 1, int outSpace = 0, bool fancy = false);
// A tables-only stream and the abbreviated image that goes with it.
void LjEncodeAbbreviated(const Pixels& in, std::vector<uint8_t>* tables, std::vector<uint8_t>* image);

// Quantised coefficients of one component (natural order), blocks inside it.
struct LjCoefs {
  int blocksW = 0, blocksH = 0;
  std::vector<int16_t> c;
};
std::vector<LjCoefs> LjReadCoefs(const std::vector<uint8_t>& jpeg);
// Writes given coefficients (per component) with libjpeg's standard tables.
std::vector<uint8_t> LjWriteCoefs(int w, int h, int comps, int hs, int vs, const std::vector<LjCoefs>& coefs,
                                  bool progressive, int restartMcus);

struct Decode {
  JpegStatus status = -999;
  int w = 0, h = 0;
  std::vector<uint8_t> px;
};

struct ReadOptions {
  int io = 3;        // read type (memory)
  int dibColor = 1;  // 1 RGB, 2 BGR, 4 grey, 5 four channels
  int dibChannels = 3;
  int dctMethod = 1;
  int roi[4] = {0, 0, 0, 0};
  bool interrupt = false;
  int smoothing = 0;
  int padding = 0;
  bool bottomUp = false;
  bool plainOutput = false;  // the plain output converters whatever the processor kind
};
// Parameters read, then the image read into a fresh picture (the region's
// size with a region of interest; scaled reads get the scaled size).
Decode OurDecode(const std::vector<uint8_t>& jpeg, const ReadOptions& ro);

// Our coefficient planes (coefficients-only mode), cut to the blocks of each component.
std::vector<LjCoefs> OurCoefs(const std::vector<uint8_t>& jpeg, JpegStatus* status);

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
int MaxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Path of a file in this process's scratch folder of the decoder tests.
std::string TempPath(const std::string& name);

}  // namespace jd
