#include "player/app/config_settings.h"

#include <cstdlib>
#include <cstring>

#include "player/app/game_app.h"
#include "player/core/menu_ids.h"
#include "player/core/settings.h"
#include "player/menu/option_handlers.h"
#include "player/screens/screen_state.h"

namespace {

const char kSystem[] = "SYSTEM_CONFIG";
const char kMusic[] = "MUSIC_CONFIG";
const char kVoice[] = "VOICE_CONFIG";
const char kSe[] = "SE_CONFIG";
const char kMov[] = "MOV_CONFIG";
const char kMessage[] = "MESSAGE_CONFIG";

#define WORD(field) [](CGameApp* app, int) -> int32_t* { return &app->settings.field; }
#define APP_WORD(member) [](CGameApp* app, int) -> int32_t* { return &app->member; }

using R = SettingRule;
using S = SettingStep;

}  // namespace

// Ranges are enforced here, at the read, and only for words that the game
// uses as an index, a size or a multiplier (character pictures and voices,
// the window level, the anti-alias level, text and auto-advance delays,
// volumes, gallery pages) or whose start-up rule says so; every other word
// is kept as read and written back unchanged.  The option handlers store
// what they are given.
const ConfigSetting kConfigSettings[] = {
    // section, key, count, word, default, rule, low, high, step, menu, handler, character handler
    {kMusic, "SAOUND_QUALITY", 1, WORD(soundQuality), 0, R::kAsRead, 0, 0, S::kSoundQuality, kMenuSoundQualityFirst,
     SetSoundQuality, nullptr},
    {kMusic, "OGG_USE_LEVEL", 1, WORD(oggUseLevel), 0, R::kAsRead, 0, 0, S::kOggUseLevel, kMenuOggUseFirst,
     SetOggUseLevel, nullptr},
    {kMusic, "MEM_STREAM", 1, WORD(memStream), 0, R::kFlag, 0, 0, S::kPlain, 0, nullptr, nullptr},
    {kMusic, "DEVICE_VOL", 1, nullptr, 65535, R::kAsRead, 0, 0, S::kDeviceVolume, 0, nullptr, nullptr},
    {kVoice, "VOICE_PLAY", 1, WORD(voicePlay), 2, R::kAsRead, 0, 0, S::kPlain, kMenuVoicePlay, SetVoicePlay, nullptr},
    {kSe, "SE_PLAY", 1, WORD(sePlay), 2, R::kAsRead, 0, 0, S::kPlain, kMenuSePlay, SetSePlay, nullptr},
    {kMusic, "PCM", 1, WORD(musicPlay), 2, R::kAsRead, 0, 0, S::kPlain, kMenuMusicPlay, SetMusicPlay, nullptr},
    {kMusic, "MASTER_VOL", 1, WORD(masterVolume), 100, R::kRange, 10, 100, S::kPlain, kMenuMasterVolumeFirst,
     SetMasterVolume, nullptr},
    {kMusic, "MUSIC_VOL", 1, WORD(musicVolume), 100, R::kRange, 10, 100, S::kPlain, kMenuMusicVolumeFirst,
     SetMusicVolume, nullptr},
    {kVoice, "VOICE_VOL", 1, WORD(voiceVolume), 100, R::kRange, 10, 100, S::kPlain, kMenuVoiceVolumeFirst,
     SetVoiceVolume, nullptr},
    {kSe, "SE_VOL", 1, WORD(seVolume), 100, R::kRange, 10, 100, S::kPlain, kMenuSeVolumeFirst, SetSeVolume, nullptr},
    {kMov, "MOV_VOL", 1, WORD(movieVolume), 100, R::kRange, 10, 100, S::kPlain, kMenuMovieVolumeFirst, SetMovieVolume,
     nullptr},
    {kMessage, "EFFECT_USE", 1, WORD(effectUse), 1, R::kAsRead, 0, 0, S::kPlain, kMenuEffectUse, SetEffectUse, nullptr},
    {kSystem, "SACRA_MODE", 1, WORD(sacraMode), 1, R::kAsRead, 0, 0, S::kPlain, kMenuSacraMode, SetSacraMode, nullptr},
    {kSystem, "MAP_ANIME_USE", 1, WORD(mapAnimeUse), 1, R::kFlag, 0, 0, S::kPlain, kMenuMapAnimeUse, SetMapAnimeUse,
     nullptr},
    {kMessage, ANTIALIAS_KEY, 1, WORD(antialiasLevel), 0, R::kRange, 0, 3, S::kPlain, kMenuAntialiasFirst,
     SetAntialiasLevel, nullptr},
    {kMessage, "MESSAGE_SPEED", 1, WORD(messageSpeed), 1, R::kRange, 0, 9, S::kPlain, kMenuMessageSpeedFirst,
     SetMessageSpeed, nullptr},
    {kMessage, "READ_SKIP", 1, WORD(readSkip), 0, R::kAsRead, 0, 0, S::kPlain, kMenuReadSkip, SetReadSkip, nullptr},
    {kMessage, "LOCK_SKIP", 1, WORD(lockSkip), 0, R::kAsRead, 0, 0, S::kPlain, kMenuLockSkip, SetLockSkip, nullptr},
    {kMessage, "MESSAGE_SADOW", 1, WORD(messageShadow), 0, R::kFlag, 0, 0, S::kPlain, kMenuMessageShadow,
     SetMessageShadow, nullptr},
    {kSystem, "TITLE_IMAGE_MODE", 1, WORD(titleImageMode), 0, R::kAbsMod4, 0, 0, S::kPlain, kMenuTitleImageFirst,
     SetTitleImageMode, nullptr},
    {kSystem, "CHAR_VOICE_USE_%z2", 16, [](CGameApp* app, int i) -> int32_t* { return &app->settings.charVoiceUse[i]; },
     1, R::kFlag, 0, 0, S::kPlain, kMenuCharVoiceFirst, nullptr, SetCharVoiceUse},
    {kMessage, "MESSAGE_AUTO", 1, WORD(messageAuto), 0, R::kFlag, 0, 0, S::kPlain, kMenuMessageAuto, SetMessageAuto,
     nullptr},
    {kMessage, "MESSAGE_AUTO_BASE", 1, WORD(messageAutoBase), 0, R::kRange, 0, 9, S::kPlain, kMenuAutoBaseFirst,
     SetMessageAutoBase, nullptr},
    {kMessage, "MESSAGE_AUTO_ONE", 1, WORD(messageAutoOne), 0, R::kRange, 0, 9, S::kPlain, kMenuAutoOneFirst,
     SetMessageAutoOne, nullptr},
    {kMessage, "TEXT_CUT_MODE", 1, WORD(textCutMode), 0, R::kFlag, 0, 0, S::kPlain, kMenuTextCutMode, SetTextCutMode,
     nullptr},
    {kMessage, "WINDOW_TRANS", 1, WORD(windowTrans), 5, R::kRange, 0, 10, S::kPlain, kMenuWindowTransFirst,
     SetWinTransparency, nullptr},
    {kMessage, "TRANS_MODE", 1, WORD(transMode), 1, R::kFlag, 0, 0, S::kPlain, kMenuTransMode, SetTransMode, nullptr},
    {kSystem, "MASCOT_VOICE", 1, WORD(mascotVoice), 0, R::kRange, 0, 15, S::kPlain, kMenuMascotVoiceFirst,
     SetMascotVoice, nullptr},
    {kSystem, "SAVE_MASCOT_ICON", 1, WORD(saveMascotIcon), 0, R::kRange, 0, 15, S::kPlain, kMenuSaveIconFirst,
     SetSaveMascotIcon, nullptr},
    {kSystem, "KEY_CEN_CTRL", 1, WORD(centerKeyAction), 1, R::kAsRead, 0, 0, S::kPlain, kMenuCenterKeyFirst,
     SetCenterKeyAction, nullptr},
    {kSystem, "KET_CUR_MODE", 1, WORD(cursorMode), 0, R::kAsRead, 0, 0, S::kPlain, kMenuCursorModeFirst, SetCursorMode,
     nullptr},
    {kSystem, "KET_DOUBLE_CLICK", 1, WORD(keyDoubleClick), 0, R::kAsRead, 0, 0, S::kPlain, kMenuKeyDoubleClick,
     SetKeyDoubleClick, nullptr},
    {kMessage, "VOICE_AUTOLOCK", 1, WORD(voiceAutoLock), 0, R::kAsRead, 0, 0, S::kPlain, kMenuVoiceAutoLock,
     SetVoiceAutoLock, nullptr},
    {kSystem, "DISP_FREE_MODE", 1, WORD(dispFreeMode), 0, R::kAsRead, 0, 0, S::kPlain, kMenuDispFreeFirst,
     SetDispFreeMode, nullptr},
    {kSystem, "MANA_VOICE_CUT", 1, WORD(mannerVoiceCut), 0, R::kAsRead, 0, 0, S::kPlain, kMenuMannerVoiceCut,
     SetMannerVoiceCut, nullptr},
    {kSystem, "MANA_FULL_CUT", 1, WORD(mannerFullCut), 0, R::kAsRead, 0, 0, S::kPlain, kMenuMannerFullCut,
     SetMannerFullCut, nullptr},
    {kVoice, "VOICE_CUT_MODE", 1, WORD(voiceCutMode), 0, R::kAsRead, 0, 0, S::kPlain, kMenuVoiceCutFirst,
     SetVoiceCutMode, nullptr},
    {kMessage, "MES_LOG_START", 1, WORD(mesLogStart), 0, R::kAsRead, 0, 0, S::kPlain, kMenuLogStartFirst,
     SetMessageLogStart, nullptr},
    {kSystem, "CG_MODE_CHAR", 1, APP_WORD(cgMode.tab), 0, R::kRange, 0, 7, S::kPlain, 0, nullptr, nullptr},
    {kSystem, "CG_MODE_PAGE", 1, APP_WORD(cgMode.page), 0, R::kRange, 0, 1, S::kPlain, 0, nullptr, nullptr},
    {kSystem, "EV_MODE_CHAR", 1, APP_WORD(sceneReplay.tab), 0, R::kRange, 0, 7, S::kPlain, 0, nullptr, nullptr},
    {kSystem, "EV_MODE_PAGE", 1, APP_WORD(sceneReplay.page), 0, R::kReplayPage, 0, 0, S::kPlain, 0, nullptr, nullptr},
    {kMov, "VGA_QUALITY", 1, WORD(vgaQuality), 1, R::kFlag, 0, 0, S::kPlain, kMenuVgaQuality, SetVgaQuality, nullptr},
    {kSystem, "MESSAGE_FONT_NAME", 1, WORD(messageFont), 0, R::kAsRead, 0, 0, S::kFontName, kMenuFontFirst, nullptr,
     nullptr},
};
const int kConfigSettingCount = int(sizeof kConfigSettings / sizeof kConfigSettings[0]);

const char* const kConfigReadOrder[] = {
    "SAOUND_QUALITY",
    "OGG_USE_LEVEL",
    "MEM_STREAM",
    "DEVICE_VOL",
    "VOICE_PLAY",
    "SE_PLAY",
    "PCM",
    "MASTER_VOL",
    "MUSIC_VOL",
    "VOICE_VOL",
    "SE_VOL",
    "MOV_VOL",
    "EFFECT_USE",
    "SACRA_MODE",
    "MAP_ANIME_USE",
    ANTIALIAS_KEY,
    "MESSAGE_SPEED",
    "READ_SKIP",
    "LOCK_SKIP",
    "MESSAGE_SADOW",
    "TITLE_IMAGE_MODE",
    "CHAR_VOICE_USE_%z2",
    "MESSAGE_AUTO",
    "MESSAGE_AUTO_BASE",
    "MESSAGE_AUTO_ONE",
    "TEXT_CUT_MODE",
    "WINDOW_TRANS",
    "TRANS_MODE",
    "MASCOT_VOICE",
    "SAVE_MASCOT_ICON",
    "KEY_CEN_CTRL",
    "KET_CUR_MODE",
    "KET_DOUBLE_CLICK",
    "VOICE_AUTOLOCK",
    "DISP_FREE_MODE",
    "MANA_VOICE_CUT",
    "MANA_FULL_CUT",
    "VOICE_CUT_MODE",
    "MES_LOG_START",
    "CG_MODE_CHAR",
    "CG_MODE_PAGE",
    "EV_MODE_CHAR",
    "EV_MODE_PAGE",
    "VGA_QUALITY",
    "MESSAGE_FONT_NAME",
};
const int kConfigReadCount = int(sizeof kConfigReadOrder / sizeof kConfigReadOrder[0]);

// "MEM_STREAM" and "DEVICE_VOL" are never written: their lines stay as the user wrote them.
const char* const kConfigWriteOrder[] = {
    "PCM",
    "VOICE_PLAY",
    "SE_PLAY",
    "MASTER_VOL",
    "MUSIC_VOL",
    "VOICE_VOL",
    "SE_VOL",
    "MOV_VOL",
    "VOICE_CUT_MODE",
    "VGA_QUALITY",
    "MESSAGE_FONT_NAME",
    "MES_LOG_START",
    "EFFECT_USE",
    "SACRA_MODE",
    "MAP_ANIME_USE",
    "CHAR_VOICE_USE_%z2",
    "READ_SKIP",
    "LOCK_SKIP",
    "VOICE_AUTOLOCK",
    ANTIALIAS_KEY,
    "MESSAGE_SPEED",
    "MESSAGE_AUTO",
    "MESSAGE_AUTO_BASE",
    "MESSAGE_AUTO_ONE",
    "TITLE_IMAGE_MODE",
    "CG_MODE_CHAR",
    "CG_MODE_PAGE",
    "EV_MODE_CHAR",
    "EV_MODE_PAGE",
    "TEXT_CUT_MODE",
    "WINDOW_TRANS",
    "TRANS_MODE",
    "MASCOT_VOICE",
    "SAVE_MASCOT_ICON",
    "MESSAGE_SADOW",
    "SAOUND_QUALITY",
    "OGG_USE_LEVEL",
    "KEY_CEN_CTRL",
    "KET_CUR_MODE",
    "KET_DOUBLE_CLICK",
    "DISP_FREE_MODE",
    "MANA_VOICE_CUT",
    "MANA_FULL_CUT",
};
const int kConfigWriteCount = int(sizeof kConfigWriteOrder / sizeof kConfigWriteOrder[0]);

const ConfigSetting* FindConfigSetting(const char* key) {
  for (const ConfigSetting& s : kConfigSettings)
    if (std::strcmp(s.key, key) == 0) return &s;
  return nullptr;
}

int32_t ApplySettingRule(const ConfigSetting& s, int32_t v, const CGameApp& app) {
  switch (s.rule) {
    case SettingRule::kFlag:
      return v != 0;
    case SettingRule::kRange:
      return v < s.low || v > s.high ? s.defaultValue : v;
    case SettingRule::kAbsMod4:
      return int32_t(std::llabs(int64_t(v)) % 4);
    case SettingRule::kReplayPage:
      // Each tab has its own page count, up to 29.
      return v < 0 || v >= SceneReplayPageCount(app.sceneReplay.tab) ? s.defaultValue : v;
    case SettingRule::kAsRead:
      break;
  }
  return v;
}
