// The pop-up menu: pages of up to 20 items drawn straight into the frame
// buffer, and the system menu that the frame step runs while it is open.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/display.h"

struct InputState;
class CGlyphWriter;
struct MenuPage;

enum MenuItemKind : int32_t {
  kMenuCommand = 0,
  kMenuSubmenu = 1,
  kMenuSeparator = 2,
};

// Item flags.
constexpr uint32_t kMenuChecked = 0x1;
constexpr uint32_t kMenuEnabled = 0x2;
constexpr uint32_t kMenuHasPicture = 0x1000;
// Flag of SetChecked and SetEnabled: the key is an item index, not a command id.
constexpr uint32_t kMenuByIndex = 0x100;

constexpr int kMenuPageItems = 20;
constexpr int kMenuLabelSize = 96;
constexpr int kMenuDepth = 8;

// An item's picture: u16 width, u16 height, the pixels bottom row first,
// then the save area for the screen under it.
struct MenuItemPicture;

struct MenuItem {
  MenuPage* child;
  char label[kMenuLabelSize];
  int32_t kind;
  int32_t id;
  uint32_t flags;
  MenuItemPicture* picture;
};

struct MenuPage {
  MenuPage* parent;
  int32_t count;
  MenuItem items[kMenuPageItems];
};

class CPopupMenu {
 public:
  CPopupMenu();
  ~CPopupMenu();
  CPopupMenu(const CPopupMenu&) = delete;
  CPopupMenu& operator=(const CPopupMenu&) = delete;

  // Building and changing the tree (the menu is closed).  A null page is the root.
  MenuPage* AddPage(MenuPage* parent, int parentIndex);
  int AddItem(MenuPage* page, int id, int kind, const char* label);
  MenuPage* FindItem(MenuPage* page, int id, int* indexOut);
  void SetChecked(MenuPage* page, int key, uint32_t flags);
  void SetEnabled(MenuPage* page, int key, uint32_t flags);
  void SetLabel(MenuPage* page, int id, const char* label);
  // bitmap: a 16-bit uncompressed BMP file image, or null to drop the picture.
  void SetItemPicture(MenuPage* page, int id, const uint8_t* bitmap);
  void MakeItemPicture(const uint8_t* bitmap, MenuItem* item);
  void FreePages(MenuPage* page);

  // Running.
  void Open();
  void Close();
  void MoveCursor(int backward);
  int EnterOrLeave(int enter);
  // Item index under a landscape point, or -100, -10, -1.
  int HitTest(int x, int y);
  int DrawItem(int index, int highlighted);
  void PresentAll();
  void PresentRect(const RECT* rect);

  MenuPage* root;
  MenuPage* current;
  int32_t cursor;  // -1 none
  int32_t width, height;
  int32_t depth;
  int32_t indexStack[kMenuDepth];
  char titles[kMenuDepth][64];
  CGlyphWriter* glyphs;
  uint16_t* savedScreen;
  RawFrameBufferDesc desc;
  uint16_t* buffer;
};

class CSystemMenu : public CPopupMenu {
 public:
  CSystemMenu();
  ~CSystemMenu();
  int IsOpen() const { return open; }
  // 0 when already open.
  int Open();
  // One turn of the open menu; 0 when this turn closed it.
  int HandleInput(HWND hwnd, InputState* input);

  int32_t open;
};
