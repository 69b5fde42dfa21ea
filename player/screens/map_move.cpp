// The story's map, where the player picks one of six destinations on the
// school or island map with the heroines' figures, and the alarm choice of
// the wake-up time.  Both close behind a black curtain and return to the
// story.
#include <cstdio>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/screens/screen_common.h"
#include "player/screens/story_screens.h"

namespace {

constexpr int kDestinations = 6;
constexpr int kHeroines = 6;
constexpr int kNobody = 99;
constexpr int kMapMusic = 20;
constexpr int kVarOnMap = 1280, kVarPlace = 1290, kVarResult = 1300, kVarIsland = 1301, kVarAlarm = 2073;

// Slots of the map: picture and sprite alike unless said.
constexpr int kMapSlot = 28, kPlateSlot = 11, kAreaSlot = 12, kStopSlot = 13, kFirstChipSlot = 14;
constexpr int kFirstFigureSprite = 10, kFirstSpotSprite = 16, kPlateSprite = 22, kPortraitSprite = 23, kAreaSprite = 24;
constexpr int kFigureW = 168, kFigureH = 152, kHighlightRows = 762;

const char* const kHeroineChips[kHeroines] = {"chip_velmi",  "chip_dova", "chip_olwe",
                                              "chip_berisa", "chip_lupa", "chip_fenira"};
// By map kind: the map, the name plates, the area highlights.
const char* const kMapPictures[2][3] = {
    {"AdvData\\GRP\\MAP\\moveschool_BG00.ZEV", "AdvData\\GRP\\MAP\\moveschool_chip00.ZEV",
     "AdvData\\GRP\\MAP\\moveschool_chip01.ZEV"},
    {"AdvData\\GRP\\MAP\\moveisland_BG00.ZEV", "AdvData\\GRP\\MAP\\moveland_chip00.ZEV",
     "AdvData\\GRP\\MAP\\moveisland_chip01.ZEV"},
};

struct Point16 {
  int16_t x, y;
};
// By map kind and destination.
const Point16 kSpots[2][kDestinations] = {
    {{71, 231}, {203, 451}, {288, 309}, {408, 91}, {543, 295}, {618, 437}},
    {{494, 398}, {324, 380}, {426, 332}, {214, 332}, {629, 192}, {124, 240}},
};
const Point16 kFigures[2][kDestinations] = {
    {{64, 148}, {188, 368}, {272, 228}, {400, 8}, {536, 212}, {608, 364}},
    {{480, 324}, {308, 304}, {408, 252}, {200, 252}, {616, 120}, {104, 164}},
};
// Area highlight: source y, w, h (source x 0) and position.
struct AreaCell {
  int16_t sy, w, h, x, y;
};
const AreaCell kAreas[2][kDestinations] = {
    {{113, 248, 143, 0, 137},
     {993, 264, 263, 0, 225},
     {417, 208, 151, 144, 217},
     {0, 208, 112, 320, 0},
     {257, 200, 159, 504, 209},
     {753, 224, 239, 576, 249}},
    {{80, 96, 88, 456, 368},
     {257, 128, 79, 280, 353},
     {168, 104, 88, 384, 304},
     {337, 192, 127, 128, 289},
     {0, 104, 80, 592, 168},
     {464, 104, 72, 80, 217}},
};

// Figure frames: count and milliseconds each, by heroine.
const int kFrameCount[kHeroines] = {18, 19, 18, 18, 20, 22};
const uint32_t kFrameMs[kHeroines][22] = {
    {500, 500, 500, 500, 500, 500, 500, 500, 300, 300, 300, 300, 500, 500, 500, 500, 500, 500},
    {500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 300, 300, 1000, 300, 300},
    {500, 500, 500, 500, 500, 500, 500, 500, 300, 1000, 300, 1000, 300, 1000, 1000, 400, 400, 400},
    {500, 500, 500, 500, 500, 500, 500, 500, 200, 200, 200, 500, 800, 300, 300, 500, 500, 500},
    {500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 200, 200, 200, 200, 700, 700, 200, 200},
    {500, 500, 500, 500, 500, 500, 500, 500, 300, 300, 500, 300, 500, 300, 500, 300, 200, 200, 200, 200, 200, 200},
};

// Destination and place number: the school map has no place 4.
int PlaceOf(int kind, int destination) { return kind == 0 && destination > 3 ? destination + 1 : destination; }
int DestinationOf(int kind, int place) { return kind == 0 && place > 3 ? place - 1 : place; }

void ShowFigureFrame(CGameApp* app, int destination) {
  const MapState& m = app->map;
  const int h = m.heroineAt[destination];
  if (h == kNobody || !m.animeUse) return;
  const int f = m.frame[h];
  const int rows = destination == m.highlight ? kHighlightRows : 0;
  SetChipSource(app, kFirstFigureSprite + destination, kFirstChipSlot + h, (f % 5) * kFigureW,
                (f / 5) * kFigureH + rows, kFigureW, kFigureH);
}

void AnimateFigures(CGameApp* app) {
  MapState& m = app->map;
  if (!m.animeUse) return;
  const DWORD now = NowMs();
  for (int d = 0; d < kDestinations; ++d) {
    const int h = m.heroineAt[d];
    if (h == kNobody) continue;
    if (now - m.frameTime[h] < kFrameMs[h][m.frame[h]]) continue;
    m.frame[h] = (m.frame[h] + 1) % kFrameCount[h];
    m.frameTime[h] = now;
    ShowFigureFrame(app, d);
  }
}

void BuildMap(CGameApp* app) {
  MapState& m = app->map;
  app->PlayBgm(kMapMusic);
  m.animeUse = app->settings.mapAnimeUse;
  ClearLayerAndBackgroundName(app);
  app->ClearStage();
  m.kind = g_ScriptVariables[kVarResult] || g_ScriptVariables[kVarIsland] ? 1 : 0;
  app->LoadPictureSlot(kMapSlot, kMapPictures[m.kind][0], 0);
  app->LoadPictureSlot(kPlateSlot, kMapPictures[m.kind][1], 1);
  app->LoadPictureSlot(kAreaSlot, kMapPictures[m.kind][2], 1);
  app->LoadPictureSlot(kStopSlot, "AdvData\\GRP\\MAP\\movestop.ZEV", 1);
  for (int d = 0; d < kDestinations; ++d) m.heroineAt[d] = kNobody;
  for (int h = 0; h < kHeroines; ++h) {
    if (!g_ScriptVariables[kVarOnMap + h]) continue;
    if (m.animeUse) {
      char name[64];
      std::snprintf(name, sizeof name, "AdvData\\GRP\\MAP\\%s.ZEV", kHeroineChips[h]);
      app->LoadPictureSlot(kFirstChipSlot + h, name, 1);
    }
    // A place the map does not have leaves the heroine off it.
    const int d = DestinationOf(m.kind, g_ScriptVariables[kVarPlace + h]);
    if (d >= 0 && d < kDestinations) m.heroineAt[d] = h;
  }
  MakeChip(app, kMapSlot, kMapSlot, 0, 0, 800, 600, 0, 0, 48);
  for (int d = 0; d < kDestinations; ++d) {
    MakeChip(app, kFirstSpotSprite + d, kStopSlot, 817, 0, 24, 24, kSpots[m.kind][d].x, kSpots[m.kind][d].y, 36);
    const int h = m.heroineAt[d];
    if (h != kNobody && m.animeUse)
      MakeChip(app, kFirstFigureSprite + d, kFirstChipSlot + h, 0, 0, kFigureW, kFigureH, kFigures[m.kind][d].x,
               kFigures[m.kind][d].y, 32);
  }
  const DWORD now = NowMs();
  for (int h = 0; h < kHeroines; ++h) {
    m.frame[h] = 0;
    m.frameTime[h] = now;
  }
  m.cursor = m.highlight = kCursorNone;
}

void Highlight(CGameApp* app, int destination) {
  MapState& m = app->map;
  const int old = m.highlight;
  m.cursor = m.highlight = destination;
  if (old >= 0 && old < kDestinations) {
    for (int n = kPlateSprite; n <= kAreaSprite; ++n) app->DeleteSprite(n, 1);
    ShowFigureFrame(app, old);
  }
  if (destination < 0 || destination >= kDestinations) return;
  MakeChip(app, kPlateSprite, kPlateSlot, 0, 56 * PlaceOf(m.kind, destination) + 1, 424, 56, 136, 524, 28);
  const int h = m.heroineAt[destination];
  if (h != kNobody) {
    ShowFigureFrame(app, destination);
    // The portrait shows with the figures off too.
    MakeChip(app, kPortraitSprite, kStopSlot, 136 * h, 160 * m.kind, 136, 160, 0, 440, 28);
  }
  const AreaCell& a = kAreas[m.kind][destination];
  MakeChip(app, kAreaSprite, kAreaSlot, 0, a.sy, a.w, a.h, a.x, a.y, 37);
}

int ChooseDestination(CGameApp* app) {
  MapState& m = app->map;
  if (TakeQuickOption(app)) return 0;
  const int start = m.highlight;
  int cursor = m.highlight;
  cursor = MoveCursorByKeys(&app->input, cursor, kDestinations);
  if (app->input.tap) {
    HitBox boxes[kDestinations];
    for (int d = 0; d < kDestinations; ++d) boxes[d] = {kSpots[m.kind][d].x, kSpots[m.kind][d].y, 24, 24, int16_t(d)};
    cursor = PickHitBox(app, boxes, kDestinations, kCursorNone);
  }
  if (cursor != m.highlight) Highlight(app, cursor);
  if (TakeChoice(&app->input) && cursor == start && cursor >= 0 && cursor < kDestinations) {
    m.chosenPlace = PlaceOf(m.kind, cursor);
    DrawCurtain(app, &m.fadeStart);
    app->phase = 3;
  }
  return 1;
}

void CloseMap(CGameApp* app) {
  app->DeleteSprite(kMapSlot, 1);
  app->FreePictureSlot(kMapSlot);
  app->DeleteSprite(0, 1);
  RemoveSprites(app, kFirstFigureSprite, kAreaSprite);
  FreePictureSlots(app, 10, 21);
  ForgetMusic(app);
}

// Alarm choice: three buttons and the picture of the highlighted one.
constexpr int kAlarmSlot = 10, kAlarmPanelSprite = 10, kFirstAlarmButton = 11, kAlarmPictureSprite = 14;
constexpr int kAlarmButtons = 3;
const int16_t kAlarmButtonY[kAlarmButtons] = {324, 396, 464};
const char* const kAlarmLabels[kAlarmButtons] = {"fast", "normal", "slow"};
struct AlarmPicture {
  int16_t sx, sy, w, h, x, y;
};
const AlarmPicture kAlarmPictures[kAlarmButtons] = {
    {393, 120, 271, 184, 252, 156}, {665, 120, 287, 160, 239, 259}, {953, 120, 287, 143, 237, 353}};

void ShowAlarmButton(CGameApp* app, int button, int highlighted) {
  if (button < 0 || button >= kAlarmButtons) return;
  SetChipSource(app, kFirstAlarmButton + button, kAlarmSlot, highlighted ? 617 : 393, 40 * button, 224, 40);
  if (!highlighted) {
    app->DeleteSprite(kAlarmPictureSprite, 1);
    return;
  }
  const AlarmPicture& p = kAlarmPictures[button];
  MakeChip(app, kAlarmPictureSprite, kAlarmSlot, p.sx, p.sy, p.w, p.h, p.x, p.y, 28);
}

int ChooseAlarm(CGameApp* app) {
  AlarmState& a = app->alarm;
  if (TakeQuickOption(app)) return 0;
  const int start = a.cursor;
  int cursor = a.cursor;
  cursor = MoveCursorByKeys(&app->input, cursor, kAlarmButtons);
  if (app->input.tap) {
    HitBox boxes[kAlarmButtons];
    for (int b = 0; b < kAlarmButtons; ++b) boxes[b] = {528, kAlarmButtonY[b], 224, 40, int16_t(b)};
    cursor = PickHitBox(app, boxes, kAlarmButtons, kCursorNone);
  }
  if (cursor != a.cursor) {
    ShowAlarmButton(app, a.cursor, 0);
    ShowAlarmButton(app, cursor, 1);
    a.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start && cursor >= 0 && cursor < kAlarmButtons) {
    // A missing label leaves the position at the script's end.
    app->story.pc = app->FindLabel(kAlarmLabels[cursor]);
    DrawCurtain(app, &a.fadeStart);
    app->phase = 3;
  }
  return 1;
}

}  // namespace

int CGameApp::RunMapMove() {
  if (phase != 0) AnimateFigures(this);
  switch (phase) {
    case 0:
      BuildMap(this);
      phase = 2;
      break;
    case 2:
      return ChooseDestination(this);
    case 3:
      if (StepCurtain(this, map.fadeStart)) {
        CloseMap(this);
        phase = 4;
      }
      break;
    case 4:
      g_ScriptVariables[kVarResult] = int16_t(map.chosenPlace);
      gameMode = MODE_STORY;
      phase = 0;
      break;
    default:
      break;
  }
  return 1;
}

void CGameApp::BuildAlarmScreen() {
  ClearLayerAndBackgroundName(this);
  LoadPictureSlot(kAlarmSlot, "AdvData\\GRP\\system\\alarm_chip00.zev", 1);
  MakeChip(this, kAlarmPanelSprite, kAlarmSlot, 0, 0, 392, 320, 392, 232, 32);
  for (int b = 0; b < kAlarmButtons; ++b)
    MakeChip(this, kFirstAlarmButton + b, kAlarmSlot, 393, 40 * b, 224, 40, 528, kAlarmButtonY[b], 24);
  g_ScriptVariables[kVarAlarm] = 0;
}

int CGameApp::RunAlarmChoice() {
  switch (phase) {
    case 0:
      alarm.cursor = kCursorNone;
      phase = 1;
      return ChooseAlarm(this);
    case 1:
      return ChooseAlarm(this);
    case 3:
      if (StepCurtain(this, alarm.fadeStart)) {
        ClearStage();
        DeleteSprite(0, 1);
        RemoveSprites(this, kAlarmPanelSprite, kAlarmPictureSprite);
        FreePictureSlot(kAlarmSlot);
        ForgetMusic(this);
        phase = 4;
      }
      break;
    case 4:
      gameMode = MODE_STORY;
      phase = 0;
      break;
    default:
      break;
  }
  return 1;
}
