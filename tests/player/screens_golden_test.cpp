// Screenshots of three system screens on the 640 x 480 screen of the
// 800 x 600 canvas, held against stored images: the title menu, the load
// page with two saves and the configuration page.  Every picture shows a
// pattern of blocks of its own, so a wrong cell, position or priority
// changes pixels.  Outside the save rows' texts the pixels must match
// exactly; inside them nearly, as the font's rendering may vary.
// VELMI_UPDATE_GOLDEN=1 writes the stored images anew.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <velmi_device.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "player/core/screen.h"
#include "tests/player/screen_fixture.h"

namespace {

// The glyphs of one font, whatever else the machine has installed.
const bool kFontsConfigured = [] {
  setenv("FONTCONFIG_FILE", VELMI_BINARY_DIR "/tests/text/fonts.conf", 1);
  return true;
}();

// A picture of w x h canvas units (multiples of 5) at the screen's scale:
// blocks of 16 pixels whose colour follows the block and the seed.
Bytes Pattern(int w, int h, int seed) {
  const int pw = w * 4 / 5, ph = h * 4 / 5;
  std::vector<uint16_t> px(size_t(pw) * ph);
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) {
      const int bx = x / 16, by = y / 16;
      px[size_t(y) * pw + x] =
          uint16_t((((bx * 5 + seed * 7) & 31) << 11) | (((by * 9 + seed * 13) & 63) << 5) | ((bx + by + seed) & 31));
    }
  return MakeRbp565(pw, ph, px, w, h);
}

class GoldenScreenTest : public SaveScreenTest {
 protected:
  void SetUp() override {
    SaveScreenTest::SetUp();
    VelmiDeviceSetGeometry(480, 640);
    ASSERT_TRUE(QueryRawFrameBuffer(&app->screen->desc));
    app->dirty->SetSize(640, 480);
    // The pictures the three screens show get patterns; the others stay
    // small and flat.
    const struct {
      const char* name;
      int w, h;
    } patterned[] = {
        {"title_daytime_BG04", 800, 600}, {"title_daytime_chip01", 800, 600}, {"load_BG00", 800, 600},
        {"saveandload_chip00", 580, 300}, {"common_load_chip00", 260, 160},   {"charactericom", 900, 435},
        {"systemconfig_bg", 800, 600},    {"systemconfig_chip00", 800, 140},  {"systemconfig_chip01", 1665, 210},
        {"common_chip00", 115, 75},
    };
    std::vector<std::pair<std::string, Bytes>> entries;
    std::vector<std::string> names = TitleSystemPictureNames();
    for (const std::string& n : ScreenPictureNames()) names.push_back(n);
    for (const std::string& n : names) {
      Bytes picture = MakeRbp565(16, 16, std::vector<uint16_t>(256, 0x39E7), 16, 16);
      for (size_t i = 0; i < std::size(patterned); ++i)
        if (n == patterned[i].name) picture = Pattern(patterned[i].w, patterned[i].h, int(i));
      entries.push_back({"AdvData\\grp\\system\\" + n + ".rbp", picture});
    }
    UsePack(entries);
  }
  void TearDown() override {
    if (!HasFailure() && !shots.empty()) {
      std::error_code rmError;
      std::filesystem::remove_all(shots, rmError);
    }
    SaveScreenTest::TearDown();
  }
  // Composes the whole screen, takes its screenshot and holds it against
  // the stored image.
  void ExpectGolden(const std::string& name, const std::vector<CanvasRect>& textAreas) {
    if (shots.empty()) shots = MakeTempDir("screen_goldens");
    app->InvalidateVirtualRect(0, 0, 800, 600);
    Compose();
    app->screen->Present(GetFrameBufferPointer(), nullptr, nullptr);
    const std::string shot = shots + "/" + name + ".png";
    const std::string golden = std::string(VELMI_SOURCE_DIR) + "/tests/player/golden/" + name + ".png";
    ASSERT_TRUE(VelmiDeviceScreenshot(shot.c_str(), false)) << name;
    if (std::getenv("VELMI_UPDATE_GOLDEN")) WriteFileBytes(golden, ReadFileBytes(shot));
    int w = 0, h = 0, gw = 0, gh = 0;
    const std::vector<uint16_t> got = ReadPng565(shot, &w, &h), want = ReadPng565(golden, &gw, &gh);
    ASSERT_EQ(w, 640) << name;
    ASSERT_EQ(h, 480) << name;
    ASSERT_EQ(gw, w) << golden << ": no stored image";
    ASSERT_EQ(gh, h) << golden;
    int outside = 0;
    double inside = 0;
    CompareOutsideText(got, want, w, h, textAreas, &outside, &inside);
    EXPECT_EQ(outside, 0) << name << " (screenshot in " << shots << ")";
    EXPECT_LT(inside, 0.3) << name;
  }
  Canvas800 canvas;
  std::string shots;
};

TEST_F(GoldenScreenTest, TitleMenu) {
  ReachTitleMenu(this, app);
  ASSERT_EQ(app->phase, 12);
  Drive("dd");  // "load" highlighted
  ExpectGolden("screen_title_menu", {});
}

TEST_F(GoldenScreenTest, LoadPageWithTwoSaves) {
  app->BuildMessageWindow();
  Save(0, 3);
  Save(1, 12);
  app->saveSlots.newest = -1;
  app->saveSlots.newestAuto = -1;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSaveLoad(1);
  ASSERT_EQ(Used(), "00110");
  // Row 2 highlighted: its thumbnail and its story date show.
  EXPECT_EQ(Keys("d"), "2 ");
  ExpectGolden("screen_load_page", {{518, 97 + 85 * 2, 282, 85 * 2}, {260, 376, 96, 18}});
}

TEST_F(GoldenScreenTest, ConfigurationPage) {
  GameSettings& s = app->settings;
  s.musicVolume = 50;
  s.voiceVolume = 100;
  s.seVolume = 30;
  s.windowTrans = 7;
  s.transMode = 1;
  s.effectUse = 0;
  s.textCutMode = 1;
  s.mascotVoice = 3;
  app->gameMode = MODE_TITLE;
  app->phase = 12;
  app->OpenSystemConfig();
  Drive("uu");  // the voice configuration button highlighted
  ExpectGolden("screen_config", {});
}

}  // namespace
