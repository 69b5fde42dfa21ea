#include "converter/sound/sound_prep.h"

#include <msacm.h>

#include <algorithm>

#include "converter/sound/mp3_encoder.h"
#include "formats/le_bytes.h"

namespace {

bool TagIs(const BYTE* p, const char* tag) { return std::equal(p, p + 4, reinterpret_cast<const BYTE*>(tag)); }

void FillPcmFormat(WAVEFORMATEX* f, DWORD rate, WORD channels) {
  f->wFormatTag = WAVE_FORMAT_PCM;
  f->nChannels = channels;
  f->nSamplesPerSec = rate;
  f->wBitsPerSample = 16;
  f->nBlockAlign = WORD(f->wBitsPerSample / 8 * channels);
  f->nAvgBytesPerSec = f->nBlockAlign * rate;
  f->cbSize = 16;
}

// One stream conversion; `doubled` selects the MP3 path's buffer (twice the
// estimate, after a reset) over the Ogg path's (exactly the estimate).
DWORD ConvertThroughStream(const WAVEFORMATEX* source, const WAVEFORMATEX* target, const BYTE* samples, DWORD size,
                           BYTE** out, DWORD extra, bool doubled) {
  *out = nullptr;
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, const_cast<WAVEFORMATEX*>(source), const_cast<WAVEFORMATEX*>(target), nullptr, 0,
                    0, 0) != MMSYSERR_NOERROR)
    return 0;
  if (doubled) acmStreamReset(stream, 0);
  DWORD estimate = 0;
  DWORD used = 0;
  if (acmStreamSize(stream, size, &estimate, ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR && estimate > 0) {
    const uint64_t capacity = doubled ? uint64_t(estimate) * 2 + extra : estimate;
    BYTE* buffer = capacity <= 0xFFFFFFFFu ? static_cast<BYTE*>(LocalAlloc(LPTR, SIZE_T(capacity))) : nullptr;
    if (buffer) {
      ACMSTREAMHEADER h{};
      h.cbStruct = sizeof h;
      h.pbSrc = const_cast<BYTE*>(samples);
      h.cbSrcLength = size;
      h.pbDst = buffer;
      h.cbDstLength = doubled ? estimate * 2 : estimate;
      if (acmStreamPrepareHeader(stream, &h, 0) == MMSYSERR_NOERROR) {
        if (acmStreamConvert(stream, &h, 0) == MMSYSERR_NOERROR) used = h.cbDstLengthUsed;
        acmStreamUnprepareHeader(stream, &h, 0);
      }
      if (used > 0)
        *out = buffer;
      else
        LocalFree(buffer);
    }
  }
  acmStreamClose(stream, 0);
  return used;
}

}  // namespace

bool ReadPcmHeader(const BYTE* image, DWORD imageSize, PcmHeader* h) {
  if (!image || imageSize < kPcmHeaderSize) return false;
  h->dataLength = GetLe32(image + 4);
  h->compressed = image[8];
  h->decoderParam = image[9];
  h->formatTag = GetLe16(image + 12);
  h->channels = GetLe16(image + 14);
  h->samplesPerSec = GetLe32(image + 16);
  h->avgBytesPerSec = GetLe32(image + 20);
  h->blockAlign = GetLe16(image + 24);
  h->bitsPerSample = GetLe16(image + 26);
  return true;
}

DWORD PcmSampleBytes(const PcmHeader& h, DWORD imageSize) {
  return imageSize < kPcmHeaderSize ? 0 : std::min(h.dataLength, imageSize - kPcmHeaderSize);
}

const BYTE* ParseRiffWave(const BYTE* image, DWORD imageSize, WAVEFORMATEX* format, DWORD* dataSize) {
  if (!image || imageSize < 12 || !TagIs(image, "RIFF") || !TagIs(image + 8, "WAVE")) return nullptr;
  const uint64_t end = std::min<uint64_t>(8 + uint64_t(GetLe32(image + 4)), imageSize);
  bool haveFormat = false;
  const BYTE* data = nullptr;
  DWORD dataBytes = 0;
  for (uint64_t pos = 12; pos + 8 <= end;) {
    const BYTE* chunk = image + pos;
    const uint64_t body = pos + 8;
    const DWORD declared = GetLe32(chunk + 4);
    const DWORD present = DWORD(std::min<uint64_t>(declared, end - body));
    if (TagIs(chunk, "fmt ") && !haveFormat) {
      if (declared < 14 || present < 14) return nullptr;
      std::fill(reinterpret_cast<BYTE*>(format), reinterpret_cast<BYTE*>(format) + kFormatBufferSize, BYTE(0));
      const DWORD copied = std::min(present, kFormatBufferSize);
      std::copy(image + body, image + body + copied, reinterpret_cast<BYTE*>(format));
      // Codec bytes beyond what was copied are not there to read.
      if (copied >= sizeof(WAVEFORMATEX))
        format->cbSize = WORD(std::min<DWORD>(format->cbSize, copied - sizeof(WAVEFORMATEX)));
      haveFormat = true;
    } else if (TagIs(chunk, "data") && (!data || dataBytes == 0)) {
      data = image + body;
      dataBytes = present;
    }
    if (haveFormat && data && dataBytes > 0) {
      *dataSize = dataBytes;
      return data;
    }
    pos = body + declared + (declared & 1);
  }
  return nullptr;
}

bool SoundImageIsShort(const BYTE* image, DWORD imageSize) {
  if (!image) return false;
  if (imageSize >= 12 && TagIs(image, "RIFF") && TagIs(image + 8, "WAVE")) {
    for (uint64_t pos = 12; pos + 8 <= imageSize;) {
      const DWORD declared = GetLe32(image + pos + 4);
      if (TagIs(image + pos, "data")) return pos + 8 + declared > imageSize;
      pos += 8 + uint64_t(declared) + (declared & 1);
    }
    return false;
  }
  PcmHeader h;
  return ReadPcmHeader(image, imageSize, &h) && h.compressed == 0 && h.dataLength > imageSize - kPcmHeaderSize;
}

void BuildTargetFormat(WAVEFORMATEX* f, int rate44k, int stereo) {
  FillPcmFormat(f, rate44k ? 44100 : 22050, stereo ? 2 : 1);
}

void BuildPcmSourceFormat(WAVEFORMATEX* f, const PcmHeader& h) { FillPcmFormat(f, h.samplesPerSec, h.channels); }

bool FormatsDiffer(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
  return a->nSamplesPerSec != b->nSamplesPerSec || a->nChannels != b->nChannels ||
         a->wBitsPerSample != b->wBitsPerSample;
}

int Mp3BitrateFor(int index, int stereo) {
  static const int kKbps[13] = {16, 32, 48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  const int kbps = kKbps[std::clamp(index, 0, 12)];
  return stereo ? kbps : kbps / 2;
}

DWORD ConvertPcmForMp3(const WAVEFORMATEX* source, const WAVEFORMATEX* target, const BYTE* samples, DWORD size,
                       BYTE** out, DWORD extra) {
  return ConvertThroughStream(source, target, samples, size, out, extra, true);
}

DWORD ConvertPcmForOgg(const WAVEFORMATEX* source, const WAVEFORMATEX* target, const BYTE* samples, DWORD size,
                       BYTE** out) {
  return ConvertThroughStream(source, target, samples, size, out, 0, false);
}

BYTE* DecodeWaveToPcm(const BYTE* image, DWORD imageSize, WAVEFORMATEX* format, DWORD* size) {
  WaveFormatBuffer source;
  DWORD dataBytes = 0;
  const BYTE* data = ParseRiffWave(image, imageSize, source.get(), &dataBytes);
  *size = 0;
  if (!data) return nullptr;
  if (source.get()->wFormatTag == WAVE_FORMAT_PCM) {
    *size = dataBytes;
    return nullptr;
  }
  std::fill(reinterpret_cast<BYTE*>(format), reinterpret_cast<BYTE*>(format) + kFormatBufferSize, BYTE(0));
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->wBitsPerSample = 16;
  if (acmFormatSuggest(nullptr, source.get(), format, kFormatBufferSize,
                       ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != MMSYSERR_NOERROR)
    return nullptr;
  BYTE* out = nullptr;
  *size = ConvertPcmForOgg(source.get(), format, data, dataBytes, &out);
  return out;
}

BYTE* EncodeFromPcmImage(const BYTE* image, int rate44k, int stereo, SampleEncoder encode, int setting, DWORD* size) {
  PcmHeader h;
  const DWORD imageSize = *size;
  *size = 0;
  if (!ReadPcmHeader(image, imageSize, &h)) return nullptr;
  DWORD bytes = PcmSampleBytes(h, imageSize);
  WaveFormatBuffer source, target;
  BuildPcmSourceFormat(source.get(), h);
  BuildTargetFormat(target.get(), rate44k, stereo);
  BYTE* coded = encode(target.get(), setting, image + kPcmHeaderSize, source.get(), &bytes);
  *size = coded ? bytes : 0;
  return coded;
}

BYTE* EncodeFromWaveImage(const BYTE* image, int rate44k, int stereo, SampleEncoder encode, int setting, DWORD* size) {
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
  BuildTargetFormat(target.get(), rate44k, stereo);
  BYTE* coded = encode(target.get(), setting, samples, from, &bytes);
  if (decoded) LocalFree(decoded);
  *size = coded ? bytes : 0;
  return coded;
}

namespace {

BYTE* Mp3Encode(const WAVEFORMATEX* target, int kbps, const BYTE* samples, WAVEFORMATEX* source, DWORD* bytes) {
  return Mp3EncodeBuffer(target, kbps, samples, source, bytes);
}

}  // namespace

BYTE* EncodeMp3FromPcm(const BYTE* image, int bitrateIndex, int rate44k, int stereo, DWORD* size) {
  return EncodeFromPcmImage(image, rate44k, stereo, Mp3Encode, Mp3BitrateFor(bitrateIndex, stereo), size);
}

BYTE* EncodeMp3FromWave(const BYTE* image, int bitrateIndex, int rate44k, int stereo, DWORD* size) {
  return EncodeFromWaveImage(image, rate44k, stereo, Mp3Encode, Mp3BitrateFor(bitrateIndex, stereo), size);
}
