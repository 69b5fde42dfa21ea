#include "player/core/input.h"

#include <cstring>

#include "common/sjis.h"

namespace {

// Counter word of each key-map slot.
const int kSlotCounter[10] = {IN_UP,    IN_DOWN,  IN_LEFT,  IN_RIGHT, IN_KEY_A,
                              IN_KEY_B, IN_KEY_C, IN_KEY_D, IN_KEY_E, IN_START};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void KeyMap::Init() {
  std::memset(codes, 0, sizeof codes);
  keyDownCount = 0;
}

void KeyMap::SetDefaults(int up, int down, int left, int right, int a, int b, int c, int start) {
  codes[KS_UP] = int16_t(up);
  codes[KS_DOWN] = int16_t(down);
  codes[KS_LEFT] = int16_t(left);
  codes[KS_RIGHT] = int16_t(right);
  codes[KS_KEY_A] = int16_t(a);
  codes[KS_KEY_B] = int16_t(b);
  codes[KS_KEY_C] = int16_t(c);
  codes[KS_START] = int16_t(start);
  std::memcpy(defaults, codes, sizeof defaults);
}

int KeyMap::CodeFromName(const char* text) const {
  size_t n = StrLength(text);
  if (n < 2) return -1;
  static const struct {
    const char* name;
    int slot;
  } names[] = {{"UP", KS_UP},       {"DOWN", KS_DOWN},   {"LEFT", KS_LEFT},   {"RIGHT", KS_RIGHT},
               {"START", KS_START}, {"KEY_A", KS_KEY_A}, {"KEY_B", KS_KEY_B}, {"KEY_C", KS_KEY_C}};
  for (auto& k : names)
    if (SjisEqual(text, k.name)) return defaults[k.slot];
  if (n != 2) return -1;
  int a = HexDigit(text[0]), b = HexDigit(text[1]);
  if (a >= 0 && b >= 0) return a * 16 + b;
  if (a >= 0) return a * 16;
  if (b >= 0) return b;
  return 0;
}

int KeyMap::SetSlot(int slot, const char* text) {
  int code = CodeFromName(text);
  codes[slot] = int16_t(code == -1 ? defaults[slot] : code);
  return code;
}

int KeyMap::SetKeyUp(const char* t) { return SetSlot(KS_UP, t); }
int KeyMap::SetKeyDown(const char* t) { return SetSlot(KS_DOWN, t); }
int KeyMap::SetKeyLeft(const char* t) { return SetSlot(KS_LEFT, t); }
int KeyMap::SetKeyRight(const char* t) { return SetSlot(KS_RIGHT, t); }
int KeyMap::SetKeyStart(const char* t) { return SetSlot(KS_START, t); }
int KeyMap::SetKeyA(const char* t) { return SetSlot(KS_KEY_A, t); }
int KeyMap::SetKeyB(const char* t) { return SetSlot(KS_KEY_B, t); }
int KeyMap::SetKeyC(const char* t) { return SetSlot(KS_KEY_C, t); }
int KeyMap::SetKeyD(const char* t) { return SetSlot(KS_KEY_D, t); }
int KeyMap::SetKeyE(const char* t) { return SetSlot(KS_KEY_E, t); }

void KeyMap::OnKey(InputState* in, int code, int down, int cursorMode, int doublePress) {
  if (!down) {
    if (keyDownCount > 0) {
      for (int s = 0; s < 10; ++s)
        if (codes[s] == code) in->count[kSlotCounter[s]] = 0;
      return;
    }
    std::memset(in->count, 0, sizeof in->count);
  } else {
    ++keyDownCount;
  }
  // Directions.
  bool anyDirection = false;
  for (int d = 0; d < 4; ++d) {
    if (codes[d] != code) continue;
    anyDirection = true;
    bool horizontal = d == KS_LEFT || d == KS_RIGHT;
    switch (cursorMode) {
      case 0:
        ++in->count[d];
        break;
      case 1: {
        bool othersIdle = true;
        for (int o = 0; o < 4; ++o)
          if (o != d && in->count[o]) othersIdle = false;
        if (othersIdle) ++in->count[d];
        break;
      }
      case 2:
      case 3: {
        bool atOnce = cursorMode == 2 ? horizontal : !horizontal;
        if (atOnce) {
          ++in->count[d];
          if (cursorMode == 2) {
            in->armed[ARM_UP] = in->armed[ARM_DOWN] = 0;
          } else {
            in->armed[ARM_LEFT] = in->armed[ARM_RIGHT] = 0;
          }
        } else {
          if (in->armed[d]) ++in->count[d];
          in->armed[d] = 1;
        }
        break;
      }
      case 4:
        if (in->armed[d]) ++in->count[d];
        for (int o = 0; o < 4; ++o) in->armed[o] = o == d;
        break;
      default:
        break;
    }
  }
  if (anyDirection) in->armed[ARM_START] = 0;
  if (codes[KS_START] == code) {
    if (doublePress) {
      if (in->armed[ARM_START]) ++in->count[IN_START];
      in->armed[ARM_START] = 1;
    } else {
      ++in->count[IN_START];
      in->armed[ARM_START] = 0;
    }
  }
  for (int s = KS_KEY_A; s <= KS_KEY_E; ++s)
    if (codes[s] == code) ++in->count[kSlotCounter[s]];
}

int TakeFreshPress(InputState* input, int counter) {
  if (input->count[counter] != 1) return 0;
  input->count[counter] = 0;
  return 1;
}
