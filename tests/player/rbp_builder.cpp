#include "tests/player/rbp_builder.h"

#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "converter/lzss_compressor.h"
#include "converter/pack_writer.h"
#include "converter/pictures/jbp1_writer.h"
#include "converter/pictures/rbp_writer.h"
#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

Bytes Header(const char magic[4], uint32_t type, int w, int h, int cw, int ch, uint32_t jbp = 0, uint32_t al = 0) {
  RbpHeader hd{};
  std::memcpy(hd.magic, magic, 4);
  hd.type = type;
  hd.width = DWORD(w);
  hd.height = DWORD(h);
  hd.headerSize = RBP_HEADER_SIZE;
  hd.sourceWidth = SHORT(cw);
  hd.sourceHeight = SHORT(ch);
  hd.jbp1Length = jbp;
  hd.alphaLength = al;
  Bytes b(RBP_HEADER_SIZE);
  StoreRbpHeader(b.data(), hd);
  return b;
}

Bytes Lzss(const Bytes& in) {
  Bytes out(LzssMaxCompressedSize(DWORD(in.size())) + 16);
  CLzssCompressor c;
  int n = c.Compress(out.data(), in.data(), DWORD(in.size()));
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

}  // namespace

Bytes MakeRbp565(int w, int h, const std::vector<uint16_t>& px, int cw, int ch) {
  Bytes b = Header("RBP5", RBP_TYPE_RGB565, w, h, cw, ch);
  for (uint16_t p : px) AppendLe16(b, p);
  return b;
}

Bytes MakeRbpAlpha(int w, int h, const std::vector<uint16_t>& px, const std::vector<uint8_t>& a, bool kbp1, int cw,
                   int ch) {
  Bytes b = Header(kbp1 ? "KBP1" : "RBP5", RBP_TYPE_RGB565_ALPHA, w, h, cw, ch);
  for (size_t i = 0; i < px.size(); ++i) {
    AppendLe16(b, px[i]);
    b.push_back(a[i]);
  }
  return b;
}

Bytes MakeRbpJbp1Flat(int w, int h, int y, const std::vector<uint8_t>* alpha, int cw, int ch) {
  int mcus = ((w + 15) / 16) * ((h + 15) / 16);
  std::vector<int> blocks(size_t(mcus) * 6 * 64, 0);
  for (int m = 0; m < mcus; ++m)
    for (int k = 0; k < 4; ++k) blocks[(size_t(m) * 6 + k) * 64] = (y - 128) * 8;
  Jbp1Coefficients c{};
  c.width = DWORD(w);
  c.height = DWORD(h);
  c.quality = 90;
  std::memset(c.lumaQuant, 1, 64);
  std::memset(c.chromaQuant, 1, 64);
  c.blocks = blocks.data();
  DWORD len = 0;
  BYTE* stream = WriteJbp1Stream(c, &len);
  if (!stream) return {};
  Bytes coded;
  if (alpha) coded = Lzss(*alpha);
  Bytes b = Header("RBP7", alpha ? RBP_TYPE_JBP1_ALPHA : RBP_TYPE_JBP1, w, h, cw, ch, len, DWORD(coded.size()));
  b.insert(b.end(), stream, stream + len);
  b.insert(b.end(), coded.begin(), coded.end());
  LocalFree(stream);
  return b;
}

Bytes MakeRbpPalette(int w, int h, const std::vector<uint32_t>& bgr, const std::vector<uint8_t>& index, int cw,
                     int ch) {
  Bytes b = Header("RBP5", RBP_TYPE_PALETTE, w, h, cw, ch);
  b.resize(1060, 0);
  for (size_t i = 0; i < bgr.size() && i < 256; ++i) PutLe32(&b[36 + i * 4], bgr[i]);
  b.insert(b.end(), index.begin(), index.end());
  return b;
}

Bytes MakeRbpGrey(int w, int h, const std::vector<uint8_t>& grey, int cw, int ch) {
  Bytes b = Header("RBP5", RBP_TYPE_GREY, w, h, cw, ch);
  b.insert(b.end(), grey.begin(), grey.end());
  return b;
}

Bytes MakeRbpRaw(const char magic[4], uint32_t type, uint32_t w, uint32_t h, const Bytes& body, uint32_t jbp,
                 uint32_t al, int cw, int ch) {
  Bytes b = Header(magic, type, int(w), int(h), cw, ch, jbp, al);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

bool WritePack(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& entries, bool compress) {
  CPackWriter writer;
  if (!writer.Begin(path.c_str(), DWORD(entries.size()))) return false;
  for (auto& e : entries)
    if (!writer.AddEntry(e.first.c_str(), e.second.data(), DWORD(e.second.size()), compress ? TRUE : FALSE))
      return false;
  return writer.Finish() != FALSE;
}

bool WriteFileBytes(const std::string& path, const Bytes& data) { return vtest::WriteBytes(path, data); }

Bytes ReadFileBytes(const std::string& path) { return vtest::ReadBytes(path); }

std::string MakeTempDir(const char* tag) {
  static std::atomic<int> made{0};
  return vtest::ScratchFolder("player", std::string(tag) + "-" + std::to_string(++made));
}

namespace {
// Reads the PNG on an open file; the caller closes it.
std::vector<uint16_t> ReadPngFrom(FILE* f, int* w, int* h) {
  std::vector<uint16_t> out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return {};
  }
  png_init_io(png, f);
  png_read_info(png, info);
  *w = int(png_get_image_width(png, info));
  *h = int(png_get_image_height(png, info));
  std::vector<png_byte> row(png_get_rowbytes(png, info));
  for (int y = 0; y < *h; ++y) {
    png_read_row(png, row.data(), nullptr);
    for (int x = 0; x < *w; ++x) out.push_back(PackRgb565(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]));
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return out;
}
}  // namespace

std::vector<uint16_t> ReadPng565(const std::string& path, int* w, int* h) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::vector<uint16_t> out = ReadPngFrom(f, w, h);
  std::fclose(f);
  return out;
}

std::vector<std::string> TitleSystemPictureNames() {
  std::vector<std::string> names = {"logo", "yn_chip00"};
  for (const char* time : {"daytime", "evening", "night"})
    for (const char* part : {"BG00", "BG01", "BG02", "BG03", "BG04", "BG04b", "chip01"})
      names.push_back(std::string("title_") + time + "_" + part);
  return names;
}

std::vector<std::pair<std::string, Bytes>> TitleSystemPictures() {
  std::vector<std::pair<std::string, Bytes>> entries;
  const std::vector<uint16_t> flat(256, 0x39E7);
  for (const std::string& n : TitleSystemPictureNames())
    entries.push_back({"AdvData\\grp\\system\\" + n + ".rbp", MakeRbp565(16, 16, flat, 16, 16)});
  entries.push_back({"AdvData\\GRP\\SYSTEM\\Messwin.rbp", MakeRbp565(16, 16, std::vector<uint16_t>(256, 0), 16, 16)});
  return entries;
}

void CompareOutsideText(const std::vector<uint16_t>& got, const std::vector<uint16_t>& want, int w, int h,
                        const std::vector<CanvasRect>& textAreas, int* outside, double* insideShare) {
  std::vector<uint8_t> text(size_t(w) * h, 0);
  for (const CanvasRect& r : textAreas)
    for (int y = r.y * h / 600; y < (r.y + r.h) * h / 600 && y < h; ++y)
      for (int x = r.x * w / 800; x < (r.x + r.w) * w / 800 && x < w; ++x) text[size_t(y) * w + x] = 1;
  int out = 0, in = 0, inDiffer = 0;
  for (size_t i = 0; i < got.size() && i < want.size() && i < text.size(); ++i) {
    if (text[i]) {
      ++in;
      inDiffer += got[i] != want[i];
    } else {
      out += got[i] != want[i];
    }
  }
  *outside = out;
  *insideShare = in ? double(inDiffer) / in : 0.0;
}
