// Scripted input of headless runs: keys, taps, screenshots, focus changes
// and the close box, each at a frame number.
#include "device_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velmi_device {

namespace {

struct Action {
  unsigned frame;
  std::string verb;
  std::string a, b;
};

std::vector<Action>& Actions() {
  static std::vector<Action> actions;
  return actions;
}

int KeyFromName(const std::string& s) {
  static const struct {
    const char* name;
    int code;
  } names[] = {{"UP", VK_UP},     {"DOWN", VK_DOWN}, {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT}, {"A", VK_APP1},
               {"B", VK_APP2},    {"C", VK_APP3},    {"D", VK_APP4},    {"E", VK_APP5},      {"START", VK_RETURN}};
  for (auto& n : names)
    if (s == n.name) return n.code;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (end && *end == 0 && v > 0 && v < 256) return int(v);
  return -1;
}

void Run(const Action& a) {
  State& st = S();
  HWND w = st.mainWindow;
  if (a.verb == "key") {
    int code = KeyFromName(a.b);
    if (w && code > 0) Post(w, a.a == "up" ? WM_KEYUP : WM_KEYDOWN, WPARAM(code), 0);
  } else if (a.verb == "tap" || a.verb == "down" || a.verb == "up" || a.verb == "move") {
    POINT p = VelmiDeviceHeldToWindow(std::atoi(a.a.c_str()), std::atoi(a.b.c_str()));
    LPARAM lp = MAKELPARAM(p.x, p.y);
    if (!w) return;
    if (a.verb == "tap" || a.verb == "down") Post(w, WM_LBUTTONDOWN, 1, lp);
    if (a.verb == "up") Post(w, WM_LBUTTONUP, 0, lp);
    if (a.verb == "move") Post(w, WM_MOUSEMOVE, 1, lp);
    if (a.verb == "tap") Actions().push_back(Action{a.frame + 1, "up", a.a, a.b});
  } else if (a.verb == "shot" || a.verb == "rawshot") {
    if (!VelmiDeviceScreenshot(a.a.c_str(), a.verb == "rawshot"))
      std::fprintf(stderr, "velmi-device: cannot write %s\n", a.a.c_str());
  } else if (a.verb == "focus") {
    st.foreground = a.a != "0";
    if (st.foreground && w) w->minimized = false;
  } else if (a.verb == "quit") {
    if (st.sdlReady) {
      SDL_Event e{};
      e.type = SDL_QUIT;
      SDL_PushEvent(&e);
    } else if (w) {
      Post(w, WM_CLOSE, 0, 0);
    }
  }
}

}  // namespace

void RunScriptFrame(unsigned frame) {
  auto& list = Actions();
  // Actions may add actions (a tap's release); walk by index.
  for (size_t i = 0; i < list.size();) {
    if (list[i].frame <= frame) {
      Action a = list[i];
      list.erase(list.begin() + long(i));
      Run(a);
    } else {
      ++i;
    }
  }
}

void ResetScript() { Actions().clear(); }

}  // namespace velmi_device

using namespace velmi_device;

bool VelmiDeviceLoadScript(const char* text) {
  if (!text) return false;
  std::istringstream in(text);
  std::string line;
  std::vector<Action> parsed;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream ls(line);
    Action a{};
    long frame = -1;
    ls >> frame >> a.verb >> a.a >> a.b;
    if (frame < 0 || a.verb.empty()) return false;
    a.frame = unsigned(frame);
    parsed.push_back(a);
  }
  auto& list = Actions();
  list.insert(list.end(), parsed.begin(), parsed.end());
  std::stable_sort(list.begin(), list.end(), [](const Action& x, const Action& y) { return x.frame < y.frame; });
  return true;
}

bool VelmiDeviceLoadScriptFile(const char* path) {
  std::ifstream f(path ? path : "", std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  return VelmiDeviceLoadScript(ss.str().c_str());
}
