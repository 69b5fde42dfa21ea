// The player builds started headless: the logo and the title come first, the
// title menu starts a new game, and its quit item asks and closes the player
// through the window's close, writing velmi.cfg and system.dat.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"
#include "tests/player/rbp_builder.h"

namespace {
namespace fs = std::filesystem;

struct TitleRun {
  const char* name;
  const char* player;
  const char* pack;
};
const TitleRun kRuns[] = {{"ce42", PLAYER_CE42, "grpack_v.mlz"}, {"ce30", PLAYER_CE30, "grpack.mlz"}};

class TitleEndToEnd : public ::testing::TestWithParam<int> {
 protected:
  // Runs the build with the script; the exit code, and the mode report in out.
  void SetUp() override {
    static int runs = 0;
    root = vtest::ScratchFolder("e2e", std::string("title-") + kRuns[GetParam()].name + "-" + std::to_string(++runs));
  }
  int Run(const std::string& script, std::string* report) {
    const TitleRun& r = kRuns[GetParam()];
    fs::create_directories(root + "/prog/data");
    EXPECT_TRUE(WritePack(root + "/prog/data/" + r.pack, TitleSystemPictures(), false));
    const std::string exe = root + "/prog/" + fs::path(r.player).filename().string();
    fs::copy_file(r.player, exe);
    fs::permissions(exe, fs::perms::owner_exec, fs::perm_options::add);
    std::ofstream(root + "/script.txt", std::ios::binary) << script;
    const int code =
        e2e::RunProgram(exe,
                        {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + root, "VELMI_DEVICE_SCRIPT=" + root + "/script.txt",
                         "VELMI_DEVICE_REPORT=" + root + "/report.txt"},
                        root + "/player.err", 120);
    *report = vtest::ReadText(root + "/report.txt");
    return code;
  }
  std::string root;
};

using Script = e2e::DeviceScript;

TEST_P(TitleEndToEnd, QuitFromTheTitleMenuClosesAndWritesTheSettings) {
  std::string report;
  Script s;
  s.Wait("0 11 3000").Line(1, "shot " + root + "/title.png").Press("C").Wait("0 12 100").Press("UP").Press("C");
  s.Wait("35 * 100").Press("DOWN").Press("C").Line(200, "quit");
  EXPECT_EQ(Run(s.text, &report), 0) << vtest::ReadText(root + "/player.err");
  // The logo first, then the title's phases, the menu, the question, the close.
  EXPECT_LT(report.find(" mode 0 1\n"), report.find(" mode 0 11\n")) << report;
  EXPECT_NE(report.find(" mode 0 12\n"), std::string::npos) << report;
  // The question keeps the phase word of the title menu under it.
  EXPECT_NE(report.find(" mode 35 12\n"), std::string::npos) << report;
  EXPECT_NE(report.find(" mode 999 999\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("timeout"), std::string::npos) << report;
  EXPECT_GT(vtest::ReadBytes(root + "/title.png").size(), 8u);
  const std::string cfg = vtest::ReadText(root + "/prog/velmi.cfg");
  EXPECT_NE(cfg.find("[SYSTEM_CONFIG]\r\n"), std::string::npos) << cfg;
  EXPECT_GT(vtest::ReadBytes(root + "/prog/data/save/system.dat").size(), 0u);
  if (HasFailure()) vtest::KeepScratchFolders();
}

TEST_P(TitleEndToEnd, NewGameLeavesTheTitleForTheStory) {
  std::string report;
  Script s;
  s.Wait("0 11 3000").Press("C").Wait("0 12 100").Press("DOWN").Press("C").Wait("99 0 600").Line(5, "quit");
  EXPECT_EQ(Run(s.text, &report), 0) << vtest::ReadText(root + "/player.err");
  for (const char* phase : {" mode 0 13\n", " mode 0 14\n", " mode 0 15\n", " mode 0 17\n", " mode 99 0\n"})
    EXPECT_NE(report.find(phase), std::string::npos) << phase << report;
  EXPECT_EQ(report.find("timeout"), std::string::npos) << report;
  if (HasFailure()) vtest::KeepScratchFolders();
}

INSTANTIATE_TEST_SUITE_P(Builds, TitleEndToEnd, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kRuns[i.param].name); });

}  // namespace
