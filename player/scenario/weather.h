// Weather particles: falling petals and snow drawn by sprites 400-463.
#pragma once

#include <cstdint>

constexpr int kParticles = 64;
constexpr int kFirstParticleSprite = 400;

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
