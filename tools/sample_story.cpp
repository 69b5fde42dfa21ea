// The sample game's story: scripts in the text form of tools/mes_text.h,
// assembled when the sample is written, and the pictures they show.  Script
// and picture names are rows of the story data tables.
#include <string>

#include "tools/mes_text.h"
#include "tools/sample_game.h"

namespace vtools {
namespace {

// The first scene of the first tab of the scene table.
const char kFirstScene[] =
    "; r1_0101_a_vlm: the first scene of the sample story.\n"
    "OP_READ_BLOCK 0\n"
    "OP_PLAY_BGM 1\n"
    "OP_BACKGROUND \"bg\\\\iv_vlm00a\"\n"
    "OP_SPEAKER \"ヴェルミ\"\n"
    "OP_MESSAGE \"ようこそ、サンプルの物語へ。\\n選んでください。\"\n"
    "OP_WAIT_PAGE 0\n"
    "OP_CLEAR_CHOICES 0\n"
    "OP_CHOICE_LABEL \"go_on\"\n"
    "OP_CHOICE_TEXT \"先へ進む\"\n"
    "OP_CHOICE_LABEL \"stay\"\n"
    "OP_CHOICE_TEXT \"ここに残る\"\n"
    "OP_CHOICE 0\n"
    "OP_LABEL \"stay\"\n"
    "OP_VAR_OP 0 1 1 0\n"
    "OP_LABEL \"go_on\"\n"
    "OP_READ_BLOCK 1\n"
    "OP_BACKGROUND \"bg\\\\iv_vlm01c\"\n"
    "OP_SPEAKER hero\n"
    "OP_MESSAGE \"次の場面へ。\"\n"
    "OP_WAIT_PAGE 0\n"
    "OP_JUMP_SCRIPT \"r1_0114_b_vlm\"\n";

// The second scene: a condition on the choice, then back to the title.
const char kSecondScene[] =
    "; r1_0114_b_vlm: the second scene of the sample story.\n"
    "OP_READ_BLOCK 0\n"
    "OP_VAR_CMP 0 1 1 0\n"
    "OP_JUMP_IF_FALSE 1 0\n"
    "OP_SPEAKER \"ヴェルミ\"\n"
    "OP_MESSAGE \"残ってくれたのですね。\"\n"
    "OP_WAIT_PAGE 0\n"
    "OP_TARGET 0 1\n"
    "OP_TRANSITION 0\n"
    "OP_WAIT 10\n"
    "OP_JUMP_SCRIPT \"title_main\"\n";

SampleFile ScriptFile(std::string path, std::string text) {
  return SampleFile{std::move(path), [t = std::move(text)] {
                      std::vector<uint8_t> bytes;
                      std::string error;
                      AssembleMes(t, &bytes, &error);  // the texts above assemble; a failure writes no code
                      return bytes;
                    }};
}

}  // namespace

void AddStoryRows(SampleTable& t, SampleSize size) {
  const bool full = size == SampleSize::Full;
  const int bgW = full ? 800 : 80, bgH = full ? 600 : 60;
  t.push_back(ScriptFile("AdvData\\mes\\r1_0101_a_vlm.mes", kFirstScene));
  t.push_back(ScriptFile("AdvData\\mes\\r1_0114_b_vlm.mes", kSecondScene));
  t.push_back(PictureFile("AdvData\\GRP\\bg\\iv_vlm00a.zev", {ZevVariant::Deflate, 24, bgW, bgH, PictureLook::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\bg\\iv_vlm01c.zev", {ZevVariant::Lz, 24, bgW, bgH, PictureLook::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\SYSTEM\\Messwin.zev", {ZevVariant::Deflate, 24, bgW, bgH, PictureLook::Grid}));
}

}  // namespace vtools
