// The LZSS compressor of the handheld data (coding in formats/lzss.h).  Its
// match search (binary trees over ring positions) is fixed so that its output
// is byte-identical to the converter the player's data was made with.
#pragma once

#include <windows.h>

#include <cstdint>

#include "formats/lzss.h"

// The compressor with its state.  Part of the state (the ring bytes behind the
// first block and the 16 mirror bytes) deliberately survives from one call to
// the next: it decides between equally long matches near the end of the
// input, and byte-identical output depends on it.
class CLzssCompressor {
 public:
  CLzssCompressor();

  // Codes length bytes into output (which must hold LzssMaxCompressedSize
  // bytes).  Returns the bytes written, or -1 for empty input (or input too
  // large to report its coded length).
  int Compress(BYTE* output, const BYTE* input, DWORD length);

  void InitTree();
  void InsertNode(int r);
  void DeleteNode(int p);

  int matchPosition = 0;
  int matchLength = 0;

 private:
  int Insert(int r);
  int InsertWithHint(int r, int hint);
  void Delete(int p);
  void TakePlace(int p, int r);
  void EndRun(int runNode, int last);
  bool SameKey(int a, int b) const;
  void ReplaceChild(int p, uint32_t link);
  uint32_t LinkTo(int p) const;
  static int Node(uint32_t link) { return static_cast<int>(link & kNodeMask); }
  int Child(int p, int side) const { return Node(link_[p][side]); }

  static constexpr int kNil = LZSS_RING_SIZE;
  static constexpr int kRoots = LZSS_RING_SIZE + 1;  // roots live at kRoots + first byte
  static constexpr uint32_t kNodeMask = 0xFFF;

  // Ring plus 16 mirror bytes so a 17-byte comparison never wraps.
  BYTE ring_[LZSS_RING_SIZE + LZSS_MAX_MATCH - 1];
  // Child links ([0] left, [1] right; roots use only their right side).
  // A link holds the child's node number in its low 12 bits and the
  // child's key bytes 1..3 (the top 20 bits of them) above, so a walk step
  // mostly decides from the one load of the link, without reading the ring.
  uint32_t link_[LZSS_RING_SIZE + 1 + 256][2];
  short parent_[LZSS_RING_SIZE + 1];
};

// The process-wide compressor the converter codes with (one worker thread).
int LzssCompress(BYTE* output, const BYTE* input, DWORD length);
void LzssInitTree();
void LzssInsertNode(int r);
void LzssDeleteNode(int p);
