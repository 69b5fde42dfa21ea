// The system screens' share of the application object: the state words of
// each screen, kept across frames.
#pragma once

#include <cstdint>

constexpr int32_t kCursorNone = 100;
constexpr int32_t kConfigCursorNone = 300;

// The title's words; they outlive the title's mode.
struct TitleState {
  int32_t itemCount;
  int32_t menuLevel;    // 0 main menu, 1 extras submenu
  int32_t extrasLevel;  // 0, 1 or 2
  int32_t pictureRow;   // 0 daytime, 1 evening, 2 night
  int32_t cursor;       // 100 nothing; 10 outside the extras submenu's items
  int32_t previousCursor;
  uint32_t phaseStart;
};

struct QuickOptionState {
  int32_t cursor;
  int32_t returnMode, returnPhase;
  int32_t windowWasShown;
};

struct ConfirmState {
  int32_t question;
  int32_t cursor;
  int32_t returnMode, returnPhase;
  int32_t windowWasShown;
  int32_t saveTargetRow, saveTargetPage;
};

struct SystemConfigState {
  int32_t cursor;
  int32_t returnMode, returnPhase;
  int32_t windowWasShown;
};

struct SaveLoadState {
  int32_t direction;  // 0 save, 1 load
  int32_t page;
  int32_t cursor;
  int32_t rowUsed[5];
  int32_t chosenRow;
  int32_t returnMode, returnPhase;
  int32_t windowWasShown;
  uint32_t loadStart;  // NowMs when the load's fade began
};

struct VoiceConfigState {
  int32_t cursor;
};

// The system-voice chooser's selection (the save-icon chooser uses the save
// screen's cursor).
struct CharacterChoiceState {
  int32_t selection;
};

// Picture gallery; tab and page are kept in velmi.cfg.
struct CgPlace {
  int32_t unlocked;
  int32_t seenCount;
  int32_t totalCount;
  char names[24][20];
};

struct CgModeState {
  int32_t tab, page;
  int32_t cursor, highlight;
  int32_t pageCount;
  int32_t groupCount;
  CgPlace places[9];
  int32_t viewPlace, viewNext;
  int32_t viewX, viewY, viewWidth, viewHeight;
};

// Scene replay; tab and page are kept in velmi.cfg.
struct SceneReplayState {
  int32_t tab, page;
  int32_t pageCount;
  int32_t firstRecord;
  int32_t entries;
  int32_t shown[8];
  int32_t cursor, highlight;
  int32_t chosen;
  uint32_t phaseClock;
};

// The page count of scene replay tab 0-7; 0 for any other tab.
int SceneReplayPageCount(int tab);

// Map movement.
struct MapState {
  int32_t cursor, highlight;
  int32_t kind;  // 0 school, 1 island
  int32_t heroineAt[6];
  int32_t frame[6];
  uint32_t frameTime[6];
  int32_t chosenPlace;
  int32_t animeUse;
  uint32_t fadeStart;
};

// Haunted-house mini game; what lasts between visits is in script variables.
struct ObakeState {
  int32_t visited[5];    // place 0, place 1, place 2, first room, second room
  int32_t available[4];  // places 0..3
  int32_t cursor;
  int32_t place;
  int32_t pictureCount;  // 1 or 2
  int32_t pictureChoice;
  uint32_t fadeStart;
};

// Alarm choice.
struct AlarmState {
  int32_t cursor;
  uint32_t fadeStart;
};

// Music mode; reset on entry.
struct MusicModeState {
  int32_t selected;  // 0 none, else track 1..46
  int32_t scroll;    // 0..15
  int32_t repeat;
  int32_t cursor;
};

// Interviews; reset on entry.
struct InterviewState {
  int32_t page;
  int32_t cursor;
  int32_t playing;  // interview number, 0 none
};

// Ending roll and ending slides; the first call of each resets its words.
struct EndingState {
  uint32_t rollStart;
  int32_t rollCount;  // pictures scrolled past
  int32_t rollUpper;  // picture slot index of the upper picture, 0 or 1
  uint32_t slideBase;
  int32_t slideCount;
  int32_t slideStep;  // 0 holding, 1 cross-fading
};
