// Save files: the 26,688-byte state block written at the start of every
// save file, and the slot bookkeeping of the save and load items.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/scenario/stage.h"
#include "player/scenario/story.h"

constexpr uint32_t kSaveStateSize = 26688;
constexpr int kMenuSaveSlots = 15;
constexpr int kAutoSaveSlots = 3;
constexpr int kFirstAutoSaveSlot = 500;

// The file image of a game's state, field for field as the file holds it.
struct SaveStateBlock {
  char magic[4];             // "YMN0"
  uint32_t thumbnailOffset;  // 26,688
  char time[20];             // "%z4-%z2-%z2 %z2:%z2:%z2"
  char label[64];            // scene label
  int32_t saveIcon;
  uint32_t pc;
  int32_t frameCounter;
  uint16_t moveKind;
  char scriptName[32];
  char voiceName[64];
  char speakerName[32];
  int16_t variables[kGameVariables];
  uint16_t reserved;
  int32_t readBlock;
  int32_t weatherKind;
  int32_t weatherStrength;
  int32_t conditionFlag;
  int32_t windowShown;
  int32_t pageCursorShown;
  int32_t currentTrack;
  int32_t trackMode;
  int32_t currentEffect;
  int32_t effectLoop;
  CharacterSlot characters[2];
  char backgroundName[32];
  int32_t backgroundX;
  int32_t backgroundY;
  ChoiceGroup choice;
};
static_assert(sizeof(SaveStateBlock) == kSaveStateSize, "save state block size");
static_assert(offsetof(SaveStateBlock, thumbnailOffset) == 4);
static_assert(offsetof(SaveStateBlock, time) == 8);
static_assert(offsetof(SaveStateBlock, label) == 28);
static_assert(offsetof(SaveStateBlock, saveIcon) == 92);
static_assert(offsetof(SaveStateBlock, pc) == 96);
static_assert(offsetof(SaveStateBlock, frameCounter) == 100);
static_assert(offsetof(SaveStateBlock, moveKind) == 104);
static_assert(offsetof(SaveStateBlock, scriptName) == 106);
static_assert(offsetof(SaveStateBlock, voiceName) == 138);
static_assert(offsetof(SaveStateBlock, speakerName) == 202);
static_assert(offsetof(SaveStateBlock, variables) == 234);
static_assert(offsetof(SaveStateBlock, reserved) == 25834);
static_assert(offsetof(SaveStateBlock, readBlock) == 25836);
static_assert(offsetof(SaveStateBlock, weatherKind) == 25840);
static_assert(offsetof(SaveStateBlock, weatherStrength) == 25844);
static_assert(offsetof(SaveStateBlock, conditionFlag) == 25848);
static_assert(offsetof(SaveStateBlock, windowShown) == 25852);
static_assert(offsetof(SaveStateBlock, pageCursorShown) == 25856);
static_assert(offsetof(SaveStateBlock, currentTrack) == 25860);
static_assert(offsetof(SaveStateBlock, trackMode) == 25864);
static_assert(offsetof(SaveStateBlock, currentEffect) == 25868);
static_assert(offsetof(SaveStateBlock, effectLoop) == 25872);
static_assert(offsetof(SaveStateBlock, characters) == 25876);
static_assert(offsetof(SaveStateBlock, backgroundName) == 26044);
static_assert(offsetof(SaveStateBlock, backgroundX) == 26076);
static_assert(offsetof(SaveStateBlock, backgroundY) == 26080);
static_assert(offsetof(SaveStateBlock, choice) == 26084);

constexpr size_t kFailedFileSize = 1024;

// How one file of the last save ended.
enum SaveFileState : int32_t {
  kFileWritten = 0,      // written and confirmed, or not tried
  kFileNotWritten = 1,   // the write failed; the older file is whole
  kFileUnconfirmed = 2,  // in place, but the disk did not confirm the rename
};

// A file the last save could not write or whose write the disk did not
// confirm: its path and the system's error code.
struct SaveFileFailure {
  int32_t state;  // SaveFileState
  char file[kFailedFileSize];
  uint32_t error;
};

struct SaveSlotState {
  int32_t used[kMenuSaveSlots];
  int32_t autoUsed[kAutoSaveSlots];
  int32_t newest;      // -1 none
  int32_t newestAuto;  // -1 none
  uint8_t* thumbnail;  // held for the next save (LocalAlloc, owned)
  uint32_t thumbnailSize;
  // The save file and system.dat of the last save.
  SaveFileFailure saveFile;
  SaveFileFailure systemFile;
};

// How a save ended (CGameApp::WriteSaveFile, AutoSave): positive when the
// save file holds the game.
enum SaveWriteResult : int {
  kSaveNothingToSave = -1,    // no snapshot of a game yet: nothing written
  kSaveFailed = 0,            // the save file was not written; the older one is whole
  kSaveWritten = 1,           // the save file and system.dat were written
  kSaveSystemDataFailed = 2,  // the save file was written, system.dat was not
  kSaveUnconfirmed = 3,       // both were written; the disk did not confirm one or both of them
};

class CGameApp;
class CPopupMenu;

// Writes the next slot of the auto-save ring; a SaveWriteResult.
int AutoSave(CGameApp* app);
// Tells the player of a save that failed (kSaveFailed, kSaveSystemDataFailed)
// or that the disk did not confirm (kSaveUnconfirmed) in one message box
// naming each of the save file and system.dat that was not written or not
// confirmed, with its path and the reason, those not written first; the
// other results are not told.
void TellSaveResult(CGameApp* app, int result);
// Fill the save and load items from the save files; the result is the newest slot.
int FillSaveMenus(CPopupMenu* menu, int firstLoadId, int firstSaveId, const char* saveFolder, int loadAllowed,
                  int* usedOut, int* newestOut);
int FillAutoSaveMenu(CPopupMenu* menu, int firstId, const char* saveFolder, int* usedOut, int* newestOut);
// The save time text packed for ordering.
uint32_t PackSaveTime(const char* timeText);
