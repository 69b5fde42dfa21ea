// A page of message text typed out through the text renderer and the frame
// composition over a background sprite, presented to the emulated device and
// saved as a PNG screenshot.
#include <gtest/gtest.h>

#include <png.h>
#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdio>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "tests/player/compose_steps.h"
#include "tests/text/text_env.h"

namespace {

// The held picture of a PNG screenshot as RGB565.
std::vector<uint16_t> ReadPng(const std::string& path, int* w, int* h) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return {};
  img.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr)) return {};
  *w = int(img.width);
  *h = int(img.height);
  std::vector<uint16_t> out(size_t(img.width) * img.height);
  for (size_t i = 0; i < out.size(); ++i) out[i] = PackRgb565(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
  return out;
}

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    VelmiDeviceSetGeometry(480, 640);
    SetPlayerBuild(PlayerBuild::Ce42);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
    VelmiClockUseFake(50000);
    app = new CGameApp;
    app->dirty->SetSize(640, 480);
    app->settings.antialiasLevel = 3;
    app->settings.messageShadow = 1;
    app->settings.messageSpeed = 3;
    // A background picture with a gradient, as a sprite.
    app->pictures[0] = new CPicture;
    CPicture::CreateBlank(app->pictures[0], 640, 480, 0, 2);
    uint16_t* p = app->pictures[0]->GetPixels();
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) p[y * 640 + x] = PackRgb565(40 + y / 4, 60 + x / 8, 140);
    CSprite* s = new CSprite;
    s->InitSource(0, 0, 0, 800, 600);
    s->SetPosition(0, 0);
    s->SetPriority(5);
    app->sprites[0] = s;
    // The message window's text settings.
    window = new CTextWindow;
    window->SetTextArea(6, 380, 736, 208);
    window->SetFontSize(28);
    window->SetSpacing(0, 14);
    window->SetLineLimits(24, 3);
    app->textWindow = window;
  }
  void TearDown() override {
    app->pictures[0]->FreePixels();
    delete app;
    VelmiClockUseReal();
  }
  void Frame() { ComposeDirtyRects(app); }
  std::vector<uint16_t> Pixels() const {
    return std::vector<uint16_t>(app->screen->GetPixels(), app->screen->GetPixels() + 640 * 480);
  }

  CGameApp* app = nullptr;
  CTextWindow* window = nullptr;
};

TEST_F(PageTest, TypedPageComposedPresentedAndSaved) {
  const std::string name = Sjis("ヴェルミ");
  const std::string text = Sjis(
      "｛きょう／今日｝は朝から雨が降っていた。傘を持って出かけた/"
      "駅前の交差点で、見覚えのある後ろ姿を見つけた。/"
      "「おはよう。ずいぶん｛・・・／早いの｝ね」と彼女は笑った。");
  InputState input{};
  Frame();
  const std::vector<uint16_t> background = Pixels();
  window->SetInstantMode(1);
  // The name plate at once, then the text one character every 30 ms.
  window->colour = 0xD0FFF0;
  window->noWait = 1;
  window->SetPosition(128 - int(name.size() / 2) * 14, 12);
  window->StartText(name.c_str());
  LayoutText(window, &app->settings, &input, app->dirty, 100);
  window->noWait = 0;
  window->colour = 0xFFFFFF;
  window->SetPosition(38, 76);
  window->column = 0;  // the message window starts each page's lines afresh
  window->StartText(text.c_str());
  int frames = 0;
  int shown = 0;
  for (; frames < 400; ++frames) {
    VelmiClockAdvance(16);
    int done = LayoutText(window, &app->settings, &input, app->dirty, 100);
    Frame();
    EXPECT_GE(window->count, shown);
    shown = window->count;
    if (done) break;
  }
  EXPECT_GT(frames, 100);  // typed out over many frames, not at once
  EXPECT_LT(frames, 400);
  const std::vector<uint16_t> page = Pixels();
  int changed = 0;
  for (int y = 280; y < 480; ++y)
    for (int x = 0; x < 640; ++x) changed += page[y * 640 + x] != background[y * 640 + x];
  EXPECT_GT(changed, 5000);
  for (int y = 0; y < 280; ++y)
    for (int x = 0; x < 640; ++x) ASSERT_EQ(page[y * 640 + x], background[y * 640 + x]) << x << "," << y;

  // A redraw of the sprites under the text brings the same pixels back:
  // the characters there are drawn again, once.
  RECT part{0, 340, 640, 480};
  app->dirty->Add(&part, 1);
  Frame();
  EXPECT_EQ(Pixels(), page);
  // Hidden by the player: a redraw leaves only the background.
  window->hiddenByPlayer = 1;
  RECT all{0, 0, 640, 480};
  app->dirty->Add(&all, 1);
  Frame();
  EXPECT_EQ(Pixels(), background);
  window->hiddenByPlayer = 0;
  app->dirty->Add(&all, 1);
  Frame();
  EXPECT_EQ(Pixels(), page);

  // Presented to the device and saved as the screen is held.
  ASSERT_TRUE(QueryRawFrameBuffer(&app->screen->desc));
  app->screen->Present(GetFrameBufferPointer(), nullptr, nullptr);
  const std::string png = std::string(VELMI_BINARY_DIR) + "/text_page.png";
  std::remove(png.c_str());
  ASSERT_TRUE(VelmiDeviceScreenshot(png.c_str(), false));
  int w = 0, h = 0;
  std::vector<uint16_t> shot = ReadPng(png, &w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  EXPECT_EQ(shot, page);
}

}  // namespace
