// Reference copy of the straightforward compressor, kept to prove the fast one
// byte-identical.  Test-only; same state and output as CLzssCompressor.
#pragma once

#include <windows.h>

#include "converter/lzss_compressor.h"

class CLzssReferenceCompressor {
 public:
  CLzssReferenceCompressor();

  int Compress(BYTE* output, const BYTE* input, DWORD length);

  void InitTree();
  void InsertNode(int r);
  void DeleteNode(int p);

  int matchPosition = 0;
  int matchLength = 0;

 private:
  void ReplaceChild(int p, int q);

  static constexpr int kNil = LZSS_RING_SIZE;
  static constexpr int kRoots = LZSS_RING_SIZE + 1;

  BYTE ring_[LZSS_RING_SIZE + LZSS_MAX_MATCH - 1];
  short child_[LZSS_RING_SIZE + 1 + 256][2];
  short parent_[LZSS_RING_SIZE + 1];
};
