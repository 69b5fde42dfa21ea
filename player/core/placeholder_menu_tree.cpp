// Stands in for the menu tree and its commands: no tree is built and no
// command has an operation.
#include "player/core/menu_commands.h"

void BuildMenuTree(CGameApp*) {}
void HandleMenuCommand(CGameApp*, HWND, int, LPARAM) {}
