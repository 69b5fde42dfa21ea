#include "formats/rbp_format.h"

#include <cstring>

#include "formats/le_bytes.h"

void StoreRbpHeader(uint8_t* dst, const RbpHeader& h) {
  std::memcpy(dst, h.magic, 4);
  PutLe32(dst + 4, h.type);
  PutLe32(dst + 8, h.width);
  PutLe32(dst + 12, h.height);
  PutLe32(dst + 16, h.headerSize);
  PutLe16(dst + 20, static_cast<uint16_t>(h.sourceWidth));
  PutLe16(dst + 22, static_cast<uint16_t>(h.sourceHeight));
  PutLe16(dst + 24, static_cast<uint16_t>(h.valueA));
  PutLe16(dst + 26, static_cast<uint16_t>(h.valueB));
  PutLe32(dst + 28, h.jbp1Length);
  PutLe32(dst + 32, h.alphaLength);
}

int32_t LoadRbpHeader(const uint8_t* src, uint32_t size, RbpHeader* h) {
  if (src == nullptr || size < RBP_HEADER_SIZE) return 0;
  std::memcpy(h->magic, src, 4);
  h->type = GetLe32(src + 4);
  h->width = GetLe32(src + 8);
  h->height = GetLe32(src + 12);
  h->headerSize = GetLe32(src + 16);
  h->sourceWidth = static_cast<int16_t>(GetLe16(src + 20));
  h->sourceHeight = static_cast<int16_t>(GetLe16(src + 22));
  h->valueA = static_cast<int16_t>(GetLe16(src + 24));
  h->valueB = static_cast<int16_t>(GetLe16(src + 26));
  h->jbp1Length = GetLe32(src + 28);
  h->alphaLength = GetLe32(src + 32);
  return 1;
}
