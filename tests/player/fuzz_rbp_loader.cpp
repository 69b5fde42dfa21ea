// Arbitrary bytes as an .rbp picture file: a clear result, never a crash.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "player/core/display.h"
#include "player/core/picture.h"

volatile uint32_t g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string dir = [] {
    char t[] = "/tmp/velmi-fuzz-rbp-XXXXXX";
    return std::string(mkdtemp(t));
  }();
  static std::string file = dir + "/x.rbp";
  static std::string folder = [] {
    std::string f = dir + "/";
    for (char& c : f)
      if (c == '/') c = '\\';
    return f;
  }();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  SetScreenWidth(640);
  SetScreenHeight(480);
  CPicture pic;
  if (LoadPicture(&pic, "x", folder.c_str(), 0, nullptr)) {
    // Whatever loaded must be readable in full.
    uint32_t sum = 0;
    size_t n = size_t(pic.width) * pic.height;
    if (pic.depth == 16 || pic.depth == 24)
      for (size_t i = 0; i < n; ++i) sum += pic.GetPixels()[i];
    if (pic.depth == 24)
      for (size_t i = 0; i < n; ++i) sum += pic.alpha[i];
    if (pic.depth == 8)
      for (size_t i = 0; i < n; ++i) sum += pic.palette[pic.pixels[i] * 4];
    g_sink = sum;
  }
  pic.FreePixels();
  return 0;
}
