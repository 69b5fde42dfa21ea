// The story's data tables: the scene table, the gallery table, the list of
// event pictures and the script replacement pairs.  The rows come from
// story_data.txt, which the build turns into source.
#pragma once

#include <cstdint>

#include "player/scenario/system_data.h"

constexpr int kSceneRecordCount = 790;
// Writable; ended by a record whose month and day are -1.
extern SceneRecord g_SceneTable[kSceneRecordCount + 1];

// One event picture of the gallery: its group (0..105), its tab (0..7) and
// its picture name ("iv_" + character code + two digits + a letter).
struct CgEntry {
  uint32_t group;
  uint32_t tab;
  const char* name;
};
constexpr int kCgEntryCount = 531;
constexpr uint32_t kCgGroupCount = 106;
// Sorted by group; ended by group and tab -1 and an empty name.
extern const CgEntry g_CgTable[kCgEntryCount + 1];

// Backgrounds that are event pictures ("bg\iv_..."); the list ends with "".
constexpr int kEventPictureCount = 164;
extern const char* const g_EventPictureNames[kEventPictureCount + 1];

// Script names the MANA_FULL_CUT setting replaces, tried in order.
struct ScriptReplacement {
  const char* from;
  const char* to;
};
constexpr int kScriptReplacementCount = 10;
extern const ScriptReplacement g_ScriptReplacements[kScriptReplacementCount];
