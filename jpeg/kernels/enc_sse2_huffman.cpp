// SSE2 Huffman block encoder: finds the non-zero coefficients through a
// bitmap in zigzag order and writes exactly the plain encoder's bytes.
#include <emmintrin.h>

#include <array>

#include "jpeg/encoder/enc_bitwriter.h"
#include "jpeg/kernels/enc_kernels.h"

namespace {

constexpr int32_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                                 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

using ZigzagBits = std::array<std::array<uint64_t, 256>, 8>;

// For byte i of a natural-order bitmap, the same bits in zigzag order.
constexpr ZigzagBits MakeZigzagBits() {
  int32_t pos[64] = {};
  for (int k = 0; k < 64; ++k) pos[kZigzag[k]] = k;
  ZigzagBits t{};
  for (int i = 0; i < 8; ++i)
    for (int v = 0; v < 256; ++v) {
      uint64_t m = 0;
      for (int b = 0; b < 8; ++b)
        if (v & (1 << b)) m |= 1ull << pos[8 * i + b];
      t[i][v] = m;
    }
  return t;
}
constexpr ZigzagBits kZigzagBits = MakeZigzagBits();

constexpr std::array<uint8_t, 64> MakeZigzag8() {
  std::array<uint8_t, 64> t{};
  for (int k = 0; k < 64; ++k) t[k] = (uint8_t)kZigzag[k];
  return t;
}
constexpr std::array<uint8_t, 64> kZigzag8 = MakeZigzag8();

inline int32_t Category(uint32_t m) { return m ? 32 - __builtin_clz(m) : 0; }

// Per coefficient (natural order): its category and its value bits.
struct Prepared {
  alignas(16) uint8_t cat[64];
  alignas(16) uint16_t val[64];
};

// The natural-order bitmap of the non-zero coefficients.
JPEG_INLINE uint64_t NonZero(const int16_t* block) {
  const __m128i zero = _mm_setzero_si128();
  uint64_t zeros = 0;
  for (int r = 0; r < 8; r += 2) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r + 8));
    const __m128i z = _mm_packs_epi16(_mm_cmpeq_epi16(v0, zero), _mm_cmpeq_epi16(v1, zero));
    zeros |= (uint64_t)(uint32_t)_mm_movemask_epi8(z) << (8 * r);
  }
  return ~zeros;
}

inline int32_t CountBits(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ull;
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return (int32_t)((x * 0x0101010101010101ull) >> 56);
}

// Fills pr for every coefficient; true when a category exceeds 15.
JPEG_INLINE bool Prepare(const int16_t* block, Prepared& pr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(126);
  const __m128i minVal = _mm_set1_epi16(-32768);
  __m128i over = zero;
  for (int r = 0; r < 8; r += 2) {
    __m128i cat[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * (r + h)));
      const __m128i sign = _mm_srai_epi16(v, 15);
      const __m128i mag = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
      // Category from the exponent of the magnitude as a float.
      const __m128i flo = _mm_castps_si128(_mm_cvtepi32_ps(_mm_unpacklo_epi16(mag, zero)));
      const __m128i fhi = _mm_castps_si128(_mm_cvtepi32_ps(_mm_unpackhi_epi16(mag, zero)));
      cat[h] = _mm_subs_epu16(_mm_packs_epi32(_mm_srli_epi32(flo, 23), _mm_srli_epi32(fhi, 23)), bias);
      // The value bits: the magnitude, or its complement within the
      // category's width (all ones up to the top bit) for a negative value.
      __m128i width = _mm_or_si128(mag, _mm_srli_epi16(mag, 1));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 2));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 4));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 8));
      _mm_store_si128(reinterpret_cast<__m128i*>(pr.val + 8 * (r + h)), _mm_xor_si128(mag, _mm_and_si128(width, sign)));
      over = _mm_or_si128(over, _mm_cmpeq_epi16(v, minVal));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(pr.cat + 8 * r), _mm_packus_epi16(cat[0], cat[1]));
  }
  return _mm_movemask_epi8(over) != 0;
}

template <class Bits>
JPEG_INLINE JpegStatus PutSymbol(Bits& b, const JpegHuffEncodeTable* t, int32_t sym, uint32_t bits, int32_t cat) {
  const uint32_t e = t->packed[sym];
  if (__builtin_expect(e == 0, 0)) return JPEG_ERR_BAD_HUFFMAN;
  return b.Put(((uint64_t)(e >> 8) << cat) | bits, (int32_t)(e & 0xFF) + cat);
}

JPEG_INLINE JpegStatus PutDc(JpegLocalBits& b, const JpegHuffEncodeTable* dc, int32_t* lastDc, const int16_t* block) {
  const int32_t diff = block[0] - *lastDc;
  *lastDc = block[0];
  const int32_t cat = Category((uint32_t)(diff < 0 ? -diff : diff));
  return PutSymbol(b, dc, cat, (uint32_t)(diff < 0 ? diff - 1 : diff) & ((1u << cat) - 1), cat);
}

// Bits of a block whose bytes surely fit: whole 64-bit words leave at once,
// with their stuffing, and nothing is checked against the end.
struct RoomyBits {
  uint64_t acc;
  int32_t free;
  uint8_t* cur;
  // n is 1..32.
  JPEG_INLINE void Put(uint64_t v, int32_t n) {
    if (__builtin_expect(n < free, 1)) {
      acc = (acc << n) | v;
      free -= n;
      return;
    }
    const int32_t rest = n - free;
    const uint64_t w = (acc << free) | (v >> rest);
    acc = v;
    free = 64 - rest;
    if (__builtin_expect(!JpegWordHasFF(w), 1)) {
      const uint64_t be = __builtin_bswap64(w);
      std::memcpy(cur, &be, 8);
      cur += 8;
    } else {
      for (int i = 56; i >= 0; i -= 8) {
        const uint8_t byte = (uint8_t)(w >> i);
        *cur++ = byte;
        if (byte == 0xFF) *cur++ = 0;
      }
    }
  }
};

// Bytes a block can produce at most: 64 codes of up to 32 bits, 64 pending
// bits, all of it stuffed.
constexpr int64_t kBlockRoom = 1024;

// The common case: room for the whole block.  A sparse block finds each
// coefficient's category and value bits on the way; a dense one reads them
// from pr, whose categories are all within 15.
template <bool Sparse>
__attribute__((noinline)) JpegStatus EncodeRoomy(JpegOutputStream* s, const JpegHuffEncodeTable* dc,
                                                 const JpegHuffEncodeTable* ac, int32_t* lastDc, const int16_t* block,
                                                 uint64_t bits, const Prepared* pr) {
  RoomyBits b{s->bitAcc, s->bitFree, s->cursor};
  JpegStatus st = JPEG_SUCCESS;
  const uint32_t* table = ac->packed;
  uint32_t e;
  int32_t next = 1;  // zigzag position after the last coded one
  {
    const int32_t diff = block[0] - *lastDc;
    *lastDc = block[0];
    const int32_t cat = Category((uint32_t)(diff < 0 ? -diff : diff));
    e = dc->packed[cat];
    if (__builtin_expect(e == 0, 0)) goto bad;
    b.Put(((uint64_t)(e >> 8) << cat) | ((uint32_t)(diff < 0 ? diff - 1 : diff) & ((1u << cat) - 1)),
          (int32_t)(e & 0xFF) + cat);
  }
  bits &= ~1ull;
  while (bits) {
    const uint32_t k = (uint32_t)__builtin_ctzll(bits);
    bits &= bits - 1;
    uint32_t run = k - (uint32_t)next;
    next = (int32_t)k + 1;
    if (__builtin_expect(run > 15, 0)) {
      e = table[0xF0];
      if (e == 0) goto bad;
      do {
        b.Put(e >> 8, (int32_t)(e & 0xFF));
        run -= 16;
      } while (run > 15);
    }
    const uint32_t z = kZigzag8[k];
    uint32_t cat, val;
    if (Sparse) {
      const int32_t c = block[z];
      const int32_t sign = c >> 31;
      cat = 32 - (uint32_t)__builtin_clz((uint32_t)((c ^ sign) - sign));
      if (__builtin_expect(cat > 15, 0)) goto bad;
      val = (uint32_t)(c + sign) & ((1u << cat) - 1);
    } else {
      cat = pr->cat[z];
      val = pr->val[z];
    }
    e = table[run * 16 + cat];
    if (__builtin_expect(e == 0, 0)) goto bad;
    b.Put(((uint64_t)(e >> 8) << cat) | val, (int32_t)((e & 0xFF) + cat));
  }
  if (next != 64) {
    e = table[0x00];
    if (e == 0) goto bad;
    b.Put(e >> 8, (int32_t)(e & 0xFF));
  }
  if (false) {
  bad:
    st = JPEG_ERR_BAD_HUFFMAN;
  }
  const int32_t n = (int32_t)(b.cur - s->cursor);
  s->cursor = b.cur;
  s->total += (uint32_t)n;
  if (!s->file) s->freeBytes -= n;
  s->bitAcc = b.acc;
  s->bitFree = b.free;
  return st;
}

// Everything else: the bit writer's checks on every word, and the plain
// coder's order of failures.
__attribute__((noinline)) JpegStatus EncodeChecked(JpegOutputStream* s, const JpegHuffEncodeTable* dc,
                                                   const JpegHuffEncodeTable* ac, int32_t* lastDc, const int16_t* block,
                                                   uint64_t bits) {
  JpegLocalBits b(s);
  JpegStatus st = PutDc(b, dc, lastDc, block);
  int32_t prev = 0;
  bits &= ~1ull;
  while (st == 0 && bits) {
    const int32_t k = __builtin_ctzll(bits);
    bits &= bits - 1;
    int32_t run = k - prev - 1;
    prev = k;
    while (st == 0 && run > 15) {
      st = PutSymbol(b, ac, 0xF0, 0, 0);
      run -= 16;
    }
    if (st != 0) break;
    const int32_t c = block[kZigzag8[k]];
    const int32_t cat = Category((uint32_t)(c < 0 ? -c : c));
    if (cat > 15) {
      st = JPEG_ERR_BAD_HUFFMAN;
      break;
    }
    st = PutSymbol(b, ac, run * 16 + cat, (uint32_t)(c < 0 ? c - 1 : c) & ((1u << cat) - 1), cat);
  }
  if (st == 0 && prev != 63) st = PutSymbol(b, ac, 0x00, 0, 0);
  b.Store();
  return st;
}

}  // namespace

JpegStatus JpegEncodeBlockSse2(JpegOutputStream* s, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                               int32_t* lastDc, const int16_t* block) {
  const uint64_t nonzero = NonZero(block);
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= kZigzagBits[i][(nonzero >> (8 * i)) & 255];

  if (__builtin_expect(s->end - s->cursor < kBlockRoom, 0)) {
    // File output writes out its buffer to make the room.
    if (!s->file) return EncodeChecked(s, dc, ac, lastDc, block, bits);
    const JpegStatus st = JpegWriteFullBuffer(s);
    if (st != 0) return st;
    if (s->end - s->cursor < kBlockRoom) return EncodeChecked(s, dc, ac, lastDc, block, bits);
  }
  // Few coefficients are cheaper one by one than all of them in lanes.
  if (CountBits(nonzero) <= 16) return EncodeRoomy<true>(s, dc, ac, lastDc, block, bits, nullptr);
  Prepared pr;
  if (__builtin_expect(Prepare(block, pr), 0)) return EncodeChecked(s, dc, ac, lastDc, block, bits);
  return EncodeRoomy<false>(s, dc, ac, lastDc, block, bits, &pr);
}
