// The 56 settings words of the game and their keys.
#pragma once

#include <cstdint>

struct GameSettings {
  int32_t centerKeyAction;   // 0 "KEY_CEN_CTRL"
  int32_t antialiasLevel;    // 1
  int32_t readSkip;          // 2 "READ_SKIP"
  int32_t lockSkip;          // 3 "LOCK_SKIP"
  int32_t skipRunning;       // 4 run-time only
  int32_t messageShadow;     // 5 "MESSAGE_SADOW"
  int32_t messageSpeed;      // 6
  int32_t textCutMode;       // 7
  int32_t windowTrans;       // 8
  int32_t transMode;         // 9
  int32_t sacraMode;         // 10
  int32_t effectUse;         // 11
  int32_t mesLogStart;       // 12
  int32_t mapAnimeUse;       // 13
  int32_t voiceCutMode;      // 14
  int32_t memStream;         // 15
  int32_t cursorMode;        // 16 "KET_CUR_MODE"
  int32_t keyDoubleClick;    // 17 "KET_DOUBLE_CLICK"
  int32_t musicPlay;         // 18 "PCM"
  int32_t voicePlay;         // 19
  int32_t sePlay;            // 20
  int32_t messageAuto;       // 21
  int32_t messageAutoBase;   // 22
  int32_t messageAutoOne;    // 23
  int32_t voiceAutoLock;     // 24
  int32_t masterVolume;      // 25
  int32_t voiceVolume;       // 26
  int32_t musicVolume;       // 27
  int32_t seVolume;          // 28
  int32_t movieVolume;       // 29
  int32_t vgaQuality;        // 30
  int32_t messageFont;       // 31 index in the font list
  int32_t soundQuality;      // 32 "SAOUND_QUALITY"
  int32_t oggUseLevel;       // 33
  int32_t dispFreeMode;      // 34
  int32_t mannerVoiceCut;    // 35
  int32_t mannerFullCut;     // 36
  int32_t titleImageMode;    // 37
  int32_t charVoiceUse[16];  // 38..53
  int32_t mascotVoice;       // 54
  int32_t saveMascotIcon;    // 55
};
static_assert(sizeof(GameSettings) == 56 * 4, "56 settings words");

// Drawing level of the message window's panel: opaque (256) while the
// transparency switch is off, else WINDOW_TRANS tenths of opaque, at most
// opaque.  The window, the configuration screen and the menu share it.
inline int WindowTransLevel(const GameSettings& s) {
  if (s.transMode == 0) return 256;
  const int64_t level = int64_t(s.windowTrans) * 256 / 10;
  return level < 0 ? 0 : level > 256 ? 256 : int(level);
}

// Key of the text anti-alias level.  Older files lack it and start at 0.
#define ANTIALIAS_KEY "TEXT_ANTIALIAS"
