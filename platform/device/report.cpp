// The test-support channel: the game's mode and phase of each frame and the
// pictures that failed to load, kept as a log and written to a report file;
// and the device's own lines on the error stream, each after the program's
// name.
#include "device_internal.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace velmi_device {

namespace {

constexpr size_t kKeptPictureNames = 4096;

struct Reports {
  std::vector<VelmiDeviceModeChange> modes;
  std::vector<std::string> pictures;
  std::string file;
};

Reports& R() {
  static Reports reports;
  return reports;
}

}  // namespace

void ReportLine(const std::string& line) {
  const std::string& file = R().file;
  if (file.empty()) return;
  std::ofstream out(file, std::ios::binary | std::ios::app);
  out << line << '\n';
}

std::string ExecutablePath() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, size_t(n)) : std::string();
}

void ErrorLine(const char* format, ...) {
  std::string line = VelmiDeviceProgramName() + ": ";
  va_list args;
  va_start(args, format);
  char buffer[512];
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n >= int(sizeof buffer)) {
    std::string whole(size_t(n) + 1, '\0');
    std::vsnprintf(whole.data(), whole.size(), format, again);
    whole.resize(size_t(n));
    line += whole;
  } else if (n > 0) {
    line += buffer;
  }
  va_end(again);
  va_end(args);
  line += '\n';
  // One write, so that lines of other threads do not cut into it.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void ResetReports() {
  std::lock_guard<std::recursive_mutex> g(S().lock);
  R().modes.clear();
  R().pictures.clear();
}

}  // namespace velmi_device

using namespace velmi_device;

void VelmiDeviceReportMode(int mode, int phase) {
  State& st = S();
  unsigned frame;
  {
    std::lock_guard<std::recursive_mutex> g(st.lock);
    frame = st.frameCount;
    auto& log = R().modes;
    if (log.empty() || log.back().mode != mode || log.back().phase != phase) {
      log.push_back({frame, mode, phase});
      ReportLine(std::to_string(frame) + " mode " + std::to_string(mode) + " " + std::to_string(phase));
    }
  }
  ScriptModeReported(frame, mode, phase);
}

void VelmiDeviceReportPictureFailure(const char* name) {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  std::string n = name ? name : "";
  // The log keeps the first names only, so that long runs stay small.
  if (R().pictures.size() < kKeptPictureNames) R().pictures.push_back(n);
  ReportLine(std::to_string(st.frameCount) + " picture " + n);
}

std::vector<VelmiDeviceModeChange> VelmiDeviceModeLog() {
  std::lock_guard<std::recursive_mutex> g(S().lock);
  return R().modes;
}

std::vector<std::string> VelmiDeviceFailedPictures() {
  std::lock_guard<std::recursive_mutex> g(S().lock);
  return R().pictures;
}

std::string VelmiDeviceProgramName() {
  static const std::string name = [] {
    const std::string whole = velmi_device::ExecutablePath();
    return whole.empty() ? std::string("player") : whole.substr(whole.rfind('/') + 1);
  }();
  return name;
}

void VelmiDeviceSetReportFile(const char* path) {
  std::lock_guard<std::recursive_mutex> g(S().lock);
  R().file = path ? path : "";
}
