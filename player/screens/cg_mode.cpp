// The picture gallery: the seen event pictures by character tab and page,
// one thumbnail a group, and a full-size viewer that scrolls oversize
// pictures.
#include <cstdio>

#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/scenario/story_tables.h"
#include "player/screens/extras_list.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kTabs = 8;
constexpr int kPlaces = 9;
constexpr int kNames = 24;
constexpr int kItemFirstTab = 9, kItemPrevious = 17, kItemNext = 18, kItemBack = 19, kItemCount = 20;
constexpr int kViewSlot = 6;
const TabbedListItems kListItems = {kItemFirstTab, kItemPrevious, kItemNext, kItemBack};
constexpr int kScrollStep = 16;

struct CgTab {
  const char* thumbnails;
  int16_t firstGroup;
  int16_t pages;
  int16_t groupsOnPage[2];
};
const CgTab kCgTabs[kTabs] = {
    {"AdvData\\grp\\SYSTEM\\thumbnail_vlm", 0, 2, {9, 8}},  {"AdvData\\grp\\SYSTEM\\thumbnail_dov", 17, 2, {9, 9}},
    {"AdvData\\grp\\SYSTEM\\thumbnail_fnr", 35, 2, {9, 6}}, {"AdvData\\grp\\SYSTEM\\thumbnail_olw", 50, 2, {9, 7}},
    {"AdvData\\grp\\SYSTEM\\thumbnail_brs", 66, 2, {9, 6}}, {"AdvData\\grp\\SYSTEM\\thumbnail_lup", 81, 2, {9, 6}},
    {"AdvData\\grp\\SYSTEM\\thumbnail_hsr", 96, 1, {5, 0}}, {"AdvData\\grp\\SYSTEM\\thumbnail_cmn", 101, 1, {5, 0}},
};

// Picture slots: 10 background, 11 chips, 12 locked chip, 13 the tab's
// thumbnails, 14 tab buttons.
constexpr int kChipSlot = 11, kLockedSlot = 12, kThumbSlot = 13, kTabSlot = 14;

// Back, previous page, next page: normal and highlighted cells.
const ItemCells kButtons[3] = {
    {12, kChipSlot, 112, 0, 72, 40, 112, 40, 72, 40},
    {13, kChipSlot, 184, 0, 72, 40, 184, 40, 72, 40},
    {11, kChipSlot, 0, 0, 112, 32, 0, 32, 112, 32},
};
const HitBox kButtonBoxes[3] = {
    {268, 468, 72, 40, kItemPrevious}, {378, 468, 72, 40, kItemNext}, {610, 542, 112, 32, kItemBack}};

// Tab buttons: source y and position y of tab i (x 78); source x by form.
const int16_t kTabSourceY[kTabs] = {169, 202, 235, 268, 301, 334, 400, 367};
constexpr int kTabNormalX = 1, kTabCurrentX = 177, kTabHighlightX = 353;
int TabSprite(int i) { return 20 + i; }
int TabY(int i) { return 106 + 42 * i; }

int PlaceX(int k) { return 320 + 130 * (k % 3); }
int PlaceY(int k) { return 124 + 100 * (k / 3); }

void ShowTabButton(CGameApp* app, int i, int highlighted) {
  const int x = highlighted ? kTabHighlightX : (i == app->cgMode.tab ? kTabCurrentX : kTabNormalX);
  SetChipSource(app, TabSprite(i), kTabSlot, x, kTabSourceY[i], 175, 31);
}

// Group number within the tab of place k.
int PlaceGroup(const CgModeState& c, int k) { return 9 * c.page + k; }

void ShowThumbnail(CGameApp* app, int k, int highlighted) {
  const CgModeState& c = app->cgMode;
  if (!c.places[k].unlocked) return;
  const int g = PlaceGroup(c, k);
  SetChipSource(app, 64 + k, kThumbSlot, (g % 10) * 96, (g / 10 + (highlighted ? 2 : 0)) * 72, 96, 72);
}

void ShowItem(CGameApp* app, int item, int highlighted) {
  if (item >= 0 && item < kPlaces)
    ShowThumbnail(app, item, highlighted);
  else if (item >= kItemFirstTab && item < kItemFirstTab + kTabs)
    ShowTabButton(app, item - kItemFirstTab, highlighted);
  else if (item >= kItemPrevious && item <= kItemBack) {
    const ItemCells& b = kButtons[item - kItemPrevious];
    SetChipSource(app, b.sprite, b.picture, highlighted ? b.hx : b.sx, highlighted ? b.hy : b.sy, b.w, b.h);
  }
}

// The first record of a group, or null.
const CgEntry* FindGroup(uint32_t group) {
  for (const CgEntry* e = g_CgTable; e->group != uint32_t(-1); ++e)
    if (e->group == group) return e;
  return nullptr;
}

// Fills place k from the records of group; at most 24 names are kept (the
// counter counts them all).
void FillPlace(CGameApp* app, CgPlace& place, const CgEntry* first) {
  int names = 0;
  for (const CgEntry* e = first; e->group == first->group; ++e) {
    ++place.totalCount;
    if (!SeenListHas(app, kSeenListA, e->name)) continue;
    place.unlocked = 1;
    ++place.seenCount;
    if (names < kNames) std::snprintf(place.names[names++], sizeof place.names[0], "%s", e->name);
  }
}

void MakeCounter(CGameApp* app, int k, int seen, int total) {
  const int digits[5] = {(seen / 10) % 10, seen % 10, -1, (total / 10) % 10, total % 10};
  for (int i = 0; i < 5; ++i) {
    const int sx = digits[i] < 0 ? 100 : digits[i] * 10;
    MakeChip(app, 80 + 5 * k + i, kChipSlot, sx, 242, 10, 16, 366 + 10 * i + 130 * (k % 3), 198 + 100 * (k / 3), 22);
  }
}

// A seen name of the place being viewed; empty past the list.
const char* ViewName(const CgModeState& c) {
  if (c.viewPlace < 0 || c.viewPlace >= kPlaces || c.viewNext < 0 || c.viewNext >= kNames) return "";
  return c.places[c.viewPlace].names[c.viewNext];
}

void Choose(CGameApp* app, int item) {
  CgModeState& c = app->cgMode;
  if (item >= 0 && item < kPlaces) {
    c.viewPlace = item;
    c.viewNext = 0;
    app->phase = 20;
    return;
  }
  if (item == kItemBack) {
    app->phase = 50;
    return;
  }
  if (!MoveTabOrPage(kListItems, item, c.pageCount, &c.tab, &c.page)) return;
  app->BuildCgMode(c.tab, c.page);
  c.cursor = c.highlight = kCursorNone;
}

void RunMenu(CGameApp* app) {
  CgModeState& c = app->cgMode;
  const int start = c.highlight;
  int cursor = c.highlight;
  int32_t unlocked[kPlaces];
  for (int k = 0; k < kPlaces; ++k) unlocked[k] = c.places[k].unlocked;
  const int skip = kItemFirstTab + c.tab;
  if (TakeFreshPress(&app->input, IN_UP)) cursor = StepListCursor(cursor, 1, kItemCount, skip, unlocked, kPlaces);
  if (TakeFreshPress(&app->input, IN_DOWN)) cursor = StepListCursor(cursor, 0, kItemCount, skip, unlocked, kPlaces);
  if (app->input.tap) {
    HitBox boxes[kPlaces + kTabs + 3];
    int n = 0;
    for (int k = 0; k < c.groupCount; ++k)
      if (c.places[k].unlocked) boxes[n++] = {int16_t(PlaceX(k)), int16_t(PlaceY(k)), 96, 72, int16_t(k)};
    for (int i = 0; i < kTabs; ++i)
      if (i != c.tab) boxes[n++] = {78, int16_t(TabY(i)), 176, 32, int16_t(kItemFirstTab + i)};
    for (const HitBox& b : kButtonBoxes) boxes[n++] = b;
    cursor = PickHitBox(app, boxes, n, kCursorNone);
  }
  if (cursor != c.highlight) {
    ShowItem(app, c.highlight, 0);
    ShowItem(app, cursor, 1);
    c.highlight = c.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start) Choose(app, cursor);
}

void RemoveView(CGameApp* app) {
  app->DeleteSprite(kViewSlot, 1);
  app->FreePictureSlot(kViewSlot);
}

void ShowNextPicture(CGameApp* app) {
  CgModeState& c = app->cgMode;
  RemoveView(app);
  const char* name = ViewName(c);
  if (!name[0]) {
    app->phase = 1;
    return;
  }
  char path[64];
  std::snprintf(path, sizeof path, "AdvData\\grp\\BG\\%s", name);
  app->LoadPictureSlot(kViewSlot, path, 0);
  const CPicture* p = app->pictures[kViewSlot];
  c.viewWidth = p ? p->canvasWidth : 0;
  c.viewHeight = p ? p->canvasHeight : 0;
  c.viewX = c.viewY = 0;
  MakeChip(app, kViewSlot, kViewSlot, 0, 0, c.viewWidth, c.viewHeight, 0, 0, 16);
  ++c.viewNext;
  app->phase = 21;
}

void RunViewer(CGameApp* app) {
  CgModeState& c = app->cgMode;
  InputState& in = app->input;
  if (in.tap || in.count[IN_KEY_C] == 1) {
    in.tap = 0;
    in.count[IN_KEY_C] = 0;
    app->phase = 20;
    return;
  }
  if (TakeFreshPress(&in, IN_KEY_A)) {
    RemoveView(app);
    app->phase = 1;
    return;
  }
  const int x = c.viewX, y = c.viewY;
  if (c.viewWidth > 800) {
    if (in.count[IN_RIGHT] > 0)
      c.viewX = c.viewX - kScrollStep < 800 - c.viewWidth ? 800 - c.viewWidth : c.viewX - kScrollStep;
    if (in.count[IN_LEFT] > 0) c.viewX = c.viewX + kScrollStep > 0 ? 0 : c.viewX + kScrollStep;
  }
  if (c.viewHeight > 600) {
    if (in.count[IN_DOWN] > 0)
      c.viewY = c.viewY - kScrollStep < 600 - c.viewHeight ? 600 - c.viewHeight : c.viewY - kScrollStep;
    if (in.count[IN_UP] > 0) c.viewY = c.viewY + kScrollStep > 0 ? 0 : c.viewY + kScrollStep;
  }
  if (c.viewX != x || c.viewY != y) SetChipPosition(app, kViewSlot, c.viewX, c.viewY);
}

}  // namespace

void CGameApp::BuildCgMode(int tab, int page) {
  CgModeState& c = cgMode;
  if (tab < 0 || tab >= kTabs) tab = 0;
  const CgTab& t = kCgTabs[tab];
  // A page the tab does not have opens its first page.
  if (page < 0 || page >= t.pages) page = 0;
  c.tab = tab;
  c.page = page;
  DeleteAllSprites();
  FreeAllPictureSlots();
  c.pageCount = t.pages;
  const int wanted = t.groupsOnPage[page];
  LoadPictureSlot(10, "AdvData\\grp\\SYSTEM\\cgmode_BG00", 0);
  LoadPictureSlot(kChipSlot, "AdvData\\grp\\SYSTEM\\common_cg_chip00", 1);
  LoadPictureSlot(kLockedSlot, "AdvData\\grp\\SYSTEM\\cgmode_dummychip", 1);
  LoadPictureSlot(kThumbSlot, t.thumbnails, 1);
  LoadPictureSlot(kTabSlot, "AdvData\\grp\\SYSTEM\\scenereplay_chip", 1);
  MakeChip(this, 10, 10, 0, 0, 800, 600, 0, 0, 32);
  for (int b = 0; b < 3; ++b) {
    const ItemCells& i = kButtons[b];
    MakeChip(this, i.sprite, i.picture, i.sx, i.sy, i.w, i.h, kButtonBoxes[b].x, kButtonBoxes[b].y, 24);
  }
  MakeChip(this, 14, kChipSlot, 160, 120, 16, 24, 348, 452, 22);
  MakeChip(this, 15, kChipSlot, (page + 1) * 16, 120, 16, 24, 332, 452, 22);
  MakeChip(this, 16, kChipSlot, t.pages * 16, 120, 16, 24, 368, 452, 22);
  for (int i = 0; i < kTabs; ++i)
    MakeChip(this, TabSprite(i), kTabSlot, i == tab ? kTabCurrentX : kTabNormalX, kTabSourceY[i], 175, 31, 78, TabY(i),
             20);
  c.groupCount = 0;
  for (CgPlace& p : c.places) p = {};
  for (int k = 0; k < wanted; ++k) {
    const CgEntry* first = FindGroup(uint32_t(t.firstGroup + 9 * page + k));
    if (!first) break;
    c.groupCount = k + 1;
    FillPlace(this, c.places[k], first);
  }
  for (int k = 0; k < c.groupCount; ++k) {
    const CgPlace& p = c.places[k];
    if (p.unlocked) {
      const int g = PlaceGroup(c, k);
      MakeChip(this, 64 + k, kThumbSlot, (g % 10) * 96, (g / 10) * 72, 96, 72, PlaceX(k), PlaceY(k), 28);
    } else {
      MakeChip(this, 64 + k, kLockedSlot, 176, 0, 96, 72, PlaceX(k), PlaceY(k), 28);
    }
    MakeCounter(this, k, p.seenCount, p.totalCount);
  }
}

int CGameApp::RunCgMode() {
  switch (phase) {
    case 0:
      cgMode.cursor = cgMode.highlight = kCursorNone;
      BuildCgMode(cgMode.tab, cgMode.page);
      phase = 1;
      break;
    case 1:
      RunMenu(this);
      break;
    case 20:
      ShowNextPicture(this);
      break;
    case 21:
      RunViewer(this);
      break;
    case 50:
      ReturnToTitleMenu(this);
      break;
    default:
      break;
  }
  return 1;
}
