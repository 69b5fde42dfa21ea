// Any bytes through the converter's baseline JPEG reader: blocks or a
// clean refusal.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/pictures/baseline_jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<BYTE> jpeg(data, data + size);
  CMemoryByteSource source(jpeg.data(), static_cast<DWORD>(size));
  CBaselineJpegReader reader;
  if (reader.Parse(&source) && reader.BlockCount() > 0) {
    volatile int32_t sink = reader.Block(reader.BlockCount() - 1)[63];
    (void)sink;
  }
  return 0;
}
