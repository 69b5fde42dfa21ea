// Run-time loading.  A module name is reduced to its file name; the system
// modules are tables of our own entry points, any other name loads our
// shared object "<name>.so" (velmi_platform.h).  No DLL is ever loaded.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "internal.h"
#include <velmi_platform.h>

namespace velmi {
namespace {

struct Entry {
  const char* name;
  FARPROC proc;
};

struct Module {
  explicit Module(int k, std::vector<Entry>* t = nullptr) : kind(k), table(t) {}
  int kind;  // 0 program, 1 system table, 2 shared object
  std::vector<Entry>* table;
  void* dl = nullptr;
  std::string path;
};

// ---- Our entry points of the system modules --------------------------------

// Without a window system the message goes to the error stream; the window
// backend may install its own box with VelmiSetSystemEntry.
int SysMessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  return 1;  // IDOK
}
// The core has no message queue of its own: nothing is ever waiting.
BOOL SysPeekMessageA(void*, HWND, UINT, UINT, UINT) { return FALSE; }
void SysPostQuitMessage(int) {}

std::mutex g_moduleLock;

std::vector<Entry>& User32() {
  static auto* t = new std::vector<Entry>{
      {"MessageBoxA", reinterpret_cast<FARPROC>(&SysMessageBoxA)},
      {"PeekMessageA", reinterpret_cast<FARPROC>(&SysPeekMessageA)},
      {"PostQuitMessage", reinterpret_cast<FARPROC>(&SysPostQuitMessage)},
      {"wsprintfA", reinterpret_cast<FARPROC>(&wsprintfA)},
  };
  return *t;
}
std::vector<Entry>& Advapi32() {
  static auto* t = new std::vector<Entry>{
      {"RegOpenKeyExA", reinterpret_cast<FARPROC>(&RegOpenKeyExA)},
      {"RegQueryValueExA", reinterpret_cast<FARPROC>(&RegQueryValueExA)},
      {"RegCloseKey", reinterpret_cast<FARPROC>(&RegCloseKey)},
  };
  return *t;
}

Module& ProgramModule() {
  static Module m(0);
  return m;
}
Module& User32Module() {
  static Module m(1, &User32());
  return m;
}
Module& Advapi32Module() {
  static Module m(1, &Advapi32());
  return m;
}

std::set<Module*>& Loaded() {
  static auto* s = new std::set<Module*>;
  return *s;
}

Module* LiveModule(HMODULE h) {
  auto* m = reinterpret_cast<Module*>(h);
  if (!m) return &ProgramModule();
  if (m == &ProgramModule() || m == &User32Module() || m == &Advapi32Module()) return m;
  return Loaded().count(m) ? m : nullptr;
}

std::string FileNameOf(const std::string& name) {
  size_t cut = name.find_last_of("\\/");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

Module* SystemModule(const std::string& fileName) {
  std::string u;
  for (char c : fileName) u += AsciiUpper(c);
  if (u.size() > 4 && u.compare(u.size() - 4, 4, ".DLL") == 0) u.resize(u.size() - 4);
  if (u == "USER32") return &User32Module();
  if (u == "ADVAPI32") return &Advapi32Module();
  return nullptr;
}

std::string ProgramPath() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  return n > 0 ? std::string(buf.data(), size_t(n)) : std::string();
}

// Looks for "<fileName>.so" in dir, the file name without regard to ASCII case.
bool FindInDirectory(const std::string& dir, const std::string& soName, std::string& found) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  std::string best;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == soName || (EqualNoCase(n, soName) && (best.empty() || n < best))) {
      best = n;
      if (n == soName) break;
    }
  }
  closedir(d);
  if (best.empty()) return false;
  found = (dir.empty() ? std::string(".") : dir) + "/" + best;
  return true;
}

HMODULE Load(const std::string& utf8Name) {
  std::string file = FileNameOf(utf8Name);
  if (file.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (Module* m = SystemModule(file)) return reinterpret_cast<HMODULE>(m);
  std::vector<std::string> dirs;
  std::string self = ProgramPath();
  if (!self.empty()) dirs.push_back(self.substr(0, self.find_last_of('/')));
  if (const char* env = std::getenv("VELMI_MODULE_PATH")) {
    std::string list = env;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) dirs.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  std::string soName = file + ".so";
  for (const std::string& dir : dirs) {
    std::string path;
    if (!FindInDirectory(dir, soName, path)) continue;
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) continue;  // a broken module is as good as a missing one
    auto* m = new Module(2);
    m->dl = dl;
    char* real = realpath(path.c_str(), nullptr);
    m->path = real ? real : path;
    std::free(real);
    std::lock_guard<std::mutex> lock(g_moduleLock);
    Loaded().insert(m);
    return reinterpret_cast<HMODULE>(m);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

bool NameToUtf8A(LPCSTR name, std::string& out) {
  std::u16string w;
  if (!name || !AnsiToWide(name, std::strlen(name), w) || !WideToUtf8(w, out)) {
    SetLastError(name ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

bool NameToUtf8W(LPCWSTR name, std::string& out) {
  if (!name || !WideToUtf8(name, out)) {
    SetLastError(name ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

FARPROC Lookup(HMODULE module, const char* name) {
  std::lock_guard<std::mutex> lock(g_moduleLock);
  Module* m = LiveModule(module);
  if (!m || !name || IS_INTRESOURCE(name)) {  // ordinals are not served
    SetLastError(m ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (m->kind == 1) {
    for (const Entry& e : *m->table)
      if (std::strcmp(e.name, name) == 0) return e.proc;
  } else {
    void* p = m->kind == 2 ? dlsym(m->dl, name) : dlsym(RTLD_DEFAULT, name);
    if (p) return reinterpret_cast<FARPROC>(p);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

DWORD ModulePath(HMODULE module, std::u16string& out) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(g_moduleLock);
    Module* m = LiveModule(module);
    if (!m || m->kind == 1) {
      SetLastError(m ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_HANDLE);
      return 0;
    }
    path = m->kind == 0 ? ProgramPath() : m->path;
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  out = ToWindowsForm(path);
  return 1;
}

}  // namespace
}  // namespace velmi

using namespace velmi;

void VelmiSetSystemEntry(LPCSTR module, LPCSTR name, FARPROC proc) {
  Module* m = module ? SystemModule(module) : nullptr;
  if (!m || !name || !proc) return;
  std::lock_guard<std::mutex> lock(g_moduleLock);
  for (Entry& e : *m->table)
    if (std::strcmp(e.name, name) == 0) e.proc = proc;
}

HMODULE LoadLibraryA(LPCSTR name) {
  std::string n;
  return NameToUtf8A(name, n) ? Load(n) : nullptr;
}
HMODULE LoadLibraryW(LPCWSTR name) {
  std::string n;
  return NameToUtf8W(name, n) ? Load(n) : nullptr;
}
HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD) { return LoadLibraryA(name); }
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE, DWORD) { return LoadLibraryW(name); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return Lookup(module, name); }

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  std::string n;
  if (!name || !WideToUtf8(name, n)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return Lookup(module, n.c_str());
}

BOOL FreeLibrary(HMODULE module) {
  void* dl = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_moduleLock);
    auto* m = reinterpret_cast<Module*>(module);
    if (m == &User32Module() || m == &Advapi32Module()) return TRUE;
    if (!m || !Loaded().count(m)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    Loaded().erase(m);
    dl = m->dl;
    delete m;
  }
  dlclose(dl);
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (!name) return reinterpret_cast<HMODULE>(&ProgramModule());
  if (Module* m = SystemModule(FileNameOf(name))) return reinterpret_cast<HMODULE>(m);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (!name) return reinterpret_cast<HMODULE>(&ProgramModule());
  std::string n;
  if (WideToUtf8(name, n))
    if (Module* m = SystemModule(FileNameOf(n))) return reinterpret_cast<HMODULE>(m);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  std::u16string path;
  if (!ModulePath(module, path)) return 0;
  return CopyOutA(path, buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  std::u16string path;
  if (!ModulePath(module, path)) return 0;
  return CopyOutW(path, buffer, size);
}
