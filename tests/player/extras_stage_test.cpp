// The extras, the story screens and the endings on the stage: sprite-table
// snapshots on an 800x600 screen (canvas units equal screen pixels) and the
// sound requests recorded at the sound port.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/scenario/sound_requests.h"
#include "player/scenario/story_tables.h"
#include "player/scenario/system_data.h"
#include "tests/mixer/mixer_fixtures.h"
#include "tests/player/rbp_builder.h"

namespace {

// Every music request as one line: "open 0 005.mp3 loop=1", "stop 0".
class RecordingPort : public SoundRequestPort {
 public:
  int Open(int channel, const char* file, const char*, PackReader*, int, int loop, int) override {
    calls.push_back("open " + std::to_string(channel) + " " + file + " loop=" + std::to_string(loop));
    return 1;
  }
  void Stop(int channel) override { calls.push_back("stop " + std::to_string(channel)); }
  void FadeOut(int, int) override {}
  void SetVolume(int, int) override {}
  int IsPlaying(int) override { return 0; }
  int IsMoviePlaying() override { return 0; }
  std::string Take() {
    std::string out;
    for (const std::string& c : calls) out += (out.empty() ? "" : " | ") + c;
    calls.clear();
    return out;
  }
  std::vector<std::string> calls;
};

class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiClockUseFake(100000);
    SetPlayerBuild(PlayerBuild::Ce50);
    app = new CGameApp;
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(800);
    SetScreenHeight(600);
    app->settings.musicPlay = 1;
    app->soundRequests.SetPort(&port);
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  void TearDown() override {
    app->soundRequests.SetPort(nullptr);
    delete app;
    VelmiClockUseReal();
  }
  void Frame(DWORD ms = 16) {
    VelmiClockAdvance(ms);
    app->DispatchMode();
  }
  void Keys(const char* keys) {
    for (const char* k = keys; *k; ++k) {
      const int counter = *k == 'u' ? IN_UP : *k == 'd' ? IN_DOWN : *k == 'a' ? IN_KEY_A : IN_KEY_C;
      app->input.count[counter] = 1;
      Frame();
    }
  }
  void Enter(int mode) {
    app->gameMode = mode;
    app->phase = 0;
    Frame();
  }
  // "slot sx,sy wxh @x,y p" of a sprite, "-" when the slot is empty.
  std::string Sprite(int n) {
    const CSprite* s = app->sprites[n];
    if (!s) return "-";
    if (s->kind == 6)
      return "fill " + std::to_string(s->canvasX / 1000) + "," + std::to_string(s->canvasY / 1000) + " p" +
             std::to_string(s->priority) + " l" + std::to_string(s->level);
    return std::to_string(s->slot) + " " + std::to_string(s->srcLeft) + "," + std::to_string(s->srcTop) + " " +
           std::to_string(s->canvasWidth) + "x" + std::to_string(s->canvasHeight) + " @" +
           std::to_string(s->canvasX / 1000) + "," + std::to_string(s->canvasY / 1000) + " p" +
           std::to_string(s->priority);
  }
  CGameApp* app = nullptr;
  RecordingPort port;
};

// ---- Music mode

TEST_F(StageTest, MusicModeLayoutAndHighlights) {
  Enter(MODE_MUSIC);
  struct Want {
    int sprite;
    const char* text;
  } built[] = {
      {10, "10 0,0 800x600 @0,0 p32"},
      {11, "12 1,1 63x23 @452,100 p28"},
      {13, "12 129,1 63x23 @600,100 p28"},
      {17, "12 137,216 112x32 @610,542 p28"},
      {18, "12 40,216 16x16 @743,161 p28"},
      {20, "13 1,1 295x31 @67,167 p28"},
      {21, "13 1,33 295x31 @407,167 p28"},
      {35, "13 1,481 295x31 @407,447 p28"},
      {19, "-"},
      {36, "-"},
      {45, "-"},
  };
  for (const Want& w : built) EXPECT_EQ(Sprite(w.sprite), w.text) << w.sprite;
  // Row 1 highlighted, then chosen: its highlighted cell, and track 2 in
  // the now-playing place.
  Keys("dd");
  EXPECT_EQ(Sprite(21), "13 1,609 295x31 @407,167 p28");
  EXPECT_EQ(Sprite(20), "13 1,1 295x31 @67,167 p28");
  port.Take();
  Keys("c");
  EXPECT_EQ(port.Take(), "open 0 002.mp3 loop=0");
  EXPECT_EQ(Sprite(45), "13 1,1185 295x31 @70,96 p28");
  // Scrolled to the end: the mark at the bottom, the last line 45 and 46
  // (column 2 of the title cells).
  app->musicMode.scroll = 15;
  app->BuildMusicMode(15, 0);
  EXPECT_EQ(Sprite(18), "12 40,216 16x16 @743,467 p28");
  EXPECT_EQ(Sprite(34), "13 593,257 295x31 @67,447 p28");
  EXPECT_EQ(Sprite(35), "13 593,289 295x31 @407,447 p28");
  EXPECT_EQ(Sprite(45), "13 1,1185 295x31 @70,96 p28");  // the build leaves it
  // Repeat on: its "on" cell after the rebuild, highlighted.
  app->BuildMusicMode(0, 1);
  EXPECT_EQ(Sprite(13), "12 129,25 63x23 @600,100 p28");
}

TEST_F(StageTest, MusicModePlaysEveryTrackOnceOrRepeated) {
  for (int repeat : {0, 1}) {
    Enter(MODE_MUSIC);
    if (repeat) {
      app->musicMode.repeat = 1;
    }
    port.Take();
    for (int track = 1; track <= 46; ++track) {
      const int scroll = track <= 16 ? 0 : (track - 15) / 2;
      app->musicMode.scroll = scroll;
      const int row = track - 2 * scroll - 1;
      app->musicMode.cursor = row;
      app->input.count[IN_KEY_C] = 1;
      Frame();
      char want[64];
      std::snprintf(want, sizeof want, "open 0 %03d.mp3 loop=%d", track, repeat);
      EXPECT_EQ(port.Take(), want) << track;
      EXPECT_EQ(app->sound.currentTrack, track);
    }
  }
  // The same track while it plays is not asked for again with repeat on;
  // stop forgets it, so it plays again.
  app->musicMode.cursor = 15;
  app->input.count[IN_KEY_C] = 1;
  Frame();
  EXPECT_EQ(port.Take(), "");
  Keys("dc");  // 16 play
  EXPECT_EQ(port.Take(), "");
  Keys("dc");  // 17 stop: the music channel stopped at the mixer
  EXPECT_EQ(app->sound.currentTrack, -1);
  EXPECT_EQ(app->musicMode.selected, 0);
  EXPECT_EQ(Sprite(45), "-");
  // Back: the title music.
  Keys("dddddc");
  Frame();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(port.Take(), "open 0 025.mp3 loop=1");
}

// ---- Interviews

TEST_F(StageTest, InterviewButtonsShowTheirRows) {
  Enter(MODE_INTERVIEW);
  EXPECT_EQ(port.Take(), "open 0 025.mp3 loop=1");
  EXPECT_EQ(Sprite(10), "10 0,0 800x600 @0,0 p32");
  EXPECT_EQ(Sprite(14), "11 0,0 184x32 @140,117 p24");
  EXPECT_EQ(Sprite(19), "11 920,0 184x32 @77,438 p24");
  EXPECT_EQ(Sprite(12), "11 0,193 56x55 @181,498 p24");
  EXPECT_EQ(Sprite(11), "11 168,193 112x32 @610,542 p24");
  Keys("dd");
  EXPECT_EQ(Sprite(15), "11 184,128 184x32 @78,178 p24");  // highlighted: row page + 4
  Keys("c");
  EXPECT_EQ(Sprite(15), "11 184,64 184x32 @78,178 p24");  // playing: row page + 2
  Keys("uuc");                                            // page 1
  EXPECT_EQ(Sprite(16), "11 552,32 184x32 @140,309 p24");
  EXPECT_EQ(Sprite(18), "-");
  EXPECT_EQ(Sprite(12), "11 0,249 56x55 @181,498 p24");
}

// ---- Endings

TEST_F(StageTest, RollPicturesFollowTheClock) {
  struct Step {
    DWORD at;
    const char* sprite10;
    const char* sprite11;
  } steps[] = {
      {0, "10 0,0 800x600 @0,0 p16", "11 0,0 800x600 @0,600 p16"},
      {20000, "10 0,0 800x600 @0,429 p16", "11 0,0 800x600 @0,-171 p16"},
      {279984, "10 0,0 800x600 @0,1 p16", "11 0,0 800x600 @0,-599 p16"},
  };
  app->gameMode = MODE_STORY;
  app->story.frameCounter = 0;
  DWORD t = 0;
  for (const Step& s : steps) {
    while (t < s.at) {
      VelmiClockAdvance(16);
      t += 16;
      ++app->story.frameCounter;
      ASSERT_EQ(app->RunEndingRoll(0), 0);
    }
    if (s.at == 0) app->RunEndingRoll(0);
    EXPECT_EQ(Sprite(10), s.sprite10) << s.at;
    EXPECT_EQ(Sprite(11), s.sprite11) << s.at;
  }
  // The fade, then both pictures go; the music keeps playing.
  while (t < 282500) {
    VelmiClockAdvance(16);
    t += 16;
    app->RunEndingRoll(0);
  }
  EXPECT_LT(app->sprites[10]->level, 256);
  EXPECT_GT(app->sprites[10]->level, 0);
  app->sound.currentTrack = 7;
  VelmiClockAdvance(600);
  EXPECT_EQ(app->RunEndingRoll(0), 1);
  EXPECT_EQ(Sprite(10), "-");
  EXPECT_EQ(Sprite(11), "-");
  EXPECT_EQ(app->sound.currentTrack, 7);
}

TEST_F(StageTest, SlidesCrossFadeThroughTheCapturedScreen) {
  app->gameMode = MODE_STORY;
  app->story.frameCounter = 0;
  EXPECT_EQ(app->RunEndingSlides(4), 0);
  EXPECT_STREQ(app->stage.backgroundName, "ED\\ed_olw_01");
  // The capture at the front, whole canvas named.
  EXPECT_EQ(Sprite(0), "0 0,0 800x600 @0,0 p0");
  ++app->story.frameCounter;
  VelmiClockAdvance(500);
  EXPECT_EQ(app->RunEndingSlides(4), 0);
  EXPECT_EQ(app->sprites[0]->level, 128);
  VelmiClockAdvance(500);
  ++app->story.frameCounter;
  EXPECT_EQ(app->RunEndingSlides(4), 0);
  EXPECT_EQ(Sprite(0), "-");
  // A skip shows the set's last slide and stops the music.
  app->sound.currentTrack = 3;
  app->input.count[IN_LEFT] = 7;
  ++app->story.frameCounter;
  EXPECT_EQ(app->RunEndingSlides(4), 1);
  EXPECT_STREQ(app->stage.backgroundName, "ED\\ed_olw_18");
  EXPECT_EQ(app->sound.currentTrack, -1);
}

// ---- Map

TEST_F(StageTest, MapFiguresPortraitAndHighlight) {
  g_ScriptVariables[1281] = 1;
  g_ScriptVariables[1291] = 5;  // school place 5: destination 4
  for (int anime : {1, 0}) {
    app->settings.mapAnimeUse = anime;
    Enter(MODE_MAP);
    EXPECT_EQ(Sprite(28), "28 0,0 800x600 @0,0 p48");
    EXPECT_EQ(Sprite(16), "13 817,0 24x24 @71,231 p36");
    EXPECT_EQ(Sprite(21), "13 817,0 24x24 @618,437 p36");
    EXPECT_EQ(Sprite(14), anime ? "15 0,0 168x152 @536,212 p32" : "-");
    // Destination 4: the plate of place 5, the figure's highlighted rows,
    // the portrait of heroine 1 and the area.
    Keys("uu");
    EXPECT_EQ(Sprite(22), "11 0,281 424x56 @136,524 p28");
    EXPECT_EQ(Sprite(14), anime ? "15 0,762 168x152 @536,212 p32" : "-");
    EXPECT_EQ(Sprite(23), "13 136,0 136x160 @0,440 p28");
    EXPECT_EQ(Sprite(24), "12 0,257 200x159 @504,209 p37");
    Keys("u");
    EXPECT_EQ(Sprite(23), "-");
    EXPECT_EQ(Sprite(14), anime ? "15 0,0 168x152 @536,212 p32" : "-");
    EXPECT_EQ(Sprite(24), "12 0,0 208x112 @320,0 p37");
    // The choice: the black curtain, then the music stops and the story
    // takes over.
    Keys("c");
    EXPECT_EQ(Sprite(0), "fill 0,0 p0 l0");
    Frame(500);
    EXPECT_EQ(Sprite(0), "fill 0,0 p0 l128");
    Frame(500);
    EXPECT_EQ(app->sound.currentTrack, -1);
    for (int n : {0, 10, 14, 16, 22, 23, 24, 28}) EXPECT_EQ(Sprite(n), "-") << n;
    Frame();
    EXPECT_EQ(g_ScriptVariables[1300], 3);
    g_ScriptVariables[1300] = 0;
  }
}

// ---- Gallery viewer

TEST_F(StageTest, GalleryViewerScrollsAnOversizePicture) {
  // The first record of group 0 seen, its picture 1200x700 design units.
  const char* name = g_CgTable[0].name;
  ASSERT_EQ(AddSeenName(app, kSeenListA, name), 1);
  const std::string folder = mixertest::TempFolder("gallery-view");
  std::vector<uint16_t> pixels(size_t(1200) * 700, 0x8410);
  const Bytes small = MakeRbp565(64, 64, std::vector<uint16_t>(64 * 64, 0x1234), 800, 600);
  std::vector<std::pair<std::string, Bytes>> entries = {
      {std::string("AdvData\\grp\\BG\\") + name + ".rbp", MakeRbp565(1200, 700, pixels, 1200, 700)}};
  for (const char* n : {"cgmode_BG00", "common_cg_chip00", "cgmode_dummychip", "thumbnail_vlm", "scenereplay_chip"})
    entries.push_back({std::string("AdvData\\grp\\SYSTEM\\") + n + ".rbp", small});
  ASSERT_TRUE(WritePack(folder + "/grpack_v.mlz", entries, false));
  std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s",
                mixertest::WinPath(folder + "/grpack_v.mlz").c_str());
  app->cgMode.tab = 0;
  app->cgMode.page = 0;
  Enter(MODE_CG);
  EXPECT_EQ(Sprite(64), "13 0,0 96x72 @320,124 p28");    // unlocked: its thumbnail
  EXPECT_EQ(Sprite(65), "12 176,0 96x72 @450,124 p28");  // locked
  EXPECT_EQ(Sprite(80), "11 0,242 10x16 @366,198 p22");  // seen 01 of the group
  EXPECT_EQ(Sprite(81), "11 10,242 10x16 @376,198 p22");
  Keys("dc");
  Frame();
  ASSERT_EQ(app->phase, 21);
  EXPECT_EQ(app->errorWord, 0u);
  EXPECT_EQ(app->cgMode.viewWidth, 1200);
  EXPECT_EQ(app->cgMode.viewHeight, 700);
  EXPECT_EQ(Sprite(6), "6 0,0 1200x700 @0,0 p16");
  for (int i = 1; i <= 30; ++i) {
    app->input.count[IN_RIGHT] = uint32_t(i);
    app->input.count[IN_DOWN] = uint32_t(i);
    Frame();
  }
  EXPECT_EQ(Sprite(6), "6 0,0 1200x700 @-400,-100 p16");
  app->input = {};
  Keys("c");  // the group's only picture: back to the list
  Frame();
  EXPECT_EQ(app->phase, 1);
  EXPECT_EQ(Sprite(6), "-");
}

}  // namespace
