// The system screens' test fixture: an application object driven frame by
// frame on the fake clock, with keys, stylus presses, a pack of small
// pictures named as the screens name them, and snapshots of the sprite table;
// and the save screen's fixture with save files in a folder of its own.
#pragma once

#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/input.h"
#include "player/core/picture.h"
#include "player/core/sprite.h"
#include "tests/player/compose_steps.h"
#include "tests/player/game_frame_fixture.h"
#include "tests/player/rbp_builder.h"

class ScreenTest : public GameFrameTest {
 protected:
  // One frame for each key: u UP, d DOWN, c KEY_C, r RIGHT, a KEY_A, t a
  // press outside; returns the word after each frame.
  std::string Drive(const char* keys, const int32_t* word = nullptr) {
    std::string seen;
    for (const char* k = keys; *k; ++k) {
      if (*k == 't')
        TapOutside();
      else
        Press(*k == 'u' ? IN_UP : *k == 'd' ? IN_DOWN : *k == 'c' ? IN_KEY_C : *k == 'r' ? IN_RIGHT : IN_KEY_A);
      Frame();
      if (word) seen += std::to_string(*word) + " ";
    }
    return seen;
  }
  // A stylus press far from every item of the screens.
  void TapOutside() { TapAt(0, 0); }
  // A stylus press on the canvas point (x, y), in screen pixels.
  void TapAt(int x, int y) {
    app->input.tap = 1;
    app->input.stylusX = uint32_t(ScaleX(x)) + 1;
    app->input.stylusY = uint32_t(ScaleY(y)) + 1;
  }
  // The pictures of the configuration, voice configuration and save screens
  // ("AdvData\grp\system\" + name, no extension).
  static std::vector<std::string> ScreenPictureNames() {
    return {"systemconfig_bg",    "systemconfig_chip00", "systemconfig_chip01", "common_chip00",
            "saveandload_chip00", "common_save_chip00",  "common_load_chip00",  "charactericom",
            "save_BG00",          "save_BG01",           "load_BG00",           "load_BG01",
            "voiceconfig_BG00",   "voiceconfig_chip00",  "voiceconfig_chip01"};
  }
  // The stage reads its pictures from a pack of small flat pictures named as
  // the system screens name them.
  void UsePicturePack() {
    std::vector<std::pair<std::string, Bytes>> entries = TitleSystemPictures();
    for (const std::string& n : ScreenPictureNames())
      entries.push_back(
          {"AdvData\\grp\\system\\" + n + ".rbp", MakeRbp565(16, 16, std::vector<uint16_t>(256, 0x39E7), 16, 16)});
    UsePack(entries);
  }
  // The stage reads its pictures from a pack of these entries.
  void UsePack(const std::vector<std::pair<std::string, Bytes>>& entries) {
    packDir = MakeTempDir("screenpack");
    ASSERT_FALSE(packDir.empty());
    ASSERT_TRUE(WritePack(packDir + "/grpack_v.mlz", entries, false));
    std::string path = packDir + "/grpack_v.mlz";
    for (char& c : path)
      if (c == '/') c = '\\';
    std::snprintf(app->picturePackPath, sizeof app->picturePackPath, "%s", path.c_str());
  }
  // One frame step's composition into the screen.
  void Compose() { ComposeDirtyRects(app); }
  void TearDown() override {
    GameFrameTest::TearDown();
    if (!packDir.empty()) {
      std::error_code rmError;
      std::filesystem::remove_all(packDir, rmError);
    }
  }
  // The sprite table from first to last, one line a sprite: "slot picture
  // sx,sy wxh @x,y pP lL vV" (picture by its file name, "?" when its slot
  // holds none).
  std::vector<std::string> SpriteTable(int first, int last) {
    std::vector<std::string> lines;
    for (int n = first; n <= last; ++n) {
      const CSprite* s = app->sprites[n];
      if (!s) continue;
      std::string name = "?";
      if (s->slot >= 0 && s->slot < kPictureSlots && app->pictures[s->slot]) {
        name = app->pictures[s->slot]->name;
        const size_t cut = name.find_last_of('\\');
        if (cut != std::string::npos) name = name.substr(cut + 1);
      }
      char line[160];
      std::snprintf(line, sizeof line, "%d %s %d,%d %dx%d @%d,%d p%d l%d v%u", n, name.c_str(), s->srcLeft, s->srcTop,
                    int(s->canvasWidth), int(s->canvasHeight), int(s->canvasX / 1000), int(s->canvasY / 1000),
                    int(s->priority), int(s->level), unsigned(s->visible));
      lines.push_back(line);
    }
    return lines;
  }
  std::string packDir;
};

// The 800 x 600 canvas on the 640 x 480 screen, as long as it lives.
struct Canvas800 {
  int w = GetCanvasWidth(), h = GetCanvasHeight();
  Canvas800() {
    SetCanvasWidth(800);
    SetCanvasHeight(600);
  }
  ~Canvas800() {
    SetCanvasWidth(w);
    SetCanvasHeight(h);
  }
};

// Lines of a snapshot, one a line, for a readable failure message.
inline std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// Runs the title from phase 5 to its menu.
inline void ReachTitleMenu(ScreenTest* t, CGameApp* app) {
  app->phase = 5;
  for (int i = 0; i < 12 && app->phase != 11; ++i) {
    VelmiClockAdvance(3000);
    app->DispatchMode();
  }
  app->input.count[IN_RIGHT] = 1;
  app->DispatchMode();
  (void)t;
}

// A save file as the game writes it: the state block, then a w x h thumbnail.
inline Bytes MakeSaveFile(int icon, const char* time, const char* script, int w = 64, int h = 48) {
  Bytes b(26688, 0);
  std::memcpy(b.data(), "YMN0", 4);
  PutLe32(b.data() + 4, 26688);
  std::memcpy(b.data() + 8, time, std::strlen(time) < 20 ? std::strlen(time) : 20);
  PutLe32(b.data() + 92, uint32_t(icon));
  std::memcpy(b.data() + 106, script, std::strlen(script) < 32 ? std::strlen(script) : 32);
  Bytes bmp(54, 0);  // the header, then the pixels
  bmp.resize(54 + size_t(w) * h * 2, 0x11);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLe32(bmp.data() + 18, uint32_t(w));
  PutLe32(bmp.data() + 22, uint32_t(h));
  b.insert(b.end(), bmp.begin(), bmp.end());
  return b;
}

class SaveScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    dir = MakeTempDir("savescreen");
    std::snprintf(app->savePath, sizeof app->savePath, "%s/", dir.c_str());
  }
  void TearDown() override {
    {
      std::error_code rmError;
      std::filesystem::remove_all(dir, rmError);
    }
    ScreenTest::TearDown();
  }
  // Writes the file of a save slot.
  void Save(int slot, int icon = 3, const char* script = "fst_1216_a1_cmn") {
    char name[32];
    std::snprintf(name, sizeof name, "/save%03d.dat", slot + 1);
    ASSERT_TRUE(WriteFileBytes(dir + name, MakeSaveFile(icon, "2026-12-10 17:30:08", script)));
  }
  std::string Used() const {
    std::string s;
    for (int32_t u : app->saveLoad.rowUsed) s += char('0' + u);
    return s;
  }
  std::string Keys(const char* keys) { return Drive(keys, &app->saveLoad.cursor); }
  std::string dir;
};
