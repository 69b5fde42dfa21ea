// File mapping on mmap.  A mapping holds its own descriptor, so the file
// handle may be closed once the mapping exists (as Windows CE code does).
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "internal.h"

namespace velmi {
namespace {

struct MappingObject : KernelObject {
  MappingObject() : KernelObject(ObjKind::Mapping) {}
  ~MappingObject() override {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  uint64_t size = 0;
  bool writable = false;
};

struct View {
  void* base;
  size_t length;
  MappingObject* mapping;  // referenced while the view exists
};
std::mutex g_viewLock;
std::map<uintptr_t, View>& Views() {
  static auto* v = new std::map<uintptr_t, View>;
  return *v;
}

HANDLE CreateMapping(HANDLE file, DWORD protect, DWORD maxHigh, DWORD maxLow) {
  DWORD page = protect & 0xFF;
  if (page != PAGE_READONLY && page != PAGE_READWRITE && page != PAGE_WRITECOPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  uint64_t want = uint64_t(maxHigh) << 32 | maxLow;
  int fd;
  DWORD access = 0;
  if (file == INVALID_HANDLE_VALUE) {
    // Memory not backed by a file.
    if (want == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    fd = memfd_create("velmi-mapping", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(want)) != 0) {
      if (fd >= 0) close(fd);
      FailErrno();
      return nullptr;
    }
    access = GENERIC_READ | GENERIC_WRITE;
  } else {
    fd = DupFileDescriptor(file, &access);
    if (fd < 0) return nullptr;
  }
  bool writable = page == PAGE_READWRITE;
  if (writable && !(access & (GENERIC_WRITE | GENERIC_ALL))) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    FailErrno();
    return nullptr;
  }
  uint64_t size = want ? want : uint64_t(st.st_size);
  if (size == 0) {  // an empty file cannot be mapped
    close(fd);
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  if (size > uint64_t(st.st_size)) {
    if (!writable) {
      close(fd);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (ftruncate(fd, off_t(size)) != 0) {
      close(fd);
      FailErrno();
      return nullptr;
    }
  }
  auto* m = new MappingObject;
  m->fd = fd;
  m->size = size;
  m->writable = writable;
  SetLastError(NO_ERROR);
  return PublishHandle(m);
}

}  // namespace
}  // namespace velmi

using namespace velmi;

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow,
                          LPCSTR name) {
  if (name) {  // named (shared between processes) mappings are not needed here
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return CreateMapping(file, protect, maxSizeHigh, maxSizeLow);
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow,
                          LPCWSTR name) {
  if (name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return CreateMapping(file, protect, maxSizeHigh, maxSizeLow);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  Ref<MappingObject> m(mapping, ObjKind::Mapping);
  if (!m) return nullptr;
  uint64_t offset = uint64_t(offsetHigh) << 32 | offsetLow;
  bool write = (access & FILE_MAP_WRITE) != 0 && access != FILE_MAP_COPY;
  bool copy = access == FILE_MAP_COPY;
  if ((write && !m->writable) || offset >= m->size || (bytes && bytes > m->size - offset)) {
    SetLastError(write && !m->writable ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t length = bytes ? bytes : size_t(m->size - offset);
  // mmap wants a page-aligned offset; the view starts inside the first page.
  uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
  uint64_t aligned = offset & ~(page - 1);
  size_t lead = size_t(offset - aligned);
  int prot = PROT_READ | ((write || copy) ? PROT_WRITE : 0);
  void* base = mmap(nullptr, length + lead, prot, copy ? MAP_PRIVATE : MAP_SHARED, m->fd, off_t(aligned));
  if (base == MAP_FAILED) {
    FailErrno();
    return nullptr;
  }
  void* view = static_cast<char*>(base) + lead;
  AddRef(m.get());
  std::lock_guard<std::mutex> lock(g_viewLock);
  Views()[uintptr_t(view)] = View{base, length + lead, m.get()};
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  View v;
  {
    std::lock_guard<std::mutex> lock(g_viewLock);
    auto it = Views().find(uintptr_t(view));
    if (it == Views().end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    v = it->second;
    Views().erase(it);
  }
  munmap(v.base, v.length);
  Release(v.mapping);
  return TRUE;
}
