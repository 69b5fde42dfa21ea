// Wave output of the multimedia layer: waveOut* on SDL2's audio device
// (platform/device/wave_out.cpp).  Written buffers play in order and each
// one comes back once through the callback (MM_WOM_DONE), on the audio
// thread.  The callback may prepare, unprepare and write headers again.
// Test hooks (fake device, capture, a refused rate) are in velmi_wave.h.
#pragma once

#include <windows.h>
#include <mmreg.h>

#ifndef VELMI_MMRESULT_DEFINED
#define VELMI_MMRESULT_DEFINED
typedef UINT MMRESULT;
#endif

typedef struct HWAVEOUT__* HWAVEOUT;
typedef HWAVEOUT* LPHWAVEOUT;

#define WAVE_MAPPER ((UINT)-1)

#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34

#define CALLBACK_TYPEMASK 0x00070000
#define CALLBACK_NULL 0x00000000
#define CALLBACK_FUNCTION 0x00030000

#define MM_WOM_OPEN 0x3BB
#define MM_WOM_CLOSE 0x3BC
#define MM_WOM_DONE 0x3BD

#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_BEGINLOOP 0x00000004
#define WHDR_ENDLOOP 0x00000008
#define WHDR_INQUEUE 0x00000010

typedef struct wavehdr_tag {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  struct wavehdr_tag* lpNext;
  DWORD_PTR reserved;
} WAVEHDR, *PWAVEHDR, *LPWAVEHDR;

#define TIME_MS 0x0001
#define TIME_SAMPLES 0x0002
#define TIME_BYTES 0x0004

typedef struct mmtime_tag {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
    DWORD ticks;
  } u;
} MMTIME, *PMMTIME, *LPMMTIME;

typedef void(CALLBACK* LPWAVECALLBACK)(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                       DWORD_PTR param2);

// Only 16-bit PCM (1 or 2 channels) is accepted.
MMRESULT waveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT size);
// Returns every queued buffer through the callback (on the calling thread)
// and sets the position back to 0.
MMRESULT waveOutReset(HWAVEOUT device);
// Fails with WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveOutClose(HWAVEOUT device);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);
MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume);
// Bytes played since the device was opened (or last reset); TIME_MS and
// TIME_SAMPLES are answered too, anything else gets TIME_BYTES.
MMRESULT waveOutGetPosition(HWAVEOUT device, LPMMTIME time, UINT size);
