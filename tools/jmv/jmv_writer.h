// Writes ".jmv" and ".jmv2" movies: a 48-byte header, a 24-byte index entry
// per frame, then the frames, each a JBP1-laid-out picture whose first
// chroma block drives blue and whose second drives red.  A frame is coded as
// the baseline JPEG of its picture with red and blue exchanged, the Cr block
// of each macroblock stored before the Cb block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jmv {

// A picture as 8-bit R, G, B triples, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  uint8_t* At(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Picture MakePicture(int width, int height, uint8_t r, uint8_t g, uint8_t b);

// The picture in the portrait order of the device frame buffer: frame pixel
// (x, y) is picture pixel (width - 1 - y, x).
Picture ToPortrait(const Picture& landscape);

// The red/blue-exchanged baseline 4:2:0 JPEG of a picture.
bool EncodeExchangedJpeg(const Picture& picture, int quality, std::vector<uint8_t>* jpeg);

// One movie frame from that JPEG (or straight from a picture).
bool FrameFromExchangedJpeg(const std::vector<uint8_t>& jpeg, int quality, std::vector<uint8_t>* frame);
bool EncodeFrame(const Picture& picture, int quality, std::vector<uint8_t>* frame);

struct MovieHeader {
  bool portrait = false;  // ".jmv2": sizes stored bit-inverted
  uint32_t width = 0;     // frame size as stored in the frames
  uint32_t height = 0;
  uint32_t rateNumerator = 15;
  uint32_t rateDenominator = 1;
};

// The whole file: header, index and frames in order.
std::vector<uint8_t> BuildMovie(const MovieHeader& header, const std::vector<std::vector<uint8_t>>& frames);

// Loads a 24-bit BMP or a binary PPM ("P6", maxval 255).
bool LoadPicture(const std::string& path, Picture* picture, std::string* error);

}  // namespace jmv
