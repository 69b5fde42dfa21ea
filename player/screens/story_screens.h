// What the map, the alarm, the mini game and the extras share: the black
// curtain that closes a story screen, and forgetting the music.
#pragma once

#include <cstdint>

class CGameApp;

// Sprite 0 as a black 800x600 rectangle at the front, level 0; the time is
// noted in *start.
void DrawCurtain(CGameApp* app, uint32_t* start);
// Raises the curtain's level over 1,000 ms; 1 when the time is up.
int StepCurtain(CGameApp* app, uint32_t start);
// Stops the music channel and clears the story's current track, so that a
// new request for the same track plays it.
void ForgetMusic(CGameApp* app);
// Removes the story's layer (sprite and picture slot 21) and forgets the
// remembered background name.
void ClearLayerAndBackgroundName(CGameApp* app);
// KEY_A freshly pressed opens the quick option screen over a story screen:
// 1 when it did (the key is used up).
int TakeQuickOption(CGameApp* app);
