// Sprite geometry, setters and cell animations.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include "player/core/display.h"
#include "player/core/sprite.h"

namespace {

class SpriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(640);
    SetScreenHeight(480);
    SetPlayerBuild(PlayerBuild::Ce42);
    VelmiClockUseFake(10000);
  }
  void TearDown() override { VelmiClockUseReal(); }
};

TEST_F(SpriteTest, SettersAndBounds) {
  CSprite s;
  EXPECT_EQ(s.prevBounds[0], -1);
  s.InitSource(0, 0, 0, 100, 50);
  s.SetPosition(100, 100);
  EXPECT_EQ(s.x, 80000);
  EXPECT_EQ(s.changed, 1u);
  // Never drawn: only the new bounds are dirty.
  EXPECT_EQ(s.dirty[0], 80);
  EXPECT_EQ(s.dirty[2], 160);
  EXPECT_EQ(s.dirty[3], 80 + 40);
  s.changed = 0;
  s.SetPriority(128);
  EXPECT_EQ(s.priority, 1);
  EXPECT_EQ(s.changed, 1u);
  s.SetPriority(-1);
  EXPECT_EQ(s.priority, 1);
  s.SetLevel(300);
  EXPECT_EQ(s.level, 256);
  s.SetLevel(-5);
  EXPECT_EQ(s.level, 0);
  s.ComputeBounds(0, 1);
  s.SetPosition(200, 100);
  EXPECT_EQ(s.dirty[0], 80);
  EXPECT_EQ(s.dirty[2], 160 + 80);
  // Rotated: the square of the longer side, turned.
  CSprite r;
  r.InitSource(0, 0, 0, 125, 25);  // 100 x 20 screen pixels
  r.reqAngle = 45;
  r.SetPosition(500, 375);              // (400, 300) on screen
  EXPECT_EQ(r.newBounds[0], 400 - 42);  // turned about its top-left corner
  EXPECT_EQ(r.newBounds[2] - r.newBounds[0], 142);
  EXPECT_EQ(r.newBounds[3] - r.newBounds[1], 142);
  CSprite f;
  f.InitFillRect(0, 0, 0, 10, 0xFF0000);
  EXPECT_EQ(f.kind, 6u);
  EXPECT_EQ(f.width, 1);
}

TEST_F(SpriteTest, CellAnimationEnds) {
  CSprite s;
  s.InitSource(0, 0, 0, 10, 10);
  s.SetCell(0, 1, 100, 0, 0, 0, 10, 10, 0, 0, 0);
  s.SetCell(1, 2, 100, 0, 10, 0, 10, 10, 5, 0, -1);
  s.SetCell(2, -1, 100, 0, 20, 0, 10, 10, 0, 0, -1);
  s.SetCell(99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);  // out of the table: ignored
  s.StartCellAnimation(0);
  s.StartCellAnimation(16);  // out of range: ignored
  EXPECT_EQ(s.Update(), 1);
  VelmiClockAdvance(100);
  EXPECT_EQ(s.Update(), 1);
  EXPECT_EQ(s.srcLeft, 8);
  EXPECT_EQ(s.drawX, 4);  // the cell's offset
  VelmiClockAdvance(100);
  EXPECT_EQ(s.Update(), 0);  // cell 2 leads to -1: finished without being shown
  EXPECT_EQ(s.finished, 1u);

  CSprite h;
  h.InitSource(0, 0, 0, 10, 10);
  h.SetCell(0, 1, 50, 0, 0, 0, 10, 10, 0, 0, 3);
  h.SetCell(1, -3, 50, 0, 10, 0, 10, 10, 0, 0, -1);
  h.StartCellAnimation(3);
  VelmiClockAdvance(50);
  EXPECT_EQ(h.Update(), 0);
  EXPECT_EQ(h.visible, 0u);
  VelmiClockAdvance(500);
  EXPECT_EQ(h.Update(), 0);  // held hidden
  EXPECT_EQ(h.finished, 0u);
}

}  // namespace
