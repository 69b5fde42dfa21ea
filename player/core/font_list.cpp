#include "player/core/font_list.h"

#include "common/sjis.h"
#include "player/core/texts.h"

FontList::FontList() : pass(0), preferred{}, count(0), names{} {}

void FontList::AddPreferred(const char* name) {
  // A name longer than a face name can be never matches a family.
  if (!name || !*name || StrLength(name) >= kFontNameSize) return;
  for (int i = 0; i < kFontListMax; ++i) {
    if (preferred[i][0]) continue;
    StrCopy(preferred[i], name);
    return;
  }
}

void FontList::Take(const char* name) { StrCopy(names[count++], name); }

int FontList::EnumCallback(const LOGFONTW* font, const TEXTMETRICW*, DWORD fontType, LPARAM data) {
  FontList* list = reinterpret_cast<FontList*>(data);
  if (!list || !font || fontType != TRUETYPE_FONTTYPE) return 1;
  WCHAR face[LF_FACESIZE + 1] = {};
  for (int i = 0; i < LF_FACESIZE && font->lfFaceName[i]; ++i) face[i] = font->lfFaceName[i];
  char name[kFontNameSize] = {};
  if (WideCharToMultiByte(CP_ACP, 0, face, -1, name, kFontNameSize - 1, nullptr, nullptr) <= 0) return 1;
  name[kFontNameSize - 1] = 0;
  if (name[0] == '@' || name[0] == '$' || name[0] == 0) return 1;
  if (list->count >= uint32_t(kFontListMax)) return 1;
  if (list->pass == 0) {
    for (int i = 0; i < kFontListMax; ++i)
      if (list->preferred[i][0] && SjisEqual(list->preferred[i], name)) {
        // A family enumerated twice is listed once.
        for (uint32_t k = 0; k < list->count; ++k)
          if (SjisEqual(list->names[k], name)) return 1;
        list->Take(name);
        return 1;
      }
    return 1;
  }
  for (uint32_t k = 0; k < list->count; ++k)
    if (SjisEqual(list->names[k], name)) return 1;
  list->Take(name);
  return 1;
}

void FontList::Build() {
  HDC dc = GetDC(nullptr);
  pass = 0;
  EnumFontFamiliesW(dc, nullptr, &FontList::EnumCallback, reinterpret_cast<LPARAM>(this));
  pass = 1;
  EnumFontFamiliesW(dc, nullptr, &FontList::EnumCallback, reinterpret_cast<LPARAM>(this));
  if (count == 0) Take(kTextGothic);
  ReleaseDC(nullptr, dc);
}

int FontList::Count() const { return int(count); }

void FontList::GetName(int index, char* out) const {
  if (!out) return;
  if (index < 0 || index >= int(count)) {
    out[0] = 0;
    return;
  }
  StrCopy(out, names[index]);
}

int FontList::FindName(const char* name) const {
  if (!name || !*name) return 0;
  for (uint32_t i = 0; i < count; ++i)
    if (SjisEqual(names[i], name)) return int(i);
  return 0;
}

void FontList::Clear() { count = 0; }
