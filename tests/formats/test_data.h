// Inputs shared by the formats tests and benchmarks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace formats_test {

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Text shaped like the game's scripts: Shift-JIS lines with commands,
// names and repeated phrases.
inline std::vector<uint8_t> ScriptLikeText(size_t n, uint32_t seed = 7) {
  static const char* const kPieces[] = {
      "\x81\x75\x82\xa0\x82\xea\x81\x48\x81\x76",  // 「あれ？」
      "\x96\x6c\x82\xcd\x81\x41",                  // 僕は、
      "\x8d\xa1\x93\xfa\x82\xe0\x89\xee\x82\xaa\x8d\x7e\x82\xc1\x82\xc4\x82\xa2\x82\xe9\x81\x42",
      "#BG bg\\room_01.zev 0\r\n",
      "#CHAR 1 ch\\mio_smile.zev 400\r\n",
      "#VOICE mio_0123\r\n",
      "#WAIT\r\n",
      "\x83\x7e\x83\x49",
      "\x81\x73\x82\xdc\x82\xbe\x81\x74",
      "/",
      "#SE se\\door.pcm\r\n",
      "\x82\xbb\x82\xa4\x82\xbe\x82\xcb\x81\x42\r\n",
  };
  std::mt19937 rng(seed);
  std::vector<uint8_t> v;
  v.reserve(n + 64);
  while (v.size() < n) {
    const std::string piece = kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
    v.insert(v.end(), piece.begin(), piece.end());
    if (rng() % 5 == 0) {
      const std::string num = std::to_string(rng() % 1000);
      v.insert(v.end(), num.begin(), num.end());
    }
  }
  v.resize(n);
  return v;
}

// An alpha plane: a soft-edged shape on a transparent field, values 0 or a|3.
inline std::vector<uint8_t> AlphaPlane(int w, int h) {
  std::vector<uint8_t> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = (y - h / 2) * 2;
      const int d = dx * dx + dy * dy;
      const int r2 = (w / 3) * (w / 3);
      int a = d < r2 ? 255 : (d < r2 + 4000 ? 255 - (d - r2) * 255 / 4000 : 0);
      v[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(a == 0 ? 0 : (a | 3));
    }
  }
  return v;
}

}  // namespace formats_test
