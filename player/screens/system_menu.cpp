#include "player/screens/system_menu.h"

#include "player/core/input.h"

CSystemMenu::CSystemMenu() = default;
CSystemMenu::~CSystemMenu() = default;

int CSystemMenu::Open() {
  if (open_) return 0;
  CPopupMenu::Open();
  open_ = 1;
  return 1;
}

int CSystemMenu::CloseMenu(HWND hwnd) {
  // Without a saved screen the game's own picture is presented again.
  if (!CPopupMenu::Close() && hwnd) InvalidateRect(hwnd, nullptr, FALSE);
  open_ = 0;
  return 0;
}

// Closes the menu; a command item then reaches the window as WM_COMMAND, to be
// carried out once the screen under the menu is back.
int CSystemMenu::Choose(HWND hwnd) {
  const MenuPage* page = CurrentPage();
  const int index = Cursor();
  int id = -1;
  if (page && index >= 0 && index < page->count && page->items[index].kind == MENU_COMMAND) id = page->items[index].id;
  CloseMenu(hwnd);
  if (id >= 0 && hwnd) PostMessageW(hwnd, WM_COMMAND, WPARAM(id), 0);
  return 0;
}

int CSystemMenu::HandleKeys(HWND hwnd, InputState* in) {
  auto fresh = [&](int slot) {
    if (in->count[slot] != 1) return false;
    in->count[slot] = 0;
    return true;
  };
  if (fresh(IN_UP)) MoveCursor(1);
  if (fresh(IN_DOWN)) MoveCursor(0);
  if (fresh(IN_LEFT) && !EnterOrLeave(0)) return CloseMenu(hwnd);
  if (fresh(IN_RIGHT) && !EnterOrLeave(1) && Cursor() >= 0) return Choose(hwnd);
  if (in->count[IN_KEY_C] == 1 && Cursor() >= 0) {
    in->count[IN_KEY_C] = 0;
    return Choose(hwnd);
  }
  if (fresh(IN_KEY_A) && !EnterOrLeave(0)) return CloseMenu(hwnd);
  if (fresh(IN_KEY_B)) return CloseMenu(hwnd);
  return 1;
}

// The latched stylus flags: went down this frame (tap), held, went up (released).
int CSystemMenu::HandleStylus(HWND hwnd, InputState* in) {
  in->tap = 0;
  const bool up = in->released != 0;
  const int hit = HitTest(int(in->stylusX), int(in->stylusY));
  bool present = false;
  auto unhighlight = [&] {
    if (Cursor() >= 0) {
      DrawItem(Cursor(), 0);
      present = true;
    }
    SetCursor(-1);
  };
  if (hit == kMenuHitOutside) {
    unhighlight();
    if (up) return CloseMenu(hwnd);
  } else if (hit == kMenuHitHeader) {
    unhighlight();
    if (up && !EnterOrLeave(0)) return CloseMenu(hwnd);
  } else if (hit < 0) {
    unhighlight();
  } else {
    const MenuItem& item = CurrentPage()->items[hit];
    if (Cursor() >= 0 && Cursor() != hit) {
      DrawItem(Cursor(), 0);
      present = true;
    }
    const bool enabled = (item.flags & MENU_ENABLED) != 0;
    if (enabled && (item.kind == MENU_COMMAND || item.kind == MENU_SUBMENU)) {
      if (up) {
        SetCursor(hit);
        if (item.kind == MENU_COMMAND) return Choose(hwnd);
        EnterOrLeave(1);
        return 1;
      }
      if (Cursor() != hit) {
        SetCursor(hit);
        DrawItem(hit, 1);
        PresentAll();
        return 1;
      }
    } else {
      SetCursor(-1);
    }
  }
  if (present) PresentAll();
  return 1;
}

int CSystemMenu::HandleInput(HWND hwnd, InputState* input) {
  if (!open_ || !input) return open_;
  if (!input->tap && !input->held && !input->released) return HandleKeys(hwnd, input);
  return HandleStylus(hwnd, input);
}
