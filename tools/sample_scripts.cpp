// The playable game's scripts, in the text form of tools/mes_text.h and
// assembled when the sample is written: the new game, which uses every kind
// of instruction and leads through the map, the alarm choice and the mini
// game to the endings; the second start; the mini game's visits; and one
// script for each row of the scene table, which ends a replay ("SC_END")
// when variable 2311 is set.
#include "tools/sample_scripts.h"

#include <string>

#include "player/scenario/story_tables.h"
#include "tools/mes_text.h"

namespace vtools {
namespace {

// The new game: the opening movie, pages with speakers and voices, a
// choice, variables and conditions, backgrounds (gallery event pictures),
// characters with tints, layers and glides, a scrolled background,
// transitions, weather, effects and music, the map and the alarm choice
// (labels "fast", "normal", "slow"), then the mini game.
const char kNewGame[] = R"(; fst_1216_a1_cmn: the new game.
.words 1 2
OP_READ_BLOCK 0
OP_MOVIE "opening"
OP_PLAY_BGM 2
OP_BACKGROUND "bg\\iv_vlm00a"
OP_WEATHER 1 2
OP_CHARACTER_POS -200 0 200 0
OP_CHARACTER "bst_girl"
OP_CHARACTER2 "face_alpha"
OP_TRANSITION 0
OP_SPEAKER "ヴェルミ"
OP_VOICE "VOICE\\vlm\\vlm_0001"
OP_MESSAGE "ようこそ、見本の物語へ。\n最初のページです。"
OP_WAIT_PAGE 0
OP_CHARACTER_LAYER "sam_icon"
OP_CHARACTER_MOVE -100 0 0 0
OP_SPEAKER hero
OP_VOICE "VOICE\\dov\\dov_0001"
OP_MESSAGE "どちらへ行こうか。"
OP_WAIT_PAGE 0
OP_CLEAR_CHOICES 0
OP_CHOICE_LABEL "sea"
OP_CHOICE_TEXT "海へ行く"
OP_CHOICE_LABEL "hill"
OP_CHOICE_TEXT "丘へ登る"
OP_CHOICE 0
OP_LABEL "sea"
OP_VAR_OP 0 1 1 0
OP_GOTO_LABEL "chosen"
OP_LABEL "hill"
OP_VAR_OP 0 1 2 0
OP_LABEL "chosen"
OP_READ_BLOCK 1
OP_VAR_CMP 0 1 1 0
OP_JUMP_IF_FALSE 1 0
OP_CHARACTER "bst_girl@"
OP_SPEAKER "ヴェルミ"
OP_MESSAGE "海の風が気持ちいい。"
OP_WAIT_PAGE 0
OP_TARGET 0 1
OP_RANDOM 3
OP_VAR_COPY 0 2 99 2
OP_VAR_OP 0 2 1 1
OP_VAR_OP 0 2 3 3
OP_VAR_OP 0 2 2 2
OP_VAR_OP 0 2 3 4
OP_VAR_OP 0 1 2 16
OP_VAR_CMP 0 2 0 4
OP_PLAY_SE 3 0
OP_CHARACTER "-"
OP_CHARACTER2 "-"
OP_WEATHER 0 0
OP_BACKGROUND "bg\\iv_vlm01c"
OP_TRANSITION 2
OP_BACKGROUND_MOVE -40 0 0 0
OP_BACKGROUND_MOVE 0 0 1 0
OP_SCROLL_BACKGROUND "bg_sky"
OP_VIEWPORT 0 0 0 0
OP_SCROLL_TO 40 20 0 0
OP_WEATHER 3 1
OP_SPEAKER "ドヴァ"
OP_MESSAGE "雪が降ってきた。"
OP_WAIT_PAGE 0
OP_TRANSITION 0x0103
OP_TRANSITION 4
OP_TRANSITION 0x050E
OP_WAIT 5
OP_21 0
OP_PLAY_SE 255 0
; The map: heroines 0 and 1 on the school map, at places 2 and 4.
OP_VAR_OP 5 0 1 0
OP_VAR_OP 5 10 2 0
OP_VAR_OP 5 1 1 0
OP_VAR_OP 5 11 4 0
OP_VAR_OP 5 20 0 0
OP_VAR_OP 5 21 0 0
OP_SET_MOVE_KIND 0
OP_MOVE 0
OP_PLAY_BGM 3
OP_BACKGROUND "bg\\iv_vlm00a"
; Petals fall over the scene for four seconds before its page opens.
OP_WEATHER 1 4
OP_WAIT 40
OP_SPEAKER "ヴェルミ"
OP_MESSAGE "着きました。明日は何時に起きますか。"
OP_WAIT_PAGE 0
; The alarm choice jumps to one of three labels.
OP_SET_MOVE_KIND 1
OP_MOVE 0
OP_LABEL "fast"
OP_VAR_OP 0 4 1 0
OP_GOTO_LABEL "awake"
OP_LABEL "normal"
OP_VAR_OP 0 4 2 0
OP_GOTO_LABEL "awake"
OP_LABEL "slow"
OP_VAR_OP 0 4 3 0
OP_LABEL "awake"
OP_STOP_BGM 0
OP_SPEAKER "ルパ"
OP_VOICE "VOICE\\lup\\lup_0001"
OP_MESSAGE "お化け屋敷へ行きましょう。"
OP_WAIT_PAGE 0
; A background change with a transition closes the message window, which
; the mini game does not use.
OP_BACKGROUND "bg\\black"
OP_TRANSITION 0
OP_JUMP_SCRIPT "kimo_lup"
OP_END
)";

// After the mini game: the endings, and the progress flags the title reads
// (flags 1 to 7: the night pictures, the second start, every extras row).
const char kEnding[] = R"(; ed_1231_a1_cmn: both endings.
OP_READ_BLOCK 0
OP_VAR_OP 100 1 1 0
OP_VAR_OP 100 2 1 0
OP_VAR_OP 100 3 1 0
OP_VAR_OP 100 4 1 0
OP_VAR_OP 100 5 1 0
OP_VAR_OP 100 6 1 0
OP_VAR_OP 100 7 1 0
OP_PLAY_BGM 30
OP_SPEAKER "ヴェルミ"
OP_MESSAGE "物語はここで終わります。"
OP_WAIT_PAGE 0
OP_VAR_OP 6 50 1 0
OP_ENDING 0x000A
OP_PLAY_BGM 31
OP_ENDING 0x000C
OP_STOP_BGM 0
OP_JUMP_SCRIPT "title_main"
)";

// The second start: its own roll, then back to the title.
const char kSecondStart[] = R"(; 0ind_1216_a1_hsr: the second start.
OP_READ_BLOCK 0
OP_PLAY_BGM 40
OP_BACKGROUND "bg\\iv_vlm01c"
OP_SPEAKER "ヘストリ"
OP_VOICE "VOICE\\hsr\\hsr_0001"
OP_MESSAGE "二度目の始まりです。"
OP_WAIT_PAGE 0
OP_ENDING 0x010C
OP_JUMP_SCRIPT "title_main"
)";

// The scene that follows the mini game: a row of the scene table, so that
// the scene replay lists it once the game has passed it.
const char kAfterMiniGame[] = "r1_0227_c_vlm";

std::string SceneScript(const std::string& script, const std::string& background, const std::string& next) {
  return "; " + script +
         ": a scene of the scene table.\n"
         "OP_READ_BLOCK 0\n"
         "OP_BACKGROUND \"bg\\\\" +
         background +
         "\"\n"
         "OP_SPEAKER \"ヴェルミ\"\n"
         "OP_MESSAGE \"場面" +
         script +
         "です。\"\n"
         "OP_WAIT_PAGE 0\n"
         "OP_VAR_CMP 9 7 1 0\n"
         "OP_JUMP_IF_FALSE 1 0\n"
         "OP_JUMP_SCRIPT \"SC_END\"\n"
         "OP_TARGET 0 1\n"
         "OP_JUMP_SCRIPT \"" +
         next + "\"\n";
}

// A visit of the mini game: a page, then back to the house.
std::string VisitScript(const std::string& script, const std::string& variant, const std::string& next) {
  return "; " + script +
         ": a room of the haunted house.\n"
         "OP_READ_BLOCK 0\n"
         "OP_BACKGROUND \"bg\\\\iv_vlm00a\"\n"
         "OP_SPEAKER \"" +
         std::string(variant == "kimo_lup" ? "ルパ" : "ベリサ") +
         "\"\n"
         "OP_MESSAGE \"部屋" +
         script +
         "です。\"\n"
         "OP_WAIT_PAGE 0\n" +
         // Back in the house the message window is closed, as before the
         // first visit.
         std::string(next == variant ? "OP_BACKGROUND \"bg\\\\black\"\nOP_TRANSITION 0\n" : "") + "OP_JUMP_SCRIPT \"" +
         next + "\"\n";
}

SampleFile Script(const std::string& name, std::string text) {
  return SampleFile{"AdvData\\mes\\" + name + ".mes", [t = std::move(text)] {
                      std::vector<uint8_t> bytes;
                      std::string error;
                      AssembleMes(t, &bytes, &error);  // the texts assemble (tested); a failure writes no code
                      return bytes;
                    }};
}

}  // namespace

std::vector<std::pair<std::string, std::string>> GameScriptTexts() {
  std::vector<std::pair<std::string, std::string>> s = {
      {"fst_1216_a1_cmn", kNewGame}, {"ed_1231_a1_cmn", kEnding}, {"0ind_1216_a1_hsr", kSecondStart}};
  const char* const lup[] = {"mdl_1231_f311_lup", "mdl_1231_f312_lup", "mdl_1231_f313_lup", "mdl_1231_f314_lup"};
  const char* const brs[] = {"mdl_1231_f321_brs", "mdl_1231_f322_brs", "mdl_1231_f323_brs", "mdl_1231_f324_brs"};
  for (const char* name : lup) s.emplace_back(name, VisitScript(name, "kimo_lup", "kimo_lup"));
  for (const char* name : brs) s.emplace_back(name, VisitScript(name, "kimo_brs", "kimo_brs"));
  s.emplace_back("mdl_1231_f41_lup", VisitScript("mdl_1231_f41_lup", "kimo_lup", kAfterMiniGame));
  s.emplace_back("mdl_1231_f42_brs", VisitScript("mdl_1231_f42_brs", "kimo_brs", kAfterMiniGame));
  // One script per scene row, each showing a gallery picture.
  for (int i = 0; i < kSceneRecordCount; ++i) {
    const std::string script = g_SceneTable[i].scriptName;
    if (script.empty()) continue;
    const std::string next = script == kAfterMiniGame ? "ed_1231_a1_cmn" : "title_main";
    s.emplace_back(script, SceneScript(script, g_CgTable[i % kCgEntryCount].name, next));
  }
  return s;
}

void AddGameScriptRows(SampleTable& table) {
  for (auto& [name, text] : GameScriptTexts()) table.push_back(Script(name, std::move(text)));
}

}  // namespace vtools
