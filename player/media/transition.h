// Screen transitions: the captured old screen disappears over the new scene
// through a generated mask (soft wipe) or as tiles that fly off while they
// dissolve through the frames of a rule picture.  The composition calls
// Apply while it draws the captured sprite and frees the object when Apply
// reports the end.
#pragma once

#include <windows.h>

#include <cstdint>

class PackReader;

constexpr int TRANSITION_MAX_TILES = 600;
constexpr int TRANSITION_SOFT_WIPE = 1;
constexpr int TRANSITION_TILE_MODES = 10;  // 10 + the rule kind

// One tile: its place in the old screen, its current place and velocity in
// 22.10 fixed point (per drawn frame), its size and its start delay.
struct TransitionTile {
  int32_t sourceX;
  int32_t sourceY;
  int32_t x;
  int32_t y;
  int32_t unused1;
  int32_t width;
  int32_t height;
  int32_t dx;
  int32_t dy;
  int32_t delay;
  int32_t unused2;
};

class CTransition {
 public:
  // A transition over a width x height screen: mode 0, no mask.
  CTransition(int width, int height);
  ~CTransition();
  CTransition(const CTransition&) = delete;
  CTransition& operator=(const CTransition&) = delete;

  void FreeMask();
  // Fills the mask (kind 1 a wipe from left to right, kind 2 a diagonal wipe
  // from the top left; any other kind gives kind 1's mask).  0 when the mask
  // cannot be allocated.
  int MakeMask(int kind, int durationMs, int mode);
  // Start time = now; 0 when there is no mask.
  int Start();
  // Draws one step into destination (the new scene) from source (the old
  // screen), both screen-sized RGB565; 0 once the time is over (nothing is
  // drawn then), else 1.
  int Apply(uint16_t* destination, const uint16_t* source);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Mode() const { return mode_; }
  int DurationMs() const { return duration_; }
  int ExtraMs() const { return extra_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  const BYTE* Mask() const { return mask_; }
  const TransitionTile& Tile(int i) const { return tiles_[i]; }

 private:
  friend int LoadRule(CTransition*, int, const char*, const char*, PackReader*, int);
  int ApplySoftWipe(uint16_t* destination, const uint16_t* source, DWORD elapsed);
  int ApplyTiles(uint16_t* destination, const uint16_t* source, DWORD elapsed);
  // Lays out the tile grid of a rule transition of the given kind.
  bool SetUpTiles(int kind, int durationMs);

  int width_;
  int height_;
  BYTE* mask_ = nullptr;
  int duration_ = 0;
  DWORD start_ = 0;
  int mode_ = 0;
  int ruleWidth_ = 0;
  int ruleHeight_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  TransitionTile tiles_[TRANSITION_MAX_TILES] = {};
  int extra_ = 0;
};

// The rule picture's entry in the picture pack, with its extension.
constexpr const char* TRANSITION_RULE_PICTURE = "AdvData\\grp\\SYSTEM\\eff";

// Loads the alpha plane of the rule picture (type 32, the transition's
// size) from the pack into the mask and sets up tile mode 10 + kind.  1 on
// success; 0 without a pack reader, when the entry is missing, not of type
// 32, of another size, or its alpha plane is damaged.
int LoadRule(CTransition* transition, int kind, const char* pictureName, const char* packPath, PackReader* reader,
             int durationMs);

// The game object's words of the screen effects: the effect start time
// (white flash, shake swings) and the shake's remaining swings.
struct EffectState {
  uint32_t startTime;
  int32_t shakeSwings;
};
