// wsprintfA: the Windows formatter's own rules (no floating point, 'l' means
// 32 bits, output limited to 1024 bytes).
#include <cstdarg>
#include <cstdio>

#include "internal.h"

namespace {

constexpr size_t kLimit = 1024;

void Put(std::string& out, const std::string& body, const std::string& prefix, bool left, bool zero, int width) {
  size_t len = prefix.size() + body.size();
  size_t pad = width > 0 && size_t(width) > len ? size_t(width) - len : 0;
  if (left) {
    out += prefix + body;
    out.append(pad, ' ');
  } else if (zero) {
    out += prefix;
    out.append(pad, '0');
    out += body;
  } else {
    out.append(pad, ' ');
    out += prefix + body;
  }
}

}  // namespace

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  if (!buffer || !format) return 0;
  va_list ap;
  va_start(ap, format);
  std::string out;
  for (const char* p = format; *p && out.size() < kLimit;) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    bool left = false, zero = false, hash = false;
    for (;; ++p) {
      if (*p == '-')
        left = true;
      else if (*p == '0')
        zero = true;
      else if (*p == '#')
        hash = true;
      else
        break;
    }
    // Widths beyond the output limit change nothing; capping them keeps the
    // arithmetic in range.
    auto number = [&p] {
      int n = 0;
      while (*p >= '0' && *p <= '9') {
        if (n < int(kLimit)) n = n * 10 + (*p - '0');
        ++p;
      }
      return n;
    };
    int width = number();
    int precision = -1;
    if (*p == '.') {
      ++p;
      precision = number();
    }
    bool wide = false;
    if (*p == 'l' || *p == 'h') {
      wide = *p == 'l';
      ++p;
    }
    char conv = *p;
    if (!conv) break;
    ++p;
    std::string body, prefix;
    switch (conv) {
      case 'd':
      case 'i': {
        int v = va_arg(ap, int);  // 'l' is 32 bits too
        long long n = v;
        if (n < 0) {
          prefix = "-";
          n = -n;
        }
        body = std::to_string(n);
        if (precision >= 0 && body.size() < size_t(precision)) body.insert(0, size_t(precision) - body.size(), '0');
        Put(out, body, prefix, left, zero && precision < 0, width);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        unsigned v = va_arg(ap, unsigned);
        char tmp[16];
        std::snprintf(tmp, sizeof tmp, conv == 'u' ? "%u" : conv == 'x' ? "%x" : "%X", v);
        body = tmp;
        if (precision >= 0 && body.size() < size_t(precision)) body.insert(0, size_t(precision) - body.size(), '0');
        if (hash && conv != 'u' && v != 0) prefix = conv == 'x' ? "0x" : "0X";
        Put(out, body, prefix, left, zero && precision < 0, width);
        break;
      }
      case 'c':
      case 'C': {
        int c = va_arg(ap, int);
        body = std::string(1, char(c));
        Put(out, body, "", left, zero, width);
        break;
      }
      case 's':
      case 'S': {
        if (conv == 'S' || wide) {  // a UTF-16 string
          const char16_t* w = va_arg(ap, const char16_t*);
          std::u16string ws = w ? std::u16string(w) : std::u16string(u"(null)");
          if (precision >= 0 && ws.size() > size_t(precision)) ws.resize(size_t(precision));
          body = velmi::WideToAnsiLossy(ws);
        } else {
          const char* s = va_arg(ap, const char*);
          body = s ? s : "(null)";
          if (precision >= 0 && body.size() > size_t(precision)) body.resize(size_t(precision));
        }
        Put(out, body, "", left, zero, width);
        break;
      }
      case '%':
        out += '%';
        break;
      default:
        out += conv;  // unknown conversions print the character itself
        break;
    }
  }
  va_end(ap);
  if (out.size() > kLimit - 1) out.resize(kLimit - 1);
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return int(out.size());
}
