// One frame's composition as the main loop runs it after the mode step:
// draw buckets filled, finished sprites removed, changed sprites
// invalidated, the dirty rectangles composed into the screen and cleared.
// Tests and benchmarks that draw without the main loop call this.
#pragma once

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"

inline void ComposeDirtyRects(CGameApp* app) {
  app->ResetDrawBuckets();
  app->FillDrawBuckets();
  app->RemoveFinishedSprites();
  app->InvalidateChangedSprites();
  ComposeFrame(app, app->DrawChainHead());
  app->dirty->Clear();
}
