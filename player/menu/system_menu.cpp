#include "player/menu/popup_menu.h"

#include "player/core/input.h"

CSystemMenu::CSystemMenu() = default;
CSystemMenu::~CSystemMenu() = default;

int CSystemMenu::Open() {
  if (open) return 0;
  CPopupMenu::Open();
  open = 1;
  return 1;
}

int CSystemMenu::CloseMenu(HWND hwnd) {
  // Without a saved screen the game's own picture is presented again.
  if (!CPopupMenu::Close() && hwnd) InvalidateRect(hwnd, nullptr, FALSE);
  open = 0;
  return 0;
}

// Closes the menu; a command item then reaches the window as WM_COMMAND, to be
// carried out once the screen under the menu is back.
int CSystemMenu::Choose(HWND hwnd) {
  const MenuPage* page = current;
  const int index = cursor;
  int id = -1;
  if (page && index >= 0 && index < page->count && page->items[index].kind == kMenuCommand) id = page->items[index].id;
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
  if (fresh(IN_RIGHT) && !EnterOrLeave(1) && cursor >= 0) return Choose(hwnd);
  if (in->count[IN_KEY_C] == 1 && cursor >= 0) {
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
    if (cursor >= 0) {
      DrawItem(cursor, 0);
      present = true;
    }
    cursor = -1;
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
    const MenuItem& item = current->items[hit];
    if (cursor >= 0 && cursor != hit) {
      DrawItem(cursor, 0);
      present = true;
    }
    const bool enabled = (item.flags & kMenuEnabled) != 0;
    if (enabled && (item.kind == kMenuCommand || item.kind == kMenuSubmenu)) {
      if (up) {
        cursor = hit;
        if (item.kind == kMenuCommand) return Choose(hwnd);
        EnterOrLeave(1);
        return 1;
      }
      if (cursor != hit) {
        cursor = hit;
        DrawItem(hit, 1);
        PresentAll();
        return 1;
      }
    } else {
      cursor = -1;
    }
  }
  if (present) PresentAll();
  return 1;
}

int CSystemMenu::HandleInput(HWND hwnd, InputState* input) {
  if (!open || !input) return open;
  if (!input->tap && !input->held && !input->released) return HandleKeys(hwnd, input);
  return HandleStylus(hwnd, input);
}
