// The ce42 player run headless on a pack of scripts assembled by the build:
// a test entry starts a new game through the mode table, the story runs
// both scripts to OP_END, and the program closes with exit code 0.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/player/rbp_builder.h"

namespace {

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(StoryEndToEnd, AssembledScriptsRunToTheEnd) {
  const std::string dir = MakeTempDir("story_e2e");
  ASSERT_FALSE(dir.empty());
  {
    std::error_code mkError;
    std::filesystem::create_directories(dir + "/prog/data", mkError);
    ASSERT_FALSE(mkError) << mkError.message();
  }
  // The pictures the story shows: the message window and the background.
  const std::vector<uint16_t> grey(640 * 480, 0x8410);
  std::vector<std::pair<std::string, Bytes>> entries = {
      {"AdvData\\mes\\e2e_start.mes", ReadFileBytes(STORY_SCRIPTS "/e2e_start.mes")},
      {"AdvData\\mes\\e2e_second.mes", ReadFileBytes(STORY_SCRIPTS "/e2e_second.mes")},
      {"AdvData\\GRP\\SYSTEM\\Messwin.rbp", MakeRbp565(640, 480, grey, 800, 600)},
      {"AdvData\\GRP\\bg\\iv_vlm00a.rbp", MakeRbp565(640, 480, grey, 800, 600)},
  };
  for (const auto& e : entries) ASSERT_FALSE(e.second.empty()) << e.first;
  ASSERT_TRUE(WritePack(dir + "/prog/data/grpack_v.mlz", entries, true));
  const std::string exe = dir + "/prog/player_story_ce42";
  {
    std::error_code cpError;
    std::filesystem::copy_file(STORY_PLAYER, exe, std::filesystem::copy_options::overwrite_existing, cpError);
    ASSERT_FALSE(cpError) << cpError.message();
  }
  // KEY_C now and then moves the message pages on; the close box is the fallback.
  std::string input;
  for (int frame = 20; frame < 1200; frame += 20)
    input += std::to_string(frame) + " key down C\n" + std::to_string(frame + 1) + " key up C\n";
  input += "3000 quit\n";
  ASSERT_TRUE(WriteFileBytes(dir + "/input.txt", Bytes(input.begin(), input.end())));

  const int code =
      e2e::RunProgram(exe, {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + dir + "/input.txt"},
                      dir + "/err.txt", 120);
  const std::string err = Text(ReadFileBytes(dir + "/err.txt"));
  EXPECT_EQ(code, 0) << err;
  EXPECT_NE(err.find("story: OP_END in e2e_second; v1=80 v2=7 v3=10 v25344=10\n"), std::string::npos) << err;
  if (!HasFailure()) {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

}  // namespace
