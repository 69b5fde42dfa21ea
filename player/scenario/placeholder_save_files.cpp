// Stands in for the save files and their menu items: no save exists and
// none is written.
#include "player/core/game_app.h"
#include "player/scenario/save_file.h"

void CGameApp::SnapshotSaveState() {}
void CGameApp::WriteSaveFile(int) {}
void CGameApp::RestoreSaveFile(int) {}
void CGameApp::CaptureThumbnail() {}
void CGameApp::FreeThumbnail() {}
int CGameApp::LoadSlotThumbnail(int, int) { return 0; }
void AutoSave(CGameApp*) {}
uint32_t PackSaveTime(const char*) { return 0; }

int FillSaveMenus(CPopupMenu*, int, int, const char*, int, int*, int* newestOut) {
  if (newestOut) *newestOut = -1;
  return -1;
}

int FillAutoSaveMenu(CPopupMenu*, int, const char*, int*, int* newestOut) {
  if (newestOut) *newestOut = -1;
  return -1;
}
