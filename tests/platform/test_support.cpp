#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/file_io.h"

namespace fs = std::filesystem;

TempDir::TempDir() : folder_("platform") { path_ = folder_.Str(); }

TempDir::~TempDir() = default;

std::string ToWin(const std::string& linuxPath) {
  std::string s = linuxPath;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string TempDir::win(const std::string& rel) const { return ToWin(path_) + (rel.empty() ? "" : "\\" + rel); }

void TempDir::file(const std::string& rel, const std::string& content) const {
  EXPECT_TRUE(vtest::WriteText((fs::path(path_) / rel).string(), content)) << rel;
}

void TempDir::dir(const std::string& rel) const { fs::create_directories(fs::path(path_) / rel); }

std::string TempDir::read(const std::string& rel) const { return vtest::ReadText((fs::path(path_) / rel).string()); }

bool TempDir::exists(const std::string& rel) const { return fs::exists(fs::path(path_) / rel); }
