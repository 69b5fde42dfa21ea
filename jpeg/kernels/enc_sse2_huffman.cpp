// SSE2 Huffman block encoder: finds the non-zero coefficients through a
// bitmap in zigzag order and writes exactly the plain encoder's bytes.
#include <emmintrin.h>

#include <array>

#include "jpeg/encoder/enc_bitwriter.h"
#include "jpeg/kernels/enc_kernels.h"

namespace {

constexpr int32_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

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

inline int32_t Category(int32_t m) { return m ? 32 - __builtin_clz((uint32_t)m) : 0; }

template <class Bits>
JPEG_INLINE JpegStatus PutSymbol(Bits& b, const JpegHuffEncodeTable* t, int32_t sym, uint32_t bits,
                                 int32_t cat) {
  const uint32_t e = t->packed[sym];
  if (__builtin_expect(e == 0, 0)) return JPEG_ERR_BAD_HUFFMAN;
  return b.Put(((uint64_t)(e >> 8) << cat) | bits, (int32_t)(e & 0xFF) + cat);
}

// Coefficient magnitudes and their value bits, natural order.
struct Prepared {
  alignas(16) uint16_t mag[64];
  alignas(16) int16_t val[64];
};

template <class Bits>
JPEG_INLINE JpegStatus EncodeBits(Bits& b, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                                  int32_t* lastDc, const int16_t* block, uint64_t bits, const Prepared& pr) {
  const int32_t diff = block[0] - *lastDc;
  *lastDc = block[0];
  int32_t cat = Category(diff < 0 ? -diff : diff);
  JpegStatus st = PutSymbol(b, dc, cat, (uint32_t)(diff < 0 ? diff - 1 : diff) & ((1u << cat) - 1), cat);
  if (st != 0) return st;

  bits &= ~1ull;
  int32_t last = 0;
  while (bits) {
    const int32_t k = __builtin_ctzll(bits);
    bits &= bits - 1;
    int32_t run = k - last - 1;
    last = k;
    while (__builtin_expect(run > 15, 0)) {
      if ((st = PutSymbol(b, ac, 0xF0, 0, 0)) != 0) return st;
      run -= 16;
    }
    const int32_t z = kZigzag8[k];
    cat = 32 - __builtin_clz((uint32_t)pr.mag[z]);
    if (__builtin_expect(cat > 15, 0)) return JPEG_ERR_BAD_HUFFMAN;
    if ((st = PutSymbol(b, ac, run * 16 + cat, (uint16_t)pr.val[z], cat)) != 0) return st;
  }
  if (last != 63) return PutSymbol(b, ac, 0x00, 0, 0);
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegEncodeBlockSse2(JpegOutputStream* s, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                               int32_t* lastDc, const int16_t* block) {
  // Natural-order bitmap of the zero coefficients, inverted below.
  const __m128i zero = _mm_setzero_si128();
  uint64_t zeros = 0;
  Prepared pr;
  for (int r = 0; r < 8; r += 2) {
    __m128i cmp[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * (r + h)));
      const __m128i sign = _mm_srai_epi16(v, 15);
      const __m128i mag = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
      // The value bits: the magnitude, or its complement within the
      // category's width (all ones up to the top bit) for a negative value.
      __m128i width = _mm_or_si128(mag, _mm_srli_epi16(mag, 1));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 2));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 4));
      width = _mm_or_si128(width, _mm_srli_epi16(width, 8));
      _mm_store_si128(reinterpret_cast<__m128i*>(pr.mag + 8 * (r + h)), mag);
      _mm_store_si128(reinterpret_cast<__m128i*>(pr.val + 8 * (r + h)), _mm_xor_si128(mag, _mm_and_si128(width, sign)));
      cmp[h] = _mm_cmpeq_epi16(v, zero);
    }
    zeros |= (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_packs_epi16(cmp[0], cmp[1])) << (8 * r);
  }
  const uint64_t nonzero = ~zeros;
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= kZigzagBits[i][(nonzero >> (8 * i)) & 255];

  JpegStatus st;
  if (JpegPrepareFastBlock(s, &st)) {
    JpegFastBits local(s);
    st = EncodeBits(local, dc, ac, lastDc, block, bits, pr);
    local.Store();
    return st;
  }
  if (st != 0) return st;
  JpegLocalBits local(s);
  st = EncodeBits(local, dc, ac, lastDc, block, bits, pr);
  local.Store();
  return st;
}
