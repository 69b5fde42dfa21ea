// The ce42 player with a test entry in place of the title screen: it opens
// the screen whose mode VELMI_EXTRAS_MODE names (with the alarm's build and
// the mini game's variant), or starts a new game on the script that
// VELMI_EXTRAS_SCRIPT names; a second entry of the title's mode closes the
// window, so that a screen's way back ends the run.
#include <velmi_device.h>

#include <cstdio>
#include <cstdlib>

#include "player/app/game_app.h"
#include "tests/support/mode_table.h"

namespace {

int g_entered = 0;

int Enter(CGameApp* app) {
  if (g_entered++) {
    std::fprintf(stderr, "extras: back at the title, phase %d\n", app->phase);
    PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
    return 1;
  }
  const char* script = std::getenv("VELMI_EXTRAS_SCRIPT");
  if (script && *script) {
    app->NewGame();
    if (!app->LoadScript(script)) std::fprintf(stderr, "extras: the script does not load\n");
    return 1;
  }
  const char* mode = std::getenv("VELMI_EXTRAS_MODE");
  app->gameMode = mode ? std::atoi(mode) : MODE_MUSIC;
  app->phase = 0;
  if (app->gameMode == MODE_ALARM) app->BuildAlarmScreen();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ReplaceModeHandler(MODE_TITLE, Enter);
  return VelmiDeviceRunProgram("ce42", argc, argv);
}
