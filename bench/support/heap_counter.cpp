#include "bench/support/heap_counter.h"

#include <atomic>
#include <cstddef>

namespace {
std::atomic<long> g_blocks{0};
}

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
  g_blocks.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
  g_blocks.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
  g_blocks.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}

long HeapBlocksTaken() { return g_blocks.load(std::memory_order_relaxed); }
