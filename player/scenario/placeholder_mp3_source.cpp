// Stands in for the MP3 overlay binding: the overlay counts as absent.
#include "player/scenario/mp3_source.h"

int LoadMp3Overlay() { return 0; }
void UnloadMp3Overlay() {}
