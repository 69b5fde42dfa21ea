// The application's side of input: window messages, keys and the stylus
// feed the input block, and each frame latches it.
#include <cstring>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/input.h"
#include "player/core/screen.h"
#include "player/menu/popup_menu.h"

LRESULT CGameApp::OnWindowMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      return 0;
    case WM_LBUTTONDOWN:
      input.wentDown = 1;
      input.held = 1;
      OnStylusMove(POINT{int16_t(LOWORD(lParam)), int16_t(HIWORD(lParam))});
      return 0;
    case WM_LBUTTONUP:
      input.wentDown = 0;
      input.held = 0;
      input.releasedSinceLatch = 1;
      return 0;
    case WM_MOUSEMOVE:
      OnStylusMove(POINT{int16_t(LOWORD(lParam)), int16_t(HIWORD(lParam))});
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      OnKey(h, int(wParam), message == WM_KEYDOWN);
      return 0;
    default:
      return DefaultHandler(h, message, wParam, lParam);
  }
}

void CGameApp::OnStylusMove(POINT p) {
  int x = p.x, y = p.y;
  if (screen) MapStylusPoint(&screen->mode, &x, &y);
  input.stylusX = uint32_t(x);
  input.stylusY = uint32_t(y);
}

void CGameApp::OnKey(HWND, int code, int down) {
  keyMap.OnKey(&input, code, down, settings.cursorMode, settings.keyDoubleClick);
  if (!menu) return;
  if (settings.centerKeyAction == 1) {
    if ((input.count[IN_START] == 1 || input.count[IN_KEY_B] == 1) && menu->Open())
      input.count[IN_START] = input.count[IN_KEY_B] = 0;
  } else if (input.count[IN_KEY_B] == 1 && menu->Open()) {
    input.count[IN_KEY_B] = 0;
  }
}

void CGameApp::LatchInput() {
  InputState& in = input;
  in.tap = in.wentDown;
  in.wentDown = 0;
  in.released = in.releasedSinceLatch;
  in.releasedSinceLatch = 0;
  if (in.tap) in.count[IN_KEY_C] = in.count[IN_KEY_A] = in.count[IN_KEY_B] = 0;
  if (in.tap || in.count[IN_KEY_C] == 1 || in.count[IN_KEY_A] == 1 || in.count[IN_KEY_B] == 1) {
    in.count[IN_UP] = in.count[IN_DOWN] = in.count[IN_LEFT] = in.count[IN_RIGHT] = in.count[IN_START] = 0;
    std::memset(in.armed, 0, sizeof in.armed);
  }
  if (menu && menu->IsOpen()) return;
  if (settings.lockSkip && in.count[IN_LEFT] == 1) {
    in.count[IN_LEFT] = 0;
    settings.skipRunning = 1;
    return;
  }
  if (settings.skipRunning && (in.count[IN_KEY_C] == 1 || in.tap || in.count[IN_RIGHT] == 1)) {
    settings.skipRunning = 0;
    in.count[IN_KEY_C] = 0;
    in.tap = 0;
    in.count[IN_RIGHT] = 0;
  }
}
