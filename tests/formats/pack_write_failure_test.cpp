// Writes that fail part-way (a full disk, a file size limit) are reported by
// the pack writer, and leave neither a pack that looks complete nor the
// temporary file, and never touch an older pack of the same name.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/pack_writer.h"
#include "tests/support/disk_flushes.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vtest::ReadBytes;
using vtest::TempFolder;
using vtest::WriteBytes;

// Files of this process may not grow past limit bytes while it lives; a
// write beyond fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  bool Active() const { return active_; }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
  bool active_ = false;
};

TEST(PackWriterFailures, WriteCutShortIsReported) {
  TempFolder dir("formats");
  const std::string pack = dir.File("grpack.mlz");
  const Bytes older = {'o', 'l', 'd'};
  WriteBytes(pack, older);
  const Bytes big(8000, 0x5A), small(100, 0x11);

  struct Case {
    const char* what;
    rlim_t limit;
    bool beginOk;
  };
  // The directory of 3 entries is 268 bytes.
  const Case cases[] = {{"directory does not fit", 200, false}, {"entry does not fit", 4096, true}};
  for (const Case& c : cases) {
    CPackWriter writer;
    {
      FileSizeLimit limit(c.limit);
      ASSERT_TRUE(limit.Active());
      EXPECT_EQ(writer.Begin(pack.c_str(), 3), c.beginOk ? TRUE : FALSE) << c.what;
      if (c.beginOk) {
        EXPECT_TRUE(writer.AddEntry("a", small.data(), 100, FALSE)) << c.what;
        EXPECT_FALSE(writer.AddEntry("b", big.data(), 8000, FALSE)) << c.what;
        SetLastError(NO_ERROR);
        EXPECT_FALSE(writer.AddEntry("c", small.data(), 100, FALSE)) << c.what;  // the pack is lost
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_TOO_LARGE)) << c.what;        // and says why, each time
        EXPECT_TRUE(writer.Failed()) << c.what;
      }
      SetLastError(NO_ERROR);
      EXPECT_FALSE(writer.Finish()) << c.what;
      EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_TOO_LARGE)) << c.what;
      EXPECT_EQ(writer.Error(), DWORD(ERROR_FILE_TOO_LARGE)) << c.what;
      EXPECT_EQ(writer.LeftBehind(), "") << c.what;
    }
    EXPECT_EQ(ReadBytes(pack), older) << c.what;
    EXPECT_FALSE(std::filesystem::exists(pack + ".tmp")) << c.what;
  }
}

TEST(PackWriterFailures, FullDeviceIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempFolder dir("formats");
  const std::string pack = dir.File("voice.mlz");
  std::filesystem::create_symlink("/dev/full", pack + ".tmp");
  CPackWriter writer;
  EXPECT_FALSE(writer.Begin(pack.c_str(), 1));
  EXPECT_FALSE(writer.Finish());
  EXPECT_FALSE(std::filesystem::exists(pack));
  EXPECT_FALSE(std::filesystem::is_symlink(pack + ".tmp"));
}

// A finished pack is on the disk before its name replaces the older pack,
// and the rename before Finish returns.  A flush that fails, the test hook's
// or a real one (a link to /dev/null takes every byte but cannot flush
// them), fails the pack and keeps the older one.
TEST(PackWriterFailures, FlushComesBeforeTheRenameAndItsFailureIsReported) {
  TempFolder dir("formats");
  const std::string pack = dir.File("grpack.mlz");
  const std::string folder = std::filesystem::path(pack).parent_path().filename().string();
  const Bytes older = {'o', 'l', 'd'}, small(100, 0x11);
  WriteBytes(pack, older);
  {
    vtest::DiskFlushLog log;
    CPackWriter writer;
    ASSERT_TRUE(writer.Begin(pack.c_str(), 1));
    ASSERT_TRUE(writer.AddEntry("a", small.data(), 100, FALSE));
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"flush grpack.mlz.tmp", "move grpack.mlz.tmp grpack.mlz", "folder " + folder}));
  }
  WriteBytes(pack, older);

  struct Case {
    const char* what;
    bool hook;
    DWORD error;
  };
  const Case cases[] = {{"the hook", true, ERROR_IO_DEVICE}, {"/dev/null", false, ERROR_INVALID_PARAMETER}};
  for (const Case& c : cases) {
    vtest::DiskFlushLog log;
    if (c.hook)
      VelmiFailFlushFileBuffers(0);
    else
      std::filesystem::create_symlink("/dev/null", pack + ".tmp");
    CPackWriter writer;
    ASSERT_TRUE(writer.Begin(pack.c_str(), 1)) << c.what;
    ASSERT_TRUE(writer.AddEntry("a", small.data(), 100, FALSE)) << c.what;
    SetLastError(NO_ERROR);
    EXPECT_FALSE(writer.Finish()) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    EXPECT_TRUE(writer.Failed()) << c.what;
    EXPECT_EQ(ReadBytes(pack), older) << c.what;
    EXPECT_FALSE(std::filesystem::is_symlink(pack + ".tmp")) << c.what;
    EXPECT_FALSE(std::filesystem::exists(pack + ".tmp")) << c.what;
    EXPECT_TRUE(log.Lines().empty()) << c.what;
  }

  // The folder's flush fails after the rename: the pack is in place and
  // Finish succeeds, Unconfirmed() telling why the disk did not confirm it.
  {
    vtest::DiskFlushLog log;
    VelmiFailFolderFlush(0);
    CPackWriter writer;
    ASSERT_TRUE(writer.Begin(pack.c_str(), 1));
    ASSERT_TRUE(writer.AddEntry("a", small.data(), 100, FALSE));
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(writer.Unconfirmed(), DWORD(ERROR_IO_DEVICE));
    EXPECT_FALSE(writer.Failed());
    EXPECT_NE(ReadBytes(pack), older);
    EXPECT_FALSE(std::filesystem::exists(pack + ".tmp"));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"flush grpack.mlz.tmp", "move grpack.mlz.tmp grpack.mlz"}));
    // Begin starts afresh.
    ASSERT_TRUE(writer.Begin(pack.c_str(), 1));
    EXPECT_EQ(writer.Unconfirmed(), 0u);
    writer.Abandon();
  }
}

}  // namespace
