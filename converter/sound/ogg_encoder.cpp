#include "converter/sound/ogg_encoder.h"

#include <oggenc.h>

#include <algorithm>

#include "converter/sound/sound_prep.h"

float OggQualityFor(int qualityIndex) {
  static const float kQuality[12] = {-0.1f, 0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
  return kQuality[std::clamp(qualityIndex, 0, 11)];
}

int OggQualityIndexFor(int bitrateIndex) { return bitrateIndex < 2 ? 0 : bitrateIndex - 2; }

BYTE* OggEncodeBuffer(const WAVEFORMATEX* target, float quality, const BYTE* samples, const WAVEFORMATEX* source,
                      DWORD* size) {
  BYTE* converted = nullptr;
  DWORD bytes = *size;
  *size = 0;
  if (FormatsDiffer(source, target)) {
    bytes = ConvertPcmForOgg(source, target, samples, bytes, &converted);
    if (!converted) return nullptr;
    samples = converted;
  }
  BYTE* ogg = bytes > 0 ? static_cast<BYTE*>(GetOggEncodeProcessMemory(quality, target, samples, &bytes)) : nullptr;
  if (converted) LocalFree(converted);
  *size = ogg ? bytes : 0;
  return ogg;
}

namespace {

BYTE* OggEncode(const WAVEFORMATEX* target, int qualityIndex, const BYTE* samples, WAVEFORMATEX* source, DWORD* bytes) {
  source->cbSize = 16;
  return OggEncodeBuffer(target, OggQualityFor(qualityIndex), samples, source, bytes);
}

}  // namespace

BYTE* OggEncodeFromPcm(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size) {
  return EncodeFromPcmImage(image, rate44k, stereo, OggEncode, qualityIndex, size);
}

BYTE* OggEncodeFromWave(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size) {
  return EncodeFromWaveImage(image, rate44k, stereo, OggEncode, qualityIndex, size);
}

DWORD GetOggEncoderVersion(char* text, DWORD reserved) { return GetOggEncodeVer(text, reserved); }
