// Code page 932 and UTF-8 conversions.  The 932 tables are built once from
// iconv's "CP932" (Microsoft's mapping: 0x5C is the backslash and 0x7E the
// tilde, unlike "SHIFT_JIS"), so later conversions need no iconv state and
// are safe on any thread.
#include <iconv.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "formats/le_bytes.h"
#include "internal.h"
#include "utf8.h"

namespace velmi {
namespace {

constexpr char16_t kNone = 0xFFFF;  // no mapping (U+FFFF is not a character)

struct Cp932Tables {
  char16_t single[256];
  bool lead[256];
  char16_t pair[256 * 256];  // lead << 8 | trail
  uint16_t encode[65536];    // UTF-16 unit -> code (0 = none, except U+0000)
};

std::unique_ptr<Cp932Tables> BuildTables() {
  auto t = std::make_unique<Cp932Tables>();
  iconv_t dec = iconv_open("UTF-16LE", "CP932");
  iconv_t enc = iconv_open("CP932", "UTF-16LE");
  if (dec == (iconv_t)-1 || enc == (iconv_t)-1) throw std::runtime_error("iconv has no CP932 converter");
  auto decode = [&](const unsigned char* in, size_t n) -> char16_t {
    char inb[2] = {char(in[0]), n > 1 ? char(in[1]) : '\0'};
    unsigned char outb[8];
    char* ip = inb;
    char* op = reinterpret_cast<char*>(outb);
    size_t il = n, ol = sizeof outb;
    iconv(dec, nullptr, nullptr, nullptr, nullptr);
    if (iconv(dec, &ip, &il, &op, &ol) == (size_t)-1 || il != 0 || sizeof outb - ol != 2) return kNone;
    return char16_t(GetLe16(outb));
  };
  for (int b = 0; b < 256; ++b) {
    t->lead[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    unsigned char c = (unsigned char)b;
    t->single[b] = t->lead[b] ? kNone : decode(&c, 1);
  }
  for (int i = 0; i < 256 * 256; ++i) t->pair[i] = kNone;
  for (int l = 0; l < 256; ++l) {
    if (!t->lead[l]) continue;
    for (int r = 0x40; r <= 0xFC; ++r) {
      unsigned char c[2] = {(unsigned char)l, (unsigned char)r};
      t->pair[l << 8 | r] = decode(c, 2);
    }
  }
  // Encoding: every character the decoder produces, in iconv's preferred
  // form where several codes share one character (NEC / IBM duplicates).
  std::memset(t->encode, 0, sizeof t->encode);
  auto encodeOne = [&](char16_t u) -> int {
    unsigned char inb[2] = {(unsigned char)(u & 0xFF), (unsigned char)(u >> 8)};
    unsigned char outb[4];
    char* ip = reinterpret_cast<char*>(inb);
    char* op = reinterpret_cast<char*>(outb);
    size_t il = 2, ol = sizeof outb;
    iconv(enc, nullptr, nullptr, nullptr, nullptr);
    if (iconv(enc, &ip, &il, &op, &ol) == (size_t)-1 || il != 0) return -1;
    size_t n = sizeof outb - ol;
    if (n == 1) return outb[0];
    if (n == 2) return outb[0] << 8 | outb[1];
    return -1;
  };
  auto add = [&](char16_t u, int fallback) {
    if (u == kNone || (u == 0 && fallback != 0) || t->encode[u] != 0) return;
    int code = encodeOne(u);
    t->encode[u] = uint16_t(code >= 0 ? code : fallback);
  };
  for (int b = 0; b < 256; ++b) add(t->single[b], b);
  for (int i = 0; i < 256 * 256; ++i) add(t->pair[i], i);
  iconv_close(dec);
  iconv_close(enc);
  return t;
}

const Cp932Tables& Tables() {
  static std::once_flag once;
  static std::unique_ptr<Cp932Tables> tables;
  std::call_once(once, [] { tables = BuildTables(); });
  return *tables;
}

constexpr char16_t kDefaultWide = 0x30FB;  // the code page's default character

// Decodes 932 bytes; invalid input either fails (strict) or becomes the
// default character.
bool DecodeAnsi(const unsigned char* s, size_t n, bool strict, std::u16string& out) {
  const Cp932Tables& t = Tables();
  out.clear();
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    if (t.lead[b]) {
      char16_t u = i + 1 < n ? t.pair[b << 8 | s[i + 1]] : kNone;
      if (u == kNone) {
        if (strict) return false;
        out.push_back(kDefaultWide);
        // A byte that cannot be a trail byte starts the next character.
        bool trail = i + 1 < n && s[i + 1] >= 0x40 && s[i + 1] <= 0xFC && s[i + 1] != 0x7F;
        i += trail ? 2 : 1;
        continue;
      }
      out.push_back(u);
      i += 2;
    } else {
      char16_t u = t.single[b];
      if (u == kNone) {
        if (strict) return false;
        u = kDefaultWide;
      }
      out.push_back(u);
      ++i;
    }
  }
  return true;
}

// Encodes to 932; unmappable characters fail (strict) or become defaultChar.
bool EncodeAnsi(const char16_t* s, size_t n, bool strict, const std::string& defaultChar, std::string& out,
                bool* usedDefault) {
  const Cp932Tables& t = Tables();
  out.clear();
  out.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    char16_t u = s[i];
    uint16_t code = t.encode[u];
    if (u != 0 && code == 0) {
      if (strict) return false;
      out += defaultChar;
      if (usedDefault) *usedDefault = true;
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
      continue;
    }
    if (code > 0xFF) out.push_back(char(code >> 8));
    out.push_back(char(code & 0xFF));
  }
  return true;
}

bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, std::u16string& out) {
  out.clear();
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    uint32_t cp;
    size_t len;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F;
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F;
      len = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07;
      len = 4;
    } else {
      len = 0;
      cp = 0;
    }
    bool ok = len != 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        cp = cp << 6 | (s[i + k] & 0x3F);
    }
    if (ok &&
        ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      if (strict) return false;
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 | cp >> 10));
      out.push_back(char16_t(0xDC00 | (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += len;
  }
  return true;
}

bool EncodeUtf8(const char16_t* s, size_t n, bool strict, std::string& out) {
  out.clear();
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (strict) return false;
      cp = 0xFFFD;
    }
    if (cp < 0x80)
      out.push_back(char(cp));
    else if (cp < 0x800) {
      out.push_back(char(0xC0 | cp >> 6));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | cp >> 12));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | cp >> 18));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

bool IsAnsiPage(UINT cp) { return cp == CP_ACP || cp == CP_OEMCP || cp == CP_THREAD_ACP || cp == 932; }

}  // namespace

bool AnsiToWide(const char* text, size_t bytes, std::u16string& out) {
  return DecodeAnsi(reinterpret_cast<const unsigned char*>(text), bytes, true, out);
}
bool WideToAnsi(const char16_t* text, size_t units, std::string& out) {
  return EncodeAnsi(text, units, true, "?", out, nullptr);
}
std::string WideToAnsiLossy(const std::u16string& text) {
  std::string out;
  EncodeAnsi(text.data(), text.size(), false, "?", out, nullptr);
  return out;
}
bool Utf8ToWide(const std::string& text, std::u16string& out) {
  return DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), true, out);
}
bool WideToUtf8(const std::u16string& text, std::string& out) {
  return EncodeUtf8(text.data(), text.size(), true, out);
}

std::string WideToUtf8Lossy(const char16_t* text, size_t units) {
  std::string out;
  EncodeUtf8(text, units, false, out);
  return out;
}
std::u16string Utf8ToWideLossy(const std::string& text) {
  std::u16string out;
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), false, out);
  return out;
}

std::u16string WideFrom(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

}  // namespace velmi

using namespace velmi;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcBytes, LPWSTR dst, int dstChars) {
  if (!src || srcBytes == 0 || srcBytes < -1 || dstChars < 0 || (dstChars > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = srcBytes == -1 ? std::strlen(src) + 1 : size_t(srcBytes);
  bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  std::u16string out;
  bool ok;
  if (IsAnsiPage(codePage))
    ok = DecodeAnsi(reinterpret_cast<const unsigned char*>(src), n, strict, out);
  else if (codePage == CP_UTF8)
    ok = DecodeUtf8(reinterpret_cast<const unsigned char*>(src), n, strict, out);
  else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!ok) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (dstChars == 0) return int(out.size());
  if (out.size() > size_t(dstChars)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, out.data(), out.size() * sizeof(char16_t));
  return int(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcChars, LPSTR dst, int dstBytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  (void)flags;
  if (!src || srcChars == 0 || srcChars < -1 || dstBytes < 0 || (dstBytes > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = 0;
  if (srcChars == -1) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = size_t(srcChars);
  }
  std::string out;
  if (IsAnsiPage(codePage)) {
    bool used = false;
    EncodeAnsi(src, n, false, defaultChar ? std::string(defaultChar, defaultChar[0] ? 1 : 0) : "?", out, &used);
    if (usedDefaultChar) *usedDefaultChar = used ? TRUE : FALSE;
  } else if (codePage == CP_UTF8) {
    if (defaultChar || usedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    EncodeUtf8(src, n, false, out);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dstBytes == 0) return int(out.size());
  if (out.size() > size_t(dstBytes)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, out.data(), out.size());
  return int(out.size());
}
