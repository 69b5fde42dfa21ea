// Shared fixtures of the JPEG tests: pictures, our encoder, a reference model
// of the converter's coefficients, and libjpeg-turbo as the outside judge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/jpeglib_api.h"

namespace jt {

// Pixels top row first, no padding.
struct Image {
  int w = 0, h = 0, ch = 3;
  std::vector<uint8_t> px;
  uint8_t* Row(int y) { return px.data() + (size_t)y * w * ch; }
  const uint8_t* Row(int y) const { return px.data() + (size_t)y * w * ch; }
};

enum class Content { kFlat, kPure, kGradient, kChecker, kNoise, kPhoto };
const char* ContentName(Content c);
Image MakeImage(Content c, int w, int h, int ch = 3, uint32_t seed = 1);

// Selects the processor class of every later JpegInit through the registry store.
void UseCpuKind(int kind);

// The settings of one encode through the library's interface.
struct EncodeOptions {
  int kind = 0;
  int quality = 75;
  int sub = 1;
  bool progressive = false;
  int dibColor = 2;
  int jpegColor = 3;
  int jpegChannels = 3;
  int padding = 0;
  bool bottomUp = false;
  int dctMethod = 1;
};

// Encodes into memory with JpegIoType 9; the status goes to *status.
std::vector<uint8_t> Encode(const Image& img, const EncodeOptions& spec, JpegStatus* status = nullptr);

// Quantised coefficients per component: blocksW x blocksH blocks, 64 each.
struct Coefs {
  int blocksW = 0, blocksH = 0;
  std::vector<int16_t> c;
  const int16_t* Block(int bx, int by) const { return c.data() + ((size_t)by * blocksW + bx) * 64; }
};

// The converter's road (B,G,R bytes to YCbCr, integer DCT, reciprocal
// quantiser) computed independently from the library; simdQuant selects the
// processor quantiser's rounding.  sub: 0 H1V1, 1 H2V2, 2 H2V1.
std::vector<Coefs> ReferenceCoefs(const Image& bgr, int sub, int quality, bool simdQuant);

// libjpeg-turbo side.  Every call fails the current test on a warning.
struct Decoded {
  bool ok = false;
  int warnings = 0;
  std::string error;
  int w = 0, h = 0, comps = 0;
  bool progressive = false;
  std::vector<Coefs> coefs;                   // per component, MCU-padded block grid
  std::vector<int> compBlocksW, compBlocksH;  // blocks inside the component
  std::vector<uint8_t> pixels;                // decoded pixels (RGB, grey or CMYK)
};
Decoded LibjpegReadCoefs(const std::vector<uint8_t>& jpeg);
// rgb: three components come out as R,G,B; otherwise no colour conversion.
Decoded LibjpegDecode(const std::vector<uint8_t>& jpeg, bool rgb = true);
// libjpeg-turbo's own baseline encode of B,G,R pixels (4:2:0 for sub 1).
std::vector<uint8_t> LibjpegEncodeBgr(const Image& bgr, int quality, int sub);

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
// B,G,R image as R,G,B bytes.
std::vector<uint8_t> BgrToRgb(const Image& bgr);

}  // namespace jt
