// The haunted-house mini game: each visit picks a place not visited so far,
// confirms it on its picture and runs the place's script, which comes back
// for the next visit; after two visits the variant's closing script runs.
#include "player/app/game_app.h"
#include "player/screens/screen_common.h"
#include "player/screens/story_screens.h"

namespace {

constexpr int kVarVisits = 2053, kVarPlace1 = 2054, kVarPlace2 = 2055, kVarFirstRoom = 2056, kVarSecondRoom = 2057,
              kVarVariant = 2058, kVarPlace0 = 2059;
constexpr int kVisitsBeforeClosing = 2;
constexpr int kPlaces = 4;
constexpr int kMiniGameMusic = 32;
constexpr int kBackgroundSlot = 10, kPlateSlot = 12, kSecondStepSlot = 13;
constexpr int kPictureHighlightSprite = 15;

// Visited words: place 0, place 1, place 2, first room, second room.
enum Spot { SPOT_PLACE0, SPOT_PLACE1, SPOT_PLACE2, SPOT_FIRST_ROOM, SPOT_SECOND_ROOM, kSpots };

const char* const kPictures[4] = {"AdvData\\GRP\\system\\obake_BG00.ZEV", "AdvData\\GRP\\system\\obake_chip00.ZEV",
                                  "AdvData\\GRP\\system\\obake_chip01.ZEV", "AdvData\\GRP\\system\\obake_chip02.ZEV"};

// Place plates: normal and highlighted cells of picture 12; the position is
// also the touch box.
const ItemCells kPlates[kPlaces] = {
    {11, kPlateSlot, 0, 0, 272, 40, 0, 153, 272, 39},
    {12, kPlateSlot, 0, 40, 272, 40, 0, 193, 272, 39},
    {13, kPlateSlot, 0, 120, 272, 32, 0, 273, 272, 31},
    {14, kPlateSlot, 0, 80, 272, 40, 0, 233, 272, 39},
};
const HitBox kPlateBoxes[kPlaces] = {
    {106, 170, 272, 40, 0}, {328, 455, 272, 40, 1}, {515, 315, 272, 32, 2}, {434, 124, 272, 40, 3}};

// Second step: the place's picture (source x by spot, y 264, 152 x 104).
const int16_t kSpotPictureX[kSpots] = {0, 152, 304, 456, 608};
constexpr int kPictureW = 152, kPictureH = 104, kPictureY = 220;
const int16_t kOnePictureX = 325;
const int16_t kTwoPicturesX[2] = {238, 412};
const HitBox kBackBox = {350, 366, 104, 24, 0};

// Each visit's script and the variable it sets, by variant and spot; null
// where the variant has no such visit.
struct Visit {
  const char* script;
  int variable;
};
const Visit kVisits[2][kSpots] = {
    {{"mdl_1231_f314_lup", kVarPlace0},
     {"mdl_1231_f313_lup", kVarPlace1},
     {"mdl_1231_f312_lup", kVarPlace2},
     {nullptr, 0},
     {"mdl_1231_f311_lup", kVarSecondRoom}},
    {{nullptr, 0},
     {"mdl_1231_f323_brs", kVarPlace1},
     {"mdl_1231_f322_brs", kVarPlace2},
     {"mdl_1231_f324_brs", kVarFirstRoom},
     {"mdl_1231_f321_brs", kVarSecondRoom}},
};
const char* const kClosingScripts[2] = {"mdl_1231_f41_lup", "mdl_1231_f42_brs"};

int Variant() { return g_ScriptVariables[kVarVariant] == 1 ? 1 : 0; }

void TakeVisitedFlags(ObakeState& o) {
  const int variant = Variant();
  // Variant 0 has no first room, variant 1 no place 0.
  o.visited[SPOT_PLACE0] = variant == 0 ? g_ScriptVariables[kVarPlace0] != 0 : 1;
  o.visited[SPOT_PLACE1] = g_ScriptVariables[kVarPlace1] != 0;
  o.visited[SPOT_PLACE2] = g_ScriptVariables[kVarPlace2] != 0;
  o.visited[SPOT_FIRST_ROOM] = variant == 1 ? g_ScriptVariables[kVarFirstRoom] != 0 : 1;
  o.visited[SPOT_SECOND_ROOM] = g_ScriptVariables[kVarSecondRoom] != 0;
  for (int p = 0; p < 3; ++p) o.available[p] = !o.visited[p];
  o.available[3] = !o.visited[SPOT_FIRST_ROOM] || !o.visited[SPOT_SECOND_ROOM];
}

void MakePlates(CGameApp* app) {
  for (int p = 0; p < kPlaces; ++p) {
    if (!app->obake.available[p]) continue;
    const ItemCells& c = kPlates[p];
    MakeChip(app, c.sprite, c.picture, c.sx, c.sy, c.w, c.h, kPlateBoxes[p].x, kPlateBoxes[p].y, 30);
  }
}

// The next available place from `from` in direction dir (+1 or -1); at most
// four steps, none when no place is available.
int NextAvailable(const ObakeState& o, int from, int dir) {
  int c = from;
  for (int step = 0; step < kPlaces; ++step) {
    if (dir < 0)
      c = (c == kCursorNone || c == 0) ? kPlaces - 1 : c - 1;
    else
      c = c == kCursorNone ? 0 : (c + 1) % kPlaces;
    if (o.available[c]) return c;
  }
  return kCursorNone;
}

// Spot shown by picture i of the second step.
int PictureSpot(const ObakeState& o, int i) {
  if (o.place < 3) return o.place;
  if (o.pictureCount == 2) return i == 0 ? SPOT_FIRST_ROOM : SPOT_SECOND_ROOM;
  return o.visited[SPOT_FIRST_ROOM] ? SPOT_SECOND_ROOM : SPOT_FIRST_ROOM;
}

int PictureX(const ObakeState& o, int i) { return o.pictureCount == 2 ? kTwoPicturesX[i] : kOnePictureX; }

void MakeSecondStep(CGameApp* app) {
  ObakeState& o = app->obake;
  MakeChip(app, 11, kSecondStepSlot, 0, 0, 800, 240, 0, 164, 28);
  MakeChip(app, 12, kSecondStepSlot, 0, 240, 104, 24, kBackBox.x, kBackBox.y, 24);
  for (int i = 0; i < o.pictureCount; ++i)
    MakeChip(app, 13 + i, kSecondStepSlot, kSpotPictureX[PictureSpot(o, i)], 264, kPictureW, kPictureH, PictureX(o, i),
             kPictureY, 24);
}

void Build(CGameApp* app) {
  ObakeState& o = app->obake;
  if (g_ScriptVariables[kVarVisits] == 0)
    for (int v : {kVarPlace1, kVarPlace2, kVarFirstRoom, kVarSecondRoom, kVarPlace0}) g_ScriptVariables[v] = 0;
  app->PlayBgm(kMiniGameMusic);
  ClearLayerAndBackgroundName(app);
  app->ClearStage();
  for (int i = 0; i < 4; ++i) app->LoadPictureSlot(kBackgroundSlot + i, kPictures[i], i == 0 ? 0 : 1);
  MakeChip(app, 10, kBackgroundSlot, 0, 0, 800, 600, 0, 0, 32);
  TakeVisitedFlags(o);
  MakePlates(app);
  o.cursor = kCursorNone;
}

int ChoosePlace(CGameApp* app) {
  ObakeState& o = app->obake;
  if (TakeQuickOption(app)) return 0;
  const int start = o.cursor;
  int cursor = o.cursor;
  if (TakeFreshPress(&app->input, IN_UP)) cursor = NextAvailable(o, cursor, -1);
  if (TakeFreshPress(&app->input, IN_DOWN)) cursor = NextAvailable(o, cursor, +1);
  if (app->input.tap) {
    HitBox boxes[kPlaces];
    int n = 0;
    for (int p = 0; p < kPlaces; ++p)
      if (o.available[p]) boxes[n++] = kPlateBoxes[p];
    cursor = PickHitBox(app, boxes, n, kCursorNone);
  }
  if (cursor != o.cursor) {
    SwapHighlight(app, kPlates, kPlaces, o.cursor, cursor);
    o.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start && cursor >= 0 && cursor < kPlaces) {
    RemoveSprites(app, 11, 14);
    o.place = cursor;
    o.pictureCount = cursor == 3 && !o.visited[SPOT_FIRST_ROOM] && !o.visited[SPOT_SECOND_ROOM] ? 2 : 1;
    MakeSecondStep(app);
    o.cursor = kCursorNone;
    app->phase = 3;
  }
  return 1;
}

void ShowSecondStepItem(CGameApp* app, int item, int highlighted) {
  const ObakeState& o = app->obake;
  if (item >= 0 && item < o.pictureCount) {
    if (!highlighted) {
      app->DeleteSprite(kPictureHighlightSprite, 1);
      return;
    }
    app->MakeRectSprite(kPictureHighlightSprite, PictureX(o, item), kPictureY, kPictureW, kPictureH, 0xFFFFFF, 20);
    SetChipLevel(app, kPictureHighlightSprite, 128);
  } else if (item == o.pictureCount) {
    SetChipSource(app, 12, kSecondStepSlot, highlighted ? 104 : 0, 240, 104, 24);
  }
}

int ConfirmPlace(CGameApp* app) {
  ObakeState& o = app->obake;
  if (TakeQuickOption(app)) return 0;
  const int n = o.pictureCount;
  const int start = o.cursor;
  int cursor = o.cursor;
  cursor = MoveCursorByKeys(&app->input, cursor, n + 1);
  if (app->input.tap) {
    HitBox boxes[3];
    for (int i = 0; i < n; ++i) boxes[i] = {int16_t(PictureX(o, i)), kPictureY, kPictureW, kPictureH, int16_t(i)};
    boxes[n] = kBackBox;
    boxes[n].item = int16_t(n);
    cursor = PickHitBox(app, boxes, n + 1, kCursorNone);
  }
  if (cursor != o.cursor) {
    ShowSecondStepItem(app, o.cursor, 0);
    ShowSecondStepItem(app, cursor, 1);
    o.cursor = cursor;
  }
  if (!TakeChoice(&app->input) || cursor != start) return 1;
  if (cursor >= 0 && cursor < n) {
    o.pictureChoice = cursor;
    DrawCurtain(app, &o.fadeStart);
    app->phase = 4;
  } else if (cursor == n) {
    o.cursor = kCursorNone;
    RemoveSprites(app, 11, 15);
    MakePlates(app);
    app->phase = 2;
  }
  return 1;
}

void StartVisit(CGameApp* app) {
  const ObakeState& o = app->obake;
  ++g_ScriptVariables[kVarVisits];
  const Visit& v = kVisits[Variant()][PictureSpot(o, o.pictureChoice)];
  if (v.script) {
    app->LoadScript(v.script);
    g_ScriptVariables[v.variable] = 1;
  }
  app->gameMode = MODE_STORY;
  app->phase = 0;
}

}  // namespace

int CGameApp::RunObakeGame() {
  switch (phase) {
    case 0:
      if (g_ScriptVariables[kVarVisits] >= kVisitsBeforeClosing) {
        LoadScript(kClosingScripts[Variant()]);
        gameMode = MODE_STORY;
        phase = 0;
        break;
      }
      Build(this);
      phase = 2;
      break;
    case 2:
      return ChoosePlace(this);
    case 3:
      return ConfirmPlace(this);
    case 4:
      if (StepCurtain(this, obake.fadeStart)) {
        ClearStage();
        DeleteSprite(0, 1);
        RemoveSprites(this, 10, 15);
        FreePictureSlots(this, 10, 13);
        ForgetMusic(this);
        phase = 5;
      }
      break;
    case 5:
      StartVisit(this);
      break;
    default:
      break;
  }
  return 1;
}
