#include "player/menu/option_handlers.h"

#include <iterator>

#include "player/core/menu_ids.h"
#include "player/menu/popup_menu.h"

namespace {

const OptionHandlerEntry kOptions[] = {
    {"SetTitleImageMode", &GameSettings::titleImageMode, kMenuTitleImageFirst, OPTION_RADIO, 4},
    {"SetMapAnimeUse", &GameSettings::mapAnimeUse, kMenuMapAnimeUse, OPTION_SWITCH, 1},
    {"SetMannerFullCut", &GameSettings::mannerFullCut, kMenuMannerFullCut, OPTION_SWITCH, 1},
    {"SetSaveMascotIcon", &GameSettings::saveMascotIcon, kMenuSaveIconFirst, OPTION_RADIO, 15},
    {"SetMascotVoice", &GameSettings::mascotVoice, kMenuMascotVoiceFirst, OPTION_RADIO, 15},
    {"SetWinTransparency", &GameSettings::windowTrans, kMenuWindowTransFirst, OPTION_TRANSPARENCY, 11},
    {"SetTransMode", &GameSettings::transMode, kMenuTransMode, OPTION_SWITCH, 1},
    {"SetTextCutMode", &GameSettings::textCutMode, kMenuTextCutMode, OPTION_SWITCH, 1},
    {"SetSacraMode", &GameSettings::sacraMode, kMenuSacraMode, OPTION_SWITCH, 1},
    {"SetSoundQuality", &GameSettings::soundQuality, kMenuSoundQualityFirst, OPTION_TWO_WAY, 2},
    {"SetOggUseLevel", &GameSettings::oggUseLevel, kMenuOggUseFirst, OPTION_TWO_WAY, 2},
    {"SetVoiceCutMode", &GameSettings::voiceCutMode, kMenuVoiceCutFirst, OPTION_RADIO_CLAMP, 3},
    {"SetVgaQuality", &GameSettings::vgaQuality, kMenuVgaQuality, OPTION_SWITCH, 1},
    {"SetEffectUse", &GameSettings::effectUse, kMenuEffectUse, OPTION_SWITCH, 1},
    {"SetMusicPlay", &GameSettings::musicPlay, kMenuMusicPlay, OPTION_SWITCH, 1},
    {"SetVoicePlay", &GameSettings::voicePlay, kMenuVoicePlay, OPTION_SWITCH, 1},
    {"SetSePlay", &GameSettings::sePlay, kMenuSePlay, OPTION_SWITCH, 1},
    {"SetMessageShadow", &GameSettings::messageShadow, kMenuMessageShadow, OPTION_SWITCH, 1},
    {"SetMasterVolume", &GameSettings::masterVolume, kMenuMasterVolumeFirst, OPTION_VOLUME, 10},
    {"SetMusicVolume", &GameSettings::musicVolume, kMenuMusicVolumeFirst, OPTION_VOLUME, 10},
    {"SetVoiceVolume", &GameSettings::voiceVolume, kMenuVoiceVolumeFirst, OPTION_VOLUME, 10},
    {"SetSeVolume", &GameSettings::seVolume, kMenuSeVolumeFirst, OPTION_VOLUME, 10},
    {"SetMovieVolume", &GameSettings::movieVolume, kMenuMovieVolumeFirst, OPTION_VOLUME, 10},
    {"SetDispFreeMode", &GameSettings::dispFreeMode, kMenuDispFreeFirst, OPTION_RADIO, 3},
    {"SetMannerVoiceCut", &GameSettings::mannerVoiceCut, kMenuMannerVoiceCut, OPTION_SWITCH, 1},
    {"SetVoiceAutoLock", &GameSettings::voiceAutoLock, kMenuVoiceAutoLock, OPTION_SWITCH, 1},
    {"SetAntialiasLevel", &GameSettings::antialiasLevel, kMenuAntialiasFirst, OPTION_RADIO, 4},
    {"SetMessageSpeed", &GameSettings::messageSpeed, kMenuMessageSpeedFirst, OPTION_RADIO, 10},
    {"SetMessageAuto", &GameSettings::messageAuto, kMenuMessageAuto, OPTION_SWITCH, 1},
    {"SetMessageAutoBase", &GameSettings::messageAutoBase, kMenuAutoBaseFirst, OPTION_RADIO, 10},
    {"SetMessageAutoOne", &GameSettings::messageAutoOne, kMenuAutoOneFirst, OPTION_RADIO, 10},
    {"SetLockSkip", &GameSettings::lockSkip, kMenuLockSkip, OPTION_SWITCH, 1},
    {"SetKeyDoubleClick", &GameSettings::keyDoubleClick, kMenuKeyDoubleClick, OPTION_SWITCH, 1},
    {"SetCenterKeyAction", &GameSettings::centerKeyAction, kMenuCenterKeyFirst, OPTION_RADIO, 6},
    {"SetCursorMode", &GameSettings::cursorMode, kMenuCursorModeFirst, OPTION_RADIO, 5},
    {"SetMessageLogStart", &GameSettings::mesLogStart, kMenuLogStartFirst, OPTION_TWO_WAY, 2},
    {"SetReadSkip", &GameSettings::readSkip, kMenuReadSkip, OPTION_SWITCH, 1},
};

enum OptionIndex {
  kSetTitleImageMode,
  kSetMapAnimeUse,
  kSetMannerFullCut,
  kSetSaveMascotIcon,
  kSetMascotVoice,
  kSetWinTransparency,
  kSetTransMode,
  kSetTextCutMode,
  kSetSacraMode,
  kSetSoundQuality,
  kSetOggUseLevel,
  kSetVoiceCutMode,
  kSetVgaQuality,
  kSetEffectUse,
  kSetMusicPlay,
  kSetVoicePlay,
  kSetSePlay,
  kSetMessageShadow,
  kSetMasterVolume,
  kSetMusicVolume,
  kSetVoiceVolume,
  kSetSeVolume,
  kSetMovieVolume,
  kSetDispFreeMode,
  kSetMannerVoiceCut,
  kSetVoiceAutoLock,
  kSetAntialiasLevel,
  kSetMessageSpeed,
  kSetMessageAuto,
  kSetMessageAutoBase,
  kSetMessageAutoOne,
  kSetLockSkip,
  kSetKeyDoubleClick,
  kSetCenterKeyAction,
  kSetCursorMode,
  kSetMessageLogStart,
  kSetReadSkip,
  kOptionCount
};
static_assert(kOptionCount == std::size(kOptions), "one index per handler");

void Check(CPopupMenu* menu, int id, bool on) {
  if (menu) menu->SetChecked(nullptr, id, on ? kMenuChecked : 0);
}

}  // namespace

const OptionHandlerEntry* OptionHandlerTable(int* count) {
  if (count) *count = int(std::size(kOptions));
  return kOptions;
}

int OptionPosition(const OptionHandlerEntry& e, int value) {
  switch (e.kind) {
    case OPTION_SWITCH:
      return 0;
    case OPTION_VOLUME:
      return value >= 10 && value <= 100 && value % 10 == 0 ? (100 - value) / 10 : -1;
    case OPTION_TRANSPARENCY:
      return value >= 0 && value <= 10 ? 10 - value : -1;
    default:
      return value >= 0 && value < e.items ? value : -1;
  }
}

void ApplyOption(const OptionHandlerEntry& e, CPopupMenu* menu, int first, GameSettings* settings, int value) {
  if ((e.kind == OPTION_TWO_WAY && (value < 0 || value > 1)) || (e.kind == OPTION_RADIO_CLAMP && value > e.items - 1))
    value = 0;
  if (settings) settings->*e.word = value;
  if (e.kind == OPTION_SWITCH) {
    Check(menu, first, value != 0);
    return;
  }
  const int p = OptionPosition(e, value);
  for (int i = 0; i < e.items; ++i) Check(menu, first + i, i == p);
}

#define VELMI_OPTION_HANDLER(name)                                            \
  void name(CPopupMenu* menu, int first, GameSettings* settings, int value) { \
    ApplyOption(kOptions[k##name], menu, first, settings, value);             \
  }
VELMI_OPTION_HANDLER(SetTitleImageMode)
VELMI_OPTION_HANDLER(SetMapAnimeUse)
VELMI_OPTION_HANDLER(SetMannerFullCut)
VELMI_OPTION_HANDLER(SetSaveMascotIcon)
VELMI_OPTION_HANDLER(SetMascotVoice)
VELMI_OPTION_HANDLER(SetWinTransparency)
VELMI_OPTION_HANDLER(SetTransMode)
VELMI_OPTION_HANDLER(SetTextCutMode)
VELMI_OPTION_HANDLER(SetSacraMode)
VELMI_OPTION_HANDLER(SetSoundQuality)
VELMI_OPTION_HANDLER(SetOggUseLevel)
VELMI_OPTION_HANDLER(SetVoiceCutMode)
VELMI_OPTION_HANDLER(SetVgaQuality)
VELMI_OPTION_HANDLER(SetEffectUse)
VELMI_OPTION_HANDLER(SetMusicPlay)
VELMI_OPTION_HANDLER(SetVoicePlay)
VELMI_OPTION_HANDLER(SetSePlay)
VELMI_OPTION_HANDLER(SetMessageShadow)
VELMI_OPTION_HANDLER(SetMasterVolume)
VELMI_OPTION_HANDLER(SetMusicVolume)
VELMI_OPTION_HANDLER(SetVoiceVolume)
VELMI_OPTION_HANDLER(SetSeVolume)
VELMI_OPTION_HANDLER(SetMovieVolume)
VELMI_OPTION_HANDLER(SetDispFreeMode)
VELMI_OPTION_HANDLER(SetMannerVoiceCut)
VELMI_OPTION_HANDLER(SetVoiceAutoLock)
VELMI_OPTION_HANDLER(SetAntialiasLevel)
VELMI_OPTION_HANDLER(SetMessageSpeed)
VELMI_OPTION_HANDLER(SetMessageAuto)
VELMI_OPTION_HANDLER(SetMessageAutoBase)
VELMI_OPTION_HANDLER(SetMessageAutoOne)
VELMI_OPTION_HANDLER(SetLockSkip)
VELMI_OPTION_HANDLER(SetKeyDoubleClick)
VELMI_OPTION_HANDLER(SetCenterKeyAction)
VELMI_OPTION_HANDLER(SetCursorMode)
VELMI_OPTION_HANDLER(SetMessageLogStart)
VELMI_OPTION_HANDLER(SetReadSkip)
#undef VELMI_OPTION_HANDLER

void SetCharVoiceUse(CPopupMenu* menu, int first, GameSettings* settings, int character, int value) {
  if (character < 0 || character >= 16) return;
  if (settings) settings->charVoiceUse[character] = value;
  // The sixteenth character has no item.
  if (character < 15) Check(menu, first + character, value != 0);
}

void SetMessageFont(CPopupMenu* menu, int first, GameSettings* settings, int fontCount, int fontIndex) {
  if (settings) settings->messageFont = fontIndex;
  if (!menu) return;
  const int items = fontCount < 0 ? 0 : fontCount > kMenuFontItems ? kMenuFontItems : fontCount;
  for (int i = 0; i < items; ++i) {
    const bool chosen = i == fontIndex;
    menu->SetChecked(nullptr, first + i, chosen ? kMenuChecked : 0);
    menu->SetEnabled(nullptr, first + i, chosen ? 0 : kMenuEnabled);
  }
}

void EnableMenuCommand(CPopupMenu* menu, int commandId) {
  if (menu) menu->SetEnabled(nullptr, commandId, kMenuEnabled);
}

void SetSaveLoadEnabled(CPopupMenu* menu, GameSettings*, int32_t* saveAllowedWord, int loadAllowed, int saveAllowed) {
  // The root page's first two items: the load and the save submenus.
  if (!loadAllowed) {
    if (menu) {
      menu->SetEnabled(nullptr, 0, kMenuByIndex);
      menu->SetEnabled(nullptr, 1, kMenuByIndex);
    }
    return;
  }
  if (menu) {
    menu->SetEnabled(nullptr, 0, kMenuByIndex | kMenuEnabled);
    menu->SetEnabled(nullptr, 1, kMenuByIndex | (saveAllowed ? kMenuEnabled : 0));
  }
  if (saveAllowedWord) *saveAllowedWord = saveAllowed;
}

void UpdateSaveSlotItems(CPopupMenu* menu, int firstLoadId, int firstSaveId, const int* used, int newest) {
  if (!menu) return;
  for (int k = 0; k < 15; ++k) {
    const uint32_t checked = k == newest ? kMenuChecked : 0;
    menu->SetEnabled(nullptr, firstLoadId + k, used && used[k] ? kMenuEnabled : 0);
    menu->SetChecked(nullptr, firstLoadId + k, checked);
    menu->SetEnabled(nullptr, firstSaveId + k, kMenuEnabled);
    menu->SetChecked(nullptr, firstSaveId + k, checked);
  }
}

void UpdateAutoSaveItems(CPopupMenu* menu, int firstId, const int* used, int newest) {
  if (!menu) return;
  for (int k = 0; k < 3; ++k) {
    menu->SetEnabled(nullptr, firstId + k, used && used[k] ? kMenuEnabled : 0);
    menu->SetChecked(nullptr, firstId + k, k == newest ? kMenuChecked : 0);
  }
}
