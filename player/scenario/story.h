// The story's state: the script being run, its program counter and frame
// counter, the condition flag and the choice group, and the script variables;
// the opcode table of the interpreter and the table of the requests it makes
// of the other topics.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "player/scenario/script_file.h"

class CGameApp;

// Variables 0-65,535 addressed as bank x 256 + index; banks 0-49 belong to
// the play-through, banks 50-255 persist in system.dat.
constexpr int kScriptVariables = 65536;
constexpr int kGameVariables = 12800;
extern int16_t g_ScriptVariables[kScriptVariables];

// Variables with a fixed role.
constexpr int kVarRandom = 25346;       // result of OP_RANDOM
constexpr int kVarTextCut = 25361;      // TEXT_CUT_MODE at the last script load
constexpr int kVarScriptSeen = 25595;   // the last loaded script had been loaded before
constexpr int kVarMiniGameKind = 2058;  // 0 "kimo_lup", 1 "kimo_brs"

constexpr int kChoiceOptions = 4;
constexpr int kNoChoiceOption = 100;

// The choice list with the message shown while choosing; saved whole.
struct ChoiceGroup {
  int32_t listFlag;
  int32_t optionCount;
  int32_t chosen;
  int32_t layout[4];  // x, first row y, unused, row step
  char texts[kChoiceOptions][48];
  char labels[kChoiceOptions][24];
  char message[256];
  char speaker[32];
};
static_assert(sizeof(ChoiceGroup) == 604, "choice group as saved");

// The script itself (its code, header and size) is CGameApp::script.
struct StoryState {
  uint32_t pc;
  int32_t frameCounter;  // frames the current instruction has run; 0 on its first
  uint32_t loadCount;    // scripts loaded so far: a new script is a move of PC
  char scriptName[32];
  char speakerName[32];
  int32_t readBlock;
  int32_t conditionFlag;
  uint16_t moveKind;
  uint32_t waitStart;  // NowMs at the first frame of a timed wait
  ChoiceGroup choice;
};

// The highlighted option of the shown choice and the one highlighted before
// (kNoChoiceOption = none).
extern int32_t g_ChoiceHighlight;
extern int32_t g_ChoicePrevious;

// What an opcode handler tells the frame loop.
enum StoryStep : int {
  STEP_CONTINUE = 0,  // run the next instruction in this frame
  STEP_YIELD = 1,     // the frame ends (counted, weather stepped)
  STEP_RETURN = 2,    // return at once: the frame is not counted
};

// Position after the first OP_TARGET whose id is targetId, scanning in
// instruction steps from start (the OP_JUMP_IF_FALSE itself); the end of the
// code when there is none.
uint32_t FindJumpTarget(CGameApp* app, int targetId, uint32_t start);

// One frame of one instruction; reads the instruction at app->story.pc.
using OpcodeHandler = int (*)(CGameApp* app);
// The interpreter's opcode table: an entry for every opcode that has a
// length, none for the others (the story stops on those).  Tests may replace
// entries and must put them back.
extern std::array<OpcodeHandler, 256> g_OpcodeHandlers;

// Instructions a frame may run before it yields, so that a loop of
// instructions that never yield cannot hold the program.
constexpr int kMaxContinuesPerFrame = 100000;

// The requests the story makes of the message window, the stage, the sound,
// the save and system data, the screen effects, the weather and the screens,
// in one table.  Production entries call the topics' operations; tests put
// recorders in their place and restore the table afterwards.
struct StoryCalls {
  BYTE* (*readScript)(CGameApp* app, const char* entryName, DWORD* size);
  void (*showMessageWindow)(CGameApp* app, int on);
  void (*setSpeakerName)(CGameApp* app, const char* name);
  int (*showMessageText)(CGameApp* app, const char* text);
  int (*waitTextPage)(CGameApp* app);
  void (*reshowMessage)(CGameApp* app, int on, const char* name, const char* text);
  void (*showBackground)(CGameApp* app, const char* name);
  void (*showScrollBackground)(CGameApp* app, const char* name);
  void (*applyViewport)(CGameApp* app);
  void (*showCharacter)(CGameApp* app, int slot, const char* name);
  void (*showLayer)(CGameApp* app, int slot, const char* name);
  int (*moveCharacter)(CGameApp* app, int slot, int x, int y);
  int (*moveBackground)(CGameApp* app, int x, int y, int mode);
  void (*playMovie)(CGameApp* app, const char* name);
  void (*playBgm)(CGameApp* app, int word);
  void (*playSe)(CGameApp* app, int number, int loop);
  void (*playVoice)(CGameApp* app, const char* name, int force);
  void (*stopChannel)(CGameApp* app, int channel);
  void (*snapshotSaveState)(CGameApp* app);
  int (*addSeenName)(CGameApp* app, int list, const char* name);
  void (*setReadFlag)(CGameApp* app, const char* scriptName, int block);
  int (*crossFade)(CGameApp* app, int ms);
  int (*fadeFromBlack)(CGameApp* app, int ms);
  int (*whiteFlash)(CGameApp* app, int kind);
  int (*shakeScreen)(CGameApp* app, int direction, int swings);
  int (*maskWipe)(CGameApp* app, int kind, int ms);
  int (*ruleTransition)(CGameApp* app, int kind, int ms);
  void (*startParticles)(CGameApp* app, int kind, int maximum, int windDirection, int windSpeed, int strength);
  void (*stopParticles)(CGameApp* app);
  void (*stepParticles)(CGameApp* app);
  int (*hitTest)(CGameApp* app, int x, int y, int w, int h);
  void (*openQuickOption)(CGameApp* app);
  void (*buildAlarmScreen)(CGameApp* app);
  int (*runEndingSlides)(CGameApp* app, int set);
  int (*runEndingRoll)(CGameApp* app, int variant);
  // The script entry read gave no code (missing, unreadable or not a script).
  void (*scriptNotLoaded)(CGameApp* app, const char* entryName);
};
extern StoryCalls g_StoryCalls;
