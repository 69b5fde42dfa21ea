// Writes one pack: Begin with the entry count, AddEntry for each entry in
// turn (stored or LZSS-coded), Finish.  The file is written under a temporary
// name and only renamed to its own name by a successful Finish, so a run that
// stops half-way never leaves a pack that looks complete.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

class CPackWriter {
 public:
  CPackWriter() = default;
  ~CPackWriter();  // an unfinished pack is abandoned
  CPackWriter(const CPackWriter&) = delete;
  CPackWriter& operator=(const CPackWriter&) = delete;

  // Creates "<path>.tmp" and reserves the directory for entryCount entries.
  // FALSE when the file cannot be created or written.
  BOOL Begin(LPCSTR path, DWORD entryCount);

  // Writes the next entry.  An empty entry is stored (method 0, size 0).
  // FALSE, with nothing written, when the name does not fit the 64-byte
  // field (63 bytes of text): the entry's slot stays an empty placeholder so
  // that later entries keep their indices.  FALSE when all reserved slots are
  // used, or when a write fails (the pack is then lost: Finish fails).
  // Every FALSE sets the last error; once the pack is lost, to Error().
  BOOL AddEntry(LPCSTR name, const BYTE* data, DWORD length, BOOL compress);

  // Writes the final directory (slots never filled stay empty placeholders),
  // closes the file and renames it over <path>.  FALSE, with the last error
  // set to Error(), when anything failed; the temporary file is then removed
  // (LeftBehind() names it when it could not be) and <path> is left as it was.
  // TRUE also when the pack is in place but the disk did not confirm the
  // rename: Unconfirmed() then tells why.
  BOOL Finish();

  // Closes and removes the temporary file.
  void Abandon();

  DWORD EntryCount() const { return count_; }
  DWORD EntriesAdded() const { return index_; }
  BOOL Failed() const { return failed_; }
  // Why the pack was lost (the error of the first failure), 0 while it is not.
  DWORD Error() const { return error_; }
  // After a Finish that succeeded: why the disk did not confirm the pack's
  // rename, 0 when it did.
  DWORD Unconfirmed() const { return unconfirmed_; }
  // The temporary file of a lost pack that could not be removed; else empty.
  const std::string& LeftBehind() const { return leftBehind_; }

 private:
  BOOL WriteBytes(const BYTE* data, DWORD length);
  // Marks the pack as lost for `error` (the first failure's is kept), sets
  // the last error to it and returns FALSE.
  BOOL Fail(DWORD error);
  // Deletes the temporary file; remembers it in leftBehind_ when it stays.
  void RemoveTemporary();

  HANDLE file_ = nullptr;
  std::string path_;
  std::string tempPath_;
  std::string leftBehind_;
  std::vector<BYTE> directory_;
  std::vector<BYTE> coded_;
  DWORD count_ = 0;
  DWORD index_ = 0;
  unsigned long long dataOffset_ = 0;
  BOOL failed_ = FALSE;
  DWORD error_ = 0;
  DWORD unconfirmed_ = 0;
};
