// PNG pictures of the emulated screen (libpng).
#include "device_internal.h"

#include <png.h>

#include <cstdio>

using namespace velmi_device;

bool VelmiDeviceScreenshot(const char* path, bool raw) {
  if (!path) return false;
  State& st = S();
  int w = st.geometry.width, h = st.geometry.height;
  const uint16_t* fb = FrameBuffer();
  int ow = w, oh = h;
  bool turned = !raw && w < h;
  if (turned) {
    ow = h;
    oh = w;
  }
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  std::vector<png_byte> row(size_t(ow) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(ow), png_uint_32(oh), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < oh; ++y) {
    for (int x = 0; x < ow; ++x) {
      uint16_t p = turned ? fb[size_t(h - 1 - x) * w + y] : fb[size_t(y) * w + x];
      unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      row[size_t(x) * 3] = png_byte((r << 3) | (r >> 2));
      row[size_t(x) * 3 + 1] = png_byte((g << 2) | (g >> 4));
      row[size_t(x) * 3 + 2] = png_byte((b << 3) | (b >> 2));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}
