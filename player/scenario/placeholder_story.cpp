// Stands in for the story engine: no script loads, the story and the return
// to the title run nothing, and a play-through neither starts nor ends.
#include "player/core/game_app.h"

void CGameApp::NewGame() {}
void CGameApp::LeaveGame() {}
int CGameApp::RunBackToTitle() { return 1; }

int CGameApp::RunStory() { return 1; }
int CGameApp::LoadScript(const char*) { return 0; }
int CGameApp::RunChoice() { return 0; }
int CGameApp::WaitTenths(int, int) { return 1; }
int CGameApp::RunTransition(uint16_t, int* windowJustHidden) {
  if (windowJustHidden) *windowJustHidden = 0;
  return 1;
}
uint32_t CGameApp::NextInstruction(uint32_t position) { return position; }
uint32_t CGameApp::FindLabel(const char*) { return 0; }
uint32_t FindJumpTarget(CGameApp*, int, uint32_t start) { return start; }
