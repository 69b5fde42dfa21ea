// Direct display and key access of the handheld (GAPI), emulated by our
// device layer on an in-memory frame buffer.
// windows.h includes this header at its end; the guard sits after that
// include so that either header may come first.
#include <windows.h>
#ifndef VELMI_GX_H
#define VELMI_GX_H

#define GX_FULLSCREEN 0x01
#define GX_NORMALKEYS 0x02
#define GX_LANDSCAPEKEYS 0x03

#define kfLandscape 0x8
#define kfPalette 0x10
#define kfDirect 0x20
#define kfDirect555 0x40
#define kfDirect565 0x80
#define kfDirect888 0x100

struct GXDisplayProperties {
  DWORD cxWidth;
  DWORD cyHeight;
  long cbxPitch;
  long cbyPitch;
  long cBPP;
  DWORD ffFormat;
};

// Codes of the eight hardware keys, then their positions on the case.
struct GXKeyList {
  short vkUp;
  POINT ptUp;
  short vkDown;
  POINT ptDown;
  short vkLeft;
  POINT ptLeft;
  short vkRight;
  POINT ptRight;
  short vkA;
  POINT ptA;
  short vkB;
  POINT ptB;
  short vkC;
  POINT ptC;
  short vkStart;
  POINT ptStart;
};

int GXOpenDisplay(HWND hwnd, DWORD flags);
int GXCloseDisplay(void);
int GXOpenInput(void);
int GXCloseInput(void);
GXKeyList GXGetDefaultKeys(int options);
GXDisplayProperties GXGetDisplayProperties(void);
void* GXBeginDraw(void);
int GXEndDraw(void);
int GXSuspend(void);
int GXResume(void);
#endif  // VELMI_GX_H
