#include <algorithm>
#include <cstring>

#include "player/app/game_app.h"
#include "player/core/blit.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/media/transition.h"

void CGameApp::ResetDrawBuckets() {
  for (int p = 0; p < kPriorities; ++p) {
    SpriteDrawItem& cell = buckets[p];
    std::memset(&cell, 0, sizeof cell);
    cell.itemSize = 16;
    cell.kind = 0;
    cell.next = p > 0 ? &buckets[p - 1] : nullptr;
    insertAfter[p] = &cell;
  }
}

void CGameApp::FillDrawBuckets() {
  NowMs();
  SetClockFrozen(1);
  for (CSprite* s : sprites) {
    if (!s || !s->Update() || !s->visible) continue;
    int p = s->priority;
    if (p < 0 || p >= kPriorities) continue;
    SpriteDrawItem* cell = insertAfter[p];
    if (s->IsEffectActive() && s->pieces && s->lastPiece) {
      s->lastPiece->next = cell->next;
      cell->next = s->pieces;
    } else {
      s->next = cell->next;
      cell->next = s;
    }
  }
  SetClockFrozen(0);
}

void CGameApp::RemoveFinishedSprites() {
  for (int n = 0; n < kSpriteSlots; ++n)
    if (sprites[n] && sprites[n]->finished == 1) DeleteSprite(n, 1);
}

void CGameApp::InvalidateChangedSprites() {
  for (CSprite* s : sprites) {
    if (!s || !s->changed) continue;
    RECT r{s->dirty[0], s->dirty[1], s->dirty[2], s->dirty[3]};
    if (dirty) dirty->Add(&r, 1);
    s->changed = 0;
    s->ComputeBounds(0, 1);
  }
}

void ClearRect(uint16_t* pixels, int pitch, int height, const RECT* r) {
  int l = std::max<int>(0, r->left), t = std::max<int>(0, r->top);
  int rr = std::min<int>(pitch, r->right), b = std::min<int>(height, r->bottom);
  for (int y = t; y < b; ++y) std::memset(pixels + size_t(y) * pitch + l, 0, size_t(std::max(0, rr - l)) * 2);
}

void CGameApp::DrawSpriteInRect(SpriteDrawItem* item, const RECT* clipIn) {
  if (!screen || !screen->GetPixels()) return;
  const int W = int(screen->GetWidth()), H = int(screen->GetHeight());
  RECT c = clipIn ? *clipIn : RECT{0, 0, W, H};
  c.left = std::max<LONG>(c.left, 0);
  c.top = std::max<LONG>(c.top, 0);
  c.right = std::min<LONG>(c.right, W);
  c.bottom = std::min<LONG>(c.bottom, H);
  const CPicture* pic = nullptr;
  if (item->kind == 6) {
    if (int16_t(item->level) <= 0) return;
  } else if (item->kind == 1 || item->kind == 7 || item->kind == 30) {
    if (item->slot < 0 || item->slot >= kPictureSlots) return;
    if (!(int16_t(item->level) > 0 || item->auxSlot >= 0)) return;
    if (item->zoomX != 1000 || item->zoomY != 1000 || item->angle != 0) return;  // not drawn
    pic = pictures[item->slot];
    if (!pic) return;
  } else {
    return;
  }
  int x = item->drawX, y = item->drawY;
  int sl = item->srcLeft, st = item->srcTop, sr = item->srcRight, sb = item->srcBottom;
  if (pic) {
    // Source rectangles stay inside the picture.
    if (sl < 0) {
      x -= sl;
      sl = 0;
    }
    if (st < 0) {
      y -= st;
      st = 0;
    }
    sr = std::min<int>(sr, int(pic->width));
    sb = std::min<int>(sb, int(pic->height));
  }
  if (sr <= sl || sb <= st) return;
  int right = x - sl + sr, bottom = y - st + sb;
  if (right < c.left || bottom < c.top || x > c.right || y > c.bottom) return;
  if (x < c.left) {
    sl += c.left - x;
    x = c.left;
  }
  if (right > c.right) sr -= right - c.right;
  if (y < c.top) {
    st += c.top - y;
    y = c.top;
  }
  if (bottom > c.bottom) sb -= bottom - c.bottom;
  if (sr <= sl || sb <= st) return;
  RECT src{sl, st, sr, sb};
  uint16_t* bb = screen->GetPixels();
  int level = item->level;
  if (item->kind == 6) {
    if (item->blend == 0)
      FillColor(item->color, bb, W, x, y, &src, level);
    else if (item->blend == 1)
      FillAdd(item->color, bb, W, x, y, &src, level);
    return;
  }
  if (item->blend == 1) {
    BlitAdd(pic, bb, W, x, y, &src, level);
  } else if (item->blend == 0) {
    if (item->auxSlot == -100) {
      if (transition && !transition->Apply(bb, pic->GetPixels())) {
        transition->FreeMask();
        delete transition;
        transition = nullptr;
      }
    } else if (item->auxSlot < 0) {
      BlitNormal(pic, bb, W, x, y, &src, level);
    }
  }
}

int ComposeFrame(CGameApp* app, SpriteDrawItem* head) {
  if (app->screen && app->dirty) {
    const int W = int(app->screen->GetWidth()), H = int(app->screen->GetHeight());
    int count = app->dirty->Count();
    for (int i = 0; i < count; ++i) {
      RECT r;
      if (app->dirty->GetRect(i, &r) != 1) continue;
      if (app->clearFirst) ClearRect(app->screen->GetPixels(), W, H, &r);
      for (SpriteDrawItem* item = head; item; item = item->next) app->DrawSpriteInRect(item, &r);
    }
  }
  if (app->textWindow && !app->textWindow->hiddenByPlayer) {
    app->textWindow->FlagCharsInRect(app->dirty);
    app->textWindow->Draw(app->screen, app->settings.antialiasLevel, app->settings.messageShadow);
  }
  return 1;
}

void PresentFrame(CGameApp* app, int whole, const int* shake) {
  CScreen* screen = app->screen;
  if (!screen) return;
  int count = 1;
  if (!whole) {
    count = app->dirty ? app->dirty->Count() : 0;
    if (count == 0) return;
  }
  uint8_t* fb = BeginFrameBufferDraw();
  if (!fb) {
    EndFrameBufferDraw();
    return;
  }
  for (int i = 0; i < count; ++i) {
    RECT r{0, 0, LONG(screen->GetWidth()), LONG(screen->GetHeight())};
    if (!whole) app->dirty->GetRect(i, &r);
    RECT t = r, s = r;
    if (shake) {
      int dx = shake[0], dy = shake[1];
      if (dx < 0) {
        t.right += dx;
        s.left -= dx;
      }
      if (dx > 0) {
        t.left += dx;
        s.right -= dx;
      }
      if (dy < 0) {
        t.bottom += dy;
        s.top -= dy;
      }
      if (dy > 0) {
        t.top += dy;
        s.bottom -= dy;
      }
    }
    screen->Present(fb, &t, &s);
  }
  EndFrameBufferDraw();
}
