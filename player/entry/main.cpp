// The player program of one device generation.
#include "player/core/entry.h"

#include <velmi_platform.h>

#if defined(VELMI_PLAYER_BUILD_ce30)
static const PlayerBuild kBuild = PlayerBuild::Ce30;
#else
#if defined(VELMI_PLAYER_BUILD_ce42)
static const PlayerBuild kBuild = PlayerBuild::Ce42;
#else
static const PlayerBuild kBuild = PlayerBuild::Ce50;
#endif
// Marks the program as aware of the high-resolution screen.
static const unsigned char kHiResAware[4] = {1, 0, 0, 0};
static const bool kHiResRegistered = [] {
  VelmiRegisterResource("CEUX", "HI_RES_AWARE", kHiResAware, sizeof kHiResAware);
  return true;
}();
#endif

int main(int argc, char** argv) { return RunPlayer(kBuild, argc, argv); }
