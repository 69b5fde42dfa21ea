#include "common/file_failure.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// The words of a kind in both languages, the Japanese as the iconv program
// reads code page 932 (UTF-8), so that the table's bytes are judged by a tool
// of its own.
std::string Words(FileFailure kind, DWORD error, bool japanese) {
  char out[kFileFailureChars];
  FileFailureReason(out, sizeof out, kind, error, japanese ? 1 : 0);
  return out;
}

std::string Cp932ToUtf8(const std::string& bytes, const fs::path& scratch) {
  const std::string in = (scratch / "cp932.txt").string();
  if (!vtest::WriteText(in, bytes)) return "(not written)";
  std::FILE* pipe = popen(("iconv -f CP932 -t UTF-8 '" + in + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return "(no iconv)";
  std::string text;
  char buffer[256];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  return pclose(pipe) == 0 ? text : "(iconv refused: " + text + ")";
}

// Every cause from its code and, where the code leaves it open, a look at
// the path: what stands at the file's name or its temporary name, and where
// its folders go.  Each with both programs' words, and whether it stops the
// folder's or disk's every file or the one file only.
TEST(FileFailureTable, CausesFromTheCodeAndThePath) {
  vtest::TempFolder folder("common");
  const fs::path root = folder.Path();
  fs::create_directories(root / "data" / "bgm" / "001.mp3");     // a folder at a file's name
  fs::create_directories(root / "data" / "bgm" / "002.mp3.tmp");  // ... at its temporary name
  ASSERT_TRUE(vtest::WriteText((root / "data" / "se").string(), "a file"));
  ASSERT_TRUE(vtest::WriteText((root / "data" / "bgm" / "003.mp3").string(), "earlier"));
  fs::permissions(root / "data" / "bgm" / "003.mp3", fs::perms::owner_read);
  fs::create_directories(root / "locked");
  ASSERT_TRUE(vtest::WriteText((root / "locked" / "004.mp3").string(), "earlier"));
  fs::permissions(root / "locked" / "004.mp3", fs::perms::owner_read);
  fs::permissions(root / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  const std::string game = root.string();
  const struct {
    std::string path;
    DWORD error;
    FileFailure kind;
    const char* english;
    const char* japanese;  // UTF-8
    bool folderOrDisk;
  } cases[] = {
      {game + "\\data\\bgm\\009.mp3", ERROR_FILE_NOT_FOUND, FileFailure::kNotFound, "not found",
       "見つかりません", false},
      {game + "\\data\\none\\009.mp3", ERROR_PATH_NOT_FOUND, FileFailure::kNoFolder, "folder not found",
       "フォルダが見つかりません", true},
      {game + "\\data\\se\\009.mp3", ERROR_PATH_NOT_FOUND, FileFailure::kFileAtFolderName,
       "a file has the folder's name", "フォルダと同じ名前のファイルがあります", true},
      {game + "/data/se/deeper/009.mp3", ERROR_PATH_NOT_FOUND, FileFailure::kFileAtFolderName,
       "a file has the folder's name", "フォルダと同じ名前のファイルがあります", true},
      {game + "\\data\\se\\009.mp3", ERROR_FILE_NOT_FOUND, FileFailure::kFileAtFolderName,
       "a file has the folder's name", "フォルダと同じ名前のファイルがあります", true},
      {game + "\\data\\bgm\\001.mp3", ERROR_ACCESS_DENIED, FileFailure::kFolderAtName, "a folder has that name",
       "同じ名前のフォルダがあります", false},
      {game + "\\data\\bgm\\002.mp3", ERROR_ACCESS_DENIED, FileFailure::kFolderAtName, "a folder has that name",
       "同じ名前のフォルダがあります", false},
      {game + "\\data\\bgm\\003.mp3", ERROR_ACCESS_DENIED, FileFailure::kReadOnlyFile, "no permission",
       "権限がありません", false},
      {game + "\\locked\\004.mp3", ERROR_ACCESS_DENIED, FileFailure::kNoPermission, "no permission",
       "権限がありません", true},
      {game + "\\data\\bgm\\009.mp3", ERROR_ACCESS_DENIED, FileFailure::kNoPermission, "no permission",
       "権限がありません", true},
      {"", ERROR_ACCESS_DENIED, FileFailure::kNoPermission, "no permission", "権限がありません", true},
      {game + "\\data\\bgm\\009.mp3", ERROR_SHARING_VIOLATION, FileFailure::kFileInUse, "no permission",
       "権限がありません", false},
      {"", ERROR_WRITE_PROTECT, FileFailure::kReadOnlyDisk, "read-only disk", "読み取り専用のディスクです", true},
      {"", ERROR_DISK_FULL, FileFailure::kDiskFull, "disk full", "ディスクに空きがありません", true},
      {"", ERROR_FILE_TOO_LARGE, FileFailure::kFileTooLarge, "file too large", "ファイルが大きすぎます", true},
      {"", ERROR_IO_DEVICE, FileFailure::kDiskFailed, "input/output error (the disk failed)",
       "ディスクの読み書きに失敗しました", false},
      {"", ERROR_FILENAME_EXCED_RANGE, FileFailure::kNameTooLong, "name too long", "名前が長すぎます", false},
      {"", ERROR_TOO_MANY_OPEN_FILES, FileFailure::kTooManyOpenFiles, "too many open files",
       "開いているファイルが多すぎます", false},
      {"", ERROR_NOT_ENOUGH_MEMORY, FileFailure::kOutOfMemory, "out of memory", "メモリが足りません", false},
      {"", ERROR_OUTOFMEMORY, FileFailure::kOutOfMemory, "out of memory", "メモリが足りません", false},
      {"", ERROR_NO_DATA, FileFailure::kOther, "system error 232", "システムエラー 232", false},
      {"", 4294967295u, FileFailure::kOther, "system error 4294967295", "システムエラー 4294967295", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.error));
    const FileFailure kind = ClassifyFileFailure(c.path.c_str(), c.error);
    EXPECT_EQ(int(kind), int(c.kind));
    EXPECT_EQ(Words(kind, c.error, false), c.english);
    EXPECT_EQ(Cp932ToUtf8(Words(kind, c.error, true), root), c.japanese);
    EXPECT_EQ(IsFolderOrDiskCause(kind) != 0, c.folderOrDisk);
  }
  fs::permissions(root / "locked", fs::perms::owner_all);
  // No path to look at: the code alone.
  EXPECT_EQ(int(ClassifyFileFailure(nullptr, ERROR_PATH_NOT_FOUND)), int(FileFailure::kNoFolder));
  EXPECT_EQ(int(ClassifyFileFailure(nullptr, ERROR_FILE_NOT_FOUND)), int(FileFailure::kNotFound));
}

// The words are cut at a whole character where they do not fit.
TEST(FileFailureTable, WordsAreCutAtACharacter) {
  char out[6];
  FileFailureReason(out, sizeof out, FileFailure::kNotFound, 0, 1);  // 見つかりません: 14 bytes
  EXPECT_EQ(std::string(out), "\x8C\xA9\x82\xC2");
  FileFailureReason(out, sizeof out, FileFailure::kOther, 12345, 0);
  EXPECT_EQ(std::string(out), "syste");
}

}  // namespace
