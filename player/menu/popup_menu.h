// The player's own on-screen menu: a tree of pages of text items, drawn with
// the 12-pixel system font into a screen-sized buffer laid out like the
// device's portrait frame buffer, and copied into the frame buffer through its
// x and y pitches; and the system menu that the frame step runs while it is
// open.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "player/core/display.h"

class CGlyphWriter;
struct InputState;

constexpr int kMenuPageItems = 20;
constexpr int kMenuLabelSize = 96;
constexpr int kMenuTitleSize = 64;
constexpr int kMenuDepth = 8;  // titles and index stack; depth 0..7

enum MenuItemKind : int32_t { kMenuCommand = 0, kMenuSubmenu = 1, kMenuSeparator = 2 };

// Item flags, and the key flag of SetChecked and SetEnabled.
constexpr uint32_t kMenuChecked = 0x1;
constexpr uint32_t kMenuEnabled = 0x2;
constexpr uint32_t kMenuByIndex = 0x100;
constexpr uint32_t kMenuHasPicture = 0x1000;

// Hit-test results other than an item index.
constexpr int kMenuHitOutside = -100;
constexpr int kMenuHitHeader = -10;
constexpr int kMenuHitMargin = -1;

// One allocation: this header, width x height pixels (bottom row first), then
// a save area of (height + 2) x (width + 1) pixels.
struct MenuItemPicture {
  uint16_t width;
  uint16_t height;
  uint16_t* Pixels() { return reinterpret_cast<uint16_t*>(this + 1); }
  uint16_t* SaveArea() { return Pixels() + size_t(width) * height; }
  static size_t AllocationSize(int w, int h) { return 4 + 4 * size_t(h + 2) * size_t(w + 1); }
};
static_assert(sizeof(MenuItemPicture) == 4, "picture header is two words");

struct MenuPage;

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

// Colours of the menu (RGB565) and its text (grey levels of the glyph writer).
constexpr uint16_t kMenuFace = 0xD699;
constexpr uint16_t kMenuHighlight = 0x0010;
constexpr uint16_t kMenuGrey = 0x8410;
constexpr uint16_t kMenuDarkGrey = 0x4208;
constexpr uint16_t kMenuPictureShadow = 0x630C;
constexpr uint16_t kMenuWhite = 0xFFFF;
constexpr uint16_t kMenuBlack = 0x0000;

class CPopupMenu {
 public:
  CPopupMenu();
  ~CPopupMenu();
  CPopupMenu(const CPopupMenu&) = delete;
  CPopupMenu& operator=(const CPopupMenu&) = delete;

  // Building and changing the tree (while the menu is closed).
  MenuPage* AddPage(MenuPage* parent, int parentIndex);
  // Index of the new item; 0 when the page is full, -1 without a page.
  int AddItem(MenuPage* page, int id, int kind, const char* label);
  // Page holding the item (its index in *index), or null.
  MenuPage* FindItem(MenuPage* page, int id, int* index);
  MenuItem* FindMenuItem(MenuPage* page, int id);
  void SetChecked(MenuPage* page, int key, uint32_t flags);
  void SetEnabled(MenuPage* page, int key, uint32_t flags);
  void SetLabel(MenuPage* page, int id, const char* label);
  // bitmap: a BMP file image of length bytes, or null to take the picture away.
  void SetItemPicture(MenuPage* page, int id, const void* bitmap, size_t length);
  // 1 when the item got a picture; 0 (and no picture) when the image is refused.
  int MakeItemPicture(const void* bitmap, size_t length, MenuItem* item);
  void FreePages(MenuPage* page);

  // Running (the frame step, through the system menu).
  void Open();
  // 1 when the saved screen was put back; 0 when there was none.
  int Close();
  void MoveCursor(int backward);
  int EnterOrLeave(int enter);
  int HitTest(int x, int y) const;
  int DrawItem(int index, int highlighted);
  void DrawPage();
  void PresentAll();
  void PresentRect(const RECT* rect);

  // Closed: no saved screen.  Open: the saved screen holds the frame buffer
  // as it was when the menu opened.
  MenuPage* root = nullptr;
  MenuPage* current = nullptr;
  int32_t cursor = -1;  // highlighted item of the current page, -1 none
  int32_t width = 0;    // of the drawn menu, in pixels
  int32_t height = 0;
  int32_t depth = 0;  // submenus entered
  int32_t indexStack[kMenuDepth] = {};
  char titles[kMenuDepth][kMenuTitleSize] = {};
  CGlyphWriter* glyphs = nullptr;
  uint16_t* savedScreen = nullptr;
  RawFrameBufferDesc desc{};
  uint16_t* buffer = nullptr;  // screen-sized, in the frame buffer's portrait layout

 private:
  MenuItem* ItemByKey(MenuPage* page, int key, uint32_t flags);
  void SaveScreen();
  void RestoreScreen();
  void ClearUnder();
  void CopyToFrameBuffer(int x0, int y0, int x1, int y1);
  void ShowPicture(MenuItem* item, int show);
  void BuildHeader(char* breadcrumb, size_t breadcrumbSize, char* status, size_t statusSize) const;
  // Menu-buffer drawing in landscape pixels, clipped to the screen.
  void Fill(int x, int y, int w, int h, uint16_t colour);
  void Glyph(const char* const* rows, int x, int y, bool enabled);
  void Text(const char* text, int x, int y, int grey);

  int screenW_ = 0;
  int screenH_ = 0;
};

// The game's one pop-up menu: the pop-up menu with an open word, driven once
// a frame by the keys and the stylus while the game is frozen.
class CSystemMenu : public CPopupMenu {
 public:
  CSystemMenu();
  ~CSystemMenu();

  int IsOpen() const { return open; }
  // 0 when the menu is already open.
  int Open();
  // One turn of the open menu; 1 while it stays open, 0 when this turn closed it.
  int HandleInput(HWND hwnd, InputState* input);

  int32_t open = 0;

 private:
  int CloseMenu(HWND hwnd);
  int Choose(HWND hwnd);
  int HandleKeys(HWND hwnd, InputState* input);
  int HandleStylus(HWND hwnd, InputState* input);
};

// Copies src into a field of capacity bytes, cutting at a whole Shift-JIS
// character.
void CopyMenuText(char* dst, size_t capacity, const char* src);
