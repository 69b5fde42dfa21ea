#include "tests/player/scenario_fixture.h"

#include <filesystem>
#include <system_error>
#include <velmi_platform.h>

#include <cstdlib>

#include "common/sjis.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"

void ScenarioAppTest::StartApp(const std::vector<std::pair<std::string, Bytes>>& pictures) {
  SetPlayerBuild(PlayerBuild::Ce42);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(640);
  SetScreenHeight(480);
  VelmiClockUseFake(1000);
  dir = MakeTempDir("scenario");
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(WritePack(dir + "/grpack_v.mlz", pictures, false));
  packPath = dir + "/grpack_v.mlz";
  for (char& c : packPath)
    if (c == '/') c = '\\';
  RestartApp();
}

void ScenarioAppTest::RestartApp() {
  delete app;
  app = new CGameApp;
  app->dirty->SetSize(640, 480);
  StrCopy(app->picturePackPath, packPath.c_str());
}

void ScenarioAppTest::TearDown() {
  delete app;
  app = nullptr;
  VelmiClockUseReal();
  if (!dir.empty()) {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}
