// The quick option box at the right of the screen: save, load,
// configuration, return to the title and close, with the story date.
#include "common/format.h"
#include "player/app/game_app.h"
#include "player/core/text_window.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kChipPicture = 200;
constexpr int kDatePicture = 201;
constexpr int kPriority = 7;
constexpr int kOutside = 7;
constexpr int kItems = 6;
constexpr int kHighlightX = 120;

const ChipLayout kBox = {309, kChipPicture, 0, 0, 192, 264, 576, 32, kPriority};
const ChipLayout kDate = {307, kDatePicture, 0, 0, 192, 264, 576, 32, kPriority};
// Items 0-5: top entry, save, load, configuration, return to the title, close.
const ChipLayout kItemChips[kItems] = {
    {300, kChipPicture, 0, 432, 120, 24, 612, 77, kPriority}, {301, kChipPicture, 0, 456, 72, 24, 636, 107, kPriority},
    {302, kChipPicture, 0, 480, 72, 24, 636, 137, kPriority}, {303, kChipPicture, 0, 504, 88, 24, 628, 167, kPriority},
    {304, kChipPicture, 0, 528, 72, 24, 636, 197, kPriority}, {306, kChipPicture, 0, 576, 88, 24, 628, 227, kPriority},
};
// A press outside the box is 7; inside, nothing unless an item holds it.
const HitBox kBoxes[kItems + 1] = {
    {576, 32, 192, 264, kCursorNone},
    {612, 77, 120, 24, 0},
    {636, 107, 72, 24, 1},
    {636, 137, 72, 24, 2},
    {628, 167, 88, 24, 3},
    {636, 197, 72, 24, 4},
    {628, 227, 88, 24, 5},
};
// Modes whose scene has a story date.
const int kDatedModes[] = {MODE_STORY, MODE_MAP, MODE_ALARM, MODE_MINIGAME};

void DrawStoryDate(CGameApp* app) {
  bool dated = false;
  for (int m : kDatedModes) dated = dated || app->quickOption.returnMode == m;
  if (!dated) return;
  const SceneRecord* r = LookupSceneRecord(app->story.scriptName);
  char text[32];
  if (r && r->month != 0)
    FormatStringN(text, sizeof text, "[%z2\x8c\x8e%z2\x93\xfa]", int(r->month), int(r->day));  // [MM月DD日]
  else
    FormatStringN(text, sizeof text, "[\x81\x48\x8c\x8e\x81\x48\x93\xfa]");  // [？月？日]
  app->FreePictureSlot(kDatePicture);
  app->CreateAlphaPicture(kDatePicture, 192, 264);
  if (app->textWindow && app->pictures[kDatePicture])
    app->textWindow->DrawStringAltFont(app->pictures[kDatePicture], text, 18, 0, 0xFFFFFF, 56, 228, 0, 1, 2);
  MakeChip(app, kDate);
}

void CloseQuickOption(CGameApp* app) {
  RemoveSprites(app, 300, 307);
  RemoveSprites(app, 309, 309);
  app->FreePictureSlot(kChipPicture);
  app->FreePictureSlot(kDatePicture);
  const QuickOptionState& q = app->quickOption;
  app->FreeThumbnail();
  ReturnFromScreen(app, q.returnMode, q.returnPhase, q.windowWasShown);
}

void SetItemCell(CGameApp* app, int item, int x) {
  if (item < 0 || item >= kItems) return;
  const ChipLayout& c = kItemChips[item];
  SetChipSource(app, c.sprite, c.picture, x, c.sy, c.w, c.h);
}

}  // namespace

void CGameApp::OpenQuickOption() {
  // The thumbnail shows the game, not the box.
  CaptureThumbnail();
  QuickOptionState& q = quickOption;
  EnterScreen(this, MODE_QUICK_OPTION, &q.returnMode, &q.returnPhase, &q.windowWasShown);
  q.cursor = kCursorNone;
  BuildQuickOption();
}

void CGameApp::BuildQuickOption() {
  LoadPictureSlot(kChipPicture, "AdvData\\grp\\system\\quickoption_chip00", 1);
  MakeChip(this, kBox);
  for (const ChipLayout& c : kItemChips) MakeChip(this, c);
  DrawStoryDate(this);
}

int CGameApp::RunQuickOption() {
  QuickOptionState& q = quickOption;
  InputState* in = &input;
  if (TakeFreshPress(in, IN_KEY_A)) {
    in->count[IN_RIGHT] = 0;
    CloseQuickOption(this);
    return 1;
  }
  const int start = q.cursor;
  int cursor = start;
  if (TakeFreshPress(in, IN_UP)) cursor = (cursor == 0 || cursor == kOutside || cursor == kCursorNone) ? 5 : cursor - 1;
  if (TakeFreshPress(in, IN_DOWN)) cursor = (cursor == kOutside || cursor == kCursorNone) ? 0 : (cursor + 1) % kItems;
  if (in->tap) cursor = PickHitBox(this, kBoxes, kItems + 1, kOutside);
  if (cursor != q.cursor) {
    SetItemCell(this, q.cursor, 0);
    SetItemCell(this, cursor, kHighlightX);
    q.cursor = cursor;
  }
  if (TakeChoice(in) && q.cursor == start) {
    switch (q.cursor) {
      case 1:
        OpenSaveLoad(0);
        break;
      case 2:
        OpenSaveLoad(1);
        break;
      case 3:
        OpenSystemConfig();
        break;
      case 4:
        OpenConfirm(1);
        break;
      case 5:
      case kOutside:
        CloseQuickOption(this);
        return 1;
      default:
        break;
    }
  }
  if (gameMode == MODE_QUICK_OPTION) StepOverlayWeather(this);
  return 1;
}
