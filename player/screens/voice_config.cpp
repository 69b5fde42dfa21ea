// The voice configuration: each of sixteen characters' voices on or off,
// all on, all off; reached from the system configuration and back to it.
#include "player/app/game_app.h"
#include "player/core/menu_ids.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kBackground = 220, kButtonsPicture = 221, kCells = 222;
constexpr int kPriority = 4, kBackgroundPriority = 5;
constexpr int kNone = kConfigCursorNone;
constexpr int kCharacters = 16, kAllOn = 16, kAllOff = 17, kBack = 18, kItems = 19;
constexpr int kFirstCellSprite = 210;
constexpr int kOnY = 1, kOffY = 217, kHighlightDrop = 72;
constexpr int kCellWidth = 72, kCellHeight = 71;

// All on, all off, back.
const ItemCells kButtons[3] = {
    {202, kButtonsPicture, 176, 1, 176, 31, 176, 33, 176, 31},
    {203, kButtonsPicture, 0, 1, 176, 31, 0, 33, 176, 31},
    {201, kButtonsPicture, 352, 1, 176, 31, 352, 33, 176, 31},
};
const int16_t kButtonY[3] = {193, 263, 334};
constexpr int kButtonX = 55;

int CellX(int k) { return 288 + 90 * (k % 4); }
int CellY(int k) { return 120 + 90 * (k / 4); }

// Cell 9 plays character 10 and cell 10 character 9.
int VoiceCharacter(int k) { return k == 9 ? 10 : k == 10 ? 9 : k; }

void SetCell(CGameApp* app, int k, int highlighted) {
  const int y = (app->settings.charVoiceUse[k] ? kOnY : kOffY) + (highlighted ? kHighlightDrop : 0);
  SetChipSource(app, kFirstCellSprite + k, kCells, kCellWidth * k, y, kCellWidth, kCellHeight);
}

void SetItemCell(CGameApp* app, int item, int highlighted) {
  if (item >= 0 && item < kCharacters) SetCell(app, item, highlighted);
  if (item >= kAllOn && item <= kBack)
    SwapHighlight(app, kButtons, 3, highlighted ? -1 : item - kAllOn, highlighted ? item - kAllOn : -1);
}

void SetAll(CGameApp* app, int value) {
  for (int k = 0; k < kCharacters; ++k) {
    SetCharVoiceUse(app->menu, kMenuCharVoiceFirst, &app->settings, k, value);
    SetCell(app, k, 0);
  }
}

void RemoveVoiceConfig(CGameApp* app) {
  RemoveSprites(app, 200, 299);
  FreePictureSlots(app, kBackground, kCells);
}

}  // namespace

void CGameApp::OpenVoiceConfig() {
  RemoveVoiceConfig(this);
  gameMode = MODE_VOICE_CONFIG;
  voiceConfig.cursor = kNone;
  BuildVoiceConfig();
}

void CGameApp::BuildVoiceConfig() {
  FreePictureSlots(this, kBackground, kCells);
  LoadPictureSlot(kBackground, "AdvData\\grp\\system\\voiceconfig_BG00", 0);
  LoadPictureSlot(kButtonsPicture, "AdvData\\grp\\system\\voiceconfig_chip00", 1);
  LoadPictureSlot(kCells, "AdvData\\grp\\system\\voiceconfig_chip01", 1);
  MakeChip(this, 200, kBackground, 0, 0, 800, 600, 0, 0, kBackgroundPriority);
  for (int i = 0; i < 3; ++i)
    MakeChip(this, kButtons[i].sprite, kButtonsPicture, kButtons[i].sx, kButtons[i].sy, kButtons[i].w, kButtons[i].h,
             kButtonX, kButtonY[i], kPriority);
  for (int k = 0; k < kCharacters; ++k)
    MakeChip(this, kFirstCellSprite + k, kCells, kCellWidth * k, settings.charVoiceUse[k] ? kOnY : kOffY, kCellWidth,
             kCellHeight, CellX(k), CellY(k), kPriority);
}

void CGameApp::CloseVoiceConfig() {
  RemoveVoiceConfig(this);
  gameMode = MODE_SYSTEM_CONFIG;
  systemConfig.cursor = kNone;
  BuildSystemConfig();
}

int CGameApp::RunVoiceConfig() {
  int32_t& cursorWord = voiceConfig.cursor;
  InputState* in = &input;
  if (TakeFreshPress(in, IN_KEY_A)) {
    CloseVoiceConfig();
    return 1;
  }
  const int start = cursorWord;
  int cursor = start;
  if (TakeFreshPress(in, IN_UP)) cursor = (cursor == kNone || cursor == 0) ? kBack : cursor - 1;
  if (TakeFreshPress(in, IN_DOWN)) cursor = cursor == kNone ? 0 : (cursor + 1) % kItems;
  if (in->tap) {
    HitBox boxes[kItems];
    for (int k = 0; k < kCharacters; ++k) boxes[k] = {int16_t(CellX(k)), int16_t(CellY(k)), kCellWidth, 72, int16_t(k)};
    for (int i = 0; i < 3; ++i) boxes[kCharacters + i] = {kButtonX, kButtonY[i], 176, 32, int16_t(kAllOn + i)};
    cursor = PickHitBox(this, boxes, kItems, kNone);
  }
  if (cursor != cursorWord) {
    SetItemCell(this, cursorWord, 0);
    SetItemCell(this, cursor, 1);
    cursorWord = cursor;
  }
  if (!TakeChoice(in) || cursorWord != start) return 1;
  const int item = cursorWord;
  if (item >= 0 && item < kCharacters) {
    const int on = settings.charVoiceUse[item] ? 0 : 1;
    SetCharVoiceUse(menu, kMenuCharVoiceFirst, &settings, item, on);
    SetCell(this, item, 1);
    PlaySystemVoice(VoiceCharacter(item), on ? 12 : 13);
  } else if (item == kAllOn) {
    SetAll(this, 1);
  } else if (item == kAllOff) {
    SetAll(this, 0);
  } else if (item == kBack) {
    CloseVoiceConfig();
  }
  return 1;
}
