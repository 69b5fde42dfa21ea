// Placeholders for the text work: no message text is drawn, and the font
// list holds the preferred names it is given (or the gothic fallback).
#include <cstring>

#include "common/sjis.h"
#include "player/core/font_list.h"
#include "player/core/text_window.h"
#include "player/core/texts.h"

void CTextWindow::FlagCharsInRect(CDirtyList*) {}
void CTextWindow::Draw(CScreen*, int, int) {}

int SetMessageFontFace(const char* face) {
  size_t n = StrLength(face);
  return n >= 128 ? int(n) : 0;
}

void DeleteMessageFont() {}

FontList::FontList() : names_{}, count_(0) {}

void FontList::AddPreferred(const char* name) {
  if (!name || !*name || count_ >= 15 || StrLength(name) >= 128) return;
  StrCopy(names_[count_++], name);
}

void FontList::Build() {
  if (count_ == 0) StrCopy(names_[count_++], kTextGothic);
}

int FontList::Count() const { return count_; }

void FontList::GetName(int index, char* out) const {
  if (index < 0 || index >= count_) {
    out[0] = 0;
    return;
  }
  StrCopy(out, names_[index]);
}

int FontList::FindName(const char* name) const {
  if (!name || !*name) return 0;
  for (int i = 0; i < count_; ++i)
    if (SjisEqual(names_[i], name)) return i;
  return 0;
}

void FontList::Clear() { count_ = 0; }
