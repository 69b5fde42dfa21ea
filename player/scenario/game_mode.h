// Game modes: which screen runs, and the table that maps each mode to the
// handler that runs it for one frame.
#pragma once

#include <cstdint>

class CGameApp;

enum GameMode : int32_t {
  MODE_TITLE = 0,
  MODE_MAP = 10,
  MODE_ALARM = 15,
  MODE_MINIGAME = 20,
  MODE_QUICK_OPTION = 30,
  MODE_CONFIRM = 35,
  MODE_SYSTEM_CONFIG = 50,
  MODE_MASCOT_VOICE = 51,
  MODE_VOICE_CONFIG = 52,
  MODE_SAVE_LOAD = 60,
  MODE_SAVE_ICON = 61,
  MODE_LOAD = 62,
  MODE_BACK_TO_TITLE = 63,
  MODE_CG = 80,
  MODE_SCENE_REPLAY = 81,
  MODE_MUSIC = 82,
  MODE_INTERVIEW = 83,
  MODE_STORY = 99,
  MODE_QUIT = 999,
};

// One frame of a mode; the result is the handler's own (1 for most).
using ModeHandler = int (*)(CGameApp* app);

struct ModeEntry {
  int32_t mode;
  ModeHandler handler;  // null: the mode runs nothing
};

constexpr int kModeCount = 19;

// Error word bits of the application object.
constexpr uint32_t kErrorPictureLoad = 0x80000000u;
constexpr uint32_t kErrorPictureSlot = 0x800000u;
