#include "player/core/entry.h"

#include <velmi_device.h>

#include <string>

#include "player/core/game_app.h"

int RunPlayer(PlayerBuild build, int argc, char** argv) {
  SetPlayerBuild(build);
  VelmiDeviceSetConfiguration(PlayerBuildName(build));
  // The portrait screens of the devices each build was made for.
  if (build == PlayerBuild::Ce30)
    VelmiDeviceSetGeometry(240, 320);
  else
    VelmiDeviceSetGeometry(480, 640);
  VelmiDeviceConfigureFromEnvironment();
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  static int instanceTag;
  return WinMain(reinterpret_cast<HINSTANCE>(&instanceTag), nullptr, commandLine.data(), SW_SHOW);
}
