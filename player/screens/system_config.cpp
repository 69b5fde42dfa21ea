// The system configuration page: volume and window sliders, three switches,
// the system-voice portrait and the way to the voice configuration.
#include "player/app/game_app.h"
#include "player/core/menu_ids.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "player/scenario/sound_requests.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kBackground = 220, kChips = 221, kPortraits = 222, kCommon = 223;
constexpr int kPriority = 4, kBackgroundPriority = 5;
constexpr int kNone = kConfigCursorNone;
constexpr int kPortrait = 0, kFourth = 4, kVoiceConfig = 5, kBack = 6, kKeyItems = 7;
constexpr int kMusicSteps = 200, kVoiceSteps = 210, kSeSteps = 220, kWindowSteps = 230, kLastStep = 240;
constexpr int kSliderLength = 138;
constexpr int kPanelSprite = 501;  // the message window's text panel

// The three switches (items 1-3): sprite, row, and the setting they show.
struct SwitchItem {
  int16_t sprite, y;
  int32_t GameSettings::*word;
};
const SwitchItem kSwitches[3] = {
    {202, 95, &GameSettings::transMode}, {203, 140, &GameSettings::effectUse}, {204, 185, &GameSettings::textCutMode}};

// Fixed chips.
const ChipLayout kFixed[4] = {
    {205, kChips, 72, 72, 72, 24, 250, 230, kPriority},
    {216, kChips, 305, 0, 151, 24, 528, 232, kPriority},
    {218, kChips, 144, 104, 6, 14, 528 + kSliderLength, 287, kPriority},
    {219, kChips, 144, 96, kSliderLength, 8, 528, 289, kPriority},
};
// Buttons with a highlighted cell at y 33: the fourth button, voice
// configuration, back.
const ItemCells kButtons[3] = {
    {222, kChips, 633, 0, 159, 32, 633, 33, 159, 32},
    {224, kChips, 457, 1, 175, 31, 457, 33, 175, 31},
    {223, kCommon, 0, 0, 112, 32, 0, 33, 112, 32},
};
const int16_t kButtonPosition[3][2] = {{514, 443}, {502, 371}, {608, 531}};

// Sliders: knob and bar sprites, the row, the steps' first cursor and count.
struct Slider {
  int16_t knob, bar, y;
  int16_t firstStep, steps, stepLeft;
};
enum SliderIndex { MUSIC, VOICE, SE, WINDOW };
const Slider kSliders[4] = {
    {210, 211, 107, kMusicSteps, 10, 541},
    {212, 213, 152, kVoiceSteps, 10, 541},
    {214, 215, 197, kSeSteps, 10, 541},
    {220, 221, 332, kWindowSteps, 11, 528},
};
constexpr int kStepWidth = 13, kStepHeight = 14;

const HitBox kItemBoxes[4] = {
    {168, 330, 104, 104, kPortrait},
    // Its touch box lies 30 units above its picture.
    {514, 413, 160, 32, kFourth},
    {502, 371, 176, 32, kVoiceConfig},
    {608, 531, 112, 32, kBack},
};

int SliderLength(const GameSettings& s, int slider) {
  switch (slider) {
    case MUSIC:
      return int(uint32_t(s.musicVolume) * kSliderLength / 100);
    case VOICE:
      return int(uint32_t(s.voiceVolume) * kSliderLength / 100);
    case SE:
      return int(uint32_t(s.seVolume) * kSliderLength / 100);
    default:
      return int(uint32_t(s.windowTrans) * kSliderLength / 10);
  }
}

void BuildSlider(CGameApp* app, int slider) {
  const Slider& s = kSliders[slider];
  const int length = SliderLength(app->settings, slider);
  MakeChip(app, s.knob, kChips, 144, 104, 6, 14, 528 + length, s.y, kPriority);
  MakeChip(app, s.bar, kChips, 144, 96, length, 8, 528, s.y + 2, kPriority);
}

// Source of item 0-6, normal or highlighted.
void ItemSource(const CGameApp* app, int item, int highlighted, int* picture, int* sprite, int r[4]) {
  if (item == kPortrait) {
    *sprite = 201;
    *picture = kPortraits;
    r[0] = 104 * app->settings.mascotVoice, r[1] = highlighted ? 104 : 0, r[2] = 104, r[3] = 104;
  } else if (item >= 1 && item <= 3) {
    const SwitchItem& s = kSwitches[item - 1];
    *sprite = s.sprite;
    *picture = kChips;
    r[0] = app->settings.*s.word == 0 ? 72 : 0, r[1] = highlighted ? 24 : 0, r[2] = 72, r[3] = 24;
  } else {
    const ItemCells& b = kButtons[item - kFourth];
    *sprite = b.sprite;
    *picture = b.picture;
    r[0] = highlighted ? b.hx : b.sx, r[1] = highlighted ? b.hy : b.sy;
    r[2] = highlighted ? b.hw : b.w, r[3] = highlighted ? b.hh : b.h;
  }
}

void SetItemCell(CGameApp* app, int item, int highlighted) {
  if (item < 0 || item >= kKeyItems) return;
  int picture, sprite, r[4];
  ItemSource(app, item, highlighted, &picture, &sprite, r);
  SetChipSource(app, sprite, picture, r[0], r[1], r[2], r[3]);
}

void MakeItem(CGameApp* app, int item, int x, int y) {
  int picture, sprite, r[4];
  ItemSource(app, item, 0, &picture, &sprite, r);
  MakeChip(app, sprite, picture, r[0], r[1], r[2], r[3], x, y, kPriority);
}

void UpdateWindowLevel(CGameApp* app) {
  if (!app->sprites[kPanelSprite]) return;
  app->sprites[kPanelSprite]->SetLevel(WindowTransLevel(app->settings));
}

void CloseSystemConfig(CGameApp* app) {
  const SystemConfigState& c = app->systemConfig;
  CloseFullScreen(app, kPortraits, c.returnMode, c.returnPhase, c.windowWasShown);
}

void ChooseStep(CGameApp* app, int step) {
  GameSettings& s = app->settings;
  CPopupMenu* menu = app->menu;
  SystemConfigState& c = app->systemConfig;
  if (step >= kWindowSteps) {
    const int value = step - kWindowSteps;
    s.windowTrans = value;
    BuildSlider(app, WINDOW);
    SetWinTransparency(menu, kMenuWindowTransFirst, &s, value);
    c.cursor = kNone;
    UpdateWindowLevel(app);
    return;
  }
  const int value = (step % 10 + 1) * 10;
  c.cursor = kNone;
  if (step < kVoiceSteps) {
    s.musicVolume = value;
    BuildSlider(app, MUSIC);
    SetMusicVolume(menu, kMenuMusicVolumeFirst, &s, value);
    // The playing channels take the new volume at once, as from the pop-up menu.
    app->ApplyChannelVolumes(VOLUME_MUSIC, value);
  } else if (step < kSeSteps) {
    s.voiceVolume = value;
    BuildSlider(app, VOICE);
    SetVoiceVolume(menu, kMenuVoiceVolumeFirst, &s, value);
    app->ApplyChannelVolumes(VOLUME_VOICE, value);
  } else {
    s.seVolume = value;
    BuildSlider(app, SE);
    SetSeVolume(menu, kMenuSeVolumeFirst, &s, value);
    app->ApplyChannelVolumes(VOLUME_EFFECT, value);
  }
}

void ChooseSwitch(CGameApp* app, int item) {
  GameSettings& s = app->settings;
  app->systemConfig.cursor = kNone;
  const int value = s.*kSwitches[item - 1].word ? 0 : 1;
  if (item == 1) SetTransMode(app->menu, kMenuTransMode, &s, value);
  if (item == 2) SetEffectUse(app->menu, kMenuEffectUse, &s, value);
  if (item == 3) SetTextCutMode(app->menu, kMenuTextCutMode, &s, value);
  SetItemCell(app, item, 0);
  if (item == 1) UpdateWindowLevel(app);
}

}  // namespace

void CGameApp::OpenSystemConfig() {
  SystemConfigState& c = systemConfig;
  EnterScreen(this, MODE_SYSTEM_CONFIG, &c.returnMode, &c.returnPhase, &c.windowWasShown);
  c.cursor = kNone;
  BuildSystemConfig();
}

void CGameApp::BuildSystemConfig() {
  DisableSaveLoadMenus(this);
  FreePictureSlots(this, kBackground, kPortraits);
  LoadPictureSlot(kBackground, "AdvData\\grp\\system\\systemconfig_bg", 0);
  LoadPictureSlot(kChips, "AdvData\\grp\\system\\systemconfig_chip00", 1);
  LoadPictureSlot(kPortraits, "AdvData\\grp\\system\\systemconfig_chip01", 1);
  LoadPictureSlot(kCommon, "AdvData\\grp\\system\\common_chip00", 1);
  MakeChip(this, 200, kBackground, 0, 0, 800, 600, 0, 0, kBackgroundPriority);
  MakeItem(this, kPortrait, 168, 330);
  for (int i = 0; i < 3; ++i) MakeItem(this, i + 1, 250, kSwitches[i].y);
  for (const ChipLayout& f : kFixed) MakeChip(this, f);
  for (int s = MUSIC; s <= WINDOW; ++s) BuildSlider(this, s);
  for (int i = 0; i < 3; ++i) MakeItem(this, kFourth + i, kButtonPosition[i][0], kButtonPosition[i][1]);
}

int CGameApp::RunSystemConfig() {
  SystemConfigState& c = systemConfig;
  InputState* in = &input;
  if (TakeFreshPress(in, IN_KEY_A)) {
    CloseSystemConfig(this);
    return 1;
  }
  const int start = c.cursor;
  int cursor = start;
  if (TakeFreshPress(in, IN_UP)) cursor = (cursor == kNone || cursor == 0) ? kBack : cursor - 1;
  if (TakeFreshPress(in, IN_DOWN)) cursor = cursor == kNone ? 0 : (cursor + 1) % kKeyItems;
  if (in->tap) {
    HitBox boxes[3 + 41 + 4];
    int n = 0;
    for (int i = 0; i < 3; ++i) boxes[n++] = {250, kSwitches[i].y, 72, 24, int16_t(i + 1)};
    for (const Slider& s : kSliders)
      for (int i = 0; i < s.steps; ++i)
        boxes[n++] = {int16_t(s.stepLeft + kStepWidth * i), s.y, kStepWidth, kStepHeight, int16_t(s.firstStep + i)};
    for (const HitBox& b : kItemBoxes) boxes[n++] = b;
    cursor = PickHitBox(this, boxes, n, kNone);
  }
  if (cursor != c.cursor) {
    SetItemCell(this, c.cursor, 0);
    SetItemCell(this, cursor, 1);
    c.cursor = cursor;
  }
  if (!TakeChoice(in) || c.cursor != start) return 1;
  const int item = c.cursor;
  if (item >= kMusicSteps && item <= kLastStep) {
    ChooseStep(this, item);
  } else if (item == kPortrait) {
    OpenMascotVoiceScreen();
  } else if (item >= 1 && item <= 3) {
    ChooseSwitch(this, item);
  } else if (item == kVoiceConfig) {
    OpenVoiceConfig();
  } else if (item == kBack) {
    CloseSystemConfig(this);
  }
  return 1;
}
