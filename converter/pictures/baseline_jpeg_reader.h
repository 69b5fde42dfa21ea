// The converter's own reader of the baseline JPEG that the codec library
// writes: it parses the markers and Huffman-decodes every block into
// coefficients (quantised value x quantiser), without building pixels.
// It reads sequential Huffman frames (SOF0/SOF1) of 8-bit precision with
// three components in one interleaved scan, restart markers, APPn and COM;
// anything else, and any damaged stream, makes Parse fail.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class CMemoryByteSource {
 public:
  CMemoryByteSource(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  // Copies up to n of the remaining bytes; returns how many it copied.
  DWORD Read(BYTE* buffer, DWORD n);
  DWORD Position() const { return pos_; }

 private:
  const BYTE* data_;
  DWORD size_;
  DWORD pos_ = 0;
};

class CBaselineJpegReader {
 public:
  static constexpr int kBlockSize = 64;
  static constexpr int kMaxBlocksPerMcu = 10;

  // The coefficient store is the reader's own, or the caller's vector when
  // one is given: a caller that reads many pictures keeps its memory.
  explicit CBaselineJpegReader(std::vector<int32_t>* store = nullptr);
  ~CBaselineJpegReader();
  CBaselineJpegReader(const CBaselineJpegReader&) = delete;
  CBaselineJpegReader& operator=(const CBaselineJpegReader&) = delete;

  // Reads one picture; false when the stream is outside what the reader
  // takes or is damaged (the results are then not to be used).
  bool Parse(CMemoryByteSource* source);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Quantisation table n (0..3) in zigzag order, as read.
  const uint16_t* QuantTable(int n) const { return quant_[n & 3]; }
  // Blocks in decode order; each 64 values in natural order.
  size_t BlockCount() const { return store_->size() / kBlockSize; }
  const int32_t* Block(size_t i) const { return store_->data() + i * kBlockSize; }
  int BlocksPerMcu() const { return blocksPerMcu_; }
  int McuColumns() const { return mcuColumns_; }
  int McuRows() const { return mcuRows_; }
  // Sampling factors of the scan components, in scan order.
  int ScanComponents() const { return scanCount_; }
  int ScanH(int i) const { return scan_[i].h; }
  int ScanV(int i) const { return scan_[i].v; }

  // Stored by the caller, read back by it; the reader does not use it.
  int quality = 0;

 private:
  struct HuffmanTable {
    bool defined = false;
    uint8_t counts[17] = {};
    uint8_t symbols[256] = {};
    int32_t firstCode[17] = {};
    int32_t firstIndex[17] = {};
    int maxLength = 0;
  };
  struct FrameComponent {
    int id = 0, h = 0, v = 0, tq = 0;
  };
  struct ScanComponent {
    int id = 0, dc = 0, ac = 0, h = 0, v = 0, tq = 0;
  };

  // Byte level.
  bool Refill();
  bool GetByte(BYTE* b);
  void PushBack(int n);
  bool GetU16(uint32_t* v);
  bool Skip(uint32_t n);
  bool FindMarker(int* code);
  // Entropy level.
  void EnterEntropy();
  void LeaveEntropy();
  bool GetBit(int* bit);
  bool GetBits(int n, int32_t* v);
  bool DecodeSymbol(const HuffmanTable& t, int* symbol);

  bool ReadHeaders();
  bool ReadFrame(uint32_t length, int marker);
  bool ReadHuffman(uint32_t length);
  bool ReadQuant(uint32_t length);
  bool ReadScan(uint32_t length);
  bool ReadApp0(uint32_t length);
  bool DecodeScan();
  bool DecodeMcu();
  bool DecodeBlock(int c, int32_t* block);

  CMemoryByteSource* source_ = nullptr;
  BYTE buffer_[4 + 2048] = {};
  int cursor_ = 4;
  int end_ = 4;
  int current_ = 0;   // current entropy byte
  int bitsLeft_ = 0;  // its bits not yet used
  bool entropy_ = false;
  int pendingMarker_ = 0;
  int phantomBytes_ = 0;

  unsigned flags_ = 0;
  int jfifMajor_ = 0, jfifMinor_ = 0, densityUnits_ = 0, xDensity_ = 0, yDensity_ = 0, thumbW_ = 0, thumbH_ = 0;
  int frameMarker_ = 0, precision_ = 0, width_ = 0, height_ = 0, frameCount_ = 0;
  FrameComponent frame_[4];
  int scanCount_ = 0;
  ScanComponent scan_[4];
  int spectralStart_ = 0, spectralEnd_ = 0, approxHigh_ = 0, approxLow_ = 0;
  uint16_t quant_[4][64] = {};
  bool quantDefined_[4] = {};
  HuffmanTable dcTables_[4];
  HuffmanTable acTables_[4];
  uint32_t restartInterval_ = 0;

  int32_t predictor_[4] = {};
  uint32_t restartCount_ = 0;
  int hMax_ = 1, vMax_ = 1, blocksPerMcu_ = 0, mcuColumns_ = 0, mcuRows_ = 0;
  std::vector<int32_t> ownStore_;
  std::vector<int32_t>* store_;
};
