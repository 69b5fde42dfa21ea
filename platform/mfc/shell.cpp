// The shell calls of our framework: folder browser, its item lists and
// allocator, and dropped files.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "mfc_internal.h"

namespace {

// An item list is one block from the shell's allocator: a tag and the
// folder's path, terminated.
constexpr char kTag[8] = {'v', 'e', 'l', 'm', 'i', 'i', 'd', 'l'};

class ShellMalloc final : public IMalloc {
 public:
  void* Alloc(SIZE_T bytes) override { return std::malloc(bytes ? bytes : 1); }
  void Free(void* block) override { std::free(block); }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
};

ShellMalloc g_malloc;

std::mutex g_dropLock;
std::set<velmi_mfc::DropData*>& LiveDrops() {
  static auto* s = new std::set<velmi_mfc::DropData*>;
  return *s;
}

velmi_mfc::DropData* LiveDrop(HDROP drop) {
  auto* d = reinterpret_cast<velmi_mfc::DropData*>(drop);
  std::lock_guard<std::mutex> lock(g_dropLock);
  return LiveDrops().count(d) ? d : nullptr;
}

}  // namespace

velmi_mfc::DropData* velmi_mfc::NewDrop(const std::vector<std::string>& sjisPaths) {
  auto* d = new DropData{sjisPaths};
  std::lock_guard<std::mutex> lock(g_dropLock);
  LiveDrops().insert(d);
  return d;
}

HRESULT SHGetMalloc(LPMALLOC* malloc) {
  if (!malloc) return E_FAIL;
  *malloc = &g_malloc;
  return S_OK;
}

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
  if (!info) return nullptr;
  velmi_mfc::Window* owner = velmi_mfc::FromHwnd(info->hwndOwner);
  std::string path;
  if (!velmi_mfc::CurrentHost().BrowseFolder(owner ? owner->Dialog() : nullptr, info->lpszTitle ? info->lpszTitle : "",
                                             &path))
    return nullptr;
  auto* block = static_cast<char*>(g_malloc.Alloc(sizeof kTag + path.size() + 1));
  std::memcpy(block, kTag, sizeof kTag);
  std::memcpy(block + sizeof kTag, path.c_str(), path.size() + 1);
  if (info->pszDisplayName) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '\\') trimmed.pop_back();
    size_t cut = trimmed.rfind('\\');
    std::string name = cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
    std::strncpy(info->pszDisplayName, name.c_str(), MAX_PATH - 1);
    info->pszDisplayName[MAX_PATH - 1] = 0;
  }
  return reinterpret_cast<LPITEMIDLIST>(block);
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
  if (!path) return FALSE;
  path[0] = 0;
  const auto* block = reinterpret_cast<const char*>(list);
  if (!block || std::memcmp(block, kTag, sizeof kTag) != 0) return FALSE;
  const char* p = block + sizeof kTag;
  size_t n = std::strlen(p);
  if (n >= MAX_PATH) return FALSE;
  std::memcpy(path, p, n + 1);
  return TRUE;
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT capacity) {
  velmi_mfc::DropData* d = LiveDrop(drop);
  if (!d) return 0;
  if (index == 0xFFFFFFFFu) return UINT(d->paths.size());
  if (index >= d->paths.size()) return 0;
  const std::string& p = d->paths[index];
  if (!file) return UINT(p.size());
  if (capacity == 0) return 0;
  // Cut at a character boundary.
  size_t n = 0;
  while (n < p.size()) {
    unsigned char c = (unsigned char)p[n];
    size_t len = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && n + 1 < p.size() ? 2 : 1;
    if (n + len > capacity - 1) break;
    n += len;
  }
  std::memcpy(file, p.data(), n);
  file[n] = 0;
  return UINT(n);
}

void DragFinish(HDROP drop) {
  auto* d = reinterpret_cast<velmi_mfc::DropData*>(drop);
  {
    std::lock_guard<std::mutex> lock(g_dropLock);
    if (!LiveDrops().erase(d)) return;
  }
  delete d;
}
