// Painting calls and the display driver escape of our device layer.
// (Text drawing calls belong to the text backend and are added beside these.)
// windows.h includes this header at its end; the guard sits after that
// include so that either header may come first.
#include <windows.h>
#ifndef VELMI_WINGDI_H
#define VELMI_WINGDI_H

// A device context.  Backends that make other kinds of context (memory
// contexts of the text backend) keep their own data behind ext.
struct HDC__ {
  int kind = 0;  // 0 the screen, 1 a window; other backends number theirs from 16
  HWND hwnd = nullptr;
  COLORREF bkColor = 0xFFFFFF;
  COLORREF textColor = 0;
  int bkMode = 2;
  HGDIOBJ selected = nullptr;
  void* ext = nullptr;
};

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))

#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

#define TRANSPARENT 1
#define OPAQUE 2

HGDIOBJ GetStockObject(int object);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF SetTextColor(HDC hdc, COLORREF color);
int SetBkMode(HDC hdc, int mode);

// Display driver escape that hands out the frame buffer.
#define GETRAWFRAMEBUFFER 0x00020001
#define FORMAT_565 1
#define FORMAT_555 2
#define FORMAT_OTHER 3

typedef struct _RawFrameBufferInfo {
  WORD wFormat;
  WORD wBPP;
  VOID* pFramePointer;
  int cxStride;
  int cyStride;
  int cxPixels;
  int cyPixels;
} RawFrameBufferInfo;

int ExtEscape(HDC hdc, int escape, int inputSize, LPCSTR input, int outputSize, LPSTR output);
#endif  // VELMI_WINGDI_H
