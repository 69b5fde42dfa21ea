// Conversions: %% %c %s %S %d %u %x %o %z %t %f %r, %l before d u o x, and the
// upper-case letters D U O X Z T F (and %l D U O X) for full-width text.
// A flag '+' or '-' and a width of at most two digits follow the letter of the
// numeric conversions; %s and %S take a width but no flag; %f also takes
// ".digits".  Unknown letters print nothing and take no argument.
#include "common/format.h"

#include "common/sjis.h"

namespace {

// Shift-JIS full-width characters for the bytes 0x20..0x7F, two bytes each
// (row (c - 0x20) / 16, column c % 16).  0x7F itself is never converted.
const unsigned char kFullWidth[96][2] = {
    {0x81, 0x40}, {0x81, 0x49}, {0x81, 0x68}, {0x81, 0x94}, {0x81, 0x90}, {0x81, 0x93}, {0x81, 0x95}, {0x81, 0x66},
    {0x81, 0x69}, {0x81, 0x6A}, {0x81, 0x96}, {0x81, 0x7B}, {0x81, 0x43}, {0x81, 0x7C}, {0x81, 0x44}, {0x81, 0x5E},
    {0x82, 0x4F}, {0x82, 0x50}, {0x82, 0x51}, {0x82, 0x52}, {0x82, 0x53}, {0x82, 0x54}, {0x82, 0x55}, {0x82, 0x56},
    {0x82, 0x57}, {0x82, 0x58}, {0x81, 0x46}, {0x81, 0x47}, {0x81, 0x83}, {0x81, 0x81}, {0x81, 0x84}, {0x81, 0x48},
    {0x81, 0x97}, {0x82, 0x60}, {0x82, 0x61}, {0x82, 0x62}, {0x82, 0x63}, {0x82, 0x64}, {0x82, 0x65}, {0x82, 0x66},
    {0x82, 0x67}, {0x82, 0x68}, {0x82, 0x69}, {0x82, 0x6A}, {0x82, 0x6B}, {0x82, 0x6C}, {0x82, 0x6D}, {0x82, 0x6E},
    {0x82, 0x6F}, {0x82, 0x70}, {0x82, 0x71}, {0x82, 0x72}, {0x82, 0x73}, {0x82, 0x74}, {0x82, 0x75}, {0x82, 0x76},
    {0x82, 0x77}, {0x82, 0x78}, {0x82, 0x79}, {0x81, 0x6D}, {0x81, 0x8F}, {0x81, 0x6E}, {0x81, 0x4F}, {0x81, 0x51},
    {0x81, 0x4D}, {0x82, 0x81}, {0x82, 0x82}, {0x82, 0x83}, {0x82, 0x84}, {0x82, 0x85}, {0x82, 0x86}, {0x82, 0x87},
    {0x82, 0x88}, {0x82, 0x89}, {0x82, 0x8A}, {0x82, 0x8B}, {0x82, 0x8C}, {0x82, 0x8D}, {0x82, 0x8E}, {0x82, 0x8F},
    {0x82, 0x90}, {0x82, 0x91}, {0x82, 0x92}, {0x82, 0x93}, {0x82, 0x94}, {0x82, 0x95}, {0x82, 0x96}, {0x82, 0x97},
    {0x82, 0x98}, {0x82, 0x99}, {0x82, 0x9A}, {0x81, 0x6F}, {0x81, 0x62}, {0x81, 0x70}, {0x81, 0x50}, {0x00, 0x00},
};

const char kDecimal[] = "0123456789";
const char kHex[] = "0123456789ABCDEF";
const char kOctal[] = "01234567";

// The widest text a conversion builds: two-digit widths, a point and a sign.
constexpr int kConversionBuffer = 256;

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

// One character of s in full-width form: 1 or 2 bytes into out[], returns the
// count and how many source bytes it used through used.
int FullWidthChar(const char* s, char out[2], int* used, bool* converted) {
  unsigned char c = Byte(s);
  *converted = false;
  if (IsSjisLeadByte(c) && s[1] != 0) {
    out[0] = s[0];
    out[1] = s[1];
    *used = 2;
    return 2;
  }
  *used = 1;
  if (c >= 0x20 && c <= 0x7E) {
    out[0] = static_cast<char>(kFullWidth[c - 0x20][0]);
    out[1] = static_cast<char>(kFullWidth[c - 0x20][1]);
    *converted = true;
    return 2;
  }
  out[0] = s[0];
  return 1;
}

// Output cursor.  Unbounded when end is null; else text stops at end (one
// byte is kept for the terminator) and a character that does not fit whole
// ends the output.
struct Sink {
  char* p;
  char* end;
  bool cut = false;

  bool Room(size_t n) {
    if (cut) return false;
    if (end != nullptr && static_cast<size_t>(end - p) < n) {
      cut = true;
      return false;
    }
    return true;
  }
  void Put(char c) {
    if (Room(1)) *p++ = c;
  }
  void Put(const char* s, size_t n) {
    if (Room(n))
      for (size_t i = 0; i < n; ++i) *p++ = s[i];
  }
  // Shift-JIS text, whole characters only.
  void Text(const char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
      size_t len = (IsSjisLeadByte(Byte(s + i)) && i + 1 < n) ? 2 : 1;
      Put(s + i, len);
      i += len;
    }
  }
  void FullWidthText(const char* s) {
    while (*s != 0) {
      char fw[2];
      int used;
      bool converted;
      int n = FullWidthChar(s, fw, &used, &converted);
      Put(fw, static_cast<size_t>(n));
      s += used;
    }
  }
  void Blanks(size_t n) {
    for (size_t i = 0; i < n; ++i) Put(' ');
  }
  // %r: continue behind the text already in the output buffer.
  void SkipExisting() {
    if (cut) return;
    while (*p != 0 && (end == nullptr || p < end)) ++p;
  }
};

// The sign of a signed conversion replaces the blank just left of the first
// non-blank; with no blank there, no sign is shown.
void PlaceSign(char* text, char sign) {
  if (sign == 0) return;
  int i = 0;
  while (text[i] == ' ') ++i;
  if (i > 0 && text[i] != 0) text[i - 1] = sign;
}

char SignFor(bool negative, char flag) {
  if (flag == '+') return negative ? '-' : '+';
  if (flag == '-') return negative ? '-' : 0;
  return 0;
}

uint32_t SaturateToU32(double v) {
  if (!(v > 0.0)) return 0;  // also NaN
  if (v >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(v);
}

bool IsIn(char c, const char* set) {
  for (; *set != 0; ++set)
    if (*set == c) return true;
  return false;
}

int Format(Sink& out, const char* f, va_list args) {
  char text[kConversionBuffer];
  while (*f != 0) {
    if (*f != '%') {
      // A '%' is never a trail byte; one after a stray lead byte still converts.
      size_t n = (IsSjisLeadByte(Byte(f)) && f[1] != 0 && f[1] != '%') ? 2 : 1;
      out.Put(f, n);
      f += n;
      continue;
    }
    char letter = f[1];
    if (letter == 0) break;  // a lone '%' at the end ends the text
    f += 2;
    if (letter == 'l') {
      char second = *f;
      if (second == 0) break;
      ++f;
      if (!IsIn(second, "duoxDUOX")) continue;
      letter = second;
    }
    switch (letter) {
      case '%':
        out.Put('%');
        continue;
      case 'c':
        out.Put(static_cast<char>(va_arg(args, int)));
        continue;
      case 'r':
        out.SkipExisting();
        continue;
      case 's':
      case 'S': {
        int width = ParseFieldWidth(&f);
        ++f;
        const char* s = va_arg(args, const char*);
        if (s == nullptr) s = "";
        if (letter == 's') {
          if (width == 0) {
            out.Text(s, StrLength(s));
          } else {
            size_t used = 0;
            while (*s != 0) {
              size_t n = (IsSjisLeadByte(Byte(s)) && s[1] != 0) ? 2 : 1;
              if (used + n > static_cast<size_t>(width)) break;
              out.Put(s, n);
              used += n;
              s += n;
            }
            out.Blanks(static_cast<size_t>(width) - used);
          }
        } else {
          if (width == 0) {
            out.FullWidthText(s);
          } else {
            size_t limit = static_cast<size_t>(width) * 2, used = 0;
            while (*s != 0) {
              char fw[2];
              int consumed;
              bool converted;
              size_t n = static_cast<size_t>(FullWidthChar(s, fw, &consumed, &converted));
              if (used + n > limit) break;
              out.Put(fw, n);
              used += n;
              s += consumed;
            }
            out.Blanks(limit - used);
          }
        }
        continue;
      }
      default:
        break;
    }

    bool fullWidth = false;
    char kind = letter;
    if (IsIn(letter, "DUOXZTF")) {
      fullWidth = true;
      kind = static_cast<char>(letter + ('a' - 'A'));
    }
    if (!IsIn(kind, "duxoztf")) continue;  // unknown: nothing, no argument

    char flag = 0;
    if (*f == '+' || *f == '-') flag = *f++;
    int width = ParseFieldWidth(&f);
    ++f;
    text[0] = 0;
    switch (kind) {
      case 'd': {
        int v = va_arg(args, int);
        uint32_t magnitude = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
        char sign = SignFor(v < 0, flag);
        if (width == 0) {
          char* p = text;
          if (sign != 0) *p++ = sign;
          FormatUnsigned(p, magnitude);
        } else {
          FormatUnsignedWidth(text, magnitude, width, 0);
          PlaceSign(text, sign);
        }
        break;
      }
      case 'u': {
        uint32_t v = va_arg(args, uint32_t);
        if (width == 0)
          FormatUnsigned(text, v);
        else
          FormatUnsignedWidth(text, v, width, 0);
        break;
      }
      case 'x':
        FormatHexWidth(text, va_arg(args, uint32_t), width);
        break;
      case 'o':
        FormatOctalWidth(text, va_arg(args, uint32_t), width);
        break;
      case 'z':
        FormatUnsignedWidth(text, va_arg(args, uint32_t), width, 1);
        break;
      case 't': {
        uint64_t v = va_arg(args, uint64_t);
        if (width == 0)
          FormatUnsigned64(text, v);
        else
          FormatUnsigned64Width(text, v, width, 0);
        break;
      }
      case 'f': {
        int fraction = 0;
        if (*f == '.') {
          ++f;
          fraction = ParseFieldWidth(&f);
          ++f;
        }
        double v = va_arg(args, double);
        FormatFixedPoint(text, v, width, fraction);
        PlaceSign(text, SignFor(v < 0, flag));
        break;
      }
    }
    if (fullWidth)
      out.FullWidthText(text);
    else
      out.Text(text, StrLength(text));
  }
  return out.cut ? 0 : 1;
}

}  // namespace

int ParseFieldWidth(const char** cursor) {
  const char* p = *cursor;
  int value = 0;
  for (int i = 0; i < 2 && *p >= '0' && *p <= '9'; ++i, ++p) value = value * 10 + (*p - '0');
  *cursor = p - 1;
  return value;
}

int ToFullWidth(char* out, const char* in) {
  int count = 0;
  while (*in != 0) {
    int used;
    bool converted;
    int n = FullWidthChar(in, out, &used, &converted);
    out += n;
    in += used;
    if (converted) ++count;
  }
  *out = 0;
  return count;
}

void FormatUnsignedWidth(char* buffer, uint32_t value, int width, int fill) {
  FormatUnsigned64Width(buffer, value, width, fill);
}

void FormatUnsigned(char* buffer, uint32_t value) { FormatUnsigned64(buffer, value); }

void FormatUnsigned64Width(char* buffer, uint64_t value, int width, int fill) {
  if (width < 0) width = 0;
  char pad = (fill & 1) ? '0' : ' ';
  // Digit k from the right shows only while value >= 10^k; 0 still shows its '0'.
  for (int k = 0; k < width; ++k) {
    buffer[width - 1 - k] = (k == 0 || value != 0) ? kDecimal[value % 10] : pad;
    value /= 10;
  }
  buffer[width] = 0;
}

void FormatUnsigned64(char* buffer, uint64_t value) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = kDecimal[value % 10];
    value /= 10;
  } while (value != 0);
  for (int i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = 0;
}

void FormatHexWidth(char* buffer, uint32_t value, int width) {
  if (width < 0) width = 0;
  for (int k = 0; k < width; ++k) {
    buffer[width - 1 - k] = kHex[value & 15];
    value >>= 4;
  }
  buffer[width] = 0;
}

void FormatOctalWidth(char* buffer, uint32_t value, int width) {
  if (width < 0) width = 0;
  for (int k = 0; k < width; ++k) {
    buffer[width - 1 - k] = kOctal[value & 7];
    value >>= 3;
  }
  buffer[width] = 0;
}

void FormatFixedPoint(char* buffer, double value, int width, int fractionDigits) {
  if (width < 0) width = 0;
  if (fractionDigits < 0) fractionDigits = 0;
  double v = value < 0 ? -value : value;
  uint32_t whole = SaturateToU32(v);
  FormatUnsignedWidth(buffer, whole, width, 0);
  buffer[width] = '.';
  // Truncated, not rounded; digits past nine are beyond 32-bit arithmetic.
  int exact = fractionDigits < 9 ? fractionDigits : 9;
  uint32_t scale = 1;
  for (int i = 0; i < exact; ++i) scale *= 10;
  uint32_t fraction = SaturateToU32((v - whole) * scale) % scale;
  char* p = buffer + width + 1;
  FormatUnsignedWidth(p, fraction, exact, 1);
  for (int i = exact; i < fractionDigits; ++i) p[i] = '0';
  p[fractionDigits] = 0;
}

void FormatStringV(char* out, const char* format, va_list args) {
  Sink sink{out, nullptr};
  Format(sink, format, args);
  *sink.p = 0;
}

void FormatString(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatStringV(out, format, args);
  va_end(args);
}

int FormatStringNV(char* out, size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return 0;
  Sink sink{out, out + capacity - 1};
  int whole = Format(sink, format, args);
  *sink.p = 0;
  return whole;
}

int FormatStringN(char* out, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int whole = FormatStringNV(out, capacity, format, args);
  va_end(args);
  return whole;
}
