// The JBP1 stream: the quantised DCT coefficients of a 4:2:0 baseline JPEG,
// re-coded with Huffman codes built from symbol counts stored in the stream.
// Layout: 44-byte header, 16 DC counts (u32), the 256 AC counts as 1024 bytes
// with zero runs (padded to 4), the luma and chroma quantisation tables, the
// DC bit stream and the AC bit stream.  Bit streams are little-endian 32-bit
// words filled from bit 0 up; codes go root first, numbers most significant
// bit first.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

constexpr DWORD JBP1_HEADER_SIZE = 44;
constexpr DWORD JBP1_FLAGS = 0x08000001;  // bit 27: quantisation tables present
constexpr DWORD JBP1_FLAG_QUANT_TABLES = 0x08000000;
constexpr int JBP1_DC_SYMBOLS = 16;
constexpr int JBP1_AC_SYMBOLS = 256;
constexpr int JBP1_BLOCKS_PER_MCU = 6;  // Y, Y, Y, Y, Cb, Cr

constexpr DWORD HUFFMAN_LIVE_LIMIT = 2099999999u;
constexpr DWORD HUFFMAN_USED_COUNT = 2100000000u;
constexpr int HUFFMAN_MAX_NODES = 512;

constexpr int AC_RUN_TAG = 100;
constexpr int AC_END_TAG = 101;

// Natural (row-major) index of each zigzag position.
extern const BYTE Jbp1ZigzagToNatural[64];

struct Jbp1Header {
  char magic[4];     // "JBP1"
  DWORD headerSize;  // offset of the count tables
  DWORD flags;
  DWORD quality;
  WORD width;
  WORD height;
  DWORD bitsPerPixel;  // 24
  DWORD reserved1;
  DWORD dcLength;  // bytes, a multiple of 4
  DWORD acLength;
  DWORD reserved2;
  DWORD value;  // 0
};

void StoreJbp1Header(BYTE* dst, const Jbp1Header& header);

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
void PickTwoSmallest(const DWORD* counts, int nodeCount, int* first, int* second);

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
int MergeHuffmanNodes(DWORD* counts, int n, Link link) {
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
    counts[k] = sum < HUFFMAN_LIVE_LIMIT ? static_cast<DWORD>(sum) : HUFFMAN_USED_COUNT;
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
int BuildHuffmanTree(DWORD* counts, int n, HuffmanTreeLinks* tree);

// Category of a value: 0 for 0, else the bit length of |v| (at most 15).
int DcCategory(int value);
// Category and its extra bits (negative values: the low bits of v - 1).
void SplitCategoryBits(int value, int* category, DWORD* bits);
