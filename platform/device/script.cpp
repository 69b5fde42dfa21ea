// Scripted input of headless runs: keys, taps, screenshots, focus changes,
// the close box and jumps of the fake clock, each at a frame number, and
// waits for a game mode.  One action a line, "<frame> <verb> <args>":
//   key down|up <name or code>   UP DOWN LEFT RIGHT A B C D E START, or 1-255
//   tap <x> <y>                  stylus down at the frame, up at the next
//   down|up|move <x> <y>         single stylus events; positions are pixels
//                                of the screen as held, or after a line
//   canvas <w> <h>               points of a w x h area scaled to that
//                                screen, so one script taps the same places
//                                at every screen size (the frame is unused)
//   shot|rawshot <file.png>      the screen as held / the frame buffer
//   focus 0|1                    lose / regain the foreground
//   quit                         the close box
//   clock <ms>                   the fake clock jumps forward by ms, so the
//                                game's timed waits see that time pass;
//                                nothing under the real clock
//   wait <mode> [<phase>|*] [<limit>]
//                                holds the lines after it until the game
//                                reports the mode (and phase); their frames
//                                count from the frame that reported it
//   waitfile <path> [<limit>]    holds the lines after it until the file
//                                exists: the program that started this one
//                                makes it when the run may go on
#include "device_internal.h"

#include <SDL.h>
#include <velmi_platform.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velmi_device {

namespace {

struct Action {
  unsigned frame;
  std::string verb;
  std::string a, b, c;
  int canvasWidth = 0, canvasHeight = 0;  // stylus positions: 0, held pixels
};

std::vector<Action>& Actions() {
  static std::vector<Action> actions;
  return actions;
}

// The lines after a wait, their frames counted from the frame that ended
// the wait; the wait's own frame counts from the end of the wait before it.
struct Segment {
  unsigned waitFrame;
  int mode;
  int phase;         // -1: any phase
  unsigned limit;    // 0: none
  std::string file;  // a wait for this file, not for a mode
  std::vector<Action> actions;
};

struct Waits {
  std::deque<Segment> pending;
  unsigned base = 0;  // frame at which the running segment began
};

Waits& W() {
  static Waits waits;
  return waits;
}

void SortActions() {
  auto& list = Actions();
  std::stable_sort(list.begin(), list.end(), [](const Action& x, const Action& y) { return x.frame < y.frame; });
}

bool ParseNumber(const std::string& s, long* out) {
  char* end = nullptr;
  *out = std::strtol(s.c_str(), &end, 0);
  return !s.empty() && end && *end == 0;
}

int KeyFromName(const std::string& s) {
  static const struct {
    const char* name;
    int code;
  } names[] = {{"UP", VK_UP},  {"DOWN", VK_DOWN}, {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT}, {"A", VK_APP1},
               {"B", VK_APP2}, {"C", VK_APP3},    {"D", VK_APP4},    {"E", VK_APP5},      {"START", VK_RETURN}};
  for (auto& n : names)
    if (s == n.name) return n.code;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (end && *end == 0 && v > 0 && v < 256) return int(v);
  return -1;
}

void Run(const Action& a);

// Ends the running wait at the frame: the lines after it join the actions.
void EndWait(unsigned frame) {
  Waits& w = W();
  w.base = frame;
  for (Action a : w.pending.front().actions) {
    a.frame += frame;
    Actions().push_back(a);
  }
  w.pending.pop_front();
  SortActions();
}

// A wait whose limit has passed reports what it waited for (a mode's
// number or a file) and closes the program.
void WaitRanOut(unsigned frame, const std::string& what, const char* kind) {
  ReportLine(std::to_string(frame) + " timeout " + what);
  ErrorLine("wait for %s %s ran out at frame %u", kind, what.c_str(), frame);
  W().pending.clear();
  Run(Action{frame, "quit", "", "", ""});
}

// File waits are looked at once a frame, before the frame's actions.
void CheckFileWait(unsigned frame) {
  Waits& w = W();
  while (!w.pending.empty() && !w.pending.front().file.empty()) {
    const Segment& next = w.pending.front();
    const unsigned from = w.base + next.waitFrame;
    if (frame < from) return;
    if (std::ifstream(next.file, std::ios::binary)) {
      EndWait(frame);
      continue;
    }
    if (next.limit && frame >= from + next.limit) WaitRanOut(frame, next.file, "file");
    return;
  }
}

void Run(const Action& a) {
  State& st = S();
  HWND w = st.mainWindow;
  if (a.verb == "key") {
    int code = KeyFromName(a.b);
    if (w && code > 0) Post(w, a.a == "up" ? WM_KEYUP : WM_KEYDOWN, WPARAM(code), 0);
  } else if (a.verb == "tap" || a.verb == "down" || a.verb == "up" || a.verb == "move") {
    long x = std::atol(a.a.c_str()), y = std::atol(a.b.c_str());
    if (a.canvasWidth > 0 && a.canvasHeight > 0) {
      int width = 0, height = 0;
      VelmiDeviceHeldSize(&width, &height);
      x = x * width / a.canvasWidth;
      y = y * height / a.canvasHeight;
    }
    POINT p = VelmiDeviceHeldToWindow(int(x), int(y));
    LPARAM lp = MAKELPARAM(p.x, p.y);
    if (!w) return;
    if (a.verb == "tap" || a.verb == "down") Post(w, WM_LBUTTONDOWN, 1, lp);
    if (a.verb == "up") Post(w, WM_LBUTTONUP, 0, lp);
    if (a.verb == "move") Post(w, WM_MOUSEMOVE, 1, lp);
    if (a.verb == "tap") {
      Action up = a;
      up.frame = a.frame + 1;
      up.verb = "up";
      Actions().push_back(up);
    }
  } else if (a.verb == "shot" || a.verb == "rawshot") {
    if (!VelmiDeviceScreenshot(a.a.c_str(), a.verb == "rawshot")) ErrorLine("cannot write %s", a.a.c_str());
  } else if (a.verb == "clock") {
    if (VelmiClockIsFake()) VelmiClockAdvance(DWORD(std::strtoul(a.a.c_str(), nullptr, 10)));
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
  CheckFileWait(frame);
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

void ResetScript() {
  Actions().clear();
  W().pending.clear();
  W().base = 0;
}

void ScriptModeReported(unsigned frame, int mode, int phase) {
  Waits& w = W();
  while (!w.pending.empty()) {
    const Segment& next = w.pending.front();
    if (!next.file.empty()) return;  // a file wait holds the mode waits after it
    unsigned from = w.base + next.waitFrame;
    if (frame < from) return;
    if (mode == next.mode && (next.phase < 0 || phase == next.phase)) {
      EndWait(frame);
      continue;
    }
    if (next.limit && frame >= from + next.limit) WaitRanOut(frame, std::to_string(next.mode), "mode");
    return;
  }
}

}  // namespace velmi_device

using namespace velmi_device;

bool VelmiDeviceLoadScript(const char* text) {
  if (!text) return false;
  std::istringstream in(text);
  std::string line;
  std::vector<Action> running;
  std::deque<Segment> segments;
  int canvasWidth = 0, canvasHeight = 0;  // set by a "canvas" line
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream ls(line);
    Action a{};
    long frame = -1;
    ls >> frame >> a.verb >> a.a >> a.b >> a.c;
    if (frame < 0 || a.verb.empty()) return false;
    a.frame = unsigned(frame);
    if (a.verb == "wait") {
      long mode = 0, phase = -1, limit = 0;
      if (!ParseNumber(a.a, &mode)) return false;
      if (!a.b.empty() && a.b != "*" && !ParseNumber(a.b, &phase)) return false;
      if (!a.c.empty() && (!ParseNumber(a.c, &limit) || limit < 0)) return false;
      segments.push_back(Segment{a.frame, int(mode), int(phase), unsigned(limit), {}, {}});
      continue;
    }
    if (a.verb == "waitfile") {
      long limit = 0;
      if (a.a.empty() || (!a.b.empty() && (!ParseNumber(a.b, &limit) || limit < 0))) return false;
      segments.push_back(Segment{a.frame, 0, -1, unsigned(limit), a.a, {}});
      continue;
    }
    if (a.verb == "canvas") {
      long width = 0, height = 0;
      if (!ParseNumber(a.a, &width) || !ParseNumber(a.b, &height) || width <= 0 || height <= 0 || width > 65535 ||
          height > 65535)
        return false;
      canvasWidth = int(width);
      canvasHeight = int(height);
      continue;
    }
    if (a.verb == "tap" || a.verb == "down" || a.verb == "up" || a.verb == "move") {
      a.canvasWidth = canvasWidth;
      a.canvasHeight = canvasHeight;
    }
    if (a.verb == "clock") {
      long ms = 0;
      if (!ParseNumber(a.a, &ms) || ms < 0 || ms > 0x7FFFFFFFL) return false;
      a.a = std::to_string(ms);
    }
    (segments.empty() ? running : segments.back().actions).push_back(a);
  }
  // Lines before the first wait join the last segment already waiting, if any.
  Waits& w = W();
  if (w.pending.empty()) {
    Actions().insert(Actions().end(), running.begin(), running.end());
    SortActions();
  } else {
    auto& last = w.pending.back().actions;
    last.insert(last.end(), running.begin(), running.end());
  }
  w.pending.insert(w.pending.end(), segments.begin(), segments.end());
  return true;
}

bool VelmiDeviceLoadScriptFile(const char* path) {
  std::ifstream f(path ? path : "", std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  return VelmiDeviceLoadScript(ss.str().c_str());
}
