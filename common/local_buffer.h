// Owns one local-heap block (LocalAlloc, or a call that hands one out) and
// frees it when it goes out of scope.
#pragma once

#include <windows.h>

struct LocalBuffer {
  BYTE* p = nullptr;
  explicit LocalBuffer(BYTE* q = nullptr) : p(q) {}
  ~LocalBuffer() { reset(); }
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  // Frees the block held and takes q.
  void reset(BYTE* q = nullptr) {
    if (p) LocalFree(p);
    p = q;
  }
  // Hands the block over to the caller.
  BYTE* release() {
    BYTE* q = p;
    p = nullptr;
    return q;
  }
};
