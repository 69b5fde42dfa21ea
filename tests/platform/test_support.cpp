#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "velmi-platform-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  EXPECT_NE(made, nullptr);
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Undo read-only marks so that everything can go.
  for (auto& e : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string ToWin(const std::string& linuxPath) {
  std::string s = linuxPath;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string TempDir::win(const std::string& rel) const { return ToWin(path_) + (rel.empty() ? "" : "\\" + rel); }

void TempDir::file(const std::string& rel, const std::string& content) const {
  fs::path p = fs::path(path_) / rel;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

void TempDir::dir(const std::string& rel) const { fs::create_directories(fs::path(path_) / rel); }

std::string TempDir::read(const std::string& rel) const {
  std::ifstream in(fs::path(path_) / rel, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool TempDir::exists(const std::string& rel) const { return fs::exists(fs::path(path_) / rel); }
