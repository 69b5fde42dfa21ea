// The save and load screen: ten pages of five save rows, the save-icon
// chooser and the questions on the way, and the load once the fade is over.
#include <cstring>

#include "common/format.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "player/screens/save_rows.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kPrevious = 5, kNext = 6, kBack = 7;
constexpr int kBackground = 220, kFrames = 221, kButtonsPicture = 222, kIcons = 223, kTextLayer = 224;
constexpr int kFirstThumbnail = 225;
constexpr int kPriority = 4, kBackgroundPriority = 5;
constexpr int kThumbnailSprite = 240, kDateSprite = 241, kTextSprite = 250;
constexpr int kFirstIconSprite = 220, kFirstFrameSprite = 255;
constexpr int kRowX = 444, kRowY = 97, kRowStep = 85, kRowWidth = 288, kRowHeight = 72;
constexpr int kFrameHighlightX = 288;
constexpr int kDateLayerY = 600, kDateStep = 18;
constexpr int kIconCount = 16;

// Background by direction (save, load) and page (0, 1-9).
const char* const kBackgroundNames[2][2] = {
    {"AdvData\\grp\\system\\save_BG00", "AdvData\\grp\\system\\save_BG01"},
    {"AdvData\\grp\\system\\load_BG00", "AdvData\\grp\\system\\load_BG01"},
};
const char* const kButtonPictures[2] = {"AdvData\\grp\\system\\common_save_chip00",
                                        "AdvData\\grp\\system\\common_load_chip00"};

// The page counter's fixed part: "/10".
const ChipLayout kCounter[3] = {
    {201, kButtonsPicture, 160, 120, 16, 24, 252, 422, kPriority},
    {202, kButtonsPicture, 16, 120, 16, 24, 268, 422, kPriority},
    {203, kButtonsPicture, 0, 120, 16, 24, 284, 422, kPriority},
};
constexpr int kTensSprite = 204, kUnitsSprite = 205, kTensX = 220, kUnitsX = 236, kDigitY = 422;

// Previous page, next page and back, with their highlighted cells.
const ItemCells kButtons[3] = {
    {207, kButtonsPicture, 112, 0, 72, 40, 112, 40, 72, 40},
    {208, kButtonsPicture, 184, 0, 72, 40, 184, 40, 72, 40},
    {206, kButtonsPicture, 0, 1, 112, 32, 0, 33, 112, 32},
};
const int16_t kButtonPosition[3][2] = {{172, 437}, {280, 437}, {234, 532}};
// The back button is first drawn from row 0 of its cell.
constexpr int kBackFirstY = 0;
const HitBox kButtonBoxes[3] = {{172, 437, 72, 40, kPrevious}, {280, 437, 72, 40, kNext}, {234, 532, 112, 32, kBack}};

constexpr int kLoading = 1;

// Save slot of a row; -1 when a newest row has no save.
int RowSlot(const CGameApp* app, int page, int row) {
  const SaveRow r = SaveRowOf(page, row);
  switch (r.kind) {
    case SaveRowKind::kNewestAuto:
      return app->saveSlots.newestAuto < 0 ? -1 : kFirstAutoSaveSlot + app->saveSlots.newestAuto;
    case SaveRowKind::kNewest:
      return app->saveSlots.newest;
    case SaveRowKind::kNumbered:
      break;
  }
  return r.slot;
}

// Frame cell of a row, shown and after the highlight left it.
int FrameCell(int page, int row, int direction) {
  switch (SaveRowOf(page, row).kind) {
    case SaveRowKind::kNewestAuto:
      return 0;
    case SaveRowKind::kNewest:
      return direction == kLoading ? 3 : 1;
    case SaveRowKind::kNumbered:
      break;
  }
  return 2;
}
int LeftFrameCell(int page, int row, int direction) {
  if (direction != kLoading) return 2;
  return FrameCell(page, row, direction);
}

// The first row that can be saved into: the newest rows cannot.
int LowestSaveRow(const SaveLoadState& s) {
  int row = 0;
  while (SaveRowOf(s.page, row).kind != SaveRowKind::kNumbered) ++row;
  return row;
}

bool AnyRowUsed(const SaveLoadState& s) {
  for (int r = 0; r < kSavePageRows; ++r)
    if (s.rowUsed[r]) return true;
  return false;
}

// Copies a text field of a save file, which need not be terminated.
void CopyField(char* out, const char* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n]) ++n;
  std::memcpy(out, field, n);
  out[n] = 0;
}

// Reads row r's save: thumbnail into its picture slot, icon sprite and texts.
int ShowSaveRow(CGameApp* app, int row, int slot) {
  if (slot < 0) return 0;
  char fileName[32];
  FormatStringN(fileName, sizeof fileName, "save%z3.dat", slot + 1);
  CPicture header;
  char scriptName[33] = {};
  uint32_t icon = 0, stamp = 0;
  const int read = ReadSaveHeader(&header, fileName, app->savePath, scriptName, sizeof scriptName, &icon, &stamp);
  header.FreePixels();
  if (!read) return 0;
  app->LoadSlotThumbnail(kFirstThumbnail + row, slot);
  const int y = kRowY + kRowStep * row;
  if (icon < kIconCount)
    MakeChip(app, kFirstIconSprite + row, kIcons, 56 * int(icon), 313, 56, 56, 456, y + 7, kPriority);
  const SceneRecord* scene = LookupSceneRecord(scriptName);
  char title[33] = {};
  if (scene) CopyField(title, scene->title, sizeof scene->title);
  char time[64];
  FormatStringN(time, sizeof time, "%z4\x94\x4e%d2\x8c\x8e%d2\x93\xfa %d2\x8e\x9e%d2\x95\xaa",  // 年 月 日 時 分
                2000 + int(stamp >> 25), int((stamp >> 21) & 0xF), int((stamp >> 16) & 0x1F), int((stamp >> 11) & 0x1F),
                int((stamp >> 5) & 0x3F));
  char date[32];
  if (scene && scene->month != 0)
    FormatStringN(date, sizeof date, "%z2\x8c\x8e%z2\x93\xfa", int(scene->month), int(scene->day));
  else
    FormatStringN(date, sizeof date, "\x81\x48\x8c\x8e\x81\x48\x93\xfa");  // ？月？日
  CPicture* layer = app->pictures[kTextLayer];
  if (app->textWindow && layer) {
    app->textWindow->DrawStringAltFont(layer, title, 16, 0, 0xFFFFFF, 518, 105 + kRowStep * row, 0, 1, 2);
    app->textWindow->DrawStringAltFont(layer, time, 18, 0, 0xFFFFFF, 518, 146 + kRowStep * row, 0, 1, 2);
    app->textWindow->DrawStringAltFont(layer, date, 18, 0, 0xFFFFFF, 0, kDateLayerY + kDateStep * row, 0, 1, 2);
  }
  return 1;
}

void SetFrameCell(CGameApp* app, int row, int cell, int highlighted) {
  SetChipSource(app, kFirstFrameSprite + row, kFrames, highlighted ? kFrameHighlightX : 0, 72 * cell + 1, kRowWidth,
                kRowHeight);
}

void ChangeHighlight(CGameApp* app, int from, int to) {
  SaveLoadState& s = app->saveLoad;
  if (from >= 0 && from < kSavePageRows) {
    SetFrameCell(app, from, LeftFrameCell(s.page, from, s.direction), 0);
    RemoveSprites(app, kThumbnailSprite, kDateSprite);
  }
  if (from >= kPrevious && from <= kBack) SwapHighlight(app, kButtons, 3, from - kPrevious, -1);
  if (to >= 0 && to < kSavePageRows) {
    SetFrameCell(app, to, FrameCell(s.page, to, s.direction), 1);
    if (s.rowUsed[to]) {
      MakeChip(app, kThumbnailSprite, kFirstThumbnail + to, 0, 0, 160, 120, 216, 256, kPriority);
      MakeChip(app, kDateSprite, kTextLayer, 0, kDateLayerY + kDateStep * to, 96, 18, 260, 376, kPriority);
    }
  }
  if (to >= kPrevious && to <= kBack) SwapHighlight(app, kButtons, 3, -1, to - kPrevious);
}

int MoveUp(const SaveLoadState& s, int c) {
  if (s.direction != kLoading) return (c == kCursorNone || c == LowestSaveRow(s)) ? kBack : c - 1;
  if (!AnyRowUsed(s)) return (c == kNext || c == kBack) ? c - 1 : kBack;
  do {
    if (c == kCursorNone || c == 0) return kBack;
    --c;
  } while (c < kSavePageRows && !s.rowUsed[c]);
  return c;
}

int MoveDown(const SaveLoadState& s, int c) {
  if (s.direction != kLoading) {
    c = c == kCursorNone ? 0 : (c + 1) % 8;
    return c < LowestSaveRow(s) ? LowestSaveRow(s) : c;
  }
  if (!AnyRowUsed(s)) {
    c = c == kCursorNone ? kPrevious : (c + 1) % 8;
    return c < kPrevious ? kPrevious : c;
  }
  do {
    c = c == kCursorNone ? 0 : (c + 1) % 8;
  } while (c < kSavePageRows && !s.rowUsed[c]);
  return c;
}

void CloseSaveLoad(CGameApp* app) {
  const SaveLoadState& s = app->saveLoad;
  CloseFullScreen(app, 229, s.returnMode, s.returnPhase, s.windowWasShown);
}

void ChooseRow(CGameApp* app, int row) {
  SaveLoadState& s = app->saveLoad;
  if (s.direction != kLoading) {
    s.chosenRow = row;
    app->OpenSaveIconScreen();
    return;
  }
  app->confirm.saveTargetPage = s.page;
  app->confirm.saveTargetRow = row;
  app->OpenConfirm(125);
}

}  // namespace

void CGameApp::OpenSaveLoad(int direction) {
  SaveLoadState& s = saveLoad;
  EnterScreen(this, MODE_SAVE_LOAD, &s.returnMode, &s.returnPhase, &s.windowWasShown);
  s.page = 0;
  s.cursor = kCursorNone;
  s.direction = direction == kLoading ? kLoading : 0;
  LoadPictureSlot(kFrames, "AdvData\\grp\\system\\saveandload_chip00", 1);
  LoadPictureSlot(kButtonsPicture, kButtonPictures[s.direction], 1);
  LoadPictureSlot(kIcons, "AdvData\\grp\\system\\charactericom", 1);
  BuildSaveLoadScreen(0);
  DisableSaveLoadMenus(this);
}

void CGameApp::BuildSaveLoadScreen(int page) {
  SaveLoadState& s = saveLoad;
  s.cursor = kCursorNone;
  for (int32_t& used : s.rowUsed) used = 0;
  s.page = page < 0 || page >= kSavePages ? 0 : page;
  RemoveSprites(this, 200, 299);
  FreePictureSlot(kBackground);
  FreePictureSlots(this, kTextLayer, 229);
  LoadPictureSlot(kBackground, kBackgroundNames[s.direction][s.page == 0 ? 0 : 1], 0);
  CreateAlphaPicture(kTextLayer, 800, 720);
  MakeChip(this, 200, kBackground, 0, 0, 800, 600, 0, 0, kBackgroundPriority);
  MakeChip(this, kTextSprite, kTextLayer, 0, 0, 800, 600, 0, 0, kPriority);
  for (const ChipLayout& c : kCounter) MakeChip(this, c);
  const int shown = s.page + 1;
  if (shown >= 10)
    MakeChip(this, kTensSprite, kButtonsPicture, 16 * (shown / 10) + 1, 120, 16, 24, kTensX, kDigitY, kPriority);
  MakeChip(this, kUnitsSprite, kButtonsPicture, 16 * (shown % 10) + 1, 120, 16, 24, kUnitsX, kDigitY, kPriority);
  for (int i = 0; i < 3; ++i) {
    const ItemCells& b = kButtons[i];
    MakeChip(this, b.sprite, b.picture, b.sx, i == 2 ? kBackFirstY : b.sy, b.w, b.h, kButtonPosition[i][0],
             kButtonPosition[i][1], kPriority);
  }
  for (int r = 0; r < kSavePageRows; ++r)
    MakeChip(this, kFirstFrameSprite + r, kFrames, 0, 72 * FrameCell(s.page, r, s.direction) + 1, kRowWidth, kRowHeight,
             kRowX, kRowY + kRowStep * r, kPriority);
  for (int r = 0; r < kSavePageRows; ++r) {
    const int used = ShowSaveRow(this, r, RowSlot(this, s.page, r));
    // Page 0's newest rows are shown when saving but cannot be chosen.
    if (used && (s.direction == kLoading || r >= LowestSaveRow(s))) s.rowUsed[r] = 1;
  }
}

int CGameApp::RunSaveLoad() {
  SaveLoadState& s = saveLoad;
  InputState* in = &input;
  if (TakeFreshPress(in, IN_KEY_A)) {
    in->count[IN_RIGHT] = 0;
    CloseSaveLoad(this);
    return 1;
  }
  const int start = s.cursor;
  int cursor = start;
  if (TakeFreshPress(in, IN_UP)) cursor = MoveUp(s, cursor);
  if (TakeFreshPress(in, IN_DOWN)) cursor = MoveDown(s, cursor);
  if (in->tap) {
    HitBox boxes[kSavePageRows + 3];
    int n = 0;
    for (int r = s.direction == kLoading ? 0 : LowestSaveRow(s); r < kSavePageRows; ++r)
      if (s.direction != kLoading || s.rowUsed[r])
        boxes[n++] = {int16_t(kRowX), int16_t(kRowY + kRowStep * r), int16_t(kRowWidth), int16_t(kRowHeight),
                      int16_t(r)};
    for (const HitBox& b : kButtonBoxes) boxes[n++] = b;
    cursor = PickHitBox(this, boxes, n, kCursorNone);
  }
  if (cursor != s.cursor) {
    ChangeHighlight(this, s.cursor, cursor);
    s.cursor = cursor;
  }
  if (!TakeChoice(in) || s.cursor != start) return 1;
  if (s.cursor >= 0 && s.cursor < kSavePageRows) {
    ChooseRow(this, s.cursor);
  } else if (s.cursor == kPrevious) {
    BuildSaveLoadScreen((s.page + kSavePages - 1) % kSavePages);
  } else if (s.cursor == kNext) {
    BuildSaveLoadScreen((s.page + 1) % kSavePages);
  } else if (s.cursor == kBack) {
    CloseSaveLoad(this);
  }
  return 1;
}

int CGameApp::RunLoadSelected() {
  InvalidateVirtualRect(0, 0, 800, 600);
  if (!TransitionGone(this, saveLoad.loadStart)) return 1;
  const ConfirmState& c = confirm;
  if (RestoreSaveFile(RowSlot(this, c.saveTargetPage, c.saveTargetRow))) return 1;
  // The file went or its script is gone: the screens that asked were torn
  // down for the fade, so the title is built again, without its logo.
  gameMode = MODE_TITLE;
  phase = 5;
  return 1;
}
