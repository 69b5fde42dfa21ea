#include "tests/dialog/dialog_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tools/sample_game.h"

namespace dtest {

namespace fs = std::filesystem;

std::string LayerPath(const std::string& linuxPath) {
  std::string p = linuxPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

Sandbox::Sandbox() : m_folder("dialog"), m_root(m_folder.Str()) {
  fs::create_directories(GameFolder());
  fs::create_directories(OutputFolder());
  fs::create_directories(m_root + "/wine-empty");
  setenv("WINEPREFIX", (m_root + "/wine-empty").c_str(), 1);
  SetDataDir("");
  SetMp3Module(true);
  m_oldCwd = fs::current_path().string();
  fs::current_path(OutputFolder());
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::current_path(m_oldCwd, ec);  // the folder goes after this
  unsetenv("VELMI_REGISTRY");
}

void Sandbox::WriteGame(bool full) {
  std::string error;
  if (!vtools::WriteSampleGame(
          GameFolder(), vtools::SampleGameTable(full ? vtools::SampleSize::Full : vtools::SampleSize::Small), &error))
    throw std::runtime_error(error);
}

void Sandbox::SetDataDir(const std::string& value) {
  const std::string store = m_root + "/registry.txt";
  std::ofstream out(store, std::ios::binary);
  if (!value.empty()) out << "[HKEY_CURRENT_USER\\Software\\TORVAL\\QR2]\nDataDir=sz:" << value << "\n";
  setenv("VELMI_REGISTRY", store.c_str(), 1);
}

void Sandbox::SetMp3Module(bool present) {
  if (present)
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  else
    unsetenv("VELMI_MODULE_PATH");
}

}  // namespace dtest
