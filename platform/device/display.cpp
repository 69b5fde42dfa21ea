// The emulated screen: frame buffer, GAPI, the display driver escape, and
// the SDL window that shows the screen the way the player holds the device.
#include "device_internal.h"

#include <aygshell.h>
#include <SDL.h>

#include <velmi_platform.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace velmi_device {

uint16_t* FrameBuffer() {
  State& st = S();
  size_t n = size_t(st.geometry.width) * size_t(st.geometry.height);
  if (st.frameBuffer.size() != n) st.frameBuffer.assign(n, 0);
  return st.frameBuffer.data();
}

constexpr char kNoDisplayNamed[] = "neither DISPLAY nor WAYLAND_DISPLAY is set";

// The display named by the environment, or a video driver chosen for SDL.
static bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return false;
}

bool Headless() {
  State& st = S();
  if (st.headless < 0) {
    const char* h = std::getenv("VELMI_HEADLESS");
    if (h && *h) {
      st.headless = std::strcmp(h, "0") != 0;
    } else {
      st.headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    }
  }
  return st.headless != 0;
}

// A run asked to be headless: VELMI_HEADLESS=1, a device script (unless
// VELMI_HEADLESS=0 asks for the display), or VelmiDeviceSetHeadless(true).
static bool HeadlessRequested() {
  const State& st = S();
  const char* h = std::getenv("VELMI_HEADLESS");
  if (h && *h) return std::strcmp(h, "0") != 0;
  return st.scripted || st.headlessSet;
}

// A portrait buffer is held turned: the picture of the game is landscape.
static bool Turned() { return S().geometry.width < S().geometry.height; }

bool StartVideoOnNamedDisplay(uint32_t flags, std::string* failure) {
  if (!DisplayNamed()) {
    *failure = kNoDisplayNamed;
    return false;
  }
  // Only the display named is tried: SDL would otherwise go on to a video
  // driver that draws nowhere.
  std::string named, drivers;
  const char* videoDriver = std::getenv("SDL_VIDEODRIVER");
  if (!videoDriver || !*videoDriver) {
    for (auto [variable, driver] : {std::pair{"DISPLAY", "x11"}, std::pair{"WAYLAND_DISPLAY", "wayland"}}) {
      const char* v = std::getenv(variable);
      if (!v || !*v) continue;
      named += std::string(named.empty() ? "" : ", ") + variable + "=" + v;
      drivers += std::string(drivers.empty() ? "" : ",") + driver;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  }
  if (SDL_InitSubSystem(flags) != 0) {
    *failure = SDL_GetError();
    if (!named.empty()) *failure += " (" + named + ")";
    // The attempt left SDL's D-Bus connection open; only SDL_Quit closes
    // it, which is safe while no other part of SDL is in use.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
    return false;
  }
  return true;
}

// SDL's video on the display and the game's window there; false with the
// reason in displayFailure when either cannot be had.
static bool OpenOnDisplay(State& st) {
  if (!StartVideoOnNamedDisplay(SDL_INIT_VIDEO | SDL_INIT_EVENTS, &st.displayFailure)) return false;
  st.sdlReady = true;
  int hw, hh;
  VelmiDeviceHeldSize(&hw, &hh);
  int scale = (hw <= 400 && hh <= 400) ? 2 : 1;
  st.sdlWindow = SDL_CreateWindow("velmi", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, hw * scale, hh * scale,
                                  SDL_WINDOW_RESIZABLE);
  if (st.sdlWindow) st.renderer = SDL_CreateRenderer(st.sdlWindow, -1, 0);
  if (st.renderer) {
    SDL_RenderSetLogicalSize(st.renderer, hw, hh);
    st.texture = SDL_CreateTexture(st.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, hw, hh);
  }
  if (!st.texture) {
    st.displayFailure = SDL_GetError();
    if (st.displayFailure.empty()) st.displayFailure = "the window could not be made";
    ShutdownSdl();
    return false;
  }
  return true;
}

void EnsureSdl() {
  State& st = S();
  if (st.sdlReady) return;
  if (!Headless()) {
    if (OpenOnDisplay(st)) return;
    st.headless = 1;  // without its display the run goes on headless
  } else if (!DisplayNamed()) {
    st.displayFailure = kNoDisplayNamed;
  }
  // A run that did not ask to be headless keeps the reason, and its
  // GXOpenDisplay fails.
  if (HeadlessRequested()) st.displayFailure.clear();
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
  // Without any video driver the queue still works; only the window is missing.
  st.sdlReady = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
}

void ShutdownSdl() {
  State& st = S();
  if (st.texture) SDL_DestroyTexture(st.texture);
  if (st.renderer) SDL_DestroyRenderer(st.renderer);
  if (st.sdlWindow) SDL_DestroyWindow(st.sdlWindow);
  st.texture = nullptr;
  st.renderer = nullptr;
  st.sdlWindow = nullptr;
  if (st.sdlReady) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  st.sdlReady = false;
}

// Pixel of the screen as held at (x, y).
static inline uint16_t HeldPixel(const uint16_t* fb, int w, int h, int x, int y) {
  if (w < h) return fb[size_t(h - 1 - x) * w + y];
  return fb[size_t(y) * w + x];
}

void RefreshDisplay(bool force) {
  State& st = S();
  if (!st.texture) return;
  uint32_t now = SDL_GetTicks();
  if (!force && now - st.lastRefresh < 15) return;
  st.lastRefresh = now;
  int hw, hh;
  VelmiDeviceHeldSize(&hw, &hh);
  void* pixels;
  int pitch;
  if (SDL_LockTexture(st.texture, nullptr, &pixels, &pitch) != 0) return;
  const uint16_t* fb = FrameBuffer();
  int w = st.geometry.width, h = st.geometry.height;
  for (int y = 0; y < hh; ++y) {
    uint16_t* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * pitch);
    for (int x = 0; x < hw; ++x) row[x] = HeldPixel(fb, w, h, x, y);
  }
  SDL_UnlockTexture(st.texture);
  SDL_RenderClear(st.renderer);
  SDL_RenderCopy(st.renderer, st.texture, nullptr, nullptr);
  SDL_RenderPresent(st.renderer);
}

static WPARAM KeyCode(SDL_Keycode k) {
  switch (k) {
    case SDLK_UP:
      return VK_UP;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
    case SDLK_SPACE:
      return VK_RETURN;
    case SDLK_z:
      return VK_APP1;
    case SDLK_x:
    case SDLK_ESCAPE:
      return VK_APP2;
    case SDLK_c:
      return VK_APP3;
    case SDLK_v:
      return VK_APP4;
    case SDLK_b:
      return VK_APP5;
    default:
      return 0;
  }
}

void PumpEvents() {
  State& st = S();
  PollRaiseRequest();
  if (!st.sdlReady) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    HWND w = st.mainWindow;
    switch (e.type) {
      case SDL_QUIT:
        if (w) Post(w, WM_CLOSE, 0, 0);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        WPARAM code = KeyCode(e.key.keysym.sym);
        if (w && code) Post(w, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, code, 0);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
      case SDL_MOUSEMOTION: {
        if (!w) break;
        int x = e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x;
        int y = e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y;
        POINT p = VelmiDeviceHeldToWindow(x, y);
        LPARAM lp = MAKELPARAM(p.x, p.y);
        if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
          st.stylusDown = true;
          Post(w, WM_LBUTTONDOWN, 1, lp);
        } else if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) {
          st.stylusDown = false;
          Post(w, WM_LBUTTONUP, 0, lp);
        } else if (e.type == SDL_MOUSEMOTION && st.stylusDown) {
          Post(w, WM_MOUSEMOVE, 1, lp);  // the stylus only moves while it touches
        }
        break;
      }
      case SDL_WINDOWEVENT:
        // Only the game window's own: a message box's window has events of
        // its own, the last of them (its focus lost) after it is destroyed.
        if (!st.sdlWindow || e.window.windowID != SDL_GetWindowID(st.sdlWindow)) break;
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) st.foreground = false;
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || e.window.event == SDL_WINDOWEVENT_RESTORED) {
          st.foreground = true;
          if (w) w->minimized = false;
        }
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) RefreshDisplay(true);
        break;
      default:
        break;
    }
  }
  RefreshDisplay(false);
}

}  // namespace velmi_device

using namespace velmi_device;

void VelmiDeviceSetGeometry(int width, int height) {
  State& st = S();
  if (width <= 0 || height <= 0) return;
  st.geometry.width = width;
  st.geometry.height = height;
  FrameBuffer();
}

VelmiDeviceGeometry VelmiDeviceGetGeometry() { return S().geometry; }

void VelmiDeviceSetConfiguration(const char* name) { S().configuration = name ? name : ""; }
std::string VelmiDeviceGetConfiguration() { return S().configuration; }

void VelmiDeviceSetHeadless(bool headless) {
  S().headless = headless ? 1 : 0;
  S().headlessSet = headless;
}
bool VelmiDeviceIsHeadless() { return Headless(); }
std::string VelmiDeviceDisplayFailure() { return S().displayFailure; }

void VelmiDeviceSetFailure(const char* what) { S().failure = what ? what : ""; }

void VelmiDeviceConfigureFromEnvironment() {
  if (const char* g = std::getenv("VELMI_DEVICE_GEOMETRY")) {
    int w = 0, h = 0;
    if (std::sscanf(g, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 4096 && h <= 4096) VelmiDeviceSetGeometry(w, h);
  }
  if (const char* f = std::getenv("VELMI_DEVICE_FAIL")) VelmiDeviceSetFailure(f);
  if (const char* d = std::getenv("VELMI_LOCK_DIR")) VelmiDeviceSetLockDir(d);
  if (const char* s = std::getenv("VELMI_DEVICE_SCRIPT"); s && *s) {
    S().scripted = true;
    VelmiDeviceLoadScriptFile(s);
  }
  if (const char* r = std::getenv("VELMI_DEVICE_REPORT")) VelmiDeviceSetReportFile(r);
  PinStatusFromEnvironment();
  Headless();
  // A headless run on the fake clock goes as fast as it can: the game's
  // Sleep(1) while it waits for its frame timer moves the clock on.
  if (const char* c = std::getenv("VELMI_FAKE_CLOCK"); c && *c) {
    char* end = nullptr;
    const unsigned long start = std::strtoul(c, &end, 10);
    if (*end != 0 || start > 0xFFFFFFFFul)
      ErrorLine("VELMI_FAKE_CLOCK=%s is not a tick count; the real clock runs", c);
    else if (!Headless())
      ErrorLine("VELMI_FAKE_CLOCK is for headless runs; the real clock runs");
    else
      VelmiClockUseFake(DWORD(start));
  }
}

uint16_t* VelmiDeviceFrameBuffer() { return FrameBuffer(); }
int VelmiDeviceFrameBufferStride() { return S().geometry.width * 2; }

void VelmiDeviceHeldSize(int* width, int* height) {
  VelmiDeviceGeometry g = S().geometry;
  bool turned = g.width < g.height;
  *width = turned ? g.height : g.width;
  *height = turned ? g.width : g.height;
}

POINT VelmiDeviceHeldToWindow(int x, int y) {
  VelmiDeviceGeometry g = S().geometry;
  if (Turned()) return POINT{y, g.height - 1 - x};
  return POINT{x, y};
}

// ---- Shell, GAPI, the display driver escape ---------------------------------

BOOL SHFullScreen(HWND hwnd, DWORD) {
  if (!IsWindow(hwnd) || Fails("fullscreen")) return FALSE;
  return TRUE;
}

int ExtEscape(HDC hdc, int escape, int, LPCSTR, int outputSize, LPSTR output) {
  if (!hdc) return -1;
  if (escape != GETRAWFRAMEBUFFER) return 0;  // not supported by this driver
  if (!output || outputSize < int(sizeof(RawFrameBufferInfo)) || Fails("framebuffer")) return -1;
  VelmiDeviceGeometry g = S().geometry;
  RawFrameBufferInfo info{};
  info.wFormat = FORMAT_565;
  info.wBPP = 16;
  info.pFramePointer = FrameBuffer();
  info.cxStride = 2;
  info.cyStride = g.width * 2;
  info.cxPixels = g.width;
  info.cyPixels = g.height;
  std::memcpy(output, &info, sizeof info);
  return 1;
}

int GXOpenDisplay(HWND hwnd, DWORD) {
  State& st = S();
  if (!IsWindow(hwnd) || Fails("gapi") || st.gxOpen || !st.displayFailure.empty()) return 0;
  st.gxOpen = true;
  st.gxSuspended = false;
  FrameBuffer();
  return 1;
}

int GXCloseDisplay(void) {
  State& st = S();
  if (!st.gxOpen) return 0;
  st.gxOpen = false;
  return 1;
}

int GXOpenInput(void) { return 1; }
int GXCloseInput(void) { return 1; }

GXKeyList GXGetDefaultKeys(int) {
  // The keys as the game holds the device; the positions are not used here.
  GXKeyList k{};
  k.vkUp = VK_UP;
  k.vkDown = VK_DOWN;
  k.vkLeft = VK_LEFT;
  k.vkRight = VK_RIGHT;
  k.vkA = VK_APP1;
  k.vkB = VK_APP2;
  k.vkC = VK_APP3;
  k.vkStart = VK_RETURN;
  return k;
}

// GAPI describes the screen in portrait order whatever the panel's own order.
GXDisplayProperties GXGetDisplayProperties(void) {
  GXDisplayProperties p{};
  if (Fails("framebuffer")) return p;
  VelmiDeviceGeometry g = S().geometry;
  p.cBPP = 16;
  p.ffFormat = kfDirect | kfDirect565;
  if (g.width <= g.height) {
    p.cxWidth = g.width;
    p.cyHeight = g.height;
    p.cbxPitch = 2;
    p.cbyPitch = g.width * 2;
  } else {
    p.cxWidth = g.height;
    p.cyHeight = g.width;
    p.cbxPitch = g.width * 2;
    p.cbyPitch = -2;
    p.ffFormat |= kfLandscape;
  }
  return p;
}

void* GXBeginDraw(void) {
  State& st = S();
  if (!st.gxOpen || st.gxSuspended) return nullptr;
  VelmiDeviceGeometry g = st.geometry;
  uint16_t* fb = FrameBuffer();
  if (g.width > g.height) return fb + (g.width - 1);  // portrait origin of a landscape panel
  return fb;
}

int GXEndDraw(void) {
  RefreshDisplay(false);
  return 1;
}

int GXSuspend(void) {
  S().gxSuspended = true;
  return 1;
}

int GXResume(void) {
  S().gxSuspended = false;
  RefreshDisplay(true);
  return 1;
}
