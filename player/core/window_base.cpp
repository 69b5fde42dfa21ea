#include "player/core/window_base.h"

#include <cstring>

#include "common/file.h"
#include "common/sjis.h"
#include "player/core/texts.h"

namespace {

CWindowBase* g_creatingOwner = nullptr;

// The record the thunk keeps in the window's user-data word.
struct ThunkRecord {
  CWindowBase* owner;
  uint32_t zero;
  HWND hwnd;
};

// A local-heap UTF-16 copy of Shift-JIS text; the caller frees it.
WCHAR* ToWide(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  WCHAR* w = static_cast<WCHAR*>(LocalAlloc(LMEM_ZEROINIT, size_t(n) * sizeof(WCHAR)));
  if (!w) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, text, -1, w, n);
  return w;
}

}  // namespace

CWindowBase::CWindowBase()
    : hwnd(nullptr),
      instance(nullptr),
      owner(this),
      showCmd(0),
      registerExtra(0),
      atom(0),
      frameCountWord(0),
      lastSecondFrames(0),
      counterByte(0),
      counterStarted(0),
      timer{},
      windowClass{},
      afterClass(1),
      title{},
      thunkRecord(nullptr) {
  StrCopy(title, kTextDefaultTitle);
}

CWindowBase::~CWindowBase() {
  // The window may be gone already; the record is found through the object.
  if (hwnd && IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWL_USERDATA) == reinterpret_cast<LONG_PTR>(thunkRecord))
    SetWindowLongPtrW(hwnd, GWL_USERDATA, 0);
  if (thunkRecord) LocalFree(thunkRecord);
  thunkRecord = nullptr;
}

LRESULT CWindowBase::HandleMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultHandler(h, message, wParam, lParam);
}

void CWindowBase::CounterHook(int event) {
  if (event == 1) {
    if (!counterStarted) ++frameCountWord;
    counterStarted = 1;
    counterByte = uint8_t(frameCountWord & 1);
  } else if (event == 2) {
    lastSecondFrames = frameCountWord;
    frameCountWord = 0;
    counterByte = 0;
  }
}

ATOM CWindowBase::RegisterClass(HINSTANCE inst, int extra, UINT style, const char* className) {
  registerExtra = extra;
  std::memset(&windowClass, 0, sizeof windowClass);
  WCHAR* name = ToWide(className);
  if (!name) return 0;
  windowClass.style = style;
  windowClass.lpfnWndProc = WindowProcThunk;
  windowClass.hInstance = inst;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = name;
  atom = RegisterClassW(&windowClass);
  windowClass.lpszClassName = nullptr;
  LocalFree(name);
  return atom;
}

HWND CWindowBase::Create(HINSTANCE inst, int x, int y, int width, int height, DWORD style, const char* className,
                         int show, DWORD exStyle) {
  WCHAR* cls = ToWide(className);
  WCHAR* text = ToWide(title);
  HWND h = nullptr;
  if (cls && text) {
    SetInstanceHandle(inst);
    g_creatingOwner = this;
    h = CreateWindowExW(exStyle, cls, text, style, x, y, width, height, nullptr, nullptr, inst, nullptr);
    g_creatingOwner = nullptr;
  }
  if (cls) LocalFree(cls);
  if (text) LocalFree(text);
  hwnd = h;
  instance = inst;
  showCmd = show;
  return h;
}

void CWindowBase::SetTitle(const char* text) {
  size_t n = StrLength(text);
  if (n >= sizeof title) return;
  StrCopy(title, text);
  if (!hwnd) return;
  WCHAR* w = ToWide(title);
  if (!w) return;
  SetWindowTextW(hwnd, w);
  LocalFree(w);
}

void CWindowBase::OnPaintBase(HWND h) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h, &ps);
  SetBkColor(dc, RGB(0, 0, 0));
  SetTextColor(dc, 255);
  SetBkMode(dc, TRANSPARENT);
  EndPaint(h, &ps);
}

LRESULT CWindowBase::OnEraseBackground(HWND h, HDC dc) {
  RECT r;
  GetClientRect(h, &r);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  return 0;
}

LRESULT CWindowBase::DefaultHandler(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_MOVE:
    case WM_ACTIVATE:
    case WM_TIMER:
    case WM_INITMENUPOPUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      OnPaintBase(h);
      return 0;
    case WM_CLOSE:
      DestroyWindow(h);
      return 0;
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
      return DefWindowProcW(h, message, 0, lParam);
    case WM_ERASEBKGND:
      return OnEraseBackground(h, reinterpret_cast<HDC>(wParam));
    default:
      return DefWindowProcW(h, message, wParam, lParam);
  }
}

LRESULT WindowProcThunk(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* rec = reinterpret_cast<ThunkRecord*>(GetWindowLongPtrW(h, GWL_USERDATA));
  if (!rec) {
    if (!g_creatingOwner) return DefWindowProcW(h, message, wParam, lParam);
    rec = static_cast<ThunkRecord*>(LocalAlloc(LMEM_ZEROINIT, sizeof(ThunkRecord)));
    if (!rec) return 0;
    rec->owner = g_creatingOwner;
    rec->hwnd = h;
    g_creatingOwner->thunkRecord = rec;
    SetWindowLongPtrW(h, GWL_USERDATA, reinterpret_cast<LONG_PTR>(rec));
  }
  if (rec->hwnd != h) return 0;
  return rec->owner->HandleMessage(h, message, wParam, lParam);
}
