// A player build started headless on a data folder the converter wrote.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/file_io.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_game.h"

namespace {
namespace fs = std::filesystem;

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(ConvertedDataFolder, PlayerFindsThePackRunsAndClosesCleanly) {
  const std::string game = vtest::ScratchFolder("e2e", "run-game"), root = vtest::ScratchFolder("e2e", "run");
  // The small sample with the pictures the title loads.
  vtools::SampleTable table = vtools::SampleGameTable(vtools::SampleSize::Small);
  for (const std::string& n : TitleSystemPictureNames())
    table.push_back(
        vtools::PictureFile("AdvData\\GRP\\SYSTEM\\" + n + ".ZEV", {vtools::ZevVariant::Deflate, 24, 16, 16}));
  ASSERT_TRUE(vtools::WriteSampleGame(game, table));
  fs::create_directories(root + "/out");  // the job writes below an existing folder
  const e2e::ConversionResult conv = e2e::Convert(game, root + "/out", 80, 2);
  ASSERT_TRUE(conv.finished);
  ASSERT_EQ(conv.failures, 0);
  ASSERT_TRUE(fs::exists(root + "/out/data/grpack_v.mlz"));

  // The program folder holds only the player and its settings; the settings
  // send it to the converted folder (a first entry that leads nowhere is passed by).
  fs::create_directories(root + "/prog");
  const std::string exe = root + "/prog/player_ce42";
  fs::copy_file(PLAYER_CE42, exe);
  fs::permissions(exe, fs::perms::owner_exec, fs::perm_options::add);
  WriteText(root + "/prog/velmi.cfg", "[GAME_INST_FOLDER]\r\nDATA01=..\\missing\\\r\nDATA02=..\\out\\data\\\r\n");
  const std::string shot = root + "/shot.png", script = root + "/script.txt", err = root + "/player.err";
  WriteText(script, "10 shot " + shot + "\n40 quit\n");

  const int code =
      e2e::RunProgram(exe, {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + root, "VELMI_DEVICE_SCRIPT=" + script}, err, 60);
  const std::string log = Text(vtest::ReadBytes(err));
  EXPECT_EQ(code, 0) << log;
  // No start-up message box (the "Error" box of a failed start).
  EXPECT_EQ(log.find("message box"), std::string::npos) << log;
  // Frames ran: the scripted screenshot was taken before the scripted close.
  EXPECT_GT(vtest::ReadBytes(shot).size(), 8u);
  // The converted folder became the data folder: its save folder was made there.
  EXPECT_TRUE(fs::is_directory(root + "/out/data/save"));
  EXPECT_FALSE(fs::exists(root + "/prog/data"));
  // The close wrote the settings back, keeping the folder list.
  const std::string cfg = Text(vtest::ReadBytes(root + "/prog/velmi.cfg"));
  EXPECT_NE(cfg.find("DATA02=..\\out\\data\\\r\n"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("[SYSTEM_CONFIG]\r\n"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("MASTER_VOL=100\r\n"), std::string::npos) << cfg;
  if (HasFailure()) vtest::KeepScratchFolders();
}

}  // namespace
