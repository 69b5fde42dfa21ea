// The configuration store, the settings read at start and written at exit,
// and the data folder search.
#include <gtest/gtest.h>

#include <velmi_device.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/app/startup.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/ini_store.h"
#include "player/core/settings.h"
#include "player/core/text_window.h"
#include "player/core/texts.h"
#include "player/menu/popup_menu.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/disk_flushes.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Win(std::string p) {
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string Utf8(const std::u16string& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), 0);
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A Shift-JIS text of the player in UTF-8.
std::string Utf8(const char* sjis) {
  std::u16string w(std::strlen(sjis) + 1, 0);
  const int n = MultiByteToWideChar(CP_ACP, 0, sjis, -1, w.data(), int(w.size()));
  w.resize(n > 0 ? size_t(n) - 1 : 0);
  return Utf8(w);
}

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IniStore::Flush();
    dir = MakeTempDir("ini");
    file = dir + "/velmi.cfg";
    wfile = Win(file);
  }
  void TearDown() override {
    IniStore::Flush();
    vtest::RemoveTree(dir);
  }
  std::string dir, file, wfile;
};

TEST_F(IniTest, LookupRules) {
  WriteFileBytes(file, Bytes{});
  std::string text =
      "KEY=1\r\n"
      "[ SYSTEM_CONFIG ]\r\n"
      "master_vol = 80\r\n"
      "NAME=\"a = b\" c\r\n"
      "EMPTY=\r\n"
      "\r\n"
      "[OTHER]\r\n"
      "VOL= 7 \r\n"
      "QUOTED=\"80\"\r\n"
      "BLANKQ=\"\"\r\n";
  WriteFileBytes(file, Bytes(text.begin(), text.end()));
  EXPECT_EQ(IniStore::GetInt("SYSTEM_CONFIG", "MASTER_VOL", 5, wfile.c_str()), 80);
  EXPECT_EQ(IniStore::GetInt("OTHER", "VOL", 5, wfile.c_str()), 7);  // trimmed before parsing
  EXPECT_EQ(IniStore::GetInt("OTHER", "MASTER_VOL", 5, wfile.c_str()), 5);
  EXPECT_EQ(IniStore::GetInt("", "KEY", 5, wfile.c_str()), 5);  // before any section: never found
  EXPECT_EQ(IniStore::GetInt("SYSTEM_CONFIG", "EMPTY", 9, wfile.c_str()), 9);
  EXPECT_EQ(IniStore::GetInt("OTHER", "QUOTED", 5, wfile.c_str()), 80);  // quotes dropped
  EXPECT_EQ(IniStore::GetInt("OTHER", "BLANKQ", 5, wfile.c_str()), 5);   // only quotes: no number
  char out[32];
  EXPECT_EQ(IniStore::GetString("SYSTEM_CONFIG", "NAME", "dflt", out, 31, wfile.c_str()), 7);
  EXPECT_STREQ(out, "a = b c");
  EXPECT_EQ(IniStore::GetString("SYSTEM_CONFIG", "NAME", "dflt", out, 5, wfile.c_str()), 4);
  EXPECT_STREQ(out, "dflt");  // too long: the default stays
}

TEST_F(IniTest, SetKeepsPlacesAndFlushWritesBack) {
  std::string text = "; mine\r\n[MUSIC_CONFIG]\r\nPCM=1\r\nDEVICE_VOL=300\r\n\r\n[KEY_CONFIG]\r\nKEY_A=1b\r\n";
  WriteFileBytes(file, Bytes(text.begin(), text.end()));
  IniStore::Set("MUSIC_CONFIG", "PCM", "0", wfile.c_str());
  IniStore::Set("NEW", "B", "2", wfile.c_str());
  IniStore::Set("NEW", "A", "1", wfile.c_str());
  EXPECT_EQ(AsText(ReadFileBytes(file)), text);  // nothing reaches the disk before Flush
  ASSERT_EQ(IniStore::Flush(), 1);
  EXPECT_EQ(
      AsText(ReadFileBytes(file)),
      "; mine\r\n[MUSIC_CONFIG]\r\nPCM=0\r\nDEVICE_VOL=300\r\n\r\n[KEY_CONFIG]\r\nKEY_A=1b\r\n[NEW]\r\nA=1\r\nB=2\r\n");
  // Unchanged files round-trip byte for byte.
  IniStore::GetInt("X", "Y", 0, wfile.c_str());
  Bytes before = ReadFileBytes(file);
  IniStore::Set("MUSIC_CONFIG", "PCM", "0", wfile.c_str());
  ASSERT_EQ(IniStore::Flush(), 1);
  EXPECT_EQ(ReadFileBytes(file), before);
}

TEST_F(IniTest, LineEndsAndLongLinesLoseNothing) {
  std::string longValue(2000, 'v');
  std::string text = "[A]\nK1=one\rK2=two\r\nK3=" + longValue + "\n";
  WriteFileBytes(file, Bytes(text.begin(), text.end()));
  EXPECT_EQ(IniStore::GetInt("A", "K1", 0, wfile.c_str()), 0);  // "one" parses to 0, found
  char out[8];
  EXPECT_EQ(IniStore::GetString("A", "K1", "", out, 7, wfile.c_str()), 3);
  EXPECT_STREQ(out, "one");
  EXPECT_EQ(IniStore::GetString("A", "K2", "", out, 7, wfile.c_str()), 3);
  std::string big(2100, 0);
  EXPECT_EQ(IniStore::GetString("A", "K3", "", big.data(), 2050, wfile.c_str()), 2000);
  ASSERT_EQ(IniStore::Flush(), 1);
  EXPECT_EQ(AsText(ReadFileBytes(file)), "[A]\r\nK1=one\r\nK2=two\r\nK3=" + longValue + "\r\n");
}

TEST_F(IniTest, AnotherFileDropsUnsavedChangesAndFailedWriteReports) {
  IniStore::Set("S", "K", "1", wfile.c_str());
  std::string other = Win(dir + "/other.cfg");
  EXPECT_EQ(IniStore::GetInt("S", "K", 7, other.c_str()), 7);
  EXPECT_EQ(IniStore::GetInt("S", "K", 7, wfile.c_str()), 7);
  std::string missing = Win(dir + "/no/such/dir/x.cfg");
  IniStore::Set("S", "K", "1", missing.c_str());
  EXPECT_EQ(IniStore::Flush(), 0);
}

// velmi.cfg is on the disk before its name replaces the older file, and the
// rename before Flush returns; a flush that fails is a failed write that
// keeps the older file.
TEST_F(IniTest, FlushReachesTheDiskBeforeTheRename) {
  const std::string text = "[S]\r\nK=0\r\n";
  WriteFileBytes(file, Bytes(text.begin(), text.end()));
  const std::string folder = std::filesystem::path(dir).filename().string();
  vtest::DiskFlushLog log;
  IniStore::Set("S", "K", "1", wfile.c_str());
  ASSERT_EQ(IniStore::Flush(), 1);
  EXPECT_EQ(AsText(ReadFileBytes(file)), "[S]\r\nK=1\r\n");
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"flush velmi.cfg.tmp", "move velmi.cfg.tmp velmi.cfg", "folder " + folder}));

  log.Clear();
  VelmiFailFlushFileBuffers(0);
  IniStore::Set("S", "K", "2", wfile.c_str());
  SetLastError(NO_ERROR);
  EXPECT_EQ(IniStore::Flush(), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));
  EXPECT_EQ(AsText(ReadFileBytes(file)), "[S]\r\nK=1\r\n");
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  EXPECT_TRUE(log.Lines().empty());
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IniStore::Flush();
    VelmiDeviceReset();
    SetPlayerBuild(PlayerBuild::Ce50);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
    dir = MakeTempDir("startup");
    std::filesystem::create_directories(dir + "/game/prog");
    NewApp();
    // The game's pack beside the program, where the search ends.
    std::filesystem::create_directories(dir + "/game/prog/data");
    ASSERT_TRUE(WritePack(dir + "/game/prog/data/grpack_v.mlz", Pack(), false));
  }
  static std::vector<std::pair<std::string, Bytes>> Pack() {
    return {{"AdvData\\mes\\a.mes", Bytes(300, 7)}, {"AdvData\\mes\\b.mes", Bytes(200, 9)}};
  }
  void TearDown() override {
    IniStore::Flush();
    delete app;
    vtest::RemoveTree(dir);
  }
  // A new game object in place of any earlier one, its program in dir/game/prog.
  void NewApp() {
    delete app;
    app = new CGameApp;
    std::strcpy(app->programFolder, Win(dir + "/game/prog/").c_str());
  }
  void Cfg(const std::string& text) { WriteFileBytes(dir + "/game/prog/velmi.cfg", Bytes(text.begin(), text.end())); }
  std::string dir;
  CGameApp* app = nullptr;
};

TEST_F(StartupTest, DefaultsWithoutAFile) {
  AppStartup(app);
  const GameSettings& s = app->settings;
  EXPECT_EQ(s.centerKeyAction, 1);
  EXPECT_EQ(s.messageSpeed, 1);
  EXPECT_EQ(s.windowTrans, 5);
  EXPECT_EQ(s.transMode, 1);
  EXPECT_EQ(s.musicPlay, 2);
  EXPECT_EQ(s.voicePlay, 2);
  EXPECT_EQ(s.sePlay, 2);
  EXPECT_EQ(s.masterVolume, 100);
  EXPECT_EQ(s.vgaQuality, 1);
  EXPECT_EQ(s.charVoiceUse[15], 1);
  EXPECT_EQ(s.soundQuality, 0);
  EXPECT_EQ(app->gameMode, 0);
  EXPECT_STREQ(app->dataPath, Win(dir + "/game/prog/data/").c_str());
  EXPECT_STREQ(app->picturePackPath, Win(dir + "/game/prog/data/grpack_v.mlz").c_str());
  EXPECT_STREQ(app->musicPath, Win(dir + "/game/prog/data/bgm/").c_str());
  EXPECT_EQ(app->keyMap.codes[KS_KEY_A], app->keyMap.defaults[KS_KEY_A]);
}

TEST_F(StartupTest, ClampsAndSeparateAntialiasKey) {
  Cfg("[MUSIC_CONFIG]\r\nMASTER_VOL=5\r\nMUSIC_VOL=120\r\nSAOUND_QUALITY=1\r\n"
      "[SYSTEM_CONFIG]\r\nTITLE_IMAGE_MODE=-5\r\nCG_MODE_PAGE=2\r\nEV_MODE_PAGE=24\r\nCG_MODE_CHAR=-1\r\n"
      "EV_MODE_CHAR=6\r\n"
      "KET_CUR_MODE=9\r\nKEY_CEN_CTRL=77\r\nMASCOT_VOICE=15\r\nMAP_ANIME_USE=5\r\n"
      "[MESSAGE_CONFIG]\r\nTRANS_MODE=0\r\nMESSAGE_SPEED=40\r\nWINDOW_TRANS=-3\r\n" ANTIALIAS_KEY
      "=2\r\n"
      "[KEY_CONFIG]\r\nKEY_A=START\r\nKEY_B=1b\r\nKEY_C=xyz\r\nKEY_D=\r\n");
  AppStartup(app);
  const GameSettings& s = app->settings;
  EXPECT_EQ(s.masterVolume, 100);
  EXPECT_EQ(s.musicVolume, 100);
  EXPECT_EQ(s.soundQuality, 1);
  EXPECT_EQ(s.titleImageMode, 1);
  EXPECT_EQ(app->cgMode.page, 0);
  EXPECT_EQ(app->sceneReplay.page, 24);  // tab 6, read first, has 29 pages
  EXPECT_EQ(app->cgMode.tab, 0);
  EXPECT_EQ(s.cursorMode, 9);        // kept as read
  EXPECT_EQ(s.centerKeyAction, 77);  // kept as read
  EXPECT_EQ(s.mascotVoice, 15);      // the sixteenth character
  EXPECT_EQ(s.mapAnimeUse, 1);
  EXPECT_EQ(s.transMode, 0);
  EXPECT_EQ(s.antialiasLevel, 2);  // not the transparency switch
  EXPECT_EQ(s.messageSpeed, 1);
  EXPECT_EQ(s.windowTrans, 5);
  EXPECT_EQ(app->keyMap.codes[KS_KEY_A], app->keyMap.defaults[KS_START]);
  EXPECT_EQ(app->keyMap.codes[KS_KEY_B], 0x1B);
  EXPECT_EQ(app->keyMap.codes[KS_KEY_C], app->keyMap.defaults[KS_KEY_C]);
  EXPECT_EQ(app->keyMap.codes[KS_KEY_D], 0);
}

// A font name saved by an earlier run is kept wherever the list now places
// it; a name no longer listed gives way to the list's first.
TEST_F(StartupTest, SavedFontNameIsKept) {
  FontList fonts;
  fonts.Build();
  ASSERT_GE(fonts.Count(), 2) << "two font families are needed (bash scripts/deps.sh test installs them)";
  char first[kFontNameSize], second[kFontNameSize];
  fonts.GetName(0, first);
  fonts.GetName(1, second);
  struct Case {
    std::string saved, kept;
    int index;
  } cases[] = {{second, second, 1}, {"No Such Family", first, 0}};
  for (const Case& c : cases) {
    Cfg("[SYSTEM_CONFIG]\r\nMESSAGE_FONT_NAME=" + c.saved + "\r\n");
    AppStartup(app);
    EXPECT_EQ(app->settings.messageFont, c.index) << c.saved;
    EXPECT_EQ(std::string(GetMessageFontFace()), c.kept) << c.saved;
    SaveConfig(app);
    ASSERT_EQ(IniStore::Flush(), 1);
    EXPECT_NE(AsText(ReadFileBytes(dir + "/game/prog/velmi.cfg")).find("MESSAGE_FONT_NAME=" + c.kept + "\r\n"),
              std::string::npos)
        << c.saved;
    NewApp();
  }
}

// Words used as indices are clamped at the read; the others are kept as read
// and written back as they were; quoted numbers read as their value.
TEST_F(StartupTest, IndexWordsClampedOthersKeptAndQuotesRead) {
  Cfg("[SYSTEM_CONFIG]\r\nMASCOT_VOICE=16\r\nSAVE_MASCOT_ICON=15\r\nKET_CUR_MODE=7\r\nDISP_FREE_MODE=4\r\n"
      "KEY_CEN_CTRL=-2\r\n"
      "[MESSAGE_CONFIG]\r\nWINDOW_TRANS=11\r\n" ANTIALIAS_KEY
      "=\"3\"\r\nMES_LOG_START=\" 1 \"\r\n"
      "[MUSIC_CONFIG]\r\nMASTER_VOL=\"80\"\r\n[VOICE_CONFIG]\r\nVOICE_CUT_MODE=2\r\n");
  AppStartup(app);
  const GameSettings& s = app->settings;
  EXPECT_EQ(s.mascotVoice, 0);
  EXPECT_EQ(s.saveMascotIcon, 15);
  EXPECT_EQ(s.windowTrans, 5);
  EXPECT_EQ(s.antialiasLevel, 3);
  EXPECT_EQ(s.masterVolume, 80);
  EXPECT_EQ(s.mesLogStart, 1);
  EXPECT_EQ(s.cursorMode, 7);
  EXPECT_EQ(s.dispFreeMode, 4);
  EXPECT_EQ(s.centerKeyAction, -2);
  SaveConfig(app);
  ASSERT_EQ(IniStore::Flush(), 1);
  std::string text = AsText(ReadFileBytes(dir + "/game/prog/velmi.cfg"));
  for (const char* line : {"KET_CUR_MODE=7\r\n", "DISP_FREE_MODE=4\r\n", "KEY_CEN_CTRL=-2\r\n", "MASCOT_VOICE=0\r\n",
                           "SAVE_MASCOT_ICON=15\r\n", "WINDOW_TRANS=5\r\n", "MASTER_VOL=80\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

TEST_F(StartupTest, DataFolderSearch) {
  std::filesystem::create_directories(dir + "/game/shared");
  std::filesystem::create_directories(dir + "/abs");
  WriteFileBytes(dir + "/game/shared/grpack_v.mlz", Bytes{1});
  WriteFileBytes(dir + "/abs/grpack_v.mlz", Bytes{1});
  Cfg("[GAME_INST_FOLDER]\r\nDATA01=nothere\\\r\nDATA02=..\\shared\\\r\n");
  EXPECT_EQ(FindDataFolder(app, Win(dir + "/game/prog/velmi.cfg").c_str(), "grpack_v.mlz"), 1);
  EXPECT_STREQ(app->dataPath, Win(dir + "/game/shared/").c_str());
  // The save folder waits for the start-up to find a pack that reads.
  EXPECT_FALSE(std::filesystem::exists(dir + "/game/shared/save"));
  IniStore::Flush();
  Cfg("[GAME_INST_FOLDER]\r\nDATA03=" + Win(dir + "/abs/") + "\r\n");
  EXPECT_EQ(FindDataFolder(app, Win(dir + "/game/prog/velmi.cfg").c_str(), "grpack_v.mlz"), 1);
  EXPECT_STREQ(app->dataPath, Win(dir + "/abs/").c_str());
  // "..\" never climbs above the root.
  char out[kPathSize];
  std::strcpy(app->programFolder, "\\a\\");
  ResolveDataPath(app, out, "..\\..\\..\\x\\", "");
  EXPECT_STREQ(out, "\\x\\");
  ResolveDataPath(app, out, ".\\y\\", "");
  EXPECT_STREQ(out, "\\a\\y\\");
  std::string huge(3000, 'd');
  EXPECT_EQ(ResolveDataPath(app, out, huge.c_str(), ""), 0);
}

// A DATA value takes '/' as well as '\' and needs no closing separator.
TEST_F(StartupTest, DataFolderValuesTakeEitherSeparator) {
  std::filesystem::create_directories(dir + "/game/shared");
  ASSERT_TRUE(WritePack(dir + "/game/shared/grpack_v.mlz", Pack(), false));
  const std::string cfg = Win(dir + "/game/prog/velmi.cfg");
  const std::string values[] = {dir + "/game/shared/", dir + "/game/shared", Win(dir + "/game/shared"),
                                "../shared",           "..\\shared",         "./../shared/"};
  for (const std::string& v : values) {
    IniStore::Discard();
    Cfg("[GAME_INST_FOLDER]\r\nDATA02=" + v + "\r\n");
    app->dataPath[0] = 0;
    EXPECT_EQ(FindDataFolder(app, cfg.c_str(), "grpack_v.mlz"), 1) << v;
    EXPECT_STREQ(app->dataPath, Win(dir + "/game/shared/").c_str()) << v;
    EXPECT_STREQ(app->picturePackPath, Win(dir + "/game/shared/grpack_v.mlz").c_str()) << v;
  }
  // A closing backslash is looked for as a character: the second byte of
  // ソ (83 5C) is not one.
  char value[8] = "a\x83\x5C";
  NormaliseFolderValue(value);
  EXPECT_STREQ(value, "a\x83\x5C\\");
  char slashes[8] = "a/b/";
  NormaliseFolderValue(slashes);
  EXPECT_STREQ(slashes, "a\\b\\");
}

// A start without a pack that reads tells what is missing, where it was
// looked for (each folder once, with '/' between folders) and how to make
// one, and writes nothing; the save submenu stays closed at the title of a
// good start until a game begins.
TEST_F(StartupTest, UnusablePackIsToldAndNothingIsWritten) {
  const std::string data = dir + "/game/prog/data", shared = dir + "/game/shared";
  Bytes good;
  ASSERT_TRUE(WritePack(dir + "/good.mlz", Pack(), false));
  good = ReadFileBytes(dir + "/good.mlz");
  Bytes cut(good.begin(), good.end() - 50);
  Bytes badMagic = good;
  badMagic[0] = 'X';
  enum PackKind { kNone, kEmpty, kCut, kMagic };
  const struct {
    const char* what;
    const char* cfg;
    PackKind pack;    // what data\ beside the program holds
    bool damaged;     // told as damaged, not as missing
    const char* key;  // the list's key for data\ beside the program
    const char* own;  // and its name there
  } cases[] = {
      {"no data folder", "", kNone, false, "", "data"},
      {"a DATA folder that is missing", "[GAME_INST_FOLDER]\r\nDATA01=..\\missing\\\r\nDATA03=..\\shared\r\n", kNone,
       false, "", "data"},
      {"an empty pack", "", kEmpty, true, "", "data"},
      {"a pack cut short", "", kCut, true, "", "data"},
      {"not a pack", "", kMagic, true, "", "data"},
      // The folders the search tried are compared, not their texts.
      {"DATA01 names data\\ beside the program", "[GAME_INST_FOLDER]\r\nDATA01=data\\\r\n", kNone, false,
       "DATA01: ", "data"},
      {"DATA folders written otherwise",
       "[GAME_INST_FOLDER]\r\nDATA02=./Data\r\nDATA04=..\\prog\\data\r\nDATA05=data//\r\n", kNone, false,
       "DATA02: ", "Data"},
      // ソ is 83 5C: the byte of '\\' that ends it is no separator, so
      // ..\ソ\ソ and ..\ソソ are two folders.
      {"DATA folders whose names end in the byte of a backslash",
       "[GAME_INST_FOLDER]\r\nDATA01=..\\\x83\x5C\\\x83\x5C\r\nDATA02=..\\\x83\x5C\x83\x5C\r\n", kNone, false, "",
       "data"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(data);
    if (c.pack != kNone) {
      std::filesystem::create_directories(data);
      const Bytes bytes = c.pack == kEmpty ? Bytes{} : c.pack == kCut ? cut : badMagic;
      ASSERT_TRUE(WriteFileBytes(data + "/grpack_v.mlz", bytes)) << c.what;
    }
    IniStore::Discard();
    Cfg(c.cfg);
    NewApp();
    std::u16string text = u"x";
    EXPECT_EQ(AppStartup(app, &text), 0) << c.what;
    const std::string told = Utf8(text);
    EXPECT_EQ(told.rfind(Utf8(c.damaged ? kTextDataDamaged : kTextDataNotFound), 0), 0u) << c.what << "\n" << told;
    EXPECT_NE(told.find("grpack_v.mlz\n"), std::string::npos) << c.what << "\n" << told;
    EXPECT_NE(told.find("convVelmi"), std::string::npos) << c.what << "\n" << told;
    // The converter's screen that makes this pack.
    EXPECT_NE(told.find("640*480"), std::string::npos) << c.what << "\n" << told;
    EXPECT_NE(told.find("--screen 640x480"), std::string::npos) << c.what << "\n" << told;
    EXPECT_EQ(told.find('\\'), std::string::npos) << c.what << "\n" << told;
    // Each folder is named once.
    const size_t own = told.find(std::string("  ") + c.key + dir + "/game/prog/" + c.own + "/\n");
    EXPECT_NE(own, std::string::npos) << c.what << "\n" << told;
    EXPECT_EQ(told.find("/game/prog/"), told.rfind("/game/prog/")) << c.what << "\n" << told;
    if (c.cfg == std::string(cases[1].cfg)) {
      const size_t first = told.find("  DATA01: " + dir + "/game/missing/\n");
      const size_t third = told.find("  DATA03: " + dir + "/game/shared/\n");
      EXPECT_NE(first, std::string::npos) << told;
      EXPECT_LT(first, third) << told;
      EXPECT_LT(third, own) << told;
    }
    if (c.cfg == std::string(cases[7].cfg)) {
      const std::string so = "\xE3\x82\xBD";  // ソ
      const size_t first = told.find("  DATA01: " + dir + "/game/" + so + "/" + so + "/\n");
      const size_t second = told.find("  DATA02: " + dir + "/game/" + so + so + "/\n");
      EXPECT_NE(first, std::string::npos) << told;
      EXPECT_LT(first, second) << told;
      EXPECT_LT(second, own) << told;
    }
    EXPECT_FALSE(std::filesystem::exists(data + "/save")) << c.what;
    IniStore::Discard();
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/game/prog/velmi.cfg.tmp"));

  // A pack that reads: the start goes on, makes the save folder and leaves
  // the save submenu closed (the load submenu open) at the title.
  ASSERT_TRUE(WriteFileBytes(data + "/grpack_v.mlz", good));
  NewApp();
  EXPECT_EQ(AppStartup(app), 1);
  EXPECT_TRUE(std::filesystem::is_directory(data + "/save"));
  ASSERT_NE(app->menu, nullptr);
  EXPECT_NE(app->menu->root->items[0].flags & kMenuEnabled, 0u);
  EXPECT_EQ(app->menu->root->items[1].flags & kMenuEnabled, 0u);
  EXPECT_EQ(app->saveAllowed, 0);
}

// The boxes write in the message font from the first box on: a start
// without data tells the device the face MESSAGE_FONT_NAME names when the
// font list holds it, else the list's first.
TEST_F(StartupTest, BoxesDrawInTheMessageFontBeforeThePackOpens) {
  std::filesystem::remove_all(dir + "/game/prog/data");
  AppStartup(app);
  ASSERT_NE(app->fontList, nullptr);
  char first[128] = "", other[128] = "";
  app->fontList->GetName(0, first);
  // Another family of the list that draws Japanese (the IPA fonts come in pairs).
  for (int i = 1; i < app->fontList->Count() && !other[0]; ++i) {
    app->fontList->GetName(i, other);
    if (Utf8(other).rfind("IPA", 0) != 0) other[0] = 0;
  }
  if (!other[0] || Utf8(first).rfind("IPA", 0) != 0) GTEST_SKIP() << "needs two IPA families";
  const struct {
    const char* what;
    std::string cfg;
    const char* face;
  } cases[] = {
      {"no font named", "", first},
      {"an installed family", std::string("[SYSTEM_CONFIG]\r\nMESSAGE_FONT_NAME=") + other + "\r\n", other},
      {"a family not installed", "[SYSTEM_CONFIG]\r\nMESSAGE_FONT_NAME=No Such Family\r\n", first},
      {"the list's first preferred", std::string("[FONT_LIST_CONFIG]\r\nPUT_LIST_00=") + other + "\r\n", other},
  };
  for (const auto& c : cases) {
    IniStore::Discard();
    Cfg(c.cfg);
    VelmiDeviceSetMessageBoxFace(u"");
    NewApp();
    EXPECT_EQ(AppStartup(app), 0) << c.what;
    VelmiDeviceBoxLayout layout;
    ASSERT_TRUE(VelmiDeviceDrawMessageBox("x", 1024, 768, &layout, nullptr)) << c.what;
    EXPECT_EQ(layout.face, Utf8(c.face)) << c.what;
  }
  IniStore::Discard();
}

TEST_F(StartupTest, SaveConfigWritesEverySettingAndKeepsUserLines) {
  Cfg("[KEY_CONFIG]\r\nKEY_A=1b\r\n[MUSIC_CONFIG]\r\nDEVICE_VOL=300\r\nPCM=0\r\n");
  AppStartup(app);
  app->settings.masterVolume = 70;
  app->settings.antialiasLevel = 3;
  SaveConfig(app);
  ASSERT_EQ(IniStore::Flush(), 1);
  std::string text = AsText(ReadFileBytes(dir + "/game/prog/velmi.cfg"));
  EXPECT_EQ(text.rfind("[KEY_CONFIG]\r\nKEY_A=1b\r\n[MUSIC_CONFIG]\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("DEVICE_VOL=300\r\n"), std::string::npos);
  EXPECT_NE(text.find("PCM=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("MASTER_VOL=70\r\n"), std::string::npos);
  EXPECT_NE(text.find(ANTIALIAS_KEY "=3\r\n"), std::string::npos);
  EXPECT_NE(text.find("TRANS_MODE=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("CHAR_VOICE_USE_16=1\r\n"), std::string::npos);
  EXPECT_EQ(text.find("MEM_STREAM"), std::string::npos);
  // Read back: the same settings.
  GameSettings saved = app->settings;
  NewApp();
  AppStartup(app);
  saved.memStream = app->settings.memStream;
  EXPECT_EQ(std::memcmp(&saved, &app->settings, sizeof saved), 0);
}

// From a missing file, the exit writes every written key with its default,
// in the write order (a key new to its section goes first in it, so each
// section lists its keys backwards); the file then survives another run
// byte for byte.
TEST_F(StartupTest, FreshFileHoldsTheDefaultsInWriteOrderAndRoundTrips) {
  AppStartup(app);
  char font[128];
  app->fontList->GetName(0, font);
  struct Entry {
    const char* section;
    std::string key, value;
  };
  std::vector<Entry> order = {{"MUSIC_CONFIG", "PCM", "2"},
                              {"VOICE_CONFIG", "VOICE_PLAY", "2"},
                              {"SE_CONFIG", "SE_PLAY", "2"},
                              {"MUSIC_CONFIG", "MASTER_VOL", "100"},
                              {"MUSIC_CONFIG", "MUSIC_VOL", "100"},
                              {"VOICE_CONFIG", "VOICE_VOL", "100"},
                              {"SE_CONFIG", "SE_VOL", "100"},
                              {"MOV_CONFIG", "MOV_VOL", "100"},
                              {"VOICE_CONFIG", "VOICE_CUT_MODE", "0"},
                              {"MOV_CONFIG", "VGA_QUALITY", "1"},
                              {"SYSTEM_CONFIG", "MESSAGE_FONT_NAME", font},
                              {"MESSAGE_CONFIG", "MES_LOG_START", "0"},
                              {"MESSAGE_CONFIG", "EFFECT_USE", "1"},
                              {"SYSTEM_CONFIG", "SACRA_MODE", "1"},
                              {"SYSTEM_CONFIG", "MAP_ANIME_USE", "1"}};
  for (int c = 1; c <= 16; ++c)
    order.push_back({"SYSTEM_CONFIG", std::string("CHAR_VOICE_USE_") + char('0' + c / 10) + char('0' + c % 10), "1"});
  const Entry tail[] = {{"MESSAGE_CONFIG", "READ_SKIP", "0"},         {"MESSAGE_CONFIG", "LOCK_SKIP", "0"},
                        {"MESSAGE_CONFIG", "VOICE_AUTOLOCK", "0"},    {"MESSAGE_CONFIG", ANTIALIAS_KEY, "0"},
                        {"MESSAGE_CONFIG", "MESSAGE_SPEED", "1"},     {"MESSAGE_CONFIG", "MESSAGE_AUTO", "0"},
                        {"MESSAGE_CONFIG", "MESSAGE_AUTO_BASE", "0"}, {"MESSAGE_CONFIG", "MESSAGE_AUTO_ONE", "0"},
                        {"SYSTEM_CONFIG", "TITLE_IMAGE_MODE", "0"},   {"SYSTEM_CONFIG", "CG_MODE_CHAR", "0"},
                        {"SYSTEM_CONFIG", "CG_MODE_PAGE", "0"},       {"SYSTEM_CONFIG", "EV_MODE_CHAR", "0"},
                        {"SYSTEM_CONFIG", "EV_MODE_PAGE", "0"},       {"MESSAGE_CONFIG", "TEXT_CUT_MODE", "0"},
                        {"MESSAGE_CONFIG", "WINDOW_TRANS", "5"},      {"MESSAGE_CONFIG", "TRANS_MODE", "1"},
                        {"SYSTEM_CONFIG", "MASCOT_VOICE", "0"},       {"SYSTEM_CONFIG", "SAVE_MASCOT_ICON", "0"},
                        {"MESSAGE_CONFIG", "MESSAGE_SADOW", "0"},     {"MUSIC_CONFIG", "SAOUND_QUALITY", "0"},
                        {"MUSIC_CONFIG", "OGG_USE_LEVEL", "0"},       {"SYSTEM_CONFIG", "KEY_CEN_CTRL", "1"},
                        {"SYSTEM_CONFIG", "KET_CUR_MODE", "0"},       {"SYSTEM_CONFIG", "KET_DOUBLE_CLICK", "0"},
                        {"SYSTEM_CONFIG", "DISP_FREE_MODE", "0"},     {"SYSTEM_CONFIG", "MANA_VOICE_CUT", "0"},
                        {"SYSTEM_CONFIG", "MANA_FULL_CUT", "0"}};
  order.insert(order.end(), std::begin(tail), std::end(tail));
  std::vector<std::string> sections;
  for (const Entry& e : order)
    if (std::find(sections.begin(), sections.end(), e.section) == sections.end()) sections.push_back(e.section);
  std::string want;
  for (const std::string& sec : sections) {
    want += "[" + sec + "]\r\n";
    for (auto e = order.rbegin(); e != order.rend(); ++e)
      if (sec == e->section) want += e->key + "=" + e->value + "\r\n";
  }
  SaveConfig(app);
  ASSERT_EQ(IniStore::Flush(), 1);
  const std::string path = dir + "/game/prog/velmi.cfg";
  EXPECT_EQ(AsText(ReadFileBytes(path)), want);
  NewApp();
  AppStartup(app);
  SaveConfig(app);
  ASSERT_EQ(IniStore::Flush(), 1);
  EXPECT_EQ(AsText(ReadFileBytes(path)), want);
}

}  // namespace
