// Reference copy of the straightforward compressor, kept to prove the fast one
// byte-identical.
#include "lzss_reference.h"

#include <cstring>

CLzssReferenceCompressor::CLzssReferenceCompressor() {
  std::memset(ring_, 0, sizeof ring_);
  for (auto& c : child_) c[0] = c[1] = kNil;
  for (short& v : parent_) v = kNil;
}

void CLzssReferenceCompressor::InitTree() {
  for (int i = kRoots; i < kRoots + 256; ++i) child_[i][1] = kNil;
  for (int i = 0; i < LZSS_RING_SIZE; ++i) parent_[i] = kNil;
}

namespace {

// Compares bytes 1..16 of a and b one at a time: the index of the first
// difference (or 17 when all are equal) and whether a's byte there is the
// greater.
struct Comparison {
  int index;
  int greater;
};

inline Comparison CompareTail(const BYTE* a, const BYTE* b) {
  for (int i = 1; i < LZSS_MAX_MATCH; ++i)
    if (a[i] != b[i]) return {i, a[i] > b[i]};
  return {LZSS_MAX_MATCH, 0};
}

}  // namespace

void CLzssReferenceCompressor::InsertNode(int r) {
  const BYTE* key = &ring_[r];
  int p = kRoots + key[0];
  int side = 1;  // the first step goes right
  int bestPosition = matchPosition;
  int bestLength = 0;
  child_[r][0] = child_[r][1] = kNil;
  for (;;) {
    const int next = child_[p][side];
    if (next == kNil) {
      child_[p][side] = static_cast<short>(r);
      parent_[r] = static_cast<short>(p);
      matchPosition = bestPosition;
      matchLength = bestLength;
      return;
    }
    p = next;
    const Comparison c = CompareTail(key, &ring_[p]);
    if (c.index >= LZSS_MAX_MATCH) {
      bestPosition = p;
      bestLength = c.index;
      break;
    }
    // Only a strictly longer match replaces the one met earlier.
    const bool longer = c.index > bestLength;
    bestPosition = longer ? p : bestPosition;
    bestLength = longer ? c.index : bestLength;
    side = c.greater;
  }
  matchPosition = bestPosition;
  matchLength = bestLength;
  // Full match: r takes p's place, so the older copy leaves the tree.
  parent_[r] = parent_[p];
  child_[r][0] = child_[p][0];
  child_[r][1] = child_[p][1];
  parent_[child_[p][0]] = static_cast<short>(r);
  parent_[child_[p][1]] = static_cast<short>(r);
  ReplaceChild(p, r);
  parent_[p] = kNil;
}

// p's parent now points to q on the side where p was.
inline void CLzssReferenceCompressor::ReplaceChild(int p, int q) {
  const int up = parent_[p];
  if (child_[up][1] == p)
    child_[up][1] = static_cast<short>(q);
  else
    child_[up][0] = static_cast<short>(q);
}

void CLzssReferenceCompressor::DeleteNode(int p) {
  if (parent_[p] == kNil) return;
  int q;
  if (child_[p][1] == kNil) {
    q = child_[p][0];
  } else if (child_[p][0] == kNil) {
    q = child_[p][1];
  } else {
    q = child_[p][0];
    if (child_[q][1] != kNil) {
      do {
        q = child_[q][1];
      } while (child_[q][1] != kNil);
      child_[parent_[q]][1] = child_[q][0];
      parent_[child_[q][0]] = parent_[q];
      child_[q][0] = child_[p][0];
      parent_[child_[p][0]] = static_cast<short>(q);
    }
    child_[q][1] = child_[p][1];
    parent_[child_[p][1]] = static_cast<short>(q);
  }
  parent_[q] = parent_[p];
  ReplaceChild(p, q);
  parent_[p] = kNil;
}

int CLzssReferenceCompressor::Compress(BYTE* output, const BYTE* input, DWORD length) {
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
  for (int i = 1; i <= LZSS_MAX_MATCH; ++i) InsertNode(r - i);
  InsertNode(r);

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
    int i = 0;
    for (; i < last && in < length; ++i) {
      const BYTE c = input[in++];
      DeleteNode(s);
      ring_[s] = c;
      if (s < LZSS_MAX_MATCH - 1) ring_[s + LZSS_RING_SIZE] = c;
      s = (s + 1) & (LZSS_RING_SIZE - 1);
      r = (r + 1) & (LZSS_RING_SIZE - 1);
      InsertNode(r);
    }
    while (i++ < last) {
      DeleteNode(s);
      s = (s + 1) & (LZSS_RING_SIZE - 1);
      r = (r + 1) & (LZSS_RING_SIZE - 1);
      if (--len) InsertNode(r);
    }
  } while (len > 0);

  if (groupSize > 1) {
    std::memcpy(output + total, group, groupSize);
    total += groupSize;
  }
  return total;
}
