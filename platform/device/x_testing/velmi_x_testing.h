// Helpers for tests of the device on a real X server: a private Xvfb, the X
// input focus, and keys pressed through XTest as a keyboard presses them.
// They keep the X headers inside the platform; tests see none of them.
#pragma once

#include <string>

struct SDL_Window;

namespace velmi_x_testing {

// True when an Xvfb program is on PATH.
bool XvfbInstalled();

// An Xvfb of its own on a free display number, without a window manager,
// stopped and waited for when the object goes.
class XServer {
 public:
  XServer() = default;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer();
  // Starts the server and waits until it takes connections (at most
  // `seconds`); false with the reason in *error when it does not come up.
  bool Start(int seconds, std::string* error);
  // ":<number>", for DISPLAY.
  const std::string& display() const { return display_; }

 private:
  long pid_ = -1;
  std::string display_;
};

// True when the X input focus of the server DISPLAY names is the X window
// behind `window` (an SDL window of the x11 video driver).
bool HasInputFocus(SDL_Window* window);

// Presses and releases the key of an X keysym name ("Return", "z") through
// the XTest extension of the server DISPLAY names: the server delivers it to
// the window with the input focus, as a keyboard's.  False when the server
// has no XTest or no key for the name.
bool PressKey(const char* keysymName);

}  // namespace velmi_x_testing
