// The story interpreter: one frame of the current script per call, the
// opcode table and its handlers, choices, waits, transitions and the change
// of script.
#include "player/scenario/story.h"

#include <array>
#include <cstring>

#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/sprite.h"
#include "player/core/text_window.h"
#include "player/scenario/script_file.h"
#include "player/scenario/story_tables.h"
#include "player/core/input.h"

int32_t g_ChoiceHighlight = kNoChoiceOption;
int32_t g_ChoicePrevious = kNoChoiceOption;

namespace {

constexpr int kCharacterFadeMs = 350;
constexpr int kTransitionMs = 1000;
constexpr int kSpriteChoiceFirst = 480;  // plate 480 + 2i, text 481 + 2i
constexpr int kSpriteChoiceHighlight = 489;
constexpr int kChoiceRowWidth = 480;
constexpr int kChoiceRowHeight = 40;
constexpr int kChoiceTextSize = 28;
constexpr uint32_t kWhite = 0xFFFFFF;
const char kHeroName[] = "\x83\x51\x83\x43\x83\x8D\x83\x93";  // ゲイロン

// Layouts {x, first row y, unused, row step} by option count; one option
// takes the two-option layout.
constexpr int32_t kChoiceLayouts[kChoiceOptions + 1][4] = {
    {0, 0, 0, 0}, {160, 224, 0, 56}, {160, 224, 0, 56}, {160, 200, 0, 56}, {160, 168, 0, 56}};

// ---- Reading the current instruction ---------------------------------------

const CScriptFile& Script(CGameApp* app) { return app->script; }
uint32_t Pc(CGameApp* app) { return app->story.pc; }
uint32_t Next(CGameApp* app) { return app->script.NextInstruction(app->story.pc); }
int FirstFrame(CGameApp* app) { return app->story.frameCounter == 0; }
uint8_t Byte(CGameApp* app, uint32_t i) { return Script(app).ByteAt(Pc(app), i); }
uint16_t Word(CGameApp* app, uint32_t k) { return Script(app).WordAt(Pc(app), k); }
int16_t SignedWord(CGameApp* app, uint32_t k) { return Script(app).SignedWordAt(Pc(app), k); }
const char* String(CGameApp* app) { return Script(app).StringAt(Pc(app)); }
int OpcodeAt(CGameApp* app, uint32_t pos) { return Script(app).Opcode(pos); }

// The story stops where nothing can be run: PC at the end of the code, where
// every frame yields as on OP_END.
void StopStory(CGameApp* app) { app->story.pc = app->script.CodeSize(); }

int WindowShown(CGameApp* app) { return app->message.windowShown; }

// Closes the window for an instruction that runs with it closed: 1 when it
// closed, and the instruction then returns at once, to run in the next frame.
int CloseWindowFirst(CGameApp* app) {
  g_StoryCalls.showMessageWindow(app, 0);
  return !WindowShown(app);
}

// ---- Variables ------------------------------------------------------------

// Variable number bank x 256 + index in 32 bits; above 65,535 it names none.
int VariableNumber(uint32_t bank, uint32_t index, uint32_t* number) {
  const uint32_t n = bank * 256u + index;
  if (n >= uint32_t(kScriptVariables)) return 0;
  *number = n;
  return 1;
}

// The operand of OP_VAR_OP and OP_VAR_CMP: the constant c (not sign-extended)
// for modes 0-15, variable c from mode 16 on.
int32_t VarOperand(uint16_t c, uint16_t mode) { return mode >= 16 ? int32_t(g_ScriptVariables[c]) : int32_t(c); }

// ---- Opcode handlers ------------------------------------------------------

int OpEnd(CGameApp*) { return STEP_YIELD; }

int OpNop(CGameApp* app) {
  app->story.pc = Next(app);
  return STEP_CONTINUE;
}

int OpJumpIfFalse(CGameApp* app) {
  if (app->story.conditionFlag != 0) return OpNop(app);
  app->story.pc = FindJumpTarget(app, Byte(app, 1), Pc(app));  // a miss stops the story
  return STEP_CONTINUE;
}

int OpReadBlock(CGameApp* app) {
  g_StoryCalls.setReadFlag(app, app->story.scriptName, app->story.readBlock);
  app->story.readBlock = Word(app, 0);
  return OpNop(app);
}

int OpSetMoveKind(CGameApp* app) {
  app->story.moveKind = Word(app, 0);
  return OpNop(app);
}

int OpPlaySe(CGameApp* app) {
  g_StoryCalls.playSe(app, Byte(app, 1), Byte(app, 2) != 0);
  return OpNop(app);
}

int OpPlayBgm(CGameApp* app) {
  g_StoryCalls.playBgm(app, Word(app, 0));
  return OpNop(app);
}

int OpWaitPage(CGameApp* app) {
  if (g_StoryCalls.waitTextPage(app)) app->story.pc = Next(app);
  return STEP_YIELD;
}

int OpClearChoices(CGameApp* app) {
  ChoiceGroup& c = app->story.choice;
  c.listFlag = 1;
  c.optionCount = 0;
  for (auto& label : c.labels) label[0] = 0;
  return OpNop(app);
}

// The message on show stays on show while choosing and is saved with the
// list, so it joins the list before the snapshot; a choice restored from a
// save has no message on show and keeps the saved one.
void RememberChoiceMessage(CGameApp* app) {
  ChoiceGroup& c = app->story.choice;
  if (!app->message.text[0]) return;
  CopySjisBounded(c.message, sizeof c.message, app->message.text);
  CopySjisBounded(c.speaker, sizeof c.speaker, app->message.speaker);
}

int OpChoice(CGameApp* app) {
  if (FirstFrame(app)) {
    RememberChoiceMessage(app);
    g_StoryCalls.snapshotSaveState(app);
  }
  if (app->RunChoice()) {
    const ChoiceGroup& c = app->story.choice;
    uint32_t pos = 0;
    if (c.chosen >= 0 && c.chosen < kChoiceOptions && Script(app).FindLabel(c.labels[c.chosen], &pos))
      app->story.pc = pos;
    else
      StopStory(app);
  }
  return STEP_YIELD;
}

int OpTransition(CGameApp* app) {
  int hidden = 0;
  if (app->RunTransition(Word(app, 0), &hidden)) app->story.pc = Next(app);
  return hidden ? STEP_RETURN : STEP_YIELD;
}

int OpStopBgm(CGameApp* app) {
  g_StoryCalls.stopChannel(app, kChannelMusic);
  app->sound.currentTrack = -1;
  app->sound.trackMode = 0;
  g_StoryCalls.stopParticles(app);
  return OpNop(app);
}

int OpWait(CGameApp* app) {
  if (app->WaitTenths(Word(app, 0), 0)) app->story.pc = Next(app);
  return STEP_YIELD;
}

int OpMove(CGameApp* app) {
  if (FirstFrame(app)) g_StoryCalls.stopParticles(app);
  if (Word(app, 0) != 0 || app->story.moveKind > 1) return OpNop(app);
  if (WindowShown(app)) g_StoryCalls.showMessageWindow(app, 0);
  g_StoryCalls.snapshotSaveState(app);
  app->phase = 0;
  if (app->story.moveKind == 0) {
    app->gameMode = MODE_MAP;
    app->story.pc = Next(app);
    if (OpcodeAt(app, app->story.pc) == OP_PLAY_BGM && Script(app).InstructionLength(app->story.pc))
      app->story.pc = Next(app);
    app->story.frameCounter = 0;  // the story resumes on a new instruction
  } else {
    g_StoryCalls.buildAlarmScreen(app);
    app->gameMode = MODE_ALARM;
  }
  return STEP_RETURN;
}

int OpEnding(CGameApp* app) {
  const int kind = Word(app, 0) & 0xFF;
  const int which = Word(app, 0) >> 8;
  if (kind != 10 && kind != 12) return OpNop(app);
  if (WindowShown(app)) g_StoryCalls.showMessageWindow(app, 0);
  const int done = kind == 10 ? g_StoryCalls.runEndingSlides(app, which) : g_StoryCalls.runEndingRoll(app, which);
  if (done) app->story.pc = Next(app);
  return STEP_YIELD;
}

int OpRandom(CGameApp* app) {
  const uint16_t n = Word(app, 0);
  if (n != 0) g_ScriptVariables[kVarRandom] = int16_t(CeRand() % n);
  return OpNop(app);
}

int OpWeather(CGameApp* app) {
  const int kind = Byte(app, 1);
  const int strength = Byte(app, 2);
  const int sacra = app->settings.sacraMode != 0;
  if (kind == 1 || (kind >= 3 && kind <= 6)) app->weather.strength = (5 - strength) * 4;
  if (kind == 1 || kind == 3) {
    if (sacra)
      g_StoryCalls.startParticles(app, kind, 32, kind == 1 ? 180 : 150, 256, app->weather.strength);
    else
      app->weather.kind = 1;
  } else if (kind >= 4 && kind <= 6) {
    if (sacra && app->weather.kind == 0)
      g_StoryCalls.startParticles(app, kind, 32, 180, 256, app->weather.strength);
    else if (!sacra)
      app->weather.kind = 1;
  } else {
    g_StoryCalls.stopParticles(app);
  }
  return OpNop(app);
}

// Copies the instruction's string operand into a name buffer of the given
// capacity (a picture, layer, voice, script or movie name, a choice label),
// cut at a whole Shift-JIS character when it is longer.
void CopyName(CGameApp* app, char* dst, size_t capacity) { CopySjisBounded(dst, capacity, String(app)); }

int OpBackground(CGameApp* app) {
  if (WindowShown(app)) {
    const uint32_t next = Next(app);
    const int op = OpcodeAt(app, next);
    const int closes = op == OP_TRANSITION || op == OP_CHARACTER || op == OP_CHARACTER_LAYER ||
                       op == OP_CHARACTER_POS ||
                       (op == OP_BACKGROUND_MOVE && OpcodeAt(app, Script(app).NextInstruction(next)) == OP_TRANSITION);
    if (closes && CloseWindowFirst(app)) return STEP_RETURN;
  }
  char name[32];
  CopyName(app, name, sizeof name);
  g_StoryCalls.showBackground(app, name);
  return OpNop(app);
}

int OpScrollBackground(CGameApp* app) {
  char name[128];
  CopyName(app, name, sizeof name);
  g_StoryCalls.showScrollBackground(app, name);
  return OpNop(app);
}

// The cross-fade of a character that has no transition of its own after it.
int FadeCharacter(CGameApp* app) {
  if (g_StoryCalls.crossFade(app, kCharacterFadeMs)) app->story.pc = Next(app);
  return STEP_YIELD;
}

int TransitionWord(CGameApp* app, uint32_t pos) { return Script(app).WordAt(pos, 0); }

int OpCharacter(CGameApp* app) {
  const CScriptFile& s = Script(app);
  const uint32_t next = Next(app);
  const int nextOp = OpcodeAt(app, next);
  if (nextOp == OP_TRANSITION && TransitionWord(app, next) == 2) {
    app->story.pc = next;
    return STEP_CONTINUE;
  }
  if (nextOp == OP_CHARACTER2 && s.InstructionLength(next)) {
    const uint32_t after = s.NextInstruction(next);
    const int afterOp = OpcodeAt(app, after);
    if (afterOp == OP_TRANSITION && TransitionWord(app, after) == 2) {
      app->story.pc = after;
      return STEP_CONTINUE;
    }
    if (afterOp == OP_BACKGROUND && WindowShown(app) && CloseWindowFirst(app)) return STEP_RETURN;
  }
  if (FirstFrame(app)) {
    char name[32];
    CopyName(app, name, sizeof name);
    g_StoryCalls.showCharacter(app, 0, name);
  }
  if (nextOp == OP_CHARACTER2 || nextOp == OP_BACKGROUND || nextOp == OP_TRANSITION) {
    app->story.pc = next;
    return STEP_CONTINUE;
  }
  return FadeCharacter(app);
}

int OpCharacter2(CGameApp* app) {
  const uint32_t next = Next(app);
  const int nextOp = OpcodeAt(app, next);
  if (WindowShown(app) &&
      ((nextOp == OP_TRANSITION && (TransitionWord(app, next) & 0xFF) < 3) || nextOp == OP_BACKGROUND) &&
      CloseWindowFirst(app))
    return STEP_RETURN;
  if (FirstFrame(app)) {
    char name[32];
    CopyName(app, name, sizeof name);
    g_StoryCalls.showCharacter(app, 1, name);
  }
  if (nextOp == OP_BACKGROUND || nextOp == OP_TRANSITION) {
    app->story.pc = next;
    return STEP_CONTINUE;
  }
  return FadeCharacter(app);
}

int OpCharacterLayer(CGameApp* app) {
  char name[32];
  CopyName(app, name, sizeof name);
  g_StoryCalls.showLayer(app, 0, name);
  const uint32_t next = Next(app);
  app->story.pc = next;
  if (OpcodeAt(app, next) == OP_CHARACTER2 && Script(app).InstructionLength(next)) {
    CopySjisBounded(name, sizeof name, Script(app).StringAt(next));
    g_StoryCalls.showLayer(app, 1, name);
    app->story.pc = Script(app).NextInstruction(next);
  }
  return STEP_CONTINUE;
}

int OpVoice(CGameApp* app) {
  char name[64];
  CopyName(app, name, sizeof name);
  g_StoryCalls.playVoice(app, name, 0);
  return OpNop(app);
}

// OP_JUMP_SCRIPT: the replacement chain of MANA_FULL_CUT, the read flag of
// the current block, then the special names or the next script.
void ChangeScript(CGameApp* app, char* name, size_t capacity) {
  if (app->settings.mannerFullCut) {
    for (const ScriptReplacement& pair : g_ScriptReplacements) {
      if (SjisEqual(pair.from, name)) {
        g_StoryCalls.addSeenName(app, kSeenListB, name);
        CopySjisBounded(name, capacity, pair.to);
      }
    }
  }
  g_StoryCalls.setReadFlag(app, app->story.scriptName, app->story.readBlock);
  if (SjisEqual(name, "title_main")) {
    app->LeaveGame();
  } else if (SjisEqual(name, "SC_END")) {
    app->LeaveGame();
    app->gameMode = MODE_SCENE_REPLAY;
    app->phase = 0;
  } else if (SjisEqual(name, "kimo_lup") || SjisEqual(name, "kimo_brs")) {
    // The mini game covers the screen with its own pictures: the message
    // window closes, as before the map, until the next message opens it; a
    // save made before then keeps it closed.
    if (WindowShown(app)) g_StoryCalls.showMessageWindow(app, 0);
    app->saveState.windowShown = 0;
    g_ScriptVariables[kVarMiniGameKind] = SjisEqual(name, "kimo_brs") ? 1 : 0;
    app->gameMode = MODE_MINIGAME;
    app->phase = 0;
  } else {
    app->LoadScript(name);
  }
}

int OpJumpScript(CGameApp* app) {
  char name[32];
  CopyName(app, name, sizeof name);
  ChangeScript(app, name, sizeof name);
  return STEP_YIELD;
}

int OpMovie(CGameApp* app) {
  char name[64];
  CopyName(app, name, sizeof name);
  app->story.pc = Next(app);
  g_StoryCalls.playMovie(app, name);
  return STEP_YIELD;
}

int OpGotoLabel(CGameApp* app) {
  uint32_t pos = 0;
  if (Script(app).FindLabel(String(app), &pos))
    app->story.pc = pos;
  else
    StopStory(app);
  return STEP_CONTINUE;
}

int OpChoiceLabel(CGameApp* app) {
  ChoiceGroup& c = app->story.choice;
  if (c.optionCount >= 0 && c.optionCount < kChoiceOptions) CopyName(app, c.labels[c.optionCount], sizeof c.labels[0]);
  return OpNop(app);
}

// OP_SPEAKER and OP_MESSAGE open the message window first, in a frame of
// its own that is not counted (a window that stays closed does not hold
// the story).
int OpensWindow(CGameApp* app) {
  if (FirstFrame(app) && !WindowShown(app)) {
    g_StoryCalls.showMessageWindow(app, 1);
    return WindowShown(app);
  }
  return 0;
}

int OpSpeaker(CGameApp* app) {
  if (OpensWindow(app)) return STEP_RETURN;
  char name[32];
  if (Script(app).InstructionLength(Pc(app)) == 4 && Byte(app, 1) == kSpeakerHeroByte)
    CopySjisBounded(name, sizeof name, kHeroName);
  else
    DecodeText(name, sizeof name, String(app), 0);
  CopySjisBounded(app->story.speakerName, sizeof app->story.speakerName, name);
  app->story.pc = Next(app);
  if (!app->story.choice.listFlag) g_StoryCalls.setSpeakerName(app, name);
  return STEP_CONTINUE;
}

int OpMessage(CGameApp* app) {
  if (OpensWindow(app)) return STEP_RETURN;
  char text[256];
  CopyShiftedText(text, sizeof text, String(app));
  if (g_StoryCalls.showMessageText(app, text)) app->story.pc = Next(app);
  return STEP_YIELD;
}

int OpChoiceText(CGameApp* app) {
  ChoiceGroup& c = app->story.choice;
  if (c.optionCount >= 0 && c.optionCount < kChoiceOptions) {
    DecodeText(c.texts[c.optionCount], sizeof c.texts[0], String(app), 0);
    ++c.optionCount;
  }
  return OpNop(app);
}

int OpScrollTo(CGameApp* app) {
  StageState& st = app->stage;
  st.scrollX = SignedWord(app, 0) - st.originX;
  st.scrollY = SignedWord(app, 1) - st.originY;
  g_StoryCalls.applyViewport(app);
  return OpNop(app);
}

int OpViewport(CGameApp* app) {
  StageState& st = app->stage;
  st.viewportX = SignedWord(app, 0);
  st.viewportY = SignedWord(app, 1);
  st.originX = SignedWord(app, 2);
  st.originY = SignedWord(app, 3);
  return OpNop(app);
}

int OpVarOp(CGameApp* app) {
  const uint16_t mode = Word(app, 3);
  uint32_t n = 0;
  if (VariableNumber(Word(app, 0), Word(app, 1), &n)) {
    const int64_t target = g_ScriptVariables[n];
    const int64_t operand = VarOperand(Word(app, 2), mode);
    int64_t result = target;
    switch (mode & 15) {
      case 0:
        result = operand;
        break;
      case 1:
        result = target + operand;
        break;
      case 2:
        result = target - operand;
        break;
      case 3:
        result = target * operand;
        break;
      case 4:
        result = operand == 0 ? 0 : target / operand;
        break;
      default:
        break;
    }
    g_ScriptVariables[n] = int16_t(uint16_t(uint64_t(result) & 0xFFFF));
  }
  return OpNop(app);
}

int OpVarCopy(CGameApp* app) {
  uint32_t to = 0, from = 0;
  if (VariableNumber(Word(app, 0), Word(app, 1), &to) && VariableNumber(Word(app, 2), Word(app, 3), &from))
    g_ScriptVariables[to] = g_ScriptVariables[from];
  return OpNop(app);
}

int OpVarCmp(CGameApp* app) {
  const uint16_t mode = Word(app, 3);
  uint32_t n = 0;
  if (VariableNumber(Word(app, 0), Word(app, 1), &n)) {
    const int32_t target = g_ScriptVariables[n];
    const int32_t operand = VarOperand(Word(app, 2), mode);
    int result = -1;
    switch (mode & 15) {
      case 0:
        result = target == operand;
        break;
      case 1:
        result = target != operand;
        break;
      case 2:
        result = target > operand;
        break;
      case 3:
        result = target < operand;
        break;
      case 4:
        result = target >= operand;
        break;
      case 5:
        result = target <= operand;
        break;
      default:
        break;
    }
    if (result >= 0) app->story.conditionFlag = result;
  }
  return OpNop(app);
}

int OpBackgroundMove(CGameApp* app) {
  const int mode = Word(app, 2);
  if (FirstFrame(app) && WindowShown(app) && mode == 0 && CloseWindowFirst(app)) return STEP_RETURN;
  if (g_StoryCalls.moveBackground(app, SignedWord(app, 0), SignedWord(app, 1), mode)) app->story.pc = Next(app);
  return mode == 1 ? STEP_CONTINUE : STEP_YIELD;
}

int OpCharacterPos(CGameApp* app) {
  CharacterSlot* c = app->stage.characters;
  c[0].homeX = SignedWord(app, 0);
  c[0].homeY = SignedWord(app, 1);
  c[1].homeX = SignedWord(app, 2);
  c[1].homeY = SignedWord(app, 3);
  return OpNop(app);
}

int OpCharacterMove(CGameApp* app) {
  const int slot = Word(app, 2);
  // Only character slots 0 and 1 exist; another slot number glides nothing.
  if (slot > 1 || g_StoryCalls.moveCharacter(app, slot, SignedWord(app, 0), SignedWord(app, 1)))
    app->story.pc = Next(app);
  return STEP_YIELD;
}

struct OpcodeRow {
  uint8_t opcode;
  OpcodeHandler handler;
};

// Every opcode that has a length.  Opcodes 10, 19, 78 and 79 have lengths
// but no effect: the story stops on them as on OP_END.
constexpr OpcodeRow kOpcodeRows[] = {
    {OP_END, OpEnd},
    {OP_JUMP_IF_FALSE, OpJumpIfFalse},
    {OP_READ_BLOCK, OpReadBlock},
    {OP_SET_MOVE_KIND, OpSetMoveKind},
    {OP_PLAY_SE, OpPlaySe},
    {OP_PLAY_BGM, OpPlayBgm},
    {OP_WAIT_PAGE, OpWaitPage},
    {OP_CLEAR_CHOICES, OpClearChoices},
    {OP_CHOICE, OpChoice},
    {10, OpEnd},
    {OP_TRANSITION, OpTransition},
    {OP_STOP_BGM, OpStopBgm},
    {OP_WAIT, OpWait},
    {19, OpEnd},
    {21, OpNop},
    {OP_MOVE, OpMove},
    {26, OpNop},
    {OP_ENDING, OpEnding},
    {OP_TARGET, OpNop},
    {33, OpNop},
    {OP_RANDOM, OpRandom},
    {OP_WEATHER, OpWeather},
    {OP_BACKGROUND, OpBackground},
    {OP_SCROLL_BACKGROUND, OpScrollBackground},
    {47, OpNop},
    {48, OpNop},
    {OP_LABEL, OpNop},
    {OP_CHARACTER, OpCharacter},
    {OP_CHARACTER_LAYER, OpCharacterLayer},
    {OP_VOICE, OpVoice},
    {OP_JUMP_SCRIPT, OpJumpScript},
    {OP_MOVIE, OpMovie},
    {OP_GOTO_LABEL, OpGotoLabel},
    {59, OpNop},
    {60, OpNop},
    {OP_CHOICE_LABEL, OpChoiceLabel},
    {OP_CHARACTER2, OpCharacter2},
    {OP_SPEAKER, OpSpeaker},
    {OP_MESSAGE, OpMessage},
    {OP_CHOICE_TEXT, OpChoiceText},
    {78, OpEnd},
    {79, OpEnd},
    {OP_SCROLL_TO, OpScrollTo},
    {OP_VIEWPORT, OpViewport},
    {OP_VAR_OP, OpVarOp},
    {OP_VAR_COPY, OpVarCopy},
    {90, OpNop},
    {OP_VAR_CMP, OpVarCmp},
    {OP_BACKGROUND_MOVE, OpBackgroundMove},
    {OP_CHARACTER_POS, OpCharacterPos},
    {OP_CHARACTER_MOVE, OpCharacterMove},
    {99, OpNop},
};

constexpr std::array<OpcodeHandler, 256> BuildOpcodeTable() {
  std::array<OpcodeHandler, 256> t{};
  for (const OpcodeRow& r : kOpcodeRows) t[r.opcode] = r.handler;
  return t;
}

// ---- Choices ----------------------------------------------------------------

int ChoiceCount(const ChoiceGroup& c) {
  return c.optionCount < 0 ? 0 : (c.optionCount > kChoiceOptions ? kChoiceOptions : c.optionCount);
}

int ChoiceRowY(const ChoiceGroup& c, int i) { return c.layout[1] + c.layout[3] * i; }

void ShowChoiceList(CGameApp* app) {
  ChoiceGroup& c = app->story.choice;
  const int count = ChoiceCount(c);
  std::memcpy(c.layout, kChoiceLayouts[count], sizeof c.layout);
  app->CreateAlphaPicture(kSlotChoiceTexts, 800, 240);
  for (int i = 0; i < count; ++i) {
    const int x = c.layout[0];
    const int y = ChoiceRowY(c, i);
    app->MakePictureSprite(kSpriteChoiceFirst + 2 * i, kSlotMessageWindow, 0, 378, kChoiceRowWidth, kChoiceRowHeight, x,
                           y, 0, 0, 12);
    if (CSprite* plate = app->sprites[kSpriteChoiceFirst + 2 * i]) plate->SetLevel(128);
    if (app->textWindow && app->pictures[kSlotChoiceTexts])
      app->textWindow->DrawString(app->pictures[kSlotChoiceTexts], c.texts[i], kChoiceTextSize, 0, kWhite, 0, 32 * i,
                                  app->settings.antialiasLevel, app->settings.messageShadow);
    const int width = int(StrLength(c.texts[i]) / 2) * kChoiceTextSize;
    app->MakePictureSprite(kSpriteChoiceFirst + 2 * i + 1, kSlotChoiceTexts, 0, 32 * i, width, kChoiceTextSize, x + 48,
                           y + 6, 0, 0, 11);
  }
}

}  // namespace

std::array<OpcodeHandler, 256> g_OpcodeHandlers = BuildOpcodeTable();

int CGameApp::RunChoice() {
  ChoiceGroup& c = story.choice;
  const int count = ChoiceCount(c);
  if (story.frameCounter == 0) {
    if (count > 0) ShowChoiceList(this);
    g_StoryCalls.reshowMessage(this, 1, c.speaker, c.message);
    g_ChoiceHighlight = g_ChoicePrevious = kNoChoiceOption;
    return 0;
  }
  if (input.count[IN_KEY_A] == 1) {
    input.count[IN_KEY_A] = 0;
    g_StoryCalls.openQuickOption(this);
    return 0;
  }
  const int taking = input.tap || input.count[IN_KEY_C] == 1 || input.count[IN_RIGHT] == 1;
  if (count == 0) {
    // Nothing to highlight or take: the keys and taps are only consumed.
    input.tap = 0;
    input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
    return 0;
  }
  const int before = g_ChoiceHighlight;
  int highlight = before;
  // A direction key is consumed by its step, so a held key moves once: its
  // count stays 1 until it is released.
  if (TakeFreshPress(&input, IN_UP))
    highlight = (highlight == kNoChoiceOption || highlight <= 0) ? count - 1 : highlight - 1;
  if (TakeFreshPress(&input, IN_DOWN)) highlight = (highlight == kNoChoiceOption) ? 0 : (highlight + 1) % count;
  if (input.tap) {
    highlight = kNoChoiceOption;
    for (int i = 0; i < count; ++i)
      if (g_StoryCalls.hitTest(this, c.layout[0], ChoiceRowY(c, i), kChoiceRowWidth, kChoiceRowHeight)) highlight = i;
  }
  if (highlight >= count && highlight != kNoChoiceOption) highlight = kNoChoiceOption;
  if (highlight != before) {
    DeleteSprite(kSpriteChoiceHighlight, 1);
    if (highlight != kNoChoiceOption)
      MakePictureSprite(kSpriteChoiceHighlight, kSlotMessageWindow, 0, 458, kChoiceRowWidth, kChoiceRowHeight,
                        c.layout[0], ChoiceRowY(c, highlight), 0, 0, 10);
    g_ChoicePrevious = before;
    g_ChoiceHighlight = highlight;
  }
  input.tap = 0;
  input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
  if (!taking || highlight != before || highlight == kNoChoiceOption) return 0;
  for (int n = kSpriteChoiceFirst; n < kSpriteChoiceFirst + 2 * kChoiceOptions; ++n) DeleteSprite(n, 1);
  DeleteSprite(kSpriteChoiceHighlight, 1);
  FreePictureSlot(kSlotChoiceTexts);
  c.listFlag = 0;
  c.chosen = highlight;
  g_StoryCalls.reshowMessage(this, 0, c.speaker, c.message);
  InvalidateVirtualRect(6, 380, 736, 208);
  return 1;
}

int CGameApp::WaitTenths(int tenths, int skippable) {
  if (story.frameCounter == 0) {
    story.waitStart = NowMs();
    return 0;
  }
  if (NowMs() - story.waitStart >= DWORD(tenths) * 100u) return 1;
  if (tenths >= 256 || skippable) {
    const int skip =
        input.tap || input.count[IN_KEY_C] || input.count[IN_RIGHT] || settings.skipRunning || input.count[IN_LEFT];
    if (skip) {
      input.tap = 0;
      input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
      return 1;
    }
  }
  return 0;
}

int CGameApp::RunTransition(uint16_t operand, int* windowJustHidden) {
  *windowJustHidden = 0;
  const int id = operand & 0xFF;
  const int parameter = operand >> 8;
  const int first = story.frameCounter == 0;
  switch (id) {
    case 0:
    case 1:
      if (first && message.windowShown) g_StoryCalls.showMessageWindow(this, 0);
      return g_StoryCalls.crossFade(this, kTransitionMs);
    case 2:
      if (first && message.windowShown) {
        g_StoryCalls.showMessageWindow(this, 0);
        *windowJustHidden = !message.windowShown;
        if (*windowJustHidden) return 0;
      }
      return g_StoryCalls.fadeFromBlack(this, kTransitionMs);
    case 3:
      return g_StoryCalls.whiteFlash(this, parameter);
    case 4:
      return g_StoryCalls.shakeScreen(this, 0, 2);
    case 6:
      return g_StoryCalls.shakeScreen(this, 1, 2);
    case 13:
      if (first && message.windowShown) g_StoryCalls.showMessageWindow(this, 0);
      return g_StoryCalls.maskWipe(this, parameter, kTransitionMs);
    case 14:
      if (first && message.windowShown) g_StoryCalls.showMessageWindow(this, 0);
      return parameter == 5 ? g_StoryCalls.ruleTransition(this, 2, 2000) : 1;
    default:
      return 1;
  }
}

int CGameApp::RunStory() {
  for (int continues = 0;; ++continues) {
    const uint32_t pc = story.pc;
    const uint32_t loads = story.loadCount;
    int step = STEP_YIELD;
    if (continues < kMaxContinuesPerFrame) {
      const int op = script.Opcode(pc);
      const OpcodeHandler handler = op < 0 ? nullptr : g_OpcodeHandlers[op];
      // Opcodes without an effect, and instructions that run past the end of
      // the code, stop the story where it stands.
      if (handler && script.InstructionLength(pc) != 0) step = handler(this);
    }
    if (step == STEP_RETURN) return 1;
    if (story.pc == pc && story.loadCount == loads) {
      if (story.frameCounter < INT32_MAX) ++story.frameCounter;
    } else {
      story.frameCounter = 0;
    }
    if (step == STEP_YIELD) {
      if (weather.kind > 0 && settings.sacraMode) g_StoryCalls.stepParticles(this);
      return 1;
    }
  }
}

uint32_t CGameApp::NextInstruction(uint32_t position) { return script.NextInstruction(position); }

uint32_t FindJumpTarget(CGameApp* app, int targetId, uint32_t start) {
  uint32_t pos = 0;
  return app->script.FindJumpTarget(uint8_t(targetId), start, &pos) ? pos : app->script.CodeSize();
}

uint32_t CGameApp::FindLabel(const char* name) {
  uint32_t pos = 0;
  return script.FindLabel(name, &pos) ? pos : script.CodeSize();
}

int CGameApp::LoadScript(const char* name) {
  char scriptName[32];
  CopySjisBounded(scriptName, sizeof scriptName, name);
  CopySjisBounded(story.scriptName, sizeof story.scriptName, scriptName);
  const char* slash = SjisFindLastChar(scriptName, '\\');
  const char* base = slash ? slash + 1 : scriptName;
  // AddSeenName answers 0 when the name was there already.
  const int seenBefore = g_StoryCalls.addSeenName(this, kSeenListB, base) == 0;
  g_StoryCalls.stopChannel(this, kChannelEffect);
  sound.currentEffect = -1;
  sound.effectLoop = 0;
  script.Free();
  ++story.loadCount;
  story.pc = 0;
  story.frameCounter = 0;
  char entry[64] = "AdvData\\mes\\";
  if (StrLength(entry) + StrLength(scriptName) + 4 < sizeof entry) {
    StrAppend(entry, scriptName);
    StrAppend(entry, ".mes");
    DWORD size = 0;
    BYTE* bytes = g_StoryCalls.readScript(this, entry, &size);
    if (bytes && script.Adopt(bytes, size)) {
      g_ScriptVariables[kVarScriptSeen] = int16_t(seenBefore);
      g_ScriptVariables[kVarTextCut] = int16_t(settings.textCutMode ? 1 : 0);
      return 1;
    }
    g_StoryCalls.scriptNotLoaded(this, entry);
  }
  // No code: the story stands still as on OP_END.
  return 0;
}
