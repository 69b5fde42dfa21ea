// An application object on the 640 x 480 screen of the 800 x 600 canvas,
// reading its pictures from a pack written for the test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "player/app/game_app.h"
#include "tests/player/rbp_builder.h"

class ScenarioAppTest : public ::testing::Test {
 protected:
  // Fake clock at 1,000 ms; the pack holds the given entries.
  void StartApp(const std::vector<std::pair<std::string, Bytes>>& pictures);
  // A fresh application object on the same pack.
  void RestartApp();
  void TearDown() override;

  CGameApp* app = nullptr;
  std::string dir;
  std::string packPath;  // with backslashes, as the player names it
};
