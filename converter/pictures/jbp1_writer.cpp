#include "converter/pictures/jbp1_writer.h"

#include <cstring>

#include "formats/le_bytes.h"

void ScanAcRuns(const int* block, std::vector<AcPair>* pairs) {
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    const int v = block[Jbp1ZigzagToNatural[k]];
    if (v == 0) {
      ++run;
      continue;
    }
    if (run > 0) pairs->push_back({AC_RUN_TAG, static_cast<DWORD>(run)});
    int category;
    DWORD bits;
    SplitCategoryBits(v, &category, &bits);
    pairs->push_back({category, bits});
    run = 0;
  }
  if (run > 0) pairs->push_back({AC_END_TAG, 0});
}

BOOL MapAcSymbol(AcSymbolCursor* cur, AcSymbol* out) {
  out->bits = 0;
  out->bitCount = 0;
  if (cur->pendingRun < 0) {
    if (cur->position >= cur->count) return FALSE;
    const AcPair& pair = cur->pairs[cur->position++];
    if (pair.tag == AC_END_TAG) {
      out->symbol = 0;
      return TRUE;
    }
    if (pair.tag != AC_RUN_TAG) {
      out->symbol = pair.tag;
      out->bits = pair.value;
      out->bitCount = pair.tag;
      return TRUE;
    }
    cur->pendingRun = static_cast<int>(pair.value);
  }
  const int run = cur->pendingRun;
  if (run > 30) {
    out->symbol = 0xFF;
    cur->pendingRun = run - 30;
    return TRUE;
  }
  cur->pendingRun = -1;
  if (run >= 15) {
    // The value follows as a symbol of its own.
    out->symbol = 0xF0 + (run - 15);
    return TRUE;
  }
  if (cur->position >= cur->count) return FALSE;  // a run is always followed by its value
  const AcPair& value = cur->pairs[cur->position++];
  out->symbol = (run << 4) + value.tag;
  out->bits = value.value;
  out->bitCount = value.tag;
  return TRUE;
}

void BitWriter::PutBit(int bit) {
  accumulator_ |= static_cast<DWORD>(bit & 1) << bitCount_;
  if (++bitCount_ == 32) {
    const size_t at = out_->size();
    out_->resize(at + 4);
    PutLe32(out_->data() + at, accumulator_);
    accumulator_ = 0;
    bitCount_ = 0;
  }
}

void BitWriter::PutBits(DWORD value, int n) {
  for (int i = n - 1; i >= 0; --i) PutBit((value >> i) & 1);
}

void BitWriter::Flush() {
  if (bitCount_ == 0) return;
  const size_t at = out_->size();
  out_->resize(at + 4);
  PutLe32(out_->data() + at, accumulator_);
  accumulator_ = 0;
  bitCount_ = 0;
}

void BitWriter::PutCode(int symbol, int nodeCount, const HuffmanTreeLinks& tree) {
  // Leaf to root, then written root first; codes may be far longer than a
  // word, so they are collected bit by bit.
  BYTE path[HUFFMAN_MAX_NODES];
  int length = 0;
  int node = symbol;
  const int root = nodeCount - 1;
  while (node != root && length < HUFFMAN_MAX_NODES) {
    const int link = tree.parent[node];
    path[length++] = link < 0 ? 1 : 0;
    node = link < 0 ? -link : link;
    if (node == 0) break;  // not in the tree
  }
  while (length > 0) PutBit(path[--length]);
}

std::vector<BYTE> PackAcCounts(const DWORD* counts) {
  BYTE raw[JBP1_AC_SYMBOLS * 4];
  for (int i = 0; i < JBP1_AC_SYMBOLS; ++i) PutLe32(raw + 4 * i, counts[i]);
  std::vector<BYTE> packed;
  for (size_t i = 0; i < sizeof raw;) {
    if (raw[i] != 0) {
      packed.push_back(raw[i++]);
      continue;
    }
    size_t run = 1;
    while (i + run < sizeof raw && raw[i + run] == 0 && run < 256) ++run;
    packed.push_back(0);
    packed.push_back(static_cast<BYTE>(run - 1));
    i += run;
  }
  packed.resize((packed.size() + 3) & ~size_t(3), 0);
  return packed;
}

BYTE* WriteJbp1Stream(const Jbp1Coefficients& pic, DWORD* outLength, Jbp1WriterScratch* scratch) {
  if (outLength != nullptr) *outLength = 0;
  if (outLength == nullptr || pic.blocks == nullptr || pic.width == 0 || pic.height == 0 || pic.width > 0xFFFF ||
      pic.height > 0xFFFF)
    return nullptr;
  const size_t mcus = static_cast<size_t>((pic.width + 15) >> 4) * ((pic.height + 15) >> 4);
  const size_t blockCount = mcus * JBP1_BLOCKS_PER_MCU;
  Jbp1WriterScratch own;
  Jbp1WriterScratch& work = scratch ? *scratch : own;

  // DC: one predictor through all blocks.
  DWORD dcCounts[2 * JBP1_DC_SYMBOLS - 1] = {};
  int* dcDiffs = work.dcDiffs.Get(blockCount);
  if (!dcDiffs) return nullptr;
  int previous = 0;
  for (size_t b = 0; b < blockCount; ++b) {
    const int dc = pic.blocks[b * 64];
    dcDiffs[b] = dc - previous;
    previous = dc;
    ++dcCounts[DcCategory(dcDiffs[b])];
  }

  // AC: the same symbols are counted first and written after.
  std::vector<AcPair>& pairs = work.pairs;
  pairs.clear();
  for (size_t b = 0; b < blockCount; ++b) ScanAcRuns(pic.blocks + b * 64, &pairs);
  std::vector<AcSymbol>& symbols = work.symbols;
  symbols.clear();
  DWORD acCounts[2 * JBP1_AC_SYMBOLS - 1] = {};
  AcSymbolCursor cursor{pairs.data(), pairs.size()};
  AcSymbol symbol;
  while (MapAcSymbol(&cursor, &symbol)) {
    symbols.push_back(symbol);
    ++acCounts[symbol.symbol];
  }

  DWORD dcStored[JBP1_DC_SYMBOLS];
  std::memcpy(dcStored, dcCounts, sizeof dcStored);
  const std::vector<BYTE> packedAc = PackAcCounts(acCounts);

  HuffmanTreeLinks dcTree, acTree;
  const int dcNodes = BuildHuffmanTree(dcCounts, JBP1_DC_SYMBOLS, &dcTree);
  const int acNodes = BuildHuffmanTree(acCounts, JBP1_AC_SYMBOLS, &acTree);
  if (dcNodes != 2 * JBP1_DC_SYMBOLS - 1 || acNodes != 2 * JBP1_AC_SYMBOLS - 1) return nullptr;

  std::vector<BYTE>& dcStream = work.dcStream;
  std::vector<BYTE>& acStream = work.acStream;
  dcStream.clear();
  acStream.clear();
  BitWriter dcWriter(&dcStream), acWriter(&acStream);
  for (size_t b = 0; b < blockCount; ++b) {
    int category;
    DWORD bits;
    SplitCategoryBits(dcDiffs[b], &category, &bits);
    dcWriter.PutCode(category, dcNodes, dcTree);
    if (category != 0) dcWriter.PutBits(bits, category);
  }
  for (const AcSymbol& s : symbols) {
    acWriter.PutCode(s.symbol, acNodes, acTree);
    if (s.bitCount != 0) acWriter.PutBits(s.bits, s.bitCount);
  }
  acWriter.Flush();
  dcWriter.Flush();

  const unsigned long long total = JBP1_HEADER_SIZE + 64ull + packedAc.size() + 128 + dcStream.size() + acStream.size();
  if (total > 0x7FFFFFFFull) return nullptr;
  BYTE* out = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(total)));
  if (out == nullptr) return nullptr;

  Jbp1Header header{};
  std::memcpy(header.magic, "JBP1", 4);
  header.headerSize = JBP1_HEADER_SIZE;
  header.flags = JBP1_FLAGS;
  header.quality = pic.quality;
  header.width = static_cast<WORD>(pic.width);
  header.height = static_cast<WORD>(pic.height);
  header.bitsPerPixel = 24;
  header.dcLength = static_cast<DWORD>(dcStream.size());
  header.acLength = static_cast<DWORD>(acStream.size());
  StoreJbp1Header(out, header);

  BYTE* p = out + JBP1_HEADER_SIZE;
  for (int i = 0; i < JBP1_DC_SYMBOLS; ++i, p += 4) PutLe32(p, dcStored[i]);
  std::memcpy(p, packedAc.data(), packedAc.size());
  p += packedAc.size();
  std::memcpy(p, pic.lumaQuant, 64);
  p += 64;
  std::memcpy(p, pic.chromaQuant, 64);
  p += 64;
  if (!dcStream.empty()) std::memcpy(p, dcStream.data(), dcStream.size());
  p += dcStream.size();
  if (!acStream.empty()) std::memcpy(p, acStream.data(), acStream.size());
  *outLength = static_cast<DWORD>(total);
  return out;
}
