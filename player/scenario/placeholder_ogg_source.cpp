// Stands in for the Ogg overlay binding: the overlay counts as absent.
#include "player/scenario/ogg_source.h"

int LoadOggOverlay() { return 0; }
void UnloadOggOverlay() {}
