// The playable sample game: its picture table holds every picture the
// screens load, each large enough for the cells they cut from it, and the
// converter turns the generated folder into a pack where each picture loads
// in the player at its design size, with alpha where the converter's rules
// give it; its voice index holds the system voices of every character.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/rbp_format.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "player/scenario/story_tables.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/temp_folder.h"
#include "tools/game_pictures.h"
#include "tools/mes_text.h"
#include "tools/sample_game.h"
#include "tools/sample_scripts.h"
#include "tools/sample_sounds.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Folder and name as the player asks for them (any case), without extension.
std::string Key(const std::string& path) { return Lower(path.substr(0, path.rfind('.'))); }

std::map<std::string, vtools::GamePicture> PicturesByKey() {
  std::map<std::string, vtools::GamePicture> out;
  for (const vtools::GamePicture& p : vtools::GamePictures()) out.emplace(Key(p.path), p);
  return out;
}

// The largest cell a screen cuts from a picture: its right and bottom edge.
struct Cut {
  const char* picture;  // as the screen names it, below "AdvData\"
  int right, bottom;
};

const Cut kCuts[] = {
    // Title: logo, the 800 x 1200 scroll, the menu chips (highlighted cells
    // at x = width, the locked interviews cell).
    {"grp\\system\\logo", 800, 600},
    {"grp\\system\\title_daytime_BG00", 800, 1200},
    {"grp\\system\\title_evening_BG01", 800, 1200},
    {"grp\\system\\title_night_BG03", 800, 600},
    {"grp\\system\\title_night_BG04b", 800, 600},
    {"grp\\system\\title_daytime_chip01", 2 * 256, 320 + 40},
    {"grp\\system\\title_evening_chip01", 576 + 192, 360 + 40},
    // Message window: captions of button 4, the choice highlight plate.
    {"GRP\\SYSTEM\\Messwin", 742 + 58, 415 + 24 * 3 + 24},
    {"GRP\\SYSTEM\\Messwin", 480, 458 + 40},
    {"GRP\\bg\\black", 800, 600},
    {"grp\\SYSTEM\\eff", 25 * 32, 32},
    // Confirmation, quick option, save and load.
    {"grp\\system\\yn_chip00", 208 + 248, 128},
    {"grp\\system\\quickoption_chip00", 120 + 120, 576 + 24},
    {"grp\\system\\save_BG01", 800, 600},
    {"grp\\system\\load_BG00", 800, 600},
    {"grp\\system\\saveandload_chip00", 288 + 288, 72 * 3 + 1 + 72},
    {"grp\\system\\common_save_chip00", 184 + 72, 120 + 24},
    {"grp\\system\\common_load_chip00", 16 * 9 + 1 + 16, 120 + 24},
    // Character icons of both choosers and the save rows.
    {"grp\\system\\charactericom", 56 * 15 + 56, 369 + 56},
    {"grp\\system\\systemconfig_chip00", 72 * 15 + 72, 608 + 72},
    {"grp\\system\\systemconfig_chip00", 633 + 159, 33 + 32},
    {"grp\\system\\systemconfig_chip01", 104 * 15 + 104, 104 + 104},
    {"grp\\system\\common_chip00", 112, 33 + 32},
    {"grp\\system\\voiceconfig_chip00", 352 + 176, 33 + 31},
    {"grp\\system\\voiceconfig_chip01", 72 * 15 + 72, 289 + 71},
    // Gallery: thumbnails of tab 1's 18 groups, highlighted two rows lower.
    {"grp\\SYSTEM\\cgmode_BG00", 800, 600},
    {"grp\\SYSTEM\\common_cg_chip00", 184 + 72, 242 + 16},
    {"grp\\SYSTEM\\cgmode_dummychip", 176 + 96, 72},
    {"grp\\SYSTEM\\scenereplay_chip", 353 + 175, 169 + 33 * 7 + 31},
    {"grp\\SYSTEM\\thumbnail_dov", 9 * 96 + 96, (1 + 2) * 72 + 72},
    {"grp\\SYSTEM\\thumbnail_cmn", 9 * 96 + 96, (0 + 2) * 72 + 72},
    // Scene replay: page pictures of every tab, the last page of each.
    {"grp\\SYSTEM\\scenereplay_BG00", 800, 600},
    {"grp\\SYSTEM\\common_kaiso_chip00", 16 * 9 + 1 + 16, 120 + 24},
    {"grp\\SYSTEM\\scenereplay_dummychip", 424 + 248, 56 + 56},
    {"grp\\SYSTEM\\sam_vlm_12", 128, 192},
    {"grp\\SYSTEM\\sam_dov_11", 128, 192},
    {"grp\\SYSTEM\\sam_fnr_09", 128, 192},
    {"grp\\SYSTEM\\sam_olw_11", 128, 192},
    {"grp\\SYSTEM\\sam_brs_11", 128, 192},
    {"grp\\SYSTEM\\sam_lup_12", 128, 192},
    {"grp\\SYSTEM\\sam_other_29", 128, 192},
    {"grp\\SYSTEM\\sam_hsr_04", 128, 192},
    // Music mode: the now-playing cell of track 46, the back button.
    {"grp\\SYSTEM\\musicmode_BG00", 800, 600},
    {"grp\\SYSTEM\\musicmode_BG01", 800, 600},
    {"grp\\SYSTEM\\bgm_sam", 296 * 2 + 1 + 295, 32 * 17 + 1153 + 31},
    {"grp\\SYSTEM\\musicmode_chip00", 137 + 112, 248 + 32},
    // Interviews: page 1's highlighted rows, the page switch.
    {"grp\\SYSTEM\\interviewBG_00", 800, 600},
    {"grp\\SYSTEM\\interviewBG_01", 800, 600},
    {"grp\\SYSTEM\\interviewBG_kalv", 800, 600},
    {"grp\\SYSTEM\\interviewBG_hsr", 800, 600},
    {"grp\\SYSTEM\\interviewChip_00", 184 * 5 + 184, 32 * 5 + 32},
    {"grp\\SYSTEM\\interviewChip_00", 56 + 56, 193 + 56 + 55},
    // Alarm and mini game.
    {"GRP\\system\\alarm_chip00", 953 + 287, 120 + 143},
    {"GRP\\system\\alarm_chip00", 392, 320},
    {"GRP\\system\\alarm_chip00", 393 + 271, 120 + 184},
    {"GRP\\system\\obake_BG00", 800, 600},
    {"GRP\\system\\obake_chip00", 1, 1},
    {"GRP\\system\\obake_chip01", 272, 273 + 31},
    {"GRP\\system\\obake_chip02", 608 + 152, 264 + 104},
    // Weather strips.
    {"grp\\system\\sacra01", 7 * 32 + 32, 140 + 24},
    {"grp\\system\\sacra02", 7 * 32 + 32, 140 + 24},
    {"grp\\system\\yuki01", 7 * 32 + 32, 140 + 24},
    {"grp\\system\\saku_yuki01", 7 * 32 + 32, 140 + 24},
    {"grp\\system\\saku_yuki02", 7 * 32 + 32, 140 + 24},
    // Map: name plate of school place 6, school area 1, portraits, figures.
    {"GRP\\MAP\\moveschool_BG00", 800, 600},
    {"GRP\\MAP\\moveisland_BG00", 800, 600},
    {"GRP\\MAP\\moveschool_chip00", 424, 56 * 6 + 1 + 56},
    {"GRP\\MAP\\moveland_chip00", 424, 56 * 5 + 1 + 56},
    {"GRP\\MAP\\moveschool_chip01", 264, 993 + 263},
    {"GRP\\MAP\\moveisland_chip01", 192, 464 + 72},
    {"GRP\\MAP\\movestop", 817 + 24, 160 + 160},
    {"GRP\\MAP\\chip_velmi", 5 * 168, (17 / 5) * 152 + 762 + 152},
    {"GRP\\MAP\\chip_dova", 5 * 168, (18 / 5) * 152 + 762 + 152},
    {"GRP\\MAP\\chip_olwe", 5 * 168, (17 / 5) * 152 + 762 + 152},
    {"GRP\\MAP\\chip_berisa", 5 * 168, (17 / 5) * 152 + 762 + 152},
    {"GRP\\MAP\\chip_lupa", 5 * 168, (19 / 5) * 152 + 762 + 152},
    {"GRP\\MAP\\chip_fenira", 5 * 168, (21 / 5) * 152 + 762 + 152},
    // Endings: the last roll picture of both rolls, the last slide of each set.
    {"GRP\\ED\\Gend_19", 800, 600},
    {"GRP\\ED\\Gend_hsr_19", 800, 600},
    {"GRP\\ED\\ed_vlm_24", 800, 600},
    {"GRP\\ED\\ed_dov_24", 800, 600},
    {"GRP\\ED\\ed_brs_19", 800, 600},
    {"GRP\\ED\\ed_fnr_18", 800, 600},
    {"GRP\\ED\\ed_olw_18", 800, 600},
    {"GRP\\ED\\ed_lup_19", 800, 600},
};

TEST(SamplePictures, EveryCutFitsItsPicture) {
  const auto pictures = PicturesByKey();
  for (const Cut& cut : kCuts) {
    SCOPED_TRACE(cut.picture);
    const auto it = pictures.find(Key(std::string("AdvData\\") + cut.picture + ".x"));
    ASSERT_NE(it, pictures.end());
    EXPECT_GE(it->second.width, cut.right);
    EXPECT_GE(it->second.height, cut.bottom);
  }
  // Numbered families: every number the screens form, and no more.
  const std::vector<std::pair<std::string, int>> families = {
      {"grp\\system\\sam_other_", 29}, {"grp\\ed\\gend_", 19}, {"grp\\ed\\gend_hsr_", 19}, {"grp\\ed\\ed_vlm_", 24}};
  for (const auto& [stem, count] : families) {
    for (int n = 1; n <= count + 1; ++n) {
      char number[12];  // room for any int
      std::snprintf(number, sizeof number, "%02d", n);
      EXPECT_EQ(pictures.count("advdata\\" + stem + number), n <= count ? 1u : 0u) << stem << number;
    }
  }
}

TEST(SamplePictures, StoryPicturesJoinAsBackgrounds) {
  const size_t plain = vtools::GamePictures().size();
  const auto withStory = vtools::GamePictures({"bg\\iv_vlm01a", "bg\\school"});
  ASSERT_EQ(withStory.size(), plain + 2);
  EXPECT_EQ(withStory[plain].path, "AdvData\\GRP\\bg\\iv_vlm01a.ZEV");
  EXPECT_EQ(withStory[plain].width, 800);
  EXPECT_EQ(withStory[plain].height, 600);
  EXPECT_EQ(withStory[plain].kind, vtools::GamePictureKind::Opaque);
}

// The generated game holds each picture of the table and each picture the
// story tables name (gallery and event pictures) once.
TEST(SamplePictures, GameHoldsTableAndStoryPictures) {
  std::map<std::string, int> rows;
  for (const vtools::SampleFile& row : vtools::SampleGameTable(vtools::SampleSize::Game)) ++rows[Lower(row.path)];
  const std::vector<std::string> story = vtools::StoryTablePictures();
  EXPECT_GT(story.size(), 100u);
  for (const vtools::GamePicture& p : vtools::GamePictures(story)) EXPECT_EQ(rows[Lower(p.path)], 1) << p.path;
  for (const auto& [path, count] : rows) EXPECT_EQ(count, 1) << path;
}

// The string operand of a text-form line that starts with the opcode, with
// the text form's "\\" turned into "\"; empty when the line is another one.
std::string Operand(const std::string& line, const std::string& opcode) {
  if (line.compare(0, opcode.size() + 2, opcode + " \"") != 0) return "";
  std::string out;
  for (size_t i = opcode.size() + 2; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    out += line[i];
  }
  return out;
}

// Every script assembles, and everything it names is in the game: the
// pictures of backgrounds and characters (a last "@" or "*" is a tint), the
// voices, and the scripts it jumps to (or a name the interpreter handles).
// The scene table's rows all have a script, and a replayed scene ends on
// "SC_END" when variable 2311 (bank 9, index 7) is set.
TEST(SampleScripts, AssembleAndNameWhatTheGameHolds) {
  std::set<std::string> files, voices;
  for (const vtools::SampleFile& row : vtools::SampleGameTable(vtools::SampleSize::Game)) files.insert(Lower(row.path));
  for (const vtools::SampleVoiceOptions& v : vtools::SampleVoices(vtools::SampleSize::Game))
    voices.insert(Lower("VOICE\\" + v.name.substr(0, v.name.rfind('.'))));
  const std::set<std::string> special = {"title_main", "sc_end", "kimo_lup", "kimo_brs"};
  std::map<std::string, std::string> scripts;
  for (const auto& [name, text] : vtools::GameScriptTexts()) {
    SCOPED_TRACE(name);
    scripts[name] = text;
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(vtools::AssembleMes(text, &bytes, &error)) << error;
    EXPECT_EQ(files.count(Lower("AdvData\\mes\\" + name + ".mes")), 1u);
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      start = end == std::string::npos ? text.size() : end + 1;
      for (const char* op :
           {"OP_BACKGROUND", "OP_SCROLL_BACKGROUND", "OP_CHARACTER", "OP_CHARACTER2", "OP_CHARACTER_LAYER"}) {
        std::string picture = Operand(line, op);
        if (picture.empty() || picture == "-") continue;
        if (picture.back() == '@' || picture.back() == '*') picture.pop_back();
        EXPECT_EQ(files.count(Lower("AdvData\\GRP\\" + picture + ".zev")), 1u) << line;
      }
      const std::string voice = Operand(line, "OP_VOICE");
      if (!voice.empty()) {
        EXPECT_EQ(voices.count(Lower(voice)), 1u) << line;
      }
      const std::string jump = Operand(line, "OP_JUMP_SCRIPT");
      if (!jump.empty() && !special.count(Lower(jump))) {
        EXPECT_EQ(files.count(Lower("AdvData\\mes\\" + jump + ".mes")), 1u) << line;
      }
    }
  }
  for (const char* name :
       {"fst_1216_a1_cmn", "0ind_1216_a1_hsr", "mdl_1231_f311_lup", "mdl_1231_f41_lup", "mdl_1231_f42_brs"})
    EXPECT_EQ(scripts.count(name), 1u) << name;
  int scenes = 0;
  for (int i = 0; i < kSceneRecordCount; ++i) {
    const std::string script = g_SceneTable[i].scriptName;
    EXPECT_EQ(files.count(Lower("AdvData\\mes\\" + script + ".mes")), 1u) << script;
    const auto it = scripts.find(script);
    ASSERT_NE(it, scripts.end()) << script;
    ++scenes;
    EXPECT_NE(it->second.find("OP_VAR_CMP 9 7 1 0\nOP_JUMP_IF_FALSE 1 0\nOP_JUMP_SCRIPT \"SC_END\"\n"),
              std::string::npos)
        << script;
  }
  EXPECT_EQ(scenes, kSceneRecordCount);
}

// Voices by the names the player forms: system voices of all 16 characters
// (characters 9 and 10 in each other's folder, 15 in "qor"), interviews.
TEST(SampleVoices, SystemVoicesOfEveryCharacter) {
  std::set<std::string> names;
  for (const vtools::SampleVoiceOptions& v : vtools::SampleVoices(vtools::SampleSize::Game)) names.insert(v.name);
  const std::vector<std::pair<int, std::string>> folders = {{0, "vlm"},  {8, "elv"},  {9, "adw"},
                                                            {10, "hdk"}, {14, "kva"}, {15, "qor"}};
  for (const auto& [character, folder] : folders) {
    for (int n = 1; n <= vtools::kSystemVoiceCount; ++n) {
      char want[48];
      std::snprintf(want, sizeof want, "%s\\sys_%s_%02d.pcm", folder.c_str(), folder.c_str(), n);
      EXPECT_EQ(vtools::SystemVoiceName(character, n), want);
      EXPECT_EQ(names.count(want), 1u) << want;
    }
  }
  for (const char* interview :
       {"velmi", "dova", "berisa", "lupa", "olwe", "fenira", "wenra", "ruwa", "kalva", "hestri"})
    EXPECT_EQ(names.count(std::string("interview\\") + interview + ".pcm"), 1u) << interview;
}

// The game's pictures through the converter: no failure, and every picture
// of the table in the pack at its design size, with alpha exactly where the
// converter's naming rules give it.
TEST(SamplePictures, ConverterTakesEveryPicture) {
  const std::string source = vtest::ScratchFolder("e2e", "sample"), out = vtest::ScratchFolder("e2e", "sample_out");
  vtools::SampleTable table;
  vtools::AddBaseRows(table);
  vtools::AddGamePictureRows(table);
  ASSERT_TRUE(vtools::WriteSampleGame(source, table));
  const e2e::ConversionResult run = e2e::Convert(source, out, 80, 2);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.failures, 0);
  EXPECT_EQ(run.done, run.total);

  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(640);
  SetScreenHeight(480);
  const std::string pack = e2e::PlayerPath(out + "/data/grpack_v.mlz");
  PackReader reader;
  for (const vtools::GamePicture& p : vtools::GamePictures()) {
    SCOPED_TRACE(p.path);
    const std::string entry = p.path.substr(0, p.path.rfind('.')) + ".rbp";
    CPicture pic;
    ASSERT_EQ(LoadPicture(&pic, entry.c_str(), pack.c_str(), 0, &reader), 1);
    EXPECT_EQ(pic.canvasWidth, p.width);
    EXPECT_EQ(pic.canvasHeight, p.height);
    const bool alpha = p.kind != vtools::GamePictureKind::Opaque;
    EXPECT_EQ(pic.alpha != nullptr, alpha);
    if (p.kind == vtools::GamePictureKind::Rule) {
      // The rule loader takes only type 32; its first tile frame is solid,
      // its last one empty.
      DWORD size = 0;
      BYTE* raw = ReadPackEntry(&reader, pack.c_str(), entry.c_str(), &size);
      ASSERT_NE(raw, nullptr);
      ASSERT_GE(size, 8u);
      EXPECT_EQ(raw[4] | raw[5] << 8, RBP_TYPE_JBP1_ALPHA);
      LocalFree(raw);
      ASSERT_NE(pic.alpha, nullptr);
      EXPECT_GE(pic.alpha[12 * pic.width + 12], 250);
      EXPECT_EQ(pic.alpha[12 * pic.width + 627], 0);
    }
    pic.FreePixels();
  }
}

}  // namespace
