// The player of one build with a static test scene in place of the title
// screen: every picture type of the test pack as a sprite over a filled
// background, one drawn additively and one at half level.  A tap leaves the
// scene for the picture gallery's mode, which here holds the screen still.
#include <velmi_device.h>

#include <cstring>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/picture.h"
#include "player/core/sprite.h"
#include "tests/support/mode_table.h"

namespace {

const char* const kPictures[] = {"t13", "t1", "t30", "t32", "t80", "t90"};

int Scene(CGameApp* app) {
  if (app->phase != 0) {
    if (app->input.tap) {
      app->gameMode = MODE_CG;
      app->phase = 0;
    }
    return 1;
  }
  app->phase = 1;
  CSprite* back = new CSprite;
  back->InitFillRect(0, 0, 800, 600, 0x000080);
  back->SetPriority(127);
  app->sprites[100] = back;
  for (int i = 0; i < 6; ++i) {
    CPicture* pic = new CPicture;
    if (!LoadPicture(pic, kPictures[i], app->picturePackPath, 0, app->picturePack)) {
      app->errorWord |= 0x80000000u;
      delete pic;
      return 1;
    }
    app->pictures[i] = pic;
    CSprite* s = new CSprite;
    s->ResetState();
    s->InitSource(i, 0, 0, pic->canvasWidth, pic->canvasHeight);
    s->SetPosition(25 + 125 * i, 100);
    s->SetPriority(5);
    app->sprites[i] = s;
  }
  // The first picture again, added onto the background, and the grey one at half level.
  CSprite* add = new CSprite;
  add->InitSource(0, 0, 0, 100, 100);
  add->SetPosition(25, 300);
  add->blend = 1;
  app->sprites[10] = add;
  CSprite* half = new CSprite;
  half->InitSource(5, 0, 0, 100, 100);
  half->SetPosition(150, 300);
  half->SetLevel(128);
  app->sprites[11] = half;
  return 1;
}

// The gallery's mode of the scene program: nothing changes.
int Still(CGameApp*) { return 1; }

}  // namespace

int main(int argc, char** argv) {
  ReplaceModeHandler(MODE_TITLE, Scene);
  ReplaceModeHandler(MODE_CG, Still);
#if defined(VELMI_PLAYER_BUILD_ce30)
  return VelmiDeviceRunProgram("ce30", argc, argv);
#elif defined(VELMI_PLAYER_BUILD_ce42)
  return VelmiDeviceRunProgram("ce42", argc, argv);
#else
  return VelmiDeviceRunProgram("ce50", argc, argv);
#endif
}
