// The story interpreter on assembled scripts, with its requests recorded:
// the calls of each frame, frames counted and not counted, the look-ahead
// rules, variables and conditions, choices, waits, the change of script and
// its special names, and the bounds on damaged scripts.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/scenario/script_file.h"
#include "player/scenario/story.h"
#include "player/scenario/story_tables.h"
#include "tests/story/assemble.h"
#include "tests/story/story_support.h"

using story_test::TheWorld;

namespace {

class StoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiClockUseFake(100000);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
    recording = new story_test::RecordingStory;
    app->gameMode = MODE_STORY;
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  void TearDown() override {
    delete recording;
    delete app;
    VelmiClockUseReal();
  }
  void AddScript(const std::string& name, const std::string& text) {
    TheWorld().scripts["AdvData\\mes\\" + name + ".mes"] = Assemble(text);
  }
  // Loads the script and forgets the calls of the load.
  void Start(const std::string& text, int windowShown = 0) {
    AddScript("s", text);
    ASSERT_EQ(app->LoadScript("s"), 1);
    app->message.windowShown = windowShown;
    app->settings.skipRunning = 0;
    TheWorld().log.clear();
  }
  // The calls of one frame, joined by " | ".
  std::string Frame() {
    TheWorld().log.clear();
    app->LatchInput();
    app->RunStory();
    // Keys are released after every frame.
    std::memset(app->input.count, 0, sizeof app->input.count);
    app->input.wentDown = 0;
    std::string s;
    for (const std::string& c : TheWorld().log) s += (s.empty() ? "" : " | ") + c;
    return s;
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }
  CGameApp* app = nullptr;
  story_test::RecordingStory* recording = nullptr;
};

TEST(OpcodeTable, AnEntryForEveryOpcodeWithALength) {
  for (int op = 0; op < 256; ++op) {
    const bool hasLength = GetOpcodeInfo(uint8_t(op)).form != OperandForm::NoLength;
    EXPECT_EQ(g_OpcodeHandlers[op] != nullptr, hasLength) << "opcode " << op;
  }
}

TEST_F(StoryTest, ContinuingInstructionsShareTheFrameOfTheNextYield) {
  TheWorld().framesToFinish["CrossFade"] = 2;
  TheWorld().framesToFinish["ShowMessageText"] = 2;
  Start(
      "OP_BACKGROUND \"bg\\\\room\"\n"
      "OP_CHARACTER \"ch_a\"\n"
      "OP_CHARACTER2 \"ch_b\"\n"
      "OP_TRANSITION 0\n"
      "OP_SPEAKER \"ヴェルミ\"\n"
      "OP_VOICE \"VOICE\\\\vlm\\\\v001\"\n"
      "OP_MESSAGE \"こんにちは\\n次\"\n"
      "OP_WAIT_PAGE 0\n"
      "OP_END\n");
  struct Step {
    const char* calls;
    int counter;  // frame counter after the frame
  } steps[] = {
      {"ShowBackground(bg\\room) | ShowCharacter(0,ch_a) | ShowCharacter(1,ch_b) | CrossFade(1000)", 1},
      {"CrossFade(1000)", 0},
      {"ShowMessageWindow(1)", 0},  // the window opens in a frame that is not counted
      {"SetSpeakerName(ヴェルミ) | PlayVoice(VOICE\\vlm\\v001,0) | ShowMessageText(こんにちは/次)", 1},
      {"ShowMessageText(こんにちは/次)", 0},
      {"WaitTextPage", 0},
      {"", 1},  // OP_END yields without a call
      {"", 2},
  };
  for (const Step& s : steps) {
    // The speaker and message are checked as decoded Shift-JIS, written here in UTF-8.
    std::string got = Frame();
    std::string want = s.calls;
    for (auto [utf8, sjis] : {std::pair<std::string, std::string>{"ヴェルミ", "\x83\x94\x83\x46\x83\x8B\x83\x7E"},
                              {"こんにちは/次", "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD/\x8E\x9F"}}) {
      for (size_t at; (at = want.find(utf8)) != std::string::npos;) want.replace(at, utf8.size(), sjis);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(app->story.frameCounter, s.counter) << want;
  }
}

TEST_F(StoryTest, LookAheadRules) {
  struct Case {
    const char* script;
    int windowShown;
    std::vector<std::string> frames;
  } cases[] = {
      // The background closes the window first before a transition, a character or a glide into a transition.
      {"OP_BACKGROUND \"b\"\nOP_TRANSITION 5\nOP_END", 1, {"ShowMessageWindow(0)", "ShowBackground(b)", ""}},
      {"OP_BACKGROUND \"b\"\nOP_BACKGROUND_MOVE 1 2 1 0\nOP_TRANSITION 5\nOP_END",
       1,
       {"ShowMessageWindow(0)", "ShowBackground(b) | MoveBackground(1,2,1)"}},
      {"OP_BACKGROUND \"b\"\nOP_CHARACTER_POS 0 0 0 0\nOP_END", 1, {"ShowMessageWindow(0)", "ShowBackground(b)"}},
      {"OP_BACKGROUND \"b\"\nOP_VOICE \"v\"\nOP_END", 1, {"ShowBackground(b) | PlayVoice(v,0)"}},
      // A character before transition 2 shows nothing; with a second character, both are passed over.
      {"OP_CHARACTER \"a\"\nOP_TRANSITION 2\nOP_END", 0, {"FadeFromBlack(1000)"}},
      {"OP_CHARACTER \"a\"\nOP_CHARACTER2 \"b\"\nOP_TRANSITION 2\nOP_END", 0, {"FadeFromBlack(1000)"}},
      {"OP_CHARACTER \"a\"\nOP_CHARACTER2 \"b\"\nOP_BACKGROUND \"c\"\nOP_END",
       1,
       {"ShowMessageWindow(0)", "ShowCharacter(0,a) | ShowCharacter(1,b) | ShowBackground(c)"}},
      // A character alone cross-fades for itself, once shown.
      {"OP_CHARACTER \"a\"\nOP_END", 0, {"ShowCharacter(0,a) | CrossFade(350)", ""}},
      {"OP_CHARACTER2 \"b\"\nOP_TRANSITION 1\nOP_END",
       1,
       {"ShowMessageWindow(0)", "ShowCharacter(1,b) | CrossFade(1000)"}},
      {"OP_CHARACTER2 \"b\"\nOP_TRANSITION 3\nOP_END", 1, {"ShowCharacter(1,b) | WhiteFlash(0)"}},
      // A layer takes the second character's name as the second layer.
      {"OP_CHARACTER_LAYER \"l0\"\nOP_CHARACTER2 \"l1\"\nOP_END", 0, {"ShowLayer(0,l0) | ShowLayer(1,l1)", ""}},
      {"OP_CHARACTER_LAYER \"l0\"\nOP_END", 0, {"ShowLayer(0,l0)"}},
      // A background glide of mode 0 closes the window first; mode 1 continues.
      {"OP_BACKGROUND_MOVE 5 6 0 0\nOP_END", 1, {"ShowMessageWindow(0)", "MoveBackground(5,6,0)", ""}},
      {"OP_BACKGROUND_MOVE 5 6 1 0\nOP_VOICE \"v\"\nOP_END", 1, {"MoveBackground(5,6,1) | PlayVoice(v,0)"}},
      // Transition 2 hides the window in a frame of its own.
      {"OP_TRANSITION 2\nOP_END", 1, {"ShowMessageWindow(0)", "FadeFromBlack(1000)"}},
      {"OP_TRANSITION 0x050E\nOP_END", 1, {"ShowMessageWindow(0) | RuleTransition(2,2000)"}},
      {"OP_TRANSITION 0x030D\nOP_END", 0, {"MaskWipe(3,1000)"}},
      {"OP_TRANSITION 4\nOP_TRANSITION 6\nOP_TRANSITION 9\nOP_VOICE \"v\"\nOP_END",
       0,
       {"ShakeScreen(0,2)", "ShakeScreen(1,2)", "", "PlayVoice(v,0)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    TearDown();
    SetUp();
    Start(c.script, c.windowShown);
    for (const std::string& want : c.frames) EXPECT_EQ(Frame(), want);
  }
}

TEST_F(StoryTest, VariablesAndConditions) {
  struct Case {
    const char* script;  // ends by setting the flag or leaving variables 1, 2, 3 (bank 0)
    int16_t v1, v2, v3;
    int flag;
  } cases[] = {
      {"OP_VAR_OP 0 1 7 0\nOP_VAR_OP 0 1 5 1\nOP_VAR_OP 0 1 2 2\nOP_VAR_OP 0 1 3 3\nOP_VAR_OP 0 1 4 4", 7, 0, 0, 0},
      // Division truncates toward zero, by a constant (mode 4) or by a variable (mode 20).
      {"OP_VAR_OP 0 1 -7 0\nOP_VAR_OP 0 2 2 0\nOP_VAR_OP 0 1 2 20", -3, 2, 0, 0},
      // Division by 0 stores 0; operations 5-15 do nothing; results wrap to 16 bits.
      {"OP_VAR_OP 0 1 9 0\nOP_VAR_OP 0 1 0 4\nOP_VAR_OP 0 2 9 0\nOP_VAR_OP 0 2 9 5\nOP_VAR_OP 0 3 32767 0\n"
       "OP_VAR_OP 0 3 1 1",
       0, 9, -32768, 0},
      // A constant above 32,767 is not sign-extended: -1 is not equal to 65,535, but is less.
      {"OP_VAR_OP 0 1 65535 0\nOP_VAR_CMP 0 1 65535 0", -1, 0, 0, 0},
      {"OP_VAR_OP 0 1 65535 0\nOP_VAR_CMP 0 1 65535 3", -1, 0, 0, 1},
      // Mode 16 and above compares with a variable (signed), named by number.
      {"OP_VAR_OP 0 1 -1 0\nOP_VAR_OP 0 2 65535 0\nOP_VAR_CMP 0 1 2 16", -1, -1, 0, 1},
      {"OP_VAR_OP 0 1 -5 0\nOP_VAR_OP 0 2 3 0\nOP_VAR_CMP 0 1 2 18", -5, 3, 0, 0},
      {"OP_VAR_OP 0 1 3 0\nOP_VAR_CMP 0 1 3 4\nOP_VAR_CMP 0 1 3 2", 3, 0, 0, 0},
      {"OP_VAR_OP 0 1 3 0\nOP_VAR_CMP 0 1 3 5", 3, 0, 0, 1},
      {"OP_VAR_OP 0 1 3 0\nOP_VAR_CMP 0 1 4 1", 3, 0, 0, 1},
      // Operations 6-15 leave the flag as it was.
      {"OP_VAR_CMP 0 1 0 0\nOP_VAR_CMP 0 1 5 6", 0, 0, 0, 1},
      // Bank x 256 + index above 65,535 names no variable: nothing happens.
      {"OP_VAR_CMP 0 1 0 0\nOP_VAR_OP 256 1 5 0\nOP_VAR_OP 255 256 5 0\nOP_VAR_COPY 0 1 256 0\nOP_VAR_CMP 300 0 9 0", 0,
       0, 0, 1},
      {"OP_VAR_OP 0 2 -9 0\nOP_VAR_COPY 0 1 0 2\nOP_VAR_COPY 0 3 0 1", -9, -9, -9, 0},
      // A conditional block: skipped when the flag is 0, entered when 1.
      {"OP_VAR_CMP 0 1 1 0\nOP_JUMP_IF_FALSE 4 0\nOP_VAR_OP 0 2 1 0\nOP_TARGET 0 4\nOP_VAR_OP 0 3 1 0", 0, 0, 1, 0},
      {"OP_VAR_CMP 0 1 0 0\nOP_JUMP_IF_FALSE 4 0\nOP_VAR_OP 0 2 1 0\nOP_TARGET 0 4\nOP_VAR_OP 0 3 1 0", 0, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    app->story.conditionFlag = 0;
    Start(std::string(c.script) + "\nOP_END");
    Frame();
    EXPECT_EQ(g_ScriptVariables[1], c.v1);
    EXPECT_EQ(g_ScriptVariables[2], c.v2);
    EXPECT_EQ(g_ScriptVariables[3], c.v3);
    EXPECT_EQ(app->story.conditionFlag, c.flag);
    EXPECT_EQ(app->script.Opcode(app->story.pc), OP_END);
  }
  // The last variable is reachable; the persistent banks too.
  Start("OP_VAR_OP 255 255 12 0\nOP_VAR_COPY 99 0 255 255\nOP_END");
  Frame();
  EXPECT_EQ(g_ScriptVariables[65535], 12);
  EXPECT_EQ(g_ScriptVariables[99 * 256], 12);
}

TEST_F(StoryTest, RandomNumbers) {
  g_ScriptVariables[kVarRandom] = 1234;
  Start("OP_RANDOM 0\nOP_END");
  Frame();
  EXPECT_EQ(g_ScriptVariables[kVarRandom], 1234);  // n = 0 leaves the variable
  CeSrand(7);
  const int r = CeRand();
  CeSrand(7);
  Start("OP_RANDOM 10\nOP_END");
  Frame();
  EXPECT_EQ(g_ScriptVariables[kVarRandom], r % 10);
}

class ChoiceTest : public StoryTest {
 protected:
  // A choice of `count` options, each label jumping to a line that sets variable 1.
  void StartChoice(int count) {
    std::string s = "OP_CLEAR_CHOICES 0\n";
    for (int i = 0; i < count; ++i)
      s += "OP_CHOICE_LABEL \"L" + std::to_string(i) + "\"\nOP_CHOICE_TEXT \"選択" + std::to_string(i) + "\"\n";
    s += "OP_CHOICE 0\nOP_END\n";
    for (int i = 0; i < count; ++i)
      s += "OP_LABEL \"l" + std::to_string(i) + "\"\nOP_VAR_OP 0 1 " + std::to_string(i + 1) + " 0\nOP_END\n";
    Start(s, 1);
  }
  void Tap(int x, int y) {
    app->input.wentDown = 1;
    app->input.stylusX = uint32_t(x);
    app->input.stylusY = uint32_t(y);
  }
  void Key(int counter) { app->input.count[counter] = 1; }
};

TEST_F(ChoiceTest, ByKeyAndByTwoTaps) {
  StartChoice(3);
  EXPECT_EQ(Frame(), "SnapshotSaveState | ReshowMessage(1,,)");
  EXPECT_EQ(app->story.choice.optionCount, 3);
  EXPECT_EQ(app->story.choice.layout[1], 200);
  EXPECT_EQ(g_ChoiceHighlight, kNoChoiceOption);
  Key(IN_UP);  // from none to the last
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, 2);
  Key(IN_DOWN);  // wraps to the first
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, 0);
  Key(IN_DOWN);
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, 1);
  Key(IN_KEY_C);
  EXPECT_EQ(Frame(), "ReshowMessage(0,,)");
  EXPECT_EQ(app->story.choice.chosen, 1);
  EXPECT_EQ(app->story.choice.listFlag, 0);
  Frame();
  EXPECT_EQ(g_ScriptVariables[1], 2);

  // A tap on a row that is not highlighted only highlights it; a second tap takes it.
  StartChoice(2);
  Frame();
  Tap(300, 224 + 56 + 10);  // second row of the two-option layout
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, 1);
  EXPECT_EQ(app->story.choice.listFlag, 1);
  Tap(300, 224 + 10);  // first row: highlighted, not taken
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, 0);
  EXPECT_EQ(app->story.choice.listFlag, 1);
  Tap(300, 224 + 10);
  Frame();
  EXPECT_EQ(app->story.choice.chosen, 0);
  Frame();
  EXPECT_EQ(g_ScriptVariables[1], 1);

  // KEY_A opens the quick option menu and takes nothing.
  StartChoice(2);
  Frame();
  Key(IN_KEY_A);
  EXPECT_EQ(Frame(), "OpenQuickOption");
}

TEST_F(ChoiceTest, LayoutsAndOptionCounts) {
  struct Case {
    int options;
    int kept;  // options in the list
    int firstY;
  } cases[] = {{1, 1, 224}, {2, 2, 224}, {3, 3, 200}, {4, 4, 168}, {6, 4, 168}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    StartChoice(c.options);
    Frame();
    EXPECT_EQ(app->story.choice.optionCount, c.kept);
    EXPECT_EQ(app->story.choice.layout[0], 160);
    EXPECT_EQ(app->story.choice.layout[1], c.firstY);
    EXPECT_EQ(app->story.choice.layout[3], 56);
    // The last kept option is reachable with UP from none and is taken.
    Key(IN_UP);
    Frame();
    EXPECT_EQ(g_ChoiceHighlight, c.kept - 1);
    Key(IN_RIGHT);
    Frame();
    Frame();
    EXPECT_EQ(g_ScriptVariables[1], c.kept);
  }
}

TEST_F(ChoiceTest, NoOptionsIgnoresKeysAndTaps) {
  StartChoice(0);
  Frame();
  for (int counter : {IN_UP, IN_DOWN, IN_KEY_C, IN_RIGHT}) {
    Key(counter);
    Frame();
    EXPECT_EQ(g_ChoiceHighlight, kNoChoiceOption);
  }
  Tap(300, 230);
  Frame();
  EXPECT_EQ(g_ChoiceHighlight, kNoChoiceOption);
  EXPECT_EQ(app->script.Opcode(app->story.pc), OP_CHOICE);
}

TEST_F(StoryTest, WaitsSkippableAndNot) {
  struct Case {
    int tenths;
    int key;          // pressed on the second frame, or -1
    int framesToEnd;  // frames until PC moves, each 10 ms apart
  } cases[] = {
      {3, -1, 31},         // 300 ms
      {3, IN_KEY_C, 31},   // below 256 tenths a key does not skip
      {300, IN_KEY_C, 2},  // from 256 tenths on it does
      {300, IN_RIGHT, 2}, {300, IN_LEFT, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tenths) + " key " + std::to_string(c.key));
    Start("OP_WAIT " + std::to_string(c.tenths) + "\nOP_END");
    int frames = 0;
    while (app->script.Opcode(app->story.pc) == OP_WAIT && frames < 1000) {
      if (frames == 1 && c.key >= 0) app->input.count[c.key] = 1;
      Frame();
      ++frames;
      VelmiClockAdvance(10);
    }
    EXPECT_EQ(frames, c.framesToEnd);
  }
  // The skip flag skips a long wait too.
  Start("OP_WAIT 300\nOP_END");
  Frame();
  app->settings.skipRunning = 1;
  Frame();
  EXPECT_EQ(app->script.Opcode(app->story.pc), OP_END);
}

TEST_F(StoryTest, JumpScriptSpecialNames) {
  struct Case {
    const char* name;
    int mode, phase;
    int16_t miniGame;
  } cases[] = {
      // Leaving the game clears the play-through's banks, the mini-game word among them.
      {"title_main", MODE_TITLE, 5, 0},  {"TITLE_MAIN", MODE_TITLE, 5, 0},  {"SC_END", MODE_SCENE_REPLAY, 0, 0},
      {"kimo_lup", MODE_MINIGAME, 0, 0}, {"Kimo_Brs", MODE_MINIGAME, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->gameMode = MODE_STORY;
    g_ScriptVariables[kVarMiniGameKind] = -1;
    app->story.readBlock = 0;
    g_ScriptVariables[5] = 9;      // a play-through variable
    g_ScriptVariables[13000] = 9;  // a persistent one
    Start(std::string("OP_READ_BLOCK 7\nOP_JUMP_SCRIPT \"") + c.name + "\"\nOP_END");
    TheWorld().readFlags.clear();
    Frame();
    EXPECT_EQ(app->gameMode, c.mode);
    EXPECT_EQ(app->phase, c.phase);
    EXPECT_EQ(g_ScriptVariables[kVarMiniGameKind], c.miniGame);
    // The read flags of both blocks: block 0 by OP_READ_BLOCK, block 7 by the jump.
    EXPECT_EQ(TheWorld().readFlags, (std::vector<std::string>{"s:0", "s:7"}));
    const bool left = c.mode != MODE_MINIGAME;
    EXPECT_EQ(g_ScriptVariables[5], left ? 0 : 9);
    EXPECT_EQ(g_ScriptVariables[13000], 9);
    EXPECT_EQ(app->script.HasCode(), left ? 0 : 1);
  }
}

TEST_F(StoryTest, JumpScriptReplacementChain) {
  // A pair whose replacement is replaced again by a pair further down.
  int first = -1;
  for (int i = 0; i < kScriptReplacementCount && first < 0; ++i)
    for (int k = i + 1; k < kScriptReplacementCount; ++k)
      if (SjisEqual(g_ScriptReplacements[i].to, g_ScriptReplacements[k].from)) first = i;
  ASSERT_GE(first, 0);
  // The chain as the pairs give it, each pair on the name as replaced so far.
  const std::string from = g_ScriptReplacements[first].from;
  std::vector<std::string> chain{from};
  for (const ScriptReplacement& p : g_ScriptReplacements)
    if (SjisEqual(p.from, chain.back().c_str())) chain.push_back(p.to);
  ASSERT_GE(chain.size(), 3u);
  for (const std::string& n : chain) AddScript(n, "OP_END");
  for (int cut : {0, 1}) {
    SCOPED_TRACE(cut);
    app->settings.mannerFullCut = cut;
    Start("OP_JUMP_SCRIPT \"" + from + "\"\nOP_END");
    TheWorld().seenB.clear();
    Frame();
    EXPECT_STREQ(app->story.scriptName, (cut ? chain.back() : from).c_str());
    // Every replaced name, then the loaded one.
    EXPECT_EQ(TheWorld().seenB, cut ? chain : std::vector<std::string>{from});
  }
}

TEST_F(StoryTest, LoadScriptOrderAndVariables) {
  AddScript("dir\\next", "OP_END");
  Start("OP_JUMP_SCRIPT \"dir\\\\next\"\nOP_END");
  TheWorld().seenB = {};
  app->settings.textCutMode = 1;
  g_ScriptVariables[kVarScriptSeen] = 7;
  // The name goes to seen-list B (base name) and the effect channel stops before the read.
  EXPECT_EQ(Frame(), "AddSeenName(1,next) | StopChannel(10) | ReadScript(AdvData\\mes\\dir\\next.mes)");
  EXPECT_EQ(g_ScriptVariables[kVarScriptSeen], 0);
  EXPECT_EQ(g_ScriptVariables[kVarTextCut], 1);
  EXPECT_EQ(app->sound.currentEffect, -1);
  EXPECT_EQ(app->story.pc, 0u);
  app->settings.textCutMode = 0;
  ASSERT_EQ(app->LoadScript("dir\\NEXT"), 1);  // seen before (names fold ASCII case)
  EXPECT_EQ(g_ScriptVariables[kVarScriptSeen], 1);
  EXPECT_EQ(g_ScriptVariables[kVarTextCut], 0);
}

TEST_F(StoryTest, FailedLoadStopsTheStory) {
  struct Case {
    std::vector<uint8_t> file;  // empty: no entry
  } cases[] = {{{}}, {{5, 0, 0, 0, 0}}, {{0xFF, 0xFF, 0xFF, 0xFF}}, {{1, 0}}};
  for (const Case& c : cases) {
    if (!c.file.empty()) TheWorld().scripts["AdvData\\mes\\bad.mes"] = c.file;
    Start("OP_VAR_OP 0 1 1 0\nOP_JUMP_SCRIPT \"bad\"\nOP_VAR_OP 0 1 2 0\nOP_END");
    // The failed entry is handed on, which tells a damaged one from a missing one.
    EXPECT_NE(Frame().find("ReadScript(AdvData\\mes\\bad.mes) | ScriptNotLoaded(AdvData\\mes\\bad.mes)"),
              std::string::npos);
    EXPECT_EQ(app->script.HasCode(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Frame(), "");
    EXPECT_EQ(g_ScriptVariables[1], 1);
    TheWorld().scripts.erase("AdvData\\mes\\bad.mes");
  }
}

TEST_F(StoryTest, DamagedScriptsStopWhereTheyStand) {
  struct Case {
    std::string text;
    int16_t v1;  // variable 1 after five frames
  } cases[] = {
      {"OP_VAR_OP 0 1 1 0\n.byte 88 0 0 1", 1},      // last instruction cut short
      {"OP_VAR_OP 0 1 1 0\n.byte 75 0x21 0x21", 1},  // message without terminator
      {"OP_VAR_OP 0 1 1 0\nOP_GOTO_LABEL \"nowhere\"\nOP_VAR_OP 0 1 2 0", 1},
      {"OP_VAR_OP 0 1 1 0\nOP_JUMP_IF_FALSE 9 0\nOP_VAR_OP 0 1 2 0", 1},  // no target
      {"OP_VAR_OP 0 1 1 0\n.byte 1\nOP_LABEL \"x\"", 1},                  // opcode without a length
      {"OP_VAR_OP 0 1 1 0\nOP_10 0\nOP_VAR_OP 0 1 2 0", 1},               // a length but no effect
      {"OP_VAR_OP 0 1 1 0\nOP_21 0\nOP_99 3\nOP_90 1 2 3 4\nOP_47 \"x\"\nOP_VAR_OP 0 1 2 0\nOP_END", 2},  // skipped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    g_ScriptVariables[1] = 0;
    Start(c.text);
    Frames(5);
    EXPECT_EQ(g_ScriptVariables[1], c.v1);
  }
}

TEST_F(StoryTest, ALoopWithoutYieldEndsTheFrame) {
  Start("OP_LABEL \"top\"\nOP_VAR_OP 0 1 1 1\nOP_GOTO_LABEL \"top\"");
  Frame();
  // Three instructions a turn; the frame ends after the bound.
  const int16_t first = g_ScriptVariables[1];
  EXPECT_EQ(first, int16_t(kMaxContinuesPerFrame / 3 + (kMaxContinuesPerFrame % 3 > 1 ? 1 : 0)));
  Frame();
  EXPECT_NE(g_ScriptVariables[1], first);
}

TEST_F(StoryTest, WeatherStepsOnYieldsOnlyWithSacraMode) {
  struct Case {
    int sacra;
    const char* script;
    const char* firstFrame;
    int kind;
    bool steps;
  } cases[] = {
      {1, "OP_WEATHER 1 2\nOP_WAIT 1\nOP_END", "StartParticles(1,32,180,256,12) | StepParticles", 1, true},
      {1, "OP_WEATHER 3 0\nOP_WAIT 1\nOP_END", "StartParticles(3,32,150,256,20) | StepParticles", 3, true},
      {1, "OP_WEATHER 5 1\nOP_WAIT 1\nOP_END", "StartParticles(5,32,180,256,16) | StepParticles", 5, true},
      {0, "OP_WEATHER 1 2\nOP_WAIT 1\nOP_END", "", 1, false},
      {0, "OP_WEATHER 6 2\nOP_WAIT 1\nOP_END", "", 1, false},
      {1, "OP_WEATHER 0 2\nOP_WAIT 1\nOP_END", "StopParticles", 0, false},
      {1, "OP_WEATHER 7 2\nOP_WAIT 1\nOP_END", "StopParticles", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    app->weather = {};
    app->settings.sacraMode = c.sacra;
    Start(c.script);
    EXPECT_EQ(Frame(), c.firstFrame);
    EXPECT_EQ(app->weather.kind, c.kind);
    EXPECT_EQ(Frame(), c.steps ? "StepParticles" : "");
  }
  // Kinds 4-6 do not start over running weather.
  app->settings.sacraMode = 1;
  app->weather.kind = 3;
  Start("OP_WEATHER 4 2\nOP_END");
  EXPECT_EQ(Frame(), "StepParticles");
  EXPECT_EQ(app->weather.strength, 12);
}

TEST_F(StoryTest, MoveToTheMapOrTheAlarm) {
  Start("OP_SET_MOVE_KIND 0\nOP_MOVE 0\nOP_PLAY_BGM 5\nOP_VOICE \"v\"\nOP_END", 1);
  EXPECT_EQ(Frame(), "StopParticles | ShowMessageWindow(0) | SnapshotSaveState");
  EXPECT_EQ(app->gameMode, MODE_MAP);
  EXPECT_EQ(app->phase, 0);
  // The music instruction right after the move is skipped: the story resumes at the voice.
  app->gameMode = MODE_STORY;
  EXPECT_EQ(Frame(), "PlayVoice(v,0)");

  Start("OP_SET_MOVE_KIND 1\nOP_MOVE 0\nOP_END", 0);
  EXPECT_EQ(Frame(), "StopParticles | SnapshotSaveState | BuildAlarmScreen");
  EXPECT_EQ(app->gameMode, MODE_ALARM);
  EXPECT_EQ(app->script.Opcode(app->story.pc), OP_MOVE);

  app->gameMode = MODE_STORY;
  Start("OP_SET_MOVE_KIND 0\nOP_MOVE 1\nOP_VOICE \"v\"\nOP_END", 0);
  EXPECT_EQ(Frame(), "StopParticles | PlayVoice(v,0)");
  EXPECT_EQ(app->gameMode, MODE_STORY);
}

TEST_F(StoryTest, OperandsAreBoundedIntoTheirFields) {
  // Hand-made instructions longer than their fields: cut at a whole character.
  std::string longVoice(70, 'v');
  std::string bytes = ".byte 52";
  for (char ch : longVoice) bytes += " " + std::to_string(int(ch));
  bytes += " 0\n";
  std::string sjisName = ".byte 45";
  for (int i = 0; i < 15; ++i) sjisName += " 0x61";      // 'a' x 15
  for (int i = 0; i < 9; ++i) sjisName += " 0x82 0xA0";  // 9 double-byte characters: 33 bytes
  sjisName += " 0\n";
  Start(bytes + sjisName + "OP_END");
  const std::string got = Frame();
  EXPECT_EQ(got, "PlayVoice(" + std::string(63, 'v') + ",0) | ShowBackground(" + std::string(15, 'a') +
                     std::string("\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0") + ")");
}

TEST_F(StoryTest, LeaveGameAndBackToTitle) {
  for (int i = 0; i < kScriptVariables; i += 97) g_ScriptVariables[i] = 3;
  Start("OP_END");
  app->LeaveGame();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 5);
  EXPECT_EQ(app->script.HasCode(), 0);
  for (int i = 0; i < kScriptVariables; i += 97) EXPECT_EQ(g_ScriptVariables[i], i < kGameVariables ? 0 : 3) << i;

  // The return to the title waits while a transition object exists.
  Start("OP_END");
  app->gameMode = MODE_BACK_TO_TITLE;
  app->transition = new CTransition(640, 480);
  app->DispatchMode();
  EXPECT_EQ(app->gameMode, MODE_BACK_TO_TITLE);
  delete app->transition;
  app->transition = nullptr;
  app->DispatchMode();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 5);
}

TEST_F(StoryTest, NewGameStartsTheStory) {
  for (int i = 0; i < kScriptVariables; i += 89) g_ScriptVariables[i] = 4;
  Start("OP_CLEAR_CHOICES 0\nOP_CHOICE_TEXT \"A\"\nOP_END");
  Frame();
  app->gameMode = MODE_TITLE;
  app->phase = 90;
  app->NewGame();
  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_EQ(app->phase, 0);
  EXPECT_EQ(app->script.HasCode(), 0);
  EXPECT_EQ(app->story.pc, 0u);
  EXPECT_EQ(app->story.choice.optionCount, 0);
  EXPECT_STREQ(app->story.scriptName, "");
  EXPECT_EQ(app->sound.currentEffect, -1);
  for (int i = 0; i < kScriptVariables; i += 89) EXPECT_EQ(g_ScriptVariables[i], i < kGameVariables ? 0 : 4) << i;
  // The caller then loads the first script; the story runs it through the mode table.
  AddScript("first", "OP_VOICE \"v\"\nOP_END");
  ASSERT_EQ(app->LoadScript("first"), 1);
  TheWorld().log.clear();
  app->DispatchMode();
  EXPECT_EQ(TheWorld().log, std::vector<std::string>{"PlayVoice(v,0)"});
}

TEST_F(StoryTest, EndingsAndMovies) {
  TheWorld().framesToFinish["RunEndingRoll"] = 2;
  Start("OP_ENDING 0x030C\nOP_ENDING 0x010A\nOP_ENDING 5\nOP_MOVIE \"mv\\\\op\"\nOP_END", 1);
  EXPECT_EQ(Frame(), "ShowMessageWindow(0) | RunEndingRoll(3)");
  EXPECT_EQ(Frame(), "RunEndingRoll(3)");
  EXPECT_EQ(Frame(), "RunEndingSlides(1)");
  EXPECT_EQ(Frame(), "PlayMovie(mv\\op)");
  EXPECT_EQ(app->script.Opcode(app->story.pc), OP_END);
}

TEST_F(StoryTest, SoundAndStageWords) {
  app->sound.currentTrack = 4;
  Start(
      "OP_PLAY_SE 3 1\nOP_PLAY_BGM 0x0205\nOP_VIEWPORT 10 20 3 4\nOP_SCROLL_TO 13 -6 0 0\n"
      "OP_CHARACTER_POS -5 6 7 -8\nOP_SCROLL_BACKGROUND \"wide\"\nOP_STOP_BGM 0\nOP_END");
  EXPECT_EQ(Frame(),
            "PlaySe(3,1) | PlayBgm(517) | ApplyViewport(10,-10) | ShowScrollBackground(wide) | StopChannel(0) | "
            "StopParticles");
  EXPECT_EQ(app->stage.viewportX, 10);
  EXPECT_EQ(app->stage.originY, 4);
  EXPECT_EQ(app->stage.characters[0].homeX, -5);
  EXPECT_EQ(app->stage.characters[1].homeY, -8);
  EXPECT_EQ(app->sound.currentTrack, -1);
}

TEST_F(StoryTest, SpeakerForms) {
  Start("OP_SPEAKER hero\nOP_CLEAR_CHOICES 0\nOP_SPEAKER \"A\"\nOP_END", 1);
  EXPECT_EQ(Frame(),
            "SetSpeakerName(\x83\x51\x83\x43\x83\x8D\x83\x93)");  // the name plate is not set while a list is open
  EXPECT_STREQ(app->story.speakerName, "A");
}

}  // namespace
