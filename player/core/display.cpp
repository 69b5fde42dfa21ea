#include "player/core/display.h"

#include <atomic>
#include <cstring>
#include <string>

#include <velmi_device.h>
#include <wingdi.h>

namespace {
PlayerBuild g_build = PlayerBuild::Ce50;
int g_canvasW = 640, g_canvasH = 480;
int g_screenW = 320, g_screenH = 240;
unsigned g_outputRate = 0;
uint8_t* g_framePointer = nullptr;
// Read and written by the game thread and by the wave-output thread (fades).
std::atomic<DWORD> g_clock{0};
std::atomic<int> g_frozen{0};
FrameTimer* g_timer = nullptr;

// Clock values wrap every 49.7 days; order them by signed difference.
inline int32_t Diff(uint32_t a, uint32_t b) { return int32_t(a - b); }
}  // namespace

void SetPlayerBuild(PlayerBuild build) { g_build = build; }
PlayerBuild GetPlayerBuild() { return g_build; }
const char* PlayerBuildName(PlayerBuild build) {
  switch (build) {
    case PlayerBuild::Ce30:
      return "ce30";
    case PlayerBuild::Ce42:
      return "ce42";
    default:
      return "ce50";
  }
}

void SetPlayerBuildFromDevice() {
  const std::string generation = VelmiDeviceGetConfiguration();
  for (PlayerBuild build : {PlayerBuild::Ce30, PlayerBuild::Ce42, PlayerBuild::Ce50})
    if (generation == PlayerBuildName(build)) g_build = build;
}

int GetCanvasWidth() { return g_canvasW; }
int GetCanvasHeight() { return g_canvasH; }
void SetCanvasWidth(int w) { g_canvasW = w; }
void SetCanvasHeight(int h) { g_canvasH = h; }
int GetScreenWidth() { return g_screenW; }
int GetScreenHeight() { return g_screenH; }
void SetScreenWidth(int w) { g_screenW = w; }
void SetScreenHeight(int h) { g_screenH = h; }

void SetOutputRate(unsigned rate) { g_outputRate = rate; }
unsigned GetOutputRate() { return g_outputRate; }

RawFrameBufferDesc* QueryRawFrameBuffer(RawFrameBufferDesc* out) {
  std::memset(out, 0, sizeof *out);
  RawFrameBufferInfo info{};
  HDC dc = GetDC(nullptr);
  int result = ExtEscape(dc, GETRAWFRAMEBUFFER, 0, nullptr, int(sizeof info), reinterpret_cast<LPSTR>(&info));
  ReleaseDC(nullptr, dc);
  if (result <= 0 || !info.pFramePointer || info.cxPixels <= 0 || info.cyPixels <= 0) {
    g_framePointer = nullptr;
    return nullptr;
  }
  out->bitsPerPixel = info.wBPP;
  out->format = info.wFormat;
  g_framePointer = static_cast<uint8_t*>(info.pFramePointer);
  if (info.cxPixels <= info.cyPixels) {
    out->width = info.cxPixels;
    out->height = info.cyPixels;
    out->xPitch = info.cxStride;
    out->yPitch = info.cyStride;
  } else {
    out->width = info.cyPixels;
    out->height = info.cxPixels;
    out->xPitch = info.cyStride;
    out->yPitch = -info.cxStride;
    g_framePointer += intptr_t(info.cxPixels - 1) * info.cxStride;
  }
  return out;
}

RawFrameBufferDesc* QueryGapiFrameBuffer(RawFrameBufferDesc* out) {
  GXDisplayProperties p = GXGetDisplayProperties();
  out->width = int32_t(p.cxWidth);
  out->height = int32_t(p.cyHeight);
  out->xPitch = int32_t(p.cbxPitch);
  out->yPitch = int32_t(p.cbyPitch);
  out->bitsPerPixel = int32_t(p.cBPP);
  out->format = int32_t(p.ffFormat);
  if (out->width <= 0 || out->height <= 0) {
    std::memset(out, 0, sizeof *out);
    return nullptr;
  }
  return out;
}

uint8_t* BeginFrameBufferDraw() {
  if (g_build == PlayerBuild::Ce30) return static_cast<uint8_t*>(GXBeginDraw());
  return g_framePointer;
}

int EndFrameBufferDraw() {
  if (g_build == PlayerBuild::Ce30) GXEndDraw();
  return 1;
}

uint8_t* GetFrameBufferPointer() { return g_framePointer; }
void SetFrameBufferPointer(uint8_t* p) { g_framePointer = p; }

void DetectDisplayMode(DisplayMode* mode) {
  std::memset(mode, 0, sizeof *mode);
  mode->highRes = GetScreenWidth() >= 640;
  if (g_build == PlayerBuild::Ce30) return;
  RawFrameBufferInfo info{};
  HDC dc = GetDC(nullptr);
  if (ExtEscape(dc, GETRAWFRAMEBUFFER, 0, nullptr, int(sizeof info), reinterpret_cast<LPSTR>(&info)) > 0)
    mode->landscape = info.cxPixels > info.cyPixels;
  ReleaseDC(nullptr, dc);
  mode->vga = !(GetSystemMetrics(SM_CXSCREEN) < 480 && GetSystemMetrics(SM_CYSCREEN) < 480);
}

void MapStylusPoint(const DisplayMode* mode, int* x, int* y) {
  int w = GetSystemMetrics(SM_CXSCREEN);
  int px = *x, py = *y;
  if (!mode->highRes) {
    if (mode->landscape) {
      *x = px - w + 320;
      *y = py;
    } else {
      *x = 319 - py;
      *y = px;
    }
    return;
  }
  if (!mode->vga) {
    px *= 2;
    py *= 2;
    w *= 2;
  }
  if (mode->landscape) {
    *x = px - w + 640;
    *y = py;
  } else {
    *x = 639 - py;
    *y = px;
  }
}

DWORD NowMs() {
  if (g_frozen.load(std::memory_order_acquire)) return g_clock.load(std::memory_order_acquire);
  const DWORD now = g_build == PlayerBuild::Ce50 ? timeGetTime() : GetTickCount();
  g_clock.store(now, std::memory_order_release);
  return now;
}

void SetClockFrozen(int frozen) { g_frozen = frozen; }

DWORD FrameTimer::Start(FrameTimer* owner, uint32_t interval) {
  g_timer = owner;
  DWORD now = NowMs();
  owner->frameCount = 0;
  owner->nextDue = now + interval;
  owner->secondEnd = now + 1000;
  owner->lastTest = now;
  owner->interval = interval ? interval : 1;
  owner->secondLength = 1000;
  return now;
}

int FrameTimer::IsDue() {
  FrameTimer* t = g_timer;
  if (!t) return 0;
  uint32_t now = NowMs();
  t->lastTest = now;
  int32_t late = Diff(now, t->secondEnd);
  if (late >= 0) {
    // Whole seconds without a test count as seconds without frames.
    t->lastSecondCount = uint32_t(late) < t->secondLength ? t->frameCount : 0;
    t->frameCount = 0;
    t->secondEnd += t->secondLength * (uint32_t(late) / t->secondLength + 1);
  }
  int32_t behind = Diff(now, t->nextDue);
  if (behind < 0) return 0;
  // A long stall skips straight to the grid point before now.
  if (uint32_t(behind) > 64 * t->interval) t->nextDue += (uint32_t(behind) / t->interval) * t->interval;
  do {
    t->nextDue += t->interval;
    if (Diff(now, t->nextDue) <= 0) ++t->frameCount;
  } while (Diff(now, t->nextDue) >= 0);
  return 1;
}
