// The test-support channel: the game's mode and phase of each frame and the
// pictures that failed to load, kept as a log and written to a report file.
#include "device_internal.h"

#include <fstream>

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

void VelmiDeviceSetReportFile(const char* path) {
  std::lock_guard<std::recursive_mutex> g(S().lock);
  R().file = path ? path : "";
}
