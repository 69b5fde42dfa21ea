// Wrapping of a message box's text: by drawn width for the device's own box,
// by columns for SDL's box, which sizes itself to its longest line.
#include "device_internal.h"

namespace velmi_device {
namespace {

// Bytes of the UTF-8 sequence that starts with b; a byte that starts none
// stands alone.
size_t SequenceLength(const std::string& text, size_t at) {
  const unsigned char b = static_cast<unsigned char>(text[at]);
  size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? (b <= 0xEF ? 3 : 1) : b >= 0xC2 && b <= 0xDF ? 2 : 1;
  if (at + n > text.size()) return 1;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
  return n;
}

char32_t CodePoint(const std::string& text, size_t at, size_t length) {
  const unsigned char b = static_cast<unsigned char>(text[at]);
  if (length == 1) return b;
  char32_t cp = b & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
  for (size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  return cp;
}

// Full-width characters (East Asian wide and full-width forms) take two
// columns; half-width katakana and everything else one.
int Columns(char32_t cp) {
  if (cp == '\r') return 0;
  static const struct {
    char32_t first, last;
  } kWide[] = {{0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},  {0x4E00, 0x9FFF},
               {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},  {0xFF00, 0xFF60},
               {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  for (const auto& r : kWide)
    if (cp >= r.first && cp <= r.last) return 2;
  return 1;
}

}  // namespace

std::string WrapBoxText(const std::string& text, int limit, const std::function<int(char32_t)>& widthOf) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  int used = 0;                        // columns of the output line so far
  size_t breakAt = std::string::npos;  // the last space after a word on it
  int afterBreak = 0;                  // columns after that space
  bool word = false;                   // the line holds more than blanks
  auto newLine = [&] {
    used = 0;
    breakAt = std::string::npos;
    word = false;
  };
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    const char32_t cp = CodePoint(text, i, length);
    i += length;
    if (cp == '\n') {
      out += '\n';
      newLine();
      continue;
    }
    const int width = widthOf(cp);
    const bool space = cp == ' ';
    if (space && word && used + width > limit) {
      out += '\n';  // in place of the space
      newLine();
      continue;
    }
    while (used > 0 && used + width > limit) {
      if (breakAt != std::string::npos) {
        out[breakAt] = '\n';
        used = afterBreak;
        word = afterBreak > 0;
        breakAt = std::string::npos;
      } else {
        out += '\n';
        newLine();
      }
    }
    if (space && word) {
      breakAt = out.size();
      afterBreak = 0;
    } else if (breakAt != std::string::npos) {
      afterBreak += width;
    }
    out.append(text, i - length, length);
    used += width;
    if (!space) word = true;
  }
  return out;
}

std::string WrapBoxText(const std::string& text, int columns) { return WrapBoxText(text, columns, Columns); }

}  // namespace velmi_device
