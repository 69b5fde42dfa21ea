// Arbitrary bytes as a movie file: the stream reader (without its thread)
// hands out frames only from inside its halves, and the decoder takes them.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "player/core/movie_decoder.h"
#include "player/media/stream_reader.h"

volatile uint32_t g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string file = [] {
    char t[] = "/tmp/velmi-fuzz-movie-XXXXXX";
    return std::string(mkdtemp(t)) + "/x.jmv";
  }();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  StreamReader reader(file.c_str(), 4096);
  if (!reader.IsOpen()) return 0;
  const MovieFileHeader& h = reader.Header();
  static BlockDecoder state;
  InitMovieDecoder(&state);
  state.expectedWidth = h.width;
  state.expectedHeight = h.height;
  uint32_t sum = 0;
  for (DWORD i = 0; i < h.frameCount && i < 64; i += 1 + i % 3) {
    DWORD frameSize = 0;
    const BYTE* frame = reader.GetFrame(i, &frameSize);
    if (frame) {
      for (DWORD k = 0; k < frameSize; ++k) sum += frame[k];
      state.input = frame;
      state.inputLength = frameSize;
      state.output = nullptr;
      if (ParseJbp1Header(&state) && DecodeMovieFrame(&state)) sum += state.output[0];
      if (state.output) LocalFree(state.output);
      state.output = nullptr;
    }
    reader.ReleaseFrame();
  }
  g_sink = sum;
  return 0;
}
