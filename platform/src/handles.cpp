// Handle table, last error and the local heap.
#include <velmi_platform.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "internal.h"

namespace velmi {
namespace {

std::mutex& TableLock() {
  static std::mutex m;
  return m;
}
std::unordered_set<KernelObject*>& Table() {
  static auto* t = new std::unordered_set<KernelObject*>;  // outlives static destructors
  return *t;
}

}  // namespace

HANDLE PublishHandle(KernelObject* object) {
  std::lock_guard<std::mutex> lock(TableLock());
  Table().insert(object);
  return object;
}

KernelObject* AcquireHandle(HANDLE handle, ObjKind kind) {
  {
    std::lock_guard<std::mutex> lock(TableLock());
    auto* object = static_cast<KernelObject*>(handle);
    auto it = Table().find(object);
    if (it != Table().end() && object->kind == kind) {
      object->refs.fetch_add(1, std::memory_order_relaxed);
      return object;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

void AddRef(KernelObject* object) { object->refs.fetch_add(1, std::memory_order_relaxed); }

void Release(KernelObject* object) {
  if (object->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

// Removes the handle from the table; the object lives on while others hold it.
static KernelObject* Unpublish(HANDLE handle, bool anyKind, ObjKind kind) {
  std::lock_guard<std::mutex> lock(TableLock());
  auto* object = static_cast<KernelObject*>(handle);
  auto it = Table().find(object);
  if (it == Table().end()) return nullptr;
  // Search handles close only with FindClose.
  if (anyKind ? object->kind == ObjKind::Find : object->kind != kind) return nullptr;
  Table().erase(it);
  return object;
}

bool CloseKind(HANDLE handle, ObjKind kind) {
  KernelObject* object = Unpublish(handle, false, kind);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  Release(object);
  return true;
}

DWORD ErrnoToWin32(int err) {
  switch (err) {
    case 0:
      return NO_ERROR;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EIO:
      return ERROR_IO_DEVICE;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EXDEV:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

BOOL FailErrno() {
  SetLastError(ErrnoToWin32(errno));
  return FALSE;
}

}  // namespace velmi

using namespace velmi;

static thread_local DWORD t_lastError = 0;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

BOOL CloseHandle(HANDLE object) {
  KernelObject* o = Unpublish(object, true, ObjKind::File);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Release(o);
  return TRUE;
}

namespace {
std::atomic<int> g_allocsBeforeFailure{-1};
}  // namespace

void VelmiFailLocalAlloc(int after) { g_allocsBeforeFailure = after < 0 ? -1 : after; }

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  int left = g_allocsBeforeFailure.load();
  while (left >= 0 && !g_allocsBeforeFailure.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Movable blocks are handed out fixed: nothing here ever locks them.
  void* p = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL LocalFree(HLOCAL mem) {
  std::free(mem);
  return nullptr;
}
