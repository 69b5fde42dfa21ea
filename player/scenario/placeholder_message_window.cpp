// Stands in for the message window: nothing is shown and every page ends at
// once.
#include "player/core/game_app.h"
#include "player/scenario/message_window.h"

void CGameApp::BuildMessageWindow() {}
void CGameApp::ShowMessageWindow(int) {}
void CGameApp::ReleaseTextWindow() {}
void CGameApp::UpdateMessageWindowAlpha() {}
void CGameApp::ReshowMessage(int, const char*, const char*) {}
int CGameApp::WaitTextPage() { return 1; }
int CGameApp::HitSideButton() { return -1; }
void CGameApp::HighlightSideButton(int) {}
void CGameApp::ShowPageCursor(int) {}

void SetSpeakerName(CGameApp*, const char*) {}
int ShowMessageText(CGameApp*, const char*) { return 1; }
