// Status calls of the handheld (battery, memory, store) from Linux: the
// power-supply class of sysfs, sysinfo and statvfs.  Tests pin all of them,
// and the local time, to fixed values.
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include "platform/device/device_internal.h"
#include <velmi_platform.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <string>

namespace {

struct StatusState {
  std::mutex lock;
  bool pinned = false;
  VelmiDeviceStatus values;
  std::string storeFolder;
  std::string powerRoot = "/sys/class/power_supply";
};

StatusState& St() {
  static StatusState s;
  return s;
}

DWORD Clamp32(unsigned long long v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : DWORD(v); }

// First line of a small sysfs file, without the line end; empty when absent.
std::string ReadLine(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return {};
  char buf[128] = {};
  const bool ok = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!ok) return {};
  std::string s(buf);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

struct Power {
  int percent = -1;  // -1: no battery
  int onLine = -1;   // -1: no mains supply listed
  bool charging = false;
};

Power ReadPower(const std::string& root) {
  Power p;
  DIR* dir = opendir(root.c_str());
  if (!dir) return p;
  long sum = 0;
  int batteries = 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string base = root + "/" + e->d_name + "/";
    const std::string type = ReadLine(base + "type");
    if (type == "Battery") {
      const std::string cap = ReadLine(base + "capacity");
      char* end = nullptr;
      const long v = cap.empty() ? -1 : std::strtol(cap.c_str(), &end, 10);
      if (v >= 0 && end && *end == 0) {
        sum += std::min(v, 100L);
        ++batteries;
      }
      if (ReadLine(base + "status") == "Charging") p.charging = true;
    } else if (type == "Mains") {
      const std::string online = ReadLine(base + "online");
      if (!online.empty()) p.onLine = std::max(p.onLine, online == "1" ? 1 : 0);
    }
  }
  closedir(dir);
  if (batteries) p.percent = int(sum / batteries);
  return p;
}

std::string ProgramFolder() {
  const std::string s = velmi_device::ExecutablePath();
  if (s.empty()) return ".";
  const size_t slash = s.rfind('/');
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash ? slash : 1);
}

bool Pinned(VelmiDeviceStatus* out) {
  StatusState& st = St();
  std::lock_guard<std::mutex> g(st.lock);
  if (st.pinned) *out = st.values;
  return st.pinned;
}

}  // namespace

// "YYYY-MM-DD hh:mm battery availMB load storeFreeMB"
void velmi_device::PinStatusFromEnvironment() {
  const char* text = std::getenv("VELMI_DEVICE_STATUS");
  if (!text) return;
  int y, mo, d, h, mi, battery, availMb, load, storeMb;
  if (std::sscanf(text, "%d-%d-%d %d:%d %d %d %d %d", &y, &mo, &d, &h, &mi, &battery, &availMb, &load, &storeMb) != 9)
    return;
  VelmiDeviceStatus s;
  s.time.wYear = WORD(y);
  s.time.wMonth = WORD(mo);
  s.time.wDay = WORD(d);
  s.time.wHour = WORD(h);
  s.time.wMinute = WORD(mi);
  s.batteryPercent = BYTE(std::clamp(battery, 0, 255));
  s.availPhys = Clamp32((unsigned long long)std::max(availMb, 0) << 20);
  s.totalPhys = Clamp32((unsigned long long)std::max(availMb, 0) << 21);
  s.memoryLoad = DWORD(std::clamp(load, 0, 100));
  s.storeFree = Clamp32((unsigned long long)std::max(storeMb, 0) << 20);
  s.storeSize = Clamp32((unsigned long long)std::max(storeMb, 0) << 21);
  VelmiDevicePinStatus(s);
}

void VelmiDevicePinStatus(const VelmiDeviceStatus& status) {
  {
    StatusState& st = St();
    std::lock_guard<std::mutex> g(st.lock);
    st.pinned = true;
    st.values = status;
  }
  VelmiClockPinLocalTime(&status.time);
}

void VelmiDeviceUnpinStatus() {
  {
    StatusState& st = St();
    std::lock_guard<std::mutex> g(st.lock);
    st.pinned = false;
  }
  VelmiClockPinLocalTime(nullptr);
}

void VelmiDeviceSetStoreFolder(const char* path) {
  StatusState& st = St();
  std::lock_guard<std::mutex> g(st.lock);
  st.storeFolder = path ? path : "";
}

void VelmiDeviceSetPowerSupplyRoot(const char* path) {
  StatusState& st = St();
  std::lock_guard<std::mutex> g(st.lock);
  st.powerRoot = path ? path : "/sys/class/power_supply";
}

DWORD GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD length, BOOL) {
  if (!status) return 0;
  SYSTEM_POWER_STATUS_EX2 s;
  std::memset(&s, 0, sizeof s);
  s.BatteryLifeTime = s.BatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
  s.BackupBatteryLifeTime = s.BackupBatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
  s.BackupBatteryFlag = 128;
  s.BackupBatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
  VelmiDeviceStatus pinned;
  if (Pinned(&pinned)) {
    s.BatteryLifePercent = pinned.batteryPercent;
    s.ACLineStatus = 1;
    s.BatteryFlag = pinned.batteryPercent == BATTERY_PERCENTAGE_UNKNOWN ? 255 : 1;
  } else {
    std::string root;
    {
      std::lock_guard<std::mutex> g(St().lock);
      root = St().powerRoot;
    }
    const Power p = ReadPower(root);
    s.ACLineStatus = p.onLine < 0 ? 255 : BYTE(p.onLine);
    if (p.percent < 0) {
      s.BatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
      s.BatteryFlag = 255;
    } else {
      s.BatteryLifePercent = BYTE(p.percent);
      s.BatteryFlag = BYTE((p.percent > 66 ? 1 : p.percent > 33 ? 0 : p.percent > 5 ? 2 : 4) | (p.charging ? 8 : 0));
    }
  }
  const DWORD n = std::min<DWORD>(length, DWORD(sizeof s));
  std::memcpy(status, &s, n);
  return n;
}

void GlobalMemoryStatus(LPMEMORYSTATUS status) {
  if (!status) return;
  std::memset(status, 0, sizeof *status);
  status->dwLength = sizeof *status;
  VelmiDeviceStatus pinned;
  if (Pinned(&pinned)) {
    status->dwMemoryLoad = pinned.memoryLoad;
    status->dwTotalPhys = pinned.totalPhys;
    status->dwAvailPhys = pinned.availPhys;
  } else {
    struct sysinfo info;
    if (sysinfo(&info) != 0) return;
    const unsigned long long unit = info.mem_unit ? info.mem_unit : 1;
    const unsigned long long total = (unsigned long long)info.totalram * unit;
    // Free memory the kernel can hand out at once: free plus buffers.
    const unsigned long long avail = ((unsigned long long)info.freeram + info.bufferram) * unit;
    status->dwTotalPhys = Clamp32(total);
    status->dwAvailPhys = Clamp32(std::min(avail, total));
    status->dwMemoryLoad = total ? DWORD(100 - std::min(avail, total) * 100 / total) : 0;
    status->dwTotalVirtual = status->dwTotalPhys;
    status->dwAvailVirtual = status->dwAvailPhys;
  }
}

BOOL GetStoreInformation(LPSTORE_INFORMATION info) {
  if (!info) return FALSE;
  info->dwStoreSize = info->dwFreeSize = 0;
  VelmiDeviceStatus pinned;
  if (Pinned(&pinned)) {
    info->dwStoreSize = pinned.storeSize;
    info->dwFreeSize = pinned.storeFree;
    return TRUE;
  }
  std::string folder;
  {
    std::lock_guard<std::mutex> g(St().lock);
    folder = St().storeFolder;
  }
  if (folder.empty()) folder = ProgramFolder();
  struct statvfs fs;
  if (statvfs(folder.c_str(), &fs) != 0) return FALSE;
  const unsigned long long unit = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
  info->dwStoreSize = Clamp32((unsigned long long)fs.f_blocks * unit);
  info->dwFreeSize = Clamp32((unsigned long long)fs.f_bavail * unit);
  return TRUE;
}
