// The encoder's bit writer: codes collect in a 64-bit word and leave it as
// whole bytes with 0xFF stuffing.  The bytes and the points of failure are
// those of a writer that appends one byte at a time: memory output fails
// with -28 exactly when a byte would be stored at the end of the buffer.
#pragma once

#include <cstring>

#include "jpeg/jpeg_internal.h"

#define JPEG_INLINE inline __attribute__((always_inline))

// Stores one entropy-coded byte (and its stuffing) with the exact checks.
inline JpegStatus JpegAppendByte(JpegOutputStream* s, uint8_t b) {
  for (int i = 0; i < 2; ++i) {
    if (s->cursor == s->end) {
      if (!s->file) return JPEG_ERR_BUFFER_SMALL;
      JpegStatus st = JpegWriteFullBuffer(s);
      if (st != 0) return st;
    }
    *s->cursor++ = b;
    ++s->total;
    if (!s->file) --s->freeBytes;
    if (b != 0xFF) break;
    b = 0;
  }
  return JPEG_SUCCESS;
}

inline bool JpegWordHasFF(uint64_t w) {
  const uint64_t inv = ~w;
  return ((inv - 0x0101010101010101ull) & ~inv & 0x8080808080808080ull) != 0;
}

// Stores a full 64-bit word of bits, most significant byte first.
JPEG_INLINE JpegStatus JpegEmitWord(JpegOutputStream* s, uint64_t w) {
  if (__builtin_expect(s->end - s->cursor >= 16, 1)) {
    uint8_t* c = s->cursor;
    if (__builtin_expect(!JpegWordHasFF(w), 1)) {
      const uint64_t be = __builtin_bswap64(w);
      std::memcpy(c, &be, 8);
      c += 8;
    } else {
      for (int i = 56; i >= 0; i -= 8) {
        const uint8_t b = (uint8_t)(w >> i);
        *c++ = b;
        if (b == 0xFF) *c++ = 0;
      }
    }
    const int32_t n = (int32_t)(c - s->cursor);
    s->cursor = c;
    s->total += (uint32_t)n;
    if (!s->file) s->freeBytes -= n;
    return JPEG_SUCCESS;
  }
  for (int i = 56; i >= 0; i -= 8) {
    JpegStatus st = JpegAppendByte(s, (uint8_t)(w >> i));
    if (st != 0) return st;
  }
  return JPEG_SUCCESS;
}

// Writes the n (0..32) low bits of v; v must have no bits above them.
JPEG_INLINE JpegStatus JpegPutBitsFast(JpegOutputStream* s, uint64_t v, int32_t n) {
  if (__builtin_expect(n < s->bitFree, 1)) {
    s->bitAcc = (s->bitAcc << n) | v;
    s->bitFree -= n;
    return JPEG_SUCCESS;
  }
  const int32_t rest = n - s->bitFree;
  const uint64_t w = (s->bitAcc << s->bitFree) | (v >> rest);
  s->bitAcc = v;
  s->bitFree = 64 - rest;
  return JpegEmitWord(s, w);
}

// Moves the whole pending bytes out; at most 7 bits stay pending.
inline JpegStatus JpegEmitWholeBytes(JpegOutputStream* s) {
  int32_t pend = 64 - s->bitFree;
  while (pend >= 8) {
    JpegStatus st = JpegAppendByte(s, (uint8_t)(s->bitAcc >> (pend - 8)));
    if (st != 0) return st;
    pend -= 8;
    s->bitFree += 8;
  }
  return JPEG_SUCCESS;
}

// Completes a pending partial byte with 1-bits and stores it.
inline JpegStatus JpegCompletePendingByte(JpegOutputStream* s) {
  JpegStatus st = JpegEmitWholeBytes(s);
  if (st != 0) return st;
  const int32_t pend = 64 - s->bitFree;
  if (pend > 0) {
    const uint8_t b = (uint8_t)((s->bitAcc << (8 - pend)) | ((1u << (8 - pend)) - 1));
    st = JpegAppendByte(s, b);
    if (st != 0) return st;
  }
  s->bitAcc = 0;
  s->bitFree = 64;
  return JPEG_SUCCESS;
}

JpegStatus JpegEmitWordOutOfLine(JpegOutputStream* s, uint64_t w);

// The pending bits of a stream held in registers while one block is coded;
// Store() hands them back to the stream.
struct JpegLocalBits {
  uint64_t acc;
  int32_t free;
  JpegOutputStream* s;
  explicit JpegLocalBits(JpegOutputStream* stream) : acc(stream->bitAcc), free(stream->bitFree), s(stream) {}
  void Store() const {
    s->bitAcc = acc;
    s->bitFree = free;
  }
  // The n (0..32) low bits of v; v has no bits above them.
  JPEG_INLINE JpegStatus Put(uint64_t v, int32_t n) {
    if (__builtin_expect(n < free, 1)) {
      acc = (acc << n) | v;
      free -= n;
      return JPEG_SUCCESS;
    }
    const int32_t rest = n - free;
    const uint64_t w = (acc << free) | (v >> rest);
    acc = v;
    free = 64 - rest;
    return JpegEmitWordOutOfLine(s, w);
  }
};

// Block coding with room to spare: every symbol leaves its whole bytes at
// once (an 8-byte store), and the block's 0xFF bytes get their stuffing in
// one pass at its end, so at most 7 bits stay pending.  Only used while the
// buffer holds kBlockRoom more bytes than a block can produce.
struct JpegFastBits {
  static constexpr int64_t kBlockRoom = 1024;
  uint64_t acc;
  int32_t cnt;
  uint8_t* cur;
  uint8_t* blockStart;
  JpegOutputStream* s;
  explicit JpegFastBits(JpegOutputStream* stream)
      : acc(stream->bitAcc), cnt(64 - stream->bitFree), cur(stream->cursor), blockStart(stream->cursor), s(stream) {}
  void Store() {
    // Count the 0xFF bytes eight at a time; the room reserved for the block
    // covers the bytes read past its end.
    int32_t ff = 0;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (uint8_t* p = blockStart; p < cur; p += 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      const uint64_t x = ~w;  // a 0xFF byte is a zero byte here
      uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
      if (cur - p < 8) zero &= (1ull << (8 * (cur - p))) - 1;
      ff += (int32_t)(((zero >> 7) * 0x0101010101010101ull) >> 56);  // one per flagged byte
    }
    if (ff) {
      uint8_t* src = cur;
      uint8_t* dst = cur + ff;
      while (src > blockStart) {
        const uint8_t b = *--src;
        if (b == 0xFF) *--dst = 0;
        *--dst = b;
      }
      cur += ff;
    }
    const int32_t n = (int32_t)(cur - s->cursor);
    s->cursor = cur;
    s->total += (uint32_t)n;
    if (!s->file) s->freeBytes -= n;
    s->bitAcc = acc;
    s->bitFree = 64 - cnt;
  }
  // n is 1..32 here: every symbol has a code.
  JPEG_INLINE JpegStatus Put(uint64_t v, int32_t n) {
    acc = (acc << n) | v;
    cnt += n;
    const uint64_t be = __builtin_bswap64(acc << (64 - cnt));
    std::memcpy(cur, &be, 8);
    cur += cnt >> 3;
    cnt &= 7;
    return JPEG_SUCCESS;
  }
};

// Makes room for a fast block: true when JpegFastBits may be used now.
// File output writes out what its buffer holds; at most 7 bits stay pending.
inline bool JpegPrepareFastBlock(JpegOutputStream* s, JpegStatus* st) {
  *st = JPEG_SUCCESS;
  if (s->bitFree < 57 && (*st = JpegEmitWholeBytes(s)) != 0) return false;
  if (__builtin_expect(s->end - s->cursor >= JpegFastBits::kBlockRoom, 1)) return true;
  if (!s->file) return false;
  if ((*st = JpegWriteFullBuffer(s)) != 0) return false;
  return s->end - s->cursor >= JpegFastBits::kBlockRoom;
}
