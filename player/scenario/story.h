// The story's state: the script being run, its program counter and frame
// counter, the condition flag and the choice group, and the script variables.
#pragma once

#include <cstdint>

// Variables 0-65,535 addressed as bank x 256 + index; banks 0-49 belong to
// the play-through, banks 50-255 persist in system.dat.
constexpr int kScriptVariables = 65536;
constexpr int kGameVariables = 12800;
extern int16_t g_ScriptVariables[kScriptVariables];

// The choice list with the message shown while choosing; saved whole.
struct ChoiceGroup {
  int32_t listFlag;
  int32_t optionCount;
  int32_t chosen;
  int32_t layout[4];  // x, first row y, unused, row step
  char texts[4][48];
  char labels[4][24];
  char message[256];
  char speaker[32];
};
static_assert(sizeof(ChoiceGroup) == 604, "choice group as saved");

struct StoryState {
  uint8_t* code;     // byte code of the current script, inside buffer
  uint8_t* buffer;   // the script entry as read from the pack (LocalAlloc, owned)
  uint32_t wordCount;
  uint32_t unpackedSize;
  uint32_t pc;
  int32_t frameCounter;  // frames the current instruction has run; 0 on its first
  char scriptName[32];
  char speakerName[32];
  int32_t readBlock;
  int32_t conditionFlag;
  uint16_t moveKind;
  ChoiceGroup choice;
};

// The script replacements of the MANA_FULL_CUT setting: the first name is
// replaced by the second.
struct ScriptReplacement {
  const char* from;
  const char* to;
};

class CGameApp;

// Position after the first OP_TARGET with the id, scanning in instruction
// steps from start.
uint32_t FindJumpTarget(CGameApp* app, int targetId, uint32_t start);
