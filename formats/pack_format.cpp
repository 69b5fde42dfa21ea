#include "formats/pack_format.h"

#include <cstring>

#include "formats/le_bytes.h"

void StoreRlzPackHeader(uint8_t* dst, const RlzPackHeader& header) {
  std::memcpy(dst, header.magic, 4);
  PutLe32(dst + 4, header.entryCount);
  PutLe32(dst + 8, header.totalSize);
  PutLe32(dst + 12, header.reserved);
}

void LoadRlzPackHeader(const uint8_t* src, RlzPackHeader* header) {
  std::memcpy(header->magic, src, 4);
  header->entryCount = GetLe32(src + 4);
  header->totalSize = GetLe32(src + 8);
  header->reserved = GetLe32(src + 12);
}

void StoreRlzPackEntry(uint8_t* dst, const RlzPackEntry& entry) {
  std::memcpy(dst, entry.name, RLZ_NAME_SIZE);
  PutLe32(dst + 64, entry.storedSize);
  PutLe32(dst + 68, entry.unpackedSize);
  PutLe32(dst + 72, entry.method);
  PutLe32(dst + 76, entry.dataOffset);
  PutLe32(dst + 80, entry.reserved);
}

void LoadRlzPackEntry(const uint8_t* src, RlzPackEntry* entry) {
  std::memcpy(entry->name, src, RLZ_NAME_SIZE);
  entry->storedSize = GetLe32(src + 64);
  entry->unpackedSize = GetLe32(src + 68);
  entry->method = GetLe32(src + 72);
  entry->dataOffset = GetLe32(src + 76);
  entry->reserved = GetLe32(src + 80);
}

int IsRlzPackMagic(const uint8_t* src) {
  return src[0] == 'R' && src[1] == 'L' && src[2] == 'Z' && (src[3] == '2' || src[3] == '3');
}
