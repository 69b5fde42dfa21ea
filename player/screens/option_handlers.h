// Option handlers: each stores one setting and keeps the menu's ticks in step.
#pragma once

#include <cstdint>

class CPopupMenu;
struct GameSettings;

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
void SetMessageFont(CPopupMenu* menu, int first, GameSettings* settings, int fontCount, int fontIndex);
void EnableMenuCommand(CPopupMenu* menu, int commandId);
void SetSaveLoadEnabled(CPopupMenu* menu, GameSettings* settings, int32_t* saveAllowedWord, int loadAllowed,
                        int saveAllowed);
void UpdateSaveSlotItems(CPopupMenu* menu, int firstLoadId, int firstSaveId, const int* used, int newest);
void UpdateAutoSaveItems(CPopupMenu* menu, int firstId, const int* used, int newest);
