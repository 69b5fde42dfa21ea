// FreeType's own count of the characters of code page 932's non-kanji rows
// (JIS rows 1 to 8, lead bytes 0x81 to 0x84, and the NEC special row 13,
// lead byte 0x87) that a font file's character map holds: the judge of the
// counts EnumFontFamiliesW orders Japanese families by.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

inline std::vector<WCHAR> NonKanjiRowCharacters() {
  std::vector<WCHAR> out;
  for (int lead : {0x81, 0x82, 0x83, 0x84, 0x87})
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const char bytes[2] = {char(lead), char(trail)};
      WCHAR wide = 0;
      if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, &wide, 1) == 1) out.push_back(wide);
    }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

// -1 when FreeType cannot open the face.
inline int FreeTypeCoverage(const std::string& file, int index) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return -1;
  FT_Face face = nullptr;
  int n = -1;
  if (FT_New_Face(library, file.c_str(), index, &face) == 0) {
    n = 0;
    for (WCHAR c : NonKanjiRowCharacters()) n += FT_Get_Char_Index(face, c) != 0;
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return n;
}
