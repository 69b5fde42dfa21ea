// A player with a test entry in place of the title screen: it starts a new
// game on the script "stage_scene" through the mode table, lets the story
// run, and closes the window once the story rests on OP_END, reporting the
// variable the choice set on stderr.
#include <velmi_device.h>

#include <cstdio>

#include "player/app/game_app.h"
#include "tests/support/mode_table.h"

namespace {

ModeHandler g_runStory = nullptr;
int g_reported = 0;

int StartStory(CGameApp* app) {
  app->NewGame();
  if (!app->LoadScript("stage_scene")) {
    std::fprintf(stderr, "stage: the script does not load\n");
    PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
  }
  return 1;
}

int WatchStory(CGameApp* app) {
  const int result = g_runStory(app);
  if (!g_reported && app->gameMode == MODE_STORY && app->script.Opcode(app->story.pc) == OP_END) {
    g_reported = 1;
    std::fprintf(stderr, "stage: OP_END; v1=%d\n", g_ScriptVariables[1]);
    PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  g_runStory = ReplaceModeHandler(MODE_STORY, WatchStory);
  ReplaceModeHandler(MODE_TITLE, StartStory);
  return VelmiDeviceRunProgram(STAGE_GENERATION, argc, argv);
}
