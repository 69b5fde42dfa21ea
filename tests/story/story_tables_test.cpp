// The story data tables keep the counts, ranges and tab boundaries that the
// gallery, the scene replay, the save label and the interpreter rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/sjis.h"
#include "player/scenario/script_file.h"
#include "player/scenario/story_tables.h"
#include "tools/sample_game.h"

namespace {

bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "iv_" + three-letter code + two digits + a letter.
bool IsEventPictureName(const std::string& n) {
  return n.size() == 9 && n.compare(0, 3, "iv_") == 0 && IsAsciiLower(n[3]) && IsAsciiLower(n[4]) &&
         IsAsciiLower(n[5]) && IsDigit(n[6]) && IsDigit(n[7]) && IsAsciiLower(n[8]);
}

// Characters of a Shift-JIS string.
size_t SjisChars(const char* s) {
  size_t n = 0;
  for (size_t i = 0; s[i]; ++n) i += (IsSjisLeadByte(static_cast<unsigned char>(s[i])) && s[i + 1]) ? 2 : 1;
  return n;
}

TEST(StoryTables, SceneTable) {
  std::set<std::string> scripts;
  for (int i = 0; i < kSceneRecordCount; ++i) {
    const SceneRecord& r = g_SceneTable[i];
    EXPECT_GE(r.month, 0) << i;
    EXPECT_LE(r.month, 12) << i;
    if (r.month > 0) {
      EXPECT_GE(r.day, 1) << i;
      EXPECT_LE(r.day, 31) << i;
    }
    EXPECT_GT(std::strlen(r.scriptName), 0u) << i;
    EXPECT_LE(SjisChars(r.scriptName), 18u) << i;
    EXPECT_LE(SjisChars(r.title), 20u) << i;
    EXPECT_LT(std::strlen(r.title), sizeof r.title) << i;
    EXPECT_TRUE(scripts.insert(r.scriptName).second) << "script " << r.scriptName << " twice";
  }
  EXPECT_EQ(g_SceneTable[kSceneRecordCount].month, -1);
  EXPECT_EQ(g_SceneTable[kSceneRecordCount].day, -1);
  EXPECT_EQ(sizeof(SceneRecord), 68u);
  // The tabs of the scene replay: first record, pages of 8, entries on the last page.
  struct Tab {
    int first, pages, last;
  } tabs[] = {{0, 12, 3},   {91, 11, 6},  {177, 9, 2},  {243, 11, 2},
              {325, 11, 8}, {413, 12, 5}, {506, 29, 2}, {732, 4, 2}};
  for (size_t t = 0; t + 1 < std::size(tabs); ++t)
    EXPECT_EQ(tabs[t].first + 8 * (tabs[t].pages - 1) + tabs[t].last, tabs[t + 1].first) << "tab " << t;
  EXPECT_LE(732 + 8 * 3 + 2, kSceneRecordCount);
  // The date-less rows exist, so the "?" label is reachable.
  int undated = 0;
  for (int i = 0; i < kSceneRecordCount; ++i) undated += g_SceneTable[i].month == 0;
  EXPECT_GT(undated, 0);
}

TEST(StoryTables, GalleryTable) {
  const uint32_t tabFirst[] = {0, 17, 35, 50, 66, 81, 96, 101, 106};
  std::set<std::string> names;
  uint32_t group = 0;
  int inGroup = 0, largest = 0, smallest = 100;
  for (int i = 0; i < kCgEntryCount; ++i) {
    const CgEntry& e = g_CgTable[i];
    ASSERT_LT(e.group, kCgGroupCount) << i;
    ASSERT_LE(e.tab, 7u) << i;
    EXPECT_GE(e.group, tabFirst[e.tab]) << i;
    EXPECT_LT(e.group, tabFirst[e.tab + 1]) << i;
    EXPECT_TRUE(IsEventPictureName(e.name)) << e.name;
    EXPECT_TRUE(names.insert(e.name).second) << e.name << " twice";
    if (i == 0) {
      EXPECT_EQ(e.group, 0u);
    } else if (e.group != group) {
      EXPECT_EQ(e.group, group + 1) << "groups follow one another, none missing: " << i;
      largest = std::max(largest, inGroup);
      smallest = std::min(smallest, inGroup);
      inGroup = 0;
    }
    group = e.group;
    ++inGroup;
  }
  largest = std::max(largest, inGroup);
  smallest = std::min(smallest, inGroup);
  EXPECT_EQ(group, kCgGroupCount - 1);
  EXPECT_EQ(largest, 29);
  EXPECT_EQ(smallest, 1);
  EXPECT_EQ(g_CgTable[kCgEntryCount].group, 0xFFFFFFFFu);
  EXPECT_EQ(g_CgTable[kCgEntryCount].tab, 0xFFFFFFFFu);
  EXPECT_STREQ(g_CgTable[kCgEntryCount].name, "");
}

TEST(StoryTables, EventPictureList) {
  std::set<std::string> gallery;
  for (int i = 0; i < kCgEntryCount; ++i) gallery.insert(g_CgTable[i].name);
  std::set<std::string> seen;
  for (int i = 0; i < kEventPictureCount; ++i) {
    const std::string n = g_EventPictureNames[i];
    ASSERT_EQ(n.compare(0, 3, "bg\\"), 0) << n;
    EXPECT_TRUE(IsEventPictureName(n.substr(3))) << n;
    EXPECT_TRUE(seen.insert(n).second) << n;
    EXPECT_TRUE(gallery.count(n.substr(3))) << n << " is a gallery picture";
  }
  EXPECT_STREQ(g_EventPictureNames[kEventPictureCount], "");
}

TEST(StoryTables, ReplacementPairsNameSceneScriptsAndChain) {
  std::set<std::string> scripts;
  for (int i = 0; i < kSceneRecordCount; ++i) scripts.insert(g_SceneTable[i].scriptName);
  int chained = 0;
  for (int i = 0; i < kScriptReplacementCount; ++i) {
    const ScriptReplacement& p = g_ScriptReplacements[i];
    EXPECT_TRUE(scripts.count(p.from)) << p.from;
    EXPECT_TRUE(scripts.count(p.to)) << p.to;
    EXPECT_FALSE(SjisEqual(p.from, p.to));
    for (int k = i + 1; k < kScriptReplacementCount; ++k) chained += SjisEqual(p.to, g_ScriptReplacements[k].from);
  }
  EXPECT_GT(chained, 0) << "a pair further down applies to the result of one above it";
}

}  // namespace

namespace {

// The sample story's scripts assemble, and name scenes and event pictures of the tables.
TEST(StoryTables, SampleStoryUsesTheTables) {
  std::set<std::string> scenes, events, scripts;
  for (int i = 0; i < kSceneRecordCount; ++i) scenes.insert(g_SceneTable[i].scriptName);
  for (int i = 0; i < kEventPictureCount; ++i) events.insert(g_EventPictureNames[i]);
  const vtools::SampleTable table = vtools::SampleGameTable(vtools::SampleSize::Small);
  std::set<std::string> pictures;
  for (const vtools::SampleFile& row : table)
    if (row.path.rfind("AdvData\\GRP\\", 0) == 0) pictures.insert(row.path.substr(12));
  int checked = 0;
  for (const vtools::SampleFile& row : table) {
    const std::string prefix = "AdvData\\mes\\";
    if (row.path.rfind(prefix, 0) != 0) continue;
    const std::string name = row.path.substr(prefix.size(), row.path.size() - prefix.size() - 4);
    if (!scenes.count(name)) continue;  // the converter's own fixtures
    scripts.insert(name);
    const std::vector<uint8_t> bytes = row.make();
    BYTE* copy = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes.size() + 1));
    std::memcpy(copy, bytes.data(), bytes.size());
    CScriptFile f;
    ASSERT_EQ(f.Adopt(copy, DWORD(bytes.size())), 1) << name;
    ASSERT_GT(f.CodeSize(), 0u) << name;
    for (uint32_t pos = 0; pos < f.CodeSize(); pos = f.NextInstruction(pos)) {
      ASSERT_GT(f.InstructionLength(pos), 0u) << name << " at " << pos;
      const std::string s = f.StringAt(pos);
      if (f.Opcode(pos) == OP_BACKGROUND) {
        EXPECT_TRUE(events.count(s)) << s;
        EXPECT_TRUE(pictures.count(s + ".zev")) << s;
        ++checked;
      }
      if (f.Opcode(pos) == OP_JUMP_SCRIPT) {
        EXPECT_TRUE(scenes.count(s) || s == "title_main") << s;
        ++checked;
      }
    }
  }
  EXPECT_EQ(scripts.size(), 2u);
  EXPECT_GE(checked, 4);
}

}  // namespace
