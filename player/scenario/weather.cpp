#include "player/scenario/weather.h"

#include <cstring>

#include "player/core/display.h"
#include "player/core/polar.h"

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
    case WEATHER_PETALS: return "AdvData\\grp\\system\\sacra01.ZEV";
    case WEATHER_SNOW: return "AdvData\\grp\\system\\yuki01.ZEV";
    case WEATHER_PETALS_2: return "AdvData\\grp\\system\\sacra02.ZEV";
    case WEATHER_PETALS_SNOW: return "AdvData\\grp\\system\\saku_yuki01.ZEV";
    case WEATHER_PETALS_SNOW_2: return "AdvData\\grp\\system\\saku_yuki02.ZEV";
    default: return nullptr;
  }
}

void CWeather::StartParticles(WeatherStage* stage, int newKind, int newMaximum, int direction, int speed,
                              int newStrength) {
  if (kind != WEATHER_NONE) return;
  maximum = newMaximum < 0 ? 0 : newMaximum > WEATHER_PARTICLES ? WEATHER_PARTICLES : newMaximum;
  lastStep = NowMs();
  strength = newStrength;
  kind = newKind;
  std::memset(particles, 0, sizeof particles);
  spawnFactor = strength % 64;
  windDirection = direction;
  windSpeed = speed;
  stepCounter = 0;
  if (const char* name = PictureName(kind)) stage->LoadPicture(WEATHER_PICTURE_SLOT, name);
}

void CWeather::StopParticles(WeatherStage* stage) {
  for (int k = 0; k < WEATHER_PARTICLES; ++k) {
    if (!particles[k].active) continue;
    stage->RemoveSprite(WEATHER_FIRST_SPRITE + k);
    particles[k].active = 0;
  }
  maximum = 0;
  kind = WEATHER_NONE;
  stage->DeletePicture(WEATHER_PICTURE_SLOT);
}

int CWeather::CountActiveParticles() const {
  int n = 0;
  for (const Particle& p : particles) n += p.active ? 1 : 0;
  return n;
}

void CWeather::StepParticles(WeatherStage* stage) {
  const DWORD now = NowMs();
  DWORD steps = (now - lastStep) / WEATHER_STEP_MS + 1;
  if (steps > WEATHER_MAX_STEPS) steps = WEATHER_MAX_STEPS;
  // A factor of 0 or below (a strength of 0 or less) spawns every 5 steps.
  const uint32_t interval = static_cast<uint32_t>(spawnFactor > 0 ? spawnFactor : 1) * 5;
  int wx, wy;
  PolarToPointDeg((windDirection % 360 + 360 + 270) % 360, windSpeed, &wx, &wy);
  for (DWORD s = 0; s < steps; ++s) {
    ++stepCounter;
    if (stepCounter % interval == 0) Spawn(stage);
    for (int k = 0; k < WEATHER_PARTICLES; ++k) {
      Particle& p = particles[k];
      if (!p.active) continue;
      p.x += wx;
      p.y += p.fallSpeed * wy;
      p.phase = (p.phase + p.phaseSpeed) % kFullTurn;
      int sx, sy;
      PolarToPointDeg(p.phase / kFixed, p.swayRadius, &sx, &sy);
      const int py = p.y / kFixed, px = p.x / kFixed;
      if (py < 600 && px >= -31 && px < 832) {
        stage->MoveSprite(WEATHER_FIRST_SPRITE + k, (p.x + sx) / kFixed, py);
      } else {
        stage->RemoveSprite(WEATHER_FIRST_SPRITE + k);
        p.active = 0;
      }
    }
  }
  lastStep = now;
}

void CWeather::Spawn(WeatherStage* stage) {
  switch (kind) {
    case WEATHER_PETALS:
    case WEATHER_PETALS_2: SpawnPetal(stage); break;
    case WEATHER_SNOW: SpawnSnowflake(stage); break;
    case WEATHER_PETALS_SNOW:
    case WEATHER_PETALS_SNOW_2: SpawnPetalOrSnow(stage); break;
    default: break;
  }
}

int CWeather::FreeParticle() const {
  if (CountActiveParticles() >= maximum) return -1;
  for (int k = 0; k < maximum && k < WEATHER_PARTICLES; ++k)
    if (!particles[k].active) return k;
  return -1;
}

void CWeather::DrawStartPosition(Particle* p, bool kindThreeSnow) const {
  if (windDirection != 180) {
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

// Each spawner draws the start position first, then the particle's values
// in the order size class, type, phase speed, fall speed, sway radius.

void CWeather::SpawnPetal(WeatherStage* stage) {
  const int k = FreeParticle();
  if (k < 0) return;
  Particle& p = particles[k];
  p = Particle{};
  p.active = 1;
  DrawStartPosition(&p, false);
  p.sizeClass = CeRand() % 3;
  p.phaseSpeed = (CeRand() % 12) * 256;
  p.fallSpeed = (CeRand() % 3 + 2) * (p.sizeClass + 1);
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  stage->MakeSprite(WEATHER_FIRST_SPRITE + k, WEATHER_PICTURE_SLOT, PetalLook(p.sizeClass, false), p.x / kFixed,
                    p.y / kFixed);
}

void CWeather::SpawnSnowflake(WeatherStage* stage) {
  const int k = FreeParticle();
  if (k < 0) return;
  Particle& p = particles[k];
  p = Particle{};
  p.active = 1;
  DrawStartPosition(&p, true);
  p.sizeClass = 0;
  p.phaseSpeed = (CeRand() % 6) * 64;
  p.fallSpeed = CeRand() % 3 + 2;
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  stage->MakeSprite(WEATHER_FIRST_SPRITE + k, WEATHER_PICTURE_SLOT, kSnowPlain, p.x / kFixed, p.y / kFixed);
}

void CWeather::SpawnPetalOrSnow(WeatherStage* stage) {
  const int k = FreeParticle();
  if (k < 0) return;
  Particle& p = particles[k];
  p = Particle{};
  p.active = 1;
  DrawStartPosition(&p, false);
  p.sizeClass = CeRand() % 3;
  p.type = CeRand() % 2 == 0 ? 0 : 1;
  p.phaseSpeed = (CeRand() % 12) * 256;
  p.fallSpeed = (CeRand() % 3 + 2) * (p.sizeClass + 1);
  p.swayRadius = (CeRand() % 3) * 15360 + 28672;
  if (p.type == 1) {
    p.fallSpeed = p.fallSpeed / 2 + 1;
    p.swayRadius = (CeRand() % 3) * 5120 + 14336;
  }
  stage->MakeSprite(WEATHER_FIRST_SPRITE + k, WEATHER_PICTURE_SLOT,
                    p.type == 1 ? kSnowMixed : PetalLook(p.sizeClass, true), p.x / kFixed, p.y / kFixed);
}
