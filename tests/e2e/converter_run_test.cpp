// The converter program run without a display, as a script would run it: its
// exit status and error stream tell whether the data folder is complete.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_game.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string errors;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs convVelmi headless in `folder` (where it writes "data"), proposing
// `game` through a registry store (none when game is empty); `prefix` goes
// before the program (another user's identity).
ProgramRun RunConverter(const std::string& folder, const std::string& game, const std::string& prefix = "") {
  const std::string store = folder + "/registry.txt";
  {
    std::ofstream out(store, std::ios::binary);
    if (!game.empty()) {
      std::string windows = e2e::PlayerPath(game);
      out << "[HKEY_CURRENT_USER\\Software\\TORVAL\\QR2]\nDataDir=sz:" << windows << "\\\n";
    }
  }
  const std::string command = "cd '" + folder + "' && VELMI_HEADLESS=1 VELMI_REGISTRY='" + store + "' WINEPREFIX='" +
                              folder + "/no-wine' " + prefix + " '" CONV_VELMI "' >'" + folder + "/out.txt' 2>'" +
                              folder + "/err.txt'";
  const int raw = std::system(command.c_str());
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.errors = Slurp(folder + "/err.txt");
  return run;
}

vtools::SampleTable SmallGame() {
  vtools::SampleTable table;
  table.push_back(vtools::TextFile("QR2.exe", "marker"));
  table.push_back(vtools::PictureFile("AdvData\\CG\\a.zev", {vtools::ZevVariant::Deflate, 24, 16, 16}));
  table.push_back(vtools::TextFile("AdvData\\SCRIPT\\a.mes", "script"));
  return table;
}

}  // namespace

TEST(ConverterProgram, CleanRunSucceedsAndRefusalsFail) {
  const std::string game = vtest::ScratchFolder("e2e", "conv-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string ok = vtest::ScratchFolder("e2e", "conv-ok");
  const ProgramRun clean = RunConverter(ok, game);
  EXPECT_EQ(clean.status, 0) << clean.errors;
  EXPECT_TRUE(fs::exists(ok + "/data/grpack.mlz"));

  // No game folder proposed: nothing starts, and the error stream says why.
  const std::string none = vtest::ScratchFolder("e2e", "conv-none");
  const ProgramRun refused = RunConverter(none, "");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.errors.find("no desktop game folder"), std::string::npos) << refused.errors;
  EXPECT_FALSE(fs::exists(none + "/data/grpack.mlz"));

  // A folder without the game's program is refused with the dialog's text.
  const std::string wrong = vtest::ScratchFolder("e2e", "conv-wrong");
  const ProgramRun notGame = RunConverter(wrong, wrong);
  EXPECT_EQ(notGame.status, 1);
  EXPECT_NE(notGame.errors.find("\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80"),  // "のフォルダ"
            std::string::npos)
      << notGame.errors;
}

// A folder the converter may not list: the run ends, counts it, and the
// program fails with the dialog's failure text on the error stream.
TEST(ConverterProgram, UnlistableFolderFailsTheRun) {
  const std::string game = vtest::ScratchFolder("e2e", "conv-locked-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string folder = vtest::ScratchFolder("e2e", "conv-locked");
  std::string prefix;
  if (geteuid() == 0) {
    // Root lists any folder: run the program as an ordinary user instead.
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv is not installed";
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    fs::permissions(folder, fs::perms::all);
  }
  fs::permissions(fs::path(game) / "AdvData" / "CG", fs::perms::none);
  const ProgramRun run = RunConverter(folder, game, prefix);
  fs::permissions(fs::path(game) / "AdvData" / "CG", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1) << run.errors;
  // 変換できなかったデータが 1 件ありました。
  EXPECT_NE(run.errors.find("\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C 1 "), std::string::npos) << run.errors;
  EXPECT_TRUE(fs::exists(folder + "/data/grpack.mlz"));
}
