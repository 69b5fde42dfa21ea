// LzssDecode on arbitrary streams: the first 4 bytes give the unpacked size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "formats/lzss.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t unpacked;
  std::memcpy(&unpacked, data, 4);
  unpacked %= 1u << 20;
  // Exactly sized: any write past the end is reported.
  auto out = std::make_unique<uint8_t[]>(unpacked ? unpacked : 1);
  const int r = LzssDecode(out.get(), data + 4, unpacked, static_cast<uint32_t>(size - 4));
  if (r != -1 && r != static_cast<int>(unpacked)) __builtin_trap();
  return 0;
}
