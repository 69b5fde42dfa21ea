// A sandbox for one run of the converter's dialog: a generated desktop game,
// a registry store naming it, an empty Wine prefix and an output folder that
// is the current directory.
#pragma once

#include <string>

#include "tests/support/temp_folder.h"

namespace dtest {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& Root() const { return m_root; }  // Linux path
  std::string GameFolder() const { return m_root + "/game"; }
  std::string OutputFolder() const { return m_root + "/out"; }

  // Writes the sample game (small, or the full one) into the game folder.
  void WriteGame(bool full = false);
  // Registry store with "DataDir" (code page 932 bytes) under the game key;
  // an empty value writes a store without the key.
  void SetDataDir(const std::string& value);
  // Lets the dialog find gogo.dll (or not).
  static void SetMp3Module(bool present);

 private:
  vtest::TempFolder m_folder;
  std::string m_root;
  std::string m_oldCwd;
};

// A path of our layer ('\' separators) for a Linux path.
std::string LayerPath(const std::string& linuxPath);

}  // namespace dtest
