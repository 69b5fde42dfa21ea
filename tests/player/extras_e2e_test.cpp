// The ce42 player run headless on a pack of the extras' and story screens'
// pictures: each screen is reached (directly or from an assembled script),
// screenshot, and the run closes cleanly without a missing picture.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/player/rbp_builder.h"
#include "tests/story/assemble.h"

namespace {

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Every picture the screens load, as a 640x480 gradient of the 800x600
// canvas.
std::vector<std::pair<std::string, Bytes>> ScreenPictures() {
  std::vector<uint16_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) pixels[size_t(y) * 640 + x] = uint16_t((x / 20) << 11 | (y / 8) << 5 | 0x0A);
  const Bytes picture = MakeRbp565(640, 480, pixels, 800, 600);
  const char* const names[] = {
      "AdvData\\grp\\SYSTEM\\musicmode_BG00",
      "AdvData\\grp\\SYSTEM\\musicmode_BG01",
      "AdvData\\grp\\SYSTEM\\musicmode_chip00",
      "AdvData\\grp\\SYSTEM\\bgm_sam",
      "AdvData\\grp\\SYSTEM\\interviewBG_00",
      "AdvData\\grp\\SYSTEM\\interviewChip_00",
      "AdvData\\grp\\SYSTEM\\cgmode_BG00",
      "AdvData\\grp\\SYSTEM\\common_cg_chip00",
      "AdvData\\grp\\SYSTEM\\cgmode_dummychip",
      "AdvData\\grp\\SYSTEM\\thumbnail_vlm",
      "AdvData\\grp\\SYSTEM\\scenereplay_chip",
      "AdvData\\grp\\SYSTEM\\scenereplay_BG00",
      "AdvData\\grp\\SYSTEM\\common_kaiso_chip00",
      "AdvData\\grp\\SYSTEM\\scenereplay_dummychip",
      "AdvData\\grp\\SYSTEM\\sam_vlm_01",
      "AdvData\\GRP\\SYSTEM\\Messwin",
      "AdvData\\GRP\\MAP\\moveschool_BG00",
      "AdvData\\GRP\\MAP\\moveschool_chip00",
      "AdvData\\GRP\\MAP\\moveschool_chip01",
      "AdvData\\GRP\\MAP\\movestop",
      "AdvData\\GRP\\system\\alarm_chip00",
      "AdvData\\GRP\\system\\obake_BG00",
      "AdvData\\GRP\\system\\obake_chip00",
      "AdvData\\GRP\\system\\obake_chip01",
      "AdvData\\GRP\\system\\obake_chip02",
      "AdvData\\GRP\\ED\\Gend_01",
      "AdvData\\GRP\\ED\\Gend_02",
      "AdvData\\GRP\\ED\\ed_brs_01",
  };
  std::vector<std::pair<std::string, Bytes>> entries;
  for (const char* n : names) entries.push_back({std::string(n) + ".rbp", picture});
  return entries;
}

struct ScreenRun {
  const char* name;
  const char* mode;    // VELMI_EXTRAS_MODE
  const char* script;  // or an assembled script's text
  const char* wait;    // the mode and phase the screenshot waits for
  const char* report;  // the report's line of them
};

TEST(ExtrasEndToEnd, EachScreenIsReachedAndShown) {
  const std::string dir = MakeTempDir("extras_e2e");
  ASSERT_FALSE(dir.empty());
  {
    std::error_code mkError;
    std::filesystem::create_directories(dir + "/prog/data", mkError);
    ASSERT_FALSE(mkError) << mkError.message();
  }
  std::vector<std::pair<std::string, Bytes>> entries = ScreenPictures();
  entries.push_back({"AdvData\\mes\\roll.mes", Assemble("OP_ENDING 12\nOP_END\n")});
  entries.push_back({"AdvData\\mes\\slides.mes", Assemble("OP_ENDING 0x020A\nOP_END\n")});
  ASSERT_TRUE(WritePack(dir + "/prog/data/grpack_v.mlz", entries, true));
  const std::string exe = dir + "/prog/player_extras_ce42";
  {
    std::error_code cpError;
    std::filesystem::copy_file(EXTRAS_PLAYER, exe, std::filesystem::copy_options::overwrite_existing, cpError);
    ASSERT_FALSE(cpError) << cpError.message();
  }

  const ScreenRun runs[] = {
      {"music", "82", "", "82 1", "82 1"},      {"interviews", "83", "", "83 1", "83 1"},
      {"gallery", "80", "", "80 1", "80 1"},    {"replay", "81", "", "81 1", "81 1"},
      {"map", "10", "", "10 2", "10 2"},        {"alarm", "15", "", "15 1", "15 1"},
      {"minigame", "20", "", "20 2", "20 2"},   {"roll", "", "roll", "99 *", "99 0"},
      {"slides", "", "slides", "99 *", "99 0"},
  };
  for (const ScreenRun& r : runs) {
    const std::string shot = dir + "/" + r.name + ".png", report = dir + "/" + r.name + ".report";
    // The screen settles, is shot, and the run is closed.  The fake clock
    // keeps the screens' timed steps (the slides' changes) at the same frames
    // however busy the machine is.
    const std::string input = std::string("1 wait ") + r.wait + " 600\n30 shot " + shot + "\n31 quit\n";
    ASSERT_TRUE(WriteFileBytes(dir + "/input.txt", Bytes(input.begin(), input.end())));
    const int code =
        e2e::RunProgram(exe,
                        {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + dir + "/input.txt",
                         "VELMI_DEVICE_REPORT=" + report, "VELMI_FAKE_CLOCK=100000",
                         std::string("VELMI_EXTRAS_MODE=") + r.mode, std::string("VELMI_EXTRAS_SCRIPT=") + r.script},
                        dir + "/" + r.name + ".err", 120);
    const std::string log = Text(ReadFileBytes(report));
    EXPECT_EQ(code, 0) << r.name << ": " << Text(ReadFileBytes(dir + "/" + r.name + ".err"));
    EXPECT_NE(log.find(std::string(" mode ") + r.report), std::string::npos) << r.name << ":\n" << log;
    EXPECT_EQ(log.find("timeout"), std::string::npos) << r.name << ":\n" << log;
    EXPECT_EQ(log.find("picture"), std::string::npos) << r.name << ":\n" << log;
    // The screen shows its pictures: the shot is not black.
    int w = 0, h = 0;
    const std::vector<uint16_t> pixels = ReadPng565(shot, &w, &h);
    size_t lit = 0;
    for (uint16_t p : pixels) lit += p != 0;
    EXPECT_GT(lit, pixels.size() / 4) << r.name << " " << w << "x" << h;
  }
  if (!HasFailure()) {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

}  // namespace
