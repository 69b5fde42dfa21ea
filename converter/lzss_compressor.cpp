#include "converter/lzss_compressor.h"

#include <cstring>

namespace {
CLzssCompressor g_compressor;

constexpr int kRingMask = LZSS_RING_SIZE - 1;

// Compares bytes 1..16 of a and b: the index of the first difference (or 17
// when all are equal) and whether a's byte there is the greater.  Whole words
// are compared, big-endian for the order.
struct Comparison {
  int index;
  int greater;
};

inline Comparison CompareTail(const BYTE* a, const BYTE* b) {
  uint64_t x, y;
  std::memcpy(&x, a + 1, 8);
  std::memcpy(&y, b + 1, 8);
  if (x != y) return {1 + (__builtin_ctzll(x ^ y) >> 3), __builtin_bswap64(x) > __builtin_bswap64(y)};
  std::memcpy(&x, a + 9, 8);
  std::memcpy(&y, b + 9, 8);
  if (x != y) return {9 + (__builtin_ctzll(x ^ y) >> 3), __builtin_bswap64(x) > __builtin_bswap64(y)};
  return {LZSS_MAX_MATCH, 0};
}

}  // namespace

CLzssCompressor::CLzssCompressor() {
  std::memset(ring_, 0, sizeof ring_);
  for (auto& l : link_) l[0] = l[1] = kNil;
  for (short& v : parent_) v = kNil;
}

void CLzssCompressor::InitTree() {
  for (int i = kRoots; i < kRoots + 256; ++i) link_[i][1] = kNil;
  for (int i = 0; i < LZSS_RING_SIZE; ++i) parent_[i] = kNil;
}

void CLzssCompressor::InsertNode(int r) { Insert(r); }
void CLzssCompressor::DeleteNode(int p) { Delete(p); }

// The link to node p: p's key bytes 1..3, big-endian, in the top 20 bits.
// (Also defined for the none entry, whose prefix bits are never looked at.)
inline uint32_t CLzssCompressor::LinkTo(int p) const {
  uint32_t w;
  std::memcpy(&w, &ring_[p + 1], 4);
  return (__builtin_bswap32(w) & ~kNodeMask) | static_cast<uint32_t>(p);
}

inline bool CLzssCompressor::SameKey(int a, int b) const {
  uint64_t x0, x1, y0, y1;
  std::memcpy(&x0, &ring_[a], 8);
  std::memcpy(&y0, &ring_[b], 8);
  std::memcpy(&x1, &ring_[a + 8], 8);
  std::memcpy(&y1, &ring_[b + 8], 8);
  return ((x0 ^ y0) | (x1 ^ y1)) == 0 && ring_[a + 16] == ring_[b + 16];
}

// A key already in the tree is found by any walk at the one node that holds
// it, whatever lies on the path; so when the caller can name that node the
// walk is skipped: the match is that node, 17 bytes, and r takes its place.
inline int CLzssCompressor::InsertWithHint(int r, int hint) {
  if (parent_[hint] != kNil && hint != r && SameKey(r, hint)) {
    matchPosition = hint;
    matchLength = LZSS_MAX_MATCH;
    TakePlace(hint, r);
    return hint;
  }
  return Insert(r);
}

// The run's tree node (numbered runNode) gets its real number, the run's
// last position; the search result is that of the last step of the run.
inline void CLzssCompressor::EndRun(int runNode, int last) {
  if (runNode != last) TakePlace(runNode, last);
  matchPosition = (last - 1) & kRingMask;
  matchLength = LZSS_MAX_MATCH;
}

// Returns the node r replaced on a full match, or -1.
inline int CLzssCompressor::Insert(int r) {
  const BYTE* key = &ring_[r];
  const uint32_t keyLink = LinkTo(r);
  const uint32_t keyPrefix = keyLink & ~kNodeMask;
  int p = kRoots + key[0];
  int side = 1;  // the first step goes right
  int bestPosition = matchPosition;
  int bestLength = 0;
  link_[r][0] = link_[r][1] = kNil;
  for (;;) {
    const uint32_t link = link_[p][side];
    const int next = Node(link);
    if (next == kNil) {
      link_[p][side] = keyLink;
      parent_[r] = static_cast<short>(p);
      matchPosition = bestPosition;
      matchLength = bestLength;
      return -1;
    }
    p = next;
    int index;
    const uint32_t diff = (link & ~kNodeMask) ^ keyPrefix;
    if (diff != 0) {
      // The stored prefix decides: the low bits below it cannot
      // change an order that the prefix already sets.
      index = 1 + (__builtin_clz(diff) >> 3);
      side = keyPrefix > link;
    } else {
      const Comparison c = CompareTail(key, &ring_[p]);
      if (c.index >= LZSS_MAX_MATCH) {
        bestPosition = p;
        bestLength = c.index;
        break;
      }
      index = c.index;
      side = c.greater;
    }
    // Only a strictly longer match replaces the one met earlier.
    const bool longer = index > bestLength;
    bestPosition = longer ? p : bestPosition;
    bestLength = longer ? index : bestLength;
  }
  matchPosition = bestPosition;
  matchLength = bestLength;
  // Full match: r takes p's place, so the older copy leaves the tree.
  TakePlace(p, r);
  return p;
}

// r (same key as p, not in a tree) takes p's place; p leaves the tree.
inline void CLzssCompressor::TakePlace(int p, int r) {
  parent_[r] = parent_[p];
  link_[r][0] = link_[p][0];
  link_[r][1] = link_[p][1];
  parent_[Child(p, 0)] = static_cast<short>(r);
  parent_[Child(p, 1)] = static_cast<short>(r);
  ReplaceChild(p, LinkTo(r));
  parent_[p] = kNil;
}

// p's parent now holds link on the side where p was.
inline void CLzssCompressor::ReplaceChild(int p, uint32_t link) {
  const int up = parent_[p];
  link_[up][Child(up, 1) == p] = link;
}

inline void CLzssCompressor::Delete(int p) {
  if (parent_[p] == kNil) return;
  const int left = Child(p, 0);
  const int right = Child(p, 1);
  uint32_t qLink;
  if (right == kNil) {
    qLink = link_[p][0];
  } else if (left == kNil) {
    qLink = link_[p][1];
  } else {
    qLink = link_[p][0];
    int q = left;
    if (Child(q, 1) != kNil) {
      do {
        qLink = link_[q][1];
        q = Node(qLink);
      } while (Child(q, 1) != kNil);
      link_[parent_[q]][1] = link_[q][0];
      parent_[Child(q, 0)] = parent_[q];
      link_[q][0] = link_[p][0];
      parent_[left] = static_cast<short>(q);
    }
    link_[q][1] = link_[p][1];
    parent_[right] = static_cast<short>(q);
  }
  const int q = Node(qLink);
  parent_[q] = parent_[p];
  ReplaceChild(p, qLink);
  parent_[p] = kNil;
}

int CLzssCompressor::Compress(BYTE* output, const BYTE* input, DWORD length) {
  // The coded length must stay reportable as a positive int.
  if (length == 0 || length > 0x70000000u) return -1;

  InitTree();
  BYTE group[1 + 2 * 8];
  group[0] = 0;
  int groupSize = 1;
  unsigned mask = 1;
  int total = 0;

  std::memset(ring_, 0, LZSS_START);
  int r = LZSS_START;
  int s = 0;
  DWORD in = 0;
  int len = 0;
  while (len < LZSS_MAX_MATCH && in < length) ring_[r + len++] = input[in++];
  for (int i = 1; i <= LZSS_MAX_MATCH; ++i) Insert(r - i);
  // Inside a repeat, the key at r + 1 is most often the one at the node
  // that r just replaced, plus one: that node is tried before a walk.
  int full = Insert(r);

  do {
    if (matchLength > len) matchLength = len;
    if (matchLength <= 1) {
      matchLength = 1;
      group[0] |= static_cast<BYTE>(mask);
      group[groupSize++] = ring_[r];
    } else {
      group[groupSize++] = static_cast<BYTE>(matchPosition);
      group[groupSize++] = static_cast<BYTE>(((matchPosition >> 4) & 0xF0) | (matchLength - LZSS_MIN_MATCH));
    }
    mask <<= 1;
    if (mask == 0x100) {
      std::memcpy(output + total, group, groupSize);
      total += groupSize;
      group[0] = 0;
      groupSize = 1;
      mask = 1;
    }
    const int last = matchLength;
    const int fed = static_cast<int>(length - in) < last ? static_cast<int>(length - in) : last;
    int i = 0;
    // Inside a run of one byte each position replaces the one before it
    // in the same tree node.  The node keeps its old number meanwhile
    // (nothing else in the tree can tell) and is renamed once when the
    // run stops or this item ends.
    int runNode = -1;
    for (; i < fed; ++i) {
      const BYTE c = input[in++];
      Delete(s);
      ring_[s] = c;
      if (s < LZSS_MAX_MATCH - 1) ring_[s + LZSS_RING_SIZE] = c;
      s = (s + 1) & kRingMask;
      const int prev = r;
      r = (r + 1) & kRingMask;
      // prev replaced prev - 1, so ring[prev - 1 .. prev + 16] is one
      // byte; r's key is prev's exactly when the byte it adds, c, is too.
      if (full == ((prev - 1) & kRingMask) && c == ring_[prev]) {
        if (runNode < 0) runNode = prev;
        full = prev;
        continue;
      }
      if (runNode >= 0) {
        EndRun(runNode, prev);
        runNode = -1;
      }
      full = full >= 0 ? InsertWithHint(r, (full + 1) & kRingMask) : Insert(r);
    }
    if (runNode >= 0) EndRun(runNode, r);
    while (i++ < last) {
      Delete(s);
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      if (--len) full = full >= 0 ? InsertWithHint(r, (full + 1) & kRingMask) : Insert(r);
    }
  } while (len > 0);

  if (groupSize > 1) {
    std::memcpy(output + total, group, groupSize);
    total += groupSize;
  }
  return total;
}

int LzssCompress(BYTE* output, const BYTE* input, DWORD length) { return g_compressor.Compress(output, input, length); }

void LzssInitTree() { g_compressor.InitTree(); }
void LzssInsertNode(int r) { g_compressor.InsertNode(r); }
void LzssDeleteNode(int p) { g_compressor.DeleteNode(p); }
