// Seen lists, read flags and the system.dat image.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "player/scenario/system_image.h"
#include "formats/le_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Lists {
  std::unique_ptr<SeenReadBlock> block{new SeenReadBlock()};
  SystemDataState state{block.get(), {0, 0}, {0, 0}, 0, 0, 0};
  CSeenReadLists lists{&state};
  std::vector<int16_t> vars = std::vector<int16_t>(kPersistentVariableCount, 0);

  std::vector<std::string> Names(int list) const {
    std::vector<std::string> out;
    for (const SeenNameNode* n = lists.FirstSeen(list); n; n = lists.NextSeen(n)) out.push_back(n->name);
    return out;
  }
  std::vector<std::string> Records() const {
    std::vector<std::string> out;
    for (const ReadFlagRecord* r = lists.FirstRead(); r; r = lists.NextRead(r))
      out.push_back(std::string(r->scriptName) + ":" +
                    std::string(reinterpret_cast<const char*>(r->bits), sizeof r->bits));
    return out;
  }
};

TEST(SeenLists, AddKeepsOneEntryPerListInOrder) {
  Lists l;
  EXPECT_EQ(l.lists.AddSeenName(0, "bg01"), 1);
  EXPECT_EQ(l.lists.AddSeenName(0, "BG01"), 0);  // ASCII letters fold
  EXPECT_EQ(l.lists.AddSeenName(0, "bg02"), 1);
  EXPECT_EQ(l.lists.AddSeenName(1, "bg01"), 1);  // the other list
  EXPECT_EQ(l.lists.AddSeenName(0, "\x82\x61"), 1);
  EXPECT_EQ(l.lists.AddSeenName(0, "\x82\x41"), 1);  // trail bytes never fold
  EXPECT_EQ(l.lists.AddSeenName(2, "x"), 0);
  EXPECT_EQ(l.lists.AddSeenName(-1, "x"), 0);
  EXPECT_EQ(l.Names(0), (std::vector<std::string>{"bg01", "bg02", "\x82\x61", "\x82\x41"}));
  EXPECT_EQ(l.Names(1), (std::vector<std::string>{"bg01"}));
  EXPECT_EQ(l.block->nodeCount, 5u);
  EXPECT_TRUE(l.lists.HasSeenName(1, "BG01"));
  EXPECT_FALSE(l.lists.HasSeenName(1, "bg02"));

  // A name longer than 63 bytes is cut at a whole character, and the cut
  // name is what further additions are compared with.
  std::string longName(62, 'n');
  longName += "\x88\xa2tail";
  EXPECT_EQ(l.lists.AddSeenName(1, longName.c_str()), 1);
  EXPECT_EQ(l.Names(1).back(), std::string(62, 'n'));
  EXPECT_EQ(l.lists.AddSeenName(1, (std::string(62, 'n') + "\x88\xa2other").c_str()), 0);
}

TEST(SeenLists, FullPoolsRefuseFurtherEntries) {
  Lists l;
  for (int i = 0; i < kSeenNodes; ++i) ASSERT_EQ(l.lists.AddSeenName(i & 1, std::to_string(i).c_str()), 1);
  EXPECT_EQ(l.lists.AddSeenName(0, "one more"), 0);
  EXPECT_EQ(l.Names(0).size() + l.Names(1).size(), size_t(kSeenNodes));
  for (int i = 0; i < kReadFlagRecords; ++i)
    ASSERT_NE(l.lists.SetReadFlag(("s" + std::to_string(i)).c_str(), i % 512), nullptr);
  EXPECT_EQ(l.lists.SetReadFlag("new", 0), nullptr);
  EXPECT_EQ(l.lists.TestReadFlag("new", 0), 0);
  EXPECT_NE(l.lists.SetReadFlag("s5", 6), nullptr);  // an existing record still takes bits
  EXPECT_NE(l.lists.TestReadFlag("S5", 6), 0);
}

TEST(ReadFlags, BlocksZeroTo511AreRemembered) {
  Lists l;
  EXPECT_EQ(l.lists.TestReadFlag("s", 0), 0);  // empty list
  for (int b : {0, 7, 8, 255, 511}) {
    ReadFlagRecord* r = l.lists.SetReadFlag("s", b);
    ASSERT_NE(r, nullptr) << b;
    EXPECT_NE(r->bits[b >> 3] & (1 << (b & 7)), 0) << b;
  }
  EXPECT_EQ(l.lists.SetReadFlag("s", 512), nullptr);
  EXPECT_EQ(l.lists.SetReadFlag("t", -1), nullptr);
  EXPECT_EQ(l.block->recordCount, 1u);
  for (int b = -1; b <= 513; ++b) {
    bool set = b == 0 || b == 7 || b == 8 || b == 255 || b == 511;
    EXPECT_EQ(l.lists.TestReadFlag("s", b) != 0, set) << b;
  }
  EXPECT_EQ(l.lists.TestReadFlag("other", 0), 0);
}

// system.dat with a few of everything, placed by hand.
Bytes GoldenSystem() {
  Bytes g(105476, 0);
  std::memcpy(g.data(), "YMS0", 4);
  g[4] = 1;          // variable 12,800
  g[105474] = 0xFE;  // variable 65,535 = -2
  g[105475] = 0xFF;
  auto u32 = [&](uint32_t v) { AppendLe32(g, v); };
  auto str = [&](const char* s) { g.insert(g.end(), s, s + std::strlen(s) + 1); };
  u32(2);
  u32(10);
  str("bg01");
  str("BG02");
  u32(1);
  u32(6);
  str("s0101");
  u32(2);
  u32(6 + 64 + 4 + 64);
  str("s0101");
  Bytes bits(64, 0);
  bits[0] = 0x01;
  bits[63] = 0x80;
  g.insert(g.end(), bits.begin(), bits.end());
  str("s02");
  bits.assign(64, 0);
  bits[1] = 0x04;
  g.insert(g.end(), bits.begin(), bits.end());
  return g;
}

TEST(SystemData, GoldenImageReadsAndWritesByteForByte) {
  Bytes golden = GoldenSystem();
  ASSERT_EQ(golden.size(), 105654u);
  Lists l;
  l.lists.AddSeenName(0, "stale");
  l.lists.SetReadFlag("stale", 3);
  ASSERT_EQ(ParseSystemImage(golden.data(), golden.size(), l.vars.data(), &l.lists), SystemCheck::kOk);
  EXPECT_EQ(l.vars[0], 1);
  EXPECT_EQ(l.vars[kPersistentVariableCount - 1], -2);
  EXPECT_EQ(l.Names(0), (std::vector<std::string>{"bg01", "BG02"}));
  EXPECT_EQ(l.Names(1), (std::vector<std::string>{"s0101"}));
  EXPECT_NE(l.lists.TestReadFlag("s0101", 0), 0);
  EXPECT_NE(l.lists.TestReadFlag("s0101", 511), 0);
  EXPECT_EQ(l.lists.TestReadFlag("s0101", 10), 0);
  EXPECT_NE(l.lists.TestReadFlag("s02", 10), 0);
  EXPECT_EQ(l.lists.TestReadFlag("s02", 0), 0);  // the stored bytes replace the creating bit
  EXPECT_EQ(l.lists.TestReadFlag("stale", 3), 0);
  EXPECT_EQ(BuildSystemImage(l.vars.data(), l.lists), golden);
}

TEST(SystemData, EmptyListsGiveThreeZeroCountPairs) {
  Lists l;
  Bytes image = BuildSystemImage(l.vars.data(), l.lists);
  ASSERT_EQ(image.size(), 105476u + 24);
  EXPECT_EQ(std::memcmp(image.data(), "YMS0", 4), 0);
  for (size_t i = 4; i < image.size(); ++i) ASSERT_EQ(image[i], 0) << i;
}

TEST(SystemData, FullPoolsRoundTrip) {
  Lists l;
  for (int i = 0; i < kPersistentVariableCount; ++i) l.vars[i] = int16_t(i * 7);
  // Names of 63 bytes fill every node and record: the image is far larger
  // than the 327,680 bytes a fixed image would hold.
  auto name = [](char tag, int i) {
    std::string s = tag + std::to_string(i);
    return s + std::string(63 - s.size(), '_');
  };
  for (int i = 0; i < kSeenNodes; ++i) ASSERT_EQ(l.lists.AddSeenName(i % 3 == 0, name('n', i).c_str()), 1);
  for (int i = 0; i < kReadFlagRecords; ++i)
    ASSERT_NE(l.lists.SetReadFlag(name('r', i).c_str(), (i * 13) % 512), nullptr);
  Bytes image = BuildSystemImage(l.vars.data(), l.lists);
  EXPECT_GT(image.size(), 327680u);

  Lists back;
  ASSERT_EQ(ParseSystemImage(image.data(), image.size(), back.vars.data(), &back.lists), SystemCheck::kOk);
  EXPECT_EQ(back.vars, l.vars);
  EXPECT_EQ(back.Names(0), l.Names(0));
  EXPECT_EQ(back.Names(1), l.Names(1));
  EXPECT_EQ(back.Records(), l.Records());
  EXPECT_EQ(BuildSystemImage(back.vars.data(), back.lists), image);
}

TEST(SystemData, DamagedImagesAreReadUpToTheDamage) {
  const Bytes golden = GoldenSystem();
  const size_t aCount = 105476, aLength = 105480, bCount = 105494, rCount = 105508, rLength = 105512;
  struct Case {
    const char* what;
    size_t cutAt;                                    // 0: keep the length
    std::vector<std::pair<size_t, uint32_t>> words;  // u32 values put at offsets
    SystemCheck expect;
    size_t namesA, namesB, records;
    bool varsTaken;
  };
  const Case cases[] = {
      {"no lists", aCount, {}, SystemCheck::kDamaged, 0, 0, 0, true},
      {"variables cut", 1000, {}, SystemCheck::kShort, 0, 0, 0, false},
      {"nothing", 0 + 1, {}, SystemCheck::kShort, 0, 0, 0, false},
      {"huge A length", 0, {{aLength, 0xFFFFFFF0u}}, SystemCheck::kDamaged, 2, 0, 0, true},
      {"huge A count", 0, {{aCount, 0xFFFFFFFFu}}, SystemCheck::kDamaged, 2, 0, 0, true},
      {"A count below its names", 0, {{aCount, 1}}, SystemCheck::kDamaged, 1, 0, 0, true},
      {"huge B count", 0, {{bCount, 1000000}}, SystemCheck::kDamaged, 2, 1, 0, true},
      {"last record cut", golden.size() - 1, {}, SystemCheck::kDamaged, 2, 1, 1, true},
      {"record length past the end", 0, {{rLength, 139}}, SystemCheck::kDamaged, 2, 1, 2, true},
      {"record count 1 of 2", 0, {{rCount, 1}}, SystemCheck::kDamaged, 2, 1, 1, true},
      {"record count 3", 0, {{rCount, 3}}, SystemCheck::kDamaged, 2, 1, 2, true},
      {"record section missing", rCount + 4, {}, SystemCheck::kDamaged, 2, 1, 0, true},
  };
  for (const Case& c : cases) {
    Bytes image = golden;
    if (c.cutAt) image.resize(c.cutAt);
    for (auto [at, v] : c.words) PutLe32(&image[at], v);
    Lists l;
    l.vars[0] = 55;
    EXPECT_EQ(ParseSystemImage(image.data(), image.size(), l.vars.data(), &l.lists), c.expect) << c.what;
    EXPECT_EQ(l.Names(0).size(), c.namesA) << c.what;
    EXPECT_EQ(l.Names(1).size(), c.namesB) << c.what;
    EXPECT_EQ(l.Records().size(), c.records) << c.what;
    EXPECT_EQ(l.vars[0], c.varsTaken ? 1 : 55) << c.what;
  }
  Lists l;
  EXPECT_EQ(ParseSystemImage(nullptr, 0, l.vars.data(), &l.lists), SystemCheck::kShort);
}

TEST(SystemData, RecordsBeyondThePoolAreSkipped) {
  Lists full;
  for (int i = 0; i < kReadFlagRecords; ++i) full.lists.SetReadFlag(("r" + std::to_string(i)).c_str(), 1);
  Bytes image = BuildSystemImage(full.vars.data(), full.lists);
  // Append one more record to the last section and fix its words.
  const char extra[] = "extra";
  size_t sectionAt = image.size() - (size_t(kReadFlagRecords) * 64);
  for (int i = 0; i < kReadFlagRecords; ++i) sectionAt -= ("r" + std::to_string(i)).size() + 1;
  sectionAt -= 8;
  image.insert(image.end(), extra, extra + sizeof extra);
  image.insert(image.end(), 64, 0xFF);
  auto put = [&](size_t at, uint32_t v) { PutLe32(&image[at], v); };
  uint32_t length = uint32_t(image.size() - sectionAt - 8);
  put(sectionAt, kReadFlagRecords + 1);
  put(sectionAt + 4, length);
  Lists back;
  EXPECT_EQ(ParseSystemImage(image.data(), image.size(), back.vars.data(), &back.lists), SystemCheck::kOk);
  EXPECT_EQ(back.Records(), full.Records());
  EXPECT_EQ(back.lists.TestReadFlag("extra", 0), 0);
}

}  // namespace
