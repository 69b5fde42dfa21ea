#include "tests/support/temp_folder.h"

#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>

namespace vtest {

namespace fs = std::filesystem;

namespace {

fs::path ProcessRoot(const std::string& area) {
  return fs::path(VELMI_BINARY_DIR) / "test-tmp" / area / std::to_string(getpid());
}

// The process roots that ScratchFolder made, removed at exit.
struct ScratchRoots {
  std::mutex lock;
  std::map<std::string, fs::path> roots;
  bool keep = false;
  ~ScratchRoots() {
    if (keep) return;
    for (const auto& [area, root] : roots) RemoveTree(root);
  }
};

ScratchRoots& Roots() {
  static ScratchRoots roots;
  return roots;
}

fs::path MakeFresh(const fs::path& path) {
  RemoveTree(path);
  std::error_code ec;
  fs::create_directories(path, ec);
  return path;
}

}  // namespace

bool RemoveTree(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return true;
  // Undo read-only marks, which would keep entries of a folder in place.
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  if (fs::is_directory(fs::symlink_status(path, ec)))
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path, ec);
  return !fs::exists(fs::symlink_status(path, ec));
}

TempFolder::TempFolder(const std::string& area, const std::string& name) {
  static std::atomic<int> counter{0};
  const std::string leaf = name.empty() ? "t" + std::to_string(++counter) : name;
  path_ = MakeFresh(ProcessRoot(area) / leaf);
}

TempFolder::~TempFolder() {
  if (keep_) return;
  RemoveTree(path_);
  // The process's folder of the area goes with its last entry.
  std::error_code ec;
  fs::remove(path_.parent_path(), ec);
}

std::string ScratchFolder(const std::string& area, const std::string& name) {
  ScratchRoots& r = Roots();
  {
    std::lock_guard<std::mutex> hold(r.lock);
    r.roots.emplace(area, ProcessRoot(area));
  }
  return MakeFresh(ProcessRoot(area) / name).string();
}

void KeepScratchFolders() {
  ScratchRoots& r = Roots();
  std::lock_guard<std::mutex> hold(r.lock);
  r.keep = true;
}

}  // namespace vtest
