// Reads a ".jmv" / ".jmv2" movie file ahead of the player: the header and the
// frame index at once, then the frames in batches into two buffer halves, on
// a worker thread of its own (or, when that thread cannot start, on the
// thread that asks for frames).
//
// File layout (little-endian words): magic (byte 3 '2' for ".jmv2"), a word
// not read, frame count N, rate numerator R1 and denominator R2, frame width
// and height (bit-inverted in ".jmv2"), 20 bytes not read; then N index
// entries of 24 bytes (size at +4, data position counted from the end of the
// index at +16); then the frames.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "common/thread.h"

constexpr DWORD MOVIE_HEADER_SIZE = 48;
constexpr DWORD MOVIE_INDEX_ENTRY = 24;
constexpr DWORD MOVIE_HALF_SIZE = 65536;

struct MovieFileHeader {
  DWORD frameCount;
  DWORD rateNumerator;
  DWORD rateDenominator;
  DWORD width;
  DWORD height;
  int jmv2;
};

// Reads and checks the 48 header bytes against the file's size: a frame
// count whose index does not fit the file, a rate of 0 or a frame size
// outside the movie decoder's limits makes it return 0.
int ReadMovieFileHeader(const BYTE* bytes, DWORD fileSize, MovieFileHeader* out);

class StreamReader : public CWinThreadMaster {
 public:
  // Opens the file and reads the header, the index and the first two
  // halves on the calling thread.  halfSize grows four times for frames 640
  // wide or high, and to the largest frame.
  StreamReader(const char* path, DWORD halfSize);
  ~StreamReader() override;

  // 1 when the header and index were read and checked.
  int IsOpen() const { return index_ != nullptr; }
  // Starts the worker thread; 0 when it could not start (reads then happen
  // inside GetFrame).
  int Start();
  // The frame's bytes inside a half and their size; the last frame handed
  // out again when the asked one is in neither half or was not readable
  // (null when there is none).  The bytes stay in place until ReleaseFrame.
  const BYTE* GetFrame(DWORD frame, DWORD* size);
  void ReleaseFrame();
  int IsJmv2() const { return header_.jmv2; }
  const MovieFileHeader& Header() const { return header_; }
  DWORD HalfSize() const { return halfSize_; }
  DWORD BatchLimit() const;

  DWORD Run() override;

 private:
  struct HalfFrame {
    DWORD offset;  // in the half
    DWORD size;    // 0: not readable
  };
  static constexpr int kMaxBatch = 8;

  // Fills half h from frame f: consecutive frames, at most the batch limit,
  // while they fit the half; one read.
  void FillHalf(int h, DWORD f);
  // Claims the half against the game thread's use, then fills it.
  bool TryFillHalf(int h, DWORD f);
  // One round of the worker's loop.
  void Round();
  uint64_t FramePosition(DWORD f) const;
  DWORD FrameSize(DWORD f) const;

  std::atomic<int> started_{0};
  std::atomic<int> stop_{0};
  BYTE* halves_[2] = {nullptr, nullptr};
  DWORD halfSize_ = 0;
  std::atomic<DWORD> halfFirst_[2] = {0, 0};
  std::atomic<DWORD> halfCount_[2] = {0, 0};
  HalfFrame halfFrames_[2][kMaxBatch] = {};
  std::atomic<int> fillNext_{0};
  std::atomic<DWORD> next_{0};
  std::atomic<DWORD> asked_{0};
  std::atomic<int> busy_{0};
  // The half the game thread reads from, and the half being filled (-1 none).
  std::atomic<int> inUse_{-1};
  std::atomic<int> filling_{-1};
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t fileSize_ = 0;
  uint64_t filePosition_ = 0;
  const BYTE* last_ = nullptr;
  DWORD lastSize_ = 0;
  int lastHalf_ = -1;
  MovieFileHeader header_{};
  BYTE* index_ = nullptr;
  DWORD indexSize_ = 0;
};
