// Little-endian fields appended to a growing byte image, for writers that
// build a file in memory field by field.
#pragma once

#include <cstdint>
#include <vector>

inline void AppendLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  AppendLe16(out, v & 0xFFFF);
  AppendLe16(out, v >> 16);
}

// A four-character chunk or file tag.
inline void AppendTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}
