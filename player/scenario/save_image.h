// The image of a save file "save%z3.dat": the 26,688-byte save state block,
// then a 16-bit bottom-up BMP thumbnail.  The block is written and read field
// by field, little-endian, at fixed offsets, so that a save written by one
// build loads in the others.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "player/scenario/save_file.h"
#include "player/scenario/system_data.h"

constexpr int kSaveVariableCount = kGameVariables;  // banks 0-49
constexpr int kSaveMaxOptions = 4;
constexpr int kSaveMaxWeatherKind = 6;

// Offsets of the fields in the file.
enum SaveStateOffset : uint32_t {
  kSaveOffMagic = 0,
  kSaveOffThumbnailOffset = 4,
  kSaveOffTime = 8,
  kSaveOffLabel = 28,
  kSaveOffIcon = 92,
  kSaveOffPc = 96,
  kSaveOffFrameCounter = 100,
  kSaveOffMoveKind = 104,
  kSaveOffScriptName = 106,
  kSaveOffVoiceName = 138,
  kSaveOffSpeakerName = 202,
  kSaveOffVariables = 234,
  kSaveOffReserved = 25834,
  kSaveOffReadBlock = 25836,
  kSaveOffWeatherKind = 25840,
  kSaveOffWeatherStrength = 25844,
  kSaveOffConditionFlag = 25848,
  kSaveOffWindowShown = 25852,
  kSaveOffPageCursorShown = 25856,
  kSaveOffMusicTrack = 25860,
  kSaveOffMusicPlayMode = 25864,
  kSaveOffSoundEffect = 25868,
  kSaveOffSoundEffectLoop = 25872,
  kSaveOffCharacters = 25876,
  kCharacterSlotSize = 84,
  kSaveOffBackgroundName = 26044,
  kSaveOffBackgroundX = 26076,
  kSaveOffBackgroundY = 26080,
  kSaveOffChoice = 26084,
  kChoiceGroupSize = 604,
};

// Why a save image was refused.
enum class SaveCheck {
  kOk,
  kMissing,       // no file, or it cannot be read
  kShort,         // shorter than the block
  kBadMagic,      // not "YMN" and a digit
  kUnterminated,  // a name field without its terminator
  kBadChoice,     // more than four options, or a chosen index outside them
  kBadWeather,    // a weather kind the game does not have
};

// The 26,688 bytes of the block; every name is written up to its terminator
// and zero-filled behind it (a name that fills its field is cut to leave room
// for the terminator, at a whole character).
void EncodeSaveState(const SaveStateBlock& block, uint8_t* out);

// Reads and checks the block at the start of image (size bytes).  The block
// is written only when the result is kOk.
SaveCheck DecodeSaveState(const uint8_t* image, size_t size, SaveStateBlock* block);

// 1 when the image starts with "YMN" and a digit.
int HasSaveMagic(const uint8_t* image, size_t size);

// Writes the block and the thumbnail (size 0: none) to a temporary file
// beside path and renames it over path, so that a failed write leaves the
// older file whole.  1 when every byte was written and the rename succeeded;
// GetLastError then tells NO_ERROR, or why the disk did not confirm the rename.
int WriteSaveImage(const char* path, const SaveStateBlock& block, const uint8_t* thumbnail, uint32_t thumbnailSize);

// Reads the file at path and decodes its block.
SaveCheck ReadSaveImage(const char* path, SaveStateBlock* block);

// "save%z3.dat" of a slot (file number slot + 1) in folder; 0 when it does
// not fit into capacity bytes.
int MakeSavePath(char* out, size_t capacity, const char* folder, int slot);

// The save time "%z4-%z2-%z2 %z2:%z2:%z2" of a local time.
void FormatSaveTime(char* out, const SYSTEMTIME& time);

// The time text packed for ordering saves: the year's last two digits in bits
// 25-31, month 21-24, day 16-20, hour 11-15, minute 5-10, seconds halved 0-4.
uint32_t PackSaveTime(const char* timeText);

// The row of scriptName in table, or null (no table, or not listed).
const SceneRecord* LookupSceneRecord(const SceneRecord* table, const char* scriptName);

// The scene label of a save: "-%d月%d日[%s]-", "-？月？日[%s]-" when the month
// is 0, "-%s-" on screens narrower than 640 pixels; a script not in the table
// has month 0 and an empty title.  out holds 64 bytes.
void MakeSceneLabel(char* out, const SceneRecord* table, const char* scriptName, int screenWidth);

// What a save and load menu item shows of one save file.
struct SaveSlotSummary {
  int used;                  // 1: a save that starts with "YMN" and a digit
  char text[96];             // "%s %s" (time, label), or "---- 未定義 ----"
  uint32_t packedTime;       // PackSaveTime of the time field
  const uint8_t* thumbnail;  // the BMP inside image when it is an uncompressed
                             // 16-bit BMP lying within the file, else null
  uint32_t thumbnailSize;    // bytes from the thumbnail to the file's end
};

// Summarises a whole save file image (null or short images are unused).
void SummariseSaveImage(const uint8_t* image, size_t size, SaveSlotSummary* out);

// Reads the save files of count slots from firstSlot on in folder, in slot
// order, and hands each summary to visit (index 0 for firstSlot) while the
// file's image is alive.  usedOut (count words, may be null) receives the
// used flags.  The result is the index of the newest save by packed time (the
// lower index on equal times), -1 when none is used.
using SaveSlotVisitor = void (*)(void* context, int index, const SaveSlotSummary& summary);
int ScanSaveSlots(const char* folder, int firstSlot, int count, int* usedOut, SaveSlotVisitor visit, void* context);

// The label of an unused slot.
extern const char kTextUndefinedSlot[];
