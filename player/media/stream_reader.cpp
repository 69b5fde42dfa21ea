#include "player/media/stream_reader.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "common/file.h"
#include "formats/le_bytes.h"
#include "player/core/movie_decoder.h"

namespace {

// The reader's waits are for the other thread's progress, which runs in
// real time: they must not move the game's clock.
void WaitReal(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ReadAt(HANDLE file, uint64_t position, void* buffer, DWORD count, DWORD* got) {
  *got = 0;
  if (position > 0x7FFFFFFFu) return false;
  if (SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  return ReadFile(file, buffer, count, got, nullptr) != 0;
}

}  // namespace

int ReadMovieFileHeader(const BYTE* b, DWORD fileSize, MovieFileHeader* out) {
  std::memset(out, 0, sizeof *out);
  if (fileSize < MOVIE_HEADER_SIZE) return 0;
  out->jmv2 = b[3] == '2' ? 1 : 0;
  out->frameCount = GetLe32(b + 8);
  out->rateNumerator = GetLe32(b + 12);
  out->rateDenominator = GetLe32(b + 16);
  out->width = GetLe32(b + 20);
  out->height = GetLe32(b + 24);
  if (out->jmv2) {
    out->width = ~out->width;
    out->height = ~out->height;
  }
  const uint64_t indexEnd = MOVIE_HEADER_SIZE + uint64_t{MOVIE_INDEX_ENTRY} * out->frameCount;
  if (indexEnd > fileSize) return 0;
  if (out->rateNumerator == 0 || out->rateDenominator == 0) return 0;
  if (out->width == 0 || out->height == 0 || out->width > 0xFFFF || out->height > 0xFFFF) return 0;
  const uint64_t macroblocks = uint64_t{(out->width + 15) / 16} * ((out->height + 15) / 16);
  if (macroblocks > MOVIE_MAX_MACROBLOCKS) return 0;
  return 1;
}

StreamReader::StreamReader(const char* path, DWORD halfSize) {
  const WCHAR* wide = path ? SjisToWide(path) : nullptr;
  if (!wide) return;
  file_ = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return;
  DWORD high = 0;
  const DWORD low = GetFileSize(file_, &high);
  if (low == INVALID_FILE_SIZE || high != 0 || low > 0x7FFFFFFFu) return;
  fileSize_ = low;
  BYTE head[72] = {};
  DWORD got = 0;
  if (!ReadAt(file_, 0, head, sizeof head, &got) || got < MOVIE_HEADER_SIZE) return;
  if (!ReadMovieFileHeader(head, static_cast<DWORD>(fileSize_), &header_)) return;
  indexSize_ = (header_.frameCount + 2) * MOVIE_INDEX_ENTRY;
  BYTE* index = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, indexSize_));
  if (!index) return;
  if (!ReadAt(file_, 0, index, indexSize_, &got) || got != indexSize_) {
    LocalFree(index);
    return;
  }
  filePosition_ = indexSize_;
  index_ = index;
  DWORD largest = 0;
  for (DWORD f = 0; f < header_.frameCount; ++f)
    if (FrameSize(f) > largest) largest = FrameSize(f);
  halfSize_ = halfSize;
  if (header_.width >= 640 || header_.height >= 640) halfSize_ *= 4;
  if (halfSize_ < largest) halfSize_ = largest;
  if (halfSize_ == 0) halfSize_ = 1;
  halves_[0] = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, halfSize_));
  halves_[1] = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, halfSize_));
  if (!halves_[0] || !halves_[1]) {
    LocalFree(index_);
    index_ = nullptr;
    return;
  }
  if (header_.frameCount == 0) {
    stop_ = 1;
    return;
  }
  FillHalf(0, 0);
  if (next_ < header_.frameCount) FillHalf(1, next_);
}

StreamReader::~StreamReader() {
  stop_ = 1;
  if (started_) {
    CThreadCtrl ctrl(this);
    ctrl.Stop();
    ctrl.Wait(INFINITE);
    ctrl.Close();
  }
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  for (BYTE*& h : halves_) {
    if (h) LocalFree(h);
    h = nullptr;
  }
  if (index_) LocalFree(index_);
  index_ = nullptr;
}

int StreamReader::Start() {
  if (!IsOpen() || started_) return started_;
  CThreadCtrl ctrl(this);
  started_ = ctrl.Start() != 0 ? 1 : 0;
  return started_;
}

DWORD StreamReader::BatchLimit() const {
  if (header_.width >= 480) return 8;
  return header_.rateNumerator >= 24 ? 4 : 2;
}

DWORD StreamReader::FrameSize(DWORD f) const {
  const BYTE* e = index_ + MOVIE_HEADER_SIZE + f * MOVIE_INDEX_ENTRY;
  const uint64_t size = GetLe32(e + 4);
  const uint64_t position = uint64_t{indexSize_} + GetLe32(e + 16);
  // An entry whose data lies outside the file is not readable.
  return position + size <= fileSize_ ? static_cast<DWORD>(size) : 0;
}

uint64_t StreamReader::FramePosition(DWORD f) const {
  return uint64_t{indexSize_} + GetLe32(index_ + MOVIE_HEADER_SIZE + f * MOVIE_INDEX_ENTRY + 16);
}

void StreamReader::FillHalf(int h, DWORD f) {
  const DWORD n = header_.frameCount;
  const DWORD limit = BatchLimit();
  DWORD taken = 0, bytes = 0;
  const uint64_t first = FramePosition(f);
  HalfFrame frames[kMaxBatch] = {};
  while (taken < limit && f + taken < n) {
    const DWORD size = FrameSize(f + taken);
    // Only frames that follow each other in the file share one read; the
    // first always fits (a half holds the largest frame).
    if (size > 0 && (FramePosition(f + taken) != first + bytes || size > halfSize_ - bytes)) break;
    frames[taken] = {bytes, size};
    bytes += size;
    ++taken;
  }
  DWORD got = 0;
  if (bytes > 0) {
    if (filePosition_ != first) {
      if (!ReadAt(file_, first, halves_[h], bytes, &got)) got = 0;
    } else if (!ReadFile(file_, halves_[h], bytes, &got, nullptr)) {
      got = 0;
    }
    filePosition_ = first + got;
  }
  for (DWORD i = 0; i < taken; ++i)
    if (frames[i].offset + frames[i].size > got) frames[i].size = 0;  // not read whole
  std::memcpy(halfFrames_[h], frames, sizeof frames);
  halfFirst_[h] = f;
  halfCount_[h] = taken;
  fillNext_ = 1 - h;
  next_ = f + taken;
  if (f + taken >= n) stop_ = 1;
}

bool StreamReader::TryFillHalf(int h, DWORD f) {
  filling_ = h;
  if (inUse_ == h) {
    filling_ = -1;
    return false;
  }
  FillHalf(h, f);
  filling_ = -1;
  return true;
}

void StreamReader::Round() {
  const DWORD asked = asked_, next = next_, n = header_.frameCount;
  if (next >= n) return;
  if (asked < next) {
    const int h = fillNext_;
    if (asked >= halfFirst_[h] + halfCount_[h]) TryFillHalf(h, next);
  } else if (!busy_) {
    if (TryFillHalf(0, asked) && next_ < n) TryFillHalf(1, next_);
  }
}

DWORD StreamReader::Run() {
  while (!stop_ && !IsKilled()) {
    Round();
    WaitReal(5);
  }
  return 0;
}

const BYTE* StreamReader::GetFrame(DWORD f, DWORD* size) {
  if (size) *size = 0;
  if (!IsOpen() || f >= header_.frameCount) return nullptr;
  asked_ = f;
  while (f >= next_) {
    if (started_ && !stop_)
      WaitReal(1);
    else
      Round();
  }
  if (!started_) Round();
  busy_ = 1;
  const BYTE* found = nullptr;
  DWORD foundSize = 0;
  for (int h = 0; h < 2 && !found; ++h) {
    inUse_ = h;
    while (filling_ == h) WaitReal(1);  // a fill that began before the claim
    const DWORD first = halfFirst_[h], count = halfCount_[h];
    if (f >= first && f < first + count && halfFrames_[h][f - first].size > 0) {
      found = halves_[h] + halfFrames_[h][f - first].offset;
      foundSize = halfFrames_[h][f - first].size;
      lastHalf_ = h;
    } else {
      inUse_ = -1;
    }
  }
  if (found) {
    last_ = found;
    lastSize_ = foundSize;
  } else if (last_) {
    // The last frame again, if its half still holds it.
    inUse_ = lastHalf_;
    while (filling_ == lastHalf_) WaitReal(1);
    const DWORD count = halfCount_[lastHalf_];
    bool stillThere = false;
    for (DWORD i = 0; i < count && !stillThere; ++i)
      stillThere = halves_[lastHalf_] + halfFrames_[lastHalf_][i].offset == last_ &&
                   halfFrames_[lastHalf_][i].size == lastSize_ && lastSize_ > 0;
    if (stillThere) {
      found = last_;
      foundSize = lastSize_;
    } else {
      inUse_ = -1;
    }
  }
  busy_ = 0;
  if (size) *size = foundSize;
  return found;
}

void StreamReader::ReleaseFrame() { inUse_ = -1; }
