// The pack (".mlz"): a 16-byte header, a directory of 84-byte entries and the
// entries' data back to back.  Numbers are little-endian u32.
#pragma once

#include <cstdint>

constexpr uint32_t RLZ_HEADER_SIZE = 16;
constexpr uint32_t RLZ_ENTRY_SIZE = 84;
constexpr uint32_t RLZ_NAME_SIZE = 64;  // zero-terminated: at most 63 bytes of text
constexpr uint32_t RLZ_METHOD_STORED = 0;
constexpr uint32_t RLZ_METHOD_LZSS = 1;

struct RlzPackHeader {
  char magic[4];  // "RLZ2" (readers also take "RLZ3")
  uint32_t entryCount;
  uint32_t totalSize;  // header + directory + data: the file's size
  uint32_t reserved;
};

struct RlzPackEntry {
  char name[RLZ_NAME_SIZE];
  uint32_t storedSize;
  uint32_t unpackedSize;
  uint32_t method;
  uint32_t dataOffset;  // from the end of the directory
  uint32_t reserved;
};

// Bytes of header plus directory for count entries (64-bit: count comes from files).
constexpr unsigned long long RlzDirectorySize(unsigned long long count) {
  return RLZ_HEADER_SIZE + RLZ_ENTRY_SIZE * count;
}

void StoreRlzPackHeader(uint8_t* dst, const RlzPackHeader& header);
void LoadRlzPackHeader(const uint8_t* src, RlzPackHeader* header);
void StoreRlzPackEntry(uint8_t* dst, const RlzPackEntry& entry);
void LoadRlzPackEntry(const uint8_t* src, RlzPackEntry* entry);

// 1 for "RLZ2" and "RLZ3".
int IsRlzPackMagic(const uint8_t* src);
