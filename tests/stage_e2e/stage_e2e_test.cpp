// A scene script assembled by the build, run headless in the ce42 and ce30
// players: background, two characters, a speaker, three message pages, a
// character glide and a choice.  Screenshots at rest points are held
// against stored images, exactly outside the text areas and with room for
// the font's rendering inside them.  VELMI_UPDATE_GOLDEN=1 stores them anew.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/player/rbp_builder.h"

namespace {

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct Build {
  const char* name;
  const char* player;
  const char* pack;
  int width, height;
};

// Canvas rectangles holding text: the message window's text area (with the
// name plate) and the two choice rows.
const std::vector<CanvasRect> kTextAreas = {{6, 380, 736, 208}, {160, 224, 480, 96}};

// Pictures at the build's screen size for an 800 x 600 canvas.
std::vector<std::pair<std::string, Bytes>> Pictures(int w, int h) {
  auto sx = [&](int v) { return v * w / 800; };
  auto sy = [&](int v) { return v * h / 600; };
  std::vector<uint16_t> bg(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bg[size_t(y) * w + x] = uint16_t(((x * 31 / w) << 11) | ((y * 63 / h) << 5) | 8);
  // Characters: an opaque body in a clear frame, 300 x 450 canvas units.
  const int cw = sx(300), ch = sy(450);
  std::vector<uint16_t> figure(size_t(cw) * ch, 0xFD20);
  std::vector<uint8_t> alpha(size_t(cw) * ch, 0);
  for (int y = ch / 8; y < ch; ++y)
    for (int x = cw / 4; x < cw * 3 / 4; ++x) alpha[size_t(y) * cw + x] = 255;
  // The window picture: frame, panel, buttons and their highlights, captions.
  std::vector<uint16_t> win(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint16_t c = 0x0010;                                  // frame
      if (y >= sy(208)) c = 0x2104;                         // text panel
      if (y >= sy(378)) c = 0x7BEF;                         // page cursor, plates, captions
      if (x >= sx(742)) c = y < sy(132) ? 0x07E0 : 0xFFE0;  // buttons, highlighted buttons
      win[size_t(y) * w + x] = c;
    }
  return {{"AdvData\\GRP\\bg\\stage_bg.rbp", MakeRbp565(w, h, bg, 800, 600)},
          {"AdvData\\GRP\\ch\\stage_a.rbp", MakeRbpAlpha(cw, ch, figure, alpha, false, 300, 450)},
          {"AdvData\\GRP\\ch\\stage_b.rbp", MakeRbpAlpha(cw, ch, figure, alpha, false, 300, 450)},
          {"AdvData\\GRP\\SYSTEM\\Messwin.rbp", MakeRbp565(w, h, win, 800, 600)}};
}

class StageEndToEnd : public ::testing::TestWithParam<Build> {};

TEST_P(StageEndToEnd, SceneScreenshotsMatch) {
  const Build& b = GetParam();
  const std::string dir = MakeTempDir((std::string("stage_e2e_") + b.name).c_str());
  ASSERT_FALSE(dir.empty());
  {
    std::error_code mkError;
    std::filesystem::create_directories(dir + "/prog/data", mkError);
    ASSERT_FALSE(mkError) << mkError.message();
  }
  auto entries = Pictures(b.width, b.height);
  entries.push_back({"AdvData\\mes\\stage_scene.mes", ReadFileBytes(STAGE_SCRIPT)});
  for (const auto& e : entries) ASSERT_FALSE(e.second.empty()) << e.first;
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, entries, true));
  const std::string exe = dir + "/prog/player_stage";
  {
    std::error_code cpError;
    std::filesystem::copy_file(b.player, exe, std::filesystem::copy_options::overwrite_existing, cpError);
    ASSERT_FALSE(cpError) << cpError.message();
  }
  // Rest points: page 1 with both characters, page 2 on two lines, page 3
  // after the glide, the choice list; then the first option is taken.
  const char* shots[] = {"page1", "page2", "glide", "choice"};
  const int shotFrames[] = {120, 200, 290, 360};
  std::string input;
  for (int i = 0; i < 4; ++i) input += std::to_string(shotFrames[i]) + " shot " + dir + "/" + shots[i] + ".png\n";
  for (int f : {130, 210, 300}) input += std::to_string(f) + " key down C\n" + std::to_string(f + 1) + " key up C\n";
  // The first option's row (160, 224, 480 x 40): one tap highlights it, the next takes it.
  const std::string row = std::to_string(300 * b.width / 800) + " " + std::to_string(240 * b.height / 600);
  input += "370 tap " + row + "\n400 tap " + row + "\n1500 quit\n";
  ASSERT_TRUE(WriteFileBytes(dir + "/input.txt", Bytes(input.begin(), input.end())));

  const int code =
      e2e::RunProgram(exe,
                      {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + dir + "/input.txt",
                       // The glyphs of one font whatever else the machine has installed.
                       "FONTCONFIG_FILE=" + std::string(VELMI_BINARY_DIR) + "/tests/text/fonts.conf"},
                      dir + "/err.txt", 120);
  const std::string err = Text(ReadFileBytes(dir + "/err.txt"));
  EXPECT_EQ(code, 0) << err;
  // The first option ("yes") was taken, and nothing failed to load.
  EXPECT_NE(err.find("stage: OP_END; v1=1\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("picture not loaded"), std::string::npos) << err;

  const bool update = std::getenv("VELMI_UPDATE_GOLDEN") != nullptr;
  for (const char* s : shots) {
    const std::string got = dir + "/" + s + ".png";
    const std::string golden = std::string(STAGE_GOLDEN_DIR) + "/" + b.name + "_" + s + ".png";
    if (update) WriteFileBytes(golden, ReadFileBytes(got));
    int w = 0, h = 0, gw = 0, gh = 0;
    std::vector<uint16_t> have = ReadPng565(got, &w, &h), want = ReadPng565(golden, &gw, &gh);
    ASSERT_EQ(w, b.width) << s;
    ASSERT_EQ(h, b.height) << s;
    ASSERT_EQ(gw, w) << golden << ": no stored image";
    ASSERT_EQ(gh, h) << golden;
    int outside = 0;
    double inside = 0;
    CompareOutsideText(have, want, w, h, kTextAreas, &outside, &inside);
    EXPECT_EQ(outside, 0) << b.name << " " << s;
    EXPECT_LT(inside, 0.3) << b.name << " " << s;
  }
  if (!HasFailure()) {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, StageEndToEnd,
                         ::testing::Values(Build{"ce42", STAGE_PLAYER_CE42, "grpack_v.mlz", 640, 480},
                                           Build{"ce30", STAGE_PLAYER_CE30, "grpack.mlz", 320, 240}),
                         [](const ::testing::TestParamInfo<Build>& i) { return std::string(i.param.name); });

}  // namespace
