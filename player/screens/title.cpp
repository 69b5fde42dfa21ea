// The title: logo, the title picture fading in and scrolling up with trails,
// and the title menu with its extras submenu.
#include <cstdio>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/media/sound_mixer.h"
#include "player/screens/screen_common.h"

namespace {

// Picture names by time of day; column 2 is not used by the title.
const char* const kTitlePictureSet[3][7] = {
    {"title_daytime_BG00", "title_daytime_BG01", "title_daytime_BG02", "title_daytime_BG03", "title_daytime_BG04",
     "title_daytime_BG04b", "title_daytime_chip01"},
    {"title_evening_BG00", "title_evening_BG01", "title_evening_BG02", "title_evening_BG03", "title_evening_BG04",
     "title_evening_BG04b", "title_evening_chip01"},
    {"title_night_BG00", "title_night_BG01", "title_night_BG02", "title_night_BG03", "title_night_BG04",
     "title_night_BG04b", "title_night_chip01"},
};
const int kChipColumn = 6;

// One menu item: its sprite, normal cell (x 0; the highlighted cell lies one
// width to the right) and its position, which is also its touch box.
struct TitleItem {
  int16_t sprite;
  int16_t cellY, width;
  int16_t x, y;
};
constexpr int kItemHeight = 40;
constexpr int kItemPriority = 32;

// Main menu in key order; the second start is drawn above quit.
const TitleItem kMainFive[5] = {
    {11, 0, 128, 336, 180},   {12, 40, 104, 348, 230},  {13, 80, 128, 336, 280},
    {14, 120, 144, 326, 330}, {15, 200, 184, 308, 380},
};
const TitleItem kMainSix[6] = {
    {11, 0, 128, 336, 220},   {12, 40, 104, 348, 270},  {13, 80, 128, 336, 320},
    {14, 120, 144, 326, 370}, {15, 200, 184, 308, 470}, {16, 160, 96, 352, 420},
};
const TitleItem kExtras[4] = {
    {11, 240, 168, 316, 204}, {12, 280, 256, 272, 256}, {13, 320, 224, 288, 304}, {14, 360, 192, 304, 356}};
// The interviews item until they are unlocked: shown, not counted.
const ChipLayout kLockedInterviews = {14, 11, 576, 360, 192, 40, 304, 356, kItemPriority};

constexpr int kSubmenuOutside = 10;

// Items of the menu shown, in key order (the count is the title's item count).
const TitleItem* TitleItems(int menuLevel, int extrasLevel) {
  if (menuLevel == 1) return kExtras;
  return extrasLevel >= 1 ? kMainSix : kMainFive;
}

void LoadTitlePicture(CGameApp* app, int slot, int row, int column) {
  char name[96];
  std::snprintf(name, sizeof name, "AdvData\\grp\\system\\%s", kTitlePictureSet[row][column]);
  app->LoadPictureSlot(slot, name, column == kChipColumn ? 1 : 0);
}

void DeleteSpriteAndPicture(CGameApp* app, int n) {
  if (app->sprites[n]) app->DeleteSprite(n, 1);
  app->FreePictureSlot(n);
}

int Rise(uint32_t t, uint32_t ms) { return t >= ms ? kFullLevel : int(t * kFullLevel / ms); }

void RestartClock(CGameApp* app) { app->title.phaseStart = NowMs(); }

int Voice(CGameApp* app, int number) {
  app->PlaySystemVoice(app->settings.mascotVoice, number);
  return 1;
}

void ShowMenuPictures(CGameApp* app) {
  TitleState& t = app->title;
  app->DeleteAllSprites();
  app->FreeAllPictureSlots();
  LoadTitlePicture(app, 10, t.pictureRow, 4);
  LoadTitlePicture(app, 11, t.pictureRow, kChipColumn);
  MakeChip(app, 10, 10, 0, 0, 800, 600, 0, 0, 48);
  t.itemCount = app->BuildTitleMenu(t.pictureRow, t.menuLevel, t.extrasLevel);
}

void ShowMenuLevel(CGameApp* app, int level) {
  TitleState& t = app->title;
  t.menuLevel = level;
  t.cursor = t.previousCursor = kCursorNone;
  t.itemCount = app->BuildTitleMenu(t.pictureRow, level, t.extrasLevel);
}

// The scene change of a new game and of the second start: the first frame.
void BeginStart(CGameApp* app, int nextPhase, int voice) {
  app->ReleaseTextWindow();
  app->DeleteAllSprites();
  app->FreeAllPictureSlots();
  if (app->mixer) app->mixer->StopChannel(0);
  app->sound.currentTrack = -1;
  app->sound.trackMode = 0;
  if (app->mixer) app->mixer->StopAll();
  app->phase = nextPhase;
  Voice(app, voice);
  app->BeginRuleTransition(1);
  RestartClock(app);
}

void WaitStartTransition(CGameApp* app, int nextPhase) {
  app->InvalidateVirtualRect(0, 0, 800, 600);
  if (!TransitionGone(app, app->title.phaseStart)) return;
  DeleteSpriteAndPicture(app, 0);
  RestartClock(app);
  app->phase = nextPhase;
}

void StartStory(CGameApp* app, const char* script) {
  app->gameMode = MODE_STORY;
  app->phase = 0;
  app->NewGame();
  app->LoadScript(script);
}

// Persistent progress flag n (bank 100).
int ProgressFlag(int n) { return g_ScriptVariables[100 * 256 + n] != 0; }

void ChooseMainItem(CGameApp* app, int item) {
  switch (item) {
    case 0:
      app->phase = 13;
      break;
    case 1:
      Voice(app, 5);
      app->OpenSaveLoad(1);
      break;
    case 2:
      Voice(app, 6);
      ShowMenuLevel(app, 1);
      break;
    case 3:
      Voice(app, 10);
      app->OpenSystemConfig();
      break;
    case 4:
      app->OpenConfirm(10);
      break;
    case 5:
      app->phase = 30;
      break;
    default:
      break;
  }
}

void ChooseExtrasItem(CGameApp* app, int item) {
  static const int kVoices[4] = {7, 9, 8, 0};
  if (item == kSubmenuOutside) {
    ShowMenuLevel(app, 0);
    return;
  }
  if (item < 0 || item > 3) return;
  if (kVoices[item]) Voice(app, kVoices[item]);
  app->phase = 50 + item;
}

void RunTitleMenu(CGameApp* app) {
  TitleState& t = app->title;
  InputState* in = &app->input;
  const int start = t.previousCursor;
  t.cursor = start;
  if (TakeFreshPress(in, IN_UP))
    t.cursor = (start == 0 || start == kSubmenuOutside || start >= kCursorNone) ? t.itemCount - 1 : start - 1;
  if (TakeFreshPress(in, IN_DOWN))
    t.cursor =
        (t.cursor == kSubmenuOutside || t.cursor >= kCursorNone || t.itemCount <= 0) ? 0 : (t.cursor + 1) % t.itemCount;
  if (in->tap) {
    const TitleItem* items = TitleItems(t.menuLevel, t.extrasLevel);
    HitBox boxes[6];
    const int n = t.itemCount < 6 ? t.itemCount : 6;
    for (int i = 0; i < n; ++i) boxes[i] = {items[i].x, items[i].y, int16_t(items[i].width), kItemHeight, int16_t(i)};
    t.cursor = PickHitBox(app, boxes, n, t.menuLevel == 1 ? kSubmenuOutside : kCursorNone);
  }
  if (t.cursor != t.previousCursor) {
    const TitleItem* items = TitleItems(t.menuLevel, t.extrasLevel);
    if (t.previousCursor >= 0 && t.previousCursor < t.itemCount) {
      const TitleItem& o = items[t.previousCursor];
      SetChipSource(app, o.sprite, 11, 0, o.cellY, o.width, kItemHeight);
    }
    if (t.cursor >= 0 && t.cursor < t.itemCount) {
      const TitleItem& c = items[t.cursor];
      SetChipSource(app, c.sprite, 11, c.width, c.cellY, c.width, kItemHeight);
    }
    t.previousCursor = t.cursor;
  }
  if (TakeChoice(in)) {
    if (t.cursor != start) return;
    if (t.menuLevel == 0)
      ChooseMainItem(app, t.cursor);
    else
      ChooseExtrasItem(app, t.cursor);
    return;
  }
  if (t.menuLevel == 1 && TakeFreshPress(in, IN_KEY_A)) ShowMenuLevel(app, 0);
}

}  // namespace

int CGameApp::BuildTitleMenu(int pictureSetRow, int menuLevel, int extrasLevel) {
  RemoveSprites(this, 11, 16);
  if (pictureSetRow < 0 || pictureSetRow > 2) return 0;
  if (menuLevel == 0) {
    const int count = extrasLevel >= 1 ? 6 : 5;
    const TitleItem* items = TitleItems(0, extrasLevel);
    for (int i = 0; i < count; ++i)
      MakeChip(this, items[i].sprite, 11, 0, items[i].cellY, items[i].width, kItemHeight, items[i].x, items[i].y,
               kItemPriority);
    return count;
  }
  if (menuLevel == 1) {
    const int count = extrasLevel >= 2 ? 4 : 3;
    for (int i = 0; i < count; ++i)
      MakeChip(this, kExtras[i].sprite, 11, 0, kExtras[i].cellY, kExtras[i].width, kItemHeight, kExtras[i].x,
               kExtras[i].y, kItemPriority);
    if (count == 3) MakeChip(this, kLockedInterviews);
    return count;
  }
  return 0;
}

int CGameApp::RunTitle() {
  TitleState& t = title;
  const uint32_t elapsed = NowMs() - t.phaseStart;
  switch (phase) {
    case 0:
      DeleteAllSprites();
      FreeAllPictureSlots();
      LoadPictureSlot(10, "AdvData\\grp\\system\\logo", 0);
      MakeChip(this, 10, 10, 0, 0, 800, 600, 0, 0, 40);
      SetChipLevel(this, 10, 0);
      t.cursor = t.previousCursor = kCursorNone;
      RestartClock(this);
      phase = 1;
      break;
    case 1:
      if (elapsed < 500) {
        SetChipLevel(this, 10, Rise(elapsed, 500));
        break;
      }
      Voice(this, 1);
      SetChipLevel(this, 10, kFullLevel);
      RestartClock(this);
      phase = 2;
      break;
    case 2:
      if (elapsed >= 1500) {
        RestartClock(this);
        phase = 3;
      }
      break;
    case 3:
      if (elapsed < 500) {
        SetChipLevel(this, 10, kFullLevel - Rise(elapsed, 500));
        break;
      }
      DeleteSpriteAndPicture(this, 10);
      phase = 5;
      break;
    case 5: {
      int row = 0;
      if (ProgressFlag(3) && (ProgressFlag(5) || ProgressFlag(6))) row = 1;
      if (ProgressFlag(4) && (ProgressFlag(5) || ProgressFlag(6))) row = 1;
      bool all = true;
      for (int n = 1; n <= 6; ++n) all = all && ProgressFlag(n);
      if (all) row = 2;
      t.extrasLevel = row == 2 ? 1 : 0;
      if (ProgressFlag(7)) t.extrasLevel = 2;
      if (settings.titleImageMode != 0) row = int((uint32_t(settings.titleImageMode) - 1) % 3);
      t.pictureRow = row;
      t.menuLevel = 0;
      DeleteAllSprites();
      FreeAllPictureSlots();
      t.cursor = t.previousCursor = kCursorNone;
      BuildMessageWindow();
      PlayBgm(25);
      LoadTitlePicture(this, 11, row, 3);
      LoadTitlePicture(this, 10, row, 0);
      MakeChip(this, 10, 10, 0, 0, 800, 1200, 0, 0, 48);
      SetChipLevel(this, 10, 0);
      RestartClock(this);
      phase = 6;
      break;
    }
    case 6:
      if (elapsed < 500) {
        SetChipLevel(this, 10, Rise(elapsed, 500));
        break;
      }
      DeleteSpriteAndPicture(this, 10);
      LoadTitlePicture(this, 10, t.pictureRow, 1);
      MakeChip(this, 10, 10, 0, 0, 800, 1200, 0, 0, 48);
      RestartClock(this);
      phase = 7;
      break;
    case 7:
      if (elapsed >= 500) {
        RestartClock(this);
        phase = 8;
      }
      break;
    case 8:
      if (elapsed < 2000) {
        // The previous frame lies under the title picture drawn at level 96:
        // the moving picture leaves trails.
        DeleteSpriteAndPicture(this, 0);
        if (screen) {
          if (!pictures[0]) pictures[0] = new CPicture;
          if (CPicture::CaptureScreen(pictures[0], screen)) {
            pictures[0]->canvasWidth = 800;
            pictures[0]->canvasHeight = 600;
            MakeChip(this, 0, 0, 0, 0, 800, 600, 0, 0, 50);
          }
        }
        SetChipPosition(this, 10, 0, -int(elapsed * 600 / 2000));
        SetChipLevel(this, 10, 96);
        break;
      }
      if (elapsed < 2500) {
        SetChipPosition(this, 10, 0, -600);
        SetChipLevel(this, 10, 96 + int((elapsed - 2000) * 160 / 500));
        break;
      }
      DeleteSpriteAndPicture(this, 0);
      SetChipLevel(this, 10, kFullLevel);
      SetChipPosition(this, 10, 0, -600);
      MakeChip(this, 11, 11, 0, 0, 800, 600, 0, 0, 40);
      SetChipLevel(this, 11, 0);
      RestartClock(this);
      phase = 9;
      break;
    case 9:
      if (elapsed < 500) {
        SetChipLevel(this, 11, Rise(elapsed, 500));
        break;
      }
      DeleteSpriteAndPicture(this, 10);
      SetChipLevel(this, 11, kFullLevel);
      RestartClock(this);
      phase = 10;
      break;
    case 10:
      DeleteSpriteAndPicture(this, 11);
      LoadTitlePicture(this, 11, t.pictureRow, 5);
      MakeChip(this, 11, 11, 0, 0, 800, 600, 0, 0, 40);
      Voice(this, 2);
      RestartClock(this);
      phase = 11;
      break;
    case 11:
      if (!TakeChoice(&input)) break;
      ShowMenuPictures(this);
      phase = 12;
      break;
    case 12:
      RunTitleMenu(this);
      break;
    case 13:
      BeginStart(this, 14, 4);
      break;
    case 14:
      WaitStartTransition(this, 15);
      break;
    case 15:
      if (elapsed >= 500) phase = 17;
      break;
    case 17:
      StartStory(this, "fst_1216_a1_cmn");
      break;
    case 30:
      BeginStart(this, 31, 11);
      break;
    case 31:
      WaitStartTransition(this, 32);
      break;
    case 32:
      if (elapsed >= 500) phase = 33;
      break;
    case 33:
      StartStory(this, "0ind_1216_a1_hsr");
      break;
    case 50:
    case 51:
    case 52:
    case 53:
      ReleaseTextWindow();
      gameMode = MODE_CG + (phase - 50);
      phase = 0;
      break;
    case 90:
      ShowMenuPictures(this);
      t.cursor = t.previousCursor = kCursorNone;
      phase = 12;
      BuildMessageWindow();
      break;
    default:
      break;
  }
  return 1;
}
