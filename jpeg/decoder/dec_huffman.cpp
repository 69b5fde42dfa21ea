// Huffman entropy decoding: the bit reader over the input stream, symbol
// decoding, the two baseline block decoders and the four progressive ones.
// The accumulator keeps its valid bits at the low end.
#include "jpeg/decoder/dec_internal.h"

const int32_t JpegZigzag80[80] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
                                  40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
                                  29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
                                  47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

const int32_t JpegExtendOffset[16] = {0,    -1,   -3,    -7,    -15,   -31,   -63,    -127,
                                      -255, -511, -1023, -2047, -4095, -8191, -16383, -32767};

namespace {
constexpr JpegStatus kStopped = 100;

// v + (1 - 2^s) when the top bit of the s-bit value is clear (branch-free).
inline int32_t Extend(int32_t v, int32_t s) { return s ? v + (((v - (1 << (s - 1))) >> 31) & JpegExtendOffset[s]) : v; }
}  // namespace

namespace {
JpegStatus FillBits(JpegInStream* s, int32_t need);
}

JpegStatus JpegFillBits(JpegInStream* s, int32_t need) { return FillBits(s, need); }

namespace {
// Eight plain data bytes ahead (no 0xFF among them, no marker pending): tops
// the accumulator up to 56-63 bits at once.  False when the byte loop must
// do it; the bytes taken are the same either way.
__attribute__((always_inline)) inline bool FillFast(JpegInStream* s) {
  if (s->marker || s->bits < 0 || s->end - s->ptr < 8) return false;
  uint64_t w;
  __builtin_memcpy(&w, s->ptr, 8);
  const uint64_t x = ~w;  // a zero byte here is a 0xFF byte in the data
  if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0) return false;
  const int32_t n = (63 - s->bits) >> 3;
  if (n) {
    s->acc = (s->acc << (8 * n)) | (__builtin_bswap64(w) >> (64 - 8 * n));
    s->bits += 8 * n;
    s->ptr += n;
  }
  return true;
}

__attribute__((noinline)) JpegStatus FillBits(JpegInStream* s, int32_t need) {
  if (s->bits < 0) s->bits = 0;
  if (s->bits <= 24 && FillFast(s)) return JPEG_SUCCESS;
  while (s->bits <= 24) {
    if (s->marker) return s->bits < need ? kStopped : JPEG_SUCCESS;
    if (s->ptr >= s->end) {
      // The data simply ends: missing bits read as 0, unless the data ended
      // inside a run of 0xFF bytes and this step needs bits beyond it.
      if (!s->file) return s->bits < need ? s->dataError : JPEG_SUCCESS;
      JpegStatus st = JpegFillInput(s);
      if (st != 0) return st;
    }
    uint32_t byte = *s->ptr++;
    if (byte == 0xFF) {
      do {
        if (s->ptr >= s->end) {
          if (!s->file) {
            s->dataError = JPEG_ERR_DATA;
            return s->bits < need ? s->dataError : JPEG_SUCCESS;
          }
          JpegStatus st = JpegFillInput(s);
          if (st != 0) return st;
        }
        byte = *s->ptr++;
      } while (byte == 0xFF);
      if (byte != 0) {
        s->marker = (uint8_t)byte;
        return s->bits < need ? kStopped : JPEG_SUCCESS;
      }
      byte = 0xFF;
    }
    s->acc = (s->acc << 8) | byte;
    s->bits += 8;
  }
  return JPEG_SUCCESS;
}
}  // namespace

namespace {
__attribute__((always_inline)) inline int32_t GetBits(JpegInStream* s, int32_t n) {
  s->bits -= n;
  if (s->bits < 0) return 0;
  return (int32_t)((s->acc >> s->bits) & ((1u << n) - 1));
}

__attribute__((always_inline)) inline int32_t PeekBits(JpegInStream* s, int32_t n) {
  if (s->bits < n) return 0;
  return (int32_t)((s->acc >> (s->bits - n)) & ((1u << n) - 1));
}
}  // namespace

int32_t JpegGetBits(JpegInStream* s, int32_t n) { return GetBits(s, n); }
int32_t JpegPeekBits(JpegInStream* s, int32_t n) { return PeekBits(s, n); }

namespace {

__attribute__((always_inline)) inline JpegStatus NeedBits(JpegInStream* s, int32_t n) {
  return s->bits < n ? FillBits(s, n) : JPEG_SUCCESS;
}

__attribute__((always_inline)) inline JpegStatus DecodeSymbol(JpegInStream* s, const JpegHuffDecodeTable* t,
                                                              int32_t* symbol) {
  int32_t l = 1;
  if (s->bits < 8) {
    JpegStatus st = FillBits(s, 0);
    if (st != 0) return st;
  }
  int32_t code;
  if (s->bits >= 8) {
    const int32_t e = t->lookahead[PeekBits(s, 8)];
    if (e >> 16) {
      s->bits -= e >> 16;
      *symbol = e & 0xFFFF;
      return JPEG_SUCCESS;
    }
    l = 9;
    JpegStatus st = NeedBits(s, 9);
    if (st != 0) return st;
    code = GetBits(s, 9);
  } else {
    JpegStatus st = NeedBits(s, 1);
    if (st != 0) return st;
    code = GetBits(s, 1);
  }
  while (l <= 16 && code > t->lastCode[l]) {
    JpegStatus st = NeedBits(s, 1);
    if (st != 0) return st;
    code = (code << 1) | GetBits(s, 1);
    ++l;
  }
  if (l > 16) {
    *symbol = 0;
    return JPEG_SUCCESS;
  }
  const int32_t idx = t->firstIndex[l] + code - t->firstCode[l];
  *symbol = (idx >= 0 && idx < 256) ? t->symbols[idx] : 0;
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegDecodeSymbol(JpegInStream* s, const JpegHuffDecodeTable* t, int32_t* symbol) {
  return DecodeSymbol(s, t, symbol);
}

namespace {

// Received value of s bits, sign-extended; 100 when a marker stops it.
__attribute__((always_inline)) inline JpegStatus ReceiveExtend(JpegInStream* s, int32_t n, int32_t* v) {
  if (n == 0) {
    *v = 0;
    return JPEG_SUCCESS;
  }
  JpegStatus st = NeedBits(s, n);
  if (st != 0) return st;
  *v = Extend(GetBits(s, n), n);
  return JPEG_SUCCESS;
}

inline JpegStatus OneBit(JpegInStream* s, int32_t* bit) {
  JpegStatus st = NeedBits(s, 1);
  if (st != 0) return st;
  *bit = GetBits(s, 1);
  return JPEG_SUCCESS;
}

inline JpegStatus Done(JpegStatus st) { return st == kStopped ? JPEG_SUCCESS : st; }

}  // namespace

namespace {
// Plain stores rather than a string store, whose start-up cost a block this
// small does not repay (written out: a loop would be turned back into one).
inline void ClearBlock(int16_t* block) {
  const uint64_t z = 0;
#define VELMI_Z(i) __builtin_memcpy(block + 4 * (i), &z, 8)
  VELMI_Z(0), VELMI_Z(1), VELMI_Z(2), VELMI_Z(3), VELMI_Z(4), VELMI_Z(5), VELMI_Z(6), VELMI_Z(7);
  VELMI_Z(8), VELMI_Z(9), VELMI_Z(10), VELMI_Z(11), VELMI_Z(12), VELMI_Z(13), VELMI_Z(14), VELMI_Z(15);
#undef VELMI_Z
}
}  // namespace

JpegStatus JpegDecodeBlock(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                           int16_t* predictor, int16_t* block) {
  ClearBlock(block);
  int32_t sym, v;
  JpegStatus st = DecodeSymbol(s, dc, &sym);
  if (st != 0) return Done(st);
  if (sym) {
    st = ReceiveExtend(s, sym & 15, &v);
    if (st != 0) return Done(st);
    *predictor = (int16_t)(*predictor + v);
  }
  block[0] = *predictor;
  int32_t k = 63, pos = 1;
  // With 32 bits at hand a symbol (16 bits at most) and its value (15) need
  // no check in between.  The accumulator stays in locals here; once the
  // bytes ahead need the careful refill, the loop below finishes the block.
  {
    uint64_t acc = s->acc;
    int32_t bits = s->bits;
    bool ended = false;
    while (k > 0) {
      if (bits < 32) {
        s->acc = acc, s->bits = bits;
        FillFast(s);
        acc = s->acc, bits = s->bits;
        if (bits < 32) break;
      }
      const int32_t e = ac->lookahead[(acc >> (bits - 8)) & 255];
      if (e >> 16) {
        bits -= e >> 16;
        sym = e & 0xFFFF;
      } else {
        int32_t l = 9;
        bits -= 9;
        int32_t code = (int32_t)((acc >> bits) & 511);
        while (l <= 16 && code > ac->lastCode[l]) {
          --bits;
          code = (code << 1) | (int32_t)((acc >> bits) & 1);
          ++l;
        }
        const int32_t idx = l > 16 ? -1 : ac->firstIndex[l] + code - ac->firstCode[l];
        sym = (idx >= 0 && idx < 256) ? ac->symbols[idx] : 0;
      }
      const int32_t r = sym >> 4, n = sym & 15;
      if (n == 0) {
        if (r != 15) {
          ended = true;
          break;
        }
        k -= 16;
        pos += 16;
        continue;
      }
      bits -= n;
      v = Extend((int32_t)((acc >> bits) & ((1u << n) - 1)), n);
      k -= r + 1;
      block[JpegZigzag80[pos + r]] = (int16_t)v;
      pos += r + 1;
    }
    s->acc = acc, s->bits = bits;
    if (ended) return JPEG_SUCCESS;
  }
  while (k > 0) {
    st = DecodeSymbol(s, ac, &sym);
    if (st != 0) return Done(st);
    const int32_t r = sym >> 4, n = sym & 15;
    if (n == 0) {
      if (r != 15) break;
      k -= 16;
      pos += 16;
      continue;
    }
    st = ReceiveExtend(s, n, &v);
    if (st != 0) return Done(st);
    k -= r + 1;
    block[JpegZigzag80[pos + r]] = (int16_t)v;
    pos += r + 1;
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegDecodeBlockDc(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                             int16_t* predictor, int16_t* dcOut) {
  int32_t sym, v;
  JpegStatus st = DecodeSymbol(s, dc, &sym);
  if (st != 0) return Done(st);
  if (sym) {
    st = ReceiveExtend(s, sym & 15, &v);
    if (st != 0) return Done(st);
    *predictor = (int16_t)(*predictor + v);
  }
  dcOut[0] = *predictor;
  int32_t k = 63;
  while (k > 0) {
    st = DecodeSymbol(s, ac, &sym);
    if (st != 0) return Done(st);
    const int32_t r = sym >> 4, n = sym & 15;
    if (n == 0) {
      if (r != 15) break;
      k -= 16;
      continue;
    }
    st = ReceiveExtend(s, n, &v);
    if (st != 0) return Done(st);
    k -= r + 1;
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegDecodeDcFirst(JpegInStream* s, const JpegHuffDecodeTable* dc, int16_t* coef, int16_t* predictor,
                             int32_t al) {
  int32_t sym, v;
  JpegStatus st = DecodeSymbol(s, dc, &sym);
  if (st != 0) return Done(st);
  if (sym) {
    st = ReceiveExtend(s, sym & 15, &v);
    if (st != 0) return Done(st);
    *predictor = (int16_t)(*predictor + v);
  }
  *coef = (int16_t)JpegWrapShl(*predictor, al);
  return JPEG_SUCCESS;
}

JpegStatus JpegDecodeDcRefine(JpegInStream* s, int16_t* coef, int32_t al) {
  int32_t bit;
  JpegStatus st = OneBit(s, &bit);
  if (st != 0) return Done(st);
  if (bit) *coef = (int16_t)(*coef | (1 << al));
  return JPEG_SUCCESS;
}

JpegStatus JpegDecodeAcFirst(JpegInStream* s, int16_t* block, const JpegHuffDecodeTable* ac, int32_t ss, int32_t se,
                             int32_t al) {
  if (s->eobRun > 0) {
    --s->eobRun;
    return JPEG_SUCCESS;
  }
  for (int32_t k = ss; k <= se; ++k) {
    int32_t sym, v;
    JpegStatus st = DecodeSymbol(s, ac, &sym);
    if (st != 0) return Done(st);
    const int32_t r = sym >> 4, n = sym & 15;
    if (n) {
      k += r;
      st = ReceiveExtend(s, n, &v);
      if (st != 0) return Done(st);
      block[JpegZigzag80[k]] = (int16_t)JpegWrapShl(v, al);
    } else if (r == 15) {
      k += 15;
    } else {
      int32_t run = 1 << r;
      if (r) {
        st = NeedBits(s, r);
        if (st != 0) return Done(st);
        run += GetBits(s, r);
      }
      s->eobRun = run - 1;
      break;
    }
  }
  return JPEG_SUCCESS;
}

namespace {

inline JpegStatus Correct(JpegInStream* s, int16_t* coef, int32_t p1, int32_t m1) {
  int32_t bit;
  JpegStatus st = OneBit(s, &bit);
  if (st != 0) return st;
  // Without a branch on the bit, which the data makes unpredictable.
  const int32_t c = *coef;
  const int32_t take = -(int32_t)(bit & ((c & p1) == 0));
  *coef = (int16_t)(c + ((c >= 0 ? p1 : m1) & take));
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegDecodeAcRefine(JpegInStream* s, int16_t* block, const JpegHuffDecodeTable* ac, int32_t ss, int32_t se,
                              int32_t al) {
  const int32_t p1 = 1 << al, m1 = -(1 << al);
  int32_t k = ss;
  JpegStatus st;
  if (s->eobRun == 0) {
    while (k <= se) {
      int32_t sym;
      st = DecodeSymbol(s, ac, &sym);
      if (st != 0) return Done(st);
      int32_t r = sym >> 4;
      const int32_t n = sym & 15;
      int32_t value = 0;
      if (n) {
        int32_t bit;
        st = OneBit(s, &bit);
        if (st != 0) return Done(st);
        value = m1 + (-bit & (p1 - m1));  // no branch on the bit
      } else if (r != 15) {
        int32_t run = 1 << r;
        if (r) {
          st = NeedBits(s, r);
          if (st != 0) return Done(st);
          run += GetBits(s, r);
        }
        s->eobRun = run;
        break;
      }
      do {
        int16_t* coef = &block[JpegZigzag80[k]];
        if (*coef != 0) {
          st = Correct(s, coef, p1, m1);
          if (st != 0) return Done(st);
        } else if (--r < 0) {
          break;
        }
        ++k;
      } while (k <= se);
      if (value) block[JpegZigzag80[k]] = (int16_t)value;
      ++k;
    }
  }
  if (s->eobRun > 0) {
    for (; k <= se; ++k) {
      int16_t* coef = &block[JpegZigzag80[k]];
      if (*coef != 0) {
        st = Correct(s, coef, p1, m1);
        if (st != 0) return Done(st);
      }
    }
    --s->eobRun;
  }
  return JPEG_SUCCESS;
}
