#include "player/app/startup.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/file.h"
#include "common/format.h"
#include "common/sjis.h"
#include "player/app/config_settings.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/ini_store.h"
#include "player/core/menu_ids.h"
#include "player/core/error_box.h"
#include "player/core/pack_reader.h"
#include "player/core/text_window.h"
#include "player/core/texts.h"
#include "player/media/sound_mixer.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "player/scenario/save_file.h"

namespace {

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

// The name of key number i of a setting (a numbered run counts from 1).
void SettingKey(const ConfigSetting& e, int i, char* out) {
  if (e.count > 1)
    FormatString(out, e.key, i + 1);
  else
    StrCopy(out, e.key);
}

// The message font the configuration chooses: the family it names when the
// font list holds it, else the list's first.  Returns its index in the list.
int ChooseMessageFont(const CGameApp* app, const ConfigSetting& e, const char* cfg, char* fontName) {
  IniStore::GetString(e.section, e.key, "", fontName, 127, cfg);
  const int index = fontName[0] ? app->fontList->FindName(fontName) : 0;
  app->fontList->GetName(index, fontName);
  return index;
}

// Reads one setting, applies its start-up rule and hands it to its handler.
void ReadSetting(CGameApp* app, const ConfigSetting& e, const char* cfg) {
  CPopupMenu* m = app->menu;
  GameSettings* s = &app->settings;
  if (e.step == SettingStep::kFontName) {
    char fontName[128];
    if (!app->fontList) return;
    const int index = ChooseMessageFont(app, e, cfg, fontName);
    SetMessageFont(m, e.menuId, s, app->fontList->Count(), index);
    if (fontName[0]) SetMessageFontFace(fontName);
    return;
  }
  for (int i = 0; i < e.count; ++i) {
    char key[32];
    SettingKey(e, i, key);
    int32_t v = ApplySettingRule(e, IniStore::GetInt(e.section, key, e.defaultValue, cfg), *app);
    switch (e.step) {
      case SettingStep::kSoundQuality: {
        unsigned rate = app->mixer ? app->mixer->OpenOutput(v ? 44100 : 22050) : 22050;
        v = rate == 44100 ? 1 : 0;
        break;
      }
      case SettingStep::kOggUseLevel:
        if (app->mixer) app->mixer->SetPreferredCodec(v);
        break;
      case SettingStep::kDeviceVolume:
        if (v >= 1 && v <= 65534 && app->mixer) app->mixer->SetDeviceVolume(uint32_t(v));
        break;
      default:
        break;
    }
    if (e.characterHandler)
      e.characterHandler(m, e.menuId, s, i, v);
    else if (e.handler)
      e.handler(m, e.menuId, s, v);
    else if (e.word)
      *e.word(app, i) = v;
  }
}

// Writes one setting into the store as "%d" of its word (the message font
// as its name).
void WriteSetting(CGameApp* app, const ConfigSetting& e, const char* cfg) {
  if (e.step == SettingStep::kFontName) {
    char fontName[128] = "";
    if (app->fontList) app->fontList->GetName(app->settings.messageFont, fontName);
    IniStore::Set(e.section, e.key, fontName, cfg);
    return;
  }
  if (!e.word) return;
  for (int i = 0; i < e.count; ++i) {
    char key[32], text[16];
    SettingKey(e, i, key);
    FormatStringN(text, sizeof text, "%d-", *e.word(app, i));
    IniStore::Set(e.section, key, text, cfg);
  }
}

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
    if (built[0] == '\\')
      rootEnd = 1;
    else if (built[0] && built[1] == ':')
      rootEnd = built[2] == '\\' ? 3 : 2;
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
  if (!PathCopy(app->savePath, base, "save\\")) app->savePath[0] = 0;
}

void MakeSaveFolder(CGameApp* app) {
  char folder[kPathSize];
  size_t n = StrLength(app->savePath);
  if (n < 2) return;
  PathCopy(folder, app->savePath);
  folder[n - 1] = 0;  // without the closing backslash
  if (FileExists(folder)) return;
  const WCHAR* w = SjisToWide(folder);
  if (w) CreateDirectoryW(w, nullptr);
}

void NormaliseFolderValue(char* value) {
  // '/' is never the second byte of a double-byte character, but a
  // backslash can be: the last character is found by walking the text.
  const char* last = nullptr;
  for (char* p = value; *p;) {
    last = p;
    if (IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      p += 2;
      continue;
    }
    if (*p == '/') *p = '\\';
    ++p;
  }
  if (last && *last != '\\') StrAppend(value, "\\");
}

namespace {

// One folder named twice: '/' and '\\' alike, a run of separators as one, the
// closing separator left out and ASCII letters in either case (the device's
// file system ignores it).  Double-byte characters are compared whole.
bool SameFolder(const char* a, const char* b) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  // The next character of a folder name: its bytes in out, 0 at the end.
  auto next = [&](const char*& p, unsigned char out[2]) -> int {
    while (separator(p[0]) && separator(p[1])) ++p;
    if (separator(p[0]) && !p[1]) ++p;  // the closing separator
    if (!*p) return 0;
    if (separator(*p)) {
      ++p;
      out[0] = '\\';
      return 1;
    }
    if (IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      out[0] = static_cast<unsigned char>(p[0]);
      out[1] = static_cast<unsigned char>(p[1]);
      p += 2;
      return 2;
    }
    unsigned char c = static_cast<unsigned char>(*p++);
    out[0] = c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
    return 1;
  };
  for (;;) {
    unsigned char ca[2] = {}, cb[2] = {};
    const int na = next(a, ca), nb = next(b, cb);
    if (na != nb || ca[0] != cb[0] || ca[1] != cb[1]) return false;
    if (na == 0) return true;
  }
}

// Adds a folder to the search's list unless the list names it already.
void NoteTried(DataFolderSearch* search, int key, const char* folder) {
  if (!search || search->count >= DataFolderSearch::kMost) return;
  for (int i = 0; i < search->count; ++i)
    if (SameFolder(search->tried[i].folder, folder)) return;
  DataFolderSearch::Tried& t = search->tried[search->count++];
  t.key = key;
  PathCopy(t.folder, folder);
}

}  // namespace

int FindDataFolder(CGameApp* app, const char* configFile, const char* packName, DataFolderSearch* search) {
  if (search) search->count = 0;
  for (int n = 1; n <= 5; ++n) {
    // One byte more than a value may hold, for the closing backslash.
    char key[16], value[129], folder[kPathSize];
    FormatString(key, "DATA%z2", n);
    IniStore::GetString(kFolders, key, "", value, 127, configFile);
    if (!value[0]) continue;
    NormaliseFolderValue(value);
    const int found = ResolveDataPath(app, folder, value, packName);
    NoteTried(search, n, folder[0] ? folder : value);
    if (found) {
      SetDataPaths(app, folder);
      return 1;
    }
  }
  char folder[kPathSize];
  PathCopy(folder, app->programFolder, "data\\");
  NoteTried(search, 0, folder);
  SetDataPaths(app, folder);
  return 0;
}

void DescribeDataFailure(const DataFolderSearch& search, const char* packName, int packExists, std::u16string* out) {
  if (!out) return;
  out->clear();
  std::u16string& text = *out;
  AppendWide(text, packExists ? kTextDataDamaged : kTextDataNotFound);
  text += u'\n';
  AppendWide(text, kTextDataPackLabel);
  AppendWide(text, packName);
  text += u'\n';
  AppendWide(text, kTextDataFoldersTried);
  text += u'\n';
  for (int i = 0; i < search.count; ++i) {
    const DataFolderSearch::Tried& t = search.tried[i];
    char key[24] = "";
    if (t.key) FormatString(key, "DATA%z2: ", t.key);
    text += u"  ";
    AppendWide(text, key);
    AppendShownPath(text, t.folder);
    text += u'\n';
  }
  AppendWide(text, kTextDataHowToMake);
  text += u'\n';
  // The pack's name follows the screen chosen in the converter.
  AppendWide(text, std::strcmp(packName, "grpack.mlz") == 0 ? kTextPackMadeNarrow : kTextPackMadeWide);
}

int AppStartup(CGameApp* app, std::u16string* failure) {
  if (failure) failure->clear();
  FrameTimer::Start(&app->timer, kFrameIntervalMs);
  if (app->dirty) app->dirty->SetSize(uint32_t(GetScreenWidth()), uint32_t(GetScreenHeight()));
  char cfg[kPathSize];
  ConfigPath(app, cfg);
  const char* packName = GetScreenWidth() < 640 ? "grpack.mlz" : "grpack_v.mlz";
  // The font list comes before the data: the message boxes write in the
  // message font, the box of a start without game data too.
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
    char face[128];
    if (const ConfigSetting* font = FindConfigSetting("MESSAGE_FONT_NAME")) {
      ChooseMessageFont(app, *font, cfg, face);
      if (face[0]) SetErrorBoxFace(face);
    }
  }
  // The search is kept for the message of a start without game data.
  std::unique_ptr<DataFolderSearch> search(new (std::nothrow) DataFolderSearch);
  FindDataFolder(app, cfg, packName, search.get());
  // Without a pack that reads there is no game to start; nothing is written
  // then (no save folder, no system.dat, no velmi.cfg).
  PackReader local;
  if (!OpenPackChecked(app->picturePack ? app->picturePack : &local, app->picturePackPath)) {
    if (failure && search) {
      DescribeDataFailure(*search, packName, FileExists(app->picturePackPath), failure);
    }
    return 0;
  }
  MakeSaveFolder(app);
  BuildMenuTree(app);
  CPopupMenu* m = app->menu;
  GameSettings* s = &app->settings;
  EnableMenuCommand(m, kMenuPause);

  for (int i = 0; i < kConfigReadCount; ++i) ReadSetting(app, *FindConfigSetting(kConfigReadOrder[i]), cfg);

  static const struct {
    const char* key;
    int (KeyMap::*set)(const char*);
  } keys[] = {{"KEY_UP", &KeyMap::SetKeyUp},       {"KEY_DOWN", &KeyMap::SetKeyDown},
              {"KEY_LEFT", &KeyMap::SetKeyLeft},   {"KEY_RIGHT", &KeyMap::SetKeyRight},
              {"KEY_START", &KeyMap::SetKeyStart}, {"KEY_A", &KeyMap::SetKeyA},
              {"KEY_B", &KeyMap::SetKeyB},         {"KEY_C", &KeyMap::SetKeyC},
              {"KEY_D", &KeyMap::SetKeyD},         {"KEY_E", &KeyMap::SetKeyE}};
  for (auto& k : keys) {
    char value[31];
    IniStore::GetString(kKeys, k.key, "", value, 30, cfg);
    if (value[0]) (app->keyMap.*k.set)(value);
  }

  // The slot records keep what the files say: the auto-save ring goes on
  // after the newest auto-save of an earlier run.
  SaveSlotState& slots = app->saveSlots;
  FillSaveMenus(m, kMenuLoadFirst, kMenuSaveFirst, app->savePath, app->loadAllowed, slots.used, &slots.newest);
  UpdateSaveSlotItems(m, kMenuLoadFirst, kMenuSaveFirst, slots.used, slots.newest);
  FillAutoSaveMenu(m, kMenuAutoSaveFirst, app->savePath, slots.autoUsed, &slots.newestAuto);
  UpdateAutoSaveItems(m, kMenuAutoSaveFirst, slots.autoUsed, slots.newestAuto);
  // No game runs yet: the save submenu opens once a play-through begins.
  SetSaveLoadEnabled(m, s, &app->saveAllowed, app->loadAllowed, 0);
  app->ReadSystemData();
  app->gameMode = MODE_TITLE;
  app->phase = 0;
  return 1;
}

void SaveConfig(CGameApp* app) {
  char cfg[kPathSize];
  ConfigPath(app, cfg);
  const WCHAR* w = SjisToWide(cfg);
  if (w) SetFileAttributesW(w, FILE_ATTRIBUTE_NORMAL);
  for (int i = 0; i < kConfigWriteCount; ++i) WriteSetting(app, *FindConfigSetting(kConfigWriteOrder[i]), cfg);
}
