// The pop-up menu tree and its command dispatch.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/menu_ids.h"
#include "player/menu/option_handlers.h"

class CGameApp;
class CPopupMenu;

constexpr int kMenuFontLabelBytes = 24;

// One row of the tree, in order: an item on the page of its level; a submenu
// row opens a page for the rows of the next level that follow it.
struct MenuTreeEntry {
  int8_t level;
  int32_t kind;  // MenuItemKind, or kTreeFonts: one item per listed font
  int32_t id;
  const char* label;  // Shift-JIS
  uint32_t flags;     // initial flags
};
constexpr int32_t kTreeFonts = -1;

const MenuTreeEntry* MenuTreeTable(int* count);
// Adds the whole tree to menu, with one item per name of fontNames (at most
// 15, each cut to 24 bytes or 25 to keep a double-byte character whole).
void BuildMenuTreeInto(CPopupMenu* menu, const char* const* fontNames, int fontCount);
// Builds the whole tree: the fixed items and one item per listed font.
void BuildMenuTree(CGameApp* app);
// Font name cut as a font item's label.
void FontItemLabel(char* out, const char* name);

// What the commands reach outside the menu and the settings.  Entries left
// null are skipped; tests replace entries to record the calls.
struct MenuCommandServices {
  void (*stopMovie)(CGameApp* app);
  void (*stopAllSounds)(CGameApp* app);
  void (*closeWindow)(CGameApp* app, HWND hwnd);
  void (*leaveGame)(CGameApp* app);
  void (*restoreSaveFile)(CGameApp* app, int slot);
  void (*writeSaveFile)(CGameApp* app, int slot);
  void (*applyChannelVolumes)(CGameApp* app, int kind, int value);
  void (*setPreferredCodec)(CGameApp* app, int codec);
  // The weather kind recorded in the game state (0 none) and its strength.
  int (*recordedWeather)(CGameApp* app, int* parameter);
  void (*clearRecordedWeather)(CGameApp* app);
  void (*stopParticles)(CGameApp* app);
  void (*startParticles)(CGameApp* app, int kind, int maximum, int windDirection, int windSpeed, int strength);
  void (*updateMessageWindowAlpha)(CGameApp* app);
  void (*redrawScreen)(CGameApp* app);
  int (*setMessageFontFace)(const char* face);
  void (*deactivate)(CGameApp* app);
};
MenuCommandServices& GetMenuCommandServices();
// The services bound to the game's own operations.
MenuCommandServices DefaultMenuCommandServices();

using MenuCommandHandler = void (*)(CGameApp* app, HWND hwnd, int id);
struct MenuCommandEntry {
  int32_t first;
  int32_t last;
  MenuCommandHandler handler;
};
const MenuCommandEntry* MenuCommandTable(int* count);

// Runs the operation of a command id; ids without one do nothing.
void HandleMenuCommand(CGameApp* app, HWND hwnd, int commandId, LPARAM lParam);
