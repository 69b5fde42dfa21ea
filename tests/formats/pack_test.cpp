#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "converter/pack_writer.h"
#include "formats/le_bytes.h"
#include "formats/pack_format.h"
#include "player/core/pack_reader.h"
#include "test_data.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vtest::ReadBytes;
using vtest::TempFolder;
using vtest::WriteBytes;

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
  return v;
}

// Reads an entry through the player's reader; empty optional-like result.
struct Entry {
  bool found = false;
  Bytes bytes;
  DWORD size = 0;
};

Entry Read(PackReader& reader, const std::string& pack, const char* name) {
  Entry e;
  BYTE* data = ReadPackEntry(&reader, pack.c_str(), name, &e.size);
  if (data == nullptr) return e;
  e.found = true;
  e.bytes.assign(data, data + e.size);
  LocalFree(data);
  return e;
}

// A pack laid out by hand, for the reader's refusals.
struct RawEntry {
  std::string name;
  DWORD stored, unpacked, method, offset;
};
Bytes BuildPack(const char* magic, const std::vector<RawEntry>& entries, const Bytes& data, long countOverride = -1) {
  Bytes out(RlzDirectorySize(entries.size()), 0);
  std::memcpy(out.data(), magic, 4);
  PutLe32(out.data() + 4, countOverride >= 0 ? static_cast<DWORD>(countOverride) : static_cast<DWORD>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    BYTE* rec = out.data() + RlzDirectorySize(i);
    std::memcpy(rec, entries[i].name.data(), std::min<size_t>(entries[i].name.size(), 64));
    PutLe32(rec + 64, entries[i].stored);
    PutLe32(rec + 68, entries[i].unpacked);
    PutLe32(rec + 72, entries[i].method);
    PutLe32(rec + 76, entries[i].offset);
  }
  out.insert(out.end(), data.begin(), data.end());
  PutLe32(out.data() + 8, static_cast<DWORD>(out.size()));
  return out;
}

TEST(PackWriter, LayoutOfTwoStoredEntries) {
  TempFolder dir("formats");
  const std::string pack = dir.File("grpack.mlz");
  const Bytes a = Pattern(100, 1), b = Pattern(50, 2);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 2));
  EXPECT_FALSE(std::filesystem::exists(pack));  // nothing complete-looking until Finish
  ASSERT_TRUE(writer.AddEntry("a.rbp", a.data(), 100, FALSE));
  ASSERT_TRUE(writer.AddEntry("AdvData\\mes\\b.mes", b.data(), 50, FALSE));
  ASSERT_TRUE(writer.Finish());
  EXPECT_FALSE(std::filesystem::exists(pack + ".tmp"));

  const Bytes file = ReadBytes(pack);
  ASSERT_EQ(file.size(), 334u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'R', 'L', 'Z', '2'}));
  EXPECT_EQ(GetLe32(&file[4]), 2u);
  EXPECT_EQ(GetLe32(&file[8]), 334u);
  EXPECT_EQ(GetLe32(&file[12]), 0u);
  const struct {
    const char* name;
    DWORD offset, size;
  } expected[] = {{"a.rbp", 0, 100}, {"AdvData\\mes\\b.mes", 100, 50}};
  for (int i = 0; i < 2; ++i) {
    const BYTE* rec = &file[16 + 84 * i];
    EXPECT_STREQ(reinterpret_cast<const char*>(rec), expected[i].name);
    for (size_t k = std::strlen(expected[i].name); k < 64; ++k) EXPECT_EQ(rec[k], 0) << "name tail " << k;
    EXPECT_EQ(GetLe32(rec + 64), expected[i].size);
    EXPECT_EQ(GetLe32(rec + 68), expected[i].size);
    EXPECT_EQ(GetLe32(rec + 72), 0u);
    EXPECT_EQ(GetLe32(rec + 76), expected[i].offset);
    EXPECT_EQ(GetLe32(rec + 80), 0u);
  }
  EXPECT_EQ(Bytes(file.begin() + 184, file.begin() + 284), a);
  EXPECT_EQ(Bytes(file.begin() + 284, file.end()), b);
}

TEST(PackWriter, EmptyPackIsTheHeaderAlone) {
  TempFolder dir("formats");
  const std::string pack = dir.File("voice.mlz");
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 0));
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(ReadBytes(pack), (Bytes{'R', 'L', 'Z', '2', 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PackWriter, RefusalsKeepThePackConsistent) {
  TempFolder dir("formats");
  const std::string pack = dir.File("p.mlz");
  const std::string name63(63, 'n'), name64(64, 'n');
  const Bytes data = Pattern(10, 3);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 4));
  EXPECT_TRUE(writer.AddEntry("empty", nullptr, 0, TRUE));                // slot 0
  EXPECT_FALSE(writer.AddEntry(name64.c_str(), data.data(), 10, FALSE));  // slot 1: placeholder
  EXPECT_TRUE(writer.AddEntry(name63.c_str(), data.data(), 10, TRUE));    // slot 2
  // Slot 3 is never filled.
  ASSERT_TRUE(writer.Finish());

  const Bytes file = ReadBytes(pack);
  const DWORD dirEnd = 16 + 84 * 4;
  DWORD codedSize = GetLe32(&file[16 + 84 * 2 + 64]);
  ASSERT_EQ(file.size(), dirEnd + codedSize);
  EXPECT_EQ(GetLe32(&file[8]), file.size());
  const struct {
    const char* name;
    DWORD stored, unpacked, method, offset;
  } expected[] = {
      {"empty", 0, 0, 0, 0},
      {"", 0, 0, 0, 0},
      {name63.c_str(), codedSize, 10, 1, 0},
      {"", 0, 0, 0, codedSize},
  };
  for (int i = 0; i < 4; ++i) {
    const BYTE* rec = &file[16 + 84 * i];
    EXPECT_STREQ(reinterpret_cast<const char*>(rec), expected[i].name) << i;
    EXPECT_EQ(GetLe32(rec + 64), expected[i].stored) << i;
    EXPECT_EQ(GetLe32(rec + 68), expected[i].unpacked) << i;
    EXPECT_EQ(GetLe32(rec + 72), expected[i].method) << i;
    EXPECT_EQ(GetLe32(rec + 76), expected[i].offset) << i;
  }

  PackReader reader;
  // An entry without bytes is a read that returns nothing.
  EXPECT_FALSE(Read(reader, pack, "EMPTY").found);
  EXPECT_FALSE(Read(reader, pack, "").found);  // the placeholders
  EXPECT_EQ(Read(reader, pack, name63.c_str()).bytes, data);
}

TEST(PackWriter, MoreEntriesThanReservedAreRefused) {
  TempFolder dir("formats");
  const std::string pack = dir.File("p.mlz");
  const Bytes data = Pattern(5, 4);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 1));
  EXPECT_TRUE(writer.AddEntry("one", data.data(), 5, FALSE));
  EXPECT_FALSE(writer.AddEntry("two", data.data(), 5, FALSE));
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(ReadBytes(pack).size(), 16u + 84 + 5);
}

TEST(PackWriter, InterruptedOrFailedRunLeavesNoPack) {
  TempFolder dir("formats");
  const Bytes data = Pattern(64, 5);
  const std::string pack = dir.File("grpack_v.mlz");
  {
    CPackWriter writer;
    ASSERT_TRUE(writer.Begin(pack.c_str(), 3));
    ASSERT_TRUE(writer.AddEntry("x", data.data(), 64, TRUE));
  }  // dropped before Finish
  EXPECT_FALSE(std::filesystem::exists(pack));
  EXPECT_FALSE(std::filesystem::exists(pack + ".tmp"));

  // A pack that cannot be created, and one whose final rename fails.
  CPackWriter writer;
  EXPECT_FALSE(writer.Begin(dir.File("missing/folder/p.mlz").c_str(), 1));
  EXPECT_FALSE(writer.AddEntry("x", data.data(), 64, FALSE));
  EXPECT_FALSE(writer.Finish());
  const std::string blocked = dir.File("blocked.mlz");
  std::filesystem::create_directories(std::filesystem::path(blocked) / "inside");
  ASSERT_TRUE(writer.Begin(blocked.c_str(), 1));
  ASSERT_TRUE(writer.AddEntry("x", data.data(), 64, FALSE));
  EXPECT_FALSE(writer.Finish());
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(std::filesystem::exists(blocked + ".tmp"));

  // A finished pack replaces the older one in one step.
  const std::string older = dir.File("older.mlz");
  WriteBytes(older, Bytes{'o', 'l', 'd'});
  ASSERT_TRUE(writer.Begin(older.c_str(), 1));
  ASSERT_TRUE(writer.AddEntry("x", data.data(), 64, FALSE));
  ASSERT_TRUE(writer.Finish());
  PackReader reader;
  EXPECT_EQ(Read(reader, older, "x").bytes, data);
  EXPECT_FALSE(std::filesystem::exists(older + ".tmp"));
}

TEST(PackReader, FindsEntriesAsWritten) {
  TempFolder dir("formats");
  const std::string pack = dir.File("grpack.mlz");
  const Bytes script = formats_test::ScriptLikeText(5000);
  const Bytes noise = formats_test::RandomBytes(3000, 9);
  const Bytes first = Pattern(20, 6), second = Pattern(30, 7);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 6));
  ASSERT_TRUE(writer.AddEntry("AdvData\\mes\\Start.mes", script.data(), 5000, TRUE));
  ASSERT_TRUE(writer.AddEntry("bg\\noise.rbp", noise.data(), 3000, TRUE));  // codes larger than it is
  ASSERT_TRUE(writer.AddEntry("twice", first.data(), 20, FALSE));
  ASSERT_TRUE(writer.AddEntry("TWICE", second.data(), 30, FALSE));
  ASSERT_TRUE(writer.AddEntry("\x83\x5C.rbp", first.data(), 20, FALSE));   // ソ, trail byte '\'
  ASSERT_TRUE(writer.AddEntry("\x83\x61.rbp", second.data(), 30, FALSE));  // ャ, trail byte 'a'
  ASSERT_TRUE(writer.Finish());
  const Bytes file = ReadBytes(pack);
  EXPECT_GT(GetLe32(&file[16 + 84 + 64]), 3000u);  // stored size of the LZSS noise

  PackReader reader;
  struct Case {
    const char* name;
    bool found;
    Bytes bytes;
  };
  const Case cases[] = {
      {"ADVDATA\\MES\\start.MES", true, script},
      {"bg\\noise.rbp", true, noise},
      {"Twice", true, first},  // the first of two equal names
      {"\x83\x5C.RBP", true, first},
      {"\x83\x61.rbp", true, second},
      {"\x83\x41.rbp", false, {}},  // ア: trail bytes are never folded
      {"bg\\noise.rb", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    const Entry e = Read(reader, pack, c.name);
    EXPECT_EQ(e.found, c.found) << c.name;
    EXPECT_EQ(e.bytes, c.bytes) << c.name;
    EXPECT_EQ(e.size, c.bytes.size()) << c.name;
  }

  // A path that differs in case only uses the directory already held.
  const BYTE* held = reader.directory;
  std::string upper = pack;
  for (size_t i = upper.rfind('/') + 1; i < upper.size(); ++i) upper[i] = static_cast<char>(toupper(upper[i]));
  EXPECT_TRUE(Read(reader, upper, "twice").found);
  EXPECT_EQ(reader.directory, held);
}

TEST(PackReader, ReadsIntoTheCallersBufferWhenItFits) {
  TempFolder dir("formats");
  const std::string pack = dir.File("p.mlz");
  const Bytes a = Pattern(64, 8), text = formats_test::ScriptLikeText(64);
  CPackWriter writer;
  ASSERT_TRUE(writer.Begin(pack.c_str(), 2));
  ASSERT_TRUE(writer.AddEntry("stored", a.data(), 64, FALSE));
  ASSERT_TRUE(writer.AddEntry("coded", text.data(), 64, TRUE));
  ASSERT_TRUE(writer.Finish());

  PackReader reader;
  struct Case {
    const char* name;
    DWORD capacity;
    int used;
    const Bytes* bytes;
  };
  const Case cases[] = {{"stored", 64, 1, &a}, {"stored", 63, 0, &a}, {"coded", 4096, 0, &text}};
  for (const Case& c : cases) {
    int used = -1;
    DWORD size = 0;
    BYTE* data = ReadPackEntryInto(&reader, pack.c_str(), c.name, &size, SharedReadArea, c.capacity, &used);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(used, c.used);
    EXPECT_EQ(data == SharedReadArea, c.used == 1);
    EXPECT_EQ(size, 64u);
    EXPECT_EQ(Bytes(data, data + size), *c.bytes);
    if (!used) LocalFree(data);
  }
}

TEST(PackReader, RefusesDamagedPacks) {
  TempFolder dir("formats");
  const Bytes data = Pattern(40, 9);
  const Bytes coded = {0x03, 'a', 'b', 0x00, 0x10};  // "ab" and a 2-byte match: 4 bytes
  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"too short for a header", Bytes{'R', 'L', 'Z', '2', 1, 0}},
      {"wrong magic", BuildPack("RLZ4", {{"e", 40, 40, 0, 0}}, data)},
      {"count beyond the file", BuildPack("RLZ2", {{"e", 40, 40, 0, 0}}, data, 0x40000000)},
      {"count wraps in 32 bits", BuildPack("RLZ2", {{"e", 40, 40, 0, 0}}, data, 0x30C30C31)},
      {"data past the end", BuildPack("RLZ2", {{"e", 40, 40, 0, 1}}, data)},
      {"offset wraps in 32 bits", BuildPack("RLZ2", {{"e", 40, 40, 0, 0xFFFFFFF0}}, data)},
      {"stored sizes disagree", BuildPack("RLZ2", {{"e", 20, 40, 0, 0}}, data)},
      {"unpacked size beyond the stream", BuildPack("RLZ2", {{"e", 5, 100000, 1, 0}}, coded)},
      {"stream shorter than its size", BuildPack("RLZ2", {{"e", 5, 6, 1, 0}}, coded)},
      {"no entries", BuildPack("RLZ2", {}, {})},
      {"unknown compression method", BuildPack("RLZ2", {{"e", 40, 40, 2, 0}}, data)},
  };
  for (const Case& c : cases) {
    const std::string pack = dir.File("bad.mlz");
    WriteBytes(pack, c.file);
    PackReader reader;
    EXPECT_FALSE(Read(reader, pack, "e").found) << c.what;
  }
  EXPECT_FALSE(Read(*std::make_unique<PackReader>(), dir.File("none.mlz"), "e").found);

  // The decoded stream itself, and a name field without a terminator.
  const std::string pack = dir.File("good.mlz");
  const std::string full(64, 'N');
  WriteBytes(pack, BuildPack("RLZ3", {{"e", 5, 4, 1, 0}, {full, 40, 40, 0, 5}}, [&] {
               Bytes d = coded;
               d.insert(d.end(), data.begin(), data.end());
               return d;
             }()));
  PackReader reader;
  EXPECT_EQ(Read(reader, pack, "E").bytes, (Bytes{'a', 'b', 0, 0}));
  EXPECT_EQ(Read(reader, pack, full.c_str()).bytes, data);
  EXPECT_FALSE(Read(reader, pack, (full + "X").c_str()).found);
}

// An entry listed without bytes reads as not found but is told apart from a
// missing one; a name field without its terminating zero fails the check of
// the whole directory.
TEST(PackReader, EmptyEntriesAndUnterminatedNames) {
  TempFolder dir("formats");
  const std::string pack = dir.File("p.mlz");
  const Bytes data = Pattern(40, 11);
  WriteBytes(pack, BuildPack("RLZ2", {{"e", 40, 40, 0, 0}, {"none", 0, 0, 0, 40}}, data));
  PackReader reader;
  EXPECT_EQ(OpenPackChecked(&reader, pack.c_str()), 1);
  struct Case {
    const char* name;
    int listed, empty;
  };
  const Case cases[] = {{"e", 1, 0}, {"NONE", 0, 1}, {"missing", 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(PackListsEntry(&reader, pack.c_str(), c.name), c.listed) << c.name;
    EXPECT_EQ(PackListsEmptyEntry(&reader, pack.c_str(), c.name), c.empty) << c.name;
  }
  EXPECT_FALSE(Read(reader, pack, "none").found);
  EXPECT_EQ(PackListsEmptyEntry(&reader, dir.File("absent.mlz").c_str(), "none"), 0);

  const std::string longest(63, 'N'), full(64, 'N');
  for (const std::string* name : {&longest, &full}) {
    WriteBytes(pack, BuildPack("RLZ2", {{"e", 40, 40, 0, 0}, {*name, 0, 0, 0, 40}}, data));
    PackReader fresh;
    EXPECT_EQ(OpenPackChecked(&fresh, pack.c_str()), name == &longest ? 1 : 0) << name->size();
  }
}

TEST(PackReader, FailedOpenKeepsThePreviousDirectory) {
  TempFolder dir("formats");
  const std::string good = dir.File("good.mlz"), bad = dir.File("bad.mlz");
  const Bytes data = Pattern(40, 10);
  WriteBytes(good, BuildPack("RLZ2", {{"e", 40, 40, 0, 0}}, data));
  WriteBytes(bad, BuildPack("RLZX", {{"e", 40, 40, 0, 0}}, data));
  PackReader reader;
  ASSERT_TRUE(Read(reader, good, "e").found);
  const BYTE* held = reader.directory;
  EXPECT_FALSE(Read(reader, bad, "e").found);
  EXPECT_FALSE(Read(reader, dir.File("missing.mlz"), "e").found);
  EXPECT_EQ(reader.directory, held);
  EXPECT_STREQ(reader.cachedPath, good.c_str());
  EXPECT_EQ(Read(reader, good, "e").bytes, data);
}

}  // namespace
