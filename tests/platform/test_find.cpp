// Directory search: Windows wildcards, "." and "..", one defined order.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> List(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA(pattern.c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(d.cFileName);
  while (FindNextFileA(h, &d));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  return names;
}

using Names = std::vector<std::string>;

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"readme", "a.txt", "B.TXT", "b.zev", "startup.ZEV", "abc.de.f", "\xE3\x82\xBD.mes"})
      t.file(f, "x");
    t.dir("AdvData");
    t.dir(".git");
  }
  TempDir t;
};

TEST_F(FindTest, WildcardsAsOnWindows) {
  const std::string so = "\x83\x5C.mes";  // ソ.mes in 932
  // Expected lists are in the defined order: upper-cased names, byte by byte.
  const Names all = {".", "..", ".git", "a.txt", "abc.de.f", "AdvData", "B.TXT", "b.zev", "readme", "startup.ZEV", so};
  struct Case {
    const char* pattern;
    Names expected;
  } cases[] = {
      {"*.*", all},
      {"*", all},
      {"*.zev", {"b.zev", "startup.ZEV"}},
      {"?.txt", {"a.txt", "B.TXT"}},
      {"readme.*", {"readme"}},
      {"*.", {".", "..", "AdvData", "readme"}},
      {"abc.*", {"abc.de.f"}},
      {"*.de.?", {"abc.de.f"}},
      {"ADVDATA", {"AdvData"}},
      {"\x83\x5C.*", {so}},
      {"nothing*", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(List(t.win(c.pattern)), c.expected);
  }
  WIN32_FIND_DATAA d;
  EXPECT_EQ(FindFirstFileA(t.win("nothing*").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA(t.win("nodir\\*.*").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(FindTest, FindDataCarriesSizeAttributesAndWideNames) {
  t.file("AdvData/Music/000.PCM", std::string(3000, 'm'));
  WIN32_FIND_DATAW w;
  std::string p = t.win("advdata\\MUSIC\\000.pcm");
  HANDLE h = FindFirstFileW(std::u16string(p.begin(), p.end()).c_str(), &w);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(w.cFileName), u"000.PCM");
  EXPECT_EQ(w.nFileSizeLow, 3000u);
  EXPECT_EQ(w.nFileSizeHigh, 0u);
  EXPECT_EQ(w.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(FindNextFileW(h, &w));
  FindClose(h);
  WIN32_FIND_DATAA a;
  h = FindFirstFileA(t.win("advdata").c_str(), &a);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_NE(a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(CloseHandle(h));  // a search closes with FindClose only
  EXPECT_TRUE(FindClose(h));
}

// The converter's walk: depth first, dot folders skipped, "\\" accepted.
void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((root + "\\" + rel + "\\*.*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = d.cFileName;
    std::string path = rel.empty() ? name : rel + "\\" + name;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name[0] != '.') Walk(root, path, out);
    } else {
      out.push_back(path + ":" + std::to_string(d.nFileSizeLow));
    }
  } while (FindNextFileA(h, &d));
  FindClose(h);
}

TEST_F(FindTest, WalkIsReproducible) {
  t.file("AdvData/mes/b.mes", "bb");
  t.file("AdvData/mes/A.mes", "a");
  t.file("AdvData/Z.zev", "zzz");
  t.file(".git/config", "skip");
  std::vector<std::string> walk;
  Walk(t.win(), "", walk);
  EXPECT_EQ(walk, (std::vector<std::string>{"a.txt:1", "abc.de.f:1", "AdvData\\mes\\A.mes:1", "AdvData\\mes\\b.mes:2",
                                            "AdvData\\Z.zev:3", "B.TXT:1", "b.zev:1", "readme:1", "startup.ZEV:1",
                                            "\x83\x5C.mes:1"}));
}

}  // namespace
