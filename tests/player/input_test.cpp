// Key map, cursor modes, the input latch, stylus mapping, clock and timer.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstring>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/input.h"
#include "player/core/polar.h"

namespace {

const int UP = 0x26, DOWN = 0x28, LEFT = 0x25, RIGHT = 0x27, A = 0xC1, B = 0xC2, C = 0xC3, START = 0x0D;

KeyMap Map() {
  KeyMap k;
  k.Init();
  k.SetDefaults(UP, DOWN, LEFT, RIGHT, A, B, C, START);
  return k;
}

TEST(KeyMap, CodeFromName) {
  KeyMap k = Map();
  const struct {
    const char* text;
    int code;
  } cases[] = {{"", -1},     {"U", -1},    {"UP", UP},   {"start", START}, {"KEY_A", A}, {"KEY_D", -1},
               {"1b", 0x1B}, {"C4", 0xC4}, {"1x", 0x10}, {"x5", 5},        {"xy", 0},    {"abc", -1}};
  for (auto& c : cases) EXPECT_EQ(k.CodeFromName(c.text), c.code) << c.text;
  EXPECT_EQ(k.SetKeyA("START"), START);
  EXPECT_EQ(k.codes[KS_KEY_A], START);
  EXPECT_EQ(k.SetKeyB("abc"), -1);
  EXPECT_EQ(k.codes[KS_KEY_B], B);
}

// Presses a sequence of keys (down then up unless held) and returns the counters seen after each.
struct Press {
  int code;
  bool release;
};

TEST(KeyMap, CursorModesAndDoublePress) {
  {
    KeyMap k = Map();
    InputState in{};
    k.OnKey(&in, UP, 1, 4, 0);
    EXPECT_EQ(in.count[IN_UP], 0u);  // mode 4: first press arms
    k.OnKey(&in, UP, 1, 4, 0);       // auto-repeat counts
    EXPECT_EQ(in.count[IN_UP], 1u);
    k.OnKey(&in, UP, 0, 4, 0);
    k.OnKey(&in, LEFT, 1, 4, 0);  // disarms UP
    k.OnKey(&in, LEFT, 0, 4, 0);
    k.OnKey(&in, UP, 1, 4, 0);
    EXPECT_EQ(in.count[IN_UP], 0u);
  }
  {
    KeyMap k = Map();
    InputState in{};
    k.OnKey(&in, LEFT, 1, 2, 0);
    EXPECT_EQ(in.count[IN_LEFT], 1u);  // mode 2: horizontal at once
    k.OnKey(&in, UP, 1, 2, 0);
    EXPECT_EQ(in.count[IN_UP], 0u);
    k.OnKey(&in, UP, 0, 2, 0);
    k.OnKey(&in, UP, 1, 2, 0);
    EXPECT_EQ(in.count[IN_UP], 1u);
  }
  {
    KeyMap k = Map();
    InputState in{};
    k.OnKey(&in, UP, 1, 1, 0);
    k.OnKey(&in, LEFT, 1, 1, 0);  // mode 1: another direction held
    EXPECT_EQ(in.count[IN_LEFT], 0u);
  }
  {
    KeyMap k = Map();
    InputState in{};
    k.OnKey(&in, START, 1, 0, 1);
    EXPECT_EQ(in.count[IN_START], 0u);
    k.OnKey(&in, START, 0, 0, 1);
    k.OnKey(&in, START, 1, 0, 1);
    EXPECT_EQ(in.count[IN_START], 1u);
    k.OnKey(&in, START, 0, 0, 1);
    k.OnKey(&in, DOWN, 1, 0, 1);  // a direction disarms START
    k.OnKey(&in, START, 1, 0, 1);
    EXPECT_EQ(in.count[IN_START], 0u);
  }
  {
    // A key-up before any key-down clears all and counts like a press.
    KeyMap k = Map();
    InputState in{};
    in.count[IN_DOWN] = 5;
    k.OnKey(&in, A, 0, 0, 0);
    EXPECT_EQ(in.count[IN_DOWN], 0u);
    EXPECT_EQ(in.count[IN_KEY_A], 1u);
    EXPECT_EQ(k.keyDownCount, 0u);
  }
}

class AppInput : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiDeviceSetGeometry(480, 640);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
  }
  void TearDown() override { delete app; }
  CGameApp* app = nullptr;
};

TEST_F(AppInput, LatchTapsAndSkipLock) {
  app->OnWindowMessage(nullptr, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 20));
  app->OnWindowMessage(nullptr, WM_LBUTTONUP, 0, 0);
  app->LatchInput();
  EXPECT_EQ(app->input.tap, 0u);  // down and up between two latches: a release only
  EXPECT_EQ(app->input.released, 1u);
  app->OnKey(nullptr, A, 1);
  app->OnKey(nullptr, UP, 1);
  app->OnWindowMessage(nullptr, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 20));
  app->LatchInput();
  EXPECT_EQ(app->input.tap, 1u);
  EXPECT_EQ(app->input.count[IN_KEY_A], 0u);
  EXPECT_EQ(app->input.count[IN_UP], 0u);
  EXPECT_EQ(app->input.stylusX, 619u);  // VGA portrait panel at 640x480
  EXPECT_EQ(app->input.stylusY, 10u);
  app->settings.lockSkip = 1;
  std::memset(&app->input, 0, sizeof app->input);
  app->OnKey(nullptr, LEFT, 1);
  app->LatchInput();
  EXPECT_EQ(app->settings.skipRunning, 1);
  EXPECT_EQ(app->input.count[IN_LEFT], 0u);
  app->OnKey(nullptr, RIGHT, 1);
  app->LatchInput();
  EXPECT_EQ(app->settings.skipRunning, 0);
  EXPECT_EQ(app->input.count[IN_RIGHT], 0u);
}

TEST(Display, StylusMapping) {
  const struct {
    int hi, vga, land, cx, x, y, ex, ey;
  } cases[] = {{0, 0, 0, 240, 10, 20, 299, 10},
               {1, 1, 0, 480, 10, 20, 619, 10},
               {1, 0, 0, 240, 10, 20, 599, 20},
               {0, 0, 1, 320, 10, 20, 10, 20},
               {1, 1, 1, 640, 10, 20, 10, 20}};
  for (auto& c : cases) {
    VelmiDeviceSetGeometry(c.cx, c.land ? c.cx * 3 / 4 : c.cx * 4 / 3);
    DisplayMode m{uint32_t(c.hi), uint32_t(c.vga), uint32_t(c.land)};
    int x = c.x, y = c.y;
    MapStylusPoint(&m, &x, &y);
    EXPECT_EQ(x, c.ex);
    EXPECT_EQ(y, c.ey);
  }
  // The device layer's mouse path: a point of the screen as held maps back to itself.
  VelmiDeviceSetGeometry(480, 640);
  DisplayMode m{1, 1, 0};
  POINT p = VelmiDeviceHeldToWindow(100, 50);
  int x = p.x, y = p.y;
  MapStylusPoint(&m, &x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 50);
}

TEST(Display, FrameBufferDescriptions) {
  VelmiDeviceReset();
  VelmiDeviceSetGeometry(240, 320);
  RawFrameBufferDesc d{};
  ASSERT_TRUE(QueryRawFrameBuffer(&d));
  EXPECT_EQ(d.width, 240);
  EXPECT_EQ(d.yPitch, 480);
  EXPECT_EQ(GetFrameBufferPointer(), reinterpret_cast<uint8_t*>(VelmiDeviceFrameBuffer()));
  VelmiDeviceSetGeometry(320, 240);
  ASSERT_TRUE(QueryRawFrameBuffer(&d));
  EXPECT_EQ(d.width, 240);
  EXPECT_EQ(d.height, 320);
  EXPECT_EQ(d.yPitch, -2);
  EXPECT_EQ(GetFrameBufferPointer(), reinterpret_cast<uint8_t*>(VelmiDeviceFrameBuffer() + 319));
  VelmiDeviceSetFailure("framebuffer");
  EXPECT_EQ(QueryRawFrameBuffer(&d), nullptr);
  EXPECT_EQ(d.width, 0);
  VelmiDeviceReset();
  VelmiDeviceSetGeometry(480, 640);
}

TEST(Display, FrameTimerDropsMissedFramesAndSurvivesWrap) {
  SetPlayerBuild(PlayerBuild::Ce42);
  for (DWORD start : {1000u, 0xFFFFFFFFu - 40}) {
    VelmiClockUseFake(start);
    FrameTimer t{};
    FrameTimer::Start(&t, 16);
    EXPECT_EQ(FrameTimer::IsDue(), 0);
    VelmiClockAdvance(16);
    EXPECT_EQ(FrameTimer::IsDue(), 1);
    EXPECT_EQ(FrameTimer::IsDue(), 0);
    VelmiClockAdvance(100);  // a stall across the clock's wrap in the second round
    EXPECT_EQ(FrameTimer::IsDue(), 1);
    EXPECT_EQ(FrameTimer::IsDue(), 0);
    EXPECT_LE(int32_t(t.nextDue - GetTickCount()), 16);
    EXPECT_GT(int32_t(t.nextDue - GetTickCount()), 0);
    EXPECT_EQ((t.nextDue - start) % 16, 0u);
    VelmiClockAdvance(2000);
    FrameTimer::IsDue();
    EXPECT_EQ(t.lastSecondCount, 0u);  // seconds without frames are counted too
  }
  VelmiClockUseFake(5000);
  DWORD held = NowMs();
  SetClockFrozen(1);
  VelmiClockAdvance(50);
  EXPECT_EQ(NowMs(), held);
  SetClockFrozen(0);
  EXPECT_EQ(NowMs(), held + 50);
  VelmiClockUseReal();
  SetPlayerBuild(PlayerBuild::Ce50);
}

TEST(Polar, Table) {
  int x, y, a, d;
  PolarToPoint(9000, 100, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 100);
  PolarToPoint(18000, 100, &x, &y);
  EXPECT_EQ(x, -100);
  EXPECT_EQ(y, 0);
  PolarToPointDeg(90, 10, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 10);
  const struct { int x, y, angle; } cases[] = {{10, 0, 0}, {0, 10, 9000}, {0, -10, 27000}, {-10, 0, 18000}};
  for (auto& c : cases) {
    PointToPolar(0, 0, c.x, c.y, &a, &d);
    EXPECT_EQ(a, c.angle);
    EXPECT_EQ(d, 10);
  }
  PointToPolar(-2000000000, 0, 2000000000, 0, &a, &d);  // further apart than an int reaches
  EXPECT_EQ(a, 0);
  EXPECT_EQ(d, 2147483647);
}

}  // namespace
