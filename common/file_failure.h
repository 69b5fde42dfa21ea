// Why a file could not be opened, written or renamed, in the words both
// programs use for it: one table, from the system's code and a look at the
// path.  Each program adds its own punctuation around the words.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum class FileFailure : uint8_t {
  kNotFound,          // ERROR_FILE_NOT_FOUND
  kNoFolder,          // a folder of the path is missing
  kFileAtFolderName,  // a file stands where a folder of the path goes
  kFolderAtName,      // a folder stands at the file's name or its temporary name
  kReadOnlyFile,      // refused: a read-only file at the file's name or its temporary name
  kFileInUse,         // ERROR_SHARING_VIOLATION: the file is open elsewhere
  kNoPermission,      // refused otherwise: the folder may not be written
  kReadOnlyDisk,
  kDiskFull,
  kFileTooLarge,
  kDiskFailed,
  kNameTooLong,
  kTooManyOpenFiles,
  kOutOfMemory,
  kOther,  // any other code: told by its number
};

// What stopped the file `path` (Shift-JIS, '\' or '/' between folders; null
// or empty when there is none to look at) with the system's code `error`.
// A refusal or a missing folder looks at the path as it is now: a folder or
// a read-only file at the file's name or at its name + ".tmp" (where
// WriteFileReplacing writes first), a file where one of its folders goes.
FileFailure ClassifyFileFailure(const char* path, DWORD error);

// 1 when the kind stops every file written to the same folder or disk (the
// folder missing, refused or shadowed by a file; the disk read-only or full;
// the file-size limit), 0 when it is the one file's own.
int IsFolderOrDiskCause(FileFailure kind);

// Bytes that hold every reason's words with the longest number.
constexpr size_t kFileFailureChars = 64;

// The reason in words, terminated, into out (capacity bytes; a text that does
// not fit is cut at a character boundary): English, or with `japanese` code
// page 932.  kOther tells the code: "system error N", "システムエラー N".
void FileFailureReason(char* out, size_t capacity, FileFailure kind, DWORD error, int japanese);
