// The ce42 player with a test entry in place of the title screen: it starts
// a new game and loads the script named by VELMI_STORY_SCRIPT (default
// "e2e_start") through the mode table, lets the story run, and closes the
// window once the story rests on OP_END, reporting where it ended on stderr.
#include <velmi_device.h>

#include <cstdio>
#include <cstdlib>

#include "player/app/game_app.h"
#include "tests/support/mode_table.h"

namespace {

ModeHandler g_runStory = nullptr;
int g_reported = 0;

int StartStory(CGameApp* app) {
  const char* name = std::getenv("VELMI_STORY_SCRIPT");
  app->NewGame();
  if (!app->LoadScript(name && *name ? name : "e2e_start")) {
    std::fprintf(stderr, "story: the first script does not load\n");
    PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
  }
  return 1;
}

int WatchStory(CGameApp* app) {
  const int result = g_runStory(app);
  if (!g_reported && app->gameMode == MODE_STORY && app->script.Opcode(app->story.pc) == OP_END) {
    g_reported = 1;
    std::fprintf(stderr, "story: OP_END in %s; v1=%d v2=%d v3=%d v25344=%d\n", app->story.scriptName,
                 g_ScriptVariables[1], g_ScriptVariables[2], g_ScriptVariables[3], g_ScriptVariables[25344]);
    PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  g_runStory = ReplaceModeHandler(MODE_STORY, WatchStory);
  ReplaceModeHandler(MODE_TITLE, StartStory);
  return VelmiDeviceRunProgram("ce42", argc, argv);
}
