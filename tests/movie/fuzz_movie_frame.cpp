// Arbitrary bytes as one movie frame of the size its header states: decoded
// or refused, never a read or write outside the stores.
#include <cstdint>

#include "player/core/movie_decoder.h"

volatile uint32_t g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static BlockDecoder state;
  InitMovieDecoder(&state);
  state.input = data;
  state.inputLength = static_cast<DWORD>(size);
  if (!ParseJbp1Header(&state)) return 0;
  state.expectedWidth = state.width;
  state.expectedHeight = state.height;
  ResetBlockFlags(&state);
  if (DecodeMovieFrame(&state)) {
    uint32_t sum = 0;
    for (DWORD i = 0; i < state.outputSize / 2; ++i) sum += state.output[i];
    g_sink = sum;
  }
  if (state.output) LocalFree(state.output);
  return 0;
}
