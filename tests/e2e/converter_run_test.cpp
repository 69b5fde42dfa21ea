// The converter programs run without a display, as a script would run them:
// their exit status and error stream tell whether the data folder is complete,
// and what failed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_game.h"
#include "tools/sample_sounds.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string errors;
  std::string output;
};

// A word of a shell command line.
std::string Quoted(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a shell command whose streams go to out.txt and err.txt in folder.
ProgramRun Run(const std::string& command, const std::string& folder) {
  const int raw = std::system(command.c_str());
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.errors = Slurp(folder + "/err.txt");
  run.output = Slurp(folder + "/out.txt");
  return run;
}

// Runs convVelmi headless in `folder` (where it writes "data"), proposing
// `game` (code page 932) through a registry store (none when game is empty);
// `prefix` goes before the program (another user's identity), `arguments`
// after it.  A `store` given is named in VELMI_REGISTRY as it is.
ProgramRun RunConverter(const std::string& folder, const std::string& game, const std::string& prefix = "",
                        const std::string& arguments = "", std::string store = "") {
  if (store.empty()) {
    store = folder + "/registry.txt";
    std::ofstream out(store, std::ios::binary);
    if (!game.empty()) {
      std::string windows = e2e::PlayerPath(game);
      out << "[HKEY_CURRENT_USER\\Software\\TORVAL\\QR2]\nDataDir=sz:" << windows << "\\\n";
    }
  }
  const std::string command = "cd '" + folder + "' && VELMI_HEADLESS=1 VELMI_REGISTRY='" + store + "' WINEPREFIX='" +
                              folder + "/no-wine' " + prefix + " '" CONV_VELMI "' " + arguments + " >'" + folder +
                              "/out.txt' 2>'" + folder + "/err.txt'";
  return Run(command, folder);
}

// Runs a program with its arguments (and `environment` assignments before
// it: the caller's VELMI_ variables do not reach it), its streams kept in
// `folder`.
ProgramRun RunTool(const std::string& folder, const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& environment = "", const std::string& prefix = "") {
  std::string command =
      "env -u VELMI_MODULE_PATH -u VELMI_REGISTRY " + environment + " " + prefix + " " + Quoted(program);
  for (const std::string& a : arguments) command += " " + Quoted(a);
  command += " >" + Quoted(folder + "/out.txt") + " 2>" + Quoted(folder + "/err.txt");
  return Run(command, folder);
}

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The last summary in a program's stream, "C of T items converted, F failed
// [, P passed over][, U files not confirmed by the disk]", adds up: C + F + P
// = T.
::testing::AssertionResult SummaryAddsUp(const std::string& text) {
  const size_t at = text.rfind(" items converted, ");
  const size_t start = at == std::string::npos ? at : text.rfind(": ", at);
  int converted = 0, total = 0, failed = 0, passed = 0, length = 0;
  if (start == std::string::npos ||
      std::sscanf(text.c_str() + start + 2, "%d of %d items converted, %d failed%n", &converted, &total, &failed,
                  &length) < 3 ||
      length == 0)
    return ::testing::AssertionFailure() << "no summary in: " << text;
  // Passed over, when the summary tells it, comes next.
  int read = 0;
  if (std::sscanf(text.c_str() + start + 2 + length, ", %d passed over%n", &passed, &read) < 1 || read == 0) passed = 0;
  if (converted + failed + passed != total)
    return ::testing::AssertionFailure() << converted << " + " << failed << " + " << passed << " is not " << total;
  return ::testing::AssertionSuccess();
}

// Root writes where permissions forbid it: a test of an unwritable or
// unlistable folder runs the program as an ordinary user.  The prefix that
// does so ("" when not root), or nullopt when it cannot be done.
std::optional<std::string> OrdinaryUser() {
  if (geteuid() != 0) return std::string();
  if (std::system("command -v setpriv >/dev/null 2>&1") != 0) return std::nullopt;
  return std::string("setpriv --reuid=65534 --regid=65534 --clear-groups");
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

  // A folder without the game's program is refused with the dialog's text,
  // and a line that names the folder tried and the ways to name another.
  const std::string wrong = vtest::ScratchFolder("e2e", "conv-wrong");
  const ProgramRun notGame = RunConverter(wrong, wrong);
  EXPECT_EQ(notGame.status, 1);
  EXPECT_NE(notGame.errors.find("\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80"),  // "のフォルダ"
            std::string::npos)
      << notGame.errors;
  EXPECT_TRUE(Holds(notGame.errors, "tried " + wrong)) << notGame.errors;
  EXPECT_TRUE(Holds(notGame.errors, "VELMI_REGISTRY")) << notGame.errors;
  EXPECT_TRUE(Holds(notGame.errors, "convert_game")) << notGame.errors;
  // The warning box is printed once, where errors go.
  EXPECT_FALSE(Holds(notGame.output, "\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80")) << notGame.output;

  // The clean run ends with one summary line.
  EXPECT_TRUE(Holds(clean.output, "convVelmi: 3 of 3 items converted, 0 failed; data folder: " + ok + "/data"))
      << clean.output;
  EXPECT_TRUE(SummaryAddsUp(clean.output)) << clean.output;
}

// Arguments are answered before anything is done: in a folder where a game is
// known, "--help" tells the usage and any other argument is refused; neither
// starts a conversion.
TEST(ConverterProgram, ArgumentsAreAnsweredBeforeAnythingStarts) {
  const std::string game = vtest::ScratchFolder("e2e", "conv-args-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const struct {
    const char* arguments;
    int status;
    const char* output;  // on the standard output
    const char* errors;  // on the error stream
  } cases[] = {
      {"--help", 0, "usage: convVelmi", ""},
      {"-h", 0, "VELMI_REGISTRY", ""},
      {"--bogus", 2, "", "unknown argument: --bogus"},
      {"somewhere", 2, "", "unknown argument: somewhere"},
  };
  for (const auto& c : cases) {
    const std::string folder = vtest::ScratchFolder("e2e", std::string("conv-args") + c.arguments);
    const ProgramRun run = RunConverter(folder, game, "", c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.errors;
    EXPECT_TRUE(Holds(run.output, c.output)) << c.arguments << ": " << run.output;
    EXPECT_TRUE(Holds(run.errors, c.errors)) << c.arguments << ": " << run.errors;
    EXPECT_FALSE(fs::exists(folder + "/data")) << c.arguments;
  }
}

// A folder the converter may not list: the run ends, counts it, and the
// program fails with the dialog's failure text on the error stream.
TEST(ConverterProgram, UnlistableFolderFailsTheRun) {
  const std::string game = vtest::ScratchFolder("e2e", "conv-locked-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string folder = vtest::ScratchFolder("e2e", "conv-locked");
  // Root lists any folder: the program runs as an ordinary user instead.
  const std::optional<std::string> prefix = OrdinaryUser();
  if (!prefix) GTEST_SKIP() << "setpriv is not installed";
  if (!prefix->empty()) fs::permissions(folder, fs::perms::all);
  fs::permissions(fs::path(game) / "AdvData" / "CG", fs::perms::none);
  const ProgramRun run = RunConverter(folder, game, *prefix);
  fs::permissions(fs::path(game) / "AdvData" / "CG", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1) << run.errors;
  // 変換できなかったデータが 1 件ありました。
  EXPECT_NE(run.errors.find("\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C 1 "), std::string::npos) << run.errors;
  EXPECT_TRUE(fs::exists(folder + "/data/grpack.mlz"));
  // The folder is named as one that could not be listed, with why, and the
  // run ends with its summary.
  EXPECT_TRUE(Holds(run.errors, "convVelmi: " + game + "/AdvData/CG: folder cannot be listed (no permission)"))
      << run.errors;
  EXPECT_TRUE(Holds(run.output,
                    "convVelmi: 2 of 2 items converted, 0 failed; the files of 1 folder that could not be listed were "
                    "not counted; data folder: " +
                        folder + "/data"))
      << run.output;
  EXPECT_TRUE(SummaryAddsUp(run.output)) << run.output;
}

// convert_game checks its folders and the encoder module before it converts
// anything: each refusal names what it refused, with status 2 and no data
// folder written.
TEST(ConvertGameProgram, RefusesBeforeConverting) {
  const std::string game = vtest::ScratchFolder("e2e", "cg-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string notGame = vtest::ScratchFolder("e2e", "cg-not-game");
  const std::string root = vtest::ScratchFolder("e2e", "cg-refusals");
  const std::string locked = root + "/locked";
  fs::create_directories(locked);
  const std::optional<std::string> user = OrdinaryUser();
  // The encoder module is looked for beside the program: a copy of it alone.
  const std::string alone = root + "/alone";
  fs::create_directories(alone);
  fs::copy_file(CONVERT_GAME, alone + "/convert_game");
  const std::string lone = alone + "/convert_game";

  const std::string none = root + "/none";
  // An output folder whose "data" is a file.
  const std::string dataFile = root + "/data-file";
  fs::create_directories(dataFile);
  std::ofstream(dataFile + "/data") << "not a folder";
  // A game, whole but for its folder's name: "gamé".
  const std::string accented = root + "/gam\xC3\xA9";
  ASSERT_TRUE(vtools::WriteSampleGame(accented, SmallGame()));
  const std::string katakana = root + "/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";  // ソフト
  fs::create_directories(katakana);
  const struct {
    const char* name;
    std::string program;
    std::vector<std::string> arguments;
    std::string environment;
    int status;
    std::string said;  // on the standard output with status 0, else on the error stream
  } cases[] = {
      {"help", CONVERT_GAME, {"--help"}, "", 0, "VELMI_MODULE_PATH"},
      {"help on the exit status", CONVERT_GAME, {"--help"}, "", 0, "2: refused before anything was converted"},
      {"help on a file not confirmed", CONVERT_GAME, {"--help"}, "", 0, "or the disk did not confirm a file written"},
      {"short help", CONVERT_GAME, {"-h"}, "", 0, "usage: convert_game"},
      {"unknown argument", CONVERT_GAME, {"--fast", game, root}, "", 2, "unknown argument: --fast"},
      {"bad screen", CONVERT_GAME, {"--screen", "800x600", game, root}, "", 2, "800x600"},
      {"one folder", CONVERT_GAME, {game}, "", 2, "the output folder is missing"},
      {"missing game folder", CONVERT_GAME, {"--no-sound", none, root}, "", 2, none + " does not exist"},
      {"game folder without QR2.exe", CONVERT_GAME, {"--no-sound", notGame, root}, "", 2, notGame + " holds no QR2"},
      {"missing output folder", CONVERT_GAME, {"--no-sound", game, none}, "", 2, none + " does not exist"},
      {"output folder not writable", CONVERT_GAME, {"--no-sound", game, locked}, "", 2, "cannot write in " + locked},
      {"data is not a folder",
       CONVERT_GAME,
       {"--no-sound", game, dataFile},
       "",
       2,
       dataFile + "/data exists and is not a folder"},
      // Folders that code page 932 cannot hold are named as they are, not
      // through Shift-JIS (which made "gamé" "gamﾃｩ", said to be missing).
      {"game folder code page 932 cannot hold",
       CONVERT_GAME,
       {"--no-sound", accented, root},
       "",
       2,
       "the game folder " + accented +
           " has a name that code page 932 (Shift-JIS, which the converter's paths use) "
           "cannot hold: use a folder whose name, and the names of the folders above it, are in Japanese or ASCII "
           "characters; nothing was converted"},
      {"output folder code page 932 cannot hold",
       CONVERT_GAME,
       {"--no-sound", game, accented},
       "",
       2,
       "the output folder " + accented + " has a name that code page 932"},
      {"game folder ソフト without QR2.exe",
       CONVERT_GAME,
       {"--no-sound", katakana, root},
       "",
       2,
       "the game folder " + katakana + " holds no QR2.exe"},
      {"no encoder module", lone, {game, root}, "", 2, "VELMI_MODULE_PATH (not set)"},
      {"a wrong module folder", lone, {game, root}, "VELMI_MODULE_PATH=" + root, 2, "VELMI_MODULE_PATH (" + root},
  };
  for (const auto& c : cases) {
    std::string prefix;
    if (c.arguments.back() == locked) {
      if (!user) continue;  // root without setpriv: the folder is writable to it
      prefix = *user;
      fs::permissions(root, fs::perms::all);
      fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    const std::string streams = vtest::ScratchFolder("e2e", std::string("cg-streams-") + std::to_string(&c - cases));
    fs::permissions(streams, fs::perms::all);
    const ProgramRun run = RunTool(streams, c.program, c.arguments, c.environment, prefix);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.errors;
    EXPECT_TRUE(Holds(c.status == 0 ? run.output : run.errors, c.said)) << c.name << ": " << run.output << run.errors;
    EXPECT_FALSE(fs::exists(root + "/data")) << c.name;
    EXPECT_FALSE(fs::exists(locked + "/data")) << c.name;
    EXPECT_FALSE(fs::exists(accented + "/data")) << c.name;
    EXPECT_TRUE(fs::is_regular_file(dataFile + "/data")) << c.name;
  }
}

// A run that cannot start its worker (no thread may be made) is refused as
// the others are: status 2, nothing written.
TEST(ConvertGameProgram, RefusesWhenTheRunCannotStart) {
  const std::optional<std::string> user = OrdinaryUser();
  if (!user || std::system("command -v prlimit >/dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv or prlimit missing";
  // As root, a user of its own: another test's process of the same user
  // would use up the one process the limit allows.
  const std::string uid = std::to_string(61000 + getpid() % 1000);
  const std::string identity =
      user->empty() ? std::string() : "setpriv --reuid=" + uid + " --regid=" + uid + " --clear-groups";
  const std::string game = vtest::ScratchFolder("e2e", "cg-nothread-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string out = vtest::ScratchFolder("e2e", "cg-nothread-out");
  fs::permissions(out, fs::perms::all);
  // One process for the user: the program runs, its worker thread cannot.
  // The leak check would need a thread of its own.
  const ProgramRun run = RunTool(out, CONVERT_GAME, {"--no-sound", game, out}, "ASAN_OPTIONS=detect_leaks=0",
                                 "prlimit --nproc=1 " + identity);
  EXPECT_EQ(run.status, 2) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convert_game: the conversion could not start")) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "nothing was converted")) << run.errors;
  EXPECT_FALSE(fs::exists(out + "/data"));
}

// Names that code page 932 holds work, those whose Shift-JIS ends in the
// byte 0x5C too (ソ is 83 5C, 表 95 5C, 能 94 5C): the data folder is written
// where it was named and the summary names it in UTF-8 with '/'.
TEST(ConvertGameProgram, JapaneseFolderNamesWork) {
  const std::string root = vtest::ScratchFolder("e2e", "cg-japanese");
  const std::string game = root + "/\xE8\x83\xBD/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";  // 能/ソフト
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string out = root + "/\xE8\xA1\xA8";  // 表
  fs::create_directories(out);
  const ProgramRun run = RunTool(root, CONVERT_GAME, {"--no-sound", "--screen", "320x240", game, out});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convert_game: 3 of 3 items converted, 0 failed; data folder: " + out + "/data"))
      << run.errors;
  EXPECT_TRUE(SummaryAddsUp(run.errors)) << run.errors;
  EXPECT_TRUE(fs::exists(out + "/data/grpack.mlz"));
}

// Where the progress goes to a file or a pipe, each stage is a line as it
// starts and its items are counted in whole lines (no carriage returns
// running into one line); the same for headless convVelmi's standard output.
TEST(ConverterPrograms, ProgressInALogIsWholeLines) {
  const std::string game = vtest::ScratchFolder("e2e", "progress-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string out = vtest::ScratchFolder("e2e", "progress-cg");
  const ProgramRun cg = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
  EXPECT_EQ(cg.status, 0) << cg.errors;
  EXPECT_EQ(cg.errors.find('\r'), std::string::npos) << cg.errors;
  for (const char* line :
       {"convert_game: pictures and scripts: 3 items\n", "convert_game: pictures and scripts: 3 / 3\n",
        "convert_game: music: 0 items\n", "convert_game: sound effects: 0 items\n"})
    EXPECT_TRUE(Holds(cg.errors, line)) << line << cg.errors;
  EXPECT_LT(cg.errors.find("pictures and scripts: 3 items"), cg.errors.find("pictures and scripts: 3 / 3"));

  const std::string folder = vtest::ScratchFolder("e2e", "progress-cv");
  const ProgramRun cv = RunConverter(folder, game);
  EXPECT_EQ(cv.status, 0) << cv.errors;
  for (const char* line : {"convVelmi: pictures and scripts: 3 items\n", "convVelmi: pictures and scripts: 3 / 3\n",
                           "convVelmi: music: 0 items\n", "convVelmi: sound effects: 0 items\n"})
    EXPECT_TRUE(Holds(cv.output, line)) << line << cv.output;
  // Not the label's text at every tick: 変換データ数
  EXPECT_FALSE(Holds(cv.output, "\xE5\xA4\x89\xE6\x8F\x9B\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE6\x95\xB0"))
      << cv.output;
}

// convVelmi's folders reach the user in UTF-8 with '/': a proposed folder
// and an output folder with Japanese names work; an output folder (its
// current folder) whose name code page 932 cannot hold is refused, named as
// it is, with what to do; a store named in VELMI_REGISTRY that cannot be read
// is named on the error stream.
TEST(ConverterProgram, FolderNamesAndStoresAreToldTruly) {
  const std::string root = vtest::ScratchFolder("e2e", "conv-names");
  const std::string katakana = "/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";  // ソフト
  const std::string sjisKatakana = "/\x83\x5C\x83t\x83g";                // the same in code page 932
  const std::string game = root + "/game" + katakana;
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));

  // A game in ソフト converted into 表.
  const std::string table = root + "/\xE8\xA1\xA8";
  fs::create_directories(table);
  const ProgramRun japanese = RunConverter(table, root + "/game" + sjisKatakana);
  EXPECT_EQ(japanese.status, 0) << japanese.errors;
  EXPECT_TRUE(Holds(japanese.output, "convVelmi: 3 of 3 items converted, 0 failed; data folder: " + table + "/data"))
      << japanese.output;
  EXPECT_TRUE(SummaryAddsUp(japanese.output)) << japanese.output;

  // No QR2.exe in a folder named ソフト: the folder tried, as it is named.
  const std::string empty = root + "/empty" + katakana;
  fs::create_directories(empty);
  const std::string tried = vtest::ScratchFolder("e2e", "conv-names-tried");
  const ProgramRun notGame = RunConverter(tried, root + "/empty" + sjisKatakana);
  EXPECT_EQ(notGame.status, 1);
  EXPECT_TRUE(Holds(notGame.errors, "convVelmi: tried " + empty + "/ (it holds no QR2.exe)")) << notGame.errors;

  // Run from "outé": refused before anything is written there or elsewhere.
  const std::string accented = root + "/out\xC3\xA9";
  fs::create_directories(accented);
  const ProgramRun refused = RunConverter(accented, root + "/game" + sjisKatakana);
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Holds(refused.errors, "convVelmi: the output folder (the current folder) " + accented +
                                        " has a name that code page 932 (Shift-JIS, which the converter's paths use) "
                                        "cannot hold: run convVelmi from a folder whose name"))
      << refused.errors;
  EXPECT_TRUE(Holds(refused.errors, "Japanese or ASCII characters")) << refused.errors;
  // The box says it too, naming the folder: 出力先のフォルダ名に使えない文字があります。
  EXPECT_TRUE(Holds(refused.errors,
                    "\xE5\x87\xBA\xE5\x8A\x9B\xE5\x85\x88\xE3\x81\xAE\xE3\x83\x95\xE3\x82"
                    "\xA9\xE3\x83\xAB\xE3\x83\x80\xE5\x90\x8D\xE3\x81\xAB\xE4\xBD\xBF\xE3"
                    "\x81\x88\xE3\x81\xAA\xE3\x81\x84\xE6\x96\x87\xE5\xAD\x97"))
      << refused.errors;
  EXPECT_TRUE(Holds(refused.errors, "\n" + accented + "\n")) << refused.errors;
  EXPECT_FALSE(Holds(refused.output, accented)) << refused.output;
  EXPECT_FALSE(fs::exists(accented + "/data"));
  EXPECT_FALSE(fs::exists(root + "/out?"));

  // A store that is missing, or a folder: named, with why.
  const struct {
    std::string store;
    const char* why;
  } stores[] = {{root + "/no-store.txt", "not found"}, {root, "a folder, not a file"}};
  for (const auto& c : stores) {
    const std::string folder = vtest::ScratchFolder("e2e", "conv-names-store");
    const ProgramRun run = RunConverter(folder, "", "", "", c.store);
    EXPECT_EQ(run.status, 1) << c.store;
    EXPECT_TRUE(Holds(run.errors, "convVelmi: VELMI_REGISTRY names " + c.store + ", which cannot be read (" + c.why +
                                      "): no game folder is taken from it"))
        << run.errors;
    EXPECT_TRUE(Holds(run.errors, "no desktop game folder")) << run.errors;
  }
}

// A run of convert_game names each item it could not convert, says where
// the data folder is, and fails.
TEST(ConvertGameProgram, NamesFailedItems) {
  const std::string game = vtest::ScratchFolder("e2e", "cg-bad-game");
  vtools::SampleTable table = SmallGame();
  table.push_back(vtools::TextFile("AdvData\\CG\\broken.zev", "not a picture"));
  ASSERT_TRUE(vtools::WriteSampleGame(game, table));
  const std::string out = vtest::ScratchFolder("e2e", "cg-bad-out");
  const ProgramRun run = RunTool(out, CONVERT_GAME, {"--no-sound", "--screen", "320x240", game, out});
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convert_game: failed: " + game + "/AdvData/CG/broken.zev: not a picture"))
      << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convert_game: 3 of 4 items converted, 1 failed; data folder: " + out + "/data"))
      << run.errors;
  EXPECT_TRUE(SummaryAddsUp(run.errors)) << run.errors;
  EXPECT_FALSE(Holds(run.errors, " 0 / 0")) << run.errors;
  EXPECT_TRUE(fs::exists(out + "/data/grpack.mlz"));
}

// A pack that cannot be flushed to the disk is a failed pack: the run names
// it and fails, and no older pack is replaced by what did not reach the disk.
// The temporary name is a link to /dev/null, which takes every byte but
// refuses the flush (EINVAL).
TEST(ConvertGameProgram, PackThatCannotBeFlushedFails) {
  const std::string game = vtest::ScratchFolder("e2e", "cg-flush-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string out = vtest::ScratchFolder("e2e", "cg-flush-out");
  fs::create_directories(out + "/data");
  const std::string pack = out + "/data/grpack.mlz";
  std::ofstream(pack, std::ios::binary) << "older";
  fs::create_symlink("/dev/null", pack + ".tmp");
  const ProgramRun run = RunTool(out, CONVERT_GAME, {"--no-sound", "--screen", "320x240", game, out});
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "grpack.mlz: could not be finished (system error 87)")) << run.errors;
  EXPECT_FALSE(fs::is_symlink(pack));
  EXPECT_EQ(Slurp(pack), "older");
  EXPECT_FALSE(fs::is_symlink(pack + ".tmp"));
}

// A pack renamed into place whose folder the disk fails to flush is written:
// its items count as converted, its line says the disk did not confirm it,
// with the reason, and the summary counts the file apart from the items; the
// run fails as on any failure line.  The dialog's box tells the file, and no
// data not converted.
TEST(ConverterPrograms, PackTheDiskDidNotConfirmIsNamedAndCountedApart) {
  const std::string game = vtest::ScratchFolder("e2e", "cg-folder-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, SmallGame()));
  const std::string out = vtest::ScratchFolder("e2e", "cg-folder-out");
  const ProgramRun tool =
      RunTool(out, CONVERT_GAME, {"--no-sound", "--screen", "320x240", game, out}, "VELMI_FAIL_FOLDER_FLUSH=0");
  const std::string folder = vtest::ScratchFolder("e2e", "velmi-folder-out");
  const ProgramRun dialog = RunConverter(folder, game, "VELMI_FAIL_FOLDER_FLUSH=0");
  const struct {
    const char* name;
    const ProgramRun& run;
    const std::string& said;  // the stream with the summary
    std::string lineHead;     // what begins a failure's line
    std::string data;
  } cases[] = {{"convert_game", tool, tool.errors, "convert_game: failed: ", out + "/data"},
               {"convVelmi", dialog, dialog.output, "convVelmi: ", folder + "/data"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.run.status, 1) << c.run.errors;
    EXPECT_TRUE(Holds(c.run.errors, c.lineHead + c.data +
                                        "/grpack.mlz: was written but the disk did not confirm it (input/output "
                                        "error (the disk failed))\n"))
        << c.run.errors;
    EXPECT_TRUE(Holds(
        c.said, std::string(c.name) +
                    ": 3 of 3 items converted, 0 failed, 1 file not confirmed by the disk; data folder: " + c.data +
                    "\n"))
        << c.said;
    EXPECT_TRUE(SummaryAddsUp(c.said)) << c.said;
    EXPECT_GT(fs::file_size(c.data + "/grpack.mlz"), 16u);
    EXPECT_FALSE(fs::exists(c.data + "/grpack.mlz.tmp"));
  }
  EXPECT_TRUE(Holds(dialog.errors,
                    "変換エラー: 書き込みましたが、ディスクが確かめられなかったファイルが 1 件ありました。\n"
                    "data/grpack.mlz: 書き込みましたが、ディスクが書き込みを確かめられませんでした"
                    "（ディスクの読み書きに失敗しました）\n"))
      << dialog.errors;
  EXPECT_FALSE(Holds(dialog.errors, "変換できなかったデータ")) << dialog.errors;
}

namespace {

// Bytes no coder makes smaller: a script of them grows in the pack.
std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = char(seed >> 24);
  }
  return bytes;
}

// SmallGame with eight scripts of 24 KB of noise: a pack of about 200 KB,
// which a 64 KB disk or file-size limit stops part-way, with items after it.
vtools::SampleTable OutgrowingGame() {
  vtools::SampleTable table = SmallGame();
  for (int i = 0; i < 8; ++i)
    table.push_back(vtools::TextFile("AdvData\\SCRIPT\\big" + std::to_string(i) + ".mes", Noise(24 * 1024, i + 1)));
  return table;
}
constexpr int kOutgrowingItems = 11;  // chip.rbp, a.zev, a.mes and the eight scripts

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// What a run left in a folder.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
  return names;
}

bool AnyTemporary(const std::vector<std::string>& names) {
  for (const std::string& n : names)
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".tmp") == 0) return true;
  return false;
}

// Runs a shell script in a mount namespace of its own, where it mounts a
// small disk (exit 99 when it cannot); its exit status, or none when no such
// namespace could be had (the script's error stream file was never written).
std::optional<int> RunWithOwnMounts(const std::string& script, const std::string& errFile) {
  const int raw = std::system(("unshare -m sh -c " + Quoted(script) + " 2>/dev/null").c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (status == 99 || status == 127 || (status == 1 && !fs::exists(errFile))) return std::nullopt;
  return status;
}

}  // namespace

// A disk that fills during the pack: the item that met it and the pack are
// named with the true reason, once each; the items after it are counted in
// the pack's line, not named one by one; no temporary file stays.
TEST(ConvertGameProgram, AFullDiskIsNamedOnceWithItsReason) {
  const std::string game = vtest::ScratchFolder("e2e", "cg-full-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, OutgrowingGame()));
  const std::string out = vtest::ScratchFolder("e2e", "cg-full-out");
  const std::string streams = vtest::ScratchFolder("e2e", "cg-full-streams");
  // A 64 KB disk of its own, mounted in a mount namespace of the run: the
  // listing of its data folder is taken before the namespace goes.
  std::string script = "mount -t tmpfs -o size=64k tmpfs " + Quoted(out) + " || exit 99; env -u VELMI_MODULE_PATH " +
                       Quoted(CONVERT_GAME) + " --no-sound --screen 320x240 " + Quoted(game) + " " + Quoted(out) +
                       " >" + Quoted(streams + "/out.txt") + " 2>" + Quoted(streams + "/err.txt") +
                       "; status=$?; ls -A " + Quoted(out + "/data") + " >" + Quoted(streams + "/listing.txt") +
                       "; exit $status";
  const std::optional<int> status = RunWithOwnMounts(script, streams + "/err.txt");
  if (!status) GTEST_SKIP() << "no mount namespace with a tmpfs here (unshare -m and mount need privileges)";
  const std::string errors = Slurp(streams + "/err.txt"), listing = Slurp(streams + "/listing.txt");

  EXPECT_EQ(*status, 1) << errors;
  EXPECT_EQ(CountOf(errors, ": the pack could not be written (disk full)"), 1) << errors;
  EXPECT_TRUE(Holds(errors, "convert_game: failed: " + out + "/data/grpack.mlz: could not be finished (disk full)"))
      << errors;
  EXPECT_TRUE(Holds(errors, " later items were not written")) << errors;
  EXPECT_FALSE(Holds(errors, "system error")) << errors;
  EXPECT_LE(CountOf(errors, "convert_game: failed: "), 2) << errors;
  // No item counts as converted in a pack that was not finished.
  const std::string items = std::to_string(kOutgrowingItems);
  EXPECT_TRUE(Holds(errors, "convert_game: 0 of " + items + " items converted, " + items + " failed; data folder: "))
      << errors;
  EXPECT_TRUE(SummaryAddsUp(errors)) << errors;
  EXPECT_FALSE(Holds(listing, ".tmp")) << listing;
  EXPECT_FALSE(Holds(listing, "grpack.mlz")) << listing;
}

// A file-size limit stops the pack: both programs end (they are not killed
// half-way), name it "file too large" and leave no temporary file.
TEST(ConverterPrograms, AFileSizeLimitIsNamedAndLeavesNoTemporaryFile) {
  if (std::system("command -v prlimit >/dev/null 2>&1") != 0) GTEST_SKIP() << "prlimit is not installed";
  const std::string game = vtest::ScratchFolder("e2e", "fsize-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, OutgrowingGame()));
  const std::string limit = "prlimit --fsize=65536";

  const std::string out = vtest::ScratchFolder("e2e", "fsize-cg");
  const ProgramRun tool = RunTool(out, CONVERT_GAME, {"--no-sound", "--screen", "320x240", game, out}, "", limit);
  const std::string folder = vtest::ScratchFolder("e2e", "fsize-velmi");
  const ProgramRun dialog = RunConverter(folder, game, limit);

  const struct {
    const char* name;
    const ProgramRun& run;
    std::string data;
  } cases[] = {{"convert_game", tool, out + "/data"}, {"convVelmi", dialog, folder + "/data"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.run.status, 1) << c.name << ": " << c.run.errors;
    EXPECT_TRUE(Holds(c.run.errors, "/data/grpack.mlz: could not be finished (file too large)"))
        << c.name << ": " << c.run.errors;
    EXPECT_FALSE(Holds(c.run.errors, "system error")) << c.name << ": " << c.run.errors;
    EXPECT_FALSE(AnyTemporary(Listing(c.data))) << c.name;
    EXPECT_FALSE(fs::exists(c.data + "/grpack.mlz")) << c.name;
  }
  EXPECT_TRUE(Holds(tool.errors, "convert_game: 0 of " + std::to_string(kOutgrowingItems) + " items converted"))
      << tool.errors;
  EXPECT_TRUE(SummaryAddsUp(tool.errors)) << tool.errors;
}

// The summary counts each item once: converted, failed or passed over by
// design (a track whose flag means no file, a voice record that is not a
// sound), adding up to the total; voices it could not count are said.
TEST(ConvertGameProgram, SummaryCountsEachItemOnce) {
  std::vector<uint8_t> track(32, 0);
  track[8] = 1;  // transform-coded: the game's own tracks of this kind give no file
  std::vector<uint8_t> index = {1, 0, 0, 0};
  const std::string name = "a.txt";
  index.insert(index.end(), name.begin(), name.end());
  index.resize(4 + 60, 0);
  index.insert(index.end(), {68, 0, 0, 0, 'b', 'o', 'd', 'y'});  // offset 68: the body after the record
  const struct {
    const char* name;
    std::vector<vtools::SampleFile> extra;
    int status;
    std::string summary;
  } cases[] = {
      {"passed over",
       {vtools::BytesFile("AdvData\\MUSIC\\000.pcm", track), vtools::BytesFile("AdvData\\voice.dat", index)},
       0,
       "convert_game: 3 of 5 items converted, 0 failed, 2 passed over; data folder: "},
      {"damaged voice index",
       {vtools::BytesFile("AdvData\\voice.dat", {0xFF, 0xFF, 0xFF, 0x7F, 1, 2})},
       1,
       "convert_game: 3 of 3 items converted, 0 failed; the voices were not counted: the voice index is damaged; "
       "data folder: "},
  };
  for (const auto& c : cases) {
    const std::string game = vtest::ScratchFolder("e2e", std::string("sum-game-") + c.name);
    vtools::SampleTable table = SmallGame();
    table.insert(table.end(), c.extra.begin(), c.extra.end());
    ASSERT_TRUE(vtools::WriteSampleGame(game, table)) << c.name;
    const std::string out = vtest::ScratchFolder("e2e", std::string("sum-out-") + c.name);
    const ProgramRun run = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.errors;
    EXPECT_TRUE(Holds(run.errors, c.summary)) << c.name << ": " << run.errors;
    EXPECT_TRUE(SummaryAddsUp(run.errors)) << c.name << ": " << run.errors;
  }
}

// A pack whose temporary file cannot be removed (its folder is read-only
// to the user) is named with that file; the dialog's box names the failed
// items relative to the game's and the output folder.
TEST(ConverterProgram, NamesTheFileLeftBehind) {
  const std::optional<std::string> user = OrdinaryUser();
  if (!user || user->empty()) GTEST_SKIP() << "needs root and setpriv to make a folder read-only to the run";
  const std::string game = vtest::ScratchFolder("e2e", "left-game");
  vtools::SampleTable table = SmallGame();
  table.push_back(vtools::TextFile("AdvData\\CG\\broken.zev", "not a picture"));
  ASSERT_TRUE(vtools::WriteSampleGame(game, table));
  const std::string folder = vtest::ScratchFolder("e2e", "left-run");
  // The data folder is the owner's and read-only to the run; the pack's
  // temporary file is there already, writable to all: it is written, but
  // neither renamed nor removed.
  for (const char* sub : {"/data", "/data/bgm", "/data/se"}) fs::create_directories(folder + sub);
  const std::string temporary = folder + "/data/grpack.mlz.tmp";
  { std::ofstream(temporary) << "old"; }
  fs::permissions(folder, fs::perms::all);
  fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
  fs::permissions(folder + "/data", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
  const ProgramRun run = RunConverter(folder, game, *user);
  fs::permissions(folder + "/data", fs::perms::owner_all);

  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convVelmi: " + folder +
                                    "/data/grpack.mlz: could not be finished (no permission); "
                                    "the 3 items written to it are lost; " +
                                    temporary + " was left behind"))
      << run.errors;
  EXPECT_GT(fs::file_size(temporary), 3u);
  // The box: its count, then each failure, relative to the game folder or
  // the output folder, in Japanese.
  // 変換できなかったデータが 4 件ありました。
  EXPECT_TRUE(Holds(run.errors,
                    "\xE5\xA4\x89\xE6\x8F\x9B\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xAA\xE3\x81\x8B\xE3\x81\xA3"
                    "\xE3\x81\x9F\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C 4 "))
      << run.errors;
  // "AdvData/CG/broken.zev: 変換できる画像ではありません"
  EXPECT_TRUE(Holds(run.errors,
                    "\nAdvData/CG/broken.zev: \xE5\xA4\x89\xE6\x8F\x9B\xE3\x81\xA7\xE3\x81\x8D\xE3\x82\x8B"
                    "\xE7\x94\xBB\xE5\x83\x8F"))
      << run.errors;
  // "data/grpack.mlz: 完成できませんでした"
  EXPECT_TRUE(Holds(run.errors, "\ndata/grpack.mlz: \xE5\xAE\x8C\xE6\x88\x90\xE3\x81\xA7\xE3\x81\x8D")) << run.errors;
  EXPECT_TRUE(Holds(run.output, "convVelmi: 0 of 4 items converted, 4 failed; data folder: ")) << run.output;
  EXPECT_TRUE(SummaryAddsUp(run.output)) << run.output;
}

namespace {

// The items of the stages a program's log announces ("<stage>: N items"):
// the run's total, when its walk named no file it could not take.
int StageItems(const std::string& log) {
  int items = 0;
  for (size_t start = 0, end; start < log.size(); start = end + 1) {
    end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    const size_t colon = line.rfind(": ");
    if (colon == std::string::npos) continue;
    const std::string tail = line.substr(colon + 2);
    const size_t space = tail.find(' ');
    if (space == 0 || space == std::string::npos || tail.find_first_not_of("0123456789") != space) continue;
    if (tail.compare(space, std::string::npos, " items") == 0 || tail.compare(space, std::string::npos, " item") == 0)
      items += std::stoi(tail.substr(0, space));
  }
  return items;
}

// The summary's total ("C of T items converted").
int SummaryTotal(const std::string& text) {
  const size_t at = text.rfind(" items converted, ");
  const size_t of = at == std::string::npos ? at : text.rfind(" of ", at);
  return of == std::string::npos ? -1 : std::atoi(text.c_str() + of + 4);
}

// The dialog's box as a run without a window writes it on the error stream
// ("変換エラー: " and its text): its lines, the count first.
std::vector<std::string> BoxLines(const std::string& errors) {
  std::vector<std::string> lines;
  const std::string caption = "\xE5\xA4\x89\xE6\x8F\x9B\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: ";  // 変換エラー
  size_t at = errors.rfind(caption);
  if (at == std::string::npos) return lines;
  for (at += caption.size(); at < errors.size();) {
    size_t end = errors.find('\n', at);
    if (end == std::string::npos) end = errors.size();
    const std::string line = errors.substr(at, end - at);
    if (line.rfind("convVelmi: ", 0) == 0) break;
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The items a line of the box stands for: the counts it shows ("N 件")
// added, or one when it shows none.
int ItemsShown(const std::string& line) {
  const std::string ken = " \xE4\xBB\xB6";  // " 件"
  int items = 0;
  bool any = false;
  for (size_t at = line.find(ken); at != std::string::npos; at = line.find(ken, at + ken.size())) {
    size_t start = at;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(line[start - 1]))) --start;
    if (start == at) continue;
    items += std::stoi(line.substr(start, at - start));
    any = true;
  }
  return any ? items : 1;
}

// The box's first line is its count; the counts of the other lines, "ほか N
// 件" included, add up to it.
::testing::AssertionResult BoxAddsUp(const std::vector<std::string>& box) {
  if (box.size() < 2) return ::testing::AssertionFailure() << "no box";
  int shown = 0;
  for (size_t i = 1; i < box.size(); ++i) shown += ItemsShown(box[i]);
  if (shown != ItemsShown(box[0])) return ::testing::AssertionFailure() << shown << " shown, " << box[0];
  return ::testing::AssertionSuccess();
}

}  // namespace

// A disk that fills during the sound effects, or a file-size limit that
// stops the larger files: each cause is told once (the first file of a stage
// that could not be written, one line for the stage's later ones, a pack),
// the stage goes on with the files that fit, the box puts the causes first
// and its counts add up to its first line's, and the summary's to its total.
// The full-count folder's pictures and music take about 350 KB; its sound
// effects about 2 KB each, the one short one far less.
TEST(ConverterPrograms, AFullDiskIsToldOncePerCause) {
  const std::string game = vtest::ScratchFolder("e2e", "cause-game");
  vtools::SampleTable table = vtools::SampleGameTable(vtools::SampleSize::Full);
  const std::string shortEffect = "220";
  table.push_back(vtools::BytesFile("AdvData\\SE\\" + shortEffect + ".pcm",
                                    vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.01})));
  ASSERT_TRUE(vtools::WriteSampleGame(game, table));
  const std::string root = vtest::ScratchFolder("e2e", "cause");
  const std::string registry = root + "/registry.txt";
  std::ofstream(registry, std::ios::binary)
      << "[HKEY_CURRENT_USER\\Software\\TORVAL\\QR2]\nDataDir=sz:" << e2e::PlayerPath(game) << "\\\n";
  struct Runs {
    std::string toolErrors, dialogErrors, dialogOutput;
    std::string effects;  // the sound effects convert_game wrote
  };
  // Both programs, each in an output folder of its own, after `setup`.
  const auto runBoth = [&](const std::string& name, const std::string& setup, const std::string& prefix) {
    const std::string tool = root + "/" + name + "-tool", dialog = root + "/" + name + "-dialog",
                      streams = root + "/" + name;
    for (const std::string& f : {tool, dialog, streams}) fs::create_directories(f);
    // The streams go through pipes: a file-size limit is the programs' own.
    const std::string script = setup + " env -u VELMI_MODULE_PATH -u VELMI_REGISTRY " + prefix + " " +
                               Quoted(CONVERT_GAME) + " --screen 320x240 " + Quoted(game) + " " + Quoted(tool) +
                               " 2>&1 >/dev/null | cat >" + Quoted(streams + "/tool-err.txt") + "; ls " +
                               Quoted(tool + "/data/se") + " >" + Quoted(streams + "/effects.txt") + "; cd " +
                               Quoted(dialog) + " && { VELMI_HEADLESS=1 VELMI_REGISTRY=" + Quoted(registry) +
                               " WINEPREFIX=" + Quoted(dialog + "/no-wine") + " " + prefix + " " + Quoted(CONV_VELMI) +
                               " 2>&1 1>&3 3>&- | cat >" + Quoted(streams + "/dialog-err.txt") + "; } 3>&1 | cat >" +
                               Quoted(streams + "/dialog-out.txt") + "; exit 0";
    // A disk of its own is mounted in a mount namespace of the runs.
    const int raw =
        std::system(((setup.empty() ? "sh -c " : "unshare -m sh -c ") + Quoted(script) + " 2>/dev/null").c_str());
    std::optional<Runs> runs;
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) return runs;
    runs = Runs{Slurp(streams + "/tool-err.txt"), Slurp(streams + "/dialog-err.txt"),
                Slurp(streams + "/dialog-out.txt"), Slurp(streams + "/effects.txt")};
    return runs;
  };
  const auto disk = [&](const std::string& folder) {
    return "mount -t tmpfs -o size=640k tmpfs " + Quoted(root + "/" + folder) + " || exit 99;";
  };
  const struct {
    const char* name;
    std::string setup, prefix, reason;
    int mostLines;  // the disk: an effect, the later ones, the voice pack; the limit: two a stage
  } cases[] = {
      {"disk", disk("disk-tool") + disk("disk-dialog"), "", "disk full", 3},
      {"limit", "", "prlimit --fsize=1024", "file too large", 8},
  };
  bool noDisk = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Runs> runs = runBoth(c.name, c.setup, c.prefix);
    if (!runs) {
      EXPECT_FALSE(c.setup.empty()) << "the runs did not start";
      noDisk = true;
      continue;
    }
    const std::string& errors = runs->toolErrors;
    const std::string said = "(" + c.reason + ")";
    EXPECT_LE(CountOf(errors, said), c.mostLines) << errors;
    EXPECT_EQ(CountOf(errors, " later sound effects were not written " + said), 1) << errors;
    EXPECT_TRUE(SummaryAddsUp(errors)) << errors;
    EXPECT_TRUE(SummaryAddsUp(runs->dialogOutput)) << runs->dialogOutput;
    // Every stage's items are in the total, the voices of the pack that
    // could not be created too.
    EXPECT_EQ(SummaryTotal(errors), StageItems(errors)) << errors;
    // Under the limit the short effect, after the first that failed, fits.
    if (c.setup.empty()) {
      EXPECT_TRUE(Holds(runs->effects, shortEffect + ".mp3")) << runs->effects;
    }
    // The box: the voice pack is shown, not counted among the rest.
    const std::vector<std::string> box = BoxLines(runs->dialogErrors);
    EXPECT_TRUE(BoxAddsUp(box)) << runs->dialogErrors;
    ASSERT_GE(box.size(), 3u) << runs->dialogErrors;
    bool voicePackShown = false;
    for (const std::string& line : box) voicePackShown = voicePackShown || Holds(line, "voice.mlz");
    EXPECT_TRUE(voicePackShown) << runs->dialogErrors;
  }
  if (noDisk) GTEST_SKIP() << "no mount namespace with a tmpfs here (unshare -m and mount need privileges)";
}

namespace {

// SmallGame with music tracks 001 and 003 and effect 002; track 003 lasts
// `longSeconds`.
vtools::SampleTable GameWithSounds(double longSeconds) {
  vtools::SampleTable table = SmallGame();
  table.push_back(
      vtools::BytesFile("AdvData\\MUSIC\\001.pcm", vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.3})));
  table.push_back(vtools::BytesFile("AdvData\\MUSIC\\003.pcm",
                                    vtools::SoundImage({vtools::SoundShape::Pcm, 550, 22050, 1, longSeconds})));
  table.push_back(
      vtools::BytesFile("AdvData\\SE\\002.pcm", vtools::SoundImage({vtools::SoundShape::Wave16, 660, 22050, 1, 0.3})));
  return table;
}

// The files below a folder, by their paths relative to it.
std::map<std::string, std::vector<uint8_t>> FilesBelow(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (!entry.is_directory())
      files[fs::relative(entry.path(), folder).string()] = vtest::ReadBytes(entry.path().string());
  return files;
}

}  // namespace

// A music or effect file that cannot be written is named with the system's
// reason (a folder at its name, a disk that fills); an earlier file of its
// name is kept whole, and said to be; no temporary file stays.
TEST(ConvertGameProgram, MusicAndEffectWritesThatFailAreNamedWithTheirReason) {
  const std::string game = vtest::ScratchFolder("e2e", "sound-fail-game");
  // Track 003 codes to about 100 KB: more than the small disk below holds.
  ASSERT_TRUE(vtools::WriteSampleGame(game, GameWithSounds(12)));

  // A folder at the name of track 001.
  const std::string out = vtest::ScratchFolder("e2e", "sound-fail-folder");
  fs::create_directories(out + "/data/bgm/001.mp3");
  const ProgramRun run = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_TRUE(Holds(run.errors, "convert_game: failed: " + game + "/AdvData/MUSIC/001.pcm: cannot write " + out +
                                    "/data/bgm/001.mp3 (a folder has that name)\n"))
      << run.errors;
  EXPECT_FALSE(Holds(run.errors, "system error")) << run.errors;
  EXPECT_TRUE(fs::is_directory(out + "/data/bgm/001.mp3"));
  EXPECT_FALSE(AnyTemporary(Listing(out + "/data/bgm")));
  EXPECT_TRUE(Holds(run.errors, "convert_game: 5 of 6 items converted, 1 failed; data folder: ")) << run.errors;

  // A 64 KB disk of its own that holds an earlier track 003: the new one
  // does not fit.  What the run left is read before the namespace goes.
  const std::string full = vtest::ScratchFolder("e2e", "sound-fail-full");
  const std::string streams = vtest::ScratchFolder("e2e", "sound-fail-streams");
  const std::string script =
      "mount -t tmpfs -o size=64k tmpfs " + Quoted(full) + " || exit 99; mkdir -p " + Quoted(full + "/data/bgm") +
      " && printf earlier >" + Quoted(full + "/data/bgm/003.mp3") + " || exit 99; env -u VELMI_MODULE_PATH " +
      Quoted(CONVERT_GAME) + " --screen 320x240 " + Quoted(game) + " " + Quoted(full) + " >" +
      Quoted(streams + "/out.txt") + " 2>" + Quoted(streams + "/err.txt") + "; status=$?; ls -A " +
      Quoted(full + "/data/bgm") + " " + Quoted(full + "/data/se") + " >" + Quoted(streams + "/listing.txt") +
      "; cat " + Quoted(full + "/data/bgm/003.mp3") + " >" + Quoted(streams + "/003.mp3") + "; exit $status";
  const std::optional<int> status = RunWithOwnMounts(script, streams + "/err.txt");
  if (!status) GTEST_SKIP() << "no mount namespace with a tmpfs here (unshare -m and mount need privileges)";
  const std::string errors = Slurp(streams + "/err.txt"), listing = Slurp(streams + "/listing.txt");
  EXPECT_EQ(*status, 1) << errors;
  EXPECT_TRUE(Holds(errors, "convert_game: failed: " + game + "/AdvData/MUSIC/003.pcm: cannot write " + full +
                                "/data/bgm/003.mp3 (disk full); the earlier file was kept\n"))
      << errors;
  EXPECT_FALSE(Holds(errors, "system error")) << errors;
  EXPECT_EQ(Slurp(streams + "/003.mp3"), "earlier");
  EXPECT_FALSE(Holds(listing, ".tmp")) << listing;
}

// A run killed while it writes a music file leaves every file whole: the
// earlier one or the new one.  The next run replaces what the killed one
// left (its temporary file too) and leaves the data folder byte for byte as
// a clean run does.  The temporary name of track 003 is a pipe the test
// reads: the run blocks in its write once the pipe is full, and is killed
// there; what it wrote becomes the temporary file it left.
TEST(ConvertGameProgram, ARunKilledMidWriteLeavesWholeFilesAndTheNextRunEndsClean) {
  const std::string game = vtest::ScratchFolder("e2e", "killed-game");
  ASSERT_TRUE(vtools::WriteSampleGame(game, GameWithSounds(3)));  // track 003: about 24 KB
  const std::string clean = vtest::ScratchFolder("e2e", "killed-clean");
  const ProgramRun reference = RunTool(clean, CONVERT_GAME, {"--screen", "320x240", game, clean});
  ASSERT_EQ(reference.status, 0) << reference.errors;
  const auto cleanFiles = FilesBelow(clean + "/data");
  ASSERT_EQ(cleanFiles.count("bgm/003.mp3"), 1u);
  ASSERT_GT(cleanFiles.at("bgm/003.mp3").size(), 16384u);
  EXPECT_FALSE(AnyTemporary(Listing(clean + "/data/bgm")));
  EXPECT_FALSE(AnyTemporary(Listing(clean + "/data/se")));

  // An earlier run's files, and the pipe at 003's temporary name.
  const std::string out = vtest::ScratchFolder("e2e", "killed-out");
  const std::map<std::string, std::string> earlier = {
      {"bgm/001.mp3", "earlier 001"}, {"bgm/003.mp3", "earlier 003"}, {"se/002.mp3", "earlier 002"}};
  for (const auto& [name, text] : earlier) ASSERT_TRUE(vtest::WriteText(out + "/data/" + name, text));
  const std::string pipe = out + "/data/bgm/003.mp3.tmp";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ASSERT_GT(fcntl(reader, F_SETPIPE_SZ, 4096), 0);

  const std::vector<std::string> words = {"env",        "-u",       "VELMI_MODULE_PATH", "-u", "VELMI_REGISTRY",
                                          CONVERT_GAME, "--screen", "320x240",           game, out};
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (out + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (out + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = -1;
  ASSERT_EQ(posix_spawnp(&child, "env", &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const int ended = int(syscall(SYS_pidfd_open, child, 0));
  ASSERT_GE(ended, 0);
  // The first bytes in the pipe, or the run's end when it never writes there.
  pollfd waits[2] = {{reader, POLLIN, 0}, {ended, POLLIN, 0}};
  while (poll(waits, 2, -1) < 0 && errno == EINTR) {
  }
  std::vector<uint8_t> written(1024);
  const ssize_t got = (waits[0].revents & POLLIN) ? read(reader, written.data(), written.size()) : -1;
  kill(child, SIGKILL);
  int raw = 0;
  waitpid(child, &raw, 0);
  close(ended);
  close(reader);
  ASSERT_GT(got, 0) << "the run did not write track 003 through its temporary name: " << Slurp(out + "/err.txt");
  ASSERT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL) << "the run ended before it was killed";

  // Track 001 was replaced before the kill, 003 and 002 not yet: each file
  // is whole, the earlier one or the clean run's.
  EXPECT_EQ(vtest::ReadBytes(out + "/data/bgm/001.mp3"), cleanFiles.at("bgm/001.mp3"));
  EXPECT_EQ(vtest::ReadText(out + "/data/bgm/003.mp3"), "earlier 003");
  EXPECT_EQ(vtest::ReadText(out + "/data/se/002.mp3"), "earlier 002");

  // What the killed run left at the temporary name: the bytes it wrote.
  written.resize(size_t(got));
  fs::remove(pipe);
  ASSERT_TRUE(vtest::WriteBytes(pipe, written));
  const ProgramRun again = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
  EXPECT_EQ(again.status, 0) << again.errors;
  const auto files = FilesBelow(out + "/data");
  EXPECT_EQ(files.size(), cleanFiles.size());
  for (const auto& [name, bytes] : cleanFiles) {
    ASSERT_EQ(files.count(name), 1u) << name;
    EXPECT_TRUE(files.at(name) == bytes) << name;
  }
  for (const auto& entry : files) EXPECT_EQ(cleanFiles.count(entry.first), 1u) << entry.first;
}

// A cause of the music folder stops every track: the first is named, the
// later ones are told in one line with how many of them kept the file of an
// earlier run, whatever the cause (a read-only disk mounted over the folder,
// a folder the run may not write, a file where the folder goes); the effects
// are written all the same.
TEST(ConvertGameProgram, EachCauseOfTheMusicFolderIsToldInTwoLines) {
  const std::string game = vtest::ScratchFolder("e2e", "bgm-cause-game");
  vtools::SampleTable table = SmallGame();
  constexpr int kTracks = 6;
  for (int i = 0; i < kTracks; ++i)
    table.push_back(vtools::BytesFile("AdvData\\MUSIC\\00" + std::to_string(i) + ".pcm",
                                      vtools::SoundImage({vtools::SoundShape::Pcm, 440.0 + 20 * i, 22050, 1, 0.2})));
  table.push_back(
      vtools::BytesFile("AdvData\\SE\\002.pcm", vtools::SoundImage({vtools::SoundShape::Wave16, 660, 22050, 1, 0.2})));
  ASSERT_TRUE(vtools::WriteSampleGame(game, table));
  const std::optional<std::string> user = OrdinaryUser();
  enum class Setup { kReadOnlyMount, kNoWritePermission, kFileAtTheFolder };
  const struct {
    const char* name;
    Setup setup;
    std::string reason;
  } cases[] = {
      {"read-only", Setup::kReadOnlyMount, "read-only disk"},
      {"unwritable", Setup::kNoWritePermission, "no permission"},
      {"file", Setup::kFileAtTheFolder, "a file has the folder's name"},
  };
  std::vector<std::string> skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = vtest::ScratchFolder("e2e", std::string("bgm-cause-") + c.name);
    const std::string bgm = out + "/data/bgm";
    // An earlier run's data folder, where the folder stays one.
    const bool earlier = c.setup != Setup::kFileAtTheFolder;
    if (earlier) {
      const ProgramRun first = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
      ASSERT_EQ(first.status, 0) << first.errors;
    }
    ProgramRun run;
    if (c.setup == Setup::kReadOnlyMount) {
      const std::string script = "mount --bind " + Quoted(bgm) + " " + Quoted(bgm) + " && mount -o remount,ro,bind " +
                                 Quoted(bgm) + " " + Quoted(bgm) + " || exit 99; env -u VELMI_MODULE_PATH " +
                                 Quoted(CONVERT_GAME) + " --screen 320x240 " + Quoted(game) + " " + Quoted(out) + " >" +
                                 Quoted(out + "/out.txt") + " 2>" + Quoted(out + "/err.txt");
      const std::optional<int> status = RunWithOwnMounts(script, out + "/err.txt");
      if (!status) {
        skipped.push_back(std::string(c.name) + ": no mount namespace here (unshare -m and mount need privileges)");
        continue;
      }
      run = {*status, Slurp(out + "/err.txt"), Slurp(out + "/out.txt")};
    } else if (c.setup == Setup::kNoWritePermission) {
      if (!user || user->empty()) {
        skipped.push_back(std::string(c.name) + ": needs root and setpriv to keep the run from writing a folder");
        continue;
      }
      // The rest of the data folder is the run's to write; the music folder
      // is not.
      for (const std::string& f : {out, out + "/data", out + "/data/se"}) fs::permissions(f, fs::perms::all);
      fs::permissions(bgm, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
      run = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out}, "", *user);
    } else {
      ASSERT_TRUE(vtest::WriteText(bgm, "a file where the music folder goes"));
      run = RunTool(out, CONVERT_GAME, {"--screen", "320x240", game, out});
    }

    const std::string said = "(" + c.reason + ")";
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_EQ(CountOf(run.errors, said), 2) << run.errors;
    EXPECT_EQ(CountOf(run.errors, "convert_game: failed: "), 2) << run.errors;
    EXPECT_TRUE(Holds(run.errors, "convert_game: failed: " + game + "/AdvData/MUSIC/000.pcm: cannot write " + bgm +
                                      "/000.mp3 " + said + (earlier ? "; the earlier file was kept" : "") + "\n"))
        << run.errors;
    EXPECT_TRUE(Holds(run.errors,
                      "convert_game: failed: " + bgm + "/001.mp3 and " + std::to_string(kTracks - 2) +
                          " later music tracks were not written " + said +
                          (earlier ? "; " + std::to_string(kTracks - 1) + " earlier files were kept in " + bgm + "\n"
                                   : std::string("\n"))))
        << run.errors;
    const std::string total = std::to_string(3 + kTracks + 1);
    EXPECT_TRUE(Holds(run.errors, "convert_game: 4 of " + total + " items converted, " + std::to_string(kTracks) +
                                      " failed; data folder: "))
        << run.errors;
    EXPECT_TRUE(SummaryAddsUp(run.errors)) << run.errors;
    if (earlier) {
      EXPECT_FALSE(AnyTemporary(Listing(bgm)));
      fs::permissions(bgm, fs::perms::owner_all);
    }
  }
  for (const std::string& s : skipped) std::fprintf(stderr, "skipped %s\n", s.c_str());
  if (!skipped.empty()) GTEST_SKIP() << skipped.size() << " cases could not be set up here";
}
