// Reading a JBP1 stream's count tables and bit streams, shared by the
// picture decoder and the movie-frame decoder: the bit reader, the widened
// numbers and the Huffman look-up over a tree of either builder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <windows.h>

#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"

// Little-endian words read from bit 0 up, i.e. bit i of the stream is bit
// i % 8 of byte i / 8.  Past the end it yields zeros; Overrun() tells.
struct Jbp1BitReader {
  const BYTE* data;
  size_t size;
  size_t pos = 0;  // bytes taken into buf, past-the-end ones included
  uint64_t buf = 0;
  int count = 0;  // valid bits in buf

  Jbp1BitReader(const BYTE* d, size_t n) : data(d), size(n) {}

  void Refill() {
    if (pos + 8 <= size) {
      uint64_t v;
      std::memcpy(&v, data + pos, 8);
      buf |= v << count;
      pos += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count <= 56) {
      buf |= static_cast<uint64_t>(pos < size ? data[pos] : 0) << count;
      ++pos;
      count += 8;
    }
  }
  void Skip(int n) {
    buf >>= n;
    count -= n;
  }
  bool Overrun() const { return pos * 8 - static_cast<size_t>(count) > size * 8; }
};

inline constexpr std::array<uint8_t, 256> kJbp1BitReverse = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    t[i] = static_cast<uint8_t>(r);
  }
  return t;
}();

// A category-c number, most significant bit first, widened as in JPEG.
inline int Jbp1ReadNumber(Jbp1BitReader& br, int c) {
  if (c == 0) return 0;
  if (br.count < c) br.Refill();
  const unsigned raw = static_cast<unsigned>(br.buf) & 0xFFFF;
  const unsigned r = (static_cast<unsigned>(kJbp1BitReverse[raw & 0xFF]) << 8 | kJbp1BitReverse[raw >> 8]) >> (16 - c);
  br.Skip(c);
  const int v = static_cast<int>(r & ((1u << c) - 1));
  return v < (1 << (c - 1)) ? v - (1 << c) + 1 : v;
}

// A code tree with a table of its first kBits bits, so that most symbols
// take one look-up; longer codes go on node by node.  Tree is the builder's
// record; Build is its builder, returning the node count (2n - 1 when whole).
template <typename Tree, int (*BuildTree)(DWORD*, int, Tree*)>
struct Jbp1Huffman {
  static constexpr int kBits = 10;
  int n = 0;
  Tree tree;
  uint32_t table[1 << kBits];  // node | bits used << 16
  // For the AC tree: a code and the extra bits of its value that fit in
  // the first kBits bits, decoded in one step.  Entry: bits used in 0-3,
  // code length in 4-7, positions advanced in 8-13, the value in 16-31;
  // 0 for everything else.
  int32_t fast[1 << kBits];

  bool Build(const DWORD* stored, int symbols) {
    DWORD counts[2 * JBP1_AC_SYMBOLS - 1];
    std::memcpy(counts, stored, symbols * sizeof(DWORD));
    n = symbols;
    if (BuildTree(counts, n, &tree) != 2 * n - 1) return false;
    struct Item {
      int node, depth;
      uint32_t prefix;
    };
    Item stack[2 * JBP1_AC_SYMBOLS];
    int top = 0;
    stack[top++] = {2 * n - 2, 0, 0};
    while (top > 0) {
      const Item it = stack[--top];
      if (it.node < n || it.depth == kBits) {
        for (uint32_t i = it.prefix; i < (1u << kBits); i += 1u << it.depth)
          table[i] = static_cast<uint32_t>(it.node) | static_cast<uint32_t>(it.depth) << 16;
        continue;
      }
      stack[top++] = {Jbp1Child(tree, it.node, 0), it.depth + 1, it.prefix};
      stack[top++] = {Jbp1Child(tree, it.node, 1), it.depth + 1, it.prefix | (1u << it.depth)};
    }
    return true;
  }

  void BuildFast() {
    for (uint32_t i = 0; i < (1u << kBits); ++i) {
      fast[i] = 0;
      const int node = static_cast<int>(table[i] & 0xFFFF);
      const int length = static_cast<int>(table[i] >> 16);
      if (node >= n || node == 0 || node >= 0xF0) continue;
      const int c = node & 15;
      if (c == 0 || length + c > kBits) continue;
      int r = 0;
      for (int b = 0; b < c; ++b) r = (r << 1) | ((i >> (length + b)) & 1);
      const int value = r < (1 << (c - 1)) ? r - (1 << c) + 1 : r;
      fast[i] = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | ((node >> 4) + 1) << 8 | length << 4 |
                (length + c);
    }
  }

  int Decode(Jbp1BitReader& br) const {
    if (br.count < kBits) br.Refill();
    const uint32_t e = table[br.buf & ((1u << kBits) - 1)];
    br.Skip(static_cast<int>(e >> 16));
    int node = static_cast<int>(e & 0xFFFF);
    while (node >= n) {
      if (br.count == 0) br.Refill();
      const int bit = static_cast<int>(br.buf & 1);
      br.Skip(1);
      node = Jbp1Child(tree, node, bit);
    }
    return node;
  }
};

inline int Jbp1Child(const HuffmanTreeLinks& tree, int node, int bit) {
  return bit ? tree.secondChild[node] : tree.firstChild[node];
}

// The parts of a JBP1 stream after its header.
struct Jbp1Streams {
  DWORD dcCounts[JBP1_DC_SYMBOLS];
  DWORD acCounts[JBP1_AC_SYMBOLS];
  const BYTE* quant;  // 64 luma then 64 chroma bytes, natural order; null without tables
  const BYTE* dc;
  size_t dcLength;
  const BYTE* ac;
  size_t acLength;
};

// The count tables at the offset the header gives (16 DC counts, then the
// 256 AC counts as 1,024 bytes with zero runs and padding to 4), the
// quantisation tables when header byte 11 bit 3 is set, the DC stream of the
// length at byte 28 and the AC stream to the end.  False when a part runs
// past the stream or a run overfills the table.
inline bool ReadJbp1Streams(const BYTE* in, size_t size, Jbp1Streams* out) {
  if (in == nullptr || size < 32) return false;
  size_t pos = GetLe32(in + 4);
  if (pos > size || size - pos < 4 * JBP1_DC_SYMBOLS) return false;
  for (int i = 0; i < JBP1_DC_SYMBOLS; ++i) out->dcCounts[i] = GetLe32(in + pos + 4 * i);
  pos += 4 * JBP1_DC_SYMBOLS;
  BYTE raw[4 * JBP1_AC_SYMBOLS];
  const size_t acTable = pos;
  size_t filled = 0;
  while (filled < sizeof raw) {
    if (pos >= size) return false;
    const BYTE b = in[pos++];
    if (b != 0) {
      raw[filled++] = b;
      continue;
    }
    if (pos >= size) return false;
    const size_t zeros = static_cast<size_t>(in[pos++]) + 1;
    if (zeros > sizeof raw - filled) return false;
    std::memset(raw + filled, 0, zeros);
    filled += zeros;
  }
  for (int i = 0; i < JBP1_AC_SYMBOLS; ++i) out->acCounts[i] = GetLe32(raw + 4 * i);
  pos = acTable + ((pos - acTable + 3) & ~size_t(3));
  out->quant = nullptr;
  if (in[11] & 0x08) {
    if (pos > size || size - pos < 128) return false;
    out->quant = in + pos;
    pos += 128;
  }
  const size_t dcLength = GetLe32(in + 28);
  if (pos > size || size - pos < dcLength) return false;
  out->dc = in + pos;
  out->dcLength = dcLength;
  out->ac = in + pos + dcLength;
  out->acLength = size - pos - dcLength;
  return true;
}
