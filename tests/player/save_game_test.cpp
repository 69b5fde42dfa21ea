// The game's save and system-data topics: snapshot, writing with the fake
// clock's local time and the held thumbnail, the auto-save ring, the checked
// restore, the save and load menu items and system.dat through the game; and
// a story choice played frame by frame, saved and resumed, and its keys.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "common/file.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/menu_ids.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/scenario/save_image.h"
#include "player/scenario/script_file.h"
#include "player/scenario/story.h"
#include "player/scenario/story_tables.h"
#include "player/scenario/system_image.h"
#include "player/menu/popup_menu.h"
#include "tests/player/box_words.h"
#include "tests/player/rbp_builder.h"
#include "tests/story/assemble.h"
#include "tests/support/disk_flushes.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"

namespace {

constexpr char kScript[] = "a0506_01";
constexpr uint32_t kCodeLength = 100;

class SaveGame : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiDeviceSetHeadless(true);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
    VelmiClockUseFake(1000);
    SYSTEMTIME start{2004, 5, 4, 6, 7, 8, 10, 0};
    VelmiClockSetLocalTime(&start);
    dir = MakeTempDir("savegame");
    ASSERT_FALSE(dir.empty());
    folder = dir + "/";
    for (char& c : folder)
      if (c == '/') c = '\\';
    // A script of one word and 100 bytes of code.
    Bytes script = {1, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD};
    script.resize(8 + kCodeLength, 0);
    // Pictures for a stage of a background, two characters and a layer, and
    // the message window's.
    std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
    entries.push_back({std::string("AdvData\\mes\\") + kScript + ".mes", script});
    const std::vector<uint16_t> flat(8 * 6, 0x1234);
    for (const char* name : {"bg\\bg01", "ch\\a", "ch\\b", "ch\\b_ly", "system\\yuki01"})
      entries.push_back({std::string("AdvData\\GRP\\") + name + ".rbp", MakeRbp565(8, 6, flat, 10, 8)});
    ASSERT_TRUE(WritePack(dir + "/grpack_v.mlz", entries, false));
    app = NewApp();
  }
  void TearDown() override {
    app.reset();
    VelmiClockUseReal();
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!system(cmd.c_str());
  }
  std::unique_ptr<CGameApp> NewApp() {
    auto a = std::make_unique<CGameApp>();
    std::strcpy(a->savePath, folder.c_str());
    std::strcpy(a->picturePackPath, (folder + "grpack_v.mlz").c_str());
    a->fontList = new FontList;
    std::strcpy(a->fontList->names[0], "Alpha");
    a->fontList->count = 1;
    BuildMenuTree(a.get());
    return a;
  }
  // A new device and game object, in a new game with a snapshot to save.
  void RestartInAGame() {
    app.reset();
    VelmiDeviceReset();
    VelmiDeviceSetHeadless(true);
    app = NewApp();
    app->NewGame();
    Play(app.get(), 0);
    app->SnapshotSaveState();
  }
  // A live game with a value in every word the block holds.
  void Play(CGameApp* a, int seed) {
    std::strcpy(a->story.scriptName, kScript);
    std::strcpy(a->story.speakerName, "who");
    std::strcpy(a->sound.voiceName, "v_0001");
    a->story.pc = 40 + seed;
    a->story.frameCounter = 5 + seed;
    a->story.moveKind = uint16_t(2 + seed);
    a->story.readBlock = 17 + seed;
    a->story.conditionFlag = 1;
    for (int i = 0; i < kScriptVariables; ++i) g_ScriptVariables[i] = int16_t(i * 3 + seed);
    a->weather.kind = 3;
    a->weather.strength = 12 + seed;
    a->message.windowShown = 1;
    a->message.pageCursorShown = 1;
    a->sound.currentTrack = 4;
    a->sound.trackMode = 0;
    a->sound.currentEffect = 9;
    a->sound.effectLoop = 0;
    a->stage.characters[0] = {1, "ch_a", "ly_a", -100, 20, -90, 30 + seed};
    a->stage.characters[1] = {0, "", "", 0, 0, 7, 8};
    std::strcpy(a->stage.backgroundName, "bg\\bg01");
    a->stage.backgroundX = -40;
    a->stage.backgroundY = 12;
    a->story.choice = {};
    a->story.choice.optionCount = 2;
    a->story.choice.chosen = 1;
    std::strcpy(a->story.choice.texts[0], "yes");
    std::strcpy(a->story.choice.labels[1], "L2");
    a->settings.saveMascotIcon = 3;
    for (uint32_t i = 0; i < a->screen->GetWidth() * a->screen->GetHeight(); ++i) a->screen->GetPixels()[i] = 0x07E0;
  }
  Bytes File(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "/save%03d.dat", number);
    return ReadFileBytes(dir + name);
  }
  const MenuItem* Item(int id) { return app->menu->FindMenuItem(nullptr, id); }

  std::string dir, folder;
  std::unique_ptr<CGameApp> app;
};

uint32_t U32(const Bytes& b, size_t at) { return GetLe32(&b[at]); }

TEST_F(SaveGame, WrittenSaveHoldsTheSnapshotTimeAndThumbnail) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  app->story.pc = 77;  // the live state moves on: the save keeps the snapshot
  VelmiClockAdvance(3500);
  ASSERT_EQ(app->WriteSaveFile(4), 1);
  Bytes f = File(5);
  ASSERT_EQ(f.size(), 26688u + 54 + 128 * 96 * 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[8])), "2004-05-06 07:08:13");
  // No scene table row: month 0 and an empty title.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[28])), "-\x81H\x8c\x8e\x81H\x93\xfa[]-");
  EXPECT_EQ(U32(f, 92), 3u);
  EXPECT_EQ(U32(f, 96), 40u);
  EXPECT_EQ(U32(f, 100), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[106])), kScript);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[138])), "v_0001");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[202])), "who");
  EXPECT_EQ(GetLe16(&f[234 + 2 * 12799]), (12799 * 3) & 0xFFFF);
  EXPECT_EQ(U32(f, 25840), 3u);
  EXPECT_EQ(U32(f, 25868), 9u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[25880])), "ch_a");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[26044])), "bg\\bg01");
  EXPECT_EQ(U32(f, 26092), 1u);
  EXPECT_EQ(U32(f, 4), 26688u);
  EXPECT_EQ(U32(f, 26688 + 18), 128u);
  EXPECT_EQ(U32(f, 26688 + 22), 96u);
  EXPECT_EQ(f[26688 + 54] | f[26688 + 55] << 8, 0x07E0);
  EXPECT_EQ(app->saveSlots.used[4], 1);
  EXPECT_EQ(app->saveSlots.newest, 4);
  // Every save writes system.dat too.
  EXPECT_EQ(ReadFileBytes(dir + "/system.dat").size(), 105476u + 24);

  // The thumbnail held since the quick option menu opened wins over the back
  // buffer; it stays held until the menu closes.
  app->CaptureThumbnail();
  for (uint32_t i = 0; i < 640 * 480; ++i) app->screen->GetPixels()[i] = 0xF800;
  ASSERT_EQ(app->WriteSaveFile(5), 1);
  Bytes g = File(6);
  ASSERT_GT(g.size(), 26688u + 56);
  EXPECT_EQ(g[26688 + 54] | g[26688 + 55] << 8, 0x07E0);
  EXPECT_NE(app->saveSlots.thumbnail, nullptr);
  app->FreeThumbnail();
  EXPECT_EQ(app->saveSlots.thumbnail, nullptr);
  ASSERT_EQ(app->WriteSaveFile(6), 1);
  Bytes h = File(7);
  EXPECT_EQ(h[26688 + 54] | h[26688 + 55] << 8, 0xF800);

  // The slot's thumbnail reads back into a picture slot.
  ASSERT_EQ(app->LoadSlotThumbnail(200, 6), 1);
  ASSERT_NE(app->pictures[200], nullptr);
  EXPECT_EQ(app->pictures[200]->width, 128u);
  EXPECT_EQ(app->pictures[200]->GetPixels()[0], 0xF800);
  EXPECT_EQ(app->LoadSlotThumbnail(201, 30), 0);
  EXPECT_EQ(app->pictures[201], nullptr);
}

TEST_F(SaveGame, NarrowScreenLabelHasNoDate) {
  app.reset();
  SetScreenWidth(320);
  SetScreenHeight(240);
  app = NewApp();
  Play(app.get(), 0);
  app->SnapshotSaveState();
  ASSERT_EQ(app->WriteSaveFile(0), 1);
  Bytes f = File(1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[28])), "--");
  EXPECT_EQ(U32(f, 26688 + 18), 64u);  // 160 x 120 canvas units at 320 x 240
  EXPECT_EQ(U32(f, 26688 + 22), 48u);

  // The same file loads on a 640 x 480 configuration, thumbnail and all.
  app.reset();
  SetScreenWidth(640);
  SetScreenHeight(480);
  app = NewApp();
  int used[15], newest = -1;
  FillSaveMenus(app->menu, kMenuLoadFirst, kMenuSaveFirst, app->savePath, 1, used, &newest);
  EXPECT_EQ(newest, 0);
  EXPECT_NE(Item(kMenuLoadFirst)->flags & kMenuHasPicture, 0u);
  EXPECT_EQ(app->RestoreSaveFile(0), 1);
  EXPECT_EQ(app->story.pc, 40u);
}

TEST_F(SaveGame, LabelNamesTheSceneOfTheTable) {
  const SceneRecord* row = nullptr;
  for (const SceneRecord* r = g_SceneTable; r->month >= 0 && !row; ++r)
    if (r->month > 0 && r->title[0]) row = r;
  ASSERT_NE(row, nullptr);
  Play(app.get(), 0);
  std::memcpy(app->story.scriptName, row->scriptName, sizeof row->scriptName);
  app->SnapshotSaveState();
  char expect[64];
  std::snprintf(expect, sizeof expect, "-%d\x8c\x8e%d\x93\xfa[%.32s]-", row->month, row->day, row->title);
  EXPECT_STREQ(app->saveState.label, expect);
}

TEST_F(SaveGame, FailedWriteKeepsFileFlagsAndMenus) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  ASSERT_EQ(app->WriteSaveFile(2), 1);
  Bytes before = File(3);
  std::string labelBefore = Item(kMenuLoadFirst + 2)->label;
  ASSERT_EQ(mkdir((dir + "/save002.dat.tmp").c_str(), 0700), 0);  // blocks the write of slot 1
  ASSERT_EQ(mkdir((dir + "/save003.dat.tmp").c_str(), 0700), 0);  // and of slot 2
  VelmiClockAdvance(5000);
  EXPECT_EQ(app->WriteSaveFile(1), 0);
  EXPECT_EQ(app->saveSlots.used[1], 0);
  EXPECT_EQ(app->saveSlots.newest, 2);
  EXPECT_FALSE(FileExists((folder + "save002.dat").c_str()));
  app->story.pc = 9;
  app->SnapshotSaveState();
  EXPECT_EQ(app->WriteSaveFile(2), 0);
  EXPECT_EQ(File(3), before);
  EXPECT_EQ(std::string(Item(kMenuLoadFirst + 2)->label), labelBefore);
  for (int slot : {-1, 48, 499, 503}) EXPECT_EQ(app->WriteSaveFile(slot), 0) << slot;
}

// Without a snapshot there is no game to save: at the title, between a new
// game and its first message, after leaving a game.  Every way of asking
// (the pop-up menu's item, the quick-save button's ring, the call itself)
// leaves a real save of the slot and system.dat as they were, and tells
// nothing.
TEST_F(SaveGame, NothingIsSavedWithoutASnapshot) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  ASSERT_EQ(app->WriteSaveFile(0), kSaveWritten);
  const Bytes real = File(1);
  const Bytes history = ReadFileBytes(dir + "/system.dat");
  enum When { kTitle, kNewGame, kLeft };
  const struct {
    When when;
    const char* what;
  } cases[] = {{kTitle, "at the title"}, {kNewGame, "before the first message"}, {kLeft, "after leaving a game"}};
  for (const auto& c : cases) {
    app = NewApp();
    if (c.when != kTitle) app->NewGame();
    if (c.when == kLeft) {
      Play(app.get(), 1);
      app->SnapshotSaveState();
      app->LeaveGame();
    }
    VelmiClockAdvance(2000);
    EXPECT_EQ(app->WriteSaveFile(0), kSaveNothingToSave) << c.what;
    HandleMenuCommand(app.get(), nullptr, kMenuSaveFirst, 0);
    EXPECT_EQ(AutoSave(app.get()), kSaveNothingToSave) << c.what;
    EXPECT_EQ(File(1), real) << c.what;
    EXPECT_TRUE(File(501).empty()) << c.what;
    EXPECT_EQ(ReadFileBytes(dir + "/system.dat"), history) << c.what;
    EXPECT_TRUE(VelmiDeviceMessageBoxes().empty()) << c.what;
  }
}

// A save the disk refuses is told in a message box naming the file and the
// reason, and the older file stays whole; a save followed by a system.dat
// that could not be written says that in its own words.  Each way of saving
// tells it: the pop-up menu's item and the message window's quick-save
// button (the save question: the screen tests).
TEST_F(SaveGame, RefusedWritesAreToldAndKeepTheOlderFile) {
  // A link to /dev/null takes every byte but cannot flush them.  A save of
  // kUnconfirmed is renamed, but the flush of its folder fails.
  enum Blocker {
    kDiskFull,
    kFolderInTheWay,
    kSystemDataInTheWay,
    kNoFlush,
    kSystemDataNoFlush,
    kNameIsFolder,
    kUnconfirmed
  };
  const struct {
    Blocker blocker;
    bool quickSave;  // the message window's button, else the menu item of slot 0
    int result;
    const std::string* headline;
    const std::string* reason;
  } cases[] = {
      {kDiskFull, false, kSaveFailed, &box_words::kNotSaved, &box_words::kDiskFull},
      {kFolderInTheWay, false, kSaveFailed, &box_words::kNotSaved, &box_words::kFolderAtName},
      {kNameIsFolder, false, kSaveFailed, &box_words::kNotSaved, &box_words::kFolderAtName},
      {kSystemDataInTheWay, false, kSaveSystemDataFailed, &box_words::kSavedButNotSystemData,
       &box_words::kFolderAtName},
      {kUnconfirmed, false, kSaveUnconfirmed, &box_words::kSavedUnconfirmed, &box_words::kDiskFailed},
      {kUnconfirmed, true, kSaveUnconfirmed, &box_words::kSavedUnconfirmed, &box_words::kDiskFailed},
      {kDiskFull, true, kSaveFailed, &box_words::kNotSaved, &box_words::kDiskFull},
      {kSystemDataInTheWay, true, kSaveSystemDataFailed, &box_words::kSavedButNotSystemData, &box_words::kFolderAtName},
      {kNoFlush, false, kSaveFailed, &box_words::kNotSaved, &box_words::kSystemError87},
      {kSystemDataNoFlush, true, kSaveSystemDataFailed, &box_words::kSavedButNotSystemData, &box_words::kSystemError87},
  };
  for (const auto& c : cases) {
    const std::string what = std::to_string(c.blocker) + (c.quickSave ? " quick save" : " menu");
    for (const char* name : {"save001.dat", "save501.dat", "system.dat"}) {
      std::filesystem::remove(dir + "/" + name);
      std::filesystem::remove(dir + "/" + name + ".tmp");
    }
    RestartInAGame();
    const int file = c.quickSave ? 501 : 1;
    ASSERT_EQ(app->WriteSaveFile(file - 1), kSaveWritten) << what;
    app->saveSlots.newestAuto = -1;  // the ring writes save501.dat again
    const Bytes before = File(file);
    const int slotItem = c.quickSave ? kMenuAutoSaveFirst : kMenuLoadFirst;
    const std::string labelBefore = Item(slotItem) ? Item(slotItem)->label : "";
    char name[32];
    std::snprintf(name, sizeof name, "save%03d.dat", file);
    const bool systemData = c.blocker == kSystemDataInTheWay || c.blocker == kSystemDataNoFlush;
    const std::string failed = systemData ? "system.dat" : name;
    const std::string tmp = dir + "/" + failed + (c.blocker == kNameIsFolder ? "" : ".tmp");
    // A failed write removes its temporary file: a link is made again.
    auto block = [&] {
      if (c.blocker == kUnconfirmed) {
        VelmiFailFolderFlush(0);
        return true;
      }
      if (c.blocker == kNameIsFolder) std::filesystem::remove(tmp);
      if (c.blocker == kDiskFull) return symlink("/dev/full", tmp.c_str()) == 0 || errno == EEXIST;
      if (c.blocker == kNoFlush || c.blocker == kSystemDataNoFlush)
        return symlink("/dev/null", tmp.c_str()) == 0 || errno == EEXIST;
      return mkdir(tmp.c_str(), 0700) == 0 || errno == EEXIST;
    };
    ASSERT_TRUE(block()) << what;
    app->story.pc = 9;
    app->SnapshotSaveState();
    VelmiClockAdvance(5000);
    if (c.quickSave) {
      app->message.highlightedButton = 4;
      app->input.count[IN_KEY_C] = 1;
      EXPECT_EQ(app->HitSideButton(), 4) << what;
    } else {
      HandleMenuCommand(app.get(), nullptr, kMenuSaveFirst, 0);
    }
    const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << what;
    EXPECT_EQ(boxes[0].rfind("Error: " + *c.headline, 0), 0u) << what << ": " << boxes[0];
    // The box names the file with '/' between its folders.
    EXPECT_NE(boxes[0].find("\n" + dir + "/" + failed + "\n" + *c.reason), std::string::npos)
        << what << ": " << boxes[0];
    if (c.blocker == kNameIsFolder) {
      EXPECT_TRUE(std::filesystem::is_directory(tmp)) << what;
    } else if (c.result == kSaveFailed) {
      EXPECT_EQ(File(file), before) << what;  // the older file, whole
    } else {
      EXPECT_EQ(U32(File(file), 96), 9u) << what;  // the save itself was written
    }
    if (c.result == kSaveUnconfirmed) {
      // The slot shows the new save, written 5 s after the older one.
      ASSERT_NE(Item(slotItem), nullptr) << what;
      EXPECT_NE(std::string(Item(slotItem)->label), labelBefore) << what;
    }
    // The call's own result tells the two failures apart.
    ASSERT_TRUE(block()) << what;
    EXPECT_EQ(app->WriteSaveFile(file - 1), c.result) << what;
    VelmiFailFolderFlush(-1);
    std::filesystem::remove(tmp);
  }
}

// The save file and system.dat each written, not written (a folder stands
// under the name written first) or written without the disk's confirmation
// (its folder flush fails): one box names every file not written or not
// confirmed with its path and reason, those not written first, the save
// first among equals.  The slot shows a save that was written, confirmed or
// not; a save not written leaves the slot, its file and system.dat as they
// were (system.dat is written again when the window closes).
TEST_F(SaveGame, SaveAndSystemDataFailuresAreToldTogether) {
  const std::string save = dir + "/save001.dat", system = dir + "/system.dat";
  enum Outcome { kOk, kNotWritten, kUnconfirmed };
  // A box section: headline, file and reason.
  auto section = [](const std::string& headline, const std::string& file, const std::string& reason) {
    return headline + "\n" + file + "\n" + reason;
  };
  const std::string saveNotWritten = section(box_words::kNotSaved, save, box_words::kFolderAtName);
  const std::string saveNotConfirmed = section(box_words::kSavedUnconfirmed, save, box_words::kDiskFailed);
  const std::string systemNotConfirmed = section(box_words::kSystemDataUnconfirmed, system, box_words::kDiskFailed);
  const std::string systemNotWritten = section(box_words::kSavedButNotSystemData, system, box_words::kFolderAtName);
  const struct {
    Outcome save, system;
    int result;
    std::string box;  // after "Error: "; empty: no box
  } cases[] = {
      {kOk, kOk, kSaveWritten, ""},
      {kOk, kNotWritten, kSaveSystemDataFailed, systemNotWritten},
      {kOk, kUnconfirmed, kSaveUnconfirmed, systemNotConfirmed},
      {kUnconfirmed, kOk, kSaveUnconfirmed, saveNotConfirmed},
      {kUnconfirmed, kNotWritten, kSaveSystemDataFailed, systemNotWritten + "\n\n" + saveNotConfirmed},
      {kUnconfirmed, kUnconfirmed, kSaveUnconfirmed, saveNotConfirmed + "\n\n" + systemNotConfirmed},
      {kNotWritten, kOk, kSaveFailed, saveNotWritten},
      {kNotWritten, kNotWritten, kSaveFailed, saveNotWritten},
      {kNotWritten, kUnconfirmed, kSaveFailed, saveNotWritten},
  };
  for (const auto& c : cases) {
    const std::string what = "save " + std::to_string(c.save) + ", system.dat " + std::to_string(c.system);
    for (const std::string& name : {save, system}) {
      std::filesystem::remove_all(name);
      std::filesystem::remove_all(name + ".tmp");
    }
    RestartInAGame();
    ASSERT_EQ(app->WriteSaveFile(0), kSaveWritten) << what;
    const Bytes before = File(1), systemBefore = ReadFileBytes(system);
    const std::string labelBefore = Item(kMenuLoadFirst)->label;
    // The blockers: a folder under the temporary name; the folder flush of
    // each rename that is to fail, the save's coming first when it is made.
    if (c.save == kNotWritten) {
      ASSERT_TRUE(std::filesystem::create_directory(save + ".tmp")) << what;
    }
    if (c.system == kNotWritten) {
      ASSERT_TRUE(std::filesystem::create_directory(system + ".tmp")) << what;
    }
    // Only a save that is made and confirmed has a flush before the failing ones.
    const int firstFailing = c.save == kOk ? 1 : 0;
    const int failing = (c.save == kUnconfirmed) + (c.system == kUnconfirmed);
    if (failing) VelmiFailFolderFlushes(firstFailing, failing);
    app->story.pc = 9;
    ++g_ScriptVariables[kPersistentVariableFirst];  // kept in system.dat
    app->SnapshotSaveState();
    VelmiClockAdvance(5000);
    const int result = app->WriteSaveFile(0);
    TellSaveResult(app.get(), result);
    VelmiFailFolderFlush(-1);
    EXPECT_EQ(result, c.result) << what;
    const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.empty()) << what;
    } else {
      ASSERT_EQ(boxes.size(), 1u) << what;
      EXPECT_EQ(boxes[0], "Error: " + c.box) << what;
    }
    if (c.save == kNotWritten) {
      EXPECT_EQ(File(1), before) << what;
      EXPECT_EQ(std::string(Item(kMenuLoadFirst)->label), labelBefore) << what;
    } else {
      EXPECT_EQ(U32(File(1), 96), 9u) << what;
      // Written 5 s after the older save.
      EXPECT_NE(std::string(Item(kMenuLoadFirst)->label), labelBefore) << what;
    }
    const bool systemWritten = c.save != kNotWritten && c.system != kNotWritten;
    EXPECT_EQ(ReadFileBytes(system) != systemBefore, systemWritten) << what;
  }
}

// A save and the system.dat written after it are each on the disk before
// their names replace the older files, and each rename before the save ends.
TEST_F(SaveGame, SavesReachTheDiskBeforeTheirNames) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  const std::string folder = std::filesystem::path(dir).filename().string();
  vtest::DiskFlushLog log;
  ASSERT_EQ(app->WriteSaveFile(0), kSaveWritten);
  const std::vector<std::string> expected = {
      "flush save001.dat.tmp", "move save001.dat.tmp save001.dat", "folder " + folder,
      "flush system.dat.tmp",  "move system.dat.tmp system.dat",   "folder " + folder};
  EXPECT_EQ(log.Lines(), expected);
}

TEST_F(SaveGame, MenusListSlotsInOrderWithTheNewestChecked) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  const int order[] = {7, 0, 14, 3};  // written in this order, 2 s apart
  for (int slot : order) {
    VelmiClockAdvance(2000);
    ASSERT_EQ(app->WriteSaveFile(slot), 1);
  }
  ASSERT_EQ(app->WriteSaveFile(20), 1);  // beyond the menu: no item changes
  for (int k = 0; k < 15; ++k) {
    bool used = k == 7 || k == 0 || k == 14 || k == 3;
    const MenuItem* load = Item(kMenuLoadFirst + k);
    const MenuItem* save = Item(kMenuSaveFirst + k);
    ASSERT_NE(load, nullptr);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(app->saveSlots.used[k], used ? 1 : 0) << k;
    EXPECT_EQ((load->flags & kMenuEnabled) != 0, used) << k;
    EXPECT_NE(save->flags & kMenuEnabled, 0u) << k;
    EXPECT_EQ((load->flags & kMenuChecked) != 0, k == 3) << k;
    EXPECT_EQ((save->flags & kMenuChecked) != 0, k == 3) << k;
    EXPECT_EQ((load->flags & kMenuHasPicture) != 0, used) << k;
    if (used)
      EXPECT_EQ(std::string(load->label).substr(0, 11), "2004-05-06 ") << k;
    else
      EXPECT_STREQ(load->label, kTextUndefinedSlot) << k;
    EXPECT_STREQ(save->label, load->label) << k;
  }
  EXPECT_EQ(app->saveSlots.newest, 3);

  // A fresh start finds the same from the files.
  auto again = NewApp();
  int used[15], newest = -2;
  EXPECT_EQ(FillSaveMenus(again->menu, kMenuLoadFirst, kMenuSaveFirst, again->savePath, 1, used, &newest), 3);
  EXPECT_EQ(newest, 3);
  EXPECT_STREQ(again->menu->FindMenuItem(nullptr, kMenuLoadFirst + 7)->label, Item(kMenuLoadFirst + 7)->label);
  // Outside a game the two submenus are disabled and nothing is read.
  newest = -2;
  EXPECT_EQ(FillSaveMenus(again->menu, kMenuLoadFirst, kMenuSaveFirst, again->savePath, 0, used, &newest), -1);
  EXPECT_EQ(newest, -1);
  EXPECT_EQ(again->menu->root->items[0].flags & kMenuEnabled, 0u);
  EXPECT_EQ(again->menu->root->items[1].flags & kMenuEnabled, 0u);
}

TEST_F(SaveGame, AutoSaveRingKeepsTheLastThree) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  const int expected[] = {501, 502, 503, 501, 502};
  for (int i = 0; i < 5; ++i) {
    VelmiClockAdvance(2000);
    app->story.pc = uint32_t(i);
    app->SnapshotSaveState();
    ASSERT_EQ(AutoSave(app.get()), 1) << i;
    EXPECT_EQ(U32(File(expected[i]), 96), uint32_t(i)) << i;
    EXPECT_EQ(app->saveSlots.newestAuto, (expected[i] - 501)) << i;
  }
  for (int k = 0; k < 3; ++k) {
    const MenuItem* item = Item(kMenuAutoSaveFirst + k);
    EXPECT_NE(item->flags & kMenuEnabled, 0u) << k;
    EXPECT_EQ((item->flags & kMenuChecked) != 0, k == 1) << k;
  }
  // After a restart the ring goes on after the newest file, not at 501.
  auto again = NewApp();
  FillAutoSaveMenu(again->menu, kMenuAutoSaveFirst, again->savePath, again->saveSlots.autoUsed,
                   &again->saveSlots.newestAuto);
  EXPECT_EQ(again->saveSlots.newestAuto, 1);
  Play(again.get(), 0);
  again->story.pc = 99;
  again->SnapshotSaveState();
  VelmiClockAdvance(2000);
  ASSERT_EQ(AutoSave(again.get()), 1);
  EXPECT_EQ(U32(File(503), 96), 99u);
}

// The words of the game a refused load must leave alone.
struct Live {
  StoryState story;
  StageState stage;
  SoundRequestState sound;
  MessageState message;
  int32_t weatherKind, weatherStrength, mode, phase;
  std::vector<int16_t> vars;
  std::vector<uint8_t> block;
  explicit Live(const CGameApp& a)
      : story(a.story),
        stage(a.stage),
        sound(a.sound),
        message(a.message),
        weatherKind(a.weather.kind),
        weatherStrength(a.weather.strength),
        mode(a.gameMode),
        phase(a.phase),
        vars(g_ScriptVariables, g_ScriptVariables + kScriptVariables),
        block(reinterpret_cast<const uint8_t*>(&a.saveState),
              reinterpret_cast<const uint8_t*>(&a.saveState) + sizeof a.saveState) {}
  bool operator==(const Live& o) const {
    return std::memcmp(&story, &o.story, sizeof story) == 0 && std::memcmp(&stage, &o.stage, sizeof stage) == 0 &&
           std::memcmp(&sound, &o.sound, sizeof sound) == 0 && std::memcmp(&message, &o.message, sizeof message) == 0 &&
           weatherKind == o.weatherKind && weatherStrength == o.weatherStrength && mode == o.mode && phase == o.phase &&
           vars == o.vars && block == o.block;
  }
};

TEST_F(SaveGame, RefusedLoadsChangeNothing) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  ASSERT_EQ(app->WriteSaveFile(0), 1);
  const Bytes good = File(1);
  struct Case {
    const char* what;
    size_t at;  // where to put bytes (or cut when bytes is empty)
    Bytes bytes;
  };
  const Case cases[] = {
      {"short", 26687, {}},
      {"magic", 0, {'X'}},
      {"unterminated script name", 106, Bytes(32, 's')},
      {"unterminated choice text", 26112, Bytes(48, 't')},
      {"five options", 26088, {5, 0, 0, 0}},
      {"chosen index 4", 26092, {4, 0, 0, 0}},
      {"weather kind 7", 25840, {7, 0, 0, 0}},
      {"script not in the pack", 106, {'z'}},
      {"pc past the code", 96, {kCodeLength, 0, 0, 0}},
      {"pc far past the code", 96, {0, 0, 0, 0x80}},
  };
  Play(app.get(), 1);  // the running game differs from the save
  app->gameMode = 80;
  app->phase = 4;
  app->SnapshotSaveState();
  const Live before(*app);
  for (const Case& c : cases) {
    Bytes f = good;
    if (c.bytes.empty())
      f.resize(c.at);
    else
      std::memcpy(f.data() + c.at, c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(WriteFileBytes(dir + "/save002.dat", f));
    EXPECT_EQ(app->RestoreSaveFile(1), 0) << c.what;
    EXPECT_TRUE(Live(*app) == before) << c.what;
  }
  EXPECT_EQ(app->RestoreSaveFile(9), 0);  // no file
  EXPECT_EQ(app->RestoreSaveFile(-1), 0);
  EXPECT_TRUE(Live(*app) == before);
  // The last byte of the code is a valid place to resume.
  Bytes f = good;
  f[96] = kCodeLength - 1;
  ASSERT_TRUE(WriteFileBytes(dir + "/save002.dat", f));
  EXPECT_EQ(app->RestoreSaveFile(1), 1);
}

TEST_F(SaveGame, RestoreResumesTheSnapshotWithItsDeliberateChanges) {
  Play(app.get(), 0);
  app->SnapshotSaveState();
  ASSERT_EQ(app->WriteSaveFile(0), 1);
  const SaveStateBlock saved = app->saveState;  // with its time and icon
  Play(app.get(), 1);
  app->gameMode = MODE_TITLE;
  app->phase = 7;
  app->CaptureThumbnail();
  app->settings.sacraMode = 0;
  std::strcpy(app->story.scriptName, "other");
  ASSERT_EQ(app->RestoreSaveFile(0), 1);
  EXPECT_STREQ(app->story.scriptName, kScript);  // loaded again

  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_EQ(app->phase, 0);
  EXPECT_EQ(app->story.pc, saved.pc);
  EXPECT_EQ(app->story.moveKind, saved.moveKind);
  EXPECT_EQ(app->story.conditionFlag, saved.conditionFlag);
  EXPECT_EQ(app->story.readBlock, saved.readBlock);
  EXPECT_EQ(app->story.frameCounter, 0);  // the saved instruction runs again from its start
  EXPECT_EQ(app->message.pageCursorShown, saved.pageCursorShown);
  EXPECT_EQ(std::memcmp(&app->story.choice, &saved.choice, sizeof saved.choice), 0);
  EXPECT_EQ(app->stage.characters[0].homeX, saved.characters[0].homeX);
  EXPECT_EQ(app->stage.characters[0].homeY, saved.characters[0].homeY);
  EXPECT_EQ(app->stage.characters[1].homeY, 8);
  // Weather off: only the words come back.
  EXPECT_EQ(app->weather.kind, 3);
  EXPECT_EQ(app->weather.strength, saved.weatherStrength);
  // Banks 0-49 come from the save; banks 50-255 are the player's history.
  for (int i = 0; i < kScriptVariables; ++i)
    ASSERT_EQ(g_ScriptVariables[i], int16_t(i * 3 + (i < kGameVariables ? 0 : 1))) << i;
  EXPECT_EQ(app->saveSlots.thumbnail, nullptr);
  EXPECT_EQ(std::memcmp(&app->saveState, &saved, sizeof saved), 0);
  // A non-looping effect is not replayed: its word stays cleared.
  EXPECT_EQ(app->sound.currentEffect, -1);

  // Weather allowed: the saved snow starts again, with the wind of the other
  // kinds (180) instead of the snow's own 150.
  app->settings.sacraMode = 1;
  app->weather.kind = 1;  // weather of the running game stops first
  ASSERT_EQ(app->RestoreSaveFile(0), 1);
  EXPECT_EQ(app->weather.kind, 3);
  EXPECT_EQ(app->weather.strength, saved.weatherStrength);
  EXPECT_EQ(app->weather.windDirection, 180);
  EXPECT_EQ(app->weather.maximum, 32);
}

TEST_F(SaveGame, SystemDataSurvivesARestart) {
  EXPECT_EQ(AddSeenName(app.get(), kSeenListA, "bg01"), 1);
  EXPECT_EQ(AddSeenName(app.get(), kSeenListA, "BG01"), 0);
  EXPECT_EQ(AddSeenName(app.get(), kSeenListB, "bg01"), 1);
  EXPECT_NE(SetReadFlag(app.get(), kScript, 300), nullptr);
  EXPECT_EQ(SetReadFlag(app.get(), kScript, 512), nullptr);
  g_ScriptVariables[12800] = 5;
  g_ScriptVariables[65535] = -7;
  g_ScriptVariables[12799] = 9;  // saved with each game, not here
  app->WriteSystemData();
  Bytes first = ReadFileBytes(dir + "/system.dat");

  app.reset();  // construction clears every variable
  app = NewApp();
  EXPECT_EQ(TestReadFlag(app.get(), kScript, 300), 0);
  app->ReadSystemData();
  EXPECT_EQ(g_ScriptVariables[12800], 5);
  EXPECT_EQ(g_ScriptVariables[65535], -7);
  EXPECT_EQ(g_ScriptVariables[12799], 0);
  EXPECT_NE(TestReadFlag(app.get(), kScript, 300), 0);
  EXPECT_EQ(TestReadFlag(app.get(), kScript, 299), 0);
  EXPECT_EQ(AddSeenName(app.get(), kSeenListA, "bg01"), 0);
  EXPECT_EQ(AddSeenName(app.get(), kSeenListB, "bg02"), 1);
  app->WriteSystemData();
  Bytes second = ReadFileBytes(dir + "/system.dat");
  EXPECT_EQ(second.size(), first.size() + 5);

  // A missing file is an empty history; a damaged one is read up to the damage.
  auto fresh = NewApp();
  std::strcpy(fresh->savePath, (folder + "none\\").c_str());
  fresh->ReadSystemData();
  EXPECT_EQ(fresh->systemData.block->nodeCount, 0u);
  second.resize(second.size() - 10);
  ASSERT_TRUE(WriteFileBytes(dir + "/system.dat", second));
  fresh.reset();
  fresh = NewApp();
  fresh->ReadSystemData();
  EXPECT_EQ(fresh->systemData.block->nodeCount, 3u);
  EXPECT_EQ(TestReadFlag(fresh.get(), kScript, 300), 0);
}

TEST_F(SaveGame, EventPictureRuleDarkensListedBackgrounds) {
  const struct {
    int mode, dispFree;
    bool listed;
    uint16_t pixel;  // after the rule, from white
    int word;
  } cases[] = {
      {MODE_STORY, 1, true, PackRgb565(0xF8 * 64 >> 8, 0xFC * 64 >> 8, 0xF8 * 64 >> 8), 1},
      {MODE_STORY, 2, true, 0x0000, 1},
      {MODE_STORY, 0, true, 0xFFFF, 0},
      {MODE_STORY, 3, true, 0xFFFF, 0},
      {MODE_STORY, 1, false, 0xFFFF, 0},
      {MODE_CG, 1, true, 0xFFFF, 0},
  };
  for (const auto& c : cases) {
    app->gameMode = c.mode;
    app->settings.dispFreeMode = c.dispFree;
    std::strcpy(app->stage.backgroundName, c.listed ? g_EventPictureNames[0] : "bg\bg01");
    app->systemData.eventPicture = 7;
    auto* picture = new CPicture;
    ASSERT_EQ(CPicture::CreateBlank(picture, 4, 4, 0xFF, 2), 1);
    delete app->pictures[kSlotBackground];
    app->pictures[kSlotBackground] = picture;
    app->ApplyEventPictureRule();
    EXPECT_EQ(picture->GetPixels()[5], c.pixel) << c.mode << " " << c.dispFree << " " << c.listed;
    EXPECT_EQ(app->systemData.eventPicture, c.word) << c.mode << " " << c.dispFree << " " << c.listed;
    picture->FreePixels();
  }
  delete app->pictures[kSlotBackground];
  app->pictures[kSlotBackground] = nullptr;
  app->ApplyEventPictureRule();  // no picture: nothing to darken
  EXPECT_EQ(app->systemData.eventPicture, 0);
}

// One field of the block: its name and where it lies.
struct BlockField {
  const char* name;
  size_t at, size;
};

#define FIELD(member) \
  BlockField { #member, offsetof(SaveStateBlock, member), sizeof(SaveStateBlock::member) }
#define CHARACTER(k, member)                                                                                \
  BlockField {                                                                                              \
    "characters[" #k "]." #member,                                                                          \
        offsetof(SaveStateBlock, characters) + k * sizeof(CharacterSlot) + offsetof(CharacterSlot, member), \
        sizeof(CharacterSlot::member)                                                                       \
  }
#define CHOICE(member)                                                                                               \
  BlockField {                                                                                                       \
    "choice." #member, offsetof(SaveStateBlock, choice) + offsetof(ChoiceGroup, member), sizeof(ChoiceGroup::member) \
  }

const BlockField kBlockFields[] = {
    FIELD(magic),           FIELD(thumbnailOffset), FIELD(time),
    FIELD(label),           FIELD(saveIcon),        FIELD(pc),
    FIELD(frameCounter),    FIELD(moveKind),        FIELD(scriptName),
    FIELD(voiceName),       FIELD(speakerName),     FIELD(variables),
    FIELD(reserved),        FIELD(readBlock),       FIELD(weatherKind),
    FIELD(weatherStrength), FIELD(conditionFlag),   FIELD(windowShown),
    FIELD(pageCursorShown), FIELD(currentTrack),    FIELD(trackMode),
    FIELD(currentEffect),   FIELD(effectLoop),      CHARACTER(0, shown),
    CHARACTER(0, name),     CHARACTER(0, layer),    CHARACTER(0, x),
    CHARACTER(0, y),        CHARACTER(0, homeX),    CHARACTER(0, homeY),
    CHARACTER(1, shown),    CHARACTER(1, name),     CHARACTER(1, layer),
    CHARACTER(1, x),        CHARACTER(1, y),        CHARACTER(1, homeX),
    CHARACTER(1, homeY),    FIELD(backgroundName),  FIELD(backgroundX),
    FIELD(backgroundY),     CHOICE(listFlag),       CHOICE(optionCount),
    CHOICE(chosen),         CHOICE(layout),         CHOICE(texts),
    CHOICE(labels),         CHOICE(message),        CHOICE(speaker),
};

#undef FIELD
#undef CHARACTER
#undef CHOICE

// The bytes of one field of the block.
Bytes FieldBytes(const SaveStateBlock& b, const BlockField& f) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&b) + f.at;
  return Bytes(p, p + f.size);
}

// Builds a rich game: a script running at a message with speaker and voice,
// a background moved off its origin, two tinted characters (one with a layer),
// music played once, an effect, snow, variables, a pending choice and the
// message window with its page cursor.
void BuildRichGame(CGameApp* a, int effectLoop) {
  std::strcpy(a->scriptPackPath, a->picturePackPath);  // the story reads its scripts too
  ASSERT_EQ(a->LoadScript(kScript), 1);
  a->settings.sacraMode = 1;
  a->settings.saveMascotIcon = 2;
  a->story.pc = 60;
  a->story.frameCounter = 14;  // part-way through the message
  a->story.moveKind = 3;
  a->story.readBlock = 21;
  a->story.conditionFlag = 1;
  for (int i = 0; i < kGameVariables; ++i) g_ScriptVariables[i] = int16_t(i * 7 - 3000);
  a->ShowBackground("bg\\bg01");
  ASSERT_EQ(a->MoveBackground(-30, 14, 1), 1);
  a->stage.characters[0].homeX = -120;
  a->stage.characters[0].homeY = 10;
  a->stage.characters[1].homeX = 150;
  a->stage.characters[1].homeY = -6;
  a->ShowLayer(1, "ch\\b_ly");
  a->ShowCharacter(0, "ch\\a@");
  a->ShowCharacter(1, "ch\\b*");
  ASSERT_NE(a->pictures[kSlotCharacter], nullptr);
  ASSERT_NE(a->pictures[kSlotLayer + 1], nullptr);
  a->PlayBgm(0x0200 | 12);  // once
  PlaySe(a, 33, effectLoop);
  a->StartParticles(3, 32, 150, 256, 9);  // snow with its own wind
  a->BuildMessageWindow();
  a->ShowMessageWindow(1);
  SetSpeakerName(a, "speaker");
  PlayVoice(a, "v_0102", 0);
  a->message.pageCursorShown = 1;
  a->story.choice.listFlag = 1;
  a->story.choice.optionCount = 3;
  a->story.choice.chosen = 2;
  for (int i = 0; i < 4; ++i) a->story.choice.layout[i] = 10 * (i + 1);
  for (int i = 0; i < 3; ++i) {
    std::snprintf(a->story.choice.texts[i], sizeof a->story.choice.texts[i], "option %d", i);
    std::snprintf(a->story.choice.labels[i], sizeof a->story.choice.labels[i], "L%d", i);
  }
  std::strcpy(a->story.choice.message, "which one?");
  std::strcpy(a->story.choice.speaker, "speaker");
}

TEST_F(SaveGame, RoundTripsEveryFieldWithOnlyTheDeliberateChanges) {
  // The table covers the whole block, field after field.
  size_t end = 0;
  for (const BlockField& f : kBlockFields) {
    EXPECT_EQ(f.at, end) << f.name;
    end = f.at + f.size;
  }
  ASSERT_EQ(end, size_t(kSaveStateSize));

  const struct {
    int slot;  // -1: the next file of the auto-save ring
    int file;
    int effectLoop;
  } cases[] = {
      {0, 1, 1}, {47, 48, 0}, {-1, 501, 0}, {-1, 502, 1}, {-1, 503, 0},
  };
  for (const auto& c : cases) {
    const std::string what = "file " + std::to_string(c.file) + (c.effectLoop ? ", looping effect" : ", effect once");
    app = NewApp();
    if (c.slot < 0)
      FillAutoSaveMenu(app->menu, kMenuAutoSaveFirst, app->savePath, app->saveSlots.autoUsed,
                       &app->saveSlots.newestAuto);
    ASSERT_NO_FATAL_FAILURE(BuildRichGame(app.get(), c.effectLoop)) << what;
    ASSERT_EQ(app->weather.kind, 3) << what;
    ASSERT_EQ(app->weather.windDirection, 150) << what;
    ASSERT_EQ(app->sound.trackMode, 0) << what;
    app->SnapshotSaveState();
    VelmiClockAdvance(2000);
    ASSERT_EQ(c.slot < 0 ? AutoSave(app.get()) : app->WriteSaveFile(c.slot), 1) << what;
    const SaveStateBlock saved = app->saveState;
    ASSERT_EQ(File(c.file).size(), kSaveStateSize + 54 + 128 * 96 * 2) << what;

    app.reset();
    app = NewApp();  // construction clears every variable
    app->settings.sacraMode = 1;
    std::strcpy(app->scriptPackPath, app->picturePackPath);
    ASSERT_EQ(app->RestoreSaveFile(c.slot < 0 ? c.file - 1 : c.slot), 1) << what;
    EXPECT_EQ(app->weather.windDirection, 180) << what;
    EXPECT_EQ(app->weather.kind, 3) << what;
    ASSERT_NE(app->pictures[kSlotBackground], nullptr) << what;
    ASSERT_NE(app->pictures[kSlotCharacter + 1], nullptr) << what;
    ASSERT_NE(app->pictures[kSlotLayer + 1], nullptr) << what;
    app->SnapshotSaveState();
    const SaveStateBlock restored = app->saveState;

    // The restore's deliberate changes; every other field comes back as saved.
    SaveStateBlock expected = saved;
    expected.frameCounter = 0;
    expected.trackMode = 1;
    if (!c.effectLoop) {
      expected.currentEffect = -1;
      expected.effectLoop = 0;
    }
    for (const BlockField& f : kBlockFields)
      EXPECT_EQ(FieldBytes(restored, f), FieldBytes(expected, f)) << what << ": " << f.name;
    // The saved game is the rich one built above.
    EXPECT_EQ(saved.frameCounter, 14) << what;
    EXPECT_EQ(saved.currentEffect, 33) << what;
    EXPECT_EQ(saved.weatherKind, 3) << what;
    EXPECT_EQ(saved.windowShown, 1) << what;
    EXPECT_EQ(saved.backgroundX, -30) << what;
    EXPECT_STREQ(saved.characters[0].name, "ch\\a@") << what;
    EXPECT_STREQ(saved.characters[1].layer, "ch\\b_ly") << what;
    EXPECT_STREQ(saved.voiceName, "v_0102") << what;
    EXPECT_STREQ(saved.speakerName, "speaker") << what;
    app.reset();
  }
}

// Stories played frame by frame from assembled scripts, saved and loaded
// through the pop-up menu's items.
class StoryChoiceGame : public SaveGame {
 protected:
  void SetUp() override {
    SaveGame::SetUp();
    std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
    // Two pages (the second asks the question), then a choice of two.
    entries.push_back({"AdvData\\mes\\asking.mes", Assemble(R"(OP_SPEAKER "Ann"
OP_MESSAGE "Firstpage."
OP_WAIT_PAGE 0
OP_SPEAKER "Bob"
OP_MESSAGE "Whichway?"
OP_WAIT_PAGE 0
OP_CLEAR_CHOICES 0
OP_CHOICE_LABEL "left"
OP_CHOICE_TEXT "Left"
OP_CHOICE_LABEL "right"
OP_CHOICE_TEXT "Right"
OP_CHOICE 0
OP_LABEL "left"
OP_VAR_OP 0 1 1 0
OP_END
OP_LABEL "right"
OP_VAR_OP 0 1 2 0
OP_END
)")});
    // Another game's page.
    entries.push_back({"AdvData\\mes\\elsewhere.mes", Assemble(R"(OP_SPEAKER "Zed"
OP_MESSAGE "Otherpage."
OP_WAIT_PAGE 0
OP_END
)")});
    // A choice of three with no question.
    entries.push_back({"AdvData\\mes\\three.mes", Assemble(R"(OP_CLEAR_CHOICES 0
OP_CHOICE_LABEL "a"
OP_CHOICE_TEXT "One"
OP_CHOICE_LABEL "b"
OP_CHOICE_TEXT "Two"
OP_CHOICE_LABEL "c"
OP_CHOICE_TEXT "Three"
OP_CHOICE 0
OP_LABEL "a"
OP_VAR_OP 0 1 1 0
OP_END
OP_LABEL "b"
OP_VAR_OP 0 1 2 0
OP_END
OP_LABEL "c"
OP_VAR_OP 0 1 3 0
OP_END
)")});
    ASSERT_TRUE(WritePack(dir + "/grpack_v.mlz", entries, false));
    app = StoryApp();
  }
  std::unique_ptr<CGameApp> StoryApp() {
    auto a = NewApp();
    std::strcpy(a->scriptPackPath, a->picturePackPath);
    return a;
  }
  void Frame() {
    VelmiClockAdvance(16);
    app->DispatchMode();
  }
  // A new game on the script, as the title starts one.
  void Begin(const char* script) {
    app->NewGame();
    ASSERT_EQ(app->LoadScript(script), 1);
  }
  // The story waits on an instruction of this opcode.
  bool WaitsOn(int opcode) const {
    return app->gameMode == MODE_STORY && app->script.Opcode(app->story.pc) == opcode && app->story.frameCounter > 0;
  }
  bool AtChoice() const { return WaitsOn(OP_CHOICE); }
  // Frames without keys until the page is typed out and waits.
  void PlayToPageWait() {
    for (int i = 0; i < 100 && !WaitsOn(OP_WAIT_PAGE); ++i) Frame();
    ASSERT_TRUE(WaitsOn(OP_WAIT_PAGE));
  }
  // Pages ended with KEY_C until the story waits at its choice.
  void PlayToChoice() {
    for (int i = 0; i < 100 && !AtChoice(); ++i) {
      app->input.count[IN_KEY_C] = 1;
      Frame();
    }
    ASSERT_TRUE(AtChoice());
    app->input.count[IN_KEY_C] = 0;
  }
  // The characters laid out in the message window, and how many of them are
  // on the name plate (in its colour, 0xF0FFD0 kept as 0x00BBGGRR).
  std::string Shown(int* nameChars) const {
    std::string text;
    *nameChars = 0;
    const CTextWindow* w = app->textWindow;
    for (int i = 0; w && i < w->count && i < kTextRecords; ++i) {
      const TextCharRecord& r = w->records[i];
      if (!r.inUse) continue;
      text += char(r.character & 0xFF);
      if (r.character > 0xFF) text += char(r.character >> 8);
      if (r.colour == 0xD0FFF0u) ++*nameChars;
    }
    return text;
  }
};

// A save at a choice holds the question shown with it; loading it shows the
// same choice with that question and one name, in a fresh start and after
// another game's page.
TEST_F(StoryChoiceGame, SaveAtAChoiceResumesWithItsQuestion) {
  Begin("asking");
  PlayToChoice();
  int names = 0;
  EXPECT_EQ(Shown(&names), "BobWhichway?");
  HandleMenuCommand(app.get(), nullptr, kMenuSaveFirst, 0);
  ASSERT_GT(File(1).size(), size_t(kSaveStateSize));
  EXPECT_STREQ(app->saveState.choice.message, "Whichway?");
  EXPECT_STREQ(app->saveState.choice.speaker, "Bob");

  const struct {
    const char* what;
    bool otherPageFirst;
  } cases[] = {{"fresh start", false}, {"after another game's page", true}};
  for (const auto& c : cases) {
    app = StoryApp();
    if (c.otherPageFirst) {
      Begin("elsewhere");
      PlayToPageWait();
      ASSERT_EQ(Shown(&names), "ZedOtherpage.") << c.what;
    }
    HandleMenuCommand(app.get(), nullptr, kMenuLoadFirst, 0);
    ASSERT_EQ(app->gameMode, MODE_STORY) << c.what;
    ASSERT_STREQ(app->story.scriptName, "asking") << c.what;
    Frame();
    EXPECT_TRUE(AtChoice()) << c.what;
    EXPECT_EQ(Shown(&names), "BobWhichway?") << c.what;
    EXPECT_EQ(names, 3) << c.what;
    EXPECT_NE(app->sprites[480], nullptr) << c.what;  // the first option's plate
    EXPECT_NE(app->sprites[482], nullptr) << c.what;
    // The resumed choice is saved with its question again.
    HandleMenuCommand(app.get(), nullptr, kMenuSaveFirst + 1, 0);
    EXPECT_STREQ(app->saveState.choice.message, "Whichway?") << c.what;
    // And it is taken as before.
    app->input.count[IN_DOWN] = 1;
    Frame();
    app->input.count[IN_KEY_C] = 1;
    Frame();
    Frame();
    EXPECT_EQ(g_ScriptVariables[1], 1) << c.what;
  }

  // A game left for the title leaves no message behind for the next game's
  // choice without a question.
  Begin("elsewhere");
  PlayToPageWait();
  app->LeaveGame();
  Begin("three");
  Frame();
  ASSERT_TRUE(AtChoice());
  EXPECT_EQ(Shown(&names), "");
  EXPECT_STREQ(app->story.choice.message, "");
}

// A direction key held at a choice moves the highlight once, however many
// frames it is held; the next press moves it again.
TEST_F(StoryChoiceGame, HeldDirectionKeyStepsTheChoiceOnce) {
  for (int held = 1; held <= 4; ++held) {
    for (int key : {IN_DOWN, IN_UP}) {
      SCOPED_TRACE(std::to_string(held) + (key == IN_DOWN ? " frames of DOWN" : " frames of UP"));
      Begin("three");
      Frame();
      ASSERT_TRUE(AtChoice());
      app->input.count[key] = 1;  // held: the count stays until the key is released
      for (int f = 0; f < held; ++f) Frame();
      const int first = key == IN_DOWN ? 0 : 2;
      EXPECT_EQ(g_ChoiceHighlight, first);
      app->input.count[key] = 0;  // released
      Frame();
      EXPECT_EQ(g_ChoiceHighlight, first);
      app->input.count[IN_KEY_C] = 1;
      Frame();
      Frame();
      EXPECT_EQ(g_ScriptVariables[1], first + 1);
    }
  }
  // Two presses, two steps.
  Begin("three");
  Frame();
  for (int press = 0; press < 2; ++press) {
    app->input.count[IN_DOWN] = 1;
    Frame();
    Frame();
    app->input.count[IN_DOWN] = 0;
  }
  EXPECT_EQ(g_ChoiceHighlight, 1);
}

TEST(EventPictures, NamesCompareAsShiftJis) {
  const char* const list[] = {"bg\\iv_ak01a", "bg\\iv_ak02b", ""};
  EXPECT_EQ(IsEventPictureName(list, "bg\\iv_ak01a"), 1);
  EXPECT_EQ(IsEventPictureName(list, "BG\\IV_AK02B"), 1);
  EXPECT_EQ(IsEventPictureName(list, "bg\\iv_ak03a"), 0);
  EXPECT_EQ(IsEventPictureName(list, ""), 0);
  EXPECT_EQ(IsEventPictureName(nullptr, "bg\\iv_ak01a"), 0);
}

}  // namespace
