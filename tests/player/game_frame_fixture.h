// An application object on the 640 x 480 screen, driven frame by frame on
// the fake clock: the base of the screen tests.
#pragma once

#include <gtest/gtest.h>
#include <velmi_device.h>

#include "player/app/game_app.h"
#include "player/core/display.h"

class GameFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiClockUseFake(100000);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
  }
  void TearDown() override {
    delete app;
    VelmiClockUseReal();
  }
  // One frame after ms of the clock.
  void Frame(DWORD ms = kFrameIntervalMs) {
    VelmiClockAdvance(ms);
    app->DispatchMode();
  }
  void Press(int counter) { app->input.count[counter] = 1; }

  CGameApp* app = nullptr;
};
