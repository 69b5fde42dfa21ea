// Command ids of the pop-up menu's items.  A group of items is named by its
// first id; the item of value v is first + v unless the handler says other.
#pragma once

enum MenuId : int {
  kMenuFirstId = 40007,
  kMenuQuit = 40007,
  kMenuBackToTitle = 40008,
  kMenuLoadFirst = 40017,  // 15 slots
  kMenuSaveFirst = 40032,  // 15 slots
  kMenuEffectUse = 40049,
  kMenuAntialiasFirst = 40051,  // 4 levels
  kMenuReadSkip = 40059,
  kMenuVoicePlay = 40067,
  kMenuMusicPlay = 40068,
  kMenuMusicVolumeFirst = 40069,  // 100% .. 10%
  kMenuVoiceVolumeFirst = 40079,
  kMenuVoiceAutoLock = 40098,
  kMenuSePlay = 40108,
  kMenuSeVolumeFirst = 40109,
  kMenuCursorModeFirst = 40120,  // 5 modes
  kMenuMessageShadow = 40125,
  kMenuMasterVolumeFirst = 40126,
  kMenuMovieVolumeFirst = 40136,
  kMenuLockSkip = 40146,
  kMenuKeyDoubleClick = 40158,
  kMenuDispFreeFirst = 40160,   // 3 modes
  kMenuCenterKeyFirst = 40163,  // 6 actions
  kMenuMannerVoiceCut = 40177,
  kMenuFontFirst = 40178,      // 15 fonts
  kMenuVoiceCutFirst = 40193,  // 3 modes
  kMenuVgaQuality = 40196,
  kMenuMessageAuto = 40205,
  kMenuLogStartFirst = 40220,      // 2 keys
  kMenuAutoSaveFirst = 40222,      // 3 slots
  kMenuMessageSpeedFirst = 40225,  // 10 levels
  kMenuAutoBaseFirst = 40235,      // 10 steps
  kMenuAutoOneFirst = 40245,       // 10 steps
  kMenuSoundQualityFirst = 40258,  // 2 qualities
  kMenuOggUseFirst = 40260,        // 2 orders
  kMenuSacraMode = 40262,
  kMenuTextCutMode = 40263,
  kMenuTransMode = 40264,
  kMenuWindowTransFirst = 40265,  // 11 steps, 0% first
  kMenuMascotVoiceFirst = 40276,  // 15 characters
  kMenuSaveIconFirst = 40291,     // 15 characters
  kMenuPause = 40306,
  kMenuMapAnimeUse = 40307,
  kMenuTitleImageFirst = 40308,  // 4 sets
  kMenuCharVoiceFirst = 40312,   // 15 characters
  kMenuMannerFullCut = 40327,
  kMenuLastId = 40327,
};
