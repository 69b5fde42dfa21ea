// Weather particles with a seeded generator on the fake clock, against a
// stage that records the sprite operations.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <map>
#include <string>
#include <vector>

#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/core/polar.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/scenario/weather.h"
#include "tests/player/compose_steps.h"

namespace {

struct FakeStage : WeatherStage {
  struct Sprite {
    int x, y;
    ParticleLook look;
    int madeX, madeY;
  };
  std::map<int, Sprite> sprites;
  std::map<int, std::string> pictures;
  int made = 0, removed = 0;

  void LoadPicture(int slot, const char* name) override { pictures[slot] = name; }
  void DeletePicture(int slot) override { pictures.erase(slot); }
  void MakeSprite(int slot, int pictureSlot, const ParticleLook& look, int x, int y) override {
    EXPECT_EQ(pictureSlot, kWeatherPictureSlot);
    EXPECT_EQ(sprites.count(slot), 0u) << slot;
    sprites[slot] = {x, y, look, x, y};
    ++made;
  }
  void MoveSprite(int slot, int x, int y) override {
    ASSERT_EQ(sprites.count(slot), 1u) << slot;
    sprites[slot].x = x;
    sprites[slot].y = y;
  }
  void RemoveSprite(int slot) override {
    EXPECT_EQ(sprites.erase(slot), 1u) << slot;
    ++removed;
  }
};

class WeatherTest : public testing::Test {
 protected:
  void SetUp() override { VelmiClockUseFake(50000); }
  void TearDown() override { VelmiClockUseReal(); }
  // One step per call: 31 ms apart.
  void Steps(int n) {
    for (int i = 0; i < n; ++i) {
      VelmiClockAdvance(31);
      weather.StepParticles();
    }
  }
  FakeStage stage;
  WeatherState record{};
  CWeather weather{&record, &stage};
};

TEST_F(WeatherTest, StartLoadsTheKindsPictureOnce) {
  struct Case {
    int kind;
    const char* picture;
  } cases[] = {{1, "AdvData\\grp\\system\\sacra01.ZEV"},     {3, "AdvData\\grp\\system\\yuki01.ZEV"},
               {4, "AdvData\\grp\\system\\sacra02.ZEV"},     {5, "AdvData\\grp\\system\\saku_yuki01.ZEV"},
               {6, "AdvData\\grp\\system\\saku_yuki02.ZEV"}, {2, nullptr}};
  for (const Case& c : cases) {
    FakeStage s;
    WeatherState r{};
    CWeather w(&r, &s);
    w.StartParticles(c.kind, 32, 180, 256, 16);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.spawnFactor, 16);
    if (c.picture) {
      EXPECT_EQ(s.pictures[kWeatherPictureSlot], c.picture);
    } else {
      EXPECT_TRUE(s.pictures.empty());
    }
    // A second start while a kind is set changes nothing.
    w.StartParticles(3, 10, 150, 128, 4);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.maximum, 32);
  }
}

TEST_F(WeatherTest, SeededSpawnersGiveTheirPositionsAndCells) {
  // Strength 1: one particle every 5 steps.  The draws, in order: start
  // position, size class, (type), phase speed, fall speed, sway radius.
  struct Case {
    int kind;
    int direction;
  } cases[] = {{1, 180}, {1, 150}, {3, 150}, {3, 180}, {5, 180}, {6, 180}};
  for (const Case& c : cases) {
    FakeStage s;
    WeatherState r{};
    CWeather w(&r, &s);
    CeSrand(2024);
    w.StartParticles(c.kind, 32, c.direction, 256, 1);
    for (int i = 0; i < 5; ++i) {
      VelmiClockAdvance(31);
      w.StepParticles();
    }
    ASSERT_EQ(w.CountActiveParticles(), 1) << c.kind;
    CeSrand(2024);
    int x, y;
    const bool snowOfThree = c.kind == 3;
    if (c.direction != 180 && snowOfThree && CeRand() % 3 == 0) {
      x = -32 * 1024;
      y = (CeRand() % 200) * 3072;
    } else if (c.direction != 180 && snowOfThree) {
      x = (CeRand() % 200) * 4096;
      y = -24 * 1024;
    } else if (c.direction != 180 && CeRand() % 2 == 0) {
      x = -16 * 1024;
      y = (CeRand() % 200) * 3072;
    } else {
      x = (CeRand() % 200) * 4096;
      y = -16 * 1024;
    }
    const Particle& p = r.particles[0];
    const int size = snowOfThree ? 0 : CeRand() % 3;
    const int type = c.kind >= 5 ? (CeRand() % 2) : 0;
    const int phaseSpeed = snowOfThree ? (CeRand() % 6) * 64 : (CeRand() % 12) * 256;
    int fall = snowOfThree ? CeRand() % 3 + 2 : (CeRand() % 3 + 2) * (size + 1);
    int radius = (CeRand() % 3) * 15360 + 28672;
    if (type == 1) {
      fall = fall / 2 + 1;
      radius = (CeRand() % 3) * 5120 + 14336;
    }
    EXPECT_EQ(p.sizeClass, size) << c.kind;
    EXPECT_EQ(p.type, type) << c.kind;
    EXPECT_EQ(p.swaySpeed, phaseSpeed) << c.kind;
    EXPECT_EQ(p.fallSpeed, fall) << c.kind;
    EXPECT_EQ(p.swayRadius, radius) << c.kind;
    // Made at the start position, then moved by the rest of its first step.
    ASSERT_EQ(s.sprites.count(400), 1u);
    EXPECT_EQ(s.sprites[400].madeX, x / 1024);
    EXPECT_EQ(s.sprites[400].madeY, y / 1024);
    // The cell strip of its kind, size and type.
    const ParticleLook& look = s.sprites[400].look;
    int cellY, cells, ms, priority;
    if (snowOfThree) {
      cellY = 140, cells = 8, ms = 600, priority = 12;
      EXPECT_EQ(look.offsetX, 16);
      EXPECT_EQ(look.offsetY, 12);
    } else if (type == 1) {
      cellY = 80, cells = 8, ms = 600, priority = 12;
    } else if (size == 2) {
      cellY = 0, cells = 7, ms = 200, priority = 8;
    } else if (size == 1) {
      cellY = 57, cells = 6, ms = 400, priority = 12;
      EXPECT_EQ(look.cellHeight, 23);
    } else {
      cellY = c.kind >= 5 ? 112 : 140, cells = c.kind >= 5 ? 5 : 8, ms = 400, priority = 40;
    }
    EXPECT_EQ(look.cellY, cellY) << c.kind;
    EXPECT_EQ(look.cellCount, cells) << c.kind;
    EXPECT_EQ(look.cellMs, ms) << c.kind;
    EXPECT_EQ(look.priority, priority) << c.kind;
    // Each step moves it by the wind and its fall, with the sway.
    int wx, wy;
    PolarToPointDeg((c.direction + 270) % 360, 256, &wx, &wy);
    for (int step = 1; step <= 3; ++step) {
      int sx, sy;
      PolarToPointDeg(step * phaseSpeed / 1024, radius, &sx, &sy);
      EXPECT_EQ(r.particles[0].x, x + step * wx) << c.kind;
      EXPECT_EQ(r.particles[0].y, y + step * fall * wy) << c.kind;
      if (s.sprites.count(400)) {
        EXPECT_EQ(s.sprites[400].x, (x + step * wx + sx) / 1024) << c.kind;
        EXPECT_EQ(s.sprites[400].y, (y + step * fall * wy) / 1024) << c.kind;
      }
      VelmiClockAdvance(31);
      w.StepParticles();
    }
  }
}

TEST_F(WeatherTest, SpawnIntervalFollowsTheStrength) {
  struct Case {
    int strength;
    int stepsPerParticle;
  } cases[] = {{16, 80}, {4, 20}, {1, 5}, {0, 5}, {-4, 5}, {64, 5}, {65, 5}};
  for (const Case& c : cases) {
    FakeStage s;
    WeatherState r{};
    CWeather w(&r, &s);
    w.StartParticles(1, 32, 180, 256, c.strength);
    int counted = 0;
    for (int i = 1; i <= 2 * c.stepsPerParticle; ++i) {
      VelmiClockAdvance(31);
      w.StepParticles();
      if (s.made > counted) {
        EXPECT_EQ(i % c.stepsPerParticle, 0) << "strength " << c.strength << " step " << i;
        counted = s.made;
      }
    }
    EXPECT_EQ(s.made, 2) << "strength " << c.strength;
  }
}

TEST_F(WeatherTest, StepsFollowTheClockUpToTwentyFour) {
  weather.StartParticles(1, 32, 180, 256, 60);
  struct Case {
    DWORD advance;
    uint32_t steps;
  } cases[] = {{0, 1}, {31, 1}, {32, 2}, {100, 4}, {735, 23}, {736, 24}, {60000, 24}};
  for (const Case& c : cases) {
    const uint32_t before = static_cast<uint32_t>(record.stepCount);
    VelmiClockAdvance(c.advance);
    weather.StepParticles();
    EXPECT_EQ(static_cast<uint32_t>(record.stepCount) - before, c.steps) << c.advance;
  }
}

TEST_F(WeatherTest, ParticlesLeaveAtTheBounds) {
  struct Case {
    int px, py;
    bool stays;
  } cases[] = {{0, 0, true},      {100, 599, true}, {100, 600, false}, {-31, 100, true},
               {-32, 100, false}, {831, 100, true}, {832, 100, false}};
  for (const Case& c : cases) {
    FakeStage s;
    WeatherState r{};
    CWeather w(&r, &s);
    w.StartParticles(1, 32, 180, 256, 63);  // no spawn within a step
    // A particle placed one step before the point: the wind moves it down
    // by its fall speed x 256.
    Particle& p = r.particles[5];
    p.active = 1;
    p.fallSpeed = 4;
    p.x = c.px * 1024;
    p.y = c.py * 1024 - 4 * 256;
    s.sprites[405] = {0, 0, {}, 0, 0};
    VelmiClockAdvance(10);
    w.StepParticles();
    EXPECT_EQ(r.particles[5].active != 0, c.stays) << c.px << "," << c.py;
    EXPECT_EQ(s.sprites.count(405) == 1, c.stays) << c.px << "," << c.py;
  }
}

TEST_F(WeatherTest, NeverMoreThanTheMaximumAndOnlyTheFirstSlots) {
  CeSrand(7);
  weather.StartParticles(5, 32, 180, 256, 1);
  int most = 0;
  for (int i = 0; i < 2000; ++i) {
    Steps(1);
    most = std::max(most, weather.CountActiveParticles());
    for (const auto& [slot, sprite] : stage.sprites) ASSERT_LT(slot, kFirstParticleSprite + 32);
  }
  EXPECT_EQ(most, 32);
  EXPECT_GT(stage.removed, 0);
  weather.StopParticles();
  EXPECT_TRUE(stage.sprites.empty());
  EXPECT_TRUE(stage.pictures.empty());
  EXPECT_EQ(record.kind, 0);
  EXPECT_EQ(record.maximum, 0);
  EXPECT_EQ(weather.CountActiveParticles(), 0);
}

// The game's own particles on the screen, at 640 x 480 and 320 x 240: each
// is drawn where its sprite stands less the look's drawing offset (the
// cells add none), and the frames composed one after another show what one
// whole redraw shows: no particle leaves a trail.
TEST(WeatherOnScreen, ParticlesDrawWhereTheyStandAndLeaveNoTrails) {
  const struct {
    int width, height;
    PlayerBuild build;
  } screens[] = {{640, 480, PlayerBuild::Ce42}, {320, 240, PlayerBuild::Ce30}};
  for (const auto& sc : screens) {
    VelmiClockUseFake(50000);
    SetPlayerBuild(sc.build);
    SetCanvasWidth(800);
    SetCanvasHeight(600);
    SetScreenWidth(sc.width);
    SetScreenHeight(sc.height);
    CGameApp app;
    app.dirty->SetSize(sc.width, sc.height);
    CeSrand(11);
    for (int kind : {1, 3}) {
      app.StopParticles();
      app.StartParticles(kind, 32, kind == 1 ? 180 : 150, 256, 1);
      // The pack holds no weather picture: a plain white one in its slot.
      delete app.pictures[kWeatherPictureSlot];
      app.pictures[kWeatherPictureSlot] = new CPicture;
      ASSERT_EQ(CPicture::CreateBlank(app.pictures[kWeatherPictureSlot], 320, 240, 0xFF, 2), 1);
      int drawn = 0;
      for (int frame = 0; frame < 400; ++frame) {
        VelmiClockAdvance(16);
        app.StepParticles();
        ComposeDirtyRects(&app);
        for (int k = 0; k < kParticles; ++k) {
          const CSprite* s = app.sprites[kFirstParticleSprite + k];
          if (!s || !s->visible) continue;
          ++drawn;
          ASSERT_EQ(s->drawX, s->x / 1000 - s->reqOriginX) << sc.width << " kind " << kind << " particle " << k;
          ASSERT_EQ(s->drawY, s->y / 1000 - s->reqOriginY) << sc.width << " kind " << kind << " particle " << k;
        }
      }
      EXPECT_GT(drawn, 400) << sc.width << " kind " << kind;
      const uint16_t* bb = app.screen->GetPixels();
      const size_t n = size_t(sc.width) * size_t(sc.height);
      const std::vector<uint16_t> stepped(bb, bb + n);
      RECT all{0, 0, sc.width, sc.height};
      app.dirty->Add(&all, 1);
      ComposeDirtyRects(&app);
      size_t trails = 0;
      for (size_t i = 0; i < n; ++i) trails += stepped[i] != bb[i];
      EXPECT_EQ(trails, 0u) << sc.width << " kind " << kind;
    }
    app.StopParticles();
  }
  VelmiClockUseReal();
}

}  // namespace
