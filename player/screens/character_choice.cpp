// The two panels of sixteen character icons: the system-voice character of
// the configuration screen and the icon of a save.
#include "player/app/game_app.h"
#include "player/core/menu_ids.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kFirstIconSprite = 280;
constexpr int kPanelSprite = 299;
constexpr int kLastSprite = 299;
constexpr int kIcons = 16;
constexpr int kBackChoice = 16;
constexpr int kPriority = 3;

struct ChooserLayout {
  int16_t picture;
  int16_t panelX, panelY, panelW, panelH;  // source
  int16_t panelLeft, panelTop;             // position
  int16_t iconSize;
  int16_t normalY, highlightY;
  int16_t iconLeft, iconStepX, iconTop, iconStepY;
  int32_t none;
};
const ChooserLayout kMascotVoice = {221, 0, 144, 400, 392, 208, 96, 72, 536, 608, 248, 82, 136, 82, kConfigCursorNone};
const ChooserLayout kSaveIcon = {223, 0, 0, 312, 312, 48, 160, 56, 313, 369, 80, 65, 192, 64, kCursorNone};

int IconX(const ChooserLayout& l, int k) { return l.iconLeft + l.iconStepX * (k % 4); }
int IconY(const ChooserLayout& l, int k) { return l.iconTop + l.iconStepY * (k / 4); }

void SetIconCell(CGameApp* app, const ChooserLayout& l, int k, int highlighted) {
  if (k < 0 || k >= kIcons) return;
  SetChipSource(app, kFirstIconSprite + k, l.picture, l.iconSize * k, highlighted ? l.highlightY : l.normalY,
                l.iconSize, l.iconSize);
}

void BuildChooser(CGameApp* app, const ChooserLayout& l) {
  RemoveSprites(app, kPanelSprite, kPanelSprite);
  MakeChip(app, kPanelSprite, l.picture, l.panelX, l.panelY, l.panelW, l.panelH, l.panelLeft, l.panelTop, kPriority);
  for (int k = 0; k < kIcons; ++k) {
    RemoveSprites(app, kFirstIconSprite + k, kFirstIconSprite + k);
    MakeChip(app, kFirstIconSprite + k, l.picture, l.iconSize * k, l.normalY, l.iconSize, l.iconSize, IconX(l, k),
             IconY(l, k), kPriority);
  }
}

// One frame of either chooser; the choice (0-15, 16 back) or -1 while it
// stays open.
int RunChooser(CGameApp* app, const ChooserLayout& l, int32_t* selection) {
  InputState* in = &app->input;
  if (TakeFreshPress(in, IN_KEY_A)) return kBackChoice;
  const int start = *selection;
  int s = start;
  if (TakeFreshPress(in, IN_UP)) s = (s == l.none || s == 0) ? kBackChoice : s - 1;
  if (TakeFreshPress(in, IN_DOWN)) s = s == l.none ? 0 : (s + 1) % (kIcons + 1);
  if (in->tap) {
    HitBox boxes[kIcons + 1];
    boxes[0] = {l.panelLeft, l.panelTop, l.panelW, l.panelH, int16_t(l.none)};
    for (int k = 0; k < kIcons; ++k)
      boxes[k + 1] = {int16_t(IconX(l, k)), int16_t(IconY(l, k)), l.iconSize, l.iconSize, int16_t(k)};
    s = PickHitBox(app, boxes, kIcons + 1, kBackChoice);
  }
  if (s != start) {
    SetIconCell(app, l, start, 0);
    SetIconCell(app, l, s, 1);
    *selection = s;
  }
  if (!TakeChoice(in)) return -1;
  if (s != start || s == l.none) return -1;
  return s;
}

void ShowMascotPortrait(CGameApp* app) { SetChipSource(app, 201, 222, 104 * app->settings.mascotVoice, 0, 104, 104); }

}  // namespace

void CGameApp::OpenMascotVoiceScreen() {
  characterChoice.selection = kConfigCursorNone;
  gameMode = MODE_MASCOT_VOICE;
  BuildChooser(this, kMascotVoice);
}

int CGameApp::RunMascotVoiceScreen() {
  const int choice = RunChooser(this, kMascotVoice, &characterChoice.selection);
  if (choice < 0) return 1;
  if (choice < kIcons) {
    PlaySystemVoice(choice, 12);
    SetMascotVoice(menu, kMenuMascotVoiceFirst, &settings, choice);
  }
  RemoveSprites(this, kFirstIconSprite, kLastSprite);
  ShowMascotPortrait(this);
  gameMode = MODE_SYSTEM_CONFIG;
  characterChoice.selection = kConfigCursorNone;
  return 1;
}

void CGameApp::OpenSaveIconScreen() {
  saveLoad.cursor = kCursorNone;
  gameMode = MODE_SAVE_ICON;
  BuildChooser(this, kSaveIcon);
}

int CGameApp::RunSaveIconScreen() {
  const int choice = RunChooser(this, kSaveIcon, &saveLoad.cursor);
  if (choice < 0) return 1;
  RemoveSprites(this, kFirstIconSprite, kLastSprite);
  saveLoad.cursor = saveLoad.chosenRow;
  gameMode = MODE_SAVE_LOAD;
  if (choice == kBackChoice) return 1;
  confirm.saveTargetRow = saveLoad.chosenRow;
  confirm.saveTargetPage = saveLoad.page;
  // Stored before the question, so it stays even when the answer is no.
  SetSaveMascotIcon(menu, kMenuSaveIconFirst, &settings, choice);
  OpenConfirm(120);
  return 1;
}
