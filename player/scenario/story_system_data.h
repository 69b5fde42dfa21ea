// What the stage and the message window ask of the seen lists and read flags.
#pragma once

class CGameApp;

constexpr int kSeenListA = 0;  // backgrounds shown
constexpr int kSeenListB = 1;  // scripts loaded

// 1 when the name was added, 0 when the list has it already or is full.
int AddSeenName(CGameApp* app, int list, const char* name);
