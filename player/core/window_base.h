// The window base of the application object: class registration, window
// creation and the message thunk.
#pragma once

#include <windows.h>

#include "player/core/display.h"

class CWindowBase {
 public:
  CWindowBase();
  virtual ~CWindowBase();
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;

  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  virtual void CounterHook(int event);

  ATOM RegisterClass(HINSTANCE instance, int extra, UINT style, const char* className);
  HWND Create(HINSTANCE instance, int x, int y, int width, int height, DWORD style, const char* className, int showCmd,
              DWORD exStyle);
  void SetTitle(const char* text);
  LRESULT DefaultHandler(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaintBase(HWND hwnd);
  LRESULT OnEraseBackground(HWND hwnd, HDC hdc);

  HWND hwnd;
  HINSTANCE instance;
  CWindowBase* owner;
  int showCmd;
  int registerExtra;
  ATOM atom;
  uint32_t frameCountWord;
  uint32_t lastSecondFrames;
  uint8_t counterByte;
  uint32_t counterStarted;
  FrameTimer timer;
  WNDCLASSW windowClass;
  uint32_t afterClass;
  char title[256];
  void* thunkRecord;  // the window's user-data record, freed with the object
};

LRESULT WindowProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
