// Placeholders for the menu tree and its commands: no tree is built and
// menu commands do nothing until the menu work lands.
#include "player/core/menu_commands.h"

void BuildMenuTree(CGameApp*) {}
void HandleMenuCommand(CGameApp*, HWND, int, LPARAM) {}
