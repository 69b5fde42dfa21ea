// Helpers shared by the platform tests.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/temp_folder.h"

// A fresh directory below the build tree, removed afterwards (read-only
// marks included).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& root() const { return path_; }
  // The directory in Windows form ("\tmp\x"), optionally with a relative
  // Windows path appended after one '\'.
  std::string win(const std::string& rel = "") const;
  // Creates a file (and its directories) with the given content; Linux path
  // relative to the directory, UTF-8.
  void file(const std::string& rel, const std::string& content = "") const;
  void dir(const std::string& rel) const;
  std::string read(const std::string& rel) const;
  bool exists(const std::string& rel) const;

 private:
  vtest::TempFolder folder_;
  std::string path_;
};

std::string ToWin(const std::string& linuxPath);
