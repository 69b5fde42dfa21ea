// The pop-up menu tree and its command dispatch.
#pragma once

#include <windows.h>

class CGameApp;

void BuildMenuTree(CGameApp* app);
void HandleMenuCommand(CGameApp* app, HWND hwnd, int commandId, LPARAM lParam);
