// Scenario services the platform calls: save menus, system data, stage.
// Placeholder declarations; the scenario work gives them their bodies.
#pragma once

#include <cstdint>

class CPopupMenu;

int FillSaveMenus(CPopupMenu* menu, int firstLoadId, int firstSaveId, const char* saveFolder, int loadAllowed,
                  int* usedOut, int* newestOut);
int FillAutoSaveMenu(CPopupMenu* menu, int firstId, const char* saveFolder, int* usedOut, int* newestOut);
