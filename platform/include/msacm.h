// Audio compression manager streams: the subset the converter calls, on
// libsamplerate (rate), our own channel and sample-width conversion, and
// libsndfile for the compressed WAVE encodings (ADPCM, A-law, mu-law).
// A conversion call converts a whole buffer: no samples are held back
// between calls.
#pragma once

#include <windows.h>
#include <mmreg.h>

typedef struct VelmiAcmDriver* HACMDRIVER;
typedef struct VelmiAcmStream* HACMSTREAM;
typedef HACMSTREAM* LPHACMSTREAM;
typedef struct VelmiWaveFilter* LPWAVEFILTER;  // filters are not supported

#define ACMERR_BASE 512
#define ACMERR_NOTPOSSIBLE (ACMERR_BASE + 0)
#define ACMERR_BUSY (ACMERR_BASE + 1)
#define ACMERR_UNPREPARED (ACMERR_BASE + 2)
#define ACMERR_CANCELED (ACMERR_BASE + 3)

#define ACM_STREAMOPENF_QUERY 0x00000001
#define ACM_STREAMOPENF_NONREALTIME 0x00000004

#define ACM_STREAMSIZEF_SOURCE 0x00000000
#define ACM_STREAMSIZEF_DESTINATION 0x00000001

#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004
#define ACM_STREAMCONVERTF_START 0x00000010
#define ACM_STREAMCONVERTF_END 0x00000020

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000

#define ACM_FORMATSUGGESTF_WFORMATTAG 0x00010000
#define ACM_FORMATSUGGESTF_NCHANNELS 0x00020000
#define ACM_FORMATSUGGESTF_NSAMPLESPERSEC 0x00040000
#define ACM_FORMATSUGGESTF_WBITSPERSAMPLE 0x00080000

typedef struct tACMSTREAMHEADER {
  DWORD cbStruct;  // sizeof(ACMSTREAMHEADER)
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  LPBYTE pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;
  DWORD_PTR dwSrcUser;
  LPBYTE pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;
  DWORD_PTR dwDstUser;
  DWORD dwReservedDriver[10];
} ACMSTREAMHEADER;
typedef ACMSTREAMHEADER* LPACMSTREAMHEADER;

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                       LPWAVEFILTER pwfltr, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);
MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize);
MMRESULT acmStreamReset(HACMSTREAM has, DWORD fdwReset);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare);
MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert);
MMRESULT acmFormatSuggest(HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst, DWORD cbwfxDst,
                          DWORD fdwSuggest);
