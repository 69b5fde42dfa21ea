// Stands in for the stage's slot operations, backgrounds and characters:
// nothing is loaded or shown.
#include "player/core/game_app.h"

int CGameApp::HitTest(int, int, int, int) const { return 0; }
void CGameApp::DeleteSprite(int, int) {}
void CGameApp::DeleteAllSprites() {}
void CGameApp::SetSpriteRect(int, int, int, int, int, int) {}
void CGameApp::SetSpriteCell(int, int, int, int, int, int, int, int, int, int, int, int) {}
void CGameApp::SetSpriteCell(int, int, int, int, int, int, int, int, int, int, int) {}
int CGameApp::LoadPictureSlot(int, const char*, int) { return 0; }
int CGameApp::CreateAlphaPicture(int, int, int) { return 0; }
int CGameApp::CreatePlainPicture(int, int, int) { return 0; }
void CGameApp::FreePictureSlot(int) {}
void CGameApp::FreeAllPictureSlots() {}
void CGameApp::MakeRectSprite(int, int, int, int, int, uint32_t, int) {}
void CGameApp::MakePictureSprite(int, int, int, int, int, int, int, int, int, int, int) {}
void CGameApp::ShowBackground(const char*) {}
void CGameApp::ClearStage() {}
void CGameApp::ShowScrollBackground(const char*) {}
void CGameApp::ApplyViewport() {}
void CGameApp::ShowCharacter(int, const char*) {}
void CGameApp::ShowLayer(int, const char*) {}
void CGameApp::RemoveCharacter(int) {}
void CGameApp::RemoveLayer(int) {}
int CGameApp::MoveCharacter(int, int, int) { return 1; }
int CGameApp::MoveBackground(int, int, int) { return 1; }
void CGameApp::PlayMovie(const char*) {}
