// Any bytes as a deflate-variant ZEV file: a bitmap or a clean failure.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/pictures/zev_decode.h"
#include "formats/le_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 20 || size > (1u << 20)) return 0;
  // Keep each run quick: pictures up to a million pixels.
  const uint32_t w = GetLe16(data + 8), h = GetLe16(data + 10);
  if (uint64_t{w} * h > (1u << 20)) return 0;
  std::vector<BYTE> file(data, data + size);
  DWORD n = static_cast<DWORD>(size);
  BYTE* bitmap = DecodeZevDeflate(file.data(), &n);
  if (bitmap) {
    volatile BYTE sink = bitmap[n - 1];
    (void)sink;
    LocalFree(bitmap);
  }
  return 0;
}
