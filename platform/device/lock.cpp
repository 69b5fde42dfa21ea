// Start lock: a window's class and title, the build configuration and the
// program folder name one lock file, held by the copy that shows the window,
// so that a second copy's FindWindow finds the first.
#include "device_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace velmi_device {

static std::string ProgramFolder() {
  const std::string p = ExecutablePath();
  const size_t cut = p.rfind('/');
  return cut == std::string::npos ? p : p.substr(0, cut);
}

std::string LockPathFor(const std::u16string& className, const std::u16string& title) {
  std::string key = velmi::WideToUtf8Lossy(className) + '\n' + velmi::WideToUtf8Lossy(title) + '\n' +
                    S().configuration + '\n' + ProgramFolder();
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : key) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "/velmi-%016llx.lock", static_cast<unsigned long long>(h));
  return VelmiDeviceLockDir() + name;
}

void ReleaseWindowLock() {
  State& st = S();
  if (st.lockFd < 0) return;
  ::unlink((st.lockPath + ".raise").c_str());
  ::close(st.lockFd);
  st.lockFd = -1;
  st.lockPath.clear();
}

void UpdateWindowLock(HWND hwnd) {
  State& st = S();
  if (hwnd != st.mainWindow) return;
  ReleaseWindowLock();
  std::string path = LockPathFor(hwnd->className, hwnd->title);
  int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);  // another copy holds it; this one keeps running unlocked
    return;
  }
  st.lockFd = fd;
  st.lockPath = path;
  ::unlink((path + ".raise").c_str());
}

void PollRaiseRequest() {
  State& st = S();
  if (st.lockFd < 0) return;
  uint32_t now = SDL_GetTicks();
  if (now - st.lastLockPoll < 20 && st.lastLockPoll != 0) return;
  st.lastLockPoll = now ? now : 1;
  std::string req = st.lockPath + ".raise";
  if (::unlink(req.c_str()) != 0) return;
  ++st.raiseRequests;
  if (Headless()) ErrorLine("brought to the front by a second start");
  if (st.mainWindow) SetForegroundWindow(st.mainWindow);
}

}  // namespace velmi_device

using namespace velmi_device;

void VelmiDeviceSetLockDir(const char* dir) { S().lockDir = dir ? dir : ""; }

std::string VelmiDeviceLockDir() {
  State& st = S();
  if (!st.lockDir.empty()) return st.lockDir;
  const char* d = std::getenv("XDG_RUNTIME_DIR");
  return d && *d ? std::string(d) : std::string("/tmp");
}

bool VelmiDeviceTakeRaiseRequest() {
  State& st = S();
  PollRaiseRequest();
  if (!st.raiseRequests) return false;
  --st.raiseRequests;
  return true;
}
