// The Ogg source from arbitrary bytes as a file: the overlay's decoder, the
// overshoot into the spill buffer and the replay of a looping stream must
// stay in bounds and end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "player/media/ogg_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool loaded = [] {
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
    LoadOggOverlay();
    return OggOverlayPresent() != 0;
  }();
  if (!loaded) __builtin_trap();
  if (size > (1u << 18)) return 0;
  std::vector<uint8_t> image(data, data + size);
  OggSource source;
  if (source.OpenMemory(image.data(), DWORD(size)) != 0) return 0;
  DWORD total = 0;
  source.GetPcmSize(&total);
  const int loop = size > 0 && (data[size - 1] & 1);
  std::vector<BYTE> buf(20480 + OggSource::OVERSHOOT_ROOM);
  for (int i = 0; i < 200 && !source.IsAtEnd(); ++i) {
    const int want = 1 + int((i * 7919u + size) % 20480);
    const int n = source.Read(buf.data(), want, loop);
    if (n < 0 || n > want) __builtin_trap();
    if (n == 0 && !loop) break;
  }
  return 0;
}
