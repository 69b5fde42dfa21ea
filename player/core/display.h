// Size settings, the frame-buffer description, display mode, the clock and
// the frame timer: where the three build configurations differ most.
#pragma once

#include <windows.h>

#include <cstdint>

// The three device generations that one source is built for.
enum class PlayerBuild { Ce30, Ce42, Ce50 };
void SetPlayerBuild(PlayerBuild build);
PlayerBuild GetPlayerBuild();
const char* PlayerBuildName(PlayerBuild build);
// Takes the build whose name the device's configuration carries (the device
// generation the program was started for); keeps the build otherwise.
void SetPlayerBuildFromDevice();

int GetCanvasWidth();
int GetCanvasHeight();
void SetCanvasWidth(int w);
void SetCanvasHeight(int h);
int GetScreenWidth();
int GetScreenHeight();
void SetScreenWidth(int w);
void SetScreenHeight(int h);

void SetOutputRate(unsigned rate);
unsigned GetOutputRate();

// The frame buffer in portrait order: pixel (x, y) lives at
// pointer + x * xPitch + y * yPitch (bytes).  width is the short side.
struct RawFrameBufferDesc {
  int32_t width;
  int32_t height;
  int32_t xPitch;
  int32_t yPitch;
  int32_t bitsPerPixel;
  int32_t format;
};

struct DisplayMode {
  uint32_t highRes;
  uint32_t vga;
  uint32_t landscape;
};

// Fills out from the display driver; null (out zeroed) when the driver
// refuses the query.
RawFrameBufferDesc* QueryRawFrameBuffer(RawFrameBufferDesc* out);
// Takes the Windows CE 3.0 description from GAPI instead.
RawFrameBufferDesc* QueryGapiFrameBuffer(RawFrameBufferDesc* out);
uint8_t* BeginFrameBufferDraw();
int EndFrameBufferDraw();
// The stored frame pointer (tests).
uint8_t* GetFrameBufferPointer();
void SetFrameBufferPointer(uint8_t* p);

void DetectDisplayMode(DisplayMode* mode);
void MapStylusPoint(const DisplayMode* mode, int* x, int* y);

DWORD NowMs();
void SetClockFrozen(int frozen);

// The game runs one frame every 16 ms, about 60 a second.
constexpr uint32_t kFrameIntervalMs = 16;

struct FrameTimer {
  uint32_t frameCount;
  uint32_t lastTest;
  uint32_t nextDue;
  uint32_t secondEnd;
  uint32_t lastSecondCount;
  uint32_t interval;
  uint32_t secondLength;

  static DWORD Start(FrameTimer* owner, uint32_t interval);
  static int IsDue();
};
