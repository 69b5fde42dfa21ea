// Stands in for the screen transitions and effects: each finishes at once
// without drawing.
#include "player/core/game_app.h"
#include "player/scenario/transition.h"

CTransition::CTransition(int, int) {}
void CTransition::FreeMask() {}
int CTransition::MakeMask(int, int, int) { return 0; }
int CTransition::Start() { return 0; }
int CTransition::Apply(uint16_t*, const uint16_t*) { return 0; }
int LoadRule(CTransition*, int, const char*, const char*, PackReader*, int) { return 0; }

int CGameApp::CrossFade(int) { return 1; }
int CGameApp::FadeFromBlack(int) { return 1; }
int CGameApp::MaskWipe(int, int) { return 1; }
int CGameApp::RuleTransition(int, int) { return 1; }
void CGameApp::BeginRuleTransition(int) {}
int CGameApp::WhiteFlash(int) { return 1; }
int CGameApp::ShakeScreen(int, int) { return 1; }
