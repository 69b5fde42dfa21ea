// Option handlers: each stores one setting and keeps the menu's ticks in step.
// The handlers store what they are given; the ranges of the settings are kept
// where velmi.cfg is read.
#pragma once

#include <cstdint>

#include "player/core/settings.h"

class CPopupMenu;

// How a handler shows its value in its group of items.
enum OptionKind : int32_t {
  OPTION_SWITCH,        // one item, checked when the value is not 0
  OPTION_RADIO,         // n items, the one at the value checked
  OPTION_RADIO_CLAMP,   // as a radio, but a value above n - 1 stores 0
  OPTION_TWO_WAY,       // two items; 0 and 1 kept, anything else stores 0
  OPTION_VOLUME,        // 10 items for 100, 90, .., 10
  OPTION_TRANSPARENCY,  // 11 items for 10, 9, .., 0
};

struct OptionHandlerEntry {
  const char* name;
  int32_t GameSettings::*word;
  int32_t first;  // id of the group's first item
  OptionKind kind;
  int32_t items;
};

// Every handler of the (menu, first, settings, value) form, in one table.
const OptionHandlerEntry* OptionHandlerTable(int* count);
// Stores value into the entry's word and sets the ticks of the items from first.
void ApplyOption(const OptionHandlerEntry& entry, CPopupMenu* menu, int first, GameSettings* settings, int value);
// Position of value in the entry's group, or -1 when no item stands for it.
int OptionPosition(const OptionHandlerEntry& entry, int value);

#define VELMI_OPTION_HANDLER(name) void name(CPopupMenu* menu, int first, GameSettings* settings, int value)
VELMI_OPTION_HANDLER(SetTitleImageMode);
VELMI_OPTION_HANDLER(SetMapAnimeUse);
VELMI_OPTION_HANDLER(SetMannerFullCut);
VELMI_OPTION_HANDLER(SetSaveMascotIcon);
VELMI_OPTION_HANDLER(SetMascotVoice);
VELMI_OPTION_HANDLER(SetWinTransparency);
VELMI_OPTION_HANDLER(SetTransMode);
VELMI_OPTION_HANDLER(SetTextCutMode);
VELMI_OPTION_HANDLER(SetSacraMode);
VELMI_OPTION_HANDLER(SetSoundQuality);
VELMI_OPTION_HANDLER(SetOggUseLevel);
VELMI_OPTION_HANDLER(SetVoiceCutMode);
VELMI_OPTION_HANDLER(SetVgaQuality);
VELMI_OPTION_HANDLER(SetEffectUse);
VELMI_OPTION_HANDLER(SetMusicPlay);
VELMI_OPTION_HANDLER(SetVoicePlay);
VELMI_OPTION_HANDLER(SetSePlay);
VELMI_OPTION_HANDLER(SetMessageShadow);
VELMI_OPTION_HANDLER(SetMasterVolume);
VELMI_OPTION_HANDLER(SetMusicVolume);
VELMI_OPTION_HANDLER(SetVoiceVolume);
VELMI_OPTION_HANDLER(SetSeVolume);
VELMI_OPTION_HANDLER(SetMovieVolume);
VELMI_OPTION_HANDLER(SetDispFreeMode);
VELMI_OPTION_HANDLER(SetMannerVoiceCut);
VELMI_OPTION_HANDLER(SetVoiceAutoLock);
VELMI_OPTION_HANDLER(SetAntialiasLevel);
VELMI_OPTION_HANDLER(SetMessageSpeed);
VELMI_OPTION_HANDLER(SetMessageAuto);
VELMI_OPTION_HANDLER(SetMessageAutoBase);
VELMI_OPTION_HANDLER(SetMessageAutoOne);
VELMI_OPTION_HANDLER(SetLockSkip);
VELMI_OPTION_HANDLER(SetKeyDoubleClick);
VELMI_OPTION_HANDLER(SetCenterKeyAction);
VELMI_OPTION_HANDLER(SetCursorMode);
VELMI_OPTION_HANDLER(SetMessageLogStart);
VELMI_OPTION_HANDLER(SetReadSkip);
#undef VELMI_OPTION_HANDLER

void SetCharVoiceUse(CPopupMenu* menu, int first, GameSettings* settings, int character, int value);
// The menu has at most this many font items.
constexpr int kMenuFontItems = 15;
void SetMessageFont(CPopupMenu* menu, int first, GameSettings* settings, int fontCount, int fontIndex);
void EnableMenuCommand(CPopupMenu* menu, int commandId);
void SetSaveLoadEnabled(CPopupMenu* menu, GameSettings* settings, int32_t* saveAllowedWord, int loadAllowed,
                        int saveAllowed);
void UpdateSaveSlotItems(CPopupMenu* menu, int firstLoadId, int firstSaveId, const int* used, int newest);
void UpdateAutoSaveItems(CPopupMenu* menu, int firstId, const int* used, int newest);
