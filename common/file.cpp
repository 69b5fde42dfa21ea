#include "common/file.h"

#include <atomic>

#include "common/sjis.h"

namespace {

constexpr int kWideBufferUnits = 2048;
constexpr size_t kVersionBytes = 144;

WCHAR g_wide[kWideBufferUnits];
HINSTANCE g_instance = nullptr;
char g_oggVersion[kVersionBytes];
std::atomic<FileProfile> g_profile{FileProfile::Player};

// A path in UTF-16 for the duration of one call, from the local heap.
class WidePath {
 public:
  explicit WidePath(const char* path) {
    if (path == nullptr) return;
    // UTF-16 never needs more units than the Shift-JIS text has bytes.
    size_t units = StrLength(path) + 1;
    if (units > 0x7FFFFFFF) return;
    text_ = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (text_ == nullptr) return;
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, text_, static_cast<int>(units)) == 0) {
      LocalFree(text_);
      text_ = nullptr;
    }
  }
  ~WidePath() {
    if (text_ != nullptr) LocalFree(text_);
  }
  WidePath(const WidePath&) = delete;
  WidePath& operator=(const WidePath&) = delete;

  const WCHAR* get() const { return text_; }

 private:
  WCHAR* text_ = nullptr;
};

// Attributes of the named path itself; false when it does not exist.
bool LookUp(const WCHAR* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return path != nullptr && GetFileAttributesExW(path, GetFileExInfoStandard, data) != 0;
}

DWORD SizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  if (data.nFileSizeHigh != 0) return INVALID_FILE_SIZE;
  return data.nFileSizeLow;
}

HANDLE OpenForRead(const WCHAR* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
}

// Origins 0, 1 and 2 seek; any other leaves the position at the start.
bool Seek(HANDLE file, int origin, LONG offset) {
  DWORD method;
  switch (origin) {
    case 0:
      method = FILE_BEGIN;
      break;
    case 1:
      method = FILE_CURRENT;
      break;
    case 2:
      method = FILE_END;
      break;
    default:
      return true;
  }
  return SetFilePointer(file, offset, nullptr, method) != INVALID_SET_FILE_POINTER;
}

}  // namespace

DWORD GetFileSizeByName(const char* path) {
  WidePath wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!LookUp(wide.get(), &data)) return INVALID_FILE_SIZE;
  return SizeOf(data);
}

int FileExists(const char* path) {
  WidePath wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  return LookUp(wide.get(), &data) ? 1 : 0;
}

DWORD ReadFilePart(const char* path, void* buffer, int origin, LONG offset, DWORD count) {
  WidePath wide(path);
  if (wide.get() == nullptr) return 0;
  HANDLE file = OpenForRead(wide.get());
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD read = 0;
  if (Seek(file, origin, offset) && ReadFile(file, buffer, count, &read, nullptr) == 0) read = 0;
  CloseHandle(file);
  return read;
}

BYTE* ReadWholeFile(const char* path, DWORD* size, DWORD extra) {
  WidePath wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!LookUp(wide.get(), &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  DWORD length = SizeOf(data);
  if (length == INVALID_FILE_SIZE) return nullptr;

  HANDLE file = OpenForRead(wide.get());
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  size_t total = static_cast<size_t>(length) + extra;
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, total > 0 ? total : 1));
  bool whole = false;
  if (buffer != nullptr) {
    DWORD read = 0;
    // A file that shrank since its size was taken is a failure, not a
    // buffer with stale bytes in it.
    whole = length == 0 || (ReadFile(file, buffer, length, &read, nullptr) != 0 && read == length);
  }
  if (g_profile.load(std::memory_order_relaxed) == FileProfile::Converter) FlushFileBuffers(file);
  CloseHandle(file);
  if (!whole) {
    if (buffer != nullptr) LocalFree(buffer);
    return nullptr;
  }
  if (size != nullptr) *size = length;
  return buffer;
}

namespace {

// WriteFileAt's work; with flush, the bytes are also on the disk before the
// file is closed, and a flush that fails makes the write a failure (0).
DWORD WriteAt(const char* path, const void* buffer, int origin, LONG offset, DWORD count, int create, bool flush) {
  const WCHAR* wide = SjisToWide(path);
  if (wide == nullptr) return 0;
  DWORD share = g_profile.load(std::memory_order_relaxed) == FileProfile::Converter ? 0 : FILE_SHARE_WRITE;
  HANDLE file = CreateFileW(wide, GENERIC_WRITE, share, nullptr, create == 1 ? CREATE_ALWAYS : OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  if (!Seek(file, origin, offset)) {
    written = 0;
  } else if (WriteFile(file, buffer, count, &written, nullptr) == 0) {
    written = 0;
  } else if (written < count) {
    SetLastError(ERROR_DISK_FULL);  // a short write that names no error
  } else if (flush && FlushFileBuffers(file) == 0) {
    written = 0;
  }
  // The caller reads why a write fell short; closing must not overwrite it.
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return written;
}

}  // namespace

DWORD WriteFileAt(const char* path, const void* buffer, int origin, LONG offset, DWORD count, int create) {
  return WriteAt(path, buffer, origin, offset, count, create, false);
}

int WriteFileReplacing(const char* path, const void* buffer, DWORD count, int flushRename) {
  if (path == nullptr) return 0;
  size_t length = StrLength(path);
  BYTE* temp = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, length + sizeof kReplacingSuffix));
  if (temp == nullptr) return 0;
  char* name = reinterpret_cast<char*>(temp);
  StrAppend(StrCopy(name, path), kReplacingSuffix);
  int ok = 0;
  DWORD error = NO_ERROR;
  {
    WidePath from(name), to(path);
    if (from.get() != nullptr && to.get() != nullptr) {
      // The new content is on the disk before its name replaces the old
      // file's, and the rename is on the disk before the call returns (or
      // once the caller flushes the folder): a power cut leaves either file
      // whole, never an empty one.  A rename whose folder flush failed is
      // done all the same, its error kept.  The temporary file is created
      // empty: it is written from its start without a seek.
      const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flushRename ? MOVEFILE_WRITE_THROUGH : 0);
      ok = WriteAt(name, buffer, -1, 0, count, 1, true) == count && MoveFileExW(from.get(), to.get(), flags) != 0;
      error = GetLastError();
      if (!ok) DeleteFileW(from.get());
    } else {
      error = GetLastError();  // why the path did not convert
    }
  }
  LocalFree(temp);
  SetLastError(error);
  return ok;
}

int FlushFolder(const char* folder) {
  WidePath wide(folder);
  if (wide.get() == nullptr) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  // A folder opens as a file only with backup semantics; its handle flushes
  // its entries.  A folder that cannot be opened cannot be flushed: nothing
  // could be done, so only a flush that fails is a failure.
  HANDLE handle = CreateFileW(wide.get(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(NO_ERROR);
    return 1;
  }
  const int ok = FlushFileBuffers(handle) != 0;
  const DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return ok;
}

const WCHAR* SjisToWide(const char* text) {
  if (text == nullptr || MultiByteToWideChar(CP_ACP, 0, text, -1, g_wide, kWideBufferUnits) == 0) {
    g_wide[0] = 0;
    return nullptr;
  }
  return g_wide;
}

void SetFileProfile(FileProfile profile) { g_profile.store(profile, std::memory_order_relaxed); }

FileProfile GetFileProfile() { return g_profile.load(std::memory_order_relaxed); }

void SetInstanceHandle(HINSTANCE instance) { g_instance = instance; }

HINSTANCE GetInstanceHandle() { return g_instance; }

void SetOggOverlayVersion(const char* text) {
  // Keep whole characters only.
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) {
      size_t len = (IsSjisLeadByte(static_cast<unsigned char>(text[n])) && text[n + 1] != 0) ? 2 : 1;
      if (n + len > kVersionBytes - 1) break;
      n += len;
    }
    for (size_t i = 0; i < n; ++i) g_oggVersion[i] = text[i];
  }
  g_oggVersion[n] = 0;
}

void GetOggOverlayVersion(char* out) { StrCopy(out, g_oggVersion); }
