// The pop-up menu tree and its command dispatch.
#pragma once

#include <windows.h>

#include "player/core/menu_ids.h"

class CGameApp;

// Builds the whole tree: the fixed items and one item per listed font.
void BuildMenuTree(CGameApp* app);
// Runs the operation of a command id; ids without one do nothing.
void HandleMenuCommand(CGameApp* app, HWND hwnd, int commandId, LPARAM lParam);
