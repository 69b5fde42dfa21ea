// The game's one pop-up menu: the pop-up menu with an open word, driven once
// a frame by the keys and the stylus while the game is frozen.
#pragma once

#include <windows.h>

#include "player/screens/popup_menu.h"

struct InputState;

class CSystemMenu : public CPopupMenu {
 public:
  CSystemMenu();
  ~CSystemMenu();

  int IsOpen() const { return open_; }
  // 0 when the menu is already open.
  int Open();
  // One turn of the open menu; 1 while it stays open, 0 when this turn closed it.
  int HandleInput(HWND hwnd, InputState* input);

 private:
  int CloseMenu(HWND hwnd);
  int Choose(HWND hwnd);
  int HandleKeys(HWND hwnd, InputState* input);
  int HandleStylus(HWND hwnd, InputState* input);

  int32_t open_ = 0;
};
