// Test helpers on a real X server: Xvfb started with -displayfd, which writes
// the display number it took once it accepts connections; the focus read
// with XGetInputFocus; keys sent with XTestFakeKeyEvent.
#include "velmi_x_testing.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velmi_x_testing {
namespace {

// A connection to the server DISPLAY names, closed when it goes.
class Connection {
 public:
  Connection() : display_(XOpenDisplay(nullptr)) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (display_) XCloseDisplay(display_);
  }
  Display* get() const { return display_; }

 private:
  Display* display_;
};

}  // namespace

bool XvfbInstalled() {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  for (size_t from = 0; from <= folders.size();) {
    size_t to = folders.find(':', from);
    if (to == std::string::npos) to = folders.size();
    const std::string folder = to > from ? folders.substr(from, to - from) : ".";
    if (::access((folder + "/Xvfb").c_str(), X_OK) == 0) return true;
    from = to + 1;
  }
  return false;
}

XServer::~XServer() {
  if (pid_ <= 0) return;
  ::kill(pid_t(pid_), SIGTERM);
  int status = 0;
  while (::waitpid(pid_t(pid_), &status, 0) < 0 && errno == EINTR) {
  }
}

bool XServer::Start(int seconds, std::string* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    // The write end stays open across exec; the server's own messages go
    // nowhere, so that the test's output stays its own.
    const int out = ::dup(fds[1]);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (out < 0 || quiet < 0) ::_exit(127);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    const std::string fd = std::to_string(out);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = pid;
  ::close(fds[1]);
  std::string number;
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, seconds * 1000);
    if (ready <= 0) {
      *error = ready == 0 ? "Xvfb gave no display number in time" : std::string("poll: ") + std::strerror(errno);
      break;
    }
    char ch = 0;
    const ssize_t n = ::read(fds[0], &ch, 1);
    if (n <= 0) {
      *error = "Xvfb ended before it took connections";
      break;
    }
    if (ch == '\n') {
      display_ = ":" + number;
      break;
    }
    number += ch;
  }
  ::close(fds[0]);
  return !display_.empty();
}

bool HasInputFocus(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Connection x;
  if (!x.get()) return false;
  ::Window focus = None;
  int revert = 0;
  XGetInputFocus(x.get(), &focus, &revert);
  return focus == info.info.x11.window;
}

bool PressKey(const char* keysymName) {
  Connection x;
  if (!x.get()) return false;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(x.get(), &event, &error, &major, &minor)) return false;
  const KeySym sym = XStringToKeysym(keysymName);
  const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(x.get(), sym);
  if (!code) return false;
  XTestFakeKeyEvent(x.get(), code, True, CurrentTime);
  XTestFakeKeyEvent(x.get(), code, False, CurrentTime);
  XSync(x.get(), False);
  return true;
}

}  // namespace velmi_x_testing
