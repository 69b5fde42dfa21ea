#include "formats/jbp1_stream.h"

#include <algorithm>
#include <cstring>

#include "formats/le_bytes.h"

const uint8_t Jbp1ZigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

void StoreJbp1Header(uint8_t* dst, const Jbp1Header& h) {
  std::memcpy(dst, h.magic, 4);
  PutLe32(dst + 4, h.headerSize);
  PutLe32(dst + 8, h.flags);
  PutLe32(dst + 12, h.quality);
  PutLe16(dst + 16, h.width);
  PutLe16(dst + 18, h.height);
  PutLe32(dst + 20, h.bitsPerPixel);
  PutLe32(dst + 24, h.reserved1);
  PutLe32(dst + 28, h.dcLength);
  PutLe32(dst + 32, h.acLength);
  PutLe32(dst + 36, h.reserved2);
  PutLe32(dst + 40, h.value);
}

void PickTwoSmallest(const uint32_t* counts, int nodeCount, int* first, int* second) {
  int a = -100, b = -100;
  for (int i = 0; i < nodeCount; ++i) {
    if (counts[i] >= HUFFMAN_LIVE_LIMIT) continue;
    if (a < 0 || counts[i] < counts[a]) a = i;
  }
  for (int i = 0; i < nodeCount; ++i) {
    if (i == a || counts[i] >= HUFFMAN_LIVE_LIMIT) continue;
    if (b < 0 || counts[i] < counts[b]) b = i;
  }
  *first = a;
  *second = b;
}

int BuildHuffmanTree(uint32_t* counts, int n, HuffmanTreeLinks* tree) {
  for (int i = 0; i < 2 * n - 1; ++i) {
    tree->firstChild[i] = tree->secondChild[i] = -1;
    tree->parent[i] = 0;
  }
  return MergeHuffmanNodes(counts, n, [tree](int k, int first, int second) {
    tree->firstChild[k] = static_cast<short>(first);
    tree->secondChild[k] = static_cast<short>(second);
    tree->parent[first] = static_cast<short>(k);
    tree->parent[second] = static_cast<short>(-k);
  });
}

int DcCategory(int value) {
  const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  if (magnitude == 0) return 0;
  if (magnitude >= 32768) return 15;
  return 32 - __builtin_clz(magnitude);
}

void SplitCategoryBits(int value, int* category, uint32_t* bits) {
  const int c = DcCategory(value);
  *category = c;
  const uint32_t mask = (1u << c) - 1;
  *bits = (value < 0 ? static_cast<uint32_t>(value) - 1 : static_cast<uint32_t>(value)) & mask;
}
