#include "common/sjis.h"

namespace {

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

// Length in bytes of the character at p: 2 for a lead byte with a trail byte,
// else 1.  A lead byte just before the terminator stands alone, so no walk
// ever steps over a terminator.
inline size_t CharLength(const char* p) { return (IsSjisLeadByte(Byte(p)) && p[1] != 0) ? 2 : 1; }

inline unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c; }

bool IsDelimiter(char c, const char* delimiters) {
  if (delimiters == nullptr) return false;
  for (const char* d = delimiters; *d != 0; ++d)
    if (*d == c) return true;
  return false;
}

}  // namespace

int IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC) ? 1 : 0;
}

size_t StrLength(const char* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

char* StrCopy(char* dst, const char* src) {
  while ((*dst = *src) != 0) {
    ++dst;
    ++src;
  }
  return dst;
}

char* StrAppend(char* dst, const char* src) { return StrCopy(dst + StrLength(dst), src); }

const char* SjisFindLastChar(const char* s, char c) {
  const char* found = nullptr;
  if (c == 0) return nullptr;
  while (*s != 0) {
    size_t n = CharLength(s);
    if (n == 1 && *s == c) found = s;
    s += n;
  }
  return found;
}

char* SjisFindLastChar(char* s, char c) { return const_cast<char*>(SjisFindLastChar(static_cast<const char*>(s), c)); }

void SjisSlashSeparators(char* s) {
  while (*s != 0) {
    size_t n = CharLength(s);
    if (n == 1 && *s == '\\') *s = '/';
    s += n;
  }
}

int SjisEndsInSeparator(const char* s) {
  const size_t n = StrLength(s);
  return n > 0 && (s[n - 1] == '/' || SjisFindLastChar(s, '\\') == s + n - 1) ? 1 : 0;
}

int SjisEqual(const char* a, const char* b) {
  while (*a != 0) {
    if (CharLength(a) == 2) {
      // Both bytes exactly; b[1] is read only when b[0] matched a non-zero lead.
      if (a[0] != b[0] || a[1] != b[1]) return 0;
      a += 2;
      b += 2;
    } else {
      if (Fold(Byte(a)) != Fold(Byte(b))) return 0;
      ++a;
      ++b;
    }
  }
  return *b == 0 ? 1 : 0;
}

int SjisStartsWith(const char* s, const char* prefix) {
  while (*prefix != 0) {
    if (CharLength(prefix) == 2) {
      if (prefix[0] != s[0] || prefix[1] != s[1]) return 0;
      prefix += 2;
      s += 2;
    } else {
      if (Fold(Byte(prefix)) != Fold(Byte(s))) return 0;
      ++prefix;
      ++s;
    }
  }
  return 1;
}

const char* SjisCopyToken(const char* src, char* dst, size_t capacity, const char* delimiters, int skipBlanks) {
  // Room for text bytes; once a character does not fit, the rest of the
  // token is still walked (so the caller resumes at the delimiter) but dropped.
  size_t room = capacity > 0 ? capacity - 1 : 0;
  bool full = false;
  auto put = [&](const char* p, size_t n) {
    if (full || n > room) {
      full = true;
      return;
    }
    for (size_t i = 0; i < n; ++i) *dst++ = p[i];
    room -= n;
  };

  while (*src != 0) {
    if (IsDelimiter(*src, delimiters)) break;
    if (*src == '"') {
      ++src;
      while (*src != 0 && *src != '"') {
        size_t n = CharLength(src);
        put(src, n);
        src += n;
      }
      if (*src == '"') ++src;
      continue;
    }
    if (skipBlanks) {
      if (*src == ' ' || *src == '\t') {
        ++src;
        continue;
      }
      if (*src == '\r' && src[1] == '\n') {
        src += 2;
        continue;
      }
    }
    size_t n = CharLength(src);
    put(src, n);
    src += n;
  }
  if (capacity > 0) *dst = 0;
  return src;
}

void ParseInteger(const char* text, int* value) {
  // Unsigned arithmetic: an over-long text wraps instead of overflowing.
  unsigned total = 0;
  unsigned weight = 1;
  *value = 0;
  size_t len = StrLength(text);
  if (len >= 2 && text[0] == '0' && text[1] == 'x') {
    for (size_t i = len; i > 2; --i) {
      char c = text[i - 1];
      unsigned digit = 0;
      if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
      total += digit * weight;
      weight *= 16;
    }
    *value = static_cast<int>(total);
    return;
  }
  bool negative = false;
  for (size_t i = len; i > 0; --i) {
    char c = text[i - 1];
    if (c >= '0' && c <= '9')
      total += static_cast<unsigned>(c - '0') * weight;
    else if (c == '-')
      negative = true;
    weight *= 10;
  }
  *value = static_cast<int>(negative ? 0u - total : total);
}

size_t SjisCopyField(char* dst, size_t size, const char* src, size_t srcLimit) {
  if (size == 0) return 0;
  size_t n = 0;
  while (n < srcLimit && src[n] != 0) {
    size_t step = IsSjisLeadByte(static_cast<unsigned char>(src[n])) && n + 1 < srcLimit && src[n + 1] != 0 ? 2 : 1;
    if (n + step > size - 1) break;
    n += step;
  }
  for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  for (size_t i = n; i < size; ++i) dst[i] = 0;
  return n;
}
