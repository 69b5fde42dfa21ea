#include "player/app/menu_commands.h"

#include <iterator>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/media/sound_mixer.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"

namespace {

using Setter = void (*)(CPopupMenu*, int, GameSettings*, int);

CPopupMenu* Menu(CGameApp* app) { return app->menu; }
GameSettings* Settings(CGameApp* app) { return &app->settings; }
MenuCommandServices& Services() { return GetMenuCommandServices(); }

void Toggle(CGameApp* app, Setter set, int first, int32_t GameSettings::*word) {
  set(Menu(app), first, Settings(app), !(app->settings.*word));
}

void RedrawScreen(CGameApp* app) {
  if (Services().redrawScreen) Services().redrawScreen(app);
}

void WindowAlpha(CGameApp* app) {
  if (Services().updateMessageWindowAlpha) Services().updateMessageWindowAlpha(app);
}

// A volume item: 100 for the group's first item, 10 less for each next one.
template <Setter set, int first, int kind>
void Volume(CGameApp* app, HWND, int id) {
  const int value = 100 - 10 * (id - first);
  set(Menu(app), first, Settings(app), value);
  if (Services().applyChannelVolumes) Services().applyChannelVolumes(app, kind, value);
}

template <Setter set, int first, int32_t GameSettings::*word>
void ToggleCommand(CGameApp* app, HWND, int) {
  Toggle(app, set, first, word);
}

// A radio item that stores its position in the group.
template <Setter set, int first>
void Radio(CGameApp* app, HWND, int id) {
  set(Menu(app), first, Settings(app), id - first);
}

template <Setter set, int first, int32_t GameSettings::*word>
void RadioIfChanged(CGameApp* app, HWND, int id) {
  if (app->settings.*word != id - first) set(Menu(app), first, Settings(app), id - first);
}

void Quit(CGameApp* app, HWND hwnd, int) {
  MenuCommandServices& s = Services();
  if (s.stopMovie) s.stopMovie(app);
  if (s.stopAllSounds) s.stopAllSounds(app);
  if (s.closeWindow) s.closeWindow(app, hwnd);
}

void BackToTitle(CGameApp* app, HWND, int) {
  if (Services().leaveGame) Services().leaveGame(app);
}

void LoadSlot(CGameApp* app, HWND, int id) {
  if (Services().restoreSaveFile) Services().restoreSaveFile(app, id - kMenuLoadFirst);
}

void SaveSlot(CGameApp* app, HWND, int id) {
  if (Services().writeSaveFile) Services().writeSaveFile(app, id - kMenuSaveFirst);
}

void QuickLoad(CGameApp* app, HWND, int id) {
  if (Services().restoreSaveFile) Services().restoreSaveFile(app, 500 + id - kMenuAutoSaveFirst);
}

void Antialias(CGameApp* app, HWND, int id) {
  if (app->settings.antialiasLevel != id - kMenuAntialiasFirst)
    SetAntialiasLevel(Menu(app), kMenuAntialiasFirst, Settings(app), id - kMenuAntialiasFirst);
  RedrawScreen(app);
}

void Shadow(CGameApp* app, HWND, int) {
  Toggle(app, SetMessageShadow, kMenuMessageShadow, &GameSettings::messageShadow);
  RedrawScreen(app);
}

// The armed direction flags are cleared even when the mode stays.
void CursorMode(CGameApp* app, HWND, int id) {
  if (app->settings.cursorMode != id - kMenuCursorModeFirst)
    SetCursorMode(Menu(app), kMenuCursorModeFirst, Settings(app), id - kMenuCursorModeFirst);
  for (int d = ARM_UP; d <= ARM_RIGHT; ++d) app->input.armed[d] = 0;
}

void MessageFont(CGameApp* app, HWND, int id) {
  const int index = id - kMenuFontFirst;
  SetMessageFont(Menu(app), kMenuFontFirst, Settings(app), app->fontList ? app->fontList->Count() : 0, index);
  char name[256] = {};
  if (app->fontList) app->fontList->GetName(index, name);
  if (name[0] && Services().setMessageFontFace) Services().setMessageFontFace(name);
}

void VoiceCutMode(CGameApp* app, HWND, int id) {
  SetVoiceCutMode(Menu(app), kMenuVoiceCutFirst, Settings(app), (id - kMenuVoiceCutFirst) % 3);
}
void LogStart(CGameApp* app, HWND, int id) {
  SetMessageLogStart(Menu(app), kMenuLogStartFirst, Settings(app), (id - kMenuLogStartFirst) % 2);
}

void Codec(CGameApp* app, HWND, int id) {
  if (Services().setPreferredCodec) Services().setPreferredCodec(app, id - kMenuOggUseFirst);
  SetOggUseLevel(Menu(app), kMenuOggUseFirst, Settings(app), id - kMenuOggUseFirst);
}

// Weather: forbidding it stops the particles and keeps the kind recorded;
// allowing it restarts the recorded kind.
void Weather(CGameApp* app, HWND, int) {
  Toggle(app, SetSacraMode, kMenuSacraMode, &GameSettings::sacraMode);
  MenuCommandServices& s = Services();
  int strength = 0;
  const int kind = s.recordedWeather ? s.recordedWeather(app, &strength) : 0;
  if (!kind) return;
  if (!app->settings.sacraMode) {
    if (s.stopParticles) s.stopParticles(app);
    return;
  }
  if (s.clearRecordedWeather) s.clearRecordedWeather(app);
  int windDirection = 0;
  if (kind == 1 || kind == 4 || kind == 5 || kind == 6)
    windDirection = 180;
  else if (kind == 3)
    windDirection = 150;
  if (windDirection && s.startParticles) s.startParticles(app, kind, 32, windDirection, 256, strength);
}

void Transparency(CGameApp* app, HWND, int) {
  Toggle(app, SetTransMode, kMenuTransMode, &GameSettings::transMode);
  WindowAlpha(app);
}

void WindowTrans(CGameApp* app, HWND, int id) {
  SetWinTransparency(Menu(app), kMenuWindowTransFirst, Settings(app), 10 - (id - kMenuWindowTransFirst));
  WindowAlpha(app);
}

void Pause(CGameApp* app, HWND, int) {
  if (Services().deactivate) Services().deactivate(app);
}

void CharVoice(CGameApp* app, HWND, int id) {
  const int c = id - kMenuCharVoiceFirst;
  SetCharVoiceUse(Menu(app), kMenuCharVoiceFirst, Settings(app), c, !app->settings.charVoiceUse[c]);
}

using G = GameSettings;
const MenuCommandEntry kCommands[] = {
    {kMenuQuit, kMenuQuit, Quit},
    {kMenuBackToTitle, kMenuBackToTitle, BackToTitle},
    {kMenuLoadFirst, kMenuLoadFirst + 14, LoadSlot},
    {kMenuSaveFirst, kMenuSaveFirst + 14, SaveSlot},
    {kMenuEffectUse, kMenuEffectUse, ToggleCommand<SetEffectUse, kMenuEffectUse, &G::effectUse>},
    {kMenuAntialiasFirst, kMenuAntialiasFirst + 3, Antialias},
    {kMenuReadSkip, kMenuReadSkip, ToggleCommand<SetReadSkip, kMenuReadSkip, &G::readSkip>},
    {kMenuVoicePlay, kMenuVoicePlay, ToggleCommand<SetVoicePlay, kMenuVoicePlay, &G::voicePlay>},
    {kMenuMusicPlay, kMenuMusicPlay, ToggleCommand<SetMusicPlay, kMenuMusicPlay, &G::musicPlay>},
    {kMenuMusicVolumeFirst, kMenuMusicVolumeFirst + 9, Volume<SetMusicVolume, kMenuMusicVolumeFirst, 1>},
    {kMenuVoiceVolumeFirst, kMenuVoiceVolumeFirst + 9, Volume<SetVoiceVolume, kMenuVoiceVolumeFirst, 2>},
    {kMenuVoiceAutoLock, kMenuVoiceAutoLock, ToggleCommand<SetVoiceAutoLock, kMenuVoiceAutoLock, &G::voiceAutoLock>},
    {kMenuSePlay, kMenuSePlay, ToggleCommand<SetSePlay, kMenuSePlay, &G::sePlay>},
    {kMenuSeVolumeFirst, kMenuSeVolumeFirst + 9, Volume<SetSeVolume, kMenuSeVolumeFirst, 3>},
    {kMenuCursorModeFirst, kMenuCursorModeFirst + 4, CursorMode},
    {kMenuMessageShadow, kMenuMessageShadow, Shadow},
    {kMenuMasterVolumeFirst, kMenuMasterVolumeFirst + 9, Volume<SetMasterVolume, kMenuMasterVolumeFirst, 0>},
    {kMenuMovieVolumeFirst, kMenuMovieVolumeFirst + 9, Volume<SetMovieVolume, kMenuMovieVolumeFirst, 4>},
    {kMenuLockSkip, kMenuLockSkip, ToggleCommand<SetLockSkip, kMenuLockSkip, &G::lockSkip>},
    {kMenuKeyDoubleClick, kMenuKeyDoubleClick,
     ToggleCommand<SetKeyDoubleClick, kMenuKeyDoubleClick, &G::keyDoubleClick>},
    {kMenuDispFreeFirst, kMenuDispFreeFirst + 2, RadioIfChanged<SetDispFreeMode, kMenuDispFreeFirst, &G::dispFreeMode>},
    {kMenuCenterKeyFirst, kMenuCenterKeyFirst + 5,
     RadioIfChanged<SetCenterKeyAction, kMenuCenterKeyFirst, &G::centerKeyAction>},
    {kMenuMannerVoiceCut, kMenuMannerVoiceCut,
     ToggleCommand<SetMannerVoiceCut, kMenuMannerVoiceCut, &G::mannerVoiceCut>},
    {kMenuFontFirst, kMenuFontFirst + 14, MessageFont},
    {kMenuVoiceCutFirst, kMenuVoiceCutFirst + 2, VoiceCutMode},
    {kMenuVgaQuality, kMenuVgaQuality, ToggleCommand<SetVgaQuality, kMenuVgaQuality, &G::vgaQuality>},
    {kMenuMessageAuto, kMenuMessageAuto, ToggleCommand<SetMessageAuto, kMenuMessageAuto, &G::messageAuto>},
    {kMenuLogStartFirst, kMenuLogStartFirst + 1, LogStart},
    {kMenuAutoSaveFirst, kMenuAutoSaveFirst + 2, QuickLoad},
    {kMenuMessageSpeedFirst, kMenuMessageSpeedFirst + 9, Radio<SetMessageSpeed, kMenuMessageSpeedFirst>},
    {kMenuAutoBaseFirst, kMenuAutoBaseFirst + 9, Radio<SetMessageAutoBase, kMenuAutoBaseFirst>},
    {kMenuAutoOneFirst, kMenuAutoOneFirst + 9, Radio<SetMessageAutoOne, kMenuAutoOneFirst>},
    {kMenuSoundQualityFirst, kMenuSoundQualityFirst + 1, Radio<SetSoundQuality, kMenuSoundQualityFirst>},
    {kMenuOggUseFirst, kMenuOggUseFirst + 1, Codec},
    {kMenuSacraMode, kMenuSacraMode, Weather},
    {kMenuTextCutMode, kMenuTextCutMode, ToggleCommand<SetTextCutMode, kMenuTextCutMode, &G::textCutMode>},
    {kMenuTransMode, kMenuTransMode, Transparency},
    {kMenuWindowTransFirst, kMenuWindowTransFirst + 10, WindowTrans},
    {kMenuMascotVoiceFirst, kMenuMascotVoiceFirst + 14, Radio<SetMascotVoice, kMenuMascotVoiceFirst>},
    {kMenuSaveIconFirst, kMenuSaveIconFirst + 14, Radio<SetSaveMascotIcon, kMenuSaveIconFirst>},
    {kMenuPause, kMenuPause, Pause},
    {kMenuMapAnimeUse, kMenuMapAnimeUse, ToggleCommand<SetMapAnimeUse, kMenuMapAnimeUse, &G::mapAnimeUse>},
    {kMenuTitleImageFirst, kMenuTitleImageFirst + 3, Radio<SetTitleImageMode, kMenuTitleImageFirst>},
    {kMenuCharVoiceFirst, kMenuCharVoiceFirst + 14, CharVoice},
    {kMenuMannerFullCut, kMenuMannerFullCut, ToggleCommand<SetMannerFullCut, kMenuMannerFullCut, &G::mannerFullCut>},
};

}  // namespace

MenuCommandServices DefaultMenuCommandServices() {
  MenuCommandServices s{};
  s.stopMovie = [](CGameApp* app) {
    if (app->screen) app->screen->StopMovie(app->mixer);
  };
  s.stopAllSounds = [](CGameApp* app) {
    if (app->mixer) app->mixer->StopAll();
  };
  s.closeWindow = [](CGameApp*, HWND hwnd) {
    if (hwnd) PostMessageW(hwnd, WM_CLOSE, 0, 0);
  };
  s.leaveGame = [](CGameApp* app) { app->LeaveGame(); };
  s.restoreSaveFile = [](CGameApp* app, int slot) { app->RestoreSaveFile(slot); };
  s.writeSaveFile = [](CGameApp* app, int slot) { TellSaveResult(app, app->WriteSaveFile(slot)); };
  s.applyChannelVolumes = [](CGameApp* app, int kind, int value) { app->ApplyChannelVolumes(kind, value); };
  s.recordedWeather = [](CGameApp* app, int* strength) {
    *strength = app->weather.strength;
    return int(app->weather.kind);
  };
  s.clearRecordedWeather = [](CGameApp* app) { app->weather.kind = 0; };
  // Stopping clears the weather kind; the menu keeps it recorded.
  s.stopParticles = [](CGameApp* app) {
    const int32_t kind = app->weather.kind;
    app->StopParticles();
    app->weather.kind = kind;
  };
  s.startParticles = [](CGameApp* app, int kind, int maximum, int windDirection, int windSpeed, int strength) {
    app->StartParticles(kind, maximum, windDirection, windSpeed, strength);
  };
  s.updateMessageWindowAlpha = [](CGameApp* app) { app->UpdateMessageWindowAlpha(); };
  s.setPreferredCodec = [](CGameApp* app, int codec) {
    if (app->mixer) app->mixer->SetPreferredCodec(codec);
  };
  s.redrawScreen = [](CGameApp* app) {
    RECT all{0, 0, GetScreenWidth(), GetScreenHeight()};
    if (app->dirty) app->dirty->Add(&all, 1);
  };
  s.setMessageFontFace = SetMessageFontFace;
  s.deactivate = [](CGameApp* app) { app->Deactivate(); };
  return s;
}

MenuCommandServices& GetMenuCommandServices() {
  static MenuCommandServices services = DefaultMenuCommandServices();
  return services;
}

const MenuCommandEntry* MenuCommandTable(int* count) {
  if (count) *count = int(std::size(kCommands));
  return kCommands;
}

void HandleMenuCommand(CGameApp* app, HWND hwnd, int commandId, LPARAM) {
  if (!app) return;
  for (const MenuCommandEntry& e : kCommands)
    if (commandId >= e.first && commandId <= e.last) {
      e.handler(app, hwnd, commandId);
      return;
    }
}
