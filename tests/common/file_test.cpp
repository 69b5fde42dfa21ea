#include "common/file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/disk_flushes.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::make_unique<vtest::TempFolder>("common");
    dir_ = folder_->Path();
    fs::create_directory(dir_ / "sub");
  }
  void TearDown() override {
    SetFileProfile(FileProfile::Player);
    folder_.reset();
  }
  // The game's form of a path below the temporary folder: '\' separators.
  std::string Path(const std::string& name) const { return dir_.string() + "\\" + name; }
  void Put(const std::string& name, const std::string& bytes) const { vtest::WriteText((dir_ / name).string(), bytes); }
  std::string Get(const std::string& name) const { return vtest::ReadText((dir_ / name).string()); }

  std::unique_ptr<vtest::TempFolder> folder_;
  fs::path dir_;
};

std::string Pattern(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 + 1);
  return s;
}

TEST_F(FileTest, MissingEmptyAndFolder) {
  Put("empty.dat", "");
  EXPECT_EQ(GetFileSizeByName(Path("none.dat").c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(FileExists(Path("none.dat").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(Path("none.dat").c_str(), nullptr, 4), nullptr);
  char buf[4];
  EXPECT_EQ(ReadFilePart(Path("none.dat").c_str(), buf, 0, 0, 4), 0u);

  EXPECT_EQ(GetFileSizeByName(Path("empty.dat").c_str()), 0u);
  DWORD size = 99;
  BYTE* image = ReadWholeFile(Path("empty.dat").c_str(), &size, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(size, 0u);
  LocalFree(image);

  EXPECT_EQ(FileExists(Path("sub").c_str()), 1);
  EXPECT_EQ(GetFileSizeByName(Path("sub").c_str()), 0u);
  EXPECT_EQ(ReadWholeFile(Path("sub").c_str(), &size, 0), nullptr);
}

TEST_F(FileTest, LooksAtTheNamedPathOnly) {
  Put("a.dat", "12345");
  // A wildcard search would find a.dat for these names.
  for (const char* name : {"*.dat", "?.dat", "a.*", "*"}) {
    EXPECT_EQ(FileExists(Path(name).c_str()), 0) << name;
    EXPECT_EQ(GetFileSizeByName(Path(name).c_str()), 0xFFFFFFFFu) << name;
  }
  EXPECT_EQ(GetFileSizeByName(Path("A.DAT").c_str()), 5u);  // case as on Windows
}

TEST_F(FileTest, ReadWholeFileWithExtraBytes) {
  std::string data = Pattern(1000);
  Put("sub/data.bin", data);
  DWORD size = 0;
  BYTE* image = ReadWholeFile(Path("SUB\\Data.bin").c_str(), &size, 3);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(size, 1000u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image), size), data);
  image[1000] = image[1001] = image[1002] = 0;  // the extra room is there
  LocalFree(image);

  image = ReadWholeFile(Path("sub\\data.bin").c_str(), nullptr, 0);
  ASSERT_NE(image, nullptr);
  LocalFree(image);
}

TEST_F(FileTest, ReadWholeFileFailsOnShortRead) {
  // Files of this kind report 4096 bytes and deliver a few.
  const char* path = "/sys/devices/system/cpu/online";
  if (access(path, R_OK) != 0) GTEST_SKIP() << "no " << path;
  ASSERT_GT(GetFileSizeByName(path), 4u);
  DWORD size = 12345;
  EXPECT_EQ(ReadWholeFile(path, &size, 1), nullptr);
  EXPECT_EQ(size, 12345u);
}

TEST_F(FileTest, ReadFilePartOrigins) {
  std::string data = Pattern(100);
  Put("part.bin", data);
  std::string path = Path("part.bin");
  struct {
    int origin;
    LONG offset;
    DWORD count;
    size_t from;
    DWORD read;
  } cases[] = {
      {0, 10, 20, 10, 20},  {1, 3, 5, 3, 5},  // current position of a fresh file is the start
      {2, -16, 16, 84, 16},                   // the last 16 bytes
      {7, 50, 8, 0, 8},                       // unknown origin: no seek
      {0, 90, 50, 90, 10},                    // short read near the end
      {0, -5, 4, 0, 0},                       // a failed seek reads nothing
      {2, -200, 4, 0, 0},
  };
  for (auto& c : cases) {
    std::vector<char> buf(c.count + 1, 0);
    DWORD read = ReadFilePart(path.c_str(), buf.data(), c.origin, c.offset, c.count);
    EXPECT_EQ(read, c.read) << c.origin << " " << c.offset;
    EXPECT_EQ(std::string(buf.data(), read), data.substr(c.from, read)) << c.origin << " " << c.offset;
  }
}

TEST_F(FileTest, WriteFileAtModes) {
  std::string path = Path("out.bin");
  std::string data = Pattern(200);
  EXPECT_EQ(WriteFileAt(path.c_str(), data.data(), 0, 0, 200, 1), 200u);
  EXPECT_EQ(Get("out.bin"), data);

  // Open-keep: bytes from offset 100 replaced, the rest kept.
  EXPECT_EQ(WriteFileAt(path.c_str(), "XXXXXXXXXX", 0, 100, 10, 0), 10u);
  std::string expected = data;
  expected.replace(100, 10, "XXXXXXXXXX");
  EXPECT_EQ(Get("out.bin"), expected);

  EXPECT_EQ(WriteFileAt(path.c_str(), "end", 2, 0, 3, 0), 3u);
  EXPECT_EQ(Get("out.bin"), expected + "end");
  EXPECT_EQ(WriteFileAt(path.c_str(), "!", 5, 999, 1, 0), 1u);  // no seek: the start
  EXPECT_EQ(Get("out.bin")[0], '!');

  // Create: only what was written remains.
  EXPECT_EQ(WriteFileAt(path.c_str(), "abcde", 0, 0, 5, 1), 5u);
  EXPECT_EQ(Get("out.bin"), "abcde");
  // Open-keep creates a missing file.
  EXPECT_EQ(WriteFileAt(Path("new.bin").c_str(), "xy", 0, 0, 2, 0), 2u);
  EXPECT_EQ(Get("new.bin"), "xy");
  EXPECT_EQ(WriteFileAt(Path("nodir\\x.bin").c_str(), "xy", 0, 0, 2, 1), 0u);
  EXPECT_EQ(WriteFileAt(path.c_str(), "xy", 0, -1, 2, 0), 0u);  // failed seek writes nothing
  EXPECT_EQ(Get("out.bin"), "abcde");
}

TEST_F(FileTest, WriteFileReplacingKeepsTheOldFileOnFailure) {
  const std::string name = "\x83\x5c\x95\x5c.dat";  // trail bytes 0x5C in the name
  EXPECT_EQ(WriteFileReplacing(Path(name).c_str(), "first", 5), 1);
  EXPECT_EQ(WriteFileReplacing(Path(name).c_str(), "second", 6), 1);
  EXPECT_EQ(Get(reinterpret_cast<const char*>(u8"ソ表.dat")), "second");
  EXPECT_FALSE(fs::exists(dir_ / u8"ソ表.dat.tmp"));
  EXPECT_EQ(WriteFileReplacing(Path("zero.dat").c_str(), "", 0), 1);
  EXPECT_TRUE(fs::exists(dir_ / "zero.dat"));

  // The temporary name cannot be created: nothing changes.
  fs::create_directory(dir_ / "busy.dat.tmp");
  Put("busy.dat", "old");
  EXPECT_EQ(WriteFileReplacing(Path("busy.dat").c_str(), "new", 3), 0);
  EXPECT_EQ(Get("busy.dat"), "old");
  // The rename fails (a folder stands at the name): the temporary file goes.
  EXPECT_EQ(WriteFileReplacing(Path("sub").c_str(), "new", 3), 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "sub"));
  EXPECT_FALSE(fs::exists(dir_ / "sub.tmp"));
  EXPECT_EQ(WriteFileReplacing(Path("nodir\\x.dat").c_str(), "new", 3), 0);
  EXPECT_EQ(WriteFileReplacing(nullptr, "new", 3), 0);
}

// The new content is on the disk before the rename, and the rename before
// the call returns; a flush that fails is a failed write that keeps the
// older file.
TEST_F(FileTest, WriteFileReplacingFlushesBeforeTheRename) {
  Put("sys.dat", "old");
  vtest::DiskFlushLog log;
  EXPECT_EQ(WriteFileReplacing(Path("sys.dat").c_str(), "new", 3), 1);
  EXPECT_EQ(Get("sys.dat"), "new");
  const std::string folder = dir_.filename().string();
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"flush sys.dat.tmp", "move sys.dat.tmp sys.dat", "folder " + folder}));

  log.Clear();
  VelmiFailFlushFileBuffers(0);
  SetLastError(NO_ERROR);
  EXPECT_EQ(WriteFileReplacing(Path("sys.dat").c_str(), "newer", 5), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));
  EXPECT_EQ(Get("sys.dat"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "sys.dat.tmp"));
  EXPECT_TRUE(log.Lines().empty());

  // The folder's flush fails after the rename: the new content is in place,
  // the write done, and the last error tells that the disk did not confirm it.
  VelmiFailFolderFlush(0);
  EXPECT_EQ(WriteFileReplacing(Path("sys.dat").c_str(), "newest", 6), 1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));
  EXPECT_EQ(Get("sys.dat"), "newest");
  EXPECT_FALSE(fs::exists(dir_ / "sys.dat.tmp"));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"flush sys.dat.tmp", "move sys.dat.tmp sys.dat"}));
  // One flush failed; the next write is confirmed.
  SetLastError(ERROR_IO_DEVICE);
  EXPECT_EQ(WriteFileReplacing(Path("sys.dat").c_str(), "last", 4), 1);
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
}

// A folder's flush fails only when the flush itself fails: a folder that
// cannot be opened leaves nothing that could be flushed.
TEST_F(FileTest, FlushFolderFailsOnlyOnAFailedFlush) {
  vtest::DiskFlushLog log;
  const struct {
    const char* what;
    std::string folder;
    bool flushFails;
    int result;
    DWORD error;
  } cases[] = {
      {"a folder", Path("sub"), false, 1, NO_ERROR},
      {"a folder whose flush fails", Path("sub"), true, 0, ERROR_IO_DEVICE},
      {"a missing folder", Path("none"), false, 1, NO_ERROR},
      {"below a missing folder", Path("none\\deeper"), false, 1, NO_ERROR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.flushFails) VelmiFailFlushFileBuffers(0);
    SetLastError(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(FlushFolder(c.folder.c_str()), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    VelmiFailFlushFileBuffers(-1);
  }
}

TEST_F(FileTest, ShiftJisNamesAndConverterProfile) {
  const std::string name = "\x83\x5c\x95\x5c.dat";  // katakana so and the kanji hyou, both with trail 0x5C
  for (FileProfile profile : {FileProfile::Player, FileProfile::Converter}) {
    SetFileProfile(profile);
    EXPECT_EQ(GetFileProfile(), profile);
    EXPECT_EQ(WriteFileAt(Path(name).c_str(), "ok", 0, 0, 2, 1), 2u);
    EXPECT_TRUE(fs::exists(dir_ / u8"ソ表.dat"));
    EXPECT_EQ(FileExists(Path(name).c_str()), 1);
    DWORD size = 0;
    BYTE* image = ReadWholeFile(Path(name).c_str(), &size, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image), size), "ok");
    LocalFree(image);
  }
}

TEST_F(FileTest, SjisToWideSharesOneBoundedBuffer) {
  const WCHAR* first = SjisToWide("ab\x83\x5c");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::u16string(first), u"abソ");
  const WCHAR* second = SjisToWide("xyz");
  EXPECT_EQ(second, first);
  EXPECT_EQ(std::u16string(first), u"xyz");

  std::string longest(2047, 'a');
  ASSERT_NE(SjisToWide(longest.c_str()), nullptr);
  EXPECT_EQ(std::u16string(SjisToWide(longest.c_str())).size(), 2047u);
  EXPECT_EQ(SjisToWide(std::string(2048, 'a').c_str()), nullptr);
  std::string kana;
  for (int i = 0; i < 1100; ++i) kana += "\x83\x5c";  // 2200 bytes, 1100 units: fits
  EXPECT_NE(SjisToWide(kana.c_str()), nullptr);
  // A path that does not fit is refused, not written past the buffer.
  EXPECT_EQ(WriteFileAt((std::string(3000, 'a')).c_str(), "x", 0, 0, 1, 1), 0u);
}

TEST(FileSlotsTest, VersionTextAndInstance) {
  char out[144];
  GetOggOverlayVersion(out);
  EXPECT_STREQ(out, "");
  SetOggOverlayVersion("1.2.3 (2005)");
  GetOggOverlayVersion(out);
  EXPECT_STREQ(out, "1.2.3 (2005)");
  // Too long: kept to 143 bytes, whole characters only.
  std::string text = std::string(142, 'v') + "\x83\x5c" + "tail";
  SetOggOverlayVersion(text.c_str());
  GetOggOverlayVersion(out);
  EXPECT_EQ(std::string(out), std::string(142, 'v'));
  SetOggOverlayVersion("");

  int dummy;
  SetInstanceHandle(reinterpret_cast<HINSTANCE>(&dummy));
  EXPECT_EQ(GetInstanceHandle(), reinterpret_cast<HINSTANCE>(&dummy));
  SetInstanceHandle(nullptr);
}

}  // namespace
