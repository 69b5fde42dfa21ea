#include "tools/cp932.h"

#include <windows.h>

namespace vtools {

bool Utf8ToCp932(const std::string& utf8, std::string* out) {
  out->clear();
  if (utf8.empty()) return true;
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide <= 0) return false;
  std::u16string w(size_t(wide), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), w.data(), wide);
  BOOL usedDefault = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, &usedDefault);
  if (bytes <= 0 || usedDefault) return false;
  out->resize(size_t(bytes));
  WideCharToMultiByte(CP_ACP, 0, w.data(), wide, out->data(), bytes, nullptr, &usedDefault);
  return !usedDefault;
}

bool Cp932CharToUtf8(const char* bytes, int n, std::string* out) {
  WCHAR w[4];
  const int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, n, w, 4);
  if (wide != 1) return false;
  char u[8];
  const int len = WideCharToMultiByte(CP_UTF8, 0, w, 1, u, sizeof u, nullptr, nullptr);
  if (len <= 0) return false;
  out->assign(u, size_t(len));
  return true;
}

}  // namespace vtools
