// The TrueType families offered for the message font: preferred names from
// the configuration first, in the system's order, then the others; at most
// 15 names.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kFontListMax = 15;
constexpr int kFontNameSize = 128;

class FontList {
 public:
  FontList();
  void AddPreferred(const char* name);
  void Build();
  static int EnumCallback(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM list);
  int Count() const;
  // An empty name for an index outside the list.
  void GetName(int index, char* out) const;
  // 0 (the first name) when the name is empty or not listed.
  int FindName(const char* name) const;
  void Clear();

  uint32_t pass;
  char preferred[16][kFontNameSize];
  uint32_t count;
  char names[kFontListMax][kFontNameSize];

 private:
  void Take(const char* name);
};
