// Windows paths at the file-system boundary: separators, code page 932 and
// the case-insensitive lookup that the Windows file systems gave.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "internal.h"
#include <velmi_platform.h>

namespace velmi {
namespace {

// Finds the entry of dir that equals name without regard to ASCII case; an
// exact match wins, otherwise the smallest matching name (so the choice does
// not depend on the directory's own order).
bool FindEntry(const std::string& dir, const std::string& name, std::string& found) {
  std::string full = (dir.empty() ? std::string() : dir + (dir.back() == '/' ? "" : "/")) + name;
  struct stat st;
  if (lstat(full.empty() ? "." : full.c_str(), &st) == 0) {
    found = name;
    return true;
  }
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool any = false;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    // A name stored in code page 932 is matched by what it spells.
    std::string spelled = n;
    std::u16string wide;
    if (!Utf8ToWide(n, wide) && DiskNameToWide(n, wide) && !WideToUtf8(wide, spelled)) continue;
    if (EqualNoCase(spelled, name) && (!any || n < found)) {
      found = n;
      any = true;
    }
  }
  closedir(d);
  return any;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool DiskNameToWide(const std::string& name, std::u16string& out) {
  return Utf8ToWide(name, out) || AnsiToWide(name.data(), name.size(), out);
}

bool ResolveWide(const std::u16string& path, ResolvedPath& out) {
  out = ResolvedPath{};
  std::vector<std::u16string> parts;
  size_t i = 0;
  bool absolute = false;
  // A drive prefix ("C:") stands for the root.
  if (path.size() >= 2 && path[1] == u':' && AsciiUpper(path[0]) >= u'A' && AsciiUpper(path[0]) <= u'Z') {
    absolute = true;
    i = 2;
  }
  if (i < path.size() && IsSeparator(path[i])) absolute = true;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start) parts.push_back(path.substr(start, i - start));
  }
  if (parts.empty() && !absolute) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    return false;
  }
  std::string cur = absolute ? "/" : "";
  bool dirsExist = true;
  for (size_t k = 0; k < parts.size(); ++k) {
    std::string name;
    if (!WideToUtf8(parts[k], name)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    std::string found = name;
    if (name != "." && name != ".." && dirsExist && !FindEntry(cur, name, found)) {
      found = name;  // kept as given: a name being created, or a missing one
      if (k + 1 < parts.size()) dirsExist = false;
    }
    if (!cur.empty() && cur.back() != '/') cur += '/';
    cur += found;
  }
  out.path = cur;
  out.parentExists = dirsExist;
  return true;
}

bool ResolveAnsi(LPCSTR path, ResolvedPath& out) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // Decoding first keeps trail bytes 0x5C (ソ is 83 5C) inside their characters.
  std::u16string wide;
  if (!AnsiToWide(path, std::strlen(path), wide)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return ResolveWide(wide, out);
}

BOOL FailPath(const ResolvedPath& path) {
  int err = errno;
  if (err == ENOENT || err == ENOTDIR) {
    struct stat st;
    std::string parent = path.path.substr(0, path.path.find_last_of('/') + 1);
    bool parentOk = path.parentExists && (parent.empty() || (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)));
    SetLastError(parentOk ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  SetLastError(ErrnoToWin32(err));
  return FALSE;
}

std::u16string ToWindowsForm(const std::string& linuxPath) {
  std::u16string wide;
  if (!Utf8ToWide(linuxPath, wide)) {
    wide.clear();
    for (unsigned char c : linuxPath) wide.push_back(c < 0x80 ? char16_t(c) : u'?');
  }
  for (auto& c : wide)
    if (c == u'/') c = u'\\';
  return wide;
}

// Too small a buffer gets the text cut to size - 1 characters and a
// terminator; the result is then size with ERROR_INSUFFICIENT_BUFFER.
DWORD CopyOutA(const std::u16string& text, LPSTR buffer, DWORD size) {
  std::string a = WideToAnsiLossy(text);
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (a.size() + 1 > size) {
    size_t n = size - 1;
    // never leave half a double-byte character at the end
    size_t k = 0;
    while (k < n) {
      unsigned char b = (unsigned char)a[k];
      size_t len = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
      if (k + len > n) break;
      k += len;
    }
    std::memcpy(buffer, a.data(), k);
    buffer[k] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, a.c_str(), a.size() + 1);
  return DWORD(a.size());
}

DWORD CopyOutW(const std::u16string& text, LPWSTR buffer, DWORD size) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (text.size() + 1 > size) {
    std::memcpy(buffer, text.data(), (size - 1) * sizeof(char16_t));
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return DWORD(text.size());
}

}  // namespace velmi

std::string VelmiResolvePathA(LPCSTR path) {
  velmi::ResolvedPath r;
  return velmi::ResolveAnsi(path, r) ? r.path : std::string();
}

std::string VelmiResolvePathW(LPCWSTR path) {
  velmi::ResolvedPath r;
  return path && velmi::ResolveWide(path, r) ? r.path : std::string();
}
