// Weather particles: falling petals and snow drawn by up to 64 animated
// sprites (slots 400 to 463) from the strips of one picture (slot 253).
// Particles move in fixed 32 ms steps of their own clock, with a fall speed,
// a sideways wind and a sinusoidal sway, in 22.10 fixed point canvas units.
#pragma once

#include <cstdint>

constexpr int kParticles = 64;
constexpr int kFirstParticleSprite = 400;
constexpr int kWeatherPictureSlot = 253;
constexpr int kWeatherStepMs = 32;
constexpr int kWeatherMaxSteps = 24;
constexpr int kParticleLevel = 160;

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
  int32_t sizeClass;  // 0 far .. 2 near
  int32_t type;       // 0 petal, 1 snowflake
  int32_t x, y;       // 22.10 fixed point, canvas units
  int32_t fallSpeed;
  int32_t swayPhase;  // degrees, 22.10 fixed point
  int32_t swaySpeed;
  int32_t swayRadius;
};

struct WeatherState {
  int32_t kind;  // 0 none; 1, 3, 4, 5, 6
  int32_t strength;
  int32_t maximum;
  int32_t windDirection;
  int32_t windSpeed;
  int32_t spawnFactor;
  int32_t stepCount;
  uint32_t lastStepTime;
  Particle particles[kParticles];
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

// The weather's operations on its record, through a stage.  Random values
// come from the device's generator (CeRand), each drawn even where it is
// replaced.
class CWeather {
 public:
  CWeather(WeatherState* record, WeatherStage* stage) : w_(*record), stage_(stage) {}

  // The picture of a kind; null for kinds without one.
  static const char* PictureName(int kind);

  // Nothing while a kind is set.
  void StartParticles(int kind, int maximum, int windDirection, int windSpeed, int strength);
  void StopParticles();
  // Advances by (now - last step) / 32 + 1 steps, at most 24.
  void StepParticles();
  int CountActiveParticles() const;
  static int CountActive(const WeatherState& record);
  void SpawnPetal();
  void SpawnSnowflake();
  void SpawnPetalOrSnow();

 private:
  // The first free particle among the first maximum, or -1.
  int FreeParticle() const;
  // Start position of a new particle (snowflakes of kind 3 have their own).
  void DrawStartPosition(Particle* p, bool kindThreeSnow) const;
  void Spawn();
  // Sets up the first free particle, active at its start position; its
  // index, or -1 when none may spawn.
  int NewParticle(bool kindThreeSnow);

  WeatherState& w_;
  WeatherStage* stage_;
};
