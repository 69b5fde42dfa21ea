// The emulated device: windows and messages, scripted input, screenshots,
// GAPI and the shell calls.
#include <gtest/gtest.h>

#include <aygshell.h>
#include <velmi_device.h>
#include <velmi_platform.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/device/device_internal.h"
#include "player/core/display.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<UINT> g_seen;
LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  g_seen.push_back(m);
  if (m == WM_DESTROY) PostQuitMessage(7);
  return DefWindowProcW(h, m, w, l);
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiDeviceSetHeadless(true);
    VelmiDeviceSetGeometry(480, 640);
    dir = MakeTempDir("device");
    VelmiDeviceSetLockDir(dir.c_str());
    g_seen.clear();
    OpenWindow();
  }
  // Registers the test's window class and opens its window.
  void OpenWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = u"TESTCLASS";
    ASSERT_NE(RegisterClassW(&wc), 0);
    hwnd = CreateWindowExW(0, u"TESTCLASS", u"title", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
  }
  void TearDown() override {
    VelmiClockUseReal();
    unsetenv("VELMI_FAKE_CLOCK");
    VelmiDeviceReset();
    vtest::RemoveTree(dir);
  }
  // Drains the queue, dispatching; returns the WM_QUIT code or -1.
  int Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) return int(m.wParam);
      DispatchMessageW(&m);
    }
    return -1;
  }
  std::string dir;
  HWND hwnd = nullptr;
};

TEST_F(DeviceTest, MessagesAndQuit) {
  EXPECT_EQ(FindWindowW(u"TESTCLASS", u"title"), hwnd);
  EXPECT_EQ(FindWindowW(u"TESTCLASS", u"other"), nullptr);
  EXPECT_EQ(GetForegroundWindow(), hwnd);  // headless runs are always in front
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
  SetWindowLongPtrW(hwnd, GWL_USERDATA, 1234);
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_USERDATA), 1234);
  PostMessageW(hwnd, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, UINT(WM_USER + 1));
  Pump();  // the pending paint
  EXPECT_NE(std::find(g_seen.begin(), g_seen.end(), UINT(WM_PAINT)), g_seen.end());
  // Closing the window from the desktop arrives as WM_CLOSE; the default destroys.
  ASSERT_TRUE(VelmiDeviceLoadScript("1 quit\n"));
  SystemIdleTimerReset();
  EXPECT_EQ(Pump(), 7);
  EXPECT_NE(std::find(g_seen.begin(), g_seen.end(), UINT(WM_CLOSE)), g_seen.end());
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(DeviceTest, ScriptKeysTapsFocusAndShots) {
  std::string shot = dir + "/s.png", raw = dir + "/r.png";
  std::string script = "# comment\n2 key down A\n2 key up 0xC1\n3 tap 100 50\n4 focus 0\n5 shot " + shot +
                       "\n5 rawshot " + raw + "\n6 focus 1\n";
  ASSERT_TRUE(VelmiDeviceLoadScript(script.c_str()));
  EXPECT_FALSE(VelmiDeviceLoadScript("x key\n"));
  uint16_t* fb = VelmiDeviceFrameBuffer();
  fb[639 * 480 + 0] = 0xF800;  // held (0, 0) of a portrait panel
  std::vector<MSG> got;
  for (int f = 1; f <= 6; ++f) {
    SystemIdleTimerReset();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message != WM_PAINT) got.push_back(m);
      DispatchMessageW(&m);  // a paint stays queued until it is handled
    }
    if (f == 4) {
      EXPECT_EQ(GetForegroundWindow(), nullptr);
    }
  }
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].message, UINT(WM_KEYDOWN));
  EXPECT_EQ(got[0].wParam, WPARAM(VK_APP1));
  EXPECT_EQ(got[1].message, UINT(WM_KEYUP));
  EXPECT_EQ(got[2].message, UINT(WM_LBUTTONDOWN));
  EXPECT_EQ(got[3].message, UINT(WM_LBUTTONUP));
  // Held (100, 50) on a portrait panel is window (50, 639 - 100).
  EXPECT_EQ(LOWORD(got[2].lParam), 50);
  EXPECT_EQ(HIWORD(got[2].lParam), 539);
  int w = 0, h = 0;
  std::vector<uint16_t> px = ReadPng565(shot, &w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  EXPECT_EQ(px[0], 0xF800);
  px = ReadPng565(raw, &w, &h);
  ASSERT_EQ(w, 480);
  EXPECT_EQ(px[639 * 480], 0xF800);
}

// A press and its release that arrive between two frames reach the program
// in two turns of its message loop, a frame apart: the frame after the press
// sees it held.  What is queued behind such a release waits with it.
TEST_F(DeviceTest, QuickPressesReachTheNextFrame) {
  const struct {
    const char* name;
    const char* script;  // input of frame 1 on, or "post": posted between frames 1 and 2
    const char* want;    // per frame, what its turn of the loop delivered
  } cases[] = {
      {"a key pressed and released at once", "1 key down C\n1 key up C\n", "1: C+ | 2: C- | 3:"},
      {"quick presses in a row keep their order", "1 key down C\n1 key up C\n1 key down A\n1 key up A\n",
       "1: C+ | 2: C- A+ | 3: A-"},
      {"a double press of the centre key", "1 key down START\n1 key up START\n1 key down START\n1 key up START\n",
       "1: S+ | 2: S- S+ | 3: S-"},
      {"a click with a move", "1 down 10 10\n1 move 20 20\n1 up 20 20\n", "1: T+ T~ | 2: T- | 3:"},
      {"a held key is released at once", "1 key down C\n2 key up C\n2 key down A\n", "1: C+ | 2: C- A+ | 3:"},
      {"auto-repeat counts before the release", "1 key down C\n1 key down C\n1 key up C\n", "1: C+ C+ | 2: C- | 3:"},
      {"a release of another key passes", "1 key down C\n1 key up A\n", "1: C+ A- | 2: | 3:"},
      {"a drag", "1 down 10 10\n2 move 20 20\n3 up 20 20\n", "1: T+ | 2: T~ | 3: T-"},
      {"events from the desktop between frames", "post", "1: | 2: C+ T+ | 3: C- T- | 4:"},
  };
  for (const auto& c : cases) {
    VelmiDeviceReset();
    VelmiClockUseFake(1000);  // the hold's time limit never runs out here
    VelmiDeviceSetHeadless(true);
    VelmiDeviceSetGeometry(480, 640);
    OpenWindow();
    const bool post = std::string(c.script) == "post";
    if (!post) {
      ASSERT_TRUE(VelmiDeviceLoadScript(c.script)) << c.name;
    }
    std::string got;
    for (int f = 1; f <= (post ? 4 : 3); ++f) {
      SystemIdleTimerReset();
      got += std::string(f > 1 ? " | " : "") + std::to_string(f) + ":";
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && GetMessageW(&m, nullptr, 0, 0)) {
        const char* key = m.wParam == VK_APP3 ? "C" : m.wParam == VK_APP1 ? "A" : "S";
        if (m.message == WM_KEYDOWN) got += std::string(" ") + key + "+";
        if (m.message == WM_KEYUP) got += std::string(" ") + key + "-";
        if (m.message == WM_LBUTTONDOWN) got += " T+";
        if (m.message == WM_MOUSEMOVE) got += " T~";
        if (m.message == WM_LBUTTONUP) got += " T-";
        DispatchMessageW(&m);
      }
      if (post && f == 1) {
        // A key and a touchpad tap as the desktop delivers them: both ends at once.
        PostMessageW(hwnd, WM_KEYDOWN, VK_APP3, 0);
        PostMessageW(hwnd, WM_LBUTTONDOWN, 1, MAKELPARAM(5, 5));
        PostMessageW(hwnd, WM_KEYUP, VK_APP3, 0);
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
      }
    }
    EXPECT_EQ(got, c.want) << c.name;
  }

  // While a movie plays the program reads input without frames: after 100 ms
  // a held release goes through, and what waited behind it follows.
  ASSERT_TRUE(VelmiDeviceLoadScript("1 key down A\n1 key up A\n1 key down C\n"));
  SystemIdleTimerReset();
  std::string got;
  MSG m;
  for (const DWORD step : {0u, 99u, 1u}) {
    VelmiClockAdvance(step);
    while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && GetMessageW(&m, nullptr, 0, 0))
      got += m.message == WM_KEYDOWN ? "+" : m.message == WM_KEYUP ? "-" : "";
    got += "|";
  }
  EXPECT_EQ(got, "+||-+|");
}

// Names an input message as the tests above write it: C+ for a press of the
// C key, A- for a release of A, T+ T~ T- for the stylus.
std::string InputLabel(const MSG& m) {
  const char* key = m.wParam == VK_APP3 ? "C" : m.wParam == VK_APP1 ? "A" : m.wParam == VK_UP ? "U" : "S";
  switch (m.message) {
    case WM_KEYDOWN:
      return std::string(key) + "+";
    case WM_KEYUP:
      return std::string(key) + "-";
    case WM_LBUTTONDOWN:
      return "T+";
    case WM_MOUSEMOVE:
      return "T~";
    case WM_LBUTTONUP:
      return "T-";
    default:
      return "";
  }
}

// While a movie plays frames stand still, and a key may be held for long:
// a quick press after it still waits 100 ms from its own press, so that the
// program's input turns see it held.
TEST_F(DeviceTest, AQuickPressWaitsFromItsOwnPress) {
  const struct {
    const char* name;
    UINT heldDown;       // pressed first, held past the time limit
    UINT quickDown, up;  // then pressed and released at once
    WPARAM heldKey, quickKey;
    const char* want;  // what each turn delivered: after the press, 150 ms on, then 99 and 1 ms more
  } cases[] = {
      {"a tap of C while A is held", WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP, VK_APP1, VK_APP3, "A+|C+||C-|"},
      {"a stylus tap while A is held", WM_KEYDOWN, WM_LBUTTONDOWN, WM_LBUTTONUP, VK_APP1, 0, "A+|T+||T-|"},
      {"a tap of C while the stylus is held", WM_LBUTTONDOWN, WM_KEYDOWN, WM_KEYUP, 0, VK_APP3, "T+|C+||C-|"},
      {"a press of A again while A is held", WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP, VK_APP1, VK_APP1, "A+|A+||A-|"},
  };
  for (const auto& c : cases) {
    VelmiClockUseFake(1000);
    SystemIdleTimerReset();
    std::string got;
    auto turns = [&](DWORD step) {
      VelmiClockAdvance(step);
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && GetMessageW(&m, nullptr, 0, 0)) {
        got += InputLabel(m);
        DispatchMessageW(&m);
      }
      got += "|";
    };
    PostMessageW(hwnd, c.heldDown, c.heldKey, 0);
    turns(0);
    VelmiClockAdvance(150);
    PostMessageW(hwnd, c.quickDown, c.quickKey, 0);
    PostMessageW(hwnd, c.up, c.quickKey, 0);
    turns(0);
    turns(99);
    turns(1);
    EXPECT_EQ(got, c.want) << c.name;
    // The next frame takes in what is left: the first key's release.
    SystemIdleTimerReset();
    PostMessageW(hwnd, c.heldDown == WM_KEYDOWN ? WM_KEYUP : WM_LBUTTONUP, c.heldKey, 0);
    got.clear();
    turns(0);
    EXPECT_EQ(got, c.heldDown == WM_KEYDOWN ? "A-|" : "T-|") << c.name;
  }
}

// Random runs of presses, releases, moves, frames and clock steps, checked
// against what a frame may see.  A release waits only while its press (the
// latest press of that key, or of the stylus) came in the same frame interval
// less than 100 ms before; everything else arrives in the order posted, and
// nothing is left held after a frame.
TEST_F(DeviceTest, RandomInputReachesFramesInOrder) {
  struct Event {
    UINT message;
    WPARAM key;
  };
  const Event kinds[] = {{WM_KEYDOWN, VK_APP1}, {WM_KEYUP, VK_APP1}, {WM_KEYDOWN, VK_APP3},
                         {WM_KEYUP, VK_APP3},   {WM_KEYDOWN, VK_UP}, {WM_KEYUP, VK_UP},
                         {WM_LBUTTONDOWN, 0},   {WM_MOUSEMOVE, 0},   {WM_LBUTTONUP, 0}};
  constexpr WPARAM kStylus = ~WPARAM(0);
  constexpr DWORD kStart = 1000;
  VelmiClockUseFake(kStart);
  SystemIdleTimerReset();

  // The reference: the clock, the frame interval, when each key and the
  // stylus were last pressed, and what was posted and has not arrived.
  DWORD now = kStart;
  unsigned frame = 0;
  struct Press {
    unsigned frame;
    DWORD at;
  };
  std::map<WPARAM, Press> lastPress;
  std::deque<Event> pending;
  auto source = [&](const Event& e) { return e.message == WM_KEYDOWN || e.message == WM_KEYUP ? e.key : kStylus; };
  auto isRelease = [](UINT message) { return message == WM_KEYUP || message == WM_LBUTTONUP; };
  auto waits = [&](const Event& e) {
    if (!isRelease(e.message)) return false;
    auto p = lastPress.find(source(e));
    return p != lastPress.end() && p->second.frame == frame && now - p->second.at < 100;
  };

  int early = 0;      // releases that arrived while they had to wait
  int heldBack = 0;   // turns that found no input while the first posted could go
  std::string error;  // the first message out of order, lost or never posted
  // One turn of the program's loop; false when it found no input.
  auto turn = [&]() {
    MSG m{};
    if (!PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) || !GetMessageW(&m, nullptr, 0, 0) || m.message == WM_PAINT) {
      if (m.message == WM_PAINT) DispatchMessageW(&m);
      if (!pending.empty() && !waits(pending.front())) ++heldBack;
      return false;
    }
    const bool key = m.message == WM_KEYDOWN || m.message == WM_KEYUP;
    if (pending.empty() || m.message != pending.front().message || (key && m.wParam != pending.front().key)) {
      error = "got " + InputLabel(m) + (pending.empty() ? " with nothing posted" : " out of order");
      return false;
    }
    const Event e = pending.front();
    pending.pop_front();
    if (waits(e)) ++early;
    if (e.message == WM_KEYDOWN || e.message == WM_LBUTTONDOWN) lastPress[source(e)] = Press{frame, now};
    DispatchMessageW(&m);
    return true;
  };

  std::mt19937 rng(35);
  for (int run = 0; run < 20000 && error.empty(); ++run) {
    for (int op = 0; op < 40 && error.empty(); ++op) {
      const unsigned r = rng() % 100;
      if (r < 40) {
        const Event e = kinds[rng() % std::size(kinds)];
        PostMessageW(hwnd, e.message, e.key, 0);
        pending.push_back(e);
      } else if (r < 80) {
        turn();
      } else if (r < 86) {
        SystemIdleTimerReset();
        ++frame;
      } else {
        const DWORD step = rng() % 2 ? rng() % 50 : 10 * (rng() % 12);
        VelmiClockAdvance(step);
        now += step;
      }
    }
    // Each frame lets through at least what waited at its start, up to the
    // release of a press taken after that frame.
    while (error.empty() && !pending.empty()) {
      const size_t before = pending.size();
      SystemIdleTimerReset();
      ++frame;
      while (error.empty() && turn()) {
      }
      if (pending.size() == before) error = "input left held after a frame";
    }
  }
  EXPECT_EQ(error, "");
  EXPECT_EQ(early, 0);
  EXPECT_EQ(heldBack, 0);
  EXPECT_EQ(GetTickCount(), now);
}

// After a "canvas" line, stylus positions are points of that area scaled to
// the screen as held; a bad area refuses the script.
TEST_F(DeviceTest, ScriptTapsInCanvasUnits) {
  const struct {
    int width, height;
    unsigned x, y;    // window position of a tap at canvas (400, 300)
    unsigned x2, y2;  // and of a move to canvas (799, 0)
  } screens[] = {{480, 640, 240, 639 - 320, 0, 639 - 639}, {240, 320, 120, 319 - 160, 0, 319 - 319}};
  for (const auto& c : screens) {
    VelmiDeviceSetGeometry(c.width, c.height);
    const unsigned f = VelmiDeviceFrameCount();
    const std::string script = std::to_string(f + 1) + " tap 10 20\n0 canvas 800 600\n" + std::to_string(f + 3) +
                               " tap 400 300\n" + std::to_string(f + 5) + " move 799 0\n";
    ASSERT_TRUE(VelmiDeviceLoadScript(script.c_str()));
    std::vector<MSG> got;
    for (int n = 0; n < 5; ++n) {
      SystemIdleTimerReset();
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message != WM_PAINT) got.push_back(m);
        DispatchMessageW(&m);
      }
    }
    ASSERT_EQ(got.size(), 5u);              // two taps of down and up, one move
    EXPECT_EQ(LOWORD(got[0].lParam), 20u);  // held pixels before the canvas line
    EXPECT_EQ(HIWORD(got[0].lParam), unsigned(c.height - 1 - 10));
    EXPECT_EQ(LOWORD(got[2].lParam), c.x);
    EXPECT_EQ(HIWORD(got[2].lParam), c.y);
    EXPECT_EQ(got[3].message, UINT(WM_LBUTTONUP));
    EXPECT_EQ(got[3].lParam, got[2].lParam);
    EXPECT_EQ(LOWORD(got[4].lParam), c.x2);
    EXPECT_EQ(HIWORD(got[4].lParam), c.y2);
  }
  for (const char* bad : {"0 canvas 800\n", "0 canvas 0 600\n", "0 canvas 800 -1\n", "0 canvas x 600\n"})
    EXPECT_FALSE(VelmiDeviceLoadScript(bad)) << bad;
}

// Waits hold the lines after them until the mode is reported; their frames
// count from the frame of that report.
TEST_F(DeviceTest, ScriptWaitsForModes) {
  ASSERT_TRUE(
      VelmiDeviceLoadScript("1 key down A\n2 wait 80\n1 key down B\n3 key down C\n5 wait 99 2\n"
                            "1 key down D\n"));
  // Mode and phase the game reports at frames 1..12: 80 before the wait
  // began does not count; phase 1 of mode 99 does not end a wait for phase 2.
  const int modes[][2] = {{80, 0}, {0, 0},  {0, 0},  {80, 0}, {80, 0}, {80, 1},
                          {80, 1}, {99, 1}, {99, 1}, {99, 2}, {99, 2}, {99, 2}};
  std::vector<std::pair<int, WPARAM>> keys;  // frame of arrival, key
  for (int f = 1; f <= 12; ++f) {
    SystemIdleTimerReset();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_KEYDOWN) keys.push_back({f, m.wParam});
      DispatchMessageW(&m);
    }
    VelmiDeviceReportMode(modes[f - 1][0], modes[f - 1][1]);
  }
  const std::vector<std::pair<int, WPARAM>> want = {{1, VK_APP1}, {5, VK_APP2}, {7, VK_APP3}, {11, VK_APP4}};
  EXPECT_EQ(keys, want);
  // The log holds the changes only.
  std::vector<std::string> log;
  for (const VelmiDeviceModeChange& c : VelmiDeviceModeLog())
    log.push_back(std::to_string(c.frame) + ":" + std::to_string(c.mode) + "/" + std::to_string(c.phase));
  EXPECT_EQ(log, (std::vector<std::string>{"1:80/0", "2:0/0", "4:80/0", "6:80/1", "8:99/1", "10:99/2"}));
}

TEST_F(DeviceTest, WaitRunsOutReportsAndCloses) {
  std::string report = dir + "/report.txt";
  VelmiDeviceSetReportFile(report.c_str());
  ASSERT_TRUE(VelmiDeviceLoadScript("2 wait 50 * 3\n1 key down A\n"));
  for (const char* bad : {"1 wait x\n", "1 wait 5 y\n", "1 wait 5 * -1\n", "1 wait 5 * 2z\n"})
    EXPECT_FALSE(VelmiDeviceLoadScript(bad)) << bad;
  int quit = -1, frames = 0;
  while (quit < 0 && frames < 20) {
    SystemIdleTimerReset();
    ++frames;
    VelmiDeviceReportMode(0, frames == 3 ? 1 : 0);
    if (frames == 3) VelmiDeviceReportPictureFailure("bg\\x");
    quit = Pump();
  }
  EXPECT_EQ(frames, 5);  // waiting from frame 2, three frames without mode 50
  EXPECT_EQ(quit, 7);
  EXPECT_EQ(VelmiDeviceFailedPictures(), std::vector<std::string>{"bg\\x"});
  std::vector<uint8_t> text = ReadFileBytes(report);
  EXPECT_EQ(std::string(text.begin(), text.end()),
            "1 mode 0 0\n3 mode 0 1\n3 picture bg\\x\n4 mode 0 0\n5 timeout 50\n");
  VelmiDeviceSetReportFile("");
}

// A file wait holds the lines after it, and the mode waits after it, until
// the file is there; their frames count from the frame that found it.
TEST_F(DeviceTest, ScriptWaitsForAFile) {
  const std::string go = dir + "/go";
  ASSERT_TRUE(
      VelmiDeviceLoadScript(("1 key down A\n2 waitfile " + go + "\n1 key down B\n0 wait 80\n2 key down C\n").c_str()));
  for (const char* bad : {"1 waitfile\n", "1 waitfile x y\n", "1 waitfile x -1\n"})
    EXPECT_FALSE(VelmiDeviceLoadScript(bad)) << bad;
  std::vector<std::pair<int, WPARAM>> keys;  // frame of arrival, key
  for (int f = 1; f <= 10; ++f) {
    if (f == 5) {
      ASSERT_TRUE(WriteFileBytes(go, {}));
    }
    SystemIdleTimerReset();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_KEYDOWN) keys.push_back({f, m.wParam});
      DispatchMessageW(&m);
    }
    VelmiDeviceReportMode(80, 0);  // the mode wait's mode, from the first frame on
  }
  const std::vector<std::pair<int, WPARAM>> want = {{1, VK_APP1}, {6, VK_APP2}, {7, VK_APP3}};
  EXPECT_EQ(keys, want);
}

TEST_F(DeviceTest, FileWaitRunsOutReportsAndCloses) {
  const std::string report = dir + "/report.txt", never = dir + "/never";
  VelmiDeviceSetReportFile(report.c_str());
  ASSERT_TRUE(VelmiDeviceLoadScript(("2 waitfile " + never + " 3\n1 key down A\n").c_str()));
  int quit = -1, frames = 0;
  while (quit < 0 && frames < 20) {
    SystemIdleTimerReset();
    ++frames;
    quit = Pump();
  }
  EXPECT_EQ(frames, 5);  // waiting from frame 2, three frames without the file
  EXPECT_EQ(quit, 7);
  std::vector<uint8_t> text = ReadFileBytes(report);
  EXPECT_EQ(std::string(text.begin(), text.end()), "5 timeout " + never + "\n");
  VelmiDeviceSetReportFile("");
}

// VELMI_FAKE_CLOCK puts a headless run on the fake clock from the tick it
// names; "clock" lines jump it forward at their frame, after waits too.
TEST_F(DeviceTest, FakeClockFromTheEnvironmentAndClockLines) {
  setenv("VELMI_FAKE_CLOCK", "100000", 1);
  VelmiDeviceConfigureFromEnvironment();
  ASSERT_TRUE(VelmiClockIsFake());
  EXPECT_EQ(GetTickCount(), 100000u);
  Sleep(16);  // the player's wait for its frame timer
  EXPECT_EQ(GetTickCount(), 100016u);
  for (const char* bad : {"1 clock\n", "1 clock -1\n", "1 clock 5s\n", "1 clock 3000000000\n"})
    EXPECT_FALSE(VelmiDeviceLoadScript(bad)) << bad;
  ASSERT_TRUE(VelmiDeviceLoadScript("1 clock 5000\n1 wait 7\n2 clock 0x10\n"));
  std::vector<DWORD> ticks;
  for (int f = 1; f <= 5; ++f) {
    SystemIdleTimerReset();
    ticks.push_back(GetTickCount());
    VelmiDeviceReportMode(f >= 2 ? 7 : 0, 0);
  }
  // The wait ends at frame 2, so the second jump comes at frame 4.
  EXPECT_EQ(ticks, (std::vector<DWORD>{105016, 105016, 105016, 105032, 105032}));

  // A value that is no tick count, or a run with a display, keeps the real
  // clock, under which "clock" lines change nothing.
  for (const bool headless : {true, false}) {
    VelmiClockUseReal();
    VelmiDeviceSetHeadless(headless);
    setenv("VELMI_FAKE_CLOCK", headless ? "soon" : "100000", 1);
    VelmiDeviceConfigureFromEnvironment();
    EXPECT_FALSE(VelmiClockIsFake()) << headless;
  }
  VelmiDeviceSetHeadless(true);
  const DWORD before = GetTickCount();
  ASSERT_TRUE(VelmiDeviceLoadScript("6 clock 100000000\n"));
  SystemIdleTimerReset();
  EXPECT_LT(GetTickCount() - before, 100000000u);
}

TEST_F(DeviceTest, GapiShellAndFailures) {
  EXPECT_TRUE(SHFullScreen(hwnd, SHFS_HIDETASKBAR));
  ASSERT_EQ(GXOpenDisplay(hwnd, GX_FULLSCREEN), 1);
  GXDisplayProperties p = GXGetDisplayProperties();
  EXPECT_EQ(p.cxWidth, 480u);
  EXPECT_EQ(p.cbyPitch, 960);
  EXPECT_EQ(GXBeginDraw(), VelmiDeviceFrameBuffer());
  GXSuspend();
  EXPECT_EQ(GXBeginDraw(), nullptr);
  GXResume();
  GXKeyList k = GXGetDefaultKeys(GX_LANDSCAPEKEYS);
  EXPECT_EQ(k.vkStart, VK_RETURN);
  EXPECT_EQ(sizeof(GXKeyList), 96u);
  GXCloseDisplay();
  VelmiDeviceSetGeometry(320, 240);  // a landscape panel is described in portrait order
  p = GXGetDisplayProperties();
  EXPECT_EQ(p.cxWidth, 240u);
  EXPECT_EQ(p.cbyPitch, -2);
  VelmiDeviceSetFailure("gapi");
  EXPECT_EQ(GXOpenDisplay(hwnd, GX_FULLSCREEN), 0);
  VelmiDeviceSetFailure("fullscreen");
  EXPECT_FALSE(SHFullScreen(hwnd, SHFS_HIDETASKBAR));
  MessageBoxW(nullptr, u"text", u"Error", 0);  // headless: recorded, never waits
  ASSERT_FALSE(VelmiDeviceMessageBoxes().empty());
  EXPECT_EQ(VelmiDeviceMessageBoxes().back(), "Error: text");
}

// The text of a box shown on a display is wrapped for SDL's box, which is as
// wide as its longest line; a full-width character takes two columns.
TEST(MessageBoxText, WrapsAtSpacesElseBetweenCharacters) {
  const struct {
    const char* what;
    const char* text;
    int columns;
    const char* want;
  } cases[] = {
      {"a short line", "short line", 10, "short line"},
      {"words", "aaaa bbbb cccc dddd", 10, "aaaa bbbb\ncccc dddd"},
      {"a space at the end of a line", "aaaa bbbbb cc", 10, "aaaa bbbbb\ncc"},
      // あいうえおかきく
      {"full-width characters",
       "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\xE3\x81\x8A\xE3\x81\x8B\xE3\x81\x8D\xE3\x81\x8F", 10,
       "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\xE3\x81\x8A\n\xE3\x81\x8B\xE3\x81\x8D\xE3\x81\x8F"},
      // 一 fits no more after nine columns: it goes whole to the next line.
      {"an odd column left", "abcdefghi\xE4\xB8\x80", 10, "abcdefghi\n\xE4\xB8\x80"},
      {"a word longer than a line", "/tmp/abcdefghijkl", 10, "/tmp/abcde\nfghijkl"},
      {"a path after its key", "  DATA01: /tmp/abcdef/", 10, "  DATA01:\n/tmp/abcde\nf/"},
      {"an indented path", "  /tmp/aaaaaaaaaa", 10, "  /tmp/aaa\naaaaaaa"},
      {"line breaks of the text", "ab\ncdefghijkl", 10, "ab\ncdefghijkl"},
      // データ convVelmi で作れます
      {"mixed",
       "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF convVelmi "
       "\xE3\x81\xA7\xE4\xBD\x9C\xE3\x82\x8C\xE3\x81\xBE\xE3\x81\x99",
       12,
       "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\nconvVelmi\n"
       "\xE3\x81\xA7\xE4\xBD\x9C\xE3\x82\x8C\xE3\x81\xBE\xE3\x81\x99"},
  };
  for (const auto& c : cases) EXPECT_EQ(velmi_device::WrapBoxText(c.text, c.columns), c.want) << c.what;

  // A long box text: every line fits the columns, nothing is lost and no
  // UTF-8 sequence is split.
  std::string text = "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\n  DATA01: /";
  for (int i = 0; i < 30; ++i) text += "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/folder" + std::to_string(i) + "/";
  text += "\n";
  for (int i = 0; i < 40; ++i) text += "\xE4\xBD\x9C\xE3\x81\xA3\xE3\x81\x9F data convVelmi ";
  const std::string wrapped = velmi_device::WrapBoxText(text, velmi_device::kBoxColumns);
  ASSERT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, wrapped.c_str(), -1, nullptr, 0), 0);
  int columns = 0, widest = 0;
  for (size_t i = 0; i < wrapped.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(wrapped[i]);
    if (b == '\n') {
      columns = 0;
      continue;
    }
    if ((b & 0xC0) == 0x80) continue;
    columns += b >= 0xE0 ? 2 : 1;  // the Japanese here is all full-width
    widest = std::max(widest, columns);
  }
  EXPECT_LE(widest, velmi_device::kBoxColumns);
  EXPECT_GT(widest, velmi_device::kBoxColumns - 12);
  auto bare = [](std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char ch) { return ch == '\n' || ch == ' '; }), s.end());
    return s;
  };
  EXPECT_EQ(bare(wrapped), bare(text));
}

// Every box tells its text, unwrapped, on the error stream, in the report
// and in the list of boxes: the headless box and the one on a display both
// go through this.
TEST(MessageBoxText, EveryBoxIsToldOnTheErrorStream) {
  VelmiDeviceReset();
  const std::string dir = MakeTempDir("box");
  VelmiDeviceSetReportFile((dir + "/report.txt").c_str());
  const std::string text(150, 'x');
  ::testing::internal::CaptureStderr();
  velmi_device::TellMessageBox("Error", "first\n" + text);
  const std::string err = ::testing::internal::GetCapturedStderr();
  // The line starts with the program's name, the test program's here.
  EXPECT_EQ(err, "player_core_tests: message box [Error] first\n" + text + "\n");
  ASSERT_EQ(VelmiDeviceMessageBoxes().size(), 1u);
  EXPECT_EQ(VelmiDeviceMessageBoxes()[0], "Error: first\n" + text);
  const Bytes report = ReadFileBytes(dir + "/report.txt");
  EXPECT_NE(std::string(report.begin(), report.end()).find(" message [Error] first | " + text + "\n"),
            std::string::npos);
  VelmiDeviceSetReportFile("");
  VelmiDeviceReset();
  vtest::RemoveTree(dir);
}

}  // namespace

// Where the three builds part: the Windows CE 3.0 build reaches the frame
// buffer only through GAPI's draw calls and knows only the resolution flag;
// the others take the driver's raw frame buffer and all three flags.
TEST_F(DeviceTest, BuildsReachTheFrameBufferTheirOwnWay) {
  VelmiDeviceSetGeometry(320, 240);  // a landscape QVGA panel
  SetScreenWidth(320);
  SetScreenHeight(240);
  const struct {
    PlayerBuild build;
    bool throughGapi;
  } builds[] = {{PlayerBuild::Ce30, true}, {PlayerBuild::Ce42, false}, {PlayerBuild::Ce50, false}};
  for (const auto& b : builds) {
    SCOPED_TRACE(PlayerBuildName(b.build));
    SetPlayerBuild(b.build);
    RawFrameBufferDesc raw{}, gapi{};
    ASSERT_TRUE(QueryRawFrameBuffer(&raw));
    ASSERT_TRUE(QueryGapiFrameBuffer(&gapi));
    // Both descriptions are portrait: the short side first, y walking back
    // along x (the format words are the two interfaces' own).
    EXPECT_EQ(std::memcmp(&raw, &gapi, 5 * sizeof(int32_t)), 0);
    EXPECT_EQ(raw.width, 240);
    EXPECT_EQ(raw.yPitch, -2);
    uint8_t* const rawOrigin = reinterpret_cast<uint8_t*>(VelmiDeviceFrameBuffer() + 319);
    // Display closed: only the raw pointer is there.
    EXPECT_EQ(BeginFrameBufferDraw(), b.throughGapi ? nullptr : rawOrigin);
    EndFrameBufferDraw();
    ASSERT_EQ(GXOpenDisplay(hwnd, GX_FULLSCREEN), 1);
    EXPECT_EQ(BeginFrameBufferDraw(), rawOrigin);
    EndFrameBufferDraw();
    GXSuspend();
    EXPECT_EQ(BeginFrameBufferDraw(), b.throughGapi ? nullptr : rawOrigin);
    EndFrameBufferDraw();
    GXResume();
    GXCloseDisplay();
    DisplayMode m{};
    DetectDisplayMode(&m);
    EXPECT_EQ(m.highRes, 0u);
    EXPECT_EQ(m.landscape, b.throughGapi ? 0u : 1u);
  }
  SetPlayerBuild(PlayerBuild::Ce50);
  SetScreenWidth(640);
  SetScreenHeight(480);
}
