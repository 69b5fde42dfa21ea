// Stands in for the pop-up menu: it holds no pages and never opens.
#include "player/screens/popup_menu.h"

CPopupMenu::CPopupMenu()
    : root(nullptr), current(nullptr), cursor(-1), width(0), height(0), depth(0), indexStack{}, titles{},
      glyphs(nullptr), savedScreen(nullptr), desc{}, buffer(nullptr) {}
CPopupMenu::~CPopupMenu() = default;
MenuPage* CPopupMenu::AddPage(MenuPage*, int) { return nullptr; }
int CPopupMenu::AddItem(MenuPage*, int, int, const char*) { return -1; }
MenuPage* CPopupMenu::FindItem(MenuPage*, int, int*) { return nullptr; }
void CPopupMenu::SetChecked(MenuPage*, int, uint32_t) {}
void CPopupMenu::SetEnabled(MenuPage*, int, uint32_t) {}
void CPopupMenu::SetLabel(MenuPage*, int, const char*) {}
void CPopupMenu::SetItemPicture(MenuPage*, int, const uint8_t*) {}
void CPopupMenu::MakeItemPicture(const uint8_t*, MenuItem*) {}
void CPopupMenu::FreePages(MenuPage*) {}
void CPopupMenu::Open() {}
void CPopupMenu::Close() {}
void CPopupMenu::MoveCursor(int) {}
int CPopupMenu::EnterOrLeave(int) { return 0; }
int CPopupMenu::HitTest(int, int) { return -1; }
int CPopupMenu::DrawItem(int, int) { return 0; }
void CPopupMenu::PresentAll() {}
void CPopupMenu::PresentRect(const RECT*) {}

CSystemMenu::CSystemMenu() : open(0) {}
CSystemMenu::~CSystemMenu() = default;
int CSystemMenu::Open() { return 0; }
int CSystemMenu::HandleInput(HWND, InputState*) {
  open = 0;
  return 0;
}
