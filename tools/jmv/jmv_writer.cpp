#include "tools/jmv/jmv_writer.h"

#include <cstdio>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/local_buffer.h"
#include "converter/pictures/bmp_image.h"
#include "converter/pictures/jbp1_recoder.h"
#include "formats/le_bytes.h"

namespace jmv {

Picture MakePicture(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  Picture p;
  p.width = width;
  p.height = height;
  p.rgb.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < p.rgb.size(); i += 3) {
    p.rgb[i] = r;
    p.rgb[i + 1] = g;
    p.rgb[i + 2] = b;
  }
  return p;
}

Picture ToPortrait(const Picture& landscape) {
  Picture p = MakePicture(landscape.height, landscape.width, 0, 0, 0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) std::memcpy(p.At(x, y), landscape.At(landscape.width - 1 - y, x), 3);
  return p;
}

bool EncodeExchangedJpeg(const Picture& picture, int quality, std::vector<uint8_t>* jpeg) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  const uint32_t stride = static_cast<uint32_t>(bmp::PaddedStride(picture.width, 24));
  const uint32_t imageSize = stride * static_cast<uint32_t>(picture.height);
  std::vector<BYTE> bitmap(bmp::kHeaderBytes + imageSize);
  bmp::WriteHeaders(bitmap.data(), picture.width, picture.height, 24, imageSize, bmp::kHeaderBytes,
                    static_cast<uint32_t>(bitmap.size()), 0);
  // The encoder takes B, G, R bytes, first row on top: R in the B place
  // exchanges the two.
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      std::memcpy(&bitmap[bmp::kHeaderBytes + y * stride + 3 * x], picture.At(x, y), 3);
  DWORD length = 0;
  LocalBuffer coded(EncodeJpegInMemory(bitmap.data(), &length, quality));
  if (!coded.p) return false;
  jpeg->assign(coded.p, coded.p + length);
  return true;
}

bool FrameFromExchangedJpeg(const std::vector<uint8_t>& jpeg, int quality, std::vector<uint8_t>* frame) {
  DWORD length = 0;
  LocalBuffer stream(Jbp1FromJpeg(jpeg.data(), static_cast<DWORD>(jpeg.size()), quality, true, &length));
  if (!stream.p) return false;
  frame->assign(stream.p, stream.p + length);
  return true;
}

bool EncodeFrame(const Picture& picture, int quality, std::vector<uint8_t>* frame) {
  std::vector<uint8_t> jpeg;
  return EncodeExchangedJpeg(picture, quality, &jpeg) && FrameFromExchangedJpeg(jpeg, quality, frame);
}

std::vector<uint8_t> BuildMovie(const MovieHeader& header, const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> out;
  const uint32_t n = static_cast<uint32_t>(frames.size());
  AppendTag(out, header.portrait ? "JMV2" : "JMV1");
  AppendLe32(out, 1);
  AppendLe32(out, n);
  AppendLe32(out, header.rateNumerator);
  AppendLe32(out, header.rateDenominator);
  AppendLe32(out, header.portrait ? ~header.width : header.width);
  AppendLe32(out, header.portrait ? ~header.height : header.height);
  out.resize(48, 0);
  uint32_t position = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t size = static_cast<uint32_t>(frames[i].size());
    AppendLe32(out, i);
    AppendLe32(out, size);
    AppendLe32(out, header.width);
    AppendLe32(out, header.height);
    AppendLe32(out, position);
    AppendLe32(out, 0);
    position += size;
  }
  for (const auto& f : frames) out.insert(out.end(), f.begin(), f.end());
  return out;
}

namespace {

bool LoadBmp(const std::vector<uint8_t>& b, Picture* p, std::string* error) {
  if (b.size() < bmp::kHeaderBytes || bmp::BitCount(b.data()) != 24) {
    *error = "not a 24-bit BMP";
    return false;
  }
  const int32_t w = bmp::Width(b.data());
  const int32_t rawH = bmp::Height(b.data());
  const bool topDown = rawH < 0;
  const int32_t h = topDown ? -rawH : rawH;
  const uint32_t offset = GetLe32(b.data() + 10);
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096) {
    *error = "BMP size out of range";
    return false;
  }
  const uint64_t stride = bmp::PaddedStride(static_cast<uint64_t>(w), 24);
  if (offset > b.size() || b.size() - offset < stride * h) {
    *error = "BMP pixel data truncated";
    return false;
  }
  *p = MakePicture(w, h, 0, 0, 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = b.data() + offset + stride * (topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint8_t* px = p->At(x, y);
      px[0] = row[3 * x + 2];
      px[1] = row[3 * x + 1];
      px[2] = row[3 * x];
    }
  }
  return true;
}

bool LoadPpm(const std::vector<uint8_t>& b, Picture* p, std::string* error) {
  size_t pos = 2;
  int fields[3] = {};
  for (int& f : fields) {
    while (pos < b.size() && (b[pos] == '#' || std::isspace(b[pos]))) {
      if (b[pos] == '#')
        while (pos < b.size() && b[pos] != '\n') ++pos;
      else
        ++pos;
    }
    long v = 0;
    while (pos < b.size() && std::isdigit(b[pos]) && v < 100000) v = v * 10 + (b[pos++] - '0');
    f = static_cast<int>(v);
  }
  ++pos;
  const int w = fields[0], h = fields[1];
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || fields[2] != 255) {
    *error = "unsupported PPM";
    return false;
  }
  if (pos > b.size() || b.size() - pos < static_cast<size_t>(w) * h * 3) {
    *error = "PPM pixel data truncated";
    return false;
  }
  *p = MakePicture(w, h, 0, 0, 0);
  std::memcpy(p->rgb.data(), b.data() + pos, p->rgb.size());
  return true;
}

}  // namespace

bool LoadPicture(const std::string& path, Picture* picture, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return LoadBmp(bytes, picture, error);
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6') return LoadPpm(bytes, picture, error);
  *error = path + ": neither a BMP nor a PPM picture";
  return false;
}

}  // namespace jmv
