// File handles and file-system operations on POSIX descriptors.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <map>
#include <mutex>
#include <vector>

#include "internal.h"
#include <velmi_platform.h>

namespace velmi {
namespace {

// Sharing modes are kept per open file (device and inode) so that opens in
// this process conflict as they did on Windows.
struct OpenRecord {
  DWORD access;
  DWORD share;
};
std::mutex g_shareLock;
std::map<std::pair<dev_t, ino_t>, std::vector<OpenRecord>>& ShareTable() {
  static auto* t = new std::map<std::pair<dev_t, ino_t>, std::vector<OpenRecord>>;
  return *t;
}

bool WantsRead(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL)) != 0; }
bool WantsWrite(DWORD access) { return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0; }

struct FileObject : KernelObject {
  FileObject() : KernelObject(ObjKind::File) {}
  ~FileObject() override {
    if (shared) {
      std::lock_guard<std::mutex> lock(g_shareLock);
      auto it = ShareTable().find(key);
      if (it != ShareTable().end()) {
        auto& v = it->second;
        for (size_t i = 0; i < v.size(); ++i)
          if (v[i].access == record.access && v[i].share == record.share) {
            v.erase(v.begin() + long(i));
            break;
          }
        if (v.empty()) ShareTable().erase(it);
      }
    }
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  DWORD access = 0;
  bool shared = false;
  std::pair<dev_t, ino_t> key{};
  OpenRecord record{};
};

// The test log of flushes and moves, and pending injected flush failures
// (of FlushFileBuffers, of the folder flush of a written-through move).
std::atomic<bool> g_logFlushes{false};
std::atomic<int> g_flushesBeforeFailure{-1};
std::atomic<int> g_folderFlushesBeforeFailure{-1};
std::atomic<int> g_folderFlushFailuresInARow{1};
std::mutex g_flushLogLock;
std::vector<std::string>& FlushLog() {
  static auto* log = new std::vector<std::string>;
  return *log;
}

void LogFlushEvent(std::string line) {
  if (!g_logFlushes.load()) return;
  std::lock_guard<std::mutex> lock(g_flushLogLock);
  FlushLog().push_back(std::move(line));
}

// The Linux path an open descriptor names (for the log only).
std::string DescriptorPath(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  std::vector<char> target(PATH_MAX + 1);
  const ssize_t n = readlink(link, target.data(), target.size() - 1);
  return n > 0 ? std::string(target.data(), size_t(n)) : std::string();
}

// True when the test hook counting down in `left` makes this flush fail.
bool InjectedFailure(std::atomic<int>& count) {
  int left = count.load();
  while (left >= 0 && !count.compare_exchange_weak(left, left - 1)) {
  }
  return left == 0;
}

bool InjectedFlushFailure() { return InjectedFailure(g_flushesBeforeFailure); }

// A program started with VELMI_FAIL_FOLDER_FLUSH=n has its folder flush
// after n successful ones fail, as VelmiFailFolderFlush(n) does in a test.
bool InjectedFolderFlushFailure() {
  static const bool fromEnvironment = [] {
    const char* text = std::getenv("VELMI_FAIL_FOLDER_FLUSH");
    if (text && *text >= '0' && *text <= '9') g_folderFlushesBeforeFailure.store(std::atoi(text));
    return true;
  }();
  (void)fromEnvironment;
  if (!InjectedFailure(g_folderFlushesBeforeFailure)) return false;
  // Each further failure asked for fails the flush that follows.
  if (g_folderFlushFailuresInARow.fetch_sub(1) > 1) g_folderFlushesBeforeFailure.store(0);
  return true;
}

bool ShareConflict(const OpenRecord& a, const OpenRecord& b) {
  if (WantsRead(b.access) && !(a.share & FILE_SHARE_READ)) return true;
  if (WantsWrite(b.access) && !(a.share & FILE_SHARE_WRITE)) return true;
  return false;
}

// A write past the process's file-size limit fails with EFBIG, as on Windows
// a write that cannot be done fails, instead of ending the process half-way
// through a file (SIGXFSZ).  A handler the program set itself is kept.
void LetOversizedWritesFail() {
  struct sigaction current {};
  if (sigaction(SIGXFSZ, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
    return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

HANDLE OpenFile(const ResolvedPath& path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  int mode = O_CLOEXEC;
  bool r = WantsRead(access), w = WantsWrite(access);
  if (w) LetOversizedWritesFail();
  mode |= (r && w) ? O_RDWR : w ? O_WRONLY : O_RDONLY;
  if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING || (creation == TRUNCATE_EXISTING && !w)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (stat(path.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || creation == CREATE_NEW) {
      SetLastError(creation == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    mode = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  }
  mode_t perm = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = -1;
  bool existed = true;
  if (creation == CREATE_NEW || creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) {
    fd = open(path.path.c_str(), mode | O_CREAT | O_EXCL, perm);
    if (fd >= 0)
      existed = false;
    else if (errno != EEXIST || creation == CREATE_NEW) {
      if (errno == EEXIST) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      FailPath(path);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (fd < 0) {
    fd = open(path.path.c_str(), mode);
    if (fd < 0) {
      FailPath(path);
      return INVALID_HANDLE_VALUE;
    }
  }
  auto* f = new FileObject;
  f->fd = fd;
  f->access = access;
  if (fstat(fd, &st) == 0) {
    OpenRecord mine{access, share};
    std::lock_guard<std::mutex> lock(g_shareLock);
    auto& v = ShareTable()[{st.st_dev, st.st_ino}];
    for (const OpenRecord& other : v)
      if (ShareConflict(other, mine) || ShareConflict(mine, other)) {
        delete f;  // closes the descriptor; the file was not changed
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
      }
    v.push_back(mine);
    f->shared = true;
    f->key = {st.st_dev, st.st_ino};
    f->record = mine;
  }
  if (existed && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) && S_ISREG(st.st_mode) &&
      ftruncate(fd, 0) != 0) {
    FailErrno();
    delete f;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = PublishHandle(f);
  SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return h;
}

// Attributes as Windows reports them; Linux has no archive bit, so a plain
// writable file is "normal".
DWORD AttributesOf(const struct stat& st) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

FILETIME ToFileTime(const struct timespec& ts) {
  // 100 ns units since 1601-01-01.
  uint64_t t = (uint64_t(ts.tv_sec) + 11644473600ULL) * 10000000ULL + uint64_t(ts.tv_nsec) / 100;
  return FILETIME{DWORD(t), DWORD(t >> 32)};
}

}  // namespace

int DupFileDescriptor(HANDLE file, DWORD* access) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return -1;
  if (access) *access = f->access;
  int fd = fcntl(f->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) FailErrno();
  return fd;
}

void FillAttributeData(const struct stat& st, DWORD* attributes, FILETIME* created, FILETIME* accessed,
                       FILETIME* written, DWORD* sizeHigh, DWORD* sizeLow) {
  *attributes = AttributesOf(st);
  *created = ToFileTime(st.st_mtim);
  *accessed = ToFileTime(st.st_atim);
  *written = ToFileTime(st.st_mtim);
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
  *sizeHigh = DWORD(size >> 32);
  *sizeLow = DWORD(size);
}

}  // namespace velmi

using namespace velmi;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE) {
  ResolvedPath p;
  if (!ResolveAnsi(name, p)) return INVALID_HANDLE_VALUE;
  return OpenFile(p, access, share, creation, flagsAndAttributes);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE) {
  ResolvedPath p;
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!ResolveWide(name, p)) return INVALID_HANDLE_VALUE;
  return OpenFile(p, access, share, creation, flagsAndAttributes);
}

HANDLE CreateFileForMappingW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                             DWORD flagsAndAttributes, HANDLE templateFile) {
  return CreateFileW(name, access, share, security, creation, flagsAndAttributes, templateFile);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return FALSE;
  if (overlapped || (!buffer && toRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!WantsRead(f->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toRead) {
    ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (read) *read = done;
      return FailErrno();
    }
    if (n == 0) break;  // end of file: success with fewer bytes
    done += DWORD(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
  if (written) *written = 0;
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return FALSE;
  if (overlapped || (!buffer && toWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!WantsWrite(f->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = done;
      return FailErrno();
    }
    done += DWORD(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return INVALID_SET_FILE_POINTER;
  int64_t move =
      distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance)) : int64_t(distance);
  int64_t base;
  if (method == FILE_BEGIN)
    base = 0;
  else if (method == FILE_CURRENT)
    base = lseek(f->fd, 0, SEEK_CUR);
  else if (method == FILE_END) {
    struct stat st;
    base = fstat(f->fd, &st) == 0 ? int64_t(st.st_size) : -1;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    FailErrno();
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target;
  if (__builtin_add_overflow(base, move, &target) || target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!distanceHigh && target > int64_t(0xFFFFFFFE)) {
    // The position would not fit the 32-bit result.
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(f->fd, off_t(target), SEEK_SET) < 0) {
    FailErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = LONG(uint64_t(target) >> 32);
  SetLastError(NO_ERROR);  // a low part of 0xFFFFFFFF is then told apart from failure
  return DWORD(uint64_t(target));
}

BOOL SetEndOfFile(HANDLE file) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return FALSE;
  off_t pos = lseek(f->fd, 0, SEEK_CUR);
  if (pos < 0 || ftruncate(f->fd, pos) != 0) return FailErrno();
  return TRUE;
}

// fsync's answer on a folder of a file system that has no way to flush
// folders: nothing could be done, as in MoveFileEx's write-through.
static bool NoFolderFlushHere(int error) { return error == EINVAL || error == ENOTSUP; }

BOOL FlushFileBuffers(HANDLE file) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return FALSE;
  if (!WantsWrite(f->access)) {  // as on Windows, a read-only handle cannot flush
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (InjectedFlushFailure()) {
    errno = EIO;
    return FailErrno();
  }
  if (fsync(f->fd) != 0) {
    const int error = errno;
    struct stat st;
    if (!(NoFolderFlushHere(error) && fstat(f->fd, &st) == 0 && S_ISDIR(st.st_mode))) {
      errno = error;
      return FailErrno();
    }
  }
  if (g_logFlushes.load()) LogFlushEvent("flush " + DescriptorPath(f->fd));
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(f->fd, &st) != 0) {
    FailErrno();
    return INVALID_FILE_SIZE;
  }
  uint64_t size = uint64_t(st.st_size);
  if (sizeHigh) *sizeHigh = DWORD(size >> 32);
  SetLastError(NO_ERROR);
  return DWORD(size);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  Ref<FileObject> f(file, ObjKind::File);
  if (!f) return FALSE;
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (fstat(f->fd, &st) != 0) return FailErrno();
  std::memset(info, 0, sizeof *info);
  DWORD high = 0, low = 0;
  FillAttributeData(st, &info->dwFileAttributes, &info->ftCreationTime, &info->ftLastAccessTime, &info->ftLastWriteTime,
                    &high, &low);
  info->nFileSizeHigh = high;
  info->nFileSizeLow = low;
  const uint64_t device = uint64_t(st.st_dev), index = uint64_t(st.st_ino);
  info->dwVolumeSerialNumber = DWORD(device ^ (device >> 32));
  info->nNumberOfLinks = DWORD(st.st_nlink);
  info->nFileIndexHigh = DWORD(index >> 32);
  info->nFileIndexLow = DWORD(index);
  return TRUE;
}

// ---- Operations on names --------------------------------------------------

static BOOL DoCreateDirectory(const ResolvedPath& p) {
  if (mkdir(p.path.c_str(), 0777) != 0) return FailPath(p);
  return TRUE;
}
static BOOL DoRemoveDirectory(const ResolvedPath& p) {
  struct stat st;
  if (lstat(p.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (rmdir(p.path.c_str()) != 0) return FailPath(p);
  return TRUE;
}
static BOOL DoDeleteFile(const ResolvedPath& p) {
  struct stat st;
  if (lstat(p.path.c_str(), &st) != 0) return FailPath(p);
  if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {  // Windows keeps read-only files
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(p.path.c_str()) != 0) return FailPath(p);
  return TRUE;
}
// The folder part of a Linux path ("." for a bare name, "/" for the root's
// entries).
static std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string("/") : path.substr(0, cut);
}
// Flushes a folder's entries to the disk.  A folder that cannot be opened
// for reading, or a file system that has no way to flush folders, leaves
// nothing that could be done: only an error of the flush itself fails.
static bool FlushFolderEntries(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  bool ok = true;
  if (InjectedFolderFlushFailure()) {
    errno = EIO;
    FailErrno();
    ok = false;
  } else if (fsync(fd) != 0 && !NoFolderFlushHere(errno)) {
    FailErrno();
    ok = false;
  }
  close(fd);
  if (ok) LogFlushEvent("folder " + folder);
  return ok;
}
static BOOL DoMoveFile(const ResolvedPath& from, ResolvedPath to, const std::u16string& toGiven, DWORD flags) {
  struct stat a, b;
  if (lstat(from.path.c_str(), &a) != 0) return FailPath(from);
  if (lstat(to.path.c_str(), &b) == 0) {
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
      // The same entry under another letter case: a rename of the case only.
      size_t cut = toGiven.find_last_of(u"\\/");
      std::string last;
      if (!WideToUtf8(toGiven.substr(cut == std::u16string::npos ? 0 : cut + 1), last)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
      }
      to.path = to.path.substr(0, to.path.find_last_of('/') + 1) + last;
    } else if (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(b.st_mode)) {
      SetLastError(S_ISDIR(b.st_mode) && (flags & MOVEFILE_REPLACE_EXISTING) ? ERROR_ACCESS_DENIED
                                                                             : ERROR_ALREADY_EXISTS);
      return FALSE;
    }
  }
  if (rename(from.path.c_str(), to.path.c_str()) != 0) {
    if (errno == ENOENT) return FailPath(to);
    return FailErrno();
  }
  LogFlushEvent("move " + from.path + " " + to.path);
  SetLastError(NO_ERROR);
  if (flags & MOVEFILE_WRITE_THROUGH) {
    // The rename is on the disk only once the folders holding the two names
    // are: the new name's first, then the old name's when it is another.
    // The file is under its new name either way: a flush that fails leaves
    // the move done, its error the last error.
    const std::string toFolder = FolderOf(to.path), fromFolder = FolderOf(from.path);
    if (FlushFolderEntries(toFolder) && fromFolder != toFolder) FlushFolderEntries(fromFolder);
  }
  return TRUE;
}
static BOOL DoSetAttributes(const ResolvedPath& p, DWORD attributes) {
  struct stat st;
  if (stat(p.path.c_str(), &st) != 0) return FailPath(p);
  mode_t mode = st.st_mode & 07777;
  // Only the read-only flag has a Linux counterpart.
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
  if (chmod(p.path.c_str(), mode) != 0) return FailErrno();
  return TRUE;
}
static DWORD DoGetAttributes(const ResolvedPath& p) {
  struct stat st;
  if (stat(p.path.c_str(), &st) != 0) {
    FailPath(p);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}
static BOOL DoGetAttributesEx(const ResolvedPath& p, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
  if (level != GetFileExInfoStandard || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (stat(p.path.c_str(), &st) != 0) return FailPath(p);
  auto* d = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
  FillAttributeData(st, &d->dwFileAttributes, &d->ftCreationTime, &d->ftLastAccessTime, &d->ftLastWriteTime,
                    &d->nFileSizeHigh, &d->nFileSizeLow);
  return TRUE;
}

#define VELMI_WITH_PATH_A(arg, failValue, expr) \
  ResolvedPath p;                               \
  if (!ResolveAnsi(arg, p)) return failValue;   \
  return expr;
#define VELMI_WITH_PATH_W(arg, failValue, expr) \
  ResolvedPath p;                               \
  if (!arg) {                                   \
    SetLastError(ERROR_INVALID_PARAMETER);      \
    return failValue;                           \
  }                                             \
  if (!ResolveWide(arg, p)) return failValue;   \
  return expr;

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES){VELMI_WITH_PATH_A(path, FALSE, DoCreateDirectory(p))} BOOL
    CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES){VELMI_WITH_PATH_W(path, FALSE, DoCreateDirectory(p))} BOOL
    RemoveDirectoryA(LPCSTR path){VELMI_WITH_PATH_A(path, FALSE, DoRemoveDirectory(p))} BOOL
    RemoveDirectoryW(LPCWSTR path){VELMI_WITH_PATH_W(path, FALSE, DoRemoveDirectory(p))} BOOL
    DeleteFileA(LPCSTR path){VELMI_WITH_PATH_A(path, FALSE, DoDeleteFile(p))} BOOL
    DeleteFileW(LPCWSTR path){VELMI_WITH_PATH_W(path, FALSE, DoDeleteFile(p))} BOOL
    SetFileAttributesA(LPCSTR path, DWORD a){VELMI_WITH_PATH_A(path, FALSE, DoSetAttributes(p, a))} BOOL
    SetFileAttributesW(LPCWSTR path, DWORD a){VELMI_WITH_PATH_W(path, FALSE, DoSetAttributes(p, a))} DWORD
    GetFileAttributesA(LPCSTR path){VELMI_WITH_PATH_A(path, INVALID_FILE_ATTRIBUTES, DoGetAttributes(p))} DWORD
    GetFileAttributesW(LPCWSTR path){VELMI_WITH_PATH_W(path, INVALID_FILE_ATTRIBUTES, DoGetAttributes(p))} BOOL
    GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level,
                         LPVOID info){VELMI_WITH_PATH_A(path, FALSE, DoGetAttributesEx(p, level, info))} BOOL
    GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level,
                         LPVOID info){VELMI_WITH_PATH_W(path, FALSE, DoGetAttributesEx(p, level, info))}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  ResolvedPath a, b;
  std::u16string given;
  if (!ResolveAnsi(existing, a) || !ResolveAnsi(newName, b)) return FALSE;
  AnsiToWide(newName, std::strlen(newName), given);
  return DoMoveFile(a, b, given, flags);
}
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
  ResolvedPath a, b;
  if (!existing || !newName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!ResolveWide(existing, a) || !ResolveWide(newName, b)) return FALSE;
  return DoMoveFile(a, b, newName, flags);
}
BOOL MoveFileA(LPCSTR existing, LPCSTR newName) { return MoveFileExA(existing, newName, 0); }
BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName) { return MoveFileExW(existing, newName, 0); }

static bool CurrentDirectory(std::u16string& out) {
  std::vector<char> buf(PATH_MAX);
  if (!getcwd(buf.data(), buf.size())) {
    FailErrno();
    return false;
  }
  out = ToWindowsForm(buf.data());
  return true;
}

// Returns the length without terminator, or the size needed (with it) when
// the buffer is too small.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  std::u16string w;
  if (!CurrentDirectory(w)) return 0;
  std::string a = WideToAnsiLossy(w);
  if (!buffer || a.size() + 1 > size) return DWORD(a.size() + 1);
  std::memcpy(buffer, a.c_str(), a.size() + 1);
  return DWORD(a.size());
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  std::u16string w;
  if (!CurrentDirectory(w)) return 0;
  if (!buffer || w.size() + 1 > size) return DWORD(w.size() + 1);
  std::memcpy(buffer, w.c_str(), (w.size() + 1) * sizeof(char16_t));
  return DWORD(w.size());
}

bool VelmiStreamIsTerminal(int descriptor) {
  return (descriptor == STDOUT_FILENO || descriptor == STDERR_FILENO) && isatty(descriptor) == 1;
}

void VelmiLogDiskFlushes(bool on) {
  std::lock_guard<std::mutex> lock(g_flushLogLock);
  FlushLog().clear();
  g_logFlushes.store(on);
}

std::vector<std::string> VelmiDiskFlushLog() {
  std::lock_guard<std::mutex> lock(g_flushLogLock);
  return FlushLog();
}

void VelmiFailFlushFileBuffers(int after) { g_flushesBeforeFailure = after < 0 ? -1 : after; }

void VelmiFailFolderFlush(int after) { VelmiFailFolderFlushes(after, 1); }

void VelmiFailFolderFlushes(int after, int count) {
  g_folderFlushFailuresInARow = count < 1 ? 1 : count;
  g_folderFlushesBeforeFailure = after < 0 ? -1 : after;
}
