// Wave format descriptions shared by the audio compression layer and the
// encoder libraries.  The record is byte-packed as on the desktop, so a
// "fmt " chunk read from a little-endian file lines up field for field.
#pragma once

#include <windows.h>

#ifndef VELMI_MMRESULT_DEFINED
#define VELMI_MMRESULT_DEFINED
typedef UINT MMRESULT;
#endif

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11

#define WAVE_FORMAT_PCM 1
#define WAVE_FORMAT_ADPCM 2
#define WAVE_FORMAT_ALAW 6
#define WAVE_FORMAT_MULAW 7
#define WAVE_FORMAT_IMA_ADPCM 0x11

#ifndef VELMI_WAVEFORMATEX_DEFINED
#define VELMI_WAVEFORMATEX_DEFINED
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of codec data that follow the record
} WAVEFORMATEX;
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;
#endif
