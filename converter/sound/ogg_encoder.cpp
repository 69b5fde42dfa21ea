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

BYTE* OggEncodeFromPcm(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size) {
  PcmHeader h;
  const DWORD imageSize = *size;
  *size = 0;
  if (!ReadPcmHeader(image, imageSize, &h)) return nullptr;
  DWORD bytes = PcmSampleBytes(h, imageSize);
  WaveFormatBuffer source, target;
  BuildPcmSourceFormat(source.get(), h);
  BuildTargetFormat(target.get(), rate44k, stereo);
  BYTE* ogg = OggEncodeBuffer(target.get(), OggQualityFor(qualityIndex), image + kPcmHeaderSize, source.get(), &bytes);
  *size = ogg ? bytes : 0;
  return ogg;
}

BYTE* OggEncodeFromWave(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size) {
  const DWORD imageSize = *size;
  *size = 0;
  WaveFormatBuffer source, target, decodedFormat;
  DWORD bytes = 0;
  const BYTE* samples = ParseRiffWave(image, imageSize, source.get(), &bytes);
  if (!samples) return nullptr;
  BYTE* decoded = nullptr;
  WAVEFORMATEX* from = source.get();
  if (from->wFormatTag != WAVE_FORMAT_PCM) {
    decoded = DecodeWaveToPcm(image, imageSize, decodedFormat.get(), &bytes);
    if (!decoded) return nullptr;
    samples = decoded;
    from = decodedFormat.get();
  }
  from->cbSize = 16;
  BuildTargetFormat(target.get(), rate44k, stereo);
  BYTE* ogg = OggEncodeBuffer(target.get(), OggQualityFor(qualityIndex), samples, from, &bytes);
  if (decoded) LocalFree(decoded);
  *size = ogg ? bytes : 0;
  return ogg;
}

DWORD GetOggEncoderVersion(char* text, DWORD reserved) { return GetOggEncodeVer(text, reserved); }
