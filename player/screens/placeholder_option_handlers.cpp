// Stands in for the option handlers: each stores its setting as given and
// leaves the menu's ticks alone.
#include "player/core/settings.h"
#include "player/screens/option_handlers.h"
#include "player/screens/popup_menu.h"

#define STORE(name, field) \
  void name(CPopupMenu*, int, GameSettings* s, int value) { s->field = value; }
STORE(SetTitleImageMode, titleImageMode)
STORE(SetMapAnimeUse, mapAnimeUse)
STORE(SetMannerFullCut, mannerFullCut)
STORE(SetSaveMascotIcon, saveMascotIcon)
STORE(SetMascotVoice, mascotVoice)
STORE(SetWinTransparency, windowTrans)
STORE(SetTransMode, transMode)
STORE(SetTextCutMode, textCutMode)
STORE(SetSacraMode, sacraMode)
STORE(SetVoiceCutMode, voiceCutMode)
STORE(SetVgaQuality, vgaQuality)
STORE(SetEffectUse, effectUse)
STORE(SetMusicPlay, musicPlay)
STORE(SetVoicePlay, voicePlay)
STORE(SetSePlay, sePlay)
STORE(SetMessageShadow, messageShadow)
STORE(SetMasterVolume, masterVolume)
STORE(SetMusicVolume, musicVolume)
STORE(SetVoiceVolume, voiceVolume)
STORE(SetSeVolume, seVolume)
STORE(SetMovieVolume, movieVolume)
STORE(SetDispFreeMode, dispFreeMode)
STORE(SetMannerVoiceCut, mannerVoiceCut)
STORE(SetVoiceAutoLock, voiceAutoLock)
STORE(SetAntialiasLevel, antialiasLevel)
STORE(SetMessageSpeed, messageSpeed)
STORE(SetMessageAuto, messageAuto)
STORE(SetMessageAutoBase, messageAutoBase)
STORE(SetMessageAutoOne, messageAutoOne)
STORE(SetLockSkip, lockSkip)
STORE(SetKeyDoubleClick, keyDoubleClick)
STORE(SetCenterKeyAction, centerKeyAction)
STORE(SetCursorMode, cursorMode)
STORE(SetReadSkip, readSkip)
#undef STORE

// Two-way radios keep 0 and 1 and store 0 for anything else.
void SetSoundQuality(CPopupMenu*, int, GameSettings* s, int value) { s->soundQuality = value == 1 ? 1 : 0; }
void SetOggUseLevel(CPopupMenu*, int, GameSettings* s, int value) { s->oggUseLevel = value == 1 ? 1 : 0; }
void SetMessageLogStart(CPopupMenu*, int, GameSettings* s, int value) { s->mesLogStart = value == 1 ? 1 : 0; }

void SetCharVoiceUse(CPopupMenu*, int, GameSettings* s, int character, int value) {
  if (character >= 0 && character < 16) s->charVoiceUse[character] = value;
}

void SetMessageFont(CPopupMenu*, int, GameSettings* s, int, int fontIndex) { s->messageFont = fontIndex; }

void EnableMenuCommand(CPopupMenu*, int) {}

void SetSaveLoadEnabled(CPopupMenu*, GameSettings*, int32_t* saveAllowedWord, int loadAllowed, int saveAllowed) {
  if (loadAllowed && saveAllowedWord) *saveAllowedWord = saveAllowed;
}

void UpdateSaveSlotItems(CPopupMenu*, int, int, const int*, int) {}
void UpdateAutoSaveItems(CPopupMenu*, int, const int*, int) {}
