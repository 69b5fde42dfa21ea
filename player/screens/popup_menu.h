// The pop-up menu and its system-menu wrapper.  Placeholder interface of
// what the platform calls; the menu work replaces it.
#pragma once

#include <windows.h>

struct InputState;

class CPopupMenu {
 public:
  virtual ~CPopupMenu() = default;
  void SetChecked(void* page, int key, int flags);
  void SetEnabled(void* page, int key, int flags);
};

class CSystemMenu : public CPopupMenu {
 public:
  CSystemMenu();
  ~CSystemMenu() override;
  int IsOpen() const { return open_; }
  int Open();
  // One turn of the open menu; 0 when this turn closed it.
  int HandleInput(HWND hwnd, InputState* input);

 private:
  int open_ = 0;
};
