// Shared pieces of the layer's implementation.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace velmi {

// ---- Kernel objects behind HANDLE values ----------------------------------
enum class ObjKind { File, Find, Mapping, Thread };

struct KernelObject {
  explicit KernelObject(ObjKind k) : kind(k) {}
  virtual ~KernelObject() = default;
  const ObjKind kind;
  std::atomic<int> refs{1};
};

// Publishes a new object (holding one reference for the handle).
HANDLE PublishHandle(KernelObject* object);
// Takes a reference on a live handle of the given kind; null (and
// ERROR_INVALID_HANDLE) when the handle is not one.
KernelObject* AcquireHandle(HANDLE handle, ObjKind kind);
void AddRef(KernelObject* object);
void Release(KernelObject* object);
// Closes a handle of the given kind (FindClose).
bool CloseKind(HANDLE handle, ObjKind kind);

// Holds a reference for the length of a call.
template <class T>
class Ref {
 public:
  Ref(HANDLE h, ObjKind kind) : p_(static_cast<T*>(AcquireHandle(h, kind))) {}
  ~Ref() {
    if (p_) Release(p_);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

// ---- Errors ---------------------------------------------------------------
DWORD ErrnoToWin32(int err);
// Sets the last error from errno and returns FALSE.
BOOL FailErrno();

// ---- Text -----------------------------------------------------------------
// Code page 932 <-> UTF-16, strict: false on any byte or unit without a
// mapping.
bool AnsiToWide(const char* text, size_t bytes, std::u16string& out);
bool WideToAnsi(const char16_t* text, size_t units, std::string& out);
// Lossy forms: unmappable characters become '?'.
std::string WideToAnsiLossy(const std::u16string& text);
bool Utf8ToWide(const std::string& text, std::u16string& out);
// A name as a directory stores it: UTF-8, or else code page 932 (names copied
// from a Japanese disc keep their Shift-JIS bytes).  False when it is neither.
bool DiskNameToWide(const std::string& name, std::u16string& out);
bool WideToUtf8(const std::u16string& text, std::string& out);
std::u16string WideFrom(LPCWSTR text);

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
bool EqualNoCase(const std::string& a, const std::string& b);

// ---- Paths ----------------------------------------------------------------
struct ResolvedPath {
  std::string path;          // Linux path, UTF-8
  bool parentExists = true;  // every directory before the last component exists
};
// Windows path (UTF-16) -> Linux path.  Sets ERROR_INVALID_NAME and returns
// false when a component cannot be expressed.
bool ResolveWide(const std::u16string& path, ResolvedPath& out);
bool ResolveAnsi(LPCSTR path, ResolvedPath& out);
// ENOENT becomes ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
BOOL FailPath(const ResolvedPath& path);
// Linux path -> Windows form (UTF-16, '\' separators).
std::u16string ToWindowsForm(const std::string& linuxPath);

// Copies a Windows-form path out with GetModuleFileName's truncation rules.
DWORD CopyOutA(const std::u16string& text, LPSTR buffer, DWORD size);
DWORD CopyOutW(const std::u16string& text, LPWSTR buffer, DWORD size);

// ---- Files ----------------------------------------------------------------
// Duplicated descriptor of an open file handle (for mappings), -1 if none.
int DupFileDescriptor(HANDLE file, DWORD* access);

}  // namespace velmi

struct stat;
namespace velmi {
void FillAttributeData(const struct stat& st, DWORD* attributes, FILETIME* created, FILETIME* accessed,
                       FILETIME* written, DWORD* sizeHigh, DWORD* sizeLow);
}
