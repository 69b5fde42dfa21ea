// Scene replay: the scenes whose scripts have been loaded, by character tab
// and page with their titles and dates, replayed from their script behind a
// rule transition.
#include <cstdio>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "player/media/sound_mixer.h"
#include "player/scenario/story_tables.h"
#include "player/screens/extras_list.h"
#include "player/screens/screen_common.h"
#include "player/screens/story_screens.h"

namespace {

constexpr int kTabs = 8;
constexpr int kEntries = 8;
constexpr int kItemFirstTab = 8, kItemPrevious = 16, kItemNext = 17, kItemBack = 18, kItemCount = 19;
const TabbedListItems kListItems = {kItemFirstTab, kItemPrevious, kItemNext, kItemBack};
constexpr int kTitleMusic = 25;
constexpr int kReplayRule = 3;
constexpr int kVarReplaying = 2311;
constexpr DWORD kPauseMs = 500;

struct ReplayTab {
  const char* pattern;  // page picture, numbered from 1
  int16_t firstRecord;
  int16_t pages;
  int16_t lastEntries;
};
const ReplayTab kReplayTabs[kTabs] = {
    {"AdvData\\grp\\SYSTEM\\sam_vlm_%02d", 0, 12, 3},     {"AdvData\\grp\\SYSTEM\\sam_dov_%02d", 91, 11, 6},
    {"AdvData\\grp\\SYSTEM\\sam_fnr_%02d", 177, 9, 2},    {"AdvData\\grp\\SYSTEM\\sam_olw_%02d", 243, 11, 2},
    {"AdvData\\grp\\SYSTEM\\sam_brs_%02d", 325, 11, 8},   {"AdvData\\grp\\SYSTEM\\sam_lup_%02d", 413, 12, 5},
    {"AdvData\\grp\\SYSTEM\\sam_other_%02d", 506, 29, 2}, {"AdvData\\grp\\SYSTEM\\sam_hsr_%02d", 732, 4, 2},
};

// Records shown with the second entry frame.
const int16_t kSecondFrameRecords[] = {89, 153, 157, 167, 221, 236, 321, 379, 404, 504};

constexpr int kTextSlot = 9, kChipSlot = 11, kFrameSlot = 12, kPageSlot = 13, kTabSlot = 14;

// Previous page, next page, back: normal and highlighted cells.
const ItemCells kButtons[3] = {
    {12, kChipSlot, 112, 0, 72, 40, 112, 40, 72, 40},
    {13, kChipSlot, 184, 0, 72, 40, 184, 40, 72, 40},
    {11, kChipSlot, 0, 0, 112, 32, 0, 33, 112, 31},
};
const HitBox kButtonBoxes[3] = {
    {245, 467, 72, 40, kItemPrevious}, {354, 467, 72, 40, kItemNext}, {610, 542, 112, 32, kItemBack}};

int EntryX(int i) { return 250 + 258 * (i % 2); }
int EntryY(int i) { return 115 + 80 * (i / 2); }
int TabY(int i) { return 106 + 42 * i; }

int FrameSourceX(int record) {
  for (int16_t r : kSecondFrameRecords)
    if (r == record) return 424;
  return 176;
}

void ShowItem(CGameApp* app, int item, int highlighted) {
  const SceneReplayState& s = app->sceneReplay;
  if (item >= 0 && item < kEntries) {
    SetChipSource(app, 88 + item, kFrameSlot, highlighted ? 176 : FrameSourceX(s.firstRecord + item),
                  highlighted ? 56 : 0, 248, 56);
  } else if (item >= kItemFirstTab && item < kItemFirstTab + kTabs) {
    const int i = item - kItemFirstTab;
    SetChipSource(app, 20 + i, kTabSlot, highlighted || i == s.tab ? 177 : 1, 169 + 33 * i, 175, 31);
  } else if (item >= kItemPrevious && item <= kItemBack) {
    const ItemCells& b = kButtons[item - kItemPrevious];
    SetChipSource(app, b.sprite, b.picture, highlighted ? b.hx : b.sx, highlighted ? b.hy : b.sy,
                  highlighted ? b.hw : b.w, highlighted ? b.hh : b.h);
  }
}

// Shift-JIS date: "%z2月%z2日", or "？月？日" without a month.
void FormatDate(char* out, size_t size, const SceneRecord& r) {
  if (r.month == 0) {
    std::snprintf(out, size, "%s", "\x81\x48\x8c\x8e\x81\x48\x93\xfa");
    return;
  }
  std::snprintf(out, size, "%02d\x8c\x8e%02d\x93\xfa", r.month, r.day);
}

void FillEntries(CGameApp* app) {
  SceneReplayState& s = app->sceneReplay;
  for (int i = 0; i < s.entries; ++i) {
    const SceneRecord& r = g_SceneTable[s.firstRecord + i];
    s.shown[i] = SeenListHas(app, kSeenListB, r.scriptName);
    if (s.shown[i]) {
      MakeChip(app, 80 + i, kPageSlot, (i % 2) * 64, (i / 2) * 48, 64, 48, 254 + 258 * (i % 2), 119 + 80 * (i / 2), 24);
      CPicture* layer = app->pictures[kTextSlot];
      if (app->textWindow && layer) {
        const int x = 330 + 258 * (i % 2), y = 122 + 80 * (i / 2);
        char date[32];
        FormatDate(date, sizeof date, r);
        app->textWindow->DrawStringAltFont(layer, r.title, 16, 0, 0x00FFFFFF, x, y, 0, 1, 2);
        app->textWindow->DrawStringAltFont(layer, date, 16, 0, 0x00FFFFFF, x, y + 28, 0, 1, 2);
      }
    }
    MakeChip(app, 88 + i, kFrameSlot, FrameSourceX(s.firstRecord + i), 0, 248, 56, EntryX(i), EntryY(i), 28);
  }
}

void MakePageNumber(CGameApp* app, int sprite, int digit, int plusOne, int x) {
  MakeChip(app, sprite, kChipSlot, digit * 16 + plusOne, 120, 16, 24, x, 450, 24);
}

void Choose(CGameApp* app, int item) {
  SceneReplayState& s = app->sceneReplay;
  if (item >= 0 && item < kEntries) {
    s.chosen = item;
    app->phase = 10;
    return;
  }
  if (item == kItemBack) {
    app->phase = 50;
    return;
  }
  if (!MoveTabOrPage(kListItems, item, s.pageCount, &s.tab, &s.page)) return;
  app->BuildSceneReplay(s.tab, s.page);
  s.cursor = s.highlight = kCursorNone;
}

void RunMenu(CGameApp* app) {
  SceneReplayState& s = app->sceneReplay;
  const int start = s.highlight;
  int cursor = s.highlight;
  const int skip = kItemFirstTab + s.tab;
  if (TakeFreshPress(&app->input, IN_UP)) cursor = StepListCursor(cursor, 1, kItemCount, skip, s.shown, kEntries);
  if (TakeFreshPress(&app->input, IN_DOWN)) cursor = StepListCursor(cursor, 0, kItemCount, skip, s.shown, kEntries);
  if (app->input.tap) {
    HitBox boxes[kEntries + kTabs + 3];
    int n = 0;
    for (int i = 0; i < s.entries; ++i)
      if (s.shown[i]) boxes[n++] = {int16_t(EntryX(i)), int16_t(EntryY(i)), 248, 56, int16_t(i)};
    for (int i = 0; i < kTabs; ++i)
      if (i != s.tab) boxes[n++] = {54, int16_t(TabY(i)), 176, 32, int16_t(kItemFirstTab + i)};
    for (const HitBox& b : kButtonBoxes) boxes[n++] = b;
    cursor = PickHitBox(app, boxes, n, kCursorNone);
  }
  if (cursor != s.highlight) {
    ShowItem(app, s.highlight, 0);
    ShowItem(app, cursor, 1);
    s.highlight = s.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start) Choose(app, cursor);
}

}  // namespace

int SceneReplayPageCount(int tab) { return tab >= 0 && tab < kTabs ? kReplayTabs[tab].pages : 0; }

void CGameApp::BuildSceneReplay(int tab, int page) {
  SceneReplayState& s = sceneReplay;
  if (tab < 0 || tab >= kTabs) tab = 0;
  const ReplayTab& t = kReplayTabs[tab];
  if (page < 0 || page >= t.pages) page = 0;
  s.tab = tab;
  s.page = page;
  s.pageCount = t.pages;
  s.firstRecord = t.firstRecord + 8 * page;
  s.entries = page == t.pages - 1 ? t.lastEntries : kEntries;
  for (int32_t& shown : s.shown) shown = 0;
  ReleaseTextWindow();
  DeleteAllSprites();
  FreeAllPictureSlots();
  BuildMessageWindow();
  char name[64];
  std::snprintf(name, sizeof name, t.pattern, page + 1);
  LoadPictureSlot(10, "AdvData\\grp\\SYSTEM\\scenereplay_BG00", 0);
  LoadPictureSlot(kChipSlot, "AdvData\\grp\\SYSTEM\\common_kaiso_chip00", 1);
  LoadPictureSlot(kFrameSlot, "AdvData\\grp\\SYSTEM\\scenereplay_dummychip", 1);
  LoadPictureSlot(kPageSlot, name, 1);
  LoadPictureSlot(kTabSlot, "AdvData\\grp\\SYSTEM\\scenereplay_chip", 1);
  CreateAlphaPicture(kTextSlot, 800, 600);
  MakeChip(this, 10, 10, 0, 0, 800, 600, 0, 0, 32);
  MakeChip(this, kTextSlot, kTextSlot, 0, 0, 800, 600, 0, 0, 16);
  for (int b = 0; b < 3; ++b) {
    const ItemCells& i = kButtons[b];
    MakeChip(this, i.sprite, i.picture, i.sx, i.sy, i.w, i.h, kButtonBoxes[b].x, kButtonBoxes[b].y, 24);
  }
  MakeChip(this, 14, kChipSlot, 160, 120, 16, 24, 326, 450, 24);
  MakePageNumber(this, 17, (page + 1) / 10, 1, 294);
  MakePageNumber(this, 18, (page + 1) % 10, 1, 310);
  MakePageNumber(this, 15, t.pages / 10, 0, 342);
  MakePageNumber(this, 16, t.pages % 10, 0, 358);
  for (int i = 0; i < kTabs; ++i)
    MakeChip(this, 20 + i, kTabSlot, i == tab ? 177 : 1, 169 + 33 * i, 175, 31, 54, TabY(i), 20);
  FillEntries(this);
}

int CGameApp::RunSceneReplay() {
  SceneReplayState& s = sceneReplay;
  switch (phase) {
    case 0:
      PlayBgm(kTitleMusic);
      s.cursor = s.highlight = kCursorNone;
      BuildSceneReplay(s.tab, s.page);
      phase = 1;
      break;
    case 1:
      RunMenu(this);
      break;
    case 10:
      ReleaseTextWindow();
      DeleteAllSprites();
      FreeAllPictureSlots();
      ForgetMusic(this);
      if (mixer) mixer->StopAll();
      BeginRuleTransition(kReplayRule);
      s.phaseClock = NowMs();
      phase = 11;
      break;
    case 11:
      InvalidateVirtualRect(0, 0, 800, 600);
      if (!TransitionGone(this, s.phaseClock)) break;
      DeleteSprite(kSlotScreenCopy, 1);
      FreePictureSlot(kSlotScreenCopy);
      s.phaseClock = NowMs();
      phase = 12;
      break;
    case 12:
      if (NowMs() - s.phaseClock < kPauseMs) break;
      s.phaseClock = NowMs();
      phase = 13;
      break;
    case 13:
      gameMode = MODE_STORY;
      phase = 0;
      NewGame();
      if (s.chosen >= 0 && s.chosen < s.entries) LoadScript(g_SceneTable[s.firstRecord + s.chosen].scriptName);
      g_ScriptVariables[kVarReplaying] = 1;
      break;
    case 50:
      ReleaseTextWindow();
      ReturnToTitleMenu(this);
      break;
    default:
      break;
  }
  return 1;
}
