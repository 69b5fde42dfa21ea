// Writing a JBP1 stream: the AC scan of each block, the symbols it maps to,
// bit packing root-first along the code tree, and the whole stream from the
// quantised coefficients.
#pragma once

#include <vector>

#include <windows.h>

#include "converter/pictures/scratch_array.h"
#include "formats/jbp1_stream.h"

// One step of a block's AC scan: a run pair (AC_RUN_TAG, run), a value pair
// (category, extra bits) or the end pair (AC_END_TAG, 0).
struct AcPair {
  int tag;
  DWORD value;
};

// Appends the pairs of one block (64 coefficients, natural order).
void ScanAcRuns(const int* block, std::vector<AcPair>* pairs);

struct AcSymbol {
  int symbol;
  DWORD bits;  // extra bits of the value, most significant first
  int bitCount;
};

// Walks a pair list symbol by symbol.  Returns FALSE at the end of the list.
struct AcSymbolCursor {
  const AcPair* pairs;
  size_t count;
  size_t position = 0;
  int pendingRun = -1;  // zeros still to code before the next value
};
BOOL MapAcSymbol(AcSymbolCursor* cursor, AcSymbol* out);

// Bit packing over a growing buffer.
class BitWriter {
 public:
  explicit BitWriter(std::vector<BYTE>* out) : out_(out) {}
  void PutBit(int bit);
  void PutBits(DWORD value, int n);  // the low n bits, most significant first
  void Flush();                      // completes the last word with zeros
  void PutCode(int symbol, int nodeCount, const HuffmanTreeLinks& tree);
  size_t ByteCount() const { return out_->size(); }

 private:
  std::vector<BYTE>* out_;
  DWORD accumulator_ = 0;
  int bitCount_ = 0;
};

// The AC counts as the stream stores them: 1024 bytes with zero runs, padded
// with zeros to a multiple of 4.
std::vector<BYTE> PackAcCounts(const DWORD* counts);

// What a JBP1 stream is made from.
struct Jbp1Coefficients {
  DWORD width;         // 1..65535
  DWORD height;        // 1..65535
  DWORD quality;       // the JPEG quality the coefficients were made with
  BYTE lumaQuant[64];  // natural order
  BYTE chromaQuant[64];
  // Quantised coefficients in natural order: for each 16x16 MCU in raster
  // order six blocks of 64 values (four luma in raster order, Cb, Cr).
  const int* blocks;
};

// The writer's lists and bit streams, kept by a caller that writes many
// streams so that their memory serves every one of them.
struct Jbp1WriterScratch {
  ScratchArray<int> dcDiffs;
  std::vector<AcPair> pairs;
  std::vector<AcSymbol> symbols;
  std::vector<BYTE> dcStream, acStream;
};

// A new LocalAlloc'd JBP1 stream and its length; null when the sizes are out
// of range or allocation fails.  Without scratch the writer uses its own.
BYTE* WriteJbp1Stream(const Jbp1Coefficients& picture, DWORD* outLength, Jbp1WriterScratch* scratch = nullptr);
