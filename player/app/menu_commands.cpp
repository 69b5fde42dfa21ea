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
  if (Services().restoreSaveFile) Services().restoreSaveFile(app, id - 40017);
}

void SaveSlot(CGameApp* app, HWND, int id) {
  if (Services().writeSaveFile) Services().writeSaveFile(app, id - 40032);
}

void QuickLoad(CGameApp* app, HWND, int id) {
  if (Services().restoreSaveFile) Services().restoreSaveFile(app, 500 + id - 40222);
}

void Antialias(CGameApp* app, HWND, int id) {
  if (app->settings.antialiasLevel != id - 40051) SetAntialiasLevel(Menu(app), 40051, Settings(app), id - 40051);
  RedrawScreen(app);
}

void Shadow(CGameApp* app, HWND, int) {
  Toggle(app, SetMessageShadow, 40125, &GameSettings::messageShadow);
  RedrawScreen(app);
}

// The armed direction flags are cleared even when the mode stays.
void CursorMode(CGameApp* app, HWND, int id) {
  if (app->settings.cursorMode != id - 40120) SetCursorMode(Menu(app), 40120, Settings(app), id - 40120);
  for (int d = ARM_UP; d <= ARM_RIGHT; ++d) app->input.armed[d] = 0;
}

void MessageFont(CGameApp* app, HWND, int id) {
  const int index = id - kMenuFontFirst;
  SetMessageFont(Menu(app), kMenuFontFirst, Settings(app), app->fontList ? app->fontList->Count() : 0, index);
  char name[256] = {};
  if (app->fontList) app->fontList->GetName(index, name);
  if (name[0] && Services().setMessageFontFace) Services().setMessageFontFace(name);
}

void VoiceCutMode(CGameApp* app, HWND, int id) { SetVoiceCutMode(Menu(app), 40193, Settings(app), (id - 40193) % 3); }
void LogStart(CGameApp* app, HWND, int id) { SetMessageLogStart(Menu(app), 40220, Settings(app), (id - 40220) % 2); }

void Codec(CGameApp* app, HWND, int id) {
  if (Services().setPreferredCodec) Services().setPreferredCodec(app, id - 40260);
  SetOggUseLevel(Menu(app), 40260, Settings(app), id - 40260);
}

// Weather: forbidding it stops the particles and keeps the kind recorded;
// allowing it restarts the recorded kind.
void Weather(CGameApp* app, HWND, int) {
  Toggle(app, SetSacraMode, 40262, &GameSettings::sacraMode);
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
  Toggle(app, SetTransMode, 40264, &GameSettings::transMode);
  WindowAlpha(app);
}

void WindowTrans(CGameApp* app, HWND, int id) {
  SetWinTransparency(Menu(app), 40265, Settings(app), 40275 - id);
  WindowAlpha(app);
}

void Pause(CGameApp* app, HWND, int) {
  if (Services().deactivate) Services().deactivate(app);
}

void CharVoice(CGameApp* app, HWND, int id) {
  const int c = id - 40312;
  SetCharVoiceUse(Menu(app), 40312, Settings(app), c, !app->settings.charVoiceUse[c]);
}

using G = GameSettings;
const MenuCommandEntry kCommands[] = {
    {40007, 40007, Quit},
    {40008, 40008, BackToTitle},
    {40017, 40031, LoadSlot},
    {40032, 40046, SaveSlot},
    {40049, 40049, ToggleCommand<SetEffectUse, 40049, &G::effectUse>},
    {40051, 40054, Antialias},
    {40059, 40059, ToggleCommand<SetReadSkip, 40059, &G::readSkip>},
    {40067, 40067, ToggleCommand<SetVoicePlay, 40067, &G::voicePlay>},
    {40068, 40068, ToggleCommand<SetMusicPlay, 40068, &G::musicPlay>},
    {40069, 40078, Volume<SetMusicVolume, 40069, 1>},
    {40079, 40088, Volume<SetVoiceVolume, 40079, 2>},
    {40098, 40098, ToggleCommand<SetVoiceAutoLock, 40098, &G::voiceAutoLock>},
    {40108, 40108, ToggleCommand<SetSePlay, 40108, &G::sePlay>},
    {40109, 40118, Volume<SetSeVolume, 40109, 3>},
    {40120, 40124, CursorMode},
    {40125, 40125, Shadow},
    {40126, 40135, Volume<SetMasterVolume, 40126, 0>},
    {40136, 40145, Volume<SetMovieVolume, 40136, 4>},
    {40146, 40146, ToggleCommand<SetLockSkip, 40146, &G::lockSkip>},
    {40158, 40158, ToggleCommand<SetKeyDoubleClick, 40158, &G::keyDoubleClick>},
    {40160, 40162, RadioIfChanged<SetDispFreeMode, 40160, &G::dispFreeMode>},
    {40163, 40168, RadioIfChanged<SetCenterKeyAction, 40163, &G::centerKeyAction>},
    {40177, 40177, ToggleCommand<SetMannerVoiceCut, 40177, &G::mannerVoiceCut>},
    {40178, 40192, MessageFont},
    {40193, 40195, VoiceCutMode},
    {40196, 40196, ToggleCommand<SetVgaQuality, 40196, &G::vgaQuality>},
    {40205, 40205, ToggleCommand<SetMessageAuto, 40205, &G::messageAuto>},
    {40220, 40221, LogStart},
    {40222, 40224, QuickLoad},
    {40225, 40234, Radio<SetMessageSpeed, 40225>},
    {40235, 40244, Radio<SetMessageAutoBase, 40235>},
    {40245, 40254, Radio<SetMessageAutoOne, 40245>},
    {40258, 40259, Radio<SetSoundQuality, 40258>},
    {40260, 40261, Codec},
    {40262, 40262, Weather},
    {40263, 40263, ToggleCommand<SetTextCutMode, 40263, &G::textCutMode>},
    {40264, 40264, Transparency},
    {40265, 40275, WindowTrans},
    {40276, 40290, Radio<SetMascotVoice, 40276>},
    {40291, 40305, Radio<SetSaveMascotIcon, 40291>},
    {40306, 40306, Pause},
    {40307, 40307, ToggleCommand<SetMapAnimeUse, 40307, &G::mapAnimeUse>},
    {40308, 40311, Radio<SetTitleImageMode, 40308>},
    {40312, 40326, CharVoice},
    {40327, 40327, ToggleCommand<SetMannerFullCut, 40327, &G::mannerFullCut>},
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
  s.writeSaveFile = [](CGameApp* app, int slot) { app->WriteSaveFile(slot); };
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
