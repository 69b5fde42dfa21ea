// Dirty rectangles, blit kernels, the rotating present and the draw order.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdint>
#include <random>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/blit.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "tests/player/compose_steps.h"

namespace {

RECT R(int l, int t, int r, int b) { return RECT{l, t, r, b}; }
bool Eq(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(DirtyList, AddClipsMergesAndRefuses) {
  struct Step {
    RECT add;
    uint32_t flag;
    int result;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<RECT> after;
  };
  const Case cases[] = {
      {"clip to surface", {{R(-10, -10, 50, 50), 1, 1}}, {R(0, 0, 50, 50)}},
      {"edge accepted as empty", {{R(640, 0, 700, 10), 1, 1}}, {R(640, 0, 640, 10)}},
      {"past edge refused", {{R(641, 0, 700, 10), 1, 0}}, {}},
      {"covered refused", {{R(0, 0, 100, 100), 1, 1}, {R(10, 10, 20, 20), 1, 0}}, {R(0, 0, 100, 100)}},
      {"cover replaces", {{R(10, 10, 20, 20), 1, 1}, {R(0, 0, 100, 100), 1, 1}}, {R(0, 0, 100, 100)}},
      {"touching merge", {{R(0, 0, 50, 10), 1, 1}, {R(50, 0, 60, 10), 1, 1}}, {R(0, 0, 60, 10)}},
      {"apart kept", {{R(0, 0, 10, 10), 1, 1}, {R(20, 20, 30, 30), 1, 1}}, {R(0, 0, 10, 10), R(20, 20, 30, 30)}},
      {"flag 0 repeats", {{R(0, 0, 10, 10), 0, 1}, {R(0, 0, 10, 10), 0, 1}}, {R(0, 0, 10, 10), R(0, 0, 10, 10)}},
      // A text area never covers or swallows a sprite area.
      {"flag 1 ignores flag 0",
       {{R(0, 0, 100, 100), 0, 1}, {R(10, 10, 20, 20), 1, 1}},
       {R(0, 0, 100, 100), R(10, 10, 20, 20)}},
  };
  for (const Case& c : cases) {
    CDirtyList list;
    list.SetSize(640, 480);
    for (const Step& s : c.steps) {
      RECT r = s.add;
      EXPECT_EQ(list.Add(&r, s.flag), s.result) << c.name;
    }
    ASSERT_EQ(list.Count(), int(c.after.size())) << c.name;
    for (size_t i = 0; i < c.after.size(); ++i) {
      RECT r{};
      list.GetRect(int(i), &r);
      EXPECT_TRUE(Eq(r, c.after[i])) << c.name << " node " << i;
    }
  }
  CDirtyList list;
  list.SetSize(640, 480);
  RECT r = R(0, 0, 10, 10), out = R(7, 7, 7, 7);
  list.Add(&r, 0);
  EXPECT_EQ(list.GetRect(1, &out), 0u);
  EXPECT_EQ(out.left, 7);
  EXPECT_EQ(list.HitTest(5, 5, 6, 6), 0);  // only flag-1 nodes are hit
  r = R(20, 20, 30, 30);
  list.Add(&r, 1);
  EXPECT_EQ(list.HitTest(30, 30, 40, 40), 1);
}

CPicture Pic16(int w, int h, std::vector<uint16_t>& px) {
  CPicture p;
  p.width = uint32_t(w);
  p.height = uint32_t(h);
  p.depth = 16;
  p.pixels = reinterpret_cast<uint8_t*>(px.data());
  return p;
}

uint16_t Run1(const CPicture& pic, uint16_t target, int level, bool add = false) {
  uint16_t t = target;
  RECT r{0, 0, 1, 1};
  add ? BlitAdd(&pic, &t, 1, 0, 0, &r, level) : BlitNormal(&pic, &t, 1, 0, 0, &r, level);
  return t;
}

TEST(BlitKernels, PixelTable) {
  std::vector<uint16_t> white{0xFFFF}, grey{0x8410}, dim{0x4208};
  CPicture w = Pic16(1, 1, white), g = Pic16(1, 1, grey), d = Pic16(1, 1, dim);
  EXPECT_EQ(Run1(w, 0x0000, 256), 0xFFFF);        // Copy16
  EXPECT_EQ(Run1(w, 0x0000, 255), 0xF7DE);        // Blend16, 63 of 64
  EXPECT_EQ(Run1(g, 0x8410, 256, true), 0xFFFF);  // Add16 saturates
  EXPECT_EQ(Run1(d, 0x4208, 256, true), 0x8410);  // Add16
  EXPECT_EQ(Run1(w, 0x0000, 128, true), 0x7BEF);  // Add16Level: each channel half of 0xF8/0xFC
  uint8_t a = 0;
  CPicture al = Pic16(1, 1, white);
  al.depth = 24;
  al.alpha = &a;
  const struct {
    uint8_t alpha;
    uint16_t expect;
  } alphaCopy[] = {{0, 0x0000}, {3, 0x0000}, {252, 0xFFFF}, {255, 0xFFFF}, {128, Blend565(0, 0xFFFF, 32)}};
  for (auto& c : alphaCopy) {
    a = c.alpha;
    EXPECT_EQ(Run1(al, 0x0000, 256), c.expect) << int(c.alpha);
  }
  a = 255;
  EXPECT_EQ(Run1(al, 0x0000, 128), Blend565(0, 0xFFFF, 32));  // AlphaLevel at full alpha takes the level
  a = 128;
  EXPECT_EQ(Run1(al, 0x0000, 128), Blend565(0, 0xFFFF, (32 * 32) >> 6));
  EXPECT_EQ(Run1(al, 0x0000, 256, true), PackRgb565(0x7C, 0x7E, 0x7C));  // AddAlpha: s * a >> 8
  // A mask plane over the target: zero leaves the target, 255 nearly copies.
  uint8_t m = 0;
  al.mask = &m;
  al.maskPitch = 1;
  a = 255;
  EXPECT_EQ(Run1(al, 0x1234, 256), 0x1234);
  m = 255;
  EXPECT_EQ(Run1(al, 0x0000, 256), PackRgb565(0xF8 * 254 >> 8, 0xFC * 254 >> 8, 0xF8 * 254 >> 8));
  // Paletted pictures write RGB565 (entry bytes: blue, green, red).
  uint8_t pal[8] = {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0}, idx[2] = {0, 1};
  CPicture p;
  p.width = 2;
  p.height = 1;
  p.depth = 8;
  p.pixels = idx;
  p.palette = pal;
  uint16_t two[3] = {0, 0, 0xABCD};
  RECT r2{0, 0, 2, 1};
  BlitNormal(&p, two, 2, 0, 0, &r2, 256);
  EXPECT_EQ(two[0], 0xF800);
  EXPECT_EQ(two[1], 0x001F);
  EXPECT_EQ(two[2], 0xABCD);  // nothing past the two pixels
  // Empty pictures draw nothing.
  CPicture empty;
  EXPECT_EQ(Run1(empty, 0x1111, 256), 0x1111);
}

TEST(BlitKernels, Fills) {
  uint16_t px[4] = {0, 0, 0, 0};
  RECT r{0, 0, 2, 2};
  FillColor(0x00FF8040, px, 2, 0, 0, &r, 256);
  EXPECT_EQ(px[3], 0xFC08);
  px[0] = 0;
  RECT one{0, 0, 1, 1};
  FillColor(0x00FFFFFF, px, 2, 0, 0, &one, 255);
  EXPECT_EQ(px[0], 0xF7DE);
  px[0] = 0x8410;
  FillAdd(0x00808080, px, 2, 0, 0, &one, 256);
  EXPECT_EQ(px[0], 0xFFFF);
  px[0] = 0;
  FillAdd(0x00FFFFFF, px, 2, 0, 0, &one, 128);
  EXPECT_EQ(px[0], 0x7BEF);
}

// The SSE2 row loops against the scalar ones (the reference): every
// alpha, additive, level and fill kernel, over a table of levels, widths
// and source and target offsets, then over every target pixel value.
struct KernelRun {
  const char* name;
  int call;  // 0 BlitNormal 16, 1 BlitNormal 24, 2 BlitAdd 16, 3 BlitAdd 24, 4 FillColor, 5 FillAdd
};
constexpr KernelRun kKernelRuns[] = {{"normal16", 0}, {"normal24", 1}, {"add16", 2},
                                     {"add24", 3},    {"fill", 4},     {"fillAdd", 5}};

void RunKernel(int call, CPicture* pic16, CPicture* pic24, std::vector<uint16_t>* target, int pitch, int x, int y,
               const RECT& r, int level, bool vector) {
  SetVectorBlendRows(vector);
  switch (call) {
    case 0:
      BlitNormal(pic16, target->data(), pitch, x, y, &r, level);
      break;
    case 1:
      BlitNormal(pic24, target->data(), pitch, x, y, &r, level);
      break;
    case 2:
      BlitAdd(pic16, target->data(), pitch, x, y, &r, level);
      break;
    case 3:
      BlitAdd(pic24, target->data(), pitch, x, y, &r, level);
      break;
    case 4:
      FillColor(0x00C86A1F, target->data(), pitch, x, y, &r, level);
      break;
    default:
      FillAdd(0x00C86A1F, target->data(), pitch, x, y, &r, level);
      break;
  }
  SetVectorBlendRows(true);
}

TEST(BlitKernels, VectorRowsEqualScalarRows) {
  if (!SetVectorBlendRows(true)) GTEST_SKIP() << "this processor has only the scalar rows";
  std::mt19937 rng(31);
  const uint16_t edges[] = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0x8410, 0x7BEF, 0x0821};
  auto pixel = [&] { return rng() % 4 == 0 ? edges[rng() % 8] : uint16_t(rng()); };
  // Alpha: the rule's edges (0..3 clear, 252..255 opaque, 255 exact) and any byte.
  const uint8_t alphaEdges[] = {0, 1, 3, 4, 127, 128, 251, 252, 254, 255};
  constexpr int kW = 80, kH = 3;
  std::vector<uint16_t> source(kW * kH), start(kW * kH);
  std::vector<uint8_t> alpha(kW * kH);
  for (int i = 0; i < kW * kH; ++i) {
    source[i] = pixel();
    start[i] = pixel();
    alpha[i] = rng() % 2 ? alphaEdges[rng() % 10] : uint8_t(rng());
  }
  CPicture pic16 = Pic16(kW, kH, source), pic24 = Pic16(kW, kH, source);
  pic24.depth = 24;
  pic24.alpha = alpha.data();
  const int levels[] = {0, 1, 3, 4, 5, 63, 64, 127, 128, 129, 200, 251, 252, 255, 256};
  const int widths[] = {1, 7, 8, 9, 15, 16, 17, 24, 31, 33, 63, 64};
  for (const KernelRun& k : kKernelRuns) {
    for (int level : levels) {
      for (int w : widths) {
        for (int sx = 0; sx < 4; ++sx) {
          for (int x = 0; x < 4; ++x) {
            const RECT r{sx, 0, sx + w, kH};
            std::vector<uint16_t> vec(start), ref(start);
            RunKernel(k.call, &pic16, &pic24, &vec, kW, x, 0, r, level, true);
            RunKernel(k.call, &pic16, &pic24, &ref, kW, x, 0, r, level, false);
            ASSERT_TRUE(vec == ref) << k.name << " level " << level << " width " << w << " source x " << sx
                                    << " target x " << x;
          }
        }
      }
    }
  }

  // Every target value under every level, against varied sources and alphas.
  constexpr int kAll = 1 << 16;
  std::vector<uint16_t> every(kAll), over(kAll);
  std::vector<uint8_t> overAlpha(kAll);
  for (int i = 0; i < kAll; ++i) {
    every[i] = uint16_t(i);
    over[i] = uint16_t(i * 40503u + (i >> 8));
    overAlpha[i] = uint8_t(i * 7 + (i >> 9));
  }
  CPicture all16 = Pic16(kAll, 1, over), all24 = Pic16(kAll, 1, over);
  all24.depth = 24;
  all24.alpha = overAlpha.data();
  const RECT row{0, 0, kAll, 1};
  for (const KernelRun& k : kKernelRuns) {
    for (int level = 0; level <= 256; ++level) {
      std::vector<uint16_t> vec(every), ref(every);
      RunKernel(k.call, &all16, &all24, &vec, kAll, 0, 0, row, level, true);
      RunKernel(k.call, &all16, &all24, &ref, kAll, 0, 0, row, level, false);
      ASSERT_TRUE(vec == ref) << k.name << " level " << level;
    }
  }
}

// Back-buffer pixel (x, y) must land at base + (W-1-x) * yPitch + y * xPitch
// for every geometry the device layer can emulate.
TEST(Present, RotationForEveryGeometry) {
  const struct {
    int fbW, fbH, screenW, screenH;
  } cases[] = {
      {480, 640, 640, 480}, {240, 320, 320, 240}, {640, 480, 640, 480}, {320, 240, 320, 240}, {480, 640, 320, 240}};
  for (auto& c : cases) {
    VelmiDeviceReset();
    VelmiDeviceSetGeometry(c.fbW, c.fbH);
    SetPlayerBuild(PlayerBuild::Ce50);
    SetScreenWidth(c.screenW);
    SetScreenHeight(c.screenH);
    CScreen screen;
    ASSERT_TRUE(QueryRawFrameBuffer(&screen.desc));
    ASSERT_TRUE(screen.FitsFrameBuffer());
    for (uint32_t y = 0; y < screen.GetHeight(); ++y)
      for (uint32_t x = 0; x < screen.GetWidth(); ++x)
        screen.GetPixels()[y * screen.GetWidth() + x] = uint16_t(x * 7 + y * 13);
    screen.Present(GetFrameBufferPointer(), nullptr, nullptr);
    const uint16_t* fb = VelmiDeviceFrameBuffer();
    int stride = VelmiDeviceFrameBufferStride() / 2;
    // The held picture (what the SDL window shows) equals the back buffer.
    int W = int(screen.GetWidth()), H = int(screen.GetHeight());
    int bad = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint16_t want = uint16_t(x * 7 + y * 13);
        uint16_t got = c.fbW < c.fbH ? fb[size_t(W - 1 - x) * stride + y] : fb[size_t(y) * stride + (c.fbW - W + x)];
        bad += got != want;
      }
    EXPECT_EQ(bad, 0) << c.fbW << "x" << c.fbH << " at " << c.screenW;
    if (c.fbW == 480 && c.screenW == 640) {
      // (0, 0) at the bottom-left of the portrait buffer, (W-1, H-1) at row 0, column H-1.
      EXPECT_EQ(fb[size_t(639) * stride + 0], 0);
      EXPECT_EQ(fb[size_t(0) * stride + 479], uint16_t(639 * 7 + 479 * 13));
    }
  }
  // A back buffer larger than the panel is refused.
  VelmiDeviceReset();
  VelmiDeviceSetGeometry(240, 320);
  SetScreenWidth(640);
  SetScreenHeight(480);
  CScreen big;
  ASSERT_TRUE(QueryRawFrameBuffer(&big.desc));
  EXPECT_FALSE(big.FitsFrameBuffer());
  VelmiDeviceSetGeometry(480, 640);
}

TEST(Present, ShakeShiftsAndKeepsTheUncoveredStrip) {
  VelmiDeviceReset();
  VelmiDeviceSetGeometry(480, 640);
  SetScreenWidth(640);
  SetScreenHeight(480);
  CScreen screen;
  ASSERT_TRUE(QueryRawFrameBuffer(&screen.desc));
  uint16_t* fb = VelmiDeviceFrameBuffer();
  std::fill(fb, fb + 480 * 640, uint16_t(0xAAAA));
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) screen.GetPixels()[y * 640 + x] = uint16_t(x);
  RECT t{0, 0, 640 - 4, 480}, s{4, 0, 640, 480};
  screen.Present(GetFrameBufferPointer(), &t, &s);
  auto held = [&](int x, int y) { return fb[size_t(639 - x) * 480 + y]; };
  EXPECT_EQ(held(0, 10), 4);
  EXPECT_EQ(held(635, 10), 639);
  EXPECT_EQ(held(636, 10), 0xAAAA);
  EXPECT_EQ(held(639, 479), 0xAAAA);
}

class ComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmiDeviceReset();
    SetPlayerBuild(PlayerBuild::Ce50);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
    app = new CGameApp;
    app->dirty->SetSize(640, 480);
    for (int i = 0; i < 3; ++i) {
      app->pictures[i] = new CPicture;
      CPicture::CreateBlank(app->pictures[i], 100, 100, uint8_t(0x11 * (i + 1)), 2);
    }
  }
  void TearDown() override { delete app; }
  CSprite* Make(int slot, int picture, int x, int y, int priority) {
    CSprite* s = new CSprite;
    s->InitSource(picture, 0, 0, 125, 125);  // 100 screen pixels
    s->SetPosition(x, y);
    s->SetPriority(priority);
    app->sprites[slot] = s;
    return s;
  }
  uint16_t Frame(int x, int y) {
    ComposeDirtyRects(app);
    return app->screen->GetPixels()[y * 640 + x];
  }
  // Back-buffer pixels that a whole redraw changes: what the frames before
  // it drew and did not redraw.
  int Trails() {
    const uint16_t* bb = app->screen->GetPixels();
    const std::vector<uint16_t> stepped(bb, bb + 640 * 480);
    RECT all{0, 0, 640, 480};
    app->dirty->Add(&all, 1);
    ComposeDirtyRects(app);
    int differ = 0;
    for (int i = 0; i < 640 * 480; ++i) differ += stepped[size_t(i)] != bb[i];
    return differ;
  }
  CGameApp* app = nullptr;
};

// A cell animation draws its sprite moved by each cell's offset; the areas
// redrawn cover it there, so a sprite going back and forth leaves nothing
// behind.
TEST_F(ComposeTest, CellOffsetsAreRedrawnWhereTheyAreDrawn) {
  VelmiClockUseFake(1000);
  CSprite* s = Make(0, 0, 300, 300, 5);
  s->InitSource(0, 0, 0, 25, 25);  // 20 x 20 screen pixels
  s->SetCell(0, 1, 50, 0, 0, 0, 25, 25, 10, 5, 0);
  s->SetCell(1, 0, 50, 0, 0, 0, 25, 25, 25, 20, -1);
  s->StartCellAnimation(0);
  EXPECT_EQ(s->newBounds[0], 240 + 8);
  EXPECT_EQ(s->newBounds[1], 240 + 4);
  const int path[] = {0, -10, -20, -30, -20, -10, 0, 10, 20, 10, 0, -15, -30, -15};
  for (int d : path) {
    VelmiClockAdvance(17);
    s->SetPosition(300 + d, 300 - d);
    ComposeDirtyRects(app);
  }
  EXPECT_EQ(Trails(), 0);
  VelmiClockUseReal();
}

TEST_F(ComposeTest, PriorityThenLowerSlotInFront) {
  Make(9, 1, 0, 0, 5);
  Make(3, 0, 0, 0, 5);
  EXPECT_EQ(Frame(10, 10), 0x1111);  // slot 3 over slot 9
  delete app->sprites[3];
  app->sprites[3] = nullptr;
  Make(20, 2, 0, 0, 0);
  RECT all{0, 0, 640, 480};
  app->dirty->Add(&all, 1);
  EXPECT_EQ(Frame(10, 10), 0x3333);  // priority 0 covers priority 5 whatever the slots
}

TEST_F(ComposeTest, ZoomAngleFlagZeroAndClipping) {
  CSprite* s = Make(0, 0, 0, 0, 5);
  s->reqZoomX = 1001;
  EXPECT_EQ(Frame(10, 10), 0);  // zoomed sprites are not drawn
  s->reqZoomX = 1000;
  s->reqAngle = 1;
  s->changed = 1;
  EXPECT_EQ(Frame(10, 10), 0);
  s->reqAngle = 0;
  s->changed = 0;
  RECT text{0, 0, 640, 480};
  app->dirty->Add(&text, 0);  // present only
  app->ResetDrawBuckets();
  app->FillDrawBuckets();
  ComposeFrame(app, app->DrawChainHead());
  EXPECT_EQ(app->screen->GetPixels()[10 * 640 + 10], 0);
  app->dirty->Clear();
  // A source rectangle reaching past the picture draws only the picture.
  s->srcRight = 300;
  s->srcBottom = 300;
  s->changed = 1;
  s->dirty[0] = s->dirty[1] = 0;
  s->dirty[2] = s->dirty[3] = 300;
  EXPECT_EQ(Frame(99, 99), 0x1111);
  EXPECT_EQ(app->screen->GetPixels()[150 * 640 + 150], 0);
}

TEST_F(ComposeTest, ClearFirstOnlyWhenAsked) {
  uint16_t* bb = app->screen->GetPixels();
  std::fill(bb, bb + 640 * 480, uint16_t(0x5555));
  app->clearFirst = 0;
  RECT r{0, 0, 10, 10};
  app->dirty->Add(&r, 1);
  EXPECT_EQ(Frame(5, 5), 0x5555);
  app->clearFirst = 1;
  app->dirty->Add(&r, 1);
  EXPECT_EQ(Frame(5, 5), 0);
}

}  // namespace
