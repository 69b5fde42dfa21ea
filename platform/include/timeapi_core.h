// Multimedia timer services.  Include <windows.h> rather than this header;
// mmsystem.h of the sound backend must not declare these again.
#pragma once

typedef UINT MMRESULT;

#ifndef TIMERR_NOERROR
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97
#endif

typedef struct timecaps_tag {
  UINT wPeriodMin;
  UINT wPeriodMax;
} TIMECAPS, *PTIMECAPS, *LPTIMECAPS;

// Same clock as GetTickCount (fake clock included).
DWORD timeGetTime();
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
