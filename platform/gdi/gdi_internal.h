// Shared state of the text backend.  Every entry point takes Lock() for its
// whole work: FreeType faces and the object tables are not thread-safe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace velmi_gdi {

constexpr int kMemoryDcKind = 16;

struct Object {
  enum Kind { kFont, kBitmap } kind;
  int selections = 0;    // contexts holding it
  bool deleted = false;  // DeleteObject came while it was selected
  bool stock = false;    // never freed
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
};

struct Bitmap : Object {
  Bitmap() : Object(kBitmap) {}
  int width = 0;
  int height = 0;
  bool topDown = true;
  int stride = 0;
  std::unique_ptr<uint8_t[]> bits;
  RGBQUAD palette[2] = {};
  uint8_t* Row(int y) const { return bits.get() + size_t(topDown ? y : height - 1 - y) * stride; }
  void Put(int x, int y, int index) const {
    uint8_t* p = Row(y) + (x >> 3);
    uint8_t m = uint8_t(0x80 >> (x & 7));
    *p = index ? uint8_t(*p | m) : uint8_t(*p & ~m);
  }
  // Columns [l, r) of row y: op 0 clears, 1 sets, 2 inverts.
  void Fill(int y, int l, int r, int op) const;
  // Palette entry closest to the colour (0x00BBGGRR).
  int NearestIndex(COLORREF c) const;
};

struct Face;

struct Font : Object {
  Font() : Object(kFont) {}
  LOGFONTW logical{};
  Face* face = nullptr;
  int cellHeight = 0;  // pixels, ascent + descent
  int ascent = 0;      // pixels from the cell top to the baseline
  long emHeight = 0;   // 26.6 pixels
  int overstrike = 0;  // extra columns of simulated bold
};

struct MemoryDc {
  Bitmap* bitmap = nullptr;
  Font* font = nullptr;
};

std::recursive_mutex& Lock();
// Null unless the handle is a live object of ours.
Object* FindObject(HGDIOBJ handle);
void RegisterObject(Object* object);
// Drops one selection; frees an object whose deletion waited for it.
void Release(Object* object);
// Null unless hdc is one of our memory contexts.
MemoryDc* FindMemoryDc(HDC hdc);
// The font a fresh memory context starts with (null when no font is found).
Font* StockFont();

}  // namespace velmi_gdi
