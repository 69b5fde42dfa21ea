// Sound preparation: the two desktop sound shapes (".pcm" images and RIFF
// WAVE images), the source and target format descriptions, and sample
// conversion through audio compression manager streams.
#pragma once

#include <windows.h>
#include <mmreg.h>

constexpr DWORD kPcmHeaderSize = 28;
constexpr DWORD kFormatBufferSize = 1024;  // every format description lives in one of these

// The 28-byte head of a desktop ".pcm" image, read field by field.
struct PcmHeader {
  DWORD dataLength;  // bytes of sample data after the head, as the file states it
  BYTE compressed;   // 0: plain PCM; otherwise transform-coded (voice decoder)
  BYTE decoderParam;
  WORD formatTag;
  WORD channels;
  DWORD samplesPerSec;
  DWORD avgBytesPerSec;
  WORD blockAlign;
  WORD bitsPerSample;
};

// A zeroed, aligned 1,024-byte format buffer.
struct WaveFormatBuffer {
  alignas(8) BYTE bytes[kFormatBufferSize] = {};
  WAVEFORMATEX* get() { return reinterpret_cast<WAVEFORMATEX*>(bytes); }
  const WAVEFORMATEX* get() const { return reinterpret_cast<const WAVEFORMATEX*>(bytes); }
};

// False when the image is shorter than the head.
bool ReadPcmHeader(const BYTE* image, DWORD imageSize, PcmHeader* header);
// The sample bytes that a ".pcm" image really holds: the smaller of the
// head's length and what the file has after the head.
DWORD PcmSampleBytes(const PcmHeader& header, DWORD imageSize);

// Walks the RIFF chunks inside the image.  Returns the samples of the "data"
// chunk (cut to the image) and stores their size, with the first "fmt "
// chunk copied into `format` (a kFormatBufferSize buffer, zeroed first; a
// longer chunk is cut, and its codec-bytes count never claims more than was
// copied); null, with the size untouched, when the image is not a usable WAVE.
const BYTE* ParseRiffWave(const BYTE* image, DWORD imageSize, WAVEFORMATEX* format, DWORD* dataSize);

// A plain ".pcm" image or a WAVE image whose samples stop before the length
// its head declares (a file cut short): it converts as far as it goes, and
// the run counts it as damaged.
bool SoundImageIsShort(const BYTE* image, DWORD imageSize);

// 16-bit PCM at 44,100 or 22,050 Hz, two channels or one.
void BuildTargetFormat(WAVEFORMATEX* format, int rate44k, int stereo);
// The ".pcm" head's rate and channels, 16 bits whatever the head says.
void BuildPcmSourceFormat(WAVEFORMATEX* format, const PcmHeader& header);
// Rate, channels or bits per sample differ (the tag is not compared).
bool FormatsDiffer(const WAVEFORMATEX* a, const WAVEFORMATEX* b);
// kbit/s for the dialog's bit-rate choice (0..12), halved for one channel.
int Mp3BitrateFor(int bitrateIndex, int stereo);

// Converts through a compression manager stream.  Returns the converted
// bytes (0 when the stream cannot be opened or convert, *out then null) and
// hands out a zero-filled local-heap buffer of extra + twice the stream's
// size estimate.
DWORD ConvertPcmForMp3(const WAVEFORMATEX* source, const WAVEFORMATEX* target, const BYTE* samples, DWORD size,
                       BYTE** out, DWORD extra);
// The same with a buffer of exactly the stream's size estimate.
DWORD ConvertPcmForOgg(const WAVEFORMATEX* source, const WAVEFORMATEX* target, const BYTE* samples, DWORD size,
                       BYTE** out);
// For a WAVE image that is not PCM: fills `format` with the 16-bit PCM format
// the compression manager suggests, converts the samples to it, stores the
// converted size and returns them (local heap).  For a PCM WAVE returns null
// with *size = its "data" size; for an unusable image null with *size = 0.
BYTE* DecodeWaveToPcm(const BYTE* image, DWORD imageSize, WAVEFORMATEX* format, DWORD* size);

// An encoder over prepared samples: `source` describes them, `target` the
// wanted shape, `setting` is the encoder's own (kbit/s, quality index);
// *bytes: sample bytes in, coded bytes out.
using SampleEncoder = BYTE* (*)(const WAVEFORMATEX* target, int setting, const BYTE* samples, WAVEFORMATEX* source,
                                DWORD* bytes);
// The samples of a ".pcm" image / a WAVE image (compressed samples become PCM
// first) coded by `encode` into the 16-bit target shape.  *size holds the
// image size on entry and the coded size on return; null (and *size 0) when
// nothing was coded.
BYTE* EncodeFromPcmImage(const BYTE* image, int rate44k, int stereo, SampleEncoder encode, int setting, DWORD* size);
BYTE* EncodeFromWaveImage(const BYTE* image, int rate44k, int stereo, SampleEncoder encode, int setting, DWORD* size);

// MP3 of a ".pcm" image / a WAVE image.  *size holds the image size on entry
// and the MP3 size on return; null (and *size 0) when nothing was coded.
BYTE* EncodeMp3FromPcm(const BYTE* image, int bitrateIndex, int rate44k, int stereo, DWORD* size);
BYTE* EncodeMp3FromWave(const BYTE* image, int bitrateIndex, int rate44k, int stereo, DWORD* size);
