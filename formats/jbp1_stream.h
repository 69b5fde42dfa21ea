// The JBP1 stream: the quantised DCT coefficients of a 4:2:0 baseline JPEG,
// re-coded with Huffman codes built from symbol counts stored in the stream.
// Layout: 44-byte header, 16 DC counts (u32), the 256 AC counts as 1024 bytes
// with zero runs (padded to 4), the luma and chroma quantisation tables, the
// DC bit stream and the AC bit stream.  Bit streams are little-endian 32-bit
// words filled from bit 0 up; codes go root first, numbers most significant
// bit first.
#pragma once

#include <algorithm>
#include <cstdint>

constexpr uint32_t JBP1_HEADER_SIZE = 44;
constexpr uint32_t JBP1_FLAGS = 0x08000001;  // bit 27: quantisation tables present
constexpr uint32_t JBP1_FLAG_QUANT_TABLES = 0x08000000;
constexpr int JBP1_DC_SYMBOLS = 16;
constexpr int JBP1_AC_SYMBOLS = 256;
constexpr int JBP1_BLOCKS_PER_MCU = 6;  // Y, Y, Y, Y, Cb, Cr

constexpr uint32_t HUFFMAN_LIVE_LIMIT = 2099999999u;
constexpr uint32_t HUFFMAN_USED_COUNT = 2100000000u;
constexpr int HUFFMAN_MAX_NODES = 512;

constexpr int AC_RUN_TAG = 100;
constexpr int AC_END_TAG = 101;

// Natural (row-major) index of each zigzag position.
extern const uint8_t Jbp1ZigzagToNatural[64];

struct Jbp1Header {
  char magic[4];        // "JBP1"
  uint32_t headerSize;  // offset of the count tables
  uint32_t flags;
  uint32_t quality;
  uint16_t width;
  uint16_t height;
  uint32_t bitsPerPixel;  // 24
  uint32_t reserved1;
  uint32_t dcLength;  // bytes, a multiple of 4
  uint32_t acLength;
  uint32_t reserved2;
  uint32_t value;  // 0
};

void StoreJbp1Header(uint8_t* dst, const Jbp1Header& header);

// The code tree: nodes 0..n-1 are the symbols, merged nodes follow.  The
// parent link is +k for a first child of node k (bit 0), -k for a second
// child (bit 1).
struct HuffmanTreeLinks {
  short firstChild[HUFFMAN_MAX_NODES];
  short secondChild[HUFFMAN_MAX_NODES];
  short parent[HUFFMAN_MAX_NODES];
};

// The two live nodes (count below HUFFMAN_LIVE_LIMIT) of 0..nodeCount-1 with
// the smallest counts, lowest index first on equal counts; -100 when missing.
void PickTwoSmallest(const uint32_t* counts, int nodeCount, int* first, int* second);

// The merges of the code tree over counts[0..n) (n at most JBP1_AC_SYMBOLS;
// counts has room for 2n - 1 entries and is consumed): the two live nodes
// with the smallest counts, the lower index first on equal counts, become
// node k = n, n + 1, ...; link(k, first, second) records each merge.  A
// merged count that reaches the live limit is stored as HUFFMAN_USED_COUNT
// and takes no part in later merges.  Returns the node count reached.
// Same merges as repeated PickTwoSmallest, without the quadratic scans: live
// leaves sorted by (count, index) in one queue, merged nodes in creation
// order in another.  Merged counts never decrease and a leaf's index is below
// every merged node's, so the smaller front of the two is the next node.
template <typename Link>
int MergeHuffmanNodes(uint32_t* counts, int n, Link link) {
  if (n < 0 || n > JBP1_AC_SYMBOLS) return 0;
  uint16_t leaves[JBP1_AC_SYMBOLS], merged[JBP1_AC_SYMBOLS];
  int leafCount = 0;
  for (int i = 0; i < n; ++i)
    if (counts[i] < HUFFMAN_LIVE_LIMIT) leaves[leafCount++] = static_cast<uint16_t>(i);
  std::stable_sort(leaves, leaves + leafCount, [counts](int x, int y) { return counts[x] < counts[y]; });
  int leafHead = 0, mergedHead = 0, mergedTail = 0;
  auto pop = [&]() -> int {
    const bool haveLeaf = leafHead < leafCount;
    const bool haveMerged = mergedHead < mergedTail;
    if (!haveLeaf && !haveMerged) return -1;
    if (haveLeaf && (!haveMerged || counts[leaves[leafHead]] <= counts[merged[mergedHead]])) return leaves[leafHead++];
    return merged[mergedHead++];
  };
  int k = n;
  for (; k < 2 * n - 1; ++k) {
    const int first = pop();
    const int second = pop();
    if (first < 0 || second < 0) break;
    const unsigned long long sum = static_cast<unsigned long long>(counts[first]) + counts[second];
    counts[k] = sum < HUFFMAN_LIVE_LIMIT ? static_cast<uint32_t>(sum) : HUFFMAN_USED_COUNT;
    link(k, first, second);
    counts[first] = HUFFMAN_USED_COUNT;
    counts[second] = HUFFMAN_USED_COUNT;
    if (counts[k] < HUFFMAN_LIVE_LIMIT) merged[mergedTail++] = static_cast<uint16_t>(k);
  }
  return k;
}

// Builds the tree from n counts (n = 16 or 256; counts has room for 2n - 1
// entries and is overwritten).  Returns the number of nodes, 2n - 1 for a
// complete tree; fewer when counts at or above the live limit stopped the
// merging (such a tree cannot be decoded).  The root is node 2n - 2.
int BuildHuffmanTree(uint32_t* counts, int n, HuffmanTreeLinks* tree);

// Category of a value: 0 for 0, else the bit length of |v| (at most 15).
int DcCategory(int value);
// Category and its extra bits (negative values: the low bits of v - 1).
void SplitCategoryBits(int value, int* category, uint32_t* bits);
