// The device's start-up code: what the handheld's loader does before a
// program's WinMain runs.
#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstring>
#include <string>

namespace {
// Resource "HI_RES_AWARE" of type "CEUX": the program draws for the
// high-resolution screen itself.
const unsigned char kHiResAware[4] = {1, 0, 0, 0};
}  // namespace

int VelmiDeviceRunProgram(const char* generation, int argc, char** argv) {
  VelmiDeviceSetConfiguration(generation);
  if (std::strcmp(generation, "ce30") == 0) {
    VelmiDeviceSetGeometry(240, 320);
  } else {
    VelmiDeviceSetGeometry(480, 640);
    VelmiRegisterResource("CEUX", "HI_RES_AWARE", kHiResAware, sizeof kHiResAware);
  }
  VelmiDeviceConfigureFromEnvironment();
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  static int instanceTag;
  return WinMain(reinterpret_cast<HINSTANCE>(&instanceTag), nullptr, commandLine.data(), SW_SHOW);
}
