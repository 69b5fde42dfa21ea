// Binding of the Ogg Vorbis encoder library "oggenc", linked by import.
#pragma once

#include <windows.h>
#include <mmreg.h>

// Vorbis quality for a quality index (0..11; out-of-range indices are
// clamped).
float OggQualityFor(int qualityIndex);
// The quality index the sound runs derive from the dialog's bit-rate choice.
int OggQualityIndexFor(int bitrateIndex);

// Encodes samples in `source` format into an Ogg stream in `target` format,
// converting first when rate, channels or bits differ.  *size: sample bytes
// in, Ogg bytes out; null (and *size 0) when nothing was coded.
BYTE* OggEncodeBuffer(const WAVEFORMATEX* target, float quality, const BYTE* samples, const WAVEFORMATEX* source,
                      DWORD* size);
// Ogg of a ".pcm" image / a WAVE image; *size holds the image size on entry.
BYTE* OggEncodeFromPcm(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size);
BYTE* OggEncodeFromWave(const BYTE* image, int qualityIndex, int rate44k, int stereo, DWORD* size);
// The library's version text (at most 127 bytes and the terminator).
DWORD GetOggEncoderVersion(char* text, DWORD reserved);
