// The message box on a real X server with no window manager (a private
// Xvfb): a key pressed on the keyboard closes the box, and the game window
// then holds the X input focus, stays in the foreground and takes the keys.
// Nothing else hands the focus back here: with no window manager it goes
// nowhere when the box's window is destroyed, unless the device gives it.
#include <gtest/gtest.h>

#include <SDL.h>
#include <velmi_device.h>
#include <velmi_x_testing.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/device/device_internal.h"
#include "tests/player/message_pump.h"
#include "tests/support/temp_folder.h"

// SDL's x11 video opens a D-Bus connection; libdbus keeps a buffer of it
// for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

// Polls `done` every 10 ms until it holds or `ms` have passed.
bool Within(Uint32 ms, const std::function<bool()>& done) {
  const Uint32 end = SDL_GetTicks() + ms;
  for (;;) {
    if (done()) return true;
    if (SDL_TICKS_PASSED(SDL_GetTicks(), end)) return false;
    SDL_Delay(10);
  }
}

// The box, seen by an event watch when SDL shows it: once the X focus is on
// its window, Enter is pressed through XTest; should that fail, the box is
// closed by its close button so that the test goes on to report it.
struct BoxWatch {
  Uint32 boxId = 0;
  bool focused = false;  // the box's window held the X focus
  bool keyPressed = false;
};

int OnBoxShown(void* data, SDL_Event* e) {
  BoxWatch* w = static_cast<BoxWatch*>(data);
  if (e->type != SDL_WINDOWEVENT || e->window.event != SDL_WINDOWEVENT_SHOWN || w->boxId) return 1;
  SDL_Window* box = SDL_GetWindowFromID(e->window.windowID);
  if (!box || box == velmi_device::S().sdlWindow) return 1;
  w->boxId = e->window.windowID;
  w->focused = Within(1000, [&] { return velmi_x_testing::HasInputFocus(box); });
  w->keyPressed = w->focused && velmi_x_testing::PressKey("Return");
  if (!w->keyPressed) {
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = w->boxId;
    SDL_PushEvent(&close);
  }
  return 1;
}

std::vector<MSG> g_keys;  // key messages the game window was handed
LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN || m == WM_KEYUP) g_keys.push_back(MSG{h, m, w, l, 0, {}});
  return DefWindowProcW(h, m, w, l);
}

TEST(MessageBoxOnX, TheGameWindowHasTheFocusAfterTheBox) {
  if (!velmi_x_testing::XvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
  velmi_x_testing::XServer server;
  std::string error;
  ASSERT_TRUE(server.Start(30, &error)) << error;
  const char* oldDisplay = std::getenv("DISPLAY");
  const std::string savedDisplay = oldDisplay ? oldDisplay : "";
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  // Neither window uses OpenGL: the game window draws through SDL's software
  // renderer, as on an X server without GLX.
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  vtest::TempFolder dir("message_box_x11");
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(false);
  VelmiDeviceSetLockDir(dir.Str().c_str());
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = u"XBOXTEST";
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND hwnd = CreateWindowExW(0, u"XBOXTEST", u"game", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  SDL_Window* game = velmi_device::S().sdlWindow;
  ASSERT_NE(game, nullptr) << SDL_GetError();
  ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
  // The box draws its text itself (SDL's own box would not be seen by the watch).
  ASSERT_TRUE(VelmiDeviceDrawMessageBox("save not written", 1024, 768, nullptr, nullptr));

  // The game window takes the focus when it is shown.
  EXPECT_TRUE(Within(1000, [&] { return GetForegroundWindow() == hwnd && SDL_GetKeyboardFocus() == game; }));
  DispatchAll();
  g_keys.clear();

  BoxWatch watch;
  SDL_AddEventWatch(OnBoxShown, &watch);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(hwnd, u"save not written", u"Error", 0), IDOK);
  testing::internal::GetCapturedStderr();
  SDL_DelEventWatch(OnBoxShown, &watch);
  ASSERT_NE(watch.boxId, 0u) << "no box window was shown";
  EXPECT_TRUE(watch.focused) << "the box's window never held the X focus";
  EXPECT_TRUE(watch.keyPressed) << "Enter could not be pressed through XTest";

  // Within a second the game window holds the X input focus, and SDL knows it.
  EXPECT_TRUE(Within(1000, [&] {
    GetForegroundWindow();  // takes the X events in
    return SDL_GetKeyboardFocus() == game && velmi_x_testing::HasInputFocus(game);
  })) << "keyboard focus of SDL: " << SDL_GetKeyboardFocus() << ", game window: " << game;
  // The game stays in the foreground over the next 2 s.
  int away = 0;
  for (int i = 0; i < 100; ++i) {
    if (GetForegroundWindow() != hwnd) ++away;
    SDL_Delay(20);
  }
  EXPECT_EQ(away, 0) << "of 100 polls over 2 s";
  // The Enter that closed the box never reached the game; a key pressed now does.
  DispatchAll();
  EXPECT_TRUE(g_keys.empty()) << g_keys.size() << " key messages reached the game from the box";
  g_keys.clear();
  ASSERT_TRUE(velmi_x_testing::PressKey("z"));
  EXPECT_TRUE(Within(1000, [&] {
    DispatchAll();
    return !g_keys.empty();
  })) << "a key pressed after the box never reached the game";
  if (!g_keys.empty()) {
    EXPECT_EQ(g_keys[0].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(g_keys[0].wParam, WPARAM(VK_APP1));
  }

  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  SDL_Quit();  // also ends SDL's D-Bus connection, which x11 video opens
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("SDL_RENDER_DRIVER");
  unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
  if (oldDisplay)
    setenv("DISPLAY", savedDisplay.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
