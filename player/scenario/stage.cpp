// Slot operations of the stage in canvas units.
#include "player/scenario/stage.h"

#include "player/core/dirty_list.h"
#include "player/core/game_app.h"
#include "player/core/sprite.h"

void CGameApp::InvalidateVirtualRect(int x, int y, int w, int h) {
  RECT r{ScaleX(x), ScaleY(y), ScaleX(x) + ScaleX(w), ScaleY(y) + ScaleY(h)};
  if (dirty) dirty->Add(&r, 1);
}

int CGameApp::IsPictureSlotUsed(int n) const { return n >= 0 && n < kPictureSlots && pictures[n] != nullptr; }
