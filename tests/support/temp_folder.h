// Scratch folders of the tests and benchmarks, below the build tree.
#pragma once

#include <filesystem>
#include <string>

namespace vtest {

// A fresh empty folder "test-tmp/<area>/<process>/<name>" below the build
// tree, removed with the object (read-only marks included) unless Keep() was
// called.  Without a name each folder of the process gets its own number.
class TempFolder {
 public:
  explicit TempFolder(const std::string& area = "tests", const std::string& name = "");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string Str() const { return path_.string(); }
  // Path of an entry inside the folder.
  std::string File(const std::string& relative) const { return (path_ / relative).string(); }
  void Keep() { keep_ = true; }

 private:
  std::filesystem::path path_;
  bool keep_ = false;
};

// A fresh empty folder for the rest of the process: "<name>" below the
// process's root of the area, which goes when the process ends unless
// KeepScratchFolders() was called (to inspect a failure).
std::string ScratchFolder(const std::string& area, const std::string& name);
void KeepScratchFolders();

// Removes a file or a folder tree, read-only marks included; true when
// nothing is left.
bool RemoveTree(const std::filesystem::path& path);

}  // namespace vtest
