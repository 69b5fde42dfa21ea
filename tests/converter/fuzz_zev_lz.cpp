// Any bytes as an LZ-variant ZEV file, into the buffer the pipeline sizes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/pictures/zev_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<BYTE> file(data, data + size);
  const DWORD need = ZevLzBitmapSize(file.data(), static_cast<DWORD>(size));
  if (need == 0 || need > (4u << 20)) return 0;
  std::vector<BYTE> bitmap(need);
  DecodeZevLz(bitmap.data(), file.data(), need, static_cast<DWORD>(size));
  std::vector<BYTE> flat(4096);
  DecodeZevLzFlat(file.data(), static_cast<DWORD>(size), flat.data(), static_cast<DWORD>(flat.size()));
  return 0;
}
