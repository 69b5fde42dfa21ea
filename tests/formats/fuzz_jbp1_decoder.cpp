// The JBP1 decoder on arbitrary streams: the expected size is taken from the
// stream's own header so that decoding gets past the size check.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/core/jbp1_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BlockDecoder d;
  InitBlockDecoder(&d);
  d.input = data;
  d.inputLength = static_cast<DWORD>(size);
  if (!ParseJbp1Header(&d)) return 0;
  ResetBlockFlags(&d);
  d.expectedWidth = d.width;
  d.expectedHeight = d.height;

  const size_t blocks = static_cast<size_t>(d.roundedWidth / 16) * (d.roundedHeight / 16) * 6;
  if (blocks <= 8 * size) {
    std::vector<short> coefficients(blocks * 64);
    BlockDecoder c = d;
    DecodeJbp1Coefficients(&c, coefficients.data(), blocks);
  }
  if (DecodeJbp1(&d)) LocalFree(d.output);
  return 0;
}
