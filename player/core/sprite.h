// Sprites: a rectangle of a picture slot, or a filled rectangle, placed on
// the screen with origin, zoom, angle, level and priority.
#pragma once

#include <windows.h>

#include <cstdint>

// The unit the composition draws: a sprite's head or an effect piece.
struct SpriteDrawItem {
  SpriteDrawItem* next;
  uint32_t itemSize;  // 76
  uint32_t kind;      // 1 picture rectangle, 6 filled rectangle
  uint32_t reserved;
  uint32_t color;  // 0x00RRGGBB for kind 6
  uint16_t blend;  // 0 normal, 1 additive
  uint16_t level2;
  uint16_t level;  // 0..256
  uint16_t angle;
  uint16_t originX, originY;
  uint16_t spare;
  int16_t slot;  // picture slot; negative = nothing to draw
  int16_t srcLeft, srcTop, srcRight, srcBottom;
  int16_t drawX, drawY;
  uint16_t zoomX, zoomY;
  int16_t auxSlot;  // -1 none; -100 the screen capture of a rule transition
  int32_t prevBounds[4];
  uint32_t changed;
};

struct SpriteCell {
  int16_t slot;
  int16_t x, y, width, height;
  int16_t offsetX, offsetY;
  int16_t unused[3];
  int16_t duration;
  int16_t next;  // -1 ends the sprite, -3 hides it
};

constexpr int kSpriteCells = 64;
constexpr int kSpriteAnimations = 16;
constexpr int kPictureSlots = 256;
constexpr int kSpriteSlots = 512;
constexpr int kPriorities = 128;

class CSprite : public SpriteDrawItem {
 public:
  CSprite();
  ~CSprite();
  CSprite(const CSprite&) = delete;
  CSprite& operator=(const CSprite&) = delete;

  void ResetState();
  void InitSource(int slot, int x, int y, int w, int h);
  void SetSource(int slot, int x, int y, int w, int h);
  void InitFillRect(int x, int y, int w, int h, uint32_t color);
  void SetPosition(int x, int y);
  void SetOffset(int ox, int oy);
  void SetPriority(int priority);
  void SetLevel(int level);
  void SetVisible(int flag);
  void SetCell(int cell, int nextCell, int durationMs, int slot, int x, int y, int w, int h, int offsetX, int offsetY,
               int animation);
  void StartCellAnimation(int animation);
  void StopCellAnimation();
  void GetDirtyRect(RECT* out);
  // usePieces: the union of the effect pieces; toPrevious: store as previous bounds.
  void ComputeBounds(int usePieces, int toPrevious);
  void MergeBounds();
  int IsEffectActive() const { return effectActive; }
  int StartEffect(int code, int durationMs, int p1, int p2, int p3);
  int StepEffect();
  int EndEffect();
  // Recomputes every piece for the time since the effect started.
  void LayoutPieces(int elapsedMs);
  void FreePieces();
  int Update();

  uint32_t visible;
  uint32_t finished;
  int32_t x, y;              // thousandths of a screen pixel
  int32_t width, height;     // source size, screen pixels
  int32_t canvasX, canvasY;  // thousandths of a canvas unit
  int32_t canvasWidth, canvasHeight;
  int32_t reqOriginX, reqOriginY;
  int32_t reqZoomX, reqZoomY;
  int32_t reqAngle;
  int32_t priority;  // 0..127, 127 furthest back
  int16_t savedSource[5];
  SpriteDrawItem* pieces;
  SpriteDrawItem* lastPiece;
  int32_t dirty[4];
  int32_t newBounds[4];
  // Effect state (sprite effects).
  uint32_t effectActive;
  uint32_t effectRemoveAtEnd;
  int32_t effectColumns, effectRows;
  int32_t effectCode;
  int32_t effectDuration;
  int32_t effectParams[3];
  int32_t effectSavedX, effectSavedY;
  int32_t effectSteps;
  uint32_t effectStart;
  int32_t effectBounds[4];  // area the pieces covered last; all -1 = none
  // Cell animation.
  uint32_t animationOn;
  int16_t animationNumber, currentCell, frameCounter, firstCell;
  uint32_t cellDue;
  int16_t animationStarts[kSpriteAnimations];
  SpriteCell cells[kSpriteCells];
  uint32_t tileWords[64];

 private:
  void LoadCell(int cell);
  // Widens the previous bounds by an area drawn in the last frame.
  void FoldIntoPrevious(const int32_t* area);
};

// Canvas units to screen units, multiplied first, truncated toward zero.
int ScaleX(int v);
int ScaleY(int v);
