// The MP3 source from arbitrary bytes as a file: tags, frame walk and the
// overlay's decoder must stay inside the image and end, looping or not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "player/media/mp3_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool loaded = [] {
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
    LoadMp3Overlay();
    return Mp3OverlayPresent() != 0;
  }();
  if (!loaded) __builtin_trap();
  if (size > (1u << 18)) return 0;
  std::vector<uint8_t> image(data, data + size);  // an exact copy: reads past it are caught
  Mp3Source source;
  if (source.OpenMemory(image.data(), DWORD(size)) != 0) return 0;
  DWORD estimate = 0;
  source.EstimatePcmSize(&estimate);
  const int loop = size > 0 && (data[0] & 1);
  std::vector<BYTE> buf(20480);
  // Bounded: a looping stream never ends by itself.
  for (int i = 0; i < 200 && !source.IsAtEnd(); ++i) {
    const int want = 1 + int((i * 7919u + size) % buf.size());
    const int n = source.Read(buf.data(), want, loop);
    if (n < 0 || n > want) __builtin_trap();
    if (n == 0 && !loop) break;
  }
  return 0;
}
