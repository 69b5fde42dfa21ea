// Windows, the message queue and painting of the emulated device.
#include "device_internal.h"
#include "formats/rgb565.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace velmi_device {

State& S() {
  static State* state = new State;  // lives for the whole process
  return *state;
}

std::u16string FromWide(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

bool Fails(const char* what) { return S().failure == what; }

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  st.queue.push_back(m);
}

}  // namespace velmi_device

using namespace velmi_device;

namespace {

std::map<std::u16string, WNDCLASSW>& Classes() {
  static std::map<std::u16string, WNDCLASSW> classes;
  return classes;
}

bool Live(HWND hwnd) {
  State& st = S();
  return hwnd && std::find(st.windows.begin(), st.windows.end(), hwnd) != st.windows.end() && !hwnd->destroyed;
}

LRESULT Call(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Live(hwnd) && message != WM_DESTROY) return 0;
  if (!hwnd->proc) return 0;
  return hwnd->proc(hwnd, message, wParam, lParam);
}

// Longest hold of a release: the player's frames stand still while a movie
// plays, and a quick press of a key that leaves the movie playing must not
// hold back the input behind it until the movie ends.
constexpr DWORD kReleaseHoldMs = 100;

// A release whose press was delivered since the last frame: the game reads
// its input once a frame, and a press released before that frame would never
// be seen.  kReleaseHoldMs after that press (its latest repeat, for a key) it
// counts as seen, whatever other keys are held.
bool ReleaseOfFreshPress(State& st, const MSG& m) {
  const DWORD now = GetTickCount();
  if (m.message == WM_LBUTTONUP) {
    if (st.stylusPressed && now - st.stylusPressedAt >= kReleaseHoldMs) st.stylusPressed = false;
    return st.stylusPressed;
  }
  if (m.message != WM_KEYUP) return false;
  auto press = std::find_if(st.keysPressed.begin(), st.keysPressed.end(),
                            [&](const State::FreshPress& p) { return p.key == m.wParam; });
  if (press == st.keysPressed.end()) return false;
  if (now - press->at < kReleaseHoldMs) return true;
  st.keysPressed.erase(press);
  return false;
}

// Notes a press delivered to the program, for ReleaseOfFreshPress.
void NoteFreshPress(State& st, const MSG& m) {
  const DWORD now = GetTickCount();
  if (m.message == WM_LBUTTONDOWN) {
    st.stylusPressed = true;
    st.stylusPressedAt = now;
  }
  if (m.message != WM_KEYDOWN) return;
  auto press = std::find_if(st.keysPressed.begin(), st.keysPressed.end(),
                            [&](const State::FreshPress& p) { return p.key == m.wParam; });
  if (press != st.keysPressed.end())
    press->at = now;
  else
    st.keysPressed.push_back(State::FreshPress{m.wParam, now});
}

// Takes the next message that matches the filter, synthesising WM_PAINT and
// WM_QUIT as the system does when nothing else waits.  A release of a fresh
// press waits for the next frame, and so does everything queued behind it, so
// that the input keeps its order.
bool Take(MSG* msg, HWND hwnd, UINT lo, UINT hi, bool remove) {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  for (auto it = st.queue.begin(); it != st.queue.end(); ++it) {
    if (ReleaseOfFreshPress(st, *it)) break;
    bool inRange = (lo == 0 && hi == 0) || (it->message >= lo && it->message <= hi);
    if (!inRange || (hwnd && it->hwnd != hwnd)) continue;
    *msg = *it;
    if (remove) {
      NoteFreshPress(st, *it);
      st.queue.erase(it);
    }
    return true;
  }
  if (st.quitPosted && (lo == 0 && hi == 0)) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = WPARAM(st.quitCode);
    if (remove) st.quitPosted = false;
    return true;
  }
  for (HWND w : st.windows) {
    if (w->destroyed || !w->invalid || (hwnd && w != hwnd)) continue;
    if (!((lo == 0 && hi == 0) || (WM_PAINT >= lo && WM_PAINT <= hi))) continue;
    *msg = MSG{};
    msg->hwnd = w;
    msg->message = WM_PAINT;
    return true;  // stays until BeginPaint validates the window
  }
  return false;
}

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
  std::u16string name(wc->lpszClassName);
  auto& classes = Classes();
  if (classes.count(name)) return 0;
  WNDCLASSW copy = *wc;
  copy.lpszClassName = nullptr;  // the caller's text may go; the key keeps the name
  classes[name] = copy;
  return ATOM(0xC000 + classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  return className && Classes().erase(std::u16string(className)) ? TRUE : FALSE;
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR windowName, DWORD style, int, int, int, int, HWND, HMENU,
                     HINSTANCE, LPVOID) {
  if (!className || Fails("window")) return nullptr;
  auto it = Classes().find(std::u16string(className));
  if (it == Classes().end()) return nullptr;
  State& st = S();
  HWND hwnd = new HWND__;
  hwnd->className = className;
  hwnd->title = FromWide(windowName);
  hwnd->proc = it->second.lpfnWndProc;
  hwnd->visible = (style & WS_VISIBLE) != 0;
  {
    std::lock_guard<std::recursive_mutex> g(st.lock);
    st.windows.push_back(hwnd);
    if (!st.mainWindow) st.mainWindow = hwnd;
  }
  EnsureSdl();
  UpdateWindowLock(hwnd);
  Call(hwnd, WM_CREATE, 0, 0);
  VelmiDeviceGeometry g = st.geometry;
  Call(hwnd, WM_SIZE, 0, MAKELPARAM(g.width, g.height));
  if (hwnd->visible) hwnd->invalid = hwnd->erase = true;
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  if (!Live(hwnd)) return FALSE;
  State& st = S();
  Call(hwnd, WM_DESTROY, 0, 0);
  hwnd->destroyed = true;
  {
    std::lock_guard<std::recursive_mutex> g(st.lock);
    st.queue.erase(std::remove_if(st.queue.begin(), st.queue.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                   st.queue.end());
    st.windows.erase(std::remove(st.windows.begin(), st.windows.end(), hwnd), st.windows.end());
    if (st.mainWindow == hwnd) {
      st.mainWindow = nullptr;
      ReleaseWindowLock();
    }
  }
  delete hwnd->dc;
  delete hwnd;  // handles are never reused by callers after destruction
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Live(hwnd) ? TRUE : FALSE; }

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  State& st = S();
  std::u16string cls = FromWide(className), title = FromWide(windowName);
  for (HWND w : st.windows)
    if (!w->destroyed && (!className || w->className == cls) && (!windowName || w->title == title)) return w;
  if (!className || !windowName) return nullptr;
  // Another copy of the program holds the lock of this class and title.
  std::string path = LockPathFor(cls, title);
  static HWND__ remote;
  int fd = ::open(path.c_str(), O_RDWR);
  if (fd < 0) return nullptr;
  bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  if (!held) return nullptr;
  remote.remote = true;
  remote.className = cls;
  remote.title = title;
  remote.lockPath = path;
  return &remote;
}

BOOL SetForegroundWindow(HWND hwnd) {
  // The low bit asks to bring owned windows forward too; it is not part of the handle.
  hwnd = HWND(uintptr_t(hwnd) & ~uintptr_t(1));
  if (!hwnd) return FALSE;
  State& st = S();
  if (hwnd->remote) {
    std::string req = hwnd->lockPath + ".raise";
    int fd = ::open(req.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return FALSE;
    ::close(fd);
    return TRUE;
  }
  if (!Live(hwnd)) return FALSE;
  hwnd->minimized = false;
  st.foreground = true;
  if (st.sdlWindow) {
    SDL_RestoreWindow(st.sdlWindow);
    SDL_RaiseWindow(st.sdlWindow);
  }
  return TRUE;
}

HWND GetForegroundWindow(void) {
  State& st = S();
  PumpEvents();
  if (!st.mainWindow || !st.foreground || st.mainWindow->minimized) return nullptr;
  return st.mainWindow;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  if (!Live(hwnd)) return FALSE;
  State& st = S();
  BOOL was = hwnd->visible;
  switch (cmdShow) {
    case SW_HIDE:
      hwnd->visible = false;
      if (st.sdlWindow && hwnd == st.mainWindow) SDL_HideWindow(st.sdlWindow);
      break;
    case SW_MINIMIZE:
      hwnd->minimized = true;
      if (st.sdlWindow && hwnd == st.mainWindow) SDL_MinimizeWindow(st.sdlWindow);
      break;
    default:
      hwnd->visible = true;
      if (hwnd->minimized) {
        hwnd->minimized = false;
        if (Headless()) st.foreground = true;
      }
      hwnd->invalid = hwnd->erase = true;
      if (st.sdlWindow && hwnd == st.mainWindow) {
        SDL_ShowWindow(st.sdlWindow);
        SDL_RestoreWindow(st.sdlWindow);
      }
      break;
  }
  return was;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!Live(hwnd)) return FALSE;
  if (hwnd->invalid) Call(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  if (!Live(hwnd)) return FALSE;
  hwnd->title = FromWide(text);
  State& st = S();
  if (st.sdlWindow && hwnd == st.mainWindow)
    SDL_SetWindowTitle(st.sdlWindow, velmi::WideToUtf8Lossy(hwnd->title).c_str());
  UpdateWindowLock(hwnd);
  return TRUE;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  if (!Live(hwnd)) return 0;
  if (index == GWL_USERDATA) return hwnd->userData;
  if (index == GWL_WNDPROC) return LONG_PTR(hwnd->proc);
  return 0;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  if (!Live(hwnd)) return 0;
  LONG_PTR old = GetWindowLongPtrW(hwnd, index);
  if (index == GWL_USERDATA) hwnd->userData = value;
  if (index == GWL_WNDPROC) hwnd->proc = WNDPROC(value);
  return old;
}

LONG GetWindowLongW(HWND hwnd, int index) { return LONG(GetWindowLongPtrW(hwnd, index)); }
LONG SetWindowLongW(HWND hwnd, int index, LONG value) { return LONG(SetWindowLongPtrW(hwnd, index, value)); }

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT lo, UINT hi, UINT removeMsg) {
  PumpEvents();
  return Take(msg, hwnd, lo, hi, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT lo, UINT hi) {
  for (;;) {
    PumpEvents();
    if (Take(msg, hwnd, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
    SDL_Delay(1);
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }  // the game reads no WM_CHAR

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  return Call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !Live(hwnd)) return FALSE;
  Post(hwnd, message, wParam, lParam);
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Call(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  st.quitPosted = true;
  st.quitCode = exitCode;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      return 0;
  }
}

HDC GetDC(HWND hwnd) {
  if (hwnd && !Live(hwnd)) return nullptr;
  if (!hwnd) {
    static HDC__ screen;
    screen.kind = 0;
    return &screen;
  }
  if (!hwnd->dc) {
    hwnd->dc = new HDC__;
    hwnd->dc->kind = 1;
    hwnd->dc->hwnd = hwnd;
  }
  return hwnd->dc;
}

int ReleaseDC(HWND, HDC hdc) { return hdc ? 1 : 0; }

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!Live(hwnd) || !ps) return nullptr;
  *ps = PAINTSTRUCT{};
  ps->hdc = GetDC(hwnd);
  GetClientRect(hwnd, &ps->rcPaint);
  bool erase = hwnd->erase;
  hwnd->invalid = hwnd->erase = false;
  if (erase) ps->fErase = Call(hwnd, WM_ERASEBKGND, WPARAM(ps->hdc), 0) ? FALSE : TRUE;
  return ps->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) {
  RefreshDisplay(false);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
  if (!Live(hwnd)) return FALSE;
  hwnd->invalid = true;
  if (erase) hwnd->erase = true;
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  if (!Live(hwnd) || !rect) return FALSE;
  VelmiDeviceGeometry g = S().geometry;
  *rect = RECT{0, 0, g.width, g.height};
  return TRUE;
}

HGDIOBJ GetStockObject(int object) {
  // Stock brushes are their colour plus one, so that black is not null.
  switch (object) {
    case BLACK_BRUSH:
      return HGDIOBJ(uintptr_t(1));
    case WHITE_BRUSH:
      return HGDIOBJ(uintptr_t(0xFFFFFF + 1));
    case NULL_BRUSH:
      return HGDIOBJ(uintptr_t(0x2000000));
    default:
      return nullptr;
  }
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!hdc || !rect || !brush) return 0;
  uintptr_t b = uintptr_t(brush);
  if (b == 0 || b > 0x1000000) return 1;  // the null brush paints nothing
  if (hdc->kind > 1) return 0;            // other backends' contexts
  COLORREF c = COLORREF(b - 1);
  uint16_t px = Rgb565FromBgr(c);
  VelmiDeviceGeometry g = S().geometry;
  uint16_t* fb = FrameBuffer();
  int l = std::max<LONG>(0, rect->left), t = std::max<LONG>(0, rect->top);
  int r = std::min<LONG>(g.width, rect->right), bo = std::min<LONG>(g.height, rect->bottom);
  for (int y = t; y < bo; ++y)
    for (int x = l; x < r; ++x) fb[size_t(y) * g.width + x] = px;
  return 1;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  if (!hdc) return 0xFFFFFFFF;
  COLORREF old = hdc->bkColor;
  hdc->bkColor = color;
  return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  if (!hdc) return 0xFFFFFFFF;
  COLORREF old = hdc->textColor;
  hdc->textColor = color;
  return old;
}

int SetBkMode(HDC hdc, int mode) {
  if (!hdc) return 0;
  int old = hdc->bkMode;
  hdc->bkMode = mode;
  return old;
}

void velmi_device::TellMessageBox(const std::string& caption, const std::string& text) {
  State& st = S();
  {
    std::lock_guard<std::recursive_mutex> g(st.lock);
    st.messageBoxes.push_back(caption + ": " + text);
    // The report holds one line per event: the text's line breaks become " | ".
    std::string line;
    for (char ch : text) {
      if (ch == '\r') continue;
      if (ch == '\n')
        line += " | ";
      else
        line += ch;
    }
    ReportLine(std::to_string(st.frameCount) + " message [" + caption + "] " + line);
  }
  ErrorLine("message box [%s] %s", caption.c_str(), text.c_str());
}

int GetSystemMetrics(int index) {
  VelmiDeviceGeometry g = S().geometry;
  if (index == SM_CXSCREEN) return g.width;
  if (index == SM_CYSCREEN) return g.height;
  return 0;
}

void SystemIdleTimerReset(void) {
  State& st = S();
  unsigned frame;
  {
    std::lock_guard<std::recursive_mutex> g(st.lock);
    frame = ++st.frameCount;
    // The frame about to run takes in every press delivered so far.
    st.keysPressed.clear();
    st.stylusPressed = false;
  }
  RunScriptFrame(frame);
}

HIMC ImmAssociateContext(HWND hwnd, HIMC himc) {
  // The emulated device has no input method; hand back what was associated.
  static HIMC current = HIMC(uintptr_t(0x1000));
  if (!hwnd) return nullptr;
  HIMC old = current;
  current = himc;
  return old;
}

unsigned VelmiDeviceFrameCount() { return S().frameCount; }

std::vector<std::string> VelmiDeviceMessageBoxes() {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  return st.messageBoxes;
}

void VelmiDeviceReset() {
  State& st = S();
  while (!st.windows.empty()) DestroyWindow(st.windows.back());
  ReleaseWindowLock();
  ShutdownSdl();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  Classes().clear();
  st.queue.clear();
  st.quitPosted = false;
  st.mainWindow = nullptr;
  st.foreground = true;
  st.frameCount = 0;
  st.raiseRequests = 0;
  st.messageBoxes.clear();
  st.boxFace.clear();
  st.lastShownBox = VelmiDeviceBoxLayout{};
  st.gxOpen = st.gxSuspended = false;
  st.failure.clear();
  st.displayFailure.clear();
  st.scripted = false;
  st.stylusDown = false;
  st.keysPressed.clear();
  st.stylusPressed = false;
  ResetScript();
  ResetReports();
}
