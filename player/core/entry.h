// Start of the player program on our layer: the emulated device is set up
// for the build, then WinMain runs.
#pragma once

#include "player/core/display.h"

int RunPlayer(PlayerBuild build, int argc, char** argv);
