// Chip sprites, touch boxes, input words and overlay opening and closing of
// the system screens.
#include "player/screens/screen_common.h"

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/text_window.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"

const ScreenSlots kScreenSlots[] = {
    {"title", 0, 16, 0, 11},
    {"quick option", 300, 309, 200, 201},
    {"confirmation", 310, 319, 210, 211},
    {"full screen", 200, 279, 220, 229},
    {"character chooser", 280, 299, 221, 223},
};
const int kScreenSlotCount = int(sizeof kScreenSlots / sizeof kScreenSlots[0]);

void MakeChip(CGameApp* app, int sprite, int picture, int sx, int sy, int w, int h, int x, int y, int priority) {
  app->MakePictureSprite(sprite, picture, sx, sy, w, h, x, y, 0, 0, priority);
  SetChipLevel(app, sprite, kFullLevel);
}

void MakeChip(CGameApp* app, const ChipLayout& c) {
  MakeChip(app, c.sprite, c.picture, c.sx, c.sy, c.w, c.h, c.x, c.y, c.priority);
}

void SetChipSource(CGameApp* app, int sprite, int picture, int sx, int sy, int w, int h) {
  if (sprite < 0 || sprite >= kSpriteSlots || !app->sprites[sprite]) return;
  app->SetSpriteRect(sprite, picture, sx, sy, w, h);
}

void SetChipLevel(CGameApp* app, int sprite, int level) {
  if (sprite < 0 || sprite >= kSpriteSlots || !app->sprites[sprite]) return;
  app->sprites[sprite]->SetLevel(level);
}

void SetChipPosition(CGameApp* app, int sprite, int x, int y) {
  if (sprite < 0 || sprite >= kSpriteSlots || !app->sprites[sprite]) return;
  app->sprites[sprite]->SetPosition(x, y);
}

void RemoveSprites(CGameApp* app, int first, int last) {
  for (int n = first; n <= last; ++n)
    if (app->sprites[n]) app->DeleteSprite(n, 1);
}

void FreePictureSlots(CGameApp* app, int first, int last) {
  for (int n = first; n <= last; ++n) app->FreePictureSlot(n);
}

int MoveCursorByKeys(InputState* input, int cursor, int count) {
  if (TakeFreshPress(input, IN_UP)) cursor = (cursor == kCursorNone || cursor == 0) ? count - 1 : cursor - 1;
  if (TakeFreshPress(input, IN_DOWN)) cursor = cursor == kCursorNone ? 0 : (cursor + 1) % count;
  return cursor;
}

int TakeChoice(InputState* input) {
  const int present = input->tap || input->count[IN_KEY_C] == 1 || input->count[IN_RIGHT] == 1;
  if (!present) return 0;
  input->tap = 0;
  input->count[IN_KEY_C] = 0;
  input->count[IN_RIGHT] = 0;
  return 1;
}

int PickHitBox(CGameApp* app, const HitBox* boxes, int count, int start) {
  int cursor = start;
  for (int i = 0; i < count; ++i)
    if (app->HitTest(boxes[i].x, boxes[i].y, boxes[i].w, boxes[i].h)) cursor = boxes[i].item;
  return cursor;
}

void EnterScreen(CGameApp* app, int mode, int32_t* returnMode, int32_t* returnPhase, int32_t* windowWasShown) {
  *returnMode = app->gameMode;
  *returnPhase = app->phase;
  app->gameMode = mode;
  if (app->message.windowShown) {
    app->ShowMessageWindow(0);
    if (app->textWindow) app->textWindow->hiddenByPlayer = 1;
    *windowWasShown = 1;
  } else {
    *windowWasShown = 0;
  }
}

void RestoreMessageWindow(CGameApp* app, int32_t windowWasShown) {
  if (windowWasShown != 1) return;
  if (app->textWindow) {
    app->textWindow->hiddenByPlayer = 0;
    app->textWindow->ShowAllChars(1);
  }
  app->ShowMessageWindow(1);
}

void ReturnFromScreen(CGameApp* app, int32_t returnMode, int32_t returnPhase, int32_t windowWasShown) {
  RestoreMessageWindow(app, windowWasShown);
  app->gameMode = returnMode;
  app->phase = returnPhase;
}

void DisableSaveLoadMenus(CGameApp* app) { SetSaveLoadEnabled(app->menu, &app->settings, nullptr, 0, 0); }

void EnableSaveLoadMenus(CGameApp* app, int returnMode) {
  const int save = returnMode == MODE_TITLE ? 0 : app->saveAllowed;
  SetSaveLoadEnabled(app->menu, &app->settings, nullptr, app->loadAllowed, save);
}

void CloseFullScreen(CGameApp* app, int lastPicture, int32_t returnMode, int32_t returnPhase, int32_t windowWasShown) {
  RemoveSprites(app, 200, 299);
  FreePictureSlots(app, 220, lastPicture);
  RestoreMessageWindow(app, windowWasShown);
  EnableSaveLoadMenus(app, returnMode);
  ReturnFromScreen(app, returnMode, returnPhase, 0);
}

void StepOverlayWeather(CGameApp* app) {
  if (app->weather.kind != 0 && app->settings.sacraMode) app->StepParticles();
}

int TransitionGone(CGameApp* app, uint32_t since) {
  return app->transition == nullptr || NowMs() - since >= kScreenTransitionLimitMs;
}

void SwapHighlight(CGameApp* app, const ItemCells* items, int count, int oldCursor, int newCursor) {
  if (oldCursor >= 0 && oldCursor < count) {
    const ItemCells& c = items[oldCursor];
    SetChipSource(app, c.sprite, c.picture, c.sx, c.sy, c.w, c.h);
  }
  if (newCursor >= 0 && newCursor < count) {
    const ItemCells& c = items[newCursor];
    SetChipSource(app, c.sprite, c.picture, c.hx, c.hy, c.hw, c.hh);
  }
}
