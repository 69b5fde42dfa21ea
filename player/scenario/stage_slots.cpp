// Slot operations of the application object in canvas units: the dirty
// list, the stylus hit test, sprites and picture slots.  Slot numbers
// outside the tables are refused.
#include "player/scenario/stage.h"

#include <new>
#include <string>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/error_box.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "player/core/sprite.h"

namespace {

// A rectangle of the canvas in screen units.
RECT ScreenRect(int x, int y, int w, int h) {
  const int l = ScaleX(x), t = ScaleY(y);
  return RECT{l, t, l + ScaleX(w), t + ScaleY(h)};
}

// The error stream's line of a picture that did not load; the name (a pack
// entry, Shift-JIS) is written in UTF-8, '/' between its folders.
void PrintNotLoaded(const char* name) {
  std::u16string line = u"picture not loaded: ";
  AppendShownPath(line, name);
  PrintErrorLine(line);
}

// Shows one of the boxes of pack data that did not load, unless one was
// shown in this run: the first such failure is the one the user acts on.
void ShowDataBoxOnce(CGameApp* app, void (*show)(const char* entryName, const char* packPath), const char* entryName,
                     const char* packPath) {
  if (app->damagedDataTold) return;
  app->damagedDataTold = 1;
  show(entryName, packPath);
}

}  // namespace

void CGameApp::InvalidateVirtualRect(int x, int y, int w, int h) {
  RECT r = ScreenRect(x, y, w, h);
  if (dirty) dirty->Add(&r, 1);
}

int CGameApp::HitTest(int x, int y, int w, int h) const {
  const RECT r = ScreenRect(x, y, w, h);
  const int px = int(input.stylusX), py = int(input.stylusY);
  return px >= r.left && px <= r.right && py >= r.top && py <= r.bottom;
}

void CGameApp::DeleteSprite(int n, int invalidate) {
  if (!IsSpriteSlot(n) || !sprites[n]) return;
  CSprite* s = sprites[n];
  if (invalidate) {
    s->EndEffect();
    RECT r;
    s->GetDirtyRect(&r);
    if (dirty) dirty->Add(&r, 1);
  }
  s->FreePieces();
  delete s;
  sprites[n] = nullptr;
}

void CGameApp::DeleteAllSprites() {
  for (int n = 0; n < kSpriteSlots; ++n) DeleteSprite(n, 1);
}

void CGameApp::SetSpriteRect(int n, int slot, int x, int y, int w, int h) {
  if (!IsSpriteSlot(n) || !sprites[n]) return;
  sprites[n]->SetSource(slot, x, y, w, h);
}

void CGameApp::SetSpriteCell(int n, int cell, int nextCell, int durationMs, int slot, int x, int y, int w, int h,
                             int offsetX, int offsetY, int animation) {
  if (!IsSpriteSlot(n) || !sprites[n]) return;
  sprites[n]->SetCell(cell, nextCell, durationMs, slot, x, y, w, h, offsetX, offsetY, animation);
}

void CGameApp::SetSpriteCell(int n, int cell, int nextCell, int durationMs, int slot, int x, int y, int w, int h,
                             int offsetX, int offsetY) {
  SetSpriteCell(n, cell, nextCell, durationMs, slot, x, y, w, h, offsetX, offsetY, -1);
}

int CGameApp::LoadPictureSlot(int n, const char* name, int flag) {
  if (!IsPictureSlot(n) || !name) return 0;
  FreePictureSlot(n);
  CPicture* picture = new (std::nothrow) CPicture;
  int ok = picture && LoadPicture(picture, name, picturePackPath, flag, picturePack);
  stage.pictureLoadTime = NowMs();
  if (!picture) {
    errorWord |= kErrorPictureLoad;
    PrintNotLoaded(name);
    return 0;
  }
  pictures[n] = picture;  // an empty picture when the load failed
  if (!ok) {
    // The program ends after this frame; the name tells which asset was missing.
    errorWord |= kErrorPictureLoad;
    PrintNotLoaded(name);
    // The picture's name field holds the entry name read, ".rbp" forced; it
    // stays empty for a name too long to look up, told as given.
    const char* entry = picture->name[0] ? picture->name : name;
    // A picture the pack does not list at all: the box says so, as a run
    // ending with only the line above would look like a crash.
    if (!TellDamagedPicture(entry)) ShowDataBoxOnce(this, ShowMissingPictureBox, entry, picturePackPath);
  }
  return ok;
}

int CGameApp::TellDamagedEntry(const char* packPath, const char* entryName) {
  if (!entryName || !entryName[0]) return 0;
  if (!PackListsEntry(picturePack, packPath, entryName)) return 0;  // missing: the caller's own rule
  ShowDataBoxOnce(this, ShowDamagedEntryBox, entryName, packPath);
  return 1;
}

int CGameApp::TellDamagedPicture(const char* entryName) {
  if (!entryName || !entryName[0]) return 0;
  if (!PackListsEmptyEntry(picturePack, picturePackPath, entryName))
    return TellDamagedEntry(picturePackPath, entryName);
  ShowDataBoxOnce(this, ShowUnconvertedPictureBox, entryName, picturePackPath);
  return 1;
}

int CGameApp::CreateAlphaPicture(int n, int w, int h) { return CreateBlankPicture(n, w, h, 3); }

int CGameApp::CreatePlainPicture(int n, int w, int h) { return CreateBlankPicture(n, w, h, 2); }

int CGameApp::CreateBlankPicture(int n, int w, int h, int kind) {
  if (!IsPictureSlot(n)) {
    errorWord |= kErrorPictureSlot;
    return 0;
  }
  FreePictureSlot(n);
  const int sw = ScaleX(w), sh = ScaleY(h);
  if (sw <= 0 || sh <= 0) return 0;
  CPicture* picture = new (std::nothrow) CPicture;
  if (!picture) return 0;
  pictures[n] = picture;
  return CPicture::CreateBlank(picture, uint32_t(sw), uint32_t(sh), 0, kind);
}

void CGameApp::FreePictureSlot(int n) {
  if (!IsPictureSlot(n) || !pictures[n]) return;
  pictures[n]->FreePixels();
  delete pictures[n];
  pictures[n] = nullptr;
}

void CGameApp::FreeAllPictureSlots() {
  for (int n = 0; n < kPictureSlots; ++n) FreePictureSlot(n);
}

int CGameApp::IsPictureSlotUsed(int n) const { return IsPictureSlot(n) && pictures[n] != nullptr; }

CSprite* CGameApp::MakeRectSprite(int n, int x, int y, int w, int h, uint32_t colour, int priority) {
  if (!IsSpriteSlot(n)) return nullptr;
  DeleteSprite(n, 1);
  CSprite* s = new (std::nothrow) CSprite;
  if (!s) return nullptr;
  s->InitFillRect(x, y, w, h, colour);
  s->SetPriority(priority);
  sprites[n] = s;
  return s;
}

CSprite* CGameApp::MakePictureSprite(int n, int slot, int sx, int sy, int sw, int sh, int x, int y, int ox, int oy,
                                     int priority) {
  if (!IsSpriteSlot(n)) return nullptr;
  DeleteSprite(n, 1);
  CSprite* s = new (std::nothrow) CSprite;
  if (!s) return nullptr;
  const CPicture* picture = IsPictureSlot(slot) ? pictures[slot] : nullptr;
  if (sw < 0) sw = picture ? picture->canvasWidth : 0;
  if (sh < 0) sh = picture ? picture->canvasHeight : 0;
  s->ResetState();
  s->InitSource(slot, sx < 0 ? 0 : sx, sy < 0 ? 0 : sy, sw, sh);
  s->SetPosition(x, y);
  s->SetPriority(priority);
  s->SetOffset(ox, oy);
  sprites[n] = s;
  return s;
}
