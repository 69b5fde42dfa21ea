#include "common/file_failure.h"

#include <vector>

#include "common/file.h"
#include "common/format.h"
#include "common/sjis.h"

namespace {

struct ReasonWords {
  FileFailure kind;
  const char* english;
  const char* japanese;  // code page 932; the UTF-8 text in the comment above
};

constexpr ReasonWords kWords[] = {
    // 見つかりません
    {FileFailure::kNotFound, "not found", "\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // フォルダが見つかりません
    {FileFailure::kNoFolder, "folder not found",
     "\x83t\x83H\x83\x8B\x83_\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // フォルダと同じ名前のファイルがあります
    {FileFailure::kFileAtFolderName, "a file has the folder's name",
     "\x83t\x83H\x83\x8B\x83_\x82\xC6\x93\xAF\x82\xB6\x96\xBC\x91O\x82\xCC\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"},
    // 同じ名前のフォルダがあります
    {FileFailure::kFolderAtName, "a folder has that name",
     "\x93\xAF\x82\xB6\x96\xBC\x91O\x82\xCC\x83t\x83H\x83\x8B\x83_\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"},
    // 権限がありません
    {FileFailure::kReadOnlyFile, "no permission", "\x8C\xA0\x8C\xC0\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 権限がありません
    {FileFailure::kFileInUse, "no permission", "\x8C\xA0\x8C\xC0\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 権限がありません
    {FileFailure::kNoPermission, "no permission", "\x8C\xA0\x8C\xC0\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 読み取り専用のディスクです
    {FileFailure::kReadOnlyDisk, "read-only disk",
     "\x93\xC7\x82\xDD\x8E\xE6\x82\xE8\x90\xEA\x97p\x82\xCC\x83"
     "f\x83"
     "B\x83X\x83N\x82\xC5\x82\xB7"},
    // ディスクに空きがありません
    {FileFailure::kDiskFull, "disk full",
     "\x83"
     "f\x83"
     "B\x83X\x83N\x82\xC9\x8B\xF3\x82\xAB\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // ファイルが大きすぎます
    {FileFailure::kFileTooLarge, "file too large",
     "\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x91\xE5\x82\xAB\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // ディスクの読み書きに失敗しました
    {FileFailure::kDiskFailed, "input/output error (the disk failed)",
     "\x83"
     "f\x83"
     "B\x83X\x83N\x82\xCC\x93\xC7\x82\xDD\x8F\x91\x82\xAB\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"},
    // 名前が長すぎます
    {FileFailure::kNameTooLong, "name too long", "\x96\xBC\x91O\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // 開いているファイルが多すぎます
    {FileFailure::kTooManyOpenFiles, "too many open files",
     "\x8AJ\x82\xA2\x82\xC4\x82\xA2\x82\xE9\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x91\xBD\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // メモリが足りません
    {FileFailure::kOutOfMemory, "out of memory",
     "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // システムエラー (followed by the number)
    {FileFailure::kOther, "system error ",
     "\x83V\x83X\x83"
     "e\x83\x80\x83G\x83\x89\x81[ "},
};

// The table holds every kind once, in the order of the kinds.
constexpr bool WordsInOrder() {
  for (size_t i = 0; i < sizeof kWords / sizeof kWords[0]; ++i)
    if (kWords[i].kind != FileFailure(i)) return false;
  return sizeof kWords / sizeof kWords[0] == size_t(FileFailure::kOther) + 1;
}
static_assert(WordsInOrder());

using Wide = std::vector<WCHAR>;

// The path in UTF-16 with its terminator; empty when it does not convert.
Wide ToWide(const char* path) {
  Wide wide;
  if (path == nullptr || *path == 0) return wide;
  const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (units <= 1) return wide;
  wide.resize(size_t(units));
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), units) <= 0) wide.clear();
  return wide;
}

DWORD AttributesOf(const Wide& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.data());
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReadOnlyFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsSeparator(WCHAR c) { return c == WCHAR('\\') || c == WCHAR('/'); }

// The path cut before its unit `end` (terminated).
Wide Prefix(const Wide& path, size_t end) {
  Wide prefix(path.begin(), path.begin() + ptrdiff_t(end));
  prefix.push_back(0);
  return prefix;
}

// The path with the suffix WriteFileReplacing writes under added.
Wide Temporary(const Wide& path) {
  Wide name(path.begin(), path.end() - 1);
  for (const char* p = kReplacingSuffix; *p; ++p) name.push_back(WCHAR(*p));
  name.push_back(0);
  return name;
}

// The folder that holds the path (terminated), or empty.
Wide FolderOf(const Wide& path) {
  size_t end = path.empty() ? 0 : path.size() - 1;  // the terminator
  // Back over the name to the separator before it, then over separators.
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  while (end > 0 && IsSeparator(path[end - 1])) --end;
  return end == 0 ? Wide() : Prefix(path, end);
}

// A file stands where one of the path's folders goes: up from the file's own
// folder, the first one that exists is a file, not a folder.
bool FileInFolderPlace(const Wide& path) {
  for (Wide folder = FolderOf(path); !folder.empty(); folder = FolderOf(folder)) {
    const DWORD attributes = AttributesOf(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES) return !IsFolder(attributes);
  }
  return false;
}

FileFailure ClassifyRefusal(const Wide& path) {
  if (path.empty()) return FileFailure::kNoPermission;
  const Wide temporary = Temporary(path);
  const DWORD file = AttributesOf(path), other = AttributesOf(temporary);
  if (IsFolder(file) || IsFolder(other)) return FileFailure::kFolderAtName;
  // A folder that may not be written refuses every file in it, read-only
  // ones too.
  const DWORD folder = AttributesOf(FolderOf(path));
  if (IsFolder(folder) && (folder & FILE_ATTRIBUTE_READONLY)) return FileFailure::kNoPermission;
  if (IsReadOnlyFile(file) || IsReadOnlyFile(other)) return FileFailure::kReadOnlyFile;
  return FileFailure::kNoPermission;
}

}  // namespace

FileFailure ClassifyFileFailure(const char* path, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      if (FileInFolderPlace(ToWide(path))) return FileFailure::kFileAtFolderName;
      return error == ERROR_PATH_NOT_FOUND ? FileFailure::kNoFolder : FileFailure::kNotFound;
    case ERROR_ACCESS_DENIED:
      return ClassifyRefusal(ToWide(path));
    case ERROR_SHARING_VIOLATION:
      return FileFailure::kFileInUse;
    case ERROR_WRITE_PROTECT:
      return FileFailure::kReadOnlyDisk;
    case ERROR_DISK_FULL:
      return FileFailure::kDiskFull;
    case ERROR_FILE_TOO_LARGE:
      return FileFailure::kFileTooLarge;
    case ERROR_IO_DEVICE:
      return FileFailure::kDiskFailed;
    case ERROR_FILENAME_EXCED_RANGE:
      return FileFailure::kNameTooLong;
    case ERROR_TOO_MANY_OPEN_FILES:
      return FileFailure::kTooManyOpenFiles;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return FileFailure::kOutOfMemory;
    default:
      return FileFailure::kOther;
  }
}

int IsFolderOrDiskCause(FileFailure kind) {
  switch (kind) {
    case FileFailure::kNoFolder:
    case FileFailure::kFileAtFolderName:
    case FileFailure::kNoPermission:
    case FileFailure::kReadOnlyDisk:
    case FileFailure::kDiskFull:
    case FileFailure::kFileTooLarge:
      return 1;
    default:
      return 0;
  }
}

void FileFailureReason(char* out, size_t capacity, FileFailure kind, DWORD error, int japanese) {
  if (out == nullptr || capacity == 0) return;
  const size_t index = size_t(kind) < sizeof kWords / sizeof kWords[0] ? size_t(kind) : size_t(FileFailure::kOther);
  const char* words = japanese ? kWords[index].japanese : kWords[index].english;
  if (FileFailure(index) != FileFailure::kOther) {
    FormatStringN(out, capacity, "%s", words);
    return;
  }
  char number[16];
  FormatUnsigned(number, uint32_t(error));
  FormatStringN(out, capacity, "%s%s", words, number);
}
