// What the system screens share: chip sprites, touch-box lists, the input
// words of one frame, opening and closing an overlay over the story, and the
// slots each screen owns.
#pragma once

#include <cstdint>

class CGameApp;
struct InputState;

// A chip: a sprite made from a rectangle of a picture slot, placed at a
// position with a priority, offset (0, 0) and full level.
struct ChipLayout {
  int16_t sprite, picture;
  int16_t sx, sy, w, h;  // source rectangle (normal cell)
  int16_t x, y;          // position, canvas units
  int16_t priority;
};

// A touch box that puts the cursor on an item.
struct HitBox {
  int16_t x, y, w, h;
  int16_t item;
};

// Sprite and picture slots a screen owns; the overlays never share a slot
// with a full screen, so either opens over the other.
struct ScreenSlots {
  const char* screen;
  int16_t firstSprite, lastSprite;
  int16_t firstPicture, lastPicture;
};
enum ScreenSlotUse { SLOTS_TITLE, SLOTS_QUICK_OPTION, SLOTS_CONFIRM, SLOTS_FULL_SCREEN, SLOTS_CHOOSER };
extern const ScreenSlots kScreenSlots[];
extern const int kScreenSlotCount;

constexpr int kFullLevel = 256;

void MakeChip(CGameApp* app, const ChipLayout& chip);
void MakeChip(CGameApp* app, int sprite, int picture, int sx, int sy, int w, int h, int x, int y, int priority);
// Later steps on a sprite that could not be made are skipped.
void SetChipSource(CGameApp* app, int sprite, int picture, int sx, int sy, int w, int h);
void SetChipLevel(CGameApp* app, int sprite, int level);
void SetChipPosition(CGameApp* app, int sprite, int x, int y);
// Removes sprites first..last, each ending its effect and leaving its last
// rectangle to be redrawn.
void RemoveSprites(CGameApp* app, int first, int last);
void FreePictureSlots(CGameApp* app, int first, int last);

// The cursor of a list of count items after fresh UP and DOWN presses: UP
// from none or the first item goes to the last, DOWN from none to the first,
// both wrap.
int MoveCursorByKeys(InputState* input, int cursor, int count);
// A choice: a stylus press, or KEY_C or RIGHT freshly pressed; when one is
// present all three words are consumed.
int TakeChoice(InputState* input);
// The cursor after a stylus press: start, then every box holding the stylus
// point in list order, so a later box wins.
int PickHitBox(CGameApp* app, const HitBox* boxes, int count, int start);

// Opening a screen over another: remembers the mode and phase, enters mode,
// and hides the message window when it is shown.
void EnterScreen(CGameApp* app, int mode, int32_t* returnMode, int32_t* returnPhase, int32_t* windowWasShown);
// Shows the message window again, all its text at once, when it was shown on
// entry; then returns to the remembered mode and phase.
void RestoreMessageWindow(CGameApp* app, int32_t windowWasShown);
void ReturnFromScreen(CGameApp* app, int32_t returnMode, int32_t returnPhase, int32_t windowWasShown);
// The pop-up menu's load and save submenus while a full screen is open, and
// again after it closes: saving only where a play-through runs, so a screen
// closed back to the title leaves saving off.
void DisableSaveLoadMenus(CGameApp* app);
void EnableSaveLoadMenus(CGameApp* app, int returnMode);
// Closing a full screen: its sprites 200-299 and pictures 220..lastPicture
// go, the message window comes back when it was shown, the menus follow the
// game state again, and the remembered mode and phase return.
void CloseFullScreen(CGameApp* app, int lastPicture, int32_t returnMode, int32_t returnPhase, int32_t windowWasShown);
// The overlays keep the weather moving over the story.
void StepOverlayWeather(CGameApp* app);

// Waits for a transition to vanish end when it has gone, or after the
// longest a screen transition may last, so a transition that never ends
// cannot hold a screen.
constexpr uint32_t kScreenTransitionLimitMs = 2000 + 2000 + 1000;
int TransitionGone(CGameApp* app, uint32_t since);

// Highlight change of a screen whose items each have a normal and a
// highlighted cell: the old item back to normal, the new one highlighted.
struct ItemCells {
  int16_t sprite, picture;
  int16_t sx, sy, w, h;    // normal cell
  int16_t hx, hy, hw, hh;  // highlighted cell
};
void SwapHighlight(CGameApp* app, const ItemCells* items, int count, int oldCursor, int newCursor);
