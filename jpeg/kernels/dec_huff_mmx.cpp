// Processor-specific baseline block decoders.  The accumulator holds its
// valid bits at the top (the next bit of the data is bit 63) and is topped
// up to 57-64 bits at a time, up to seven bytes at once where no 0xFF is near.
// For well-formed data they give the plain decoders' coefficients.
#include <emmintrin.h>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

JpegStatus JpegRefillFileMmx(JpegInStream* s) {
  s->fileBase += s->end - s->fileBuffer;
  const DWORD got = JpegFileRead(s->file, s->fileBuffer, sizeof s->fileBuffer);
  s->ptr = s->fileBuffer;
  s->end = s->fileBuffer + got;
  return got ? JPEG_SUCCESS : JPEG_ERR_EOF;
}

namespace {

struct Bits {
  JpegInStream* s;
  uint64_t acc;
  int32_t bits;
  const uint8_t* ptr;  // the stream's read pointer, held here while decoding
};

// Byte-by-byte refill (and the file refill); *ok false when the data has
// ended.  Bits go in and out by value so that the callers keep them in
// registers.
template <bool FourBytes>
__attribute__((noinline)) Bits RefillSlow(Bits b, bool* okOut) {
  JpegInStream* s = b.s;
  s->ptr = b.ptr;
  if (b.bits < 0) {
    b.bits = 0;
    b.acc = 0;
  }
  auto next = [&](uint32_t* byte) -> bool {
    if (s->ptr >= s->end) {
      if (!s->file || JpegRefillFileMmx(s) != 0) return false;
    }
    *byte = *s->ptr++;
    return true;
  };
  bool ok = true;
  while (b.bits <= 56) {
    uint32_t byte;
    if (!next(&byte)) {
      ok = false;
      break;
    }
    if (byte == 0xFF) {
      do {
        if (!next(&byte)) {
          // Memory data cut inside a run of 0xFF bytes: "Data error" once a
          // step needs bits beyond it, as with the plain decoders (a file
          // ends as it does there).
          if (!s->file) s->dataError = JPEG_ERR_DATA;
          ok = false;
          break;
        }
      } while (byte == 0xFF);
      if (!ok) break;
      if (byte != 0) {
        s->marker = (uint8_t)byte;
        b.bits += 8;  // eight 0 bits
        break;
      }
      byte = 0xFF;
    }
    b.acc |= (uint64_t)byte << (56 - b.bits);
    b.bits += 8;
  }
  b.ptr = s->ptr;
  *okOut = ok;
  return b;
}

// False when the data has ended: the block stops where it is.
template <bool FourBytes>
__attribute__((always_inline)) inline bool Refill(Bits& b) {
  JpegInStream* s = b.s;
  if (s->marker) return true;  // further bits read as 0
  if (FourBytes && s->end - b.ptr >= 8 && b.bits >= 0 && b.bits <= 55) {
    uint64_t w;
    __builtin_memcpy(&w, b.ptr, 8);
    const uint64_t x = ~w;  // a zero byte here is a 0xFF byte in the data
    if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) {
      // Whole bytes only, so the bits below the valid ones stay zero.
      const int32_t n = (63 - b.bits) >> 3;
      b.acc |= (__builtin_bswap64(w) & (~0ull << (64 - 8 * n))) >> b.bits;
      b.bits += 8 * n;
      b.ptr += n;
      return true;
    }
  }
  bool ok;
  b = RefillSlow<FourBytes>(b, &ok);
  return ok;
}

__attribute__((always_inline)) inline uint32_t Take(Bits& b, int n) {
  const uint32_t v = (uint32_t)(b.acc >> (64 - n));
  b.acc <<= n;
  b.bits -= n;
  return v;
}

template <bool FourBytes>
__attribute__((always_inline)) inline bool Symbol(Bits& b, const JpegHuffDecodeTable* t, int32_t* sym) {
  // The lookahead wants 8 bits; a shorter code may still be held when the
  // data has ended, so only the search below ends the block for want of bits.
  if (b.bits < 8) Refill<FourBytes>(b);
  int32_t l = 1;
  if (b.bits >= 8) {
    const int32_t e = t->lookahead[b.acc >> 56];
    if (e >> 16) {
      const int len = e >> 16;
      b.acc <<= len;
      b.bits -= len;
      *sym = e & 0xFFFF;
      return true;
    }
    l = 9;
  }
  if (b.bits < l && !Refill<FourBytes>(b)) return false;
  int32_t code = (int32_t)Take(b, l);
  while (l <= 16 && code > t->lastCode[l]) {
    if (b.bits < 1 && !Refill<FourBytes>(b)) return false;
    code = (code << 1) | (int32_t)Take(b, 1);
    ++l;
  }
  if (l > 16) {
    *sym = 0;
    return true;
  }
  const int32_t idx = t->firstIndex[l] + code - t->firstCode[l];
  *sym = (idx >= 0 && idx < 256) ? t->symbols[idx] : 0;
  return true;
}

// Natural index of each zigzag position, overshooting runs landing on 63.
const uint8_t kZigzag[80] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
                             40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
                             29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
                             47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// Sign thresholds 2^(s-1), 0 for category 0.
const int32_t kHalf[16] = {0, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};

template <bool FourBytes>
__attribute__((always_inline)) inline bool Value(Bits& b, int32_t n, int32_t* v) {
  if (b.bits < n && !Refill<FourBytes>(b)) return false;
  const int32_t raw = n ? (int32_t)Take(b, n) : 0;
  *v = raw < kHalf[n] ? raw + JpegExtendOffset[n] : raw;
  return true;
}

template <bool FourBytes, bool Full>
JpegStatus Decode(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac, int16_t* predictor,
                  int16_t* out) {
  Bits b{s, s->acc, s->bits, s->ptr};
  if (Full) {
    // Eight stores, written out (a loop would be turned into a string
    // store, whose start-up cost a block this small does not repay).
    const __m128i zero = _mm_setzero_si128();
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o, zero), _mm_storeu_si128(o + 1, zero), _mm_storeu_si128(o + 2, zero);
    _mm_storeu_si128(o + 3, zero), _mm_storeu_si128(o + 4, zero), _mm_storeu_si128(o + 5, zero);
    _mm_storeu_si128(o + 6, zero), _mm_storeu_si128(o + 7, zero);
  }
  constexpr int kShift = 64 - JPEG_COMBINED_BITS;
  int32_t sym, v;
  do {
    // With the pattern's bits all held the long way would not refill either.
    const int32_t c = b.bits >= JPEG_COMBINED_BITS ? dc->combined[b.acc >> kShift] : 0;
    if (c) {
      b.acc <<= c & 0xFF;
      b.bits -= c & 0xFF;
      *predictor = (int16_t)(*predictor + (c >> 16));
    } else {
      if (!Symbol<FourBytes>(b, dc, &sym)) goto starved;
      if (sym) {
        if (!Value<FourBytes>(b, sym & 15, &v)) goto starved;
        *predictor = (int16_t)(*predictor + v);
      }
    }
    out[0] = *predictor;
    int32_t pos = 1;  // next zigzag position; the block ends at 64
    while (pos < 64) {
      // With 32 bits at hand a symbol and its value need no refill in between.
      if (b.bits < 32) Refill<FourBytes>(b);
      if (b.bits >= 32) {
        const int32_t f = ac->combined[b.acc >> kShift];
        if (f) {
          b.acc <<= f & 0xFF;
          b.bits -= f & 0xFF;
          const int32_t advance = (f >> 8) & 0xFF;
          if (!advance) break;
          // A run of 16 zeros stores a 0 where nothing has been stored yet.
          if (Full) out[kZigzag[pos + advance - 1]] = (int16_t)(f >> 16);
          pos += advance;
          continue;
        }
        int32_t e = ac->lookahead[b.acc >> 56];
        if (e >> 16) {
          b.acc <<= e >> 16;
          b.bits -= e >> 16;
          sym = e & 0xFFFF;
        } else {
          int32_t l = 9, code = (int32_t)Take(b, 9);
          while (l <= 16 && code > ac->lastCode[l]) {
            code = (code << 1) | (int32_t)Take(b, 1);
            ++l;
          }
          const int32_t idx = l > 16 ? -1 : ac->firstIndex[l] + code - ac->firstCode[l];
          sym = (idx >= 0 && idx < 256) ? ac->symbols[idx] : 0;
        }
        const int32_t r = sym >> 4, n = sym & 15;
        if (n == 0) {
          if (r != 15) break;
          pos += 16;
          continue;
        }
        const int32_t raw = (int32_t)Take(b, n);
        // raw + (1 - 2^n) when its top bit is clear, without a branch.
        if (Full) out[kZigzag[pos + r]] = (int16_t)(raw + (((raw - kHalf[n]) >> 31) & (1 - (1 << n))));
        pos += r + 1;
        continue;
      }
      if (!Symbol<FourBytes>(b, ac, &sym)) goto starved;
      const int32_t r = sym >> 4, n = sym & 15;
      if (n == 0) {
        if (r != 15) break;
        pos += 16;
        continue;
      }
      if (!Value<FourBytes>(b, n, &v)) goto starved;
      if (Full) out[kZigzag[pos + r]] = (int16_t)v;
      pos += r + 1;
    }
  } while (false);
  s->acc = b.acc;
  s->bits = b.bits;
  s->ptr = b.ptr;
  return JPEG_SUCCESS;
starved:  // the data ended before a step that needed more bits
  s->acc = b.acc;
  s->bits = b.bits;
  s->ptr = b.ptr;
  return s->dataError;
}

}  // namespace

JpegStatus JpegDecodeBlockMmx(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                              int16_t* predictor, int16_t* block) {
  return Decode<false, true>(s, dc, ac, predictor, block);
}

JpegStatus JpegDecodeBlockMmx2(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                               int16_t* predictor, int16_t* block) {
  return Decode<true, true>(s, dc, ac, predictor, block);
}

JpegStatus JpegDecodeDcOnlyMmx(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                               int16_t* predictor, int16_t* dcOut) {
  return Decode<true, false>(s, dc, ac, predictor, dcOut);
}
