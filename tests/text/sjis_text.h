// Shift-JIS bytes of a UTF-8 literal, for the text tests.
#pragma once

#include <windows.h>

#include <string>

inline std::string Sjis(const char* utf8) {
  WCHAR wide[1024];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
  if (n <= 0) return {};
  char out[2048];
  int m = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, nullptr);
  return m > 0 ? std::string(out) : std::string();
}
