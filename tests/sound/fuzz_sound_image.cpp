// Desktop sound images from arbitrary bytes: the ".pcm" head, the RIFF walk
// and the decode of compressed WAVE samples must stay inside the image.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/sound/sound_prep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // An exact copy, so reads past the end are caught.
  std::vector<uint8_t> image(data, data + size);
  const DWORD n = DWORD(size);
  PcmHeader h;
  if (ReadPcmHeader(image.data(), n, &h)) {
    volatile DWORD bytes = PcmSampleBytes(h, n);
    (void)bytes;
  }
  WaveFormatBuffer format;
  DWORD dataSize = 0;
  const BYTE* samples = ParseRiffWave(image.data(), n, format.get(), &dataSize);
  if (samples) {
    if (samples < image.data() || samples + dataSize > image.data() + size) __builtin_trap();
    if (format.get()->wFormatTag != WAVE_FORMAT_PCM && dataSize <= 65536) {
      WaveFormatBuffer pcmFormat;
      DWORD outSize = 0;
      BYTE* pcm = DecodeWaveToPcm(image.data(), n, pcmFormat.get(), &outSize);
      if (pcm) LocalFree(pcm);
    }
  }
  return 0;
}
