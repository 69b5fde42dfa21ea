// Resources compiled into the program, registered at start-up.
#include <cstdlib>
#include <deque>
#include <mutex>

#include "internal.h"
#include <velmi_platform.h>

namespace {

// A resource name: a number (MAKEINTRESOURCE or "#123") or a string.
struct ResName {
  bool isNumber = false;
  WORD number = 0;
  std::string text;  // upper-cased
};

struct Resource {
  ResName type, name;
  const void* data;
  DWORD size;
};

std::mutex g_resLock;
std::deque<Resource>& Table() {
  static auto* t = new std::deque<Resource>;  // addresses stay valid as it grows
  return *t;
}

ResName MakeName(const std::string& s) {
  ResName n;
  if (s.size() > 1 && s[0] == '#') {
    char* end = nullptr;
    long v = std::strtol(s.c_str() + 1, &end, 10);
    if (!*end && v >= 0 && v <= 0xFFFF) {
      n.isNumber = true;
      n.number = WORD(v);
      return n;
    }
  }
  for (char c : s) n.text += velmi::AsciiUpper(c);
  return n;
}

ResName NameA(LPCSTR s) {
  if (IS_INTRESOURCE(s)) {
    ResName n;
    n.isNumber = true;
    n.number = WORD(uintptr_t(s));
    return n;
  }
  return MakeName(s);
}

bool Same(const ResName& a, const ResName& b) {
  return a.isNumber == b.isNumber && (a.isNumber ? a.number == b.number : a.text == b.text);
}

HRSRC Find(const ResName& name, const ResName& type) {
  std::lock_guard<std::mutex> lock(g_resLock);
  bool typeSeen = false;
  for (Resource& r : Table()) {
    if (!Same(r.type, type)) continue;
    typeSeen = true;
    if (Same(r.name, name)) return reinterpret_cast<HRSRC>(&r);
  }
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

}  // namespace

void VelmiRegisterResource(LPCSTR type, LPCSTR name, const void* data, DWORD size) {
  if (!type || !name) return;
  Resource r{NameA(type), NameA(name), data, size};
  std::lock_guard<std::mutex> lock(g_resLock);
  for (Resource& old : Table())
    if (Same(old.type, r.type) && Same(old.name, r.name)) {
      old.data = data;
      old.size = size;
      return;
    }
  Table().push_back(std::move(r));
}

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  if (!name || !type) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Find(NameA(name), NameA(type));
}

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
  auto convert = [](LPCWSTR s, ResName& out) {
    if (IS_INTRESOURCE(s)) {
      out.isNumber = true;
      out.number = WORD(uintptr_t(s));
      return true;
    }
    std::u16string w(s);
    std::string a;
    if (!velmi::WideToAnsi(w.data(), w.size(), a)) return false;
    out = MakeName(a);
    return true;
  };
  ResName n, t;
  if (!name || !type || !convert(name, n) || !convert(type, t)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return Find(n, t);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(reinterpret_cast<Resource*>(resource)->data);
}

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<Resource*>(resource)->size;
}

BOOL FreeResource(HGLOBAL) { return FALSE; }
