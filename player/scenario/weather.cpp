#include "player/scenario/weather.h"

#include <cstring>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/polar.h"
#include "player/core/sprite.h"

namespace {

// Sprite looks by particle (see ParticleLook's fields).
constexpr ParticleLook kPetalFarPlain = {0, 140, 32, 24, 8, 8, 40, 8, 140, 32, 24, 400};
constexpr ParticleLook kPetalFarMixed = {0, 112, 32, 24, 8, 8, 40, 5, 112, 32, 24, 400};
constexpr ParticleLook kPetalMiddle = {0, 56, 32, 24, 8, 8, 12, 6, 57, 32, 23, 400};
constexpr ParticleLook kPetalNear = {0, 0, 32, 24, 8, 8, 8, 7, 0, 32, 24, 200};
constexpr ParticleLook kSnowPlain = {0, 140, 32, 24, 16, 12, 12, 8, 140, 32, 24, 600};
constexpr ParticleLook kSnowMixed = {0, 80, 32, 24, 8, 8, 12, 8, 80, 32, 24, 600};

constexpr int32_t kFixed = 1024;
constexpr int32_t kFullTurn = 360 * kFixed;

const ParticleLook& PetalLook(int sizeClass, bool mixed) {
  if (sizeClass == 2) return kPetalNear;
  if (sizeClass == 1) return kPetalMiddle;
  return mixed ? kPetalFarMixed : kPetalFarPlain;
}

}  // namespace

const char* CWeather::PictureName(int kind) {
  switch (kind) {
    case WEATHER_PETALS:
      return "AdvData\\grp\\system\\sacra01.ZEV";
    case WEATHER_SNOW:
      return "AdvData\\grp\\system\\yuki01.ZEV";
    case WEATHER_PETALS_2:
      return "AdvData\\grp\\system\\sacra02.ZEV";
    case WEATHER_PETALS_SNOW:
      return "AdvData\\grp\\system\\saku_yuki01.ZEV";
    case WEATHER_PETALS_SNOW_2:
      return "AdvData\\grp\\system\\saku_yuki02.ZEV";
    default:
      return nullptr;
  }
}

void CWeather::StartParticles(int kind, int maximum, int direction, int speed, int strength) {
  if (w_.kind != WEATHER_NONE) return;
  w_.maximum = maximum < 0 ? 0 : maximum > kParticles ? kParticles : maximum;
  w_.lastStepTime = NowMs();
  w_.strength = strength;
  w_.kind = kind;
  std::memset(w_.particles, 0, sizeof w_.particles);
  w_.spawnFactor = strength % 64;
  w_.windDirection = direction;
  w_.windSpeed = speed;
  w_.stepCount = 0;
  if (const char* name = PictureName(kind)) stage_->LoadPicture(kWeatherPictureSlot, name);
}

void CWeather::StopParticles() {
  for (int k = 0; k < kParticles; ++k) {
    if (!w_.particles[k].active) continue;
    stage_->RemoveSprite(kFirstParticleSprite + k);
    w_.particles[k].active = 0;
  }
  w_.maximum = 0;
  w_.kind = WEATHER_NONE;
  stage_->DeletePicture(kWeatherPictureSlot);
}

int CWeather::CountActive(const WeatherState& record) {
  int n = 0;
  for (const Particle& p : record.particles) n += p.active ? 1 : 0;
  return n;
}

int CWeather::CountActiveParticles() const { return CountActive(w_); }

void CWeather::StepParticles() {
  const DWORD now = NowMs();
  DWORD steps = (now - w_.lastStepTime) / kWeatherStepMs + 1;
  if (steps > kWeatherMaxSteps) steps = kWeatherMaxSteps;
  // A factor of 0 or below (a strength of 0 or less) spawns every 5 steps.
  const uint32_t interval = static_cast<uint32_t>(w_.spawnFactor > 0 ? w_.spawnFactor : 1) * 5;
  int wx, wy;
  PolarToPointDeg((w_.windDirection % 360 + 360 + 270) % 360, w_.windSpeed, &wx, &wy);
  for (DWORD s = 0; s < steps; ++s) {
    w_.stepCount = static_cast<int32_t>(static_cast<uint32_t>(w_.stepCount) + 1);
    if (static_cast<uint32_t>(w_.stepCount) % interval == 0) Spawn();
    for (int k = 0; k < kParticles; ++k) {
      Particle& p = w_.particles[k];
      if (!p.active) continue;
      p.x += wx;
      p.y += p.fallSpeed * wy;
      p.swayPhase = (p.swayPhase + p.swaySpeed) % kFullTurn;
      int sx, sy;
      PolarToPointDeg(p.swayPhase / kFixed, p.swayRadius, &sx, &sy);
      const int py = p.y / kFixed, px = p.x / kFixed;
      if (py < 600 && px >= -31 && px < 832) {
        stage_->MoveSprite(kFirstParticleSprite + k, (p.x + sx) / kFixed, py);
      } else {
        stage_->RemoveSprite(kFirstParticleSprite + k);
        p.active = 0;
      }
    }
  }
  w_.lastStepTime = now;
}

void CWeather::Spawn() {
  switch (w_.kind) {
    case WEATHER_PETALS:
    case WEATHER_PETALS_2:
      SpawnPetal();
      break;
    case WEATHER_SNOW:
      SpawnSnowflake();
      break;
    case WEATHER_PETALS_SNOW:
    case WEATHER_PETALS_SNOW_2:
      SpawnPetalOrSnow();
      break;
    default:
      break;
  }
}

int CWeather::FreeParticle() const {
  if (CountActiveParticles() >= w_.maximum) return -1;
  for (int k = 0; k < w_.maximum && k < kParticles; ++k)
    if (!w_.particles[k].active) return k;
  return -1;
}

void CWeather::DrawStartPosition(Particle* p, bool kindThreeSnow) const {
  if (w_.windDirection != 180) {
    if (kindThreeSnow) {
      if (CeRand() % 3 == 0) {
        p->x = -32 * kFixed;
        p->y = (CeRand() % 200) * 3072;
      } else {
        p->x = (CeRand() % 200) * 4096;
        p->y = -24 * kFixed;
      }
      return;
    }
    if (CeRand() % 2 == 0) {
      p->x = -16 * kFixed;
      p->y = (CeRand() % 200) * 3072;
      return;
    }
  }
  p->x = (CeRand() % 200) * 4096;
  p->y = -16 * kFixed;
}

int CWeather::NewParticle(bool kindThreeSnow) {
  const int k = FreeParticle();
  if (k < 0) return -1;
  Particle& p = w_.particles[k];
  p = Particle{};
  p.active = 1;
  DrawStartPosition(&p, kindThreeSnow);
  return k;
}

// Each spawner draws the start position first, then the particle's values
// in the order size class, type, phase speed, fall speed, sway radius.

void CWeather::SpawnPetal() {
  const int k = NewParticle(false);
  if (k < 0) return;
  Particle& p = w_.particles[k];
  p.sizeClass = CeRand() % 3;
  p.swaySpeed = (CeRand() % 12) * 256;
  p.fallSpeed = (CeRand() % 3 + 2) * (p.sizeClass + 1);
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  stage_->MakeSprite(kFirstParticleSprite + k, kWeatherPictureSlot, PetalLook(p.sizeClass, false), p.x / kFixed,
                     p.y / kFixed);
}

void CWeather::SpawnSnowflake() {
  const int k = NewParticle(true);
  if (k < 0) return;
  Particle& p = w_.particles[k];
  p.sizeClass = 0;
  p.swaySpeed = (CeRand() % 6) * 64;
  p.fallSpeed = CeRand() % 3 + 2;
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  stage_->MakeSprite(kFirstParticleSprite + k, kWeatherPictureSlot, kSnowPlain, p.x / kFixed, p.y / kFixed);
}

void CWeather::SpawnPetalOrSnow() {
  const int k = NewParticle(false);
  if (k < 0) return;
  Particle& p = w_.particles[k];
  p.sizeClass = CeRand() % 3;
  p.type = CeRand() % 2 == 0 ? 0 : 1;
  p.swaySpeed = (CeRand() % 12) * 256;
  p.fallSpeed = (CeRand() % 3 + 2) * (p.sizeClass + 1);
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  if (p.type == 1) {
    p.fallSpeed = p.fallSpeed / 2 + 1;
    p.swayRadius = (CeRand() % 3) * 5120 + 14336;
  }
  stage_->MakeSprite(kFirstParticleSprite + k, kWeatherPictureSlot,
                     p.type == 1 ? kSnowMixed : PetalLook(p.sizeClass, true), p.x / kFixed, p.y / kFixed);
}

namespace {

// The weather's stage operations on the game object's slots.
class GameWeatherStage : public WeatherStage {
 public:
  explicit GameWeatherStage(CGameApp* app) : app_(app) {}
  void LoadPicture(int slot, const char* name) override { app_->LoadPictureSlot(slot, name, 0); }
  void DeletePicture(int slot) override { app_->FreePictureSlot(slot); }
  void MakeSprite(int n, int pictureSlot, const ParticleLook& look, int x, int y) override {
    app_->MakePictureSprite(n, pictureSlot, look.sourceX, look.sourceY, look.sourceWidth, look.sourceHeight, x, y,
                            look.offsetX, look.offsetY, look.priority);
    CSprite* sprite = app_->sprites[n];
    if (!sprite) return;
    sprite->SetLevel(kParticleLevel);
    // The look's offset is the sprite's drawing offset; the cells add none.
    for (int c = 0; c < look.cellCount; ++c)
      app_->SetSpriteCell(n, c, (c + 1) % look.cellCount, look.cellMs, pictureSlot, c * 32, look.cellY, look.cellWidth,
                          look.cellHeight, 0, 0, 0);
    sprite->StartCellAnimation(0);
  }
  void MoveSprite(int n, int x, int y) override {
    if (app_->sprites[n]) app_->sprites[n]->SetPosition(x, y);
  }
  void RemoveSprite(int n) override {
    if (app_->sprites[n]) app_->sprites[n]->EndEffect();
    app_->DeleteSprite(n, 1);
  }

 private:
  CGameApp* app_;
};

}  // namespace

void CGameApp::StartParticles(int kind, int maximum, int windDirection, int windSpeed, int strength) {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).StartParticles(kind, maximum, windDirection, windSpeed, strength);
}

void CGameApp::StopParticles() {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).StopParticles();
}

void CGameApp::StepParticles() {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).StepParticles();
}

int CGameApp::CountActiveParticles() const { return CWeather::CountActive(weather); }

void CGameApp::SpawnPetal() {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).SpawnPetal();
}

void CGameApp::SpawnSnowflake() {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).SpawnSnowflake();
}

void CGameApp::SpawnPetalOrSnow() {
  GameWeatherStage stage(this);
  CWeather(&weather, &stage).SpawnPetalOrSnow();
}
