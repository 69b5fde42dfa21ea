// Keys and stylus: the key map and the per-frame input block.
#pragma once

#include <windows.h>

#include <cstdint>

// Press counters; a count of exactly 1 is a fresh press.
enum InputCounter { IN_UP = 0, IN_DOWN, IN_LEFT, IN_RIGHT, IN_START, IN_KEY_C, IN_KEY_A, IN_KEY_B, IN_KEY_D, IN_KEY_E };
// Armed flags of cursor modes 2 to 4 and the double press of START.
enum InputArmed { ARM_UP = 0, ARM_DOWN, ARM_LEFT, ARM_RIGHT, ARM_START };

struct InputState {
  uint32_t count[10];
  uint32_t armed[5];
  uint32_t stylusX;
  uint32_t stylusY;
  uint32_t tap;       // tap in this frame
  uint32_t wentDown;  // since the last latch
  uint32_t held;
  uint32_t released;  // in this frame
  uint32_t releasedSinceLatch;
  uint32_t unused[258];
};
static_assert(sizeof(InputState) == 1120, "the input block keeps its size");

// A fresh press (count exactly 1) of the counter, consumed, so that one
// press moves one step however many frames it is held.
int TakeFreshPress(InputState* input, int counter);

// Slots of the key map.
enum KeySlot { KS_UP = 0, KS_DOWN, KS_LEFT, KS_RIGHT, KS_KEY_A, KS_KEY_B, KS_KEY_C, KS_KEY_D, KS_KEY_E, KS_START };

struct KeyMap {
  int16_t codes[10];
  int16_t defaults[10];
  uint32_t keyDownCount;

  void Init();
  void SetDefaults(int up, int down, int left, int right, int a, int b, int c, int start);
  int CodeFromName(const char* text) const;
  int SetKeyUp(const char* text);
  int SetKeyDown(const char* text);
  int SetKeyLeft(const char* text);
  int SetKeyRight(const char* text);
  int SetKeyStart(const char* text);
  int SetKeyA(const char* text);
  int SetKeyB(const char* text);
  int SetKeyC(const char* text);
  int SetKeyD(const char* text);
  int SetKeyE(const char* text);
  void OnKey(InputState* input, int code, int down, int cursorMode, int doublePress);

 private:
  int SetSlot(int slot, const char* text);
};
