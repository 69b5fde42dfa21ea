// The three player builds started headless on a data folder made with the
// converter's writers: a static scene through the test hook, the screenshot
// against the expected pixels, a refused second start, and velmi.cfg
// written back by a scripted close.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "formats/pack_format.h"
#include "player/core/blit.h"
#include "player/core/picture.h"
#include "player/scenario/game_mode.h"
#include "tests/e2e/e2e_support.h"
#include "tests/player/box_words.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/temp_folder.h"
#include "tools/mes_text.h"

namespace {

struct Build {
  const char* name;
  const char* scene;
  const char* player;
  int screenW;
  const char* pack;
};

const Build kBuilds[] = {{"ce30", SCENE_CE30, PLAYER_CE30, 320, "grpack.mlz"},
                         {"ce42", SCENE_CE42, PLAYER_CE42, 640, "grpack_v.mlz"},
                         {"ce50", SCENE_CE50, PLAYER_CE50, 640, "grpack_v.mlz"}};

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The player started headless (see e2e::StartProgram).
long Spawn(const std::string& exe, std::vector<std::string> extraEnv, const std::string& errFile) {
  extraEnv.insert(extraEnv.begin(), "VELMI_HEADLESS=1");
  return e2e::StartProgram(exe, extraEnv, errFile);
}

int WaitFor(long process, int seconds) { return e2e::WaitForProgram(process, seconds); }

// A PNG is whole once it ends with its IEND chunk (empty, fixed CRC).
bool PngComplete(const Bytes& png) {
  static const uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  return png.size() > 8 + sizeof kEnd && std::memcmp(png.data() + png.size() - sizeof kEnd, kEnd, sizeof kEnd) == 0;
}

// True once another process has written the whole PNG.
bool WaitForPng(const std::string& path, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (PngComplete(ReadFileBytes(path))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Pictures of 100 x 100 design units: left and right halves differ.
std::vector<std::pair<std::string, Bytes>> ScenePictures(int size) {
  int n = size * size;
  const size_t count = size_t(n);
  std::vector<uint16_t> halves(count), white(count, 0xFFFF);
  std::vector<uint8_t> alpha6(count), alpha8(count), index(count), grey(count);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      bool left = x < size / 2;
      size_t i = size_t(y) * size + x;
      halves[i] = left ? 0xF800 : 0x07E0;
      alpha6[i] = left ? 63 : 0;
      alpha8[i] = left ? 255 : 0;
      index[i] = left ? 0 : 1;
      grey[i] = left ? 255 : 8;
    }
  return {{"t13.rbp", MakeRbp565(size, size, halves, 100, 100)},
          {"t1.rbp", MakeRbpAlpha(size, size, white, alpha6, true, 100, 100)},
          {"t30.rbp", MakeRbpJbp1Flat(size, size, 200, nullptr, 100, 100)},
          {"t32.rbp", MakeRbpJbp1Flat(size, size, 100, &alpha8, 100, 100)},
          {"t80.rbp", MakeRbpPalette(size, size, {0x00FF0000u, 0x000000FFu}, index, 100, 100)},
          {"t90.rbp", MakeRbpGrey(size, size, grey, 100, 100)}};
}

// Copies a program with its permissions, as an installation would.
bool InstallProgram(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  if (!ec) std::filesystem::permissions(to, std::filesystem::status(from).permissions(), ec);
  return !ec;
}

class EndToEnd : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    b = kBuilds[GetParam()];
    dir = MakeTempDir(b.name);
    ASSERT_FALSE(dir.empty());
    std::filesystem::create_directories(dir + "/prog/data");
  }
  void TearDown() override {
    if (HasFailure())
      vtest::KeepScratchFolders();  // for a look at what the player left
    else
      vtest::RemoveTree(dir);
  }
  // Into dir/prog, or into the folder given.
  std::string Install(const char* exe, std::string folder = "") {
    if (folder.empty()) folder = dir + "/prog";
    std::filesystem::create_directories(folder);
    std::string target = folder + "/" + std::string(std::strrchr(exe, '/') + 1);
    EXPECT_TRUE(InstallProgram(exe, target));
    return target;
  }
  std::string Script(const std::string& text) {
    std::string path = dir + "/script.txt";
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
    return path;
  }
  std::vector<std::string> Env(const std::string& script) {
    return {"VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + script};
  }
  // A run of exe on a device script with a fresh device report: its exit
  // status, its error stream and the report.
  struct ReportedRun {
    int status;
    std::string err, report;
  };
  ReportedRun RunReported(const std::string& exe, const std::string& script, std::vector<std::string> extraEnv = {},
                          int seconds = 60) {
    std::vector<std::string> env = Env(Script(script));
    env.push_back("VELMI_DEVICE_REPORT=" + dir + "/report.txt");
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::filesystem::remove(dir + "/report.txt");
    const int status = WaitFor(Spawn(exe, env, dir + "/run.err"), seconds);
    return {status, Text(ReadFileBytes(dir + "/run.err")), Text(ReadFileBytes(dir + "/report.txt"))};
  }
  // The player's file name, with which its error lines start.
  std::string PlayerName() const { return std::strrchr(b.player, '/') + 1; }
  // The converter's screen option for this build, as the boxes that say how
  // to convert again give it.
  std::string ScreenOption() const { return b.screenW == 640 ? "--screen 640x480" : "--screen 320x240"; }
  // A run of exe on the pack in place into a new game, on the fake clock,
  // with no saves and a velmi.cfg of one setting: the title menu's new game
  // chosen, and a quit 30 frames after the story's mode (99) comes; *run
  // holds its outcome.
  void RunNewGame(const std::string& exe, ReportedRun* run) {
    std::filesystem::remove_all(dir + "/prog/data/save");
    const std::string cfg = "[MUSIC_CONFIG]\r\nMASTER_VOL=50\r\n";
    ASSERT_TRUE(WriteFileBytes(dir + "/prog/velmi.cfg", Bytes(cfg.begin(), cfg.end())));
    e2e::DeviceScript newGame;
    newGame.Wait("0 11 3000").Press("C").Wait("0 12 100").Press("DOWN").Press("C").Wait("99 * 600").Line(30, "quit");
    *run = RunReported(exe, newGame.text, {"VELMI_FAKE_CLOCK=100000"}, 120);
  }
  Build b;
  std::string dir;
};

TEST_P(EndToEnd, SceneSecondStartAndWriteBack) {
  int s = b.screenW / 8;  // 100 design units
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, ScenePictures(s), false));
  std::string cfg = "[KEY_CONFIG]\r\nKEY_A=1b\r\n[MUSIC_CONFIG]\r\nMASTER_VOL=5\r\n";
  WriteFileBytes(dir + "/prog/velmi.cfg", Bytes(cfg.begin(), cfg.end()));
  std::string exe = Install(b.scene);
  std::string shot = dir + "/shot.png";
  // The first copy steps into the background and takes its picture there;
  // it reports no mode until a second start brings it to the front, and quits
  // only after that and once the test has made the file "go", so the second
  // start always finds it running and velmi.cfg is read before the first
  // copy writes it at its close.
  const std::string title = std::to_string(MODE_TITLE), go = dir + "/go";
  long first = Spawn(
      exe, Env(Script("30 focus 0\n40 shot " + shot + "\n50 wait " + title + "\n0 waitfile " + go + "\n1 quit\n")),
      dir + "/first.err");
  ASSERT_GT(first, 0);
  ASSERT_TRUE(WaitForPng(shot, 30)) << Text(ReadFileBytes(dir + "/first.err"));

  // A second copy of the same build from the same folder brings the first
  // forward and ends, leaving velmi.cfg as it was.
  long second = Spawn(exe, {"VELMI_LOCK_DIR=" + dir}, dir + "/second.err");
  EXPECT_EQ(WaitFor(second, 20), 0);
  EXPECT_EQ(Text(ReadFileBytes(dir + "/prog/velmi.cfg")), cfg);

  // The first copy closes and writes its settings back.
  EXPECT_TRUE(WriteFileBytes(go, Bytes()));
  EXPECT_EQ(WaitFor(first, 60), 0) << Text(ReadFileBytes(dir + "/first.err"));
  // The device's line starts with the program's name.
  const std::string scene = std::strrchr(b.scene, '/') + 1;
  EXPECT_NE(Text(ReadFileBytes(dir + "/first.err")).find(scene + ": brought to the front by a second start\n"),
            std::string::npos);
  std::string written = Text(ReadFileBytes(dir + "/prog/velmi.cfg"));
  EXPECT_EQ(written.rfind("[KEY_CONFIG]\r\nKEY_A=1b\r\n[MUSIC_CONFIG]\r\n", 0), 0u) << written;
  EXPECT_NE(written.find("MASTER_VOL=100\r\n"), std::string::npos);
  EXPECT_NE(written.find("[SYSTEM_CONFIG]\r\n"), std::string::npos);

  int w = 0, h = 0;
  std::vector<uint16_t> px = ReadPng565(shot, &w, &h);
  ASSERT_EQ(w, b.screenW);
  ASSERT_EQ(h, b.screenW * 3 / 4);
  int y0 = h / 6, y1 = h / 2;  // 100 and 300 design units
  auto at = [&](int x, int y) { return px[size_t(y) * w + x]; };
  const uint16_t bg = 0x0010;
  struct Expect {
    int col;  // picture column
    int yTop;
    bool left;
    uint16_t want;
    int tolerance;  // in 8-bit channel steps, for the JPEG-coded pictures
  };
  const Expect cases[] = {
      {0, y0, true, 0xF800, 0},
      {0, y0, false, 0x07E0, 0},
      {1, y0, true, 0xFFFF, 0},
      {1, y0, false, bg, 0},
      {2, y0, true, PackRgb565(200, 200, 200), 12},
      {2, y0, false, PackRgb565(200, 200, 200), 12},
      {3, y0, true, PackRgb565(100, 100, 100), 12},
      {3, y0, false, bg, 0},
      {4, y0, true, 0xF800, 0},
      {4, y0, false, 0x001F, 0},
      {5, y0, true, 0xFFFF, 0},
      {5, y0, false, 0x0841, 0},
      {0, y1, true, 0xF810, 0},
      {0, y1, false, 0x07F0, 0},
      {1, y1, true, Blend565(bg, 0xFFFF, 32), 0},
      {1, y1, false, Blend565(bg, 0x0841, 32), 0},
  };
  for (const Expect& e : cases) {
    int x = b.screenW / 32 + e.col * (b.screenW * 5 / 32) + (e.left ? s / 4 : 3 * s / 4);
    int y = e.yTop + s / 2;
    uint16_t got = at(x, y);
    auto near = [&](uint32_t (*ch)(uint32_t)) { return std::abs(int(ch(got)) - int(ch(e.want))) <= e.tolerance; };
    EXPECT_TRUE(near(Red8) && near(Green8) && near(Blue8))
        << b.name << " picture " << e.col << (e.left ? " left" : " right") << " at " << x << "," << y << ": got 0x"
        << std::hex << got << " want 0x" << e.want;
  }
  EXPECT_EQ(at(2, 2), bg);
  EXPECT_EQ(at(w - 3, h - 3), bg);
}

TEST_P(EndToEnd, PlayerStartsAndClosesAndRefusesABadScreen) {
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, TitleSystemPictures(), false));
  std::string exe = Install(b.player);
  std::string shot = dir + "/shot.png";
  long p = Spawn(exe, Env(Script("5 shot " + shot + "\n30 quit\n")), dir + "/run.err");
  EXPECT_EQ(WaitFor(p, 60), 0) << Text(ReadFileBytes(dir + "/run.err"));
  EXPECT_GT(ReadFileBytes(dir + "/prog/velmi.cfg").size(), 100u);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/prog/data/save"));  // made at start
  std::filesystem::remove(dir + "/prog/velmi.cfg");
  // A failing display ends start-up with its message, status 1 and no
  // velmi.cfg.
  std::vector<std::string> env = Env(Script("30 quit\n"));
  env.push_back("VELMI_DEVICE_FAIL=gapi");
  p = Spawn(exe, env, dir + "/fail.err");
  EXPECT_EQ(WaitFor(p, 60), 1);
  EXPECT_NE(Text(ReadFileBytes(dir + "/fail.err")).find("[Error] GAPI"), std::string::npos);
  EXPECT_TRUE(ReadFileBytes(dir + "/prog/velmi.cfg").empty());
  // A panel too small for the back buffer is refused the same way.
  env = Env(Script("30 quit\n"));
  env.push_back(std::string("VELMI_DEVICE_GEOMETRY=") + (b.screenW == 640 ? "240x320" : "120x160"));
  p = Spawn(exe, env, dir + "/small.err");
  EXPECT_EQ(WaitFor(p, 60), 1);
  EXPECT_NE(Text(ReadFileBytes(dir + "/small.err")).find("[Error] GAPI"), std::string::npos);
}

// Started where there is no display and not asked to run headless (by
// VELMI_HEADLESS=1 or a device script), a player says so in its box, on the
// error stream, and ends with status 1 before it looks for its data, having
// written nothing.  Asked to run headless, it runs, a display named or not.
TEST_P(EndToEnd, AStartWithoutADisplayEndsAndSaysHowToRunHeadless) {
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, TitleSystemPictures(), false));
  const std::string exe = Install(b.player), prog = dir + "/prog";
  // A display no X server serves.
  int number = 4242;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
         std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
    ++number;
  const std::string deadDisplay = "DISPLAY=:" + std::to_string(number);
  // libdbus keeps what SDL's attempt to reach that display allocated.
  const std::string leaks = "LSAN_OPTIONS=suppressions=" + std::string(VELMI_SOURCE_DIR) +
                            "/tests/player/lsan_dbus.supp:print_suppressions=0";
  const std::string script = "VELMI_DEVICE_SCRIPT=" + Script("30 quit\n");
  // GAPIライブラリのロードに失敗しました
  const std::string gapi =
      "GAPI\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x96\xE3\x83\xA9\xE3\x83\xAA\xE3\x81\xAE\xE3\x83\xAD\xE3\x83\xBC\xE3\x83\x89"
      "\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F";
  // ディスプレイが見つかりません（
  const std::string noDisplay =
      "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x83\x97\xE3\x83\xAC\xE3\x82\xA4\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4"
      "\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xEF\xBC\x88";
  // ）。ディスプレイなしで動かすには、VELMI_HEADLESS=1 とデバイススクリプト（VELMI_DEVICE_SCRIPT）を指定してください。
  const std::string advice =
      "\xEF\xBC\x89\xE3\x80\x82\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x83\x97\xE3\x83\xAC\xE3\x82\xA4\xE3\x81\xAA"
      "\xE3\x81\x97\xE3\x81\xA7\xE5\x8B\x95\xE3\x81\x8B\xE3\x81\x99\xE3\x81\xAB\xE3\x81\xAF\xE3\x80\x81"
      "VELMI_HEADLESS=1 "
      "\xE3\x81\xA8\xE3\x83\x87\xE3\x83\x90\xE3\x82\xA4\xE3\x82\xB9\xE3\x82\xB9\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\x97"
      "\xE3\x83\x88\xEF\xBC\x88VELMI_DEVICE_SCRIPT\xEF\xBC\x89\xE3\x82\x92\xE6\x8C\x87\xE5\xAE\x9A\xE3\x81\x97\xE3\x81"
      "\xA6\xE3\x81\x8F\xE3\x81\xA0\xE3\x81\x95\xE3\x81\x84\xE3\x80\x82\n";
  const struct {
    const char* what;
    std::vector<std::string> env;
    std::string reasonEnd;  // the end of the reason in the box; empty: the run goes on headless
  } cases[] = {
      {"no display", {}, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
      {"a display with no server", {deadDisplay, leaks}, " (" + deadDisplay + ")"},
      {"VELMI_HEADLESS=1", {"VELMI_HEADLESS=1", script}, ""},
      {"a device script", {script}, ""},
      {"a device script, a display with no server", {deadDisplay, leaks, script}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> env = {"VELMI_LOCK_DIR=" + dir};
    env.insert(env.end(), c.env.begin(), c.env.end());
    const std::string errFile = dir + "/display.err";
    const int status = WaitFor(e2e::StartProgram(exe, env, errFile), 30);
    const std::string err = Text(ReadFileBytes(errFile));
    if (c.reasonEnd.empty()) {
      EXPECT_EQ(status, 0) << c.what << "\n" << err;
      EXPECT_EQ(err.find(noDisplay), std::string::npos) << c.what << "\n" << err;
      EXPECT_GT(ReadFileBytes(prog + "/velmi.cfg").size(), 100u) << c.what;
    } else {
      EXPECT_EQ(status, 1) << c.what << "\n" << err;
      EXPECT_NE(err.find("[Error] " + gapi + "\n" + noDisplay), std::string::npos) << c.what << "\n" << err;
      EXPECT_NE(err.find(c.reasonEnd + advice), std::string::npos) << c.what << "\n" << err;
      // Nothing written: the save folder is made once the data is found.
      EXPECT_FALSE(std::filesystem::exists(prog + "/velmi.cfg")) << c.what;
      EXPECT_FALSE(std::filesystem::exists(prog + "/data/save")) << c.what;
    }
    std::filesystem::remove(prog + "/velmi.cfg");
    std::filesystem::remove_all(prog + "/data/save");
  }
  // A box before the game's window (a program folder code page 932 cannot
  // name) on a display with no server is not drawn on a driver that draws
  // nowhere, where it would wait for ever for a key: the program ends.
  const std::string unnamable = Install(b.player, dir + "/prog\xC3\xA9");
  const std::string errFile = dir + "/unnamable.err";
  const int status = WaitFor(e2e::StartProgram(unnamable, {"VELMI_LOCK_DIR=" + dir, deadDisplay, leaks}, errFile), 30);
  const std::string err = Text(ReadFileBytes(errFile));
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("message box [Error] "), std::string::npos) << err;
}

// A run without a sound device says so in one line after the program's name,
// with SDL's reason, however often the output is opened (at the start, and
// again when the game comes back to the front), and plays on without sound;
// a run with one says nothing of it.
TEST_P(EndToEnd, NoSoundDeviceIsToldOnceAndTheGamePlaysOn) {
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, TitleSystemPictures(), false));
  const std::string exe = Install(b.player);
  const std::string player = PlayerName();
  const struct {
    const char* driver;
    size_t lines;
  } cases[] = {{"no_such_driver", 1}, {"dummy", 0}};
  for (const auto& c : cases) {
    const ReportedRun run =
        RunReported(exe, "30 focus 0\n40 focus 1\n60 quit\n", {std::string("SDL_AUDIODRIVER=") + c.driver});
    EXPECT_EQ(run.status, 0) << c.driver << "\n" << run.err;
    const std::string line = player + ": no sound device (";
    size_t count = 0;
    for (size_t at = run.err.find(line); at != std::string::npos; at = run.err.find(line, at + 1)) {
      ++count;
      EXPECT_TRUE(at == 0 || run.err[at - 1] == '\n') << run.err;
      const size_t end = run.err.find('\n', at);
      const std::string whole = run.err.substr(at, end - at);
      // SDL's reason names the driver it could not use.
      EXPECT_NE(whole.find(c.driver), std::string::npos) << whole;
      const std::string tail = "; the game plays without sound";
      EXPECT_EQ(whole.substr(whole.size() - std::min(whole.size(), tail.size())), tail) << whole;
    }
    EXPECT_EQ(count, c.lines) << c.driver << "\n" << run.err;
    EXPECT_EQ(run.err.find("message box"), std::string::npos) << c.driver << "\n" << run.err;
    EXPECT_GT(ReadFileBytes(dir + "/prog/velmi.cfg").size(), 100u) << c.driver;
    std::filesystem::remove(dir + "/prog/velmi.cfg");
  }
}

// velmi.cfg or system.dat that the disk does not confirm at the end (the
// folder flush after its rename fails) ends the run with status 1 and that
// file's line; the other file's end is as usual.  The run writes nothing
// before its end, so the first folder flush is system.dat's and the second
// velmi.cfg's.
TEST_P(EndToEnd, AFileNotConfirmedAtTheEndFailsTheRun) {
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, TitleSystemPictures(), false));
  const std::string exe = Install(b.player), prog = dir + "/prog", save = prog + "/data/save";
  const std::string player = PlayerName();
  const struct {
    const char* flushesBefore;
    std::string unconfirmed, path;
    const char* other;
  } cases[] = {
      {"0", "system.dat", save + "/system.dat", "velmi.cfg"},
      {"1", "velmi.cfg", prog + "/velmi.cfg", "system.dat"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(prog + "/velmi.cfg");
    std::filesystem::remove_all(save);
    const ReportedRun run = RunReported(exe, "30 quit\n", {std::string("VELMI_FAIL_FOLDER_FLUSH=") + c.flushesBefore});
    EXPECT_EQ(run.status, 1) << c.unconfirmed << "\n" << run.err;
    const std::string line = player + ": " + c.unconfirmed + " was written but the disk did not confirm it: " + c.path;
    EXPECT_NE(run.err.find(line + ": "), std::string::npos) << c.unconfirmed << "\n" << run.err;
    EXPECT_EQ(run.err.find(std::string(c.other) + " was written"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(" could not be written"), std::string::npos) << run.err;
    // Both files are in place.
    EXPECT_GT(ReadFileBytes(prog + "/velmi.cfg").size(), 100u) << c.unconfirmed;
    EXPECT_EQ(Text(ReadFileBytes(save + "/system.dat")).substr(0, 4), "YMS0") << c.unconfirmed;
  }
}

// The pop-up menu opened by key: the music volume set to 90% by keys, the
// text speed to LEVEL3 by keys and a tap, and velmi.cfg written at exit
// holds both.
TEST_P(EndToEnd, MenuChangesSettingsWrittenAtExit) {
  ASSERT_TRUE(WritePack(dir + "/prog/data/" + b.pack, TitleSystemPictures(), false));
  std::string exe = Install(b.player);
  std::string script, shot = dir + "/menu.png";
  int frame = 10;
  auto press = [&](const char* key, int times) {
    for (int i = 0; i < times; ++i) {
      script += std::to_string(frame) + " key down " + key + "\n" + std::to_string(frame + 1) + " key up " + key + "\n";
      frame += 3;
    }
  };
  // At the title the save submenu is closed, and the cursor passes it by.
  press("B", 1);     // open
  press("DOWN", 5);  // the settings submenu
  press("RIGHT", 1);
  press("DOWN", 2);  // music
  press("RIGHT", 1);
  press("DOWN", 1);  // volume
  press("RIGHT", 1);
  press("DOWN", 2);   // 90%
  press("RIGHT", 1);  // chosen: the menu closes
  press("B", 1);      // open again
  press("DOWN", 6);   // the message submenu
  press("RIGHT", 1);
  press("DOWN", 3);  // display speed
  press("RIGHT", 1);
  press("DOWN", 4);  // LEVEL3
  script += std::to_string(frame) + " shot " + shot + "\n";
  frame += 2;
  // Lifting the stylus on the row chooses it.
  script += std::to_string(frame) + " tap 20 " + std::to_string(34 + 13 * 3 + 5) + "\n";
  frame += 3;
  script += std::to_string(frame + 10) + " quit\n";
  long p = Spawn(exe, Env(Script(script)), dir + "/menu.err");
  ASSERT_EQ(WaitFor(p, 60), 0) << Text(ReadFileBytes(dir + "/menu.err"));
  std::string cfg = Text(ReadFileBytes(dir + "/prog/velmi.cfg"));
  EXPECT_NE(cfg.find("MUSIC_VOL=90\r\n"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("MESSAGE_SPEED=3\r\n"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("MASTER_VOL=100\r\n"), std::string::npos) << cfg;
  // The menu was on the screen, the highlight bar on the fourth row of its page.
  int w = 0, h = 0;
  std::vector<uint16_t> px = ReadPng565(shot, &w, &h);
  ASSERT_EQ(w, b.screenW);
  EXPECT_EQ(px[size_t(34 + 13 * 3 + 5) * w + 12], 0x0010);
  EXPECT_EQ(px[size_t(34 + 13 * 2 + 5) * w + 11], 0xD699);
}

// Without game data the start says what is missing, where it was looked for
// (each folder once, in the form a DATA value takes) and how to make it with
// the build's screen, ends with a failure status and writes nothing: the
// user's velmi.cfg stays as it was, no save folder, no system.dat.  A pack
// whose directory holds a name that does not end within its field is
// refused at the start like a pack cut short.  A DATA value with '/' and no
// closing separator is found.
TEST_P(EndToEnd, WithoutGameDataTheStartIsToldAndWritesNothing) {
  const std::string data = dir + "/prog/data", game = dir + "/game";
  ASSERT_TRUE(WritePack(dir + "/good.mlz", TitleSystemPictures(), false));
  const Bytes good = ReadFileBytes(dir + "/good.mlz");
  std::filesystem::create_directories(game);
  ASSERT_TRUE(WriteFileBytes(game + "/" + b.pack, good));
  Bytes unterminated = good;
  std::fill_n(unterminated.begin() + RLZ_HEADER_SIZE, RLZ_NAME_SIZE, uint8_t('x'));
  enum PackKind { kNone, kEmpty, kCut, kUnterminated };
  const struct {
    const char* what;
    std::string folders;  // the GAME_INST_FOLDER lines
    PackKind pack;        // what data/ beside the program holds
    int status;
    const char* key = "";  // the key the list names data/ beside the program by
  } cases[] = {
      {"no data folder", "", kNone, 1},
      {"a DATA folder that is missing", "DATA01=..\\missing\\\r\n", kNone, 1},
      {"an empty pack", "", kEmpty, 1},
      {"a pack cut short", "", kCut, 1},
      {"a name without its end", "", kUnterminated, 1},
      {"DATA01 naming data/ beside the program", "DATA01=.\\data\r\n", kNone, 1, "DATA01: "},
      {"a DATA folder named with slashes", "DATA02=" + game + "\r\n", kNone, 0},
  };
  std::string exe = Install(b.player);
  for (const auto& c : cases) {
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(game + "/save");
    if (c.pack != kNone) {
      std::filesystem::create_directories(data);
      const Bytes bytes = c.pack == kEmpty          ? Bytes{}
                          : c.pack == kUnterminated ? unterminated
                                                    : Bytes(good.begin(), good.end() - 40);
      ASSERT_TRUE(WriteFileBytes(data + "/" + b.pack, bytes));
    }
    const std::string cfg = "[MUSIC_CONFIG]\r\nMASTER_VOL=50\r\n[GAME_INST_FOLDER]\r\n" + c.folders;
    WriteFileBytes(dir + "/prog/velmi.cfg", Bytes(cfg.begin(), cfg.end()));
    const ReportedRun run = RunReported(exe, "30 quit\n");
    const int status = run.status;
    const std::string& err = run.err;
    EXPECT_EQ(status, c.status) << c.what << "\n" << err;
    if (c.status == 0) {
      EXPECT_EQ(err.find("message box"), std::string::npos) << c.what << "\n" << err;
      EXPECT_TRUE(std::filesystem::is_directory(game + "/save")) << c.what;
      continue;
    }
    // The box, on the error stream and in the report, names the pack, the
    // folders tried in order, each once and with '/' between its folders,
    // and the converter's screen that makes the pack; the line starts with
    // the program's name.
    const size_t box = err.find(PlayerName() + ": message box [Error] ");
    ASSERT_NE(box, std::string::npos) << c.what << "\n" << err;
    const std::string own = dir + "/prog/data/";
    EXPECT_NE(err.find(std::string(": ") + b.pack + "\n", box), std::string::npos) << c.what << "\n" << err;
    EXPECT_NE(err.find("  " + std::string(c.key) + own + "\n", box), std::string::npos) << c.what << "\n" << err;
    EXPECT_EQ(err.find(own, box), err.rfind(own)) << c.what << "\n" << err;
    EXPECT_EQ(err.find('\\', box), std::string::npos) << c.what << "\n" << err;
    EXPECT_NE(err.find("convVelmi", box), std::string::npos) << c.what << "\n" << err;
    const bool narrow = b.screenW == 320;
    EXPECT_NE(err.find(narrow ? "320*240" : "640*480", box), std::string::npos) << c.what << "\n" << err;
    EXPECT_NE(err.find(narrow ? "--screen 320x240" : "--screen 640x480", box), std::string::npos) << c.what << "\n"
                                                                                                  << err;
    if (c.folders.find("missing") != std::string::npos) {
      EXPECT_LT(err.find("  DATA01: " + dir + "/missing/\n", box), err.find("  " + own)) << c.what << "\n" << err;
    }
    const std::string& report = run.report;
    EXPECT_NE(report.find(" message [Error] "), std::string::npos) << c.what << "\n" << report;
    EXPECT_NE(report.find(b.pack), std::string::npos) << c.what << "\n" << report;
    // Told before the first frame is drawn.
    EXPECT_EQ(report.rfind("0 message [Error] ", 0), 0u) << c.what << "\n" << report;
    // Nothing written.
    EXPECT_EQ(Text(ReadFileBytes(dir + "/prog/velmi.cfg")), cfg) << c.what;
    EXPECT_FALSE(std::filesystem::exists(data + "/save")) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir + "/prog/velmi.cfg.tmp")) << c.what;
  }
}

// The program's folder: a name that code page 932 cannot hold is told as
// that, by its own name, and the start ends as without game data (failure
// status, nothing written) though the data is there; names it holds work,
// those whose Shift-JIS ends in the byte of '\\' too.
TEST_P(EndToEnd, ProgramFolderNamesOutsideCodePage932AreTold) {
  ASSERT_TRUE(WritePack(dir + "/good.mlz", TitleSystemPictures(), false));
  const Bytes good = ReadFileBytes(dir + "/good.mlz");
  const struct {
    const char* what;
    std::string folder;
    int status;
  } cases[] = {
      // pé
      {"a folder named outside code page 932", dir + "/p\xC3\xA9", 1},
      // ソフト/表/能: 83 5C, 95 5C and 94 5C end in the byte of '\\'.
      {"folders whose names end in the byte of a backslash",
       dir + "/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE8\xA1\xA8/\xE8\x83\xBD", 0},
  };
  // コードページ 932 / 見つかりません
  const std::string codePage = "\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8 932";
  const std::string notFound = "\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93";
  for (const auto& c : cases) {
    std::filesystem::create_directories(c.folder + "/data");
    ASSERT_TRUE(WriteFileBytes(c.folder + "/data/" + b.pack, good));
    const std::string exe = Install(b.player, c.folder);
    const ReportedRun run = RunReported(exe, "30 quit\n");
    const int status = run.status;
    const std::string& err = run.err;
    EXPECT_EQ(status, c.status) << c.what << "\n" << err;
    if (c.status == 0) {
      EXPECT_EQ(err.find("message box"), std::string::npos) << c.what << "\n" << err;
      EXPECT_TRUE(std::filesystem::is_directory(c.folder + "/data/save")) << c.what;
      EXPECT_GT(ReadFileBytes(c.folder + "/velmi.cfg").size(), 100u) << c.what;
      continue;
    }
    const size_t box = err.find("message box [Error] ");
    ASSERT_NE(box, std::string::npos) << c.what << "\n" << err;
    EXPECT_NE(err.find(codePage, box), std::string::npos) << c.what << "\n" << err;
    EXPECT_NE(err.find("\n  " + c.folder + "/\n", box), std::string::npos) << c.what << "\n" << err;
    EXPECT_EQ(err.find(notFound), std::string::npos) << c.what << "\n" << err;
    const std::string& report = run.report;
    EXPECT_NE(report.find(" message [Error] "), std::string::npos) << c.what << "\n" << report;
    EXPECT_NE(report.find(c.folder + "/ | "), std::string::npos) << c.what << "\n" << report;
    // Nothing written.
    EXPECT_FALSE(std::filesystem::exists(c.folder + "/velmi.cfg")) << c.what;
    EXPECT_FALSE(std::filesystem::exists(c.folder + "/data/save")) << c.what;
  }
}

// Saves that cannot be made.  The pop-up menu's SAVE_001 at the title right
// after the start leaves a real save of slot 1 alone (no game to save).  In a
// game, a save the disk refuses is told in a message box naming the file and
// the reason, the older file stays whole; system.dat and velmi.cfg that
// cannot be written at the end each give a line on the error stream and a
// failure status.
TEST_P(EndToEnd, SavesThatCannotBeMadeAreToldAndTheEndSaysSo) {
  // The program in a folder named ソフト, whose Shift-JIS ends in the byte of
  // '\': the error stream and the boxes name its files in UTF-8, with '/'.
  const std::string prog = dir + "/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";
  std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
  std::string error;
  Bytes story;
  // セーブのテスト
  ASSERT_TRUE(
      vtools::AssembleMes("OP_MESSAGE \"\xE3\x82\xBB\xE3\x83\xBC\xE3\x83\x96\"\nOP_WAIT_PAGE 0\n", &story, &error))
      << error;
  entries.push_back({"AdvData\\mes\\fst_1216_a1_cmn.mes", story});
  std::filesystem::create_directories(prog + "/data");
  // The pack writer takes code page 932 paths: the pack is written elsewhere.
  ASSERT_TRUE(WritePack(dir + "/pack.mlz", entries, false));
  std::filesystem::rename(dir + "/pack.mlz", prog + "/data/" + b.pack);
  const std::string save = prog + "/data/save";
  std::filesystem::create_directories(save);
  Bytes real(26688 + 100, 0x5A);
  std::memcpy(real.data(), "YMN0", 4);
  std::string exe = Install(b.player, prog);
  auto prepare = [&] {
    std::filesystem::remove_all(save);
    std::filesystem::create_directories(save);
    ASSERT_TRUE(WriteFileBytes(save + "/save001.dat", real));
  };
  // Opens the pop-up menu and chooses SAVE_001: the second item of the root
  // page opens the save submenu, its first item is slot 1.  A closed save
  // submenu is passed by: the keys then open the quick-save loads, which
  // hold nothing to choose.
  auto saveOne = [](e2e::DeviceScript& s) {
    s.Press("B").Press("DOWN").Press("DOWN").Press("RIGHT").Press("DOWN").Press("RIGHT");
    s.frame += 5;
  };

  // At the title, right after the start.
  prepare();
  e2e::DeviceScript title;
  title.frame = 10;
  saveOne(title);
  title.Press("B").Line(10, "quit");
  long p = Spawn(exe, Env(Script(title.text)), dir + "/title.err");
  EXPECT_EQ(WaitFor(p, 60), 0) << Text(ReadFileBytes(dir + "/title.err"));
  EXPECT_EQ(ReadFileBytes(save + "/save001.dat"), real);
  EXPECT_EQ(Text(ReadFileBytes(dir + "/title.err")).find("message box"), std::string::npos);

  // In a game, at its first message.
  e2e::DeviceScript play;
  play.Wait("0 11 3000").Press("C").Wait("0 12 100").Press("DOWN").Press("C").Wait("99 * 600");
  play.frame += 40;  // the first message is on
  saveOne(play);
  play.Line(10, "quit");
  // A full disk under the save, and system.dat and velmi.cfg kept from being
  // replaced (a folder stands where each is written first).
  prepare();
  ASSERT_EQ(symlink("/dev/full", (save + "/save001.dat.tmp").c_str()), 0);
  std::filesystem::create_directories(save + "/system.dat.tmp");
  std::filesystem::create_directories(prog + "/velmi.cfg.tmp");
  p = Spawn(exe, Env(Script(play.text)), dir + "/full.err");
  std::string err;
  EXPECT_EQ(WaitFor(p, 120), 1) << Text(ReadFileBytes(dir + "/full.err"));
  err = Text(ReadFileBytes(dir + "/full.err"));
  const size_t box = err.find("message box [Error] ");
  ASSERT_NE(box, std::string::npos) << err;
  EXPECT_NE(err.find(save + "/save001.dat" + "\n" + box_words::kDiskFull, box), std::string::npos) << err;
  EXPECT_EQ(ReadFileBytes(save + "/save001.dat"), real);
  // A folder under the name written first is told as such, each line after
  // the program's name.
  const std::string player = PlayerName();
  EXPECT_NE(err.find("\n" + player + ": system.dat could not be written: " + save + "/system.dat" +
                     ": a folder has that name\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("\n" + player + ": velmi.cfg could not be written: " + prog + "/velmi.cfg" +
                     ": a folder has that name\n"),
            std::string::npos)
      << err;
  std::filesystem::remove(prog + "/velmi.cfg.tmp");

  // Writes that cannot be flushed to the disk: each temporary name is a link
  // to /dev/null, which takes every byte but refuses the flush (EINVAL).  The
  // older files stay, and no link is left in their place.  The writes are the
  // same code in every build, so one build runs this part.
  if (GetParam() == 1) {
    prepare();
    const Bytes cfgBefore = ReadFileBytes(prog + "/velmi.cfg");
    for (const std::string& tmp : {save + "/save001.dat.tmp", save + "/system.dat.tmp", prog + "/velmi.cfg.tmp"})
      ASSERT_EQ(symlink("/dev/null", tmp.c_str()), 0) << tmp;
    p = Spawn(exe, Env(Script(play.text)), dir + "/noflush.err");
    EXPECT_EQ(WaitFor(p, 120), 1) << Text(ReadFileBytes(dir + "/noflush.err"));
    err = Text(ReadFileBytes(dir + "/noflush.err"));
    EXPECT_NE(err.find(save + "/save001.dat" + "\n" + box_words::kSystemError87), std::string::npos) << err;
    EXPECT_EQ(ReadFileBytes(save + "/save001.dat"), real);
    EXPECT_NE(err.find("system.dat could not be written: " + save + "/system.dat" + ": system error 87\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("velmi.cfg could not be written: " + prog + "/velmi.cfg" + ": system error 87\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(ReadFileBytes(prog + "/velmi.cfg"), cfgBefore);
    for (const std::string& name : {save + "/save001.dat", save + "/system.dat", prog + "/velmi.cfg"}) {
      EXPECT_FALSE(std::filesystem::is_symlink(name)) << name;
      EXPECT_FALSE(std::filesystem::is_symlink(name + ".tmp")) << name;
    }
  }

  // Reasons in words, in the box and the end's lines: a save whose rename
  // the disk does not confirm (the folder flush fails) is in place and told
  // as such; a file-size limit; a save folder on a read-only disk.  One build
  // runs this part.
  if (GetParam() == 1) {
    // ファイルが大きすぎます。
    const std::string tooLarge =
        "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\x8C\xE5\xA4\xA7\xE3\x81\x8D\xE3\x81\x99"
        "\xE3\x81\x8E\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82";
    // フォルダと同じ名前のファイルがあります。
    const std::string fileAtFolder =
        "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80\xE3\x81\xA8\xE5\x90\x8C\xE3\x81\x98\xE5\x90\x8D\xE5\x89\x8D"
        "\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\x8C\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE"
        "\xE3\x81\x99\xE3\x80\x82";
    // 読み取り専用のディスクです。
    const std::string readOnly =
        "\xE8\xAA\xAD\xE3\x81\xBF\xE5\x8F\x96\xE3\x82\x8A\xE5\xB0\x82\xE7\x94\xA8\xE3\x81\xAE\xE3\x83\x87"
        "\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82";
    const std::string inner = dir + "/read_only.sh", outer = dir + "/unshared.sh", limited = dir + "/limited.sh";
    auto script = [&](const std::string& path, const std::string& text) {
      ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
      std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    };
    // The save folder mounted read-only over itself, in a mount namespace of
    // the run's own.
    script(inner, "#!/bin/sh\nmount --bind '" + save + "' '" + save + "' && mount -o remount,ro,bind '" + save +
                      "' && exec '" + exe + "' \"$@\"\n");
    script(outer, "#!/bin/sh\nexec unshare -m /bin/sh '" + inner + "' \"$@\"\n");
    // The save is larger than 16 KiB; the error stream stays below it.
    script(limited, "#!/bin/sh\nexec prlimit --fsize=16384 '" + exe + "' \"$@\"\n");
    const struct {
      const char* what;
      std::string run;
      const char* environment;
      const char* skip;  // a shell test that must pass for the case to run
      int status;
      const std::string* headline;
      const std::string* reason;
      bool saved;                           // save001.dat holds the new save
      const char* exitLine;                 // system.dat's line at the end, or null
      bool saveIsFile;                      // a file stands where the save folder goes
      const char* boxFile = "save001.dat";  // the file the box names
    } cases[] = {
        {"unconfirmed", exe, "VELMI_FAIL_FOLDER_FLUSH=0", "true", 0, &box_words::kSavedUnconfirmed,
         &box_words::kDiskFailed, true, nullptr, false},
        // The second folder flush of the run is that of system.dat after the
        // save; system.dat is written again at the end.
        {"system.dat unconfirmed", exe, "VELMI_FAIL_FOLDER_FLUSH=1", "true", 0, &box_words::kSystemDataUnconfirmed,
         &box_words::kDiskFailed, true, nullptr, false, "system.dat"},
        {"file too large", limited, "", "command -v prlimit >/dev/null 2>&1", 1, &box_words::kNotSaved, &tooLarge,
         false, ": file too large\n", false},
        {"read-only disk", outer, "", "[ \"$(id -u)\" = 0 ] && unshare -m true >/dev/null 2>&1", 1,
         &box_words::kNotSaved, &readOnly, false, ": read-only disk\n", false},
        {"a file at the save folder's name", exe, "", "true", 1, &box_words::kNotSaved, &fileAtFolder, false,
         ": a file has the folder's name\n", true},
    };
    for (const auto& c : cases) {
      if (std::system((std::string("sh -c '") + c.skip + "'").c_str()) != 0) {
        std::fprintf(stderr, "the %s case needs: %s\n", c.what, c.skip);
        continue;
      }
      prepare();
      const Bytes notAFolder = {'f', 'i', 'l', 'e'};
      if (c.saveIsFile) {
        std::filesystem::remove_all(save);
        ASSERT_TRUE(WriteFileBytes(save, notAFolder));
      }
      std::vector<std::string> env = Env(Script(play.text));
      if (*c.environment) env.push_back(c.environment);
      const std::string errFile = dir + "/reason.err";
      p = Spawn(c.run, env, errFile);
      const int status = WaitFor(p, 120);
      err = Text(ReadFileBytes(errFile));
      EXPECT_EQ(status, c.status) << c.what << "\n" << err;
      const size_t box =
          err.find("message box [Error] " + *c.headline + "\n" + save + "/" + c.boxFile + "\n" + *c.reason);
      EXPECT_NE(box, std::string::npos) << c.what << "\n" << err;
      // One box, this one.
      EXPECT_EQ(err.find("message box [Error] "), box) << c.what << "\n" << err;
      if (box != std::string::npos) {
        EXPECT_EQ(err.find("message box [Error] ", box + 1), std::string::npos) << c.what << "\n" << err;
      }
      // No number instead of words: システムエラー, "system error <n>".
      EXPECT_EQ(err.find("\xE3\x82\xB7\xE3\x82\xB9\xE3\x83\x86\xE3\x83\xA0\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC"),
                std::string::npos)
          << c.what << "\n"
          << err;
      EXPECT_EQ(err.find("system error "), std::string::npos) << c.what << "\n" << err;
      const Bytes now = ReadFileBytes(c.saveIsFile ? save : save + "/save001.dat");
      if (c.saveIsFile) {
        EXPECT_EQ(now, notAFolder) << c.what;
      } else if (c.saved) {
        EXPECT_EQ(now.size() > 4 ? std::string(now.begin(), now.begin() + 4) : "", "YMN0") << c.what;
        EXPECT_NE(now, real) << c.what;
      } else {
        EXPECT_EQ(now, real) << c.what;
      }
      if (c.exitLine) {
        EXPECT_NE(err.find("\n" + player + ": system.dat could not be written: " + save + "/system.dat" + c.exitLine),
                  std::string::npos)
            << c.what << "\n"
            << err;
      }
      for (const std::string& name : {save + "/save001.dat.tmp", save + "/system.dat.tmp", prog + "/velmi.cfg.tmp"})
        EXPECT_FALSE(std::filesystem::exists(name)) << c.what << ": " << name;
    }
  }

  // A save folder the program may not write to.  Root writes anywhere: the
  // program then runs as an ordinary user.
  prepare();
  std::string run = exe;
  if (geteuid() == 0) {
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv is not installed";
    run = dir + "/as_user.sh";
    const std::string wrapper =
        "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups '" + exe + "' \"$@\"\n";
    ASSERT_TRUE(WriteFileBytes(run, Bytes(wrapper.begin(), wrapper.end())));
    std::filesystem::permissions(run, std::filesystem::perms::owner_all);
    for (const std::string& d : {dir, prog, prog + "/data"})
      std::filesystem::permissions(d, std::filesystem::perms::all);
    std::filesystem::permissions(prog + "/velmi.cfg", std::filesystem::perms::all);
  }
  std::filesystem::permissions(save, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                         std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::filesystem::permissions(save + "/save001.dat",
                               std::filesystem::perms::owner_read | std::filesystem::perms::others_read);
  p = Spawn(run, Env(Script(play.text)), dir + "/locked.err");
  const int status = WaitFor(p, 120);
  std::filesystem::permissions(save, std::filesystem::perms::owner_all);
  err = Text(ReadFileBytes(dir + "/locked.err"));
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find(save + "/save001.dat" + "\n" + box_words::kNoPermission), std::string::npos) << err;
  EXPECT_EQ(ReadFileBytes(save + "/save001.dat"), real);
  EXPECT_NE(err.find("system.dat could not be written: " + save + "/system.dat" + ": no permission\n"),
            std::string::npos)
      << err;
}

// The file span [first, end) of a pack entry's stored bytes, or the whole
// data area after the directory for an empty name.
std::pair<size_t, size_t> PackSpan(const Bytes& pack, const std::string& name) {
  RlzPackHeader header;
  LoadRlzPackHeader(pack.data(), &header);
  const size_t dataStart = size_t(RlzDirectorySize(header.entryCount));
  if (name.empty()) return {dataStart, pack.size()};
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    RlzPackEntry e;
    LoadRlzPackEntry(pack.data() + RlzDirectorySize(i), &e);
    if (name == e.name) return {dataStart + e.dataOffset, dataStart + e.dataOffset + e.storedSize};
  }
  return {0, 0};
}

// Every 7th byte of the span (its 1st, 8th, ...) turned over.
void FlipEvery7th(Bytes& bytes, std::pair<size_t, size_t> span) {
  for (size_t i = span.first; i < span.second; i += 7) bytes[i] ^= 0xFF;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A pack whose directory reads but whose entries do not passes the start-up
// check.  A listed picture that does not load is told once in the
// damaged-data box naming the entry, the pack and the converter with this
// build's screen, and the run ends with status 1 as on any failed picture.  A listed
// script that does not read is told the same way and the game goes on with
// no code; a script the pack lacks is no damage and tells nothing.
TEST_P(EndToEnd, DamagedPackEntriesAreToldOnce) {
  const std::string script = "AdvData\\mes\\fst_1216_a1_cmn.mes";
  std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
  std::string error;
  Bytes story;
  ASSERT_TRUE(vtools::AssembleMes("OP_MESSAGE \"abc\"\nOP_WAIT_PAGE 0\n", &story, &error)) << error;
  ASSERT_TRUE(WritePack(dir + "/title.mlz", entries, true));
  entries.push_back({script, story});
  ASSERT_TRUE(WritePack(dir + "/story.mlz", entries, true));
  const Bytes title = ReadFileBytes(dir + "/title.mlz"), good = ReadFileBytes(dir + "/story.mlz");
  const std::string screen = ScreenOption();
  const std::string pack = dir + "/prog/data/" + b.pack;
  const std::string logo = "AdvData\\grp\\system\\logo.rbp";
  enum Damage { kNone, kEveryEntry, kAfterLogo, kScript };
  const struct {
    const char* what;
    Damage damage;
    bool withScript;
    std::string told;  // the entry the box names; empty: no box
    int status;
  } cases[] = {
      {"every entry damaged", kEveryEntry, true, logo, 1},
      // The message window and the title pictures of one frame each fail.
      {"every entry after the logo damaged", kAfterLogo, true, "AdvData\\GRP\\SYSTEM\\Messwin.rbp", 1},
      {"the script damaged", kScript, true, script, 0},
      {"the script missing", kNone, false, "", 0},
  };
  const std::string exe = Install(b.player);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = c.withScript ? good : title;
    const std::pair<size_t, size_t> all = PackSpan(bytes, "");
    if (c.damage == kEveryEntry) FlipEvery7th(bytes, all);
    if (c.damage == kAfterLogo) FlipEvery7th(bytes, {PackSpan(bytes, logo).second, all.second});
    if (c.damage == kScript) FlipEvery7th(bytes, PackSpan(bytes, script));
    ASSERT_TRUE(WriteFileBytes(dir + "/prog/data/" + b.pack, bytes));
    ReportedRun run;
    ASSERT_NO_FATAL_FAILURE(RunNewGame(exe, &run));
    const int status = run.status;
    const std::string &err = run.err, &report = run.report;
    EXPECT_EQ(status, c.status) << err;
    if (c.told.empty()) {
      EXPECT_EQ(report.find(" message ["), std::string::npos) << report;
      EXPECT_NE(report.find(" mode 99 "), std::string::npos) << report;
      continue;
    }
    ASSERT_EQ(CountOf(report, " message [Error] "), 1u) << report;
    const std::string box = report.substr(report.find(" message [Error] "));
    const std::string line = box.substr(0, box.find('\n'));
    // The entry is named with '/' between its folders, in the box and on the
    // error stream.
    std::string shown = c.told;
    for (char& ch : shown)
      if (ch == '\\') ch = '/';
    EXPECT_NE(line.find(": " + shown + " | "), std::string::npos) << line;
    EXPECT_NE(err.find(": " + shown + "\n"), std::string::npos) << err;
    EXPECT_NE(line.find(": " + pack + " | "), std::string::npos) << line;
    EXPECT_NE(line.find("convVelmi"), std::string::npos) << line;
    EXPECT_NE(line.find(screen), std::string::npos) << line;
    EXPECT_NE(err.find("message box [Error] "), std::string::npos) << err;
    if (c.damage == kAfterLogo) {
      // Each line starts with the program's name; entries have '/'.
      const size_t notLoaded = CountOf(err, "picture not loaded: ");
      EXPECT_GT(notLoaded, 1u) << err;
      const std::string player = PlayerName();
      EXPECT_EQ(CountOf(err, player + ": picture not loaded: AdvData/"), notLoaded) << err;
    }
    if (c.status == 0) {
      // The story goes on without code until the scripted close.
      EXPECT_NE(report.find(" mode 99 "), std::string::npos) << report;
      EXPECT_NE(Text(ReadFileBytes(dir + "/prog/velmi.cfg")).find("[SYSTEM_CONFIG]"), std::string::npos);
      continue;
    }
    // The run ends as any run on a failed picture: its files are written
    // whole, no temporary file is left.
    EXPECT_FALSE(std::filesystem::exists(dir + "/prog/velmi.cfg.tmp"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/prog/data/save/system.dat.tmp"));
  }
}

// A picture the converter could not make is left in the pack without bytes.
// The damaged-data box tells it once a run as a picture whose conversion
// failed, with the pack and the converter with this build's screen; the run
// then goes on as for any failed picture of its kind: a picture ends it with
// status 1, the rule picture's transition runs without it and the game goes
// on.  An empty script is no picture: nothing is told, as for a missing one.
TEST_P(EndToEnd, UnconvertedPicturesAreToldOnce) {
  const std::string script = "AdvData\\mes\\fst_1216_a1_cmn.mes", logo = "AdvData\\grp\\system\\logo.rbp",
                    rule = "AdvData\\grp\\SYSTEM\\eff.rbp";
  std::string error;
  Bytes story;
  ASSERT_TRUE(vtools::AssembleMes("OP_MESSAGE \"abc\"\nOP_WAIT_PAGE 0\n", &story, &error)) << error;
  const std::string screen = ScreenOption();
  const std::string pack = dir + "/prog/data/" + b.pack;
  const struct {
    const char* what;
    std::string empty;  // the entry the pack lists without bytes
    bool told;
    int status;
  } cases[] = {
      {"the logo", logo, true, 1},
      {"the rule picture", rule, true, 0},
      {"the script", script, false, 0},
  };
  const std::string exe = Install(b.player);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
    entries.push_back({script, story});
    if (c.empty == rule) entries.push_back({rule, {}});
    for (auto& e : entries)
      if (e.first == c.empty) e.second.clear();
    ASSERT_TRUE(WritePack(pack, entries, true));
    ReportedRun run;
    ASSERT_NO_FATAL_FAILURE(RunNewGame(exe, &run));
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.told) {
      EXPECT_EQ(run.report.find(" message ["), std::string::npos) << run.report;
    } else {
      ASSERT_EQ(CountOf(run.report, " message [Error] "), 1u) << run.report;
      const std::string box = run.report.substr(run.report.find(" message [Error] "));
      const std::string line = box.substr(0, box.find('\n'));
      std::string shown = c.empty;  // the entry as the box shows it, '/' between folders
      std::replace(shown.begin(), shown.end(), '\\', '/');
      EXPECT_NE(line.find(" | " + box_words::kUnconvertedPictureLabel + shown + " | "), std::string::npos) << line;
      EXPECT_NE(line.find(": " + pack + " | "), std::string::npos) << line;
      EXPECT_NE(line.find(screen), std::string::npos) << line;
      EXPECT_EQ(CountOf(run.err, "message box [Error] "), 1u) << run.err;
    }
    if (c.status == 0) {
      // The story reaches its page and the run ends at the scripted close.
      EXPECT_NE(run.report.find(" mode 99 "), std::string::npos) << run.report;
      EXPECT_NE(Text(ReadFileBytes(dir + "/prog/velmi.cfg")).find("[SYSTEM_CONFIG]"), std::string::npos);
    } else {
      EXPECT_EQ(CountOf(run.err, "picture not loaded: "), 1u) << run.err;
    }
  }
}

// A story naming a picture the pack does not list (data converted from
// another version of the game, a damaged name) ends the run with status 1
// after a box that names the entry looked for, the pack and how to convert
// again, told once however many pictures of the frame are missing.
TEST_P(EndToEnd, PicturesThePackLacksAreToldOnce) {
  const std::string screen = ScreenOption();
  const std::string pack = dir + "/prog/data/" + b.pack;
  const struct {
    const char* what;
    std::string story;  // the new game's script
    std::string told;   // the entry the box names, '/' between its folders
    size_t notLoaded;   // lines "picture not loaded: " on the error stream
  } cases[] = {
      {"a background", "OP_BACKGROUND \"bg\\\\absent\"\nOP_MESSAGE \"abc\"\nOP_WAIT_PAGE 0\n",
       "AdvData/GRP/bg/absent.rbp", 1},
      // 背景: told in UTF-8.
      {"a background named in Japanese",
       "OP_BACKGROUND \"bg\\\\\xE8\x83\x8C\xE6\x99\xAF\"\nOP_MESSAGE \"abc\"\nOP_WAIT_PAGE 0\n",
       "AdvData/GRP/bg/\xE8\x83\x8C\xE6\x99\xAF.rbp", 1},
      {"a background and a character of one frame",
       "OP_BACKGROUND \"bg\\\\absent\"\nOP_CHARACTER \"ch\\\\gone\"\nOP_MESSAGE \"abc\"\nOP_WAIT_PAGE 0\n",
       "AdvData/GRP/bg/absent.rbp", 2},
  };
  const std::string exe = Install(b.player);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    Bytes story;
    ASSERT_TRUE(vtools::AssembleMes(c.story, &story, &error)) << error;
    std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
    entries.push_back({"AdvData\\mes\\fst_1216_a1_cmn.mes", story});
    ASSERT_TRUE(WritePack(pack, entries, true));
    ReportedRun run;
    ASSERT_NO_FATAL_FAILURE(RunNewGame(exe, &run));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(CountOf(run.err, "picture not loaded: "), c.notLoaded) << run.err;
    ASSERT_EQ(CountOf(run.err, "message box [Error] "), 1u) << run.err;
    const std::string box = run.err.substr(run.err.find("message box [Error] "));
    const std::string whole = "message box [Error] " + box_words::kPictureNotInPack + "\n" +
                              box_words::kMissingPictureLabel + c.told + "\n" + box_words::kSearchedPackLabel + pack +
                              "\n\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80";
    EXPECT_EQ(box.rfind(whole, 0), 0u) << box;
    EXPECT_NE(box.find("convVelmi"), std::string::npos) << box;
    EXPECT_NE(box.find(screen), std::string::npos) << box;
    EXPECT_EQ(CountOf(run.report, " message [Error] "), 1u) << run.report;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, EndToEnd, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kBuilds[i.param].name); });

// The device's test channel reports modes, phases and pictures that failed to
// load; a script waits for a mode, and a wait that runs out closes the player.
TEST(EndToEndChannel, ReportsModesPicturesAndWaits) {
  std::string dir = MakeTempDir("channel");
  std::filesystem::create_directories(dir + "/prog/data");
  auto pictures = ScenePictures(80);
  pictures.pop_back();  // no t90
  ASSERT_TRUE(WritePack(dir + "/prog/data/grpack_v.mlz", pictures, false));
  std::string exe = dir + "/prog/player_scene_ce50";
  ASSERT_TRUE(InstallProgram(SCENE_CE50, exe));
  auto run = [&](const std::string& text, const std::string& name, int status = 0) {
    std::string script = dir + "/" + name + ".txt", report = dir + "/" + name + ".report";
    WriteFileBytes(script, Bytes(text.begin(), text.end()));
    long p = Spawn(exe, {"VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + script, "VELMI_DEVICE_REPORT=" + report},
                   dir + "/" + name + ".err");
    EXPECT_EQ(WaitFor(p, 60), status) << Text(ReadFileBytes(dir + "/" + name + ".err"));
    return Text(ReadFileBytes(report));
  };
  // The missing picture ends the scene at its first frame, and the program
  // with a failure status.
  EXPECT_EQ(run("600 quit\n", "missing", 1), "1 picture t90\n1 mode 0 1\n");

  WritePack(dir + "/prog/data/grpack_v.mlz", ScenePictures(80), false);
  // Tapped at frame 5, the gallery's mode comes at frame 6 and the quit 3
  // frames later; a wait for a mode that never comes closes the player.
  EXPECT_EQ(run("5 tap 10 10\n1 wait 80\n3 quit\n", "tap"), "1 mode 0 1\n6 mode 80 0\n");
  EXPECT_EQ(run("2 wait 55 * 10\n", "never"), "1 mode 0 1\n12 timeout 55\n");
  vtest::RemoveTree(dir);
}

// The landscape panel of a 640x480 device shows the same scene.
TEST(EndToEndLandscape, Ce50OnALandscapePanel) {
  std::string dir = MakeTempDir("land");
  std::filesystem::create_directories(dir + "/prog/data");
  ASSERT_TRUE(WritePack(dir + "/prog/data/grpack_v.mlz", ScenePictures(80), true));
  std::string exe = dir + "/prog/player_scene_ce50";
  ASSERT_TRUE(InstallProgram(SCENE_CE50, exe));
  std::string shot = dir + "/shot.png", script = dir + "/s.txt";
  std::string text = "20 shot " + shot + "\n30 quit\n";
  WriteFileBytes(script, Bytes(text.begin(), text.end()));
  long p = Spawn(exe, {"VELMI_LOCK_DIR=" + dir, "VELMI_DEVICE_SCRIPT=" + script, "VELMI_DEVICE_GEOMETRY=640x480"},
                 dir + "/err");
  ASSERT_EQ(WaitFor(p, 60), 0) << Text(ReadFileBytes(dir + "/err"));
  int w = 0, h = 0;
  std::vector<uint16_t> px = ReadPng565(shot, &w, &h);
  ASSERT_EQ(w, 640);
  EXPECT_EQ(px[size_t(80 + 40) * 640 + 20 + 20], 0xF800);
  EXPECT_EQ(px[size_t(80 + 40) * 640 + 20 + 60], 0x07E0);
  vtest::RemoveTree(dir);
}

}  // namespace
