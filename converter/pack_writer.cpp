#include "converter/pack_writer.h"

#include <cstring>

#include "common/file.h"
#include "converter/lzss_compressor.h"
#include "formats/pack_format.h"

CPackWriter::~CPackWriter() { Abandon(); }

void CPackWriter::Abandon() {
  // The caller reports the error that lost the pack, not the clean-up's.
  const DWORD error = GetLastError();
  if (file_ != nullptr) {
    CloseHandle(file_);
    file_ = nullptr;
    RemoveTemporary();
  }
  directory_.clear();
  coded_.clear();
  SetLastError(error);
}

void CPackWriter::RemoveTemporary() {
  if (!DeleteFileA(tempPath_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
      GetLastError() != ERROR_PATH_NOT_FOUND)
    leftBehind_ = tempPath_;
}

BOOL CPackWriter::Fail(DWORD error) {
  if (!failed_ || error_ == 0) error_ = error != NO_ERROR ? error : ERROR_WRITE_FAULT;
  failed_ = TRUE;
  SetLastError(error_);
  return FALSE;
}

BOOL CPackWriter::Begin(LPCSTR path, DWORD entryCount) {
  Abandon();
  failed_ = FALSE;
  error_ = 0;
  unconfirmed_ = 0;
  leftBehind_.clear();
  count_ = 0;
  index_ = 0;
  dataOffset_ = 0;
  const unsigned long long dirSize = RlzDirectorySize(entryCount);
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (dirSize > 0xFFFFFFFFull) return Fail(ERROR_FILE_TOO_LARGE);
  path_ = path;
  tempPath_ = path_ + kReplacingSuffix;
  file_ = CreateFileA(tempPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file_ == INVALID_HANDLE_VALUE || file_ == nullptr) {
    file_ = nullptr;
    return Fail(GetLastError());
  }
  count_ = entryCount;
  // The whole directory is cleared, names' tails included.
  directory_.assign(static_cast<size_t>(dirSize), 0);
  RlzPackHeader header{{'R', 'L', 'Z', '2'}, entryCount, 0, 0};
  StoreRlzPackHeader(directory_.data(), header);
  if (!WriteBytes(directory_.data(), static_cast<DWORD>(directory_.size()))) {
    Abandon();
    return FALSE;
  }
  return TRUE;
}

BOOL CPackWriter::WriteBytes(const BYTE* data, DWORD length) {
  if (length == 0) return TRUE;
  DWORD written = 0;
  if (!WriteFile(file_, data, length, &written, nullptr)) return Fail(GetLastError());
  if (written != length) return Fail(ERROR_DISK_FULL);  // a short write that names no error
  return TRUE;
}

BOOL CPackWriter::AddEntry(LPCSTR name, const BYTE* data, DWORD length, BOOL compress) {
  if (file_ == nullptr || failed_) {
    SetLastError(error_ != 0 ? error_ : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (index_ >= count_) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  BYTE* slot = directory_.data() + RlzDirectorySize(index_);
  RlzPackEntry entry{};
  entry.dataOffset = static_cast<DWORD>(dataOffset_);

  const size_t nameLength = name != nullptr ? std::strlen(name) : RLZ_NAME_SIZE;
  if (nameLength >= RLZ_NAME_SIZE || (length != 0 && data == nullptr)) {
    StoreRlzPackEntry(slot, entry);  // placeholder: empty name, no data
    ++index_;
    SetLastError(nameLength >= RLZ_NAME_SIZE ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memcpy(entry.name, name, nameLength);

  const BYTE* bytes = data;
  DWORD stored = length;
  entry.method = RLZ_METHOD_STORED;
  if (compress && length != 0) {
    coded_.resize(LzssMaxCompressedSize(length));
    const int coded = LzssCompress(coded_.data(), data, length);
    if (coded > 0) {
      bytes = coded_.data();
      stored = static_cast<DWORD>(coded);
      entry.method = RLZ_METHOD_LZSS;
    }
  }
  // Offsets and the total size are u32 fields.
  if (dataOffset_ + stored + RlzDirectorySize(count_) > 0xFFFFFFFFull) return Fail(ERROR_FILE_TOO_LARGE);
  if (!WriteBytes(bytes, stored)) return FALSE;

  entry.storedSize = stored;
  entry.unpackedSize = length;
  StoreRlzPackEntry(slot, entry);
  dataOffset_ += stored;
  ++index_;
  return TRUE;
}

BOOL CPackWriter::Finish() {
  if (file_ == nullptr) {
    SetLastError(error_ != 0 ? error_ : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!failed_) {
    // Slots never filled stay placeholders whose offsets keep growing.
    for (DWORD i = index_; i < count_; ++i) {
      RlzPackEntry entry{};
      entry.dataOffset = static_cast<DWORD>(dataOffset_);
      StoreRlzPackEntry(directory_.data() + RlzDirectorySize(i), entry);
    }
    RlzPackHeader header{{'R', 'L', 'Z', '2'}, count_, static_cast<DWORD>(dataOffset_ + RlzDirectorySize(count_)), 0};
    StoreRlzPackHeader(directory_.data(), header);
    if (SetFilePointer(file_, 0, nullptr, FILE_BEGIN) != 0)
      Fail(GetLastError());
    else
      WriteBytes(directory_.data(), static_cast<DWORD>(directory_.size()));
  }
  // The pack is on the disk before its name replaces the previous pack's.
  if (!failed_ && !FlushFileBuffers(file_)) Fail(GetLastError());
  if (failed_) {
    Abandon();
    SetLastError(error_);
    return FALSE;
  }
  const BOOL closed = CloseHandle(file_);
  file_ = nullptr;
  directory_.clear();
  coded_.clear();
  if (!closed) {
    Fail(GetLastError());
    RemoveTemporary();
    SetLastError(error_);
    return FALSE;
  }
  // One rename replaces the previous pack: it is whole until the new one is,
  // and the rename itself is on the disk when the call returns.
  if (!MoveFileExA(tempPath_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail(GetLastError());
    RemoveTemporary();
    SetLastError(error_);
    return FALSE;
  }
  // The pack is in place even when the disk did not confirm the rename.
  unconfirmed_ = GetLastError();
  return TRUE;
}
