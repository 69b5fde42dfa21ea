// The pack (".mlz"): a 16-byte header, a directory of 84-byte entries and the
// entries' data back to back.  Numbers are little-endian u32.
#pragma once

#include <windows.h>

constexpr DWORD RLZ_HEADER_SIZE = 16;
constexpr DWORD RLZ_ENTRY_SIZE = 84;
constexpr DWORD RLZ_NAME_SIZE = 64;  // zero-terminated: at most 63 bytes of text
constexpr DWORD RLZ_METHOD_STORED = 0;
constexpr DWORD RLZ_METHOD_LZSS = 1;

struct RlzPackHeader {
  char magic[4];  // "RLZ2" (readers also take "RLZ3")
  DWORD entryCount;
  DWORD totalSize;  // header + directory + data: the file's size
  DWORD reserved;
};

struct RlzPackEntry {
  char name[RLZ_NAME_SIZE];
  DWORD storedSize;
  DWORD unpackedSize;
  DWORD method;
  DWORD dataOffset;  // from the end of the directory
  DWORD reserved;
};

// Bytes of header plus directory for count entries (64-bit: count comes from files).
constexpr unsigned long long RlzDirectorySize(unsigned long long count) {
  return RLZ_HEADER_SIZE + RLZ_ENTRY_SIZE * count;
}

void StoreRlzPackHeader(BYTE* dst, const RlzPackHeader& header);
void LoadRlzPackHeader(const BYTE* src, RlzPackHeader* header);
void StoreRlzPackEntry(BYTE* dst, const RlzPackEntry& entry);
void LoadRlzPackEntry(const BYTE* src, RlzPackEntry* entry);

// 1 for "RLZ2" and "RLZ3".
int IsRlzPackMagic(const BYTE* src);
