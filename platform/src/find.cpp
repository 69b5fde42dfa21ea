// Directory search with the Windows wildcard rules and one defined order:
// names upper-cased (ASCII) in code page 932 and compared byte by byte, so
// that a walk of the same tree always comes out the same.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "internal.h"
#include "utf8.h"

namespace velmi {

struct FindEntryData {
  std::u16string name;
  std::string key;  // sort key
  std::string utf8;
  struct stat st;
  bool link = false;  // a symbolic link: reported as a reparse point
};

struct FindObject : KernelObject {
  FindObject() : KernelObject(ObjKind::Find) {}
  std::vector<FindEntryData> entries;
  size_t next = 0;
};

namespace {

bool MatchFrom(const std::u16string& p, size_t pi, const std::u16string& n, size_t ni) {
  while (pi < p.size()) {
    char16_t c = p[pi];
    if (c == u'*') {
      while (pi < p.size() && p[pi] == u'*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ni; k <= n.size(); ++k)
        if (MatchFrom(p, pi, n, k)) return true;
      return false;
    }
    if (ni >= n.size()) return false;
    if (c != u'?' && AsciiUpper(c) != AsciiUpper(n[ni])) return false;
    ++pi;
    ++ni;
  }
  return ni == n.size();
}

}  // namespace

// '*' any run, '?' one character, letters without regard to ASCII case.
// As on Windows, a pattern ending in ".*" also matches names without that
// extension ("*.*" matches "readme"), and one ending in "." matches names
// that have no dot.
bool WildcardMatch(const std::u16string& pattern, const std::u16string& name) {
  if (MatchFrom(pattern, 0, name, 0)) return true;
  size_t n = pattern.size();
  if (n >= 2 && pattern[n - 2] == u'.' && pattern[n - 1] == u'*' && MatchFrom(pattern.substr(0, n - 2), 0, name, 0))
    return true;
  if (n >= 1 && pattern[n - 1] == u'.' && name.find(u'.') == std::u16string::npos &&
      MatchFrom(pattern.substr(0, n - 1), 0, name, 0))
    return true;
  return false;
}

std::string FindOrderKey(const std::u16string& name) {
  std::string key;
  if (!WideToAnsi(name.data(), name.size(), key)) key = WideToAnsiLossy(name);
  // Upper-case ASCII letters at character starts only: trail bytes stay.
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned char b = (unsigned char)key[i];
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))
      ++i;
    else
      key[i] = AsciiUpper(key[i]);
  }
  return key;
}

namespace {

HANDLE Search(const std::u16string& pattern) {
  size_t cut = pattern.find_last_of(u"\\/");
  std::u16string dirPart = cut == std::u16string::npos ? std::u16string() : pattern.substr(0, cut + 1);
  std::u16string mask = cut == std::u16string::npos ? pattern : pattern.substr(cut + 1);
  if (mask.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string dir = ".";
  if (!dirPart.empty()) {
    ResolvedPath p;
    if (!ResolveWide(dirPart, p)) return INVALID_HANDLE_VALUE;
    dir = p.path;
  }
  DIR* d = opendir(dir.c_str());
  if (!d) {
    // The pattern's folder missing is a path not found; any other cause (a
    // folder that may not be read) keeps its own code.
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToWin32(errno));
    return INVALID_HANDLE_VALUE;
  }
  auto* f = new FindObject;
  std::string prefix = dir.back() == '/' ? dir : dir + "/";
  while (dirent* e = readdir(d)) {
    FindEntryData entry;
    entry.utf8 = e->d_name;
    // A name in neither UTF-8 nor code page 932 is listed with U+FFFD in
    // place of its bad bytes: opening it then fails, so a caller counts the
    // file instead of never seeing it.
    if (!DiskNameToWide(entry.utf8, entry.name)) entry.name = Utf8ToWideLossy(entry.utf8);
    if (!WildcardMatch(mask, entry.name)) continue;
    std::string full = prefix + entry.utf8;
    struct stat own;
    if (lstat(full.c_str(), &own) != 0) continue;
    entry.link = S_ISLNK(own.st_mode);
    if (!entry.link || stat(full.c_str(), &entry.st) != 0) entry.st = own;
    entry.key = FindOrderKey(entry.name);
    f->entries.push_back(std::move(entry));
  }
  closedir(d);
  if (f->entries.empty()) {
    delete f;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::sort(f->entries.begin(), f->entries.end(), [](const FindEntryData& a, const FindEntryData& b) {
    if (a.key != b.key)
      return std::lexicographical_compare(a.key.begin(), a.key.end(), b.key.begin(), b.key.end(),
                                          [](char x, char y) { return (unsigned char)x < (unsigned char)y; });
    return a.utf8 < b.utf8;  // names that differ only in case
  });
  return PublishHandle(f);
}

template <class Data>
void FillCommon(const FindEntryData& e, Data* data) {
  std::memset(data, 0, sizeof *data);
  FillAttributeData(e.st, &data->dwFileAttributes, &data->ftCreationTime, &data->ftLastAccessTime,
                    &data->ftLastWriteTime, &data->nFileSizeHigh, &data->nFileSizeLow);
  if (data->dwFileAttributes == FILE_ATTRIBUTE_NORMAL) data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  if (e.link) data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
}

void Fill(const FindEntryData& e, WIN32_FIND_DATAW* data) {
  FillCommon(e, data);
  size_t n = std::min(e.name.size(), size_t(MAX_PATH - 1));
  std::memcpy(data->cFileName, e.name.data(), n * sizeof(char16_t));
}

void Fill(const FindEntryData& e, WIN32_FIND_DATAA* data) {
  FillCommon(e, data);
  std::string a = WideToAnsiLossy(e.name);
  size_t n = std::min(a.size(), size_t(MAX_PATH - 1));
  std::memcpy(data->cFileName, a.data(), n);
}

template <class Data>
BOOL Next(HANDLE find, Data* data) {
  Ref<FindObject> f(find, ObjKind::Find);
  if (!f) return FALSE;
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (f->next >= f->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  Fill(f->entries[f->next++], data);
  return TRUE;
}

}  // namespace
}  // namespace velmi

using namespace velmi;

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  std::u16string wide;
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!AnsiToWide(pattern, std::strlen(pattern), wide)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = Search(wide);
  if (h != INVALID_HANDLE_VALUE) Next(h, data);
  return h;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = Search(pattern);
  if (h != INVALID_HANDLE_VALUE) Next(h, data);
  return h;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) { return Next(find, data); }
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) { return Next(find, data); }
BOOL FindClose(HANDLE find) { return CloseKind(find, ObjKind::Find) ? TRUE : FALSE; }
