#include "player/core/settings.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/file.h"
#include "common/format.h"
#include "common/sjis.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/game_app.h"
#include "player/core/ini_store.h"
#include "player/core/menu_commands.h"
#include "player/core/text_window.h"
#include "player/scenario/game_services.h"
#include "player/scenario/sound_mixer.h"
#include "player/screens/option_handlers.h"
#include "player/screens/popup_menu.h"

namespace {

const char kSystem[] = "SYSTEM_CONFIG";
const char kMusic[] = "MUSIC_CONFIG";
const char kVoice[] = "VOICE_CONFIG";
const char kSe[] = "SE_CONFIG";
const char kMov[] = "MOV_CONFIG";
const char kMessage[] = "MESSAGE_CONFIG";
const char kKeys[] = "KEY_CONFIG";
const char kFonts[] = "FONT_LIST_CONFIG";
const char kFolders[] = "GAME_INST_FOLDER";

// Bounded copy and append into a path buffer; false when it does not fit.
bool PathCopy(char* out, const char* a, const char* b = "", const char* c = "") {
  size_t la = StrLength(a), lb = StrLength(b), lc = StrLength(c);
  if (la + lb + lc + 1 > size_t(kPathSize)) return false;
  std::memmove(out, a, la);
  std::memcpy(out + la, b, lb);
  std::memcpy(out + la + lb, c, lc);
  out[la + lb + lc] = 0;
  return true;
}

void ConfigPath(const CGameApp* app, char* out) { PathCopy(out, app->programFolder, "velmi.cfg"); }

int Clamp(int v, int lo, int hi, int def) { return v < lo || v > hi ? def : v; }
int Volume(int v) { return v < 10 || v > 100 ? 100 : v; }

}  // namespace

void SetFirstSettings(GameSettings* s) {
  std::memset(s, 0, sizeof *s);
  s->centerKeyAction = 1;
  s->messageSpeed = 1;
  s->windowTrans = 5;
  s->transMode = 1;
  s->sacraMode = 1;
  s->effectUse = 1;
  s->mapAnimeUse = 1;
  s->musicPlay = s->voicePlay = s->sePlay = 2;
  s->masterVolume = s->voiceVolume = s->musicVolume = s->seVolume = s->movieVolume = 100;
  s->vgaQuality = 1;
  for (int& v : s->charVoiceUse) v = 1;
}

int ResolveDataPath(CGameApp* app, char* out, const char* folder, const char* fileName) {
  out[0] = 0;
  if (!folder || !*folder) {
    PathCopy(out, app->programFolder);
  } else if ((folder[0] && folder[1] == ':') || folder[0] == '\\') {
    if (!PathCopy(out, folder)) return 0;
  } else {
    // Relative to the program folder; ".\" is dropped and "..\" goes up one
    // folder, never above the first one.
    char built[kPathSize];
    if (!PathCopy(built, app->programFolder)) return 0;
    size_t rootEnd = 0;
    if (built[0] == '\\') rootEnd = 1;
    else if (built[0] && built[1] == ':') rootEnd = built[2] == '\\' ? 3 : 2;
    const char* p = folder;
    for (;;) {
      if (p[0] == '.' && p[1] == '\\') {
        p += 2;
      } else if (p[0] == '.' && p[1] == '.' && p[2] == '\\') {
        p += 3;
        size_t n = StrLength(built);
        if (n > rootEnd && built[n - 1] == '\\') {
          built[n - 1] = 0;
          char* cut = SjisFindLastChar(built, '\\');
          size_t keep = cut ? size_t(cut - built) + 1 : 0;
          if (keep < rootEnd) keep = rootEnd;
          built[keep] = 0;
        }
      } else {
        break;
      }
    }
    if (!PathCopy(out, built, p)) return 0;
  }
  if (!fileName || !*fileName) return 1;
  char path[kPathSize];
  if (!PathCopy(path, out, fileName)) return 0;
  return FileExists(path);
}

void SetDataPaths(CGameApp* app, const char* folder) {
  const char* pack = GetScreenWidth() >= 640 ? "grpack_v.mlz" : "grpack.mlz";
  char base[kPathSize];
  PathCopy(base, folder);
  PathCopy(app->picturePackPath, base, pack);
  PathCopy(app->scriptPackPath, base, pack);
  PathCopy(app->voicePackPath, base, "voice.mlz");
  PathCopy(app->musicPath, base, "bgm\\");
  PathCopy(app->sePath, base, "se\\");
  PathCopy(app->dataPath, base);
  if (PathCopy(app->savePath, base, "save")) {
    if (!FileExists(app->savePath)) {
      const WCHAR* w = SjisToWide(app->savePath);
      if (w) CreateDirectoryW(w, nullptr);
    }
    PathCopy(app->savePath, app->savePath, "\\");
  }
}

int FindDataFolder(CGameApp* app, const char* configFile, const char* packName) {
  for (int n = 1; n <= 5; ++n) {
    char key[16], value[128], folder[kPathSize];
    FormatString(key, "DATA%z2", n);
    IniStore::GetString(kFolders, key, "", value, 127, configFile);
    if (value[0] && ResolveDataPath(app, folder, value, packName)) {
      SetDataPaths(app, folder);
      return 1;
    }
  }
  char folder[kPathSize];
  PathCopy(folder, app->programFolder, "data\\");
  SetDataPaths(app, folder);
  return 0;
}

void AppStartup(CGameApp* app) {
  FrameTimer::Start(&app->timer, 16);
  if (app->dirty) app->dirty->SetSize(uint32_t(GetScreenWidth()), uint32_t(GetScreenHeight()));
  char cfg[kPathSize];
  ConfigPath(app, cfg);
  FindDataFolder(app, cfg, GetScreenWidth() < 640 ? "grpack.mlz" : "grpack_v.mlz");

  app->fontList = new (std::nothrow) FontList;
  if (app->fontList) {
    for (int n = 0; n <= 14; ++n) {
      char key[16], name[128];
      FormatString(key, "PUT_LIST_%z2", n);
      IniStore::GetString(kFonts, key, "", name, 127, cfg);
      if (!name[0]) break;
      app->fontList->AddPreferred(name);
    }
    app->fontList->Build();
  }
  BuildMenuTree(app);
  CPopupMenu* m = app->menu;
  GameSettings* s = &app->settings;
  EnableMenuCommand(m, 40306);

  auto get = [&](const char* sec, const char* key, int def) { return IniStore::GetInt(sec, key, def, cfg); };
  int quality = get(kMusic, "SAOUND_QUALITY", 0);
  unsigned rate = app->mixer ? app->mixer->OpenOutput(quality ? 44100 : 22050) : 22050;
  SetSoundQuality(m, 40258, s, rate == 44100 ? 1 : 0);
  int ogg = get(kMusic, "OGG_USE_LEVEL", 0);
  if (app->mixer) app->mixer->SetPreferredCodec(ogg);
  SetOggUseLevel(m, 40260, s, ogg);
  s->memStream = get(kMusic, "MEM_STREAM", 0) != 0;
  int deviceVolume = get(kMusic, "DEVICE_VOL", 65535);
  if (deviceVolume >= 1 && deviceVolume <= 65534 && app->mixer) app->mixer->SetDeviceVolume(uint32_t(deviceVolume));
  SetVoicePlay(m, 40067, s, get(kVoice, "VOICE_PLAY", 2));
  SetSePlay(m, 40108, s, get(kSe, "SE_PLAY", 2));
  SetMusicPlay(m, 40068, s, get(kMusic, "PCM", 2));
  SetMasterVolume(m, 40126, s, Volume(get(kMusic, "MASTER_VOL", 100)));
  SetMusicVolume(m, 40069, s, Volume(get(kMusic, "MUSIC_VOL", 100)));
  SetVoiceVolume(m, 40079, s, Volume(get(kVoice, "VOICE_VOL", 100)));
  SetSeVolume(m, 40109, s, Volume(get(kSe, "SE_VOL", 100)));
  SetMovieVolume(m, 40136, s, Volume(get(kMov, "MOV_VOL", 100)));
  SetEffectUse(m, 40049, s, get(kMessage, "EFFECT_USE", 1));
  SetSacraMode(m, 40262, s, get(kSystem, "SACRA_MODE", 1));
  SetMapAnimeUse(m, 40307, s, get(kSystem, "MAP_ANIME_USE", 1) != 0);
  SetAntialiasLevel(m, 40051, s, Clamp(get(kMessage, ANTIALIAS_KEY, 0), 0, 3, 0));
  SetMessageSpeed(m, 40225, s, Clamp(get(kMessage, "MESSAGE_SPEED", 1), 0, 9, 1));
  s->readSkip = get(kMessage, "READ_SKIP", 0);
  SetReadSkip(m, 40059, s, s->readSkip);
  s->lockSkip = get(kMessage, "LOCK_SKIP", 0);
  SetLockSkip(m, 40146, s, s->lockSkip);
  SetMessageShadow(m, 40125, s, get(kMessage, "MESSAGE_SADOW", 0) != 0);
  int title = get(kSystem, "TITLE_IMAGE_MODE", 0);
  SetTitleImageMode(m, 40308, s, int(std::llabs(int64_t(title)) % 4));
  for (int c = 0; c < 16; ++c) {
    char key[32];
    FormatString(key, "CHAR_VOICE_USE_%z2", c + 1);
    SetCharVoiceUse(m, 40312, s, c, get(kSystem, key, 1) != 0);
  }
  SetMessageAuto(m, 40205, s, get(kMessage, "MESSAGE_AUTO", 0) != 0);
  SetMessageAutoBase(m, 40235, s, Clamp(get(kMessage, "MESSAGE_AUTO_BASE", 0), 0, 9, 0));
  SetMessageAutoOne(m, 40245, s, Clamp(get(kMessage, "MESSAGE_AUTO_ONE", 0), 0, 9, 0));
  SetTextCutMode(m, 40263, s, get(kMessage, "TEXT_CUT_MODE", 0) != 0);
  SetWinTransparency(m, 40265, s, Clamp(get(kMessage, "WINDOW_TRANS", 5), 0, 10, 5));
  SetTransMode(m, 40264, s, get(kMessage, "TRANS_MODE", 1) != 0);
  SetMascotVoice(m, 40276, s, Clamp(get(kSystem, "MASCOT_VOICE", 0), 0, 14, 0));
  SetSaveMascotIcon(m, 40291, s, Clamp(get(kSystem, "SAVE_MASCOT_ICON", 0), 0, 14, 0));
  SetCenterKeyAction(m, 40163, s, Clamp(get(kSystem, "KEY_CEN_CTRL", 1), 0, 5, 1));
  SetCursorMode(m, 40120, s, Clamp(get(kSystem, "KET_CUR_MODE", 0), 0, 4, 0));
  SetKeyDoubleClick(m, 40158, s, get(kSystem, "KET_DOUBLE_CLICK", 0));
  s->voiceAutoLock = get(kMessage, "VOICE_AUTOLOCK", 0);
  SetVoiceAutoLock(m, 40098, s, s->voiceAutoLock);
  SetDispFreeMode(m, 40160, s, Clamp(get(kSystem, "DISP_FREE_MODE", 0), 0, 2, 0));
  SetMannerVoiceCut(m, 40177, s, get(kSystem, "MANA_VOICE_CUT", 0));
  SetMannerFullCut(m, 40327, s, get(kSystem, "MANA_FULL_CUT", 0));
  SetVoiceCutMode(m, 40193, s, Clamp(get(kVoice, "VOICE_CUT_MODE", 0), 0, 2, 0));
  SetMessageLogStart(m, 40220, s, Clamp(get(kMessage, "MES_LOG_START", 0), 0, 1, 0));
  uint32_t cgChar = uint32_t(get(kSystem, "CG_MODE_CHAR", 0));
  uint32_t cgPage = uint32_t(get(kSystem, "CG_MODE_PAGE", 0));
  uint32_t evChar = uint32_t(get(kSystem, "EV_MODE_CHAR", 0));
  uint32_t evPage = uint32_t(get(kSystem, "EV_MODE_PAGE", 0));
  app->cgModeChar = cgChar >= 8 ? 0 : cgChar;
  app->cgModePage = cgPage >= 2 ? 0 : cgPage;
  app->evModeChar = evChar >= 8 ? 0 : evChar;
  app->evModePage = evPage >= 25 ? 0 : evPage;
  SetVgaQuality(m, 40196, s, get(kMov, "VGA_QUALITY", 1) != 0);

  char fontName[128];
  IniStore::GetString(kSystem, "MESSAGE_FONT_NAME", "", fontName, 127, cfg);
  if (app->fontList) {
    int index = fontName[0] ? app->fontList->FindName(fontName) : 0;
    app->fontList->GetName(index, fontName);
    SetMessageFont(m, 40178, s, app->fontList->Count(), index);
    if (fontName[0]) SetMessageFontFace(fontName);
  }

  static const struct {
    const char* key;
    int (KeyMap::*set)(const char*);
  } keys[] = {{"KEY_UP", &KeyMap::SetKeyUp},       {"KEY_DOWN", &KeyMap::SetKeyDown}, {"KEY_LEFT", &KeyMap::SetKeyLeft},
              {"KEY_RIGHT", &KeyMap::SetKeyRight}, {"KEY_START", &KeyMap::SetKeyStart}, {"KEY_A", &KeyMap::SetKeyA},
              {"KEY_B", &KeyMap::SetKeyB},         {"KEY_C", &KeyMap::SetKeyC},       {"KEY_D", &KeyMap::SetKeyD},
              {"KEY_E", &KeyMap::SetKeyE}};
  for (auto& k : keys) {
    char value[31];
    IniStore::GetString(kKeys, k.key, "", value, 30, cfg);
    if (value[0]) (app->keyMap.*k.set)(value);
  }

  int used[15] = {}, newest = -1;
  FillSaveMenus(m, 40017, 40032, app->savePath, app->loadAllowed, used, &newest);
  UpdateSaveSlotItems(m, 40017, 40032, used, newest);
  int autoUsed[3] = {}, autoNewest = -1;
  FillAutoSaveMenu(m, 40222, app->savePath, autoUsed, &autoNewest);
  UpdateAutoSaveItems(m, 40222, autoUsed, autoNewest);
  SetSaveLoadEnabled(m, s, &app->saveAllowed, app->loadAllowed, app->saveAllowed);
  app->ReadSystemData();
  app->gameMode = MODE_TITLE;
  app->phase = 0;
}

void SaveConfig(CGameApp* app) {
  char cfg[kPathSize];
  ConfigPath(app, cfg);
  const WCHAR* w = SjisToWide(cfg);
  if (w) SetFileAttributesW(w, FILE_ATTRIBUTE_NORMAL);
  const GameSettings& s = app->settings;
  auto set = [&](const char* sec, const char* key, int value) {
    char text[16];
    FormatStringN(text, sizeof text, "%d-", value);
    IniStore::Set(sec, key, text, cfg);
  };
  set(kMusic, "PCM", s.musicPlay);
  set(kVoice, "VOICE_PLAY", s.voicePlay);
  set(kSe, "SE_PLAY", s.sePlay);
  set(kMusic, "MASTER_VOL", s.masterVolume);
  set(kMusic, "MUSIC_VOL", s.musicVolume);
  set(kVoice, "VOICE_VOL", s.voiceVolume);
  set(kSe, "SE_VOL", s.seVolume);
  set(kMov, "MOV_VOL", s.movieVolume);
  set(kVoice, "VOICE_CUT_MODE", s.voiceCutMode);
  set(kMov, "VGA_QUALITY", s.vgaQuality);
  char fontName[128] = "";
  if (app->fontList) app->fontList->GetName(s.messageFont, fontName);
  IniStore::Set(kSystem, "MESSAGE_FONT_NAME", fontName, cfg);
  set(kMessage, "MES_LOG_START", s.mesLogStart);
  set(kMessage, "EFFECT_USE", s.effectUse);
  set(kSystem, "SACRA_MODE", s.sacraMode);
  set(kSystem, "MAP_ANIME_USE", s.mapAnimeUse);
  for (int c = 0; c < 16; ++c) {
    char key[32];
    FormatString(key, "CHAR_VOICE_USE_%z2", c + 1);
    set(kSystem, key, s.charVoiceUse[c]);
  }
  set(kMessage, "READ_SKIP", s.readSkip);
  set(kMessage, "LOCK_SKIP", s.lockSkip);
  set(kMessage, "VOICE_AUTOLOCK", s.voiceAutoLock);
  set(kMessage, ANTIALIAS_KEY, s.antialiasLevel);
  set(kMessage, "MESSAGE_SPEED", s.messageSpeed);
  set(kMessage, "MESSAGE_AUTO", s.messageAuto);
  set(kMessage, "MESSAGE_AUTO_BASE", s.messageAutoBase);
  set(kMessage, "MESSAGE_AUTO_ONE", s.messageAutoOne);
  set(kSystem, "TITLE_IMAGE_MODE", s.titleImageMode);
  set(kSystem, "CG_MODE_CHAR", int(app->cgModeChar));
  set(kSystem, "CG_MODE_PAGE", int(app->cgModePage));
  set(kSystem, "EV_MODE_CHAR", int(app->evModeChar));
  set(kSystem, "EV_MODE_PAGE", int(app->evModePage));
  set(kMessage, "TEXT_CUT_MODE", s.textCutMode);
  set(kMessage, "WINDOW_TRANS", s.windowTrans);
  set(kMessage, "TRANS_MODE", s.transMode);
  set(kSystem, "MASCOT_VOICE", s.mascotVoice);
  set(kSystem, "SAVE_MASCOT_ICON", s.saveMascotIcon);
  set(kMessage, "MESSAGE_SADOW", s.messageShadow);
  set(kMusic, "SAOUND_QUALITY", s.soundQuality);
  set(kMusic, "OGG_USE_LEVEL", s.oggUseLevel);
  set(kSystem, "KEY_CEN_CTRL", s.centerKeyAction);
  set(kSystem, "KET_CUR_MODE", s.cursorMode);
  set(kSystem, "KET_DOUBLE_CLICK", s.keyDoubleClick);
  set(kSystem, "DISP_FREE_MODE", s.dispFreeMode);
  set(kSystem, "MANA_VOICE_CUT", s.mannerVoiceCut);
  set(kSystem, "MANA_FULL_CUT", s.mannerFullCut);
}
