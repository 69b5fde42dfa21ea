// Weather particles: falling petals and snow drawn by up to 64 animated
// sprites (slots 400 to 463) from the strips of one picture (slot 253).
// Particles move in fixed 32 ms steps of their own clock, with a fall speed,
// a sideways wind and a sinusoidal sway, in 22.10 fixed point canvas units.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int WEATHER_PARTICLES = 64;
constexpr int WEATHER_FIRST_SPRITE = 400;
constexpr int WEATHER_PICTURE_SLOT = 253;
constexpr int WEATHER_STEP_MS = 32;
constexpr int WEATHER_MAX_STEPS = 24;
constexpr int WEATHER_SPRITE_LEVEL = 160;

enum WeatherKind {
  WEATHER_NONE = 0,
  WEATHER_PETALS = 1,
  WEATHER_SNOW = 3,
  WEATHER_PETALS_2 = 4,
  WEATHER_PETALS_SNOW = 5,
  WEATHER_PETALS_SNOW_2 = 6,
};

struct Particle {
  int32_t active;
  int32_t sizeClass;   // 0 far, 1, 2 near
  int32_t type;        // 0 petal, 1 snowflake (mixed kinds)
  int32_t x;           // canvas units x 1,024
  int32_t y;
  int32_t fallSpeed;
  int32_t phase;       // degrees x 1,024, below 360 x 1,024
  int32_t phaseSpeed;
  int32_t swayRadius;  // x 1,024
};

// How a particle's sprite looks: the first cell's source rectangle, the
// offset, the priority and a strip of cells 32 pixels apart.
struct ParticleLook {
  int sourceX, sourceY, sourceWidth, sourceHeight;
  int offsetX, offsetY;
  int priority;
  int cellCount;
  int cellY, cellWidth, cellHeight;
  int cellMs;
};

// The sprite and picture operations the weather needs of the stage.
class WeatherStage {
 public:
  virtual ~WeatherStage() = default;
  virtual void LoadPicture(int slot, const char* name) = 0;
  virtual void DeletePicture(int slot) = 0;
  // A sprite of the picture slot at (x, y) canvas units, at level 160, with
  // its looping cell animation started at its first cell.
  virtual void MakeSprite(int spriteSlot, int pictureSlot, const ParticleLook& look, int x, int y) = 0;
  virtual void MoveSprite(int spriteSlot, int x, int y) = 0;
  // Ends the sprite's effect, invalidates its rectangle and deletes it.
  virtual void RemoveSprite(int spriteSlot) = 0;
};

// The weather's record and its operations.  Random values come from the
// device's generator (CeRand), each drawn even where it is replaced.
class CWeather {
 public:
  // The picture of a kind; null for kinds without one.
  static const char* PictureName(int kind);

  // Nothing while a kind is set.
  void StartParticles(WeatherStage* stage, int kind, int maximum, int windDirection, int windSpeed, int strength);
  void StopParticles(WeatherStage* stage);
  // Advances by (now - last step) / 32 + 1 steps, at most 24.
  void StepParticles(WeatherStage* stage);
  int CountActiveParticles() const;
  void SpawnPetal(WeatherStage* stage);
  void SpawnSnowflake(WeatherStage* stage);
  void SpawnPetalOrSnow(WeatherStage* stage);

  int kind = WEATHER_NONE;
  int strength = 0;
  int maximum = 0;
  int windDirection = 0;
  int windSpeed = 0;
  int spawnFactor = 0;  // strength mod 64
  uint32_t stepCounter = 0;
  DWORD lastStep = 0;
  Particle particles[WEATHER_PARTICLES] = {};

 private:
  // The first free particle among the first maximum, or -1.
  int FreeParticle() const;
  // Start position of a new particle (snowflakes of kind 3 have their own).
  void DrawStartPosition(Particle* p, bool kindThreeSnow) const;
  void Spawn(WeatherStage* stage);
};
