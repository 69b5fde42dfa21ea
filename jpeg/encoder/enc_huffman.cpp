// Huffman entropy encoding: the sequential block coder, the optimal table
// generator and the progressive coders with their counting twins.
#include <cstring>

#include "jpeg/encoder/enc_bitwriter.h"
#include "jpeg/jpeg_internal.h"

const uint8_t JpegMagnitudeTable[256] = {
    0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

const uint8_t JpegEobRunTable[256] = {
    0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5,
    5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};

int32_t JpegMagnitudeCategory(int32_t v) {
  return v < 256 ? JpegMagnitudeTable[v] : 8 + JpegMagnitudeTable[(v >> 8) & 255];
}

int32_t JpegEobRunCategory(int32_t r) { return r < 256 ? JpegEobRunTable[r] : 8 + JpegEobRunTable[(r >> 8) & 255]; }

JpegStatus JpegPutBits(JpegOutputStream* s, uint32_t value, int32_t n) {
  if (n <= 0) return JPEG_SUCCESS;
  if (n > 32) n = 32;
  const uint64_t v = n == 32 ? value : (value & ((1u << n) - 1));
  return JpegPutBitsFast(s, v, n);
}

namespace {

inline uint32_t ValueBits(int32_t v, int32_t cat) {
  const uint32_t bits = (uint32_t)(v < 0 ? v - 1 : v);
  return bits & ((1u << cat) - 1);
}

// Code of a symbol followed by cat value bits; -6 for a symbol without a code.
JPEG_INLINE JpegStatus PutSymbol(JpegOutputStream* s, const JpegHuffEncodeTable* t, int32_t sym, uint32_t bits,
                                 int32_t cat) {
  const int32_t len = t->length[sym];
  if (__builtin_expect(len == 0, 0)) return JPEG_ERR_BAD_HUFFMAN;
  return JpegPutBitsFast(s, ((uint64_t)t->code[sym] << cat) | bits, len + cat);
}

// Code of a symbol followed by cat value bits; -6 for a symbol without a code.
template <class Bits>
JPEG_INLINE JpegStatus PutSymbolLocal(Bits& b, const JpegHuffEncodeTable* t, int32_t sym, uint32_t bits, int32_t cat) {
  const uint32_t e = t->packed[sym];
  if (__builtin_expect(e == 0, 0)) return JPEG_ERR_BAD_HUFFMAN;
  return b.Put(((uint64_t)(e >> 8) << cat) | bits, (int32_t)(e & 0xFF) + cat);
}

template <class Bits>
JPEG_INLINE JpegStatus EncodeBlockLocal(Bits& b, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                                        int32_t* lastDc, const int16_t* block) {
  const int32_t diff = block[0] - *lastDc;
  *lastDc = block[0];
  int32_t cat = JpegMagnitudeCategory(diff < 0 ? -diff : diff);
  JpegStatus st = PutSymbolLocal(b, dc, cat, ValueBits(diff, cat), cat);
  if (st != 0) return st;
  int32_t run = 0;
  for (int k = 1; k < 64; ++k) {
    const int32_t c = block[ZigzagToNatural[k]];
    if (c == 0) {
      ++run;
      continue;
    }
    while (run > 15) {
      if ((st = PutSymbolLocal(b, ac, 0xF0, 0, 0)) != 0) return st;
      run -= 16;
    }
    cat = JpegMagnitudeCategory(c < 0 ? -c : c);
    if (cat > 15) return JPEG_ERR_BAD_HUFFMAN;
    if ((st = PutSymbolLocal(b, ac, run * 16 + cat, ValueBits(c, cat), cat)) != 0) return st;
    run = 0;
  }
  if (run > 0) return PutSymbolLocal(b, ac, 0x00, 0, 0);
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegEncodeBlock(JpegOutputStream* s, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                           int32_t* lastDc, const int16_t* block) {
  JpegStatus st;
  if (JpegPrepareFastBlock(s, &st)) {
    JpegFastBits bits(s);
    st = EncodeBlockLocal(bits, dc, ac, lastDc, block);
    bits.Store();
    return st;
  }
  if (st != 0) return st;
  JpegLocalBits bits(s);
  st = EncodeBlockLocal(bits, dc, ac, lastDc, block);
  bits.Store();
  return st;
}

int32_t JpegGenerateOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values) {
  int64_t freq[257];
  int32_t size[257];
  int32_t next[257];
  for (int i = 0; i < 256; ++i) freq[i] = counts[i] > 0 ? counts[i] : 0;
  freq[256] = 1;
  for (int i = 0; i < 257; ++i) {
    size[i] = 0;
    next[i] = -1;
  }
  for (;;) {
    int32_t c1 = -1, c2 = -1;
    int64_t v = INT64_MAX;
    for (int i = 0; i < 257; ++i)
      if (freq[i] && freq[i] <= v) {
        v = freq[i];
        c1 = i;
      }
    v = INT64_MAX;
    for (int i = 0; i < 257; ++i)
      if (freq[i] && freq[i] <= v && i != c1) {
        v = freq[i];
        c2 = i;
      }
    if (c2 < 0) break;
    freq[c1] += freq[c2];
    freq[c2] = 0;
    ++size[c1];
    while (next[c1] >= 0) {
      c1 = next[c1];
      ++size[c1];
    }
    next[c1] = c2;
    ++size[c2];
    while (next[c2] >= 0) {
      c2 = next[c2];
      ++size[c2];
    }
  }
  int32_t count[258] = {0};
  int32_t maxSize = 0;
  for (int i = 0; i < 257; ++i)
    if (size[i]) {
      ++count[size[i]];
      if (size[i] > maxSize) maxSize = size[i];
    }
  for (int i = maxSize; i > 16; --i) {
    while (count[i] > 0) {
      int j = i - 2;
      while (j > 0 && count[j] == 0) --j;
      count[i] -= 2;
      count[i - 1] += 1;
      count[j + 1] += 2;
      count[j] -= 1;
    }
  }
  for (int i = 16; i > 0; --i)
    if (count[i] > 0) {
      --count[i];
      break;
    }
  for (int i = 0; i < 16; ++i) bits[i] = (uint8_t)count[i + 1];
  int32_t n = 0;
  for (int len = 1; len <= maxSize; ++len)
    for (int sym = 0; sym < 256; ++sym)
      if (size[sym] == len) values[n++] = (uint8_t)sym;
  return n;
}

// ---- Progressive coders ---------------------------------------------------------

JpegStatus JpegEncodeDcProgressive(JpegOutputStream* s, const JpegHuffEncodeTable* dc, int32_t* lastDc,
                                   const int16_t* block, bool refining, int32_t al) {
  if (refining) return JpegPutBitsFast(s, (uint64_t)((block[0] >> al) & 1), 1);
  const int32_t v = block[0] >> al;
  const int32_t diff = v - *lastDc;
  *lastDc = v;
  const int32_t cat = JpegMagnitudeCategory(diff < 0 ? -diff : diff);
  return PutSymbol(s, dc, cat, ValueBits(diff, cat), cat);
}

void JpegCountDcFirst(int32_t* counts, int32_t* lastDc, const int16_t* block, bool refining, int32_t al) {
  if (refining) return;
  const int32_t v = block[0] >> al;
  const int32_t diff = v - *lastDc;
  *lastDc = v;
  ++counts[JpegMagnitudeCategory(diff < 0 ? -diff : diff)];
}

JpegStatus JpegEmitCorrectionBits(JpegOutputStream* s, const uint8_t* bits, int32_t count) {
  for (int i = 0; i < count; ++i) {
    JpegStatus st = JpegPutBitsFast(s, bits[i] & 1u, 1);
    if (st != 0) return st;
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegEmitEobRun(JpegOutputStream* s, const JpegHuffEncodeTable* ac, JpegCorrectionBits* corr) {
  if (s->eobRun == 0) return JPEG_SUCCESS;
  const int32_t n = JpegEobRunCategory(s->eobRun);
  JpegStatus st = PutSymbol(s, ac, n << 4, (uint32_t)s->eobRun & ((1u << n) - 1), n);
  s->eobRun = 0;
  if (st != 0) return st;
  if (corr) {
    st = JpegEmitCorrectionBits(s, corr->bits, corr->be);
    corr->be = 0;
  }
  return st;
}

void JpegCountEobRun(JpegOutputStream* s, int32_t* counts, JpegCorrectionBits* corr) {
  if (s->eobRun == 0) return;
  ++counts[JpegEobRunCategory(s->eobRun) << 4];
  s->eobRun = 0;
  if (corr) corr->be = 0;
}

// One ZRL symbol (sixteen zeros) for each whole sixteen of a zero run.
JpegStatus JpegEmitZrl(JpegOutputStream* s, const JpegHuffEncodeTable* ac, int32_t run) {
  for (; run > 15; run -= 16) {
    JpegStatus st = PutSymbol(s, ac, 0xF0, 0, 0);
    if (st != 0) return st;
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegEncodeAcFirst(JpegOutputStream* s, const JpegHuffEncodeTable* ac, const int16_t* block, int32_t ss,
                             int32_t se, int32_t al) {
  int32_t run = 0;
  JpegStatus st;
  for (int k = ss; k <= se; ++k) {
    const int32_t c = block[ZigzagToNatural[k]];
    int32_t m, bits;
    if (c < 0) {
      m = (-c) >> al;
      bits = ~m;
    } else {
      m = c >> al;
      bits = m;
    }
    if (m == 0) {
      ++run;
      continue;
    }
    if ((st = JpegEmitEobRun(s, ac, nullptr)) != 0) return st;
    if ((st = JpegEmitZrl(s, ac, run)) != 0) return st;
    run &= 15;
    const int32_t cat = JpegMagnitudeCategory(m);
    if (cat > 15) return JPEG_ERR_BAD_HUFFMAN;
    if ((st = PutSymbol(s, ac, run * 16 + cat, (uint32_t)bits & ((1u << cat) - 1), cat)) != 0) return st;
    run = 0;
  }
  if (run > 0 && ++s->eobRun == 0x7FFF) return JpegEmitEobRun(s, ac, nullptr);
  return JPEG_SUCCESS;
}

void JpegCountAcFirst(JpegOutputStream* s, const int16_t* block, int32_t ss, int32_t se, int32_t al, int32_t* counts) {
  int32_t run = 0;
  for (int k = ss; k <= se; ++k) {
    const int32_t c = block[ZigzagToNatural[k]];
    const int32_t m = (c < 0 ? -c : c) >> al;
    if (m == 0) {
      ++run;
      continue;
    }
    JpegCountEobRun(s, counts, nullptr);
    counts[0xF0] += run >> 4;
    run &= 15;
    const int32_t cat = JpegMagnitudeCategory(m);
    if (cat <= 15) ++counts[run * 16 + cat];
    run = 0;
  }
  if (run > 0 && ++s->eobRun == 0x7FFF) JpegCountEobRun(s, counts, nullptr);
}

namespace {

// The refinement coder and its counting twin share one walk; the counting
// form gathers symbols instead of writing them.
template <bool Count>
JpegStatus AcRefine(JpegOutputStream* s, const JpegHuffEncodeTable* ac, const int16_t* block, int32_t ss, int32_t se,
                    int32_t al, JpegCorrectionBits* corr, int32_t* counts) {
  int32_t absval[64];
  int32_t eob = 0;
  for (int k = ss; k <= se; ++k) {
    const int32_t c = block[ZigzagToNatural[k]];
    absval[k] = (c < 0 ? -c : c) >> al;
    if (absval[k] == 1) eob = k;
  }
  auto emitEob = [&]() -> JpegStatus {
    if (Count) {
      JpegCountEobRun(s, counts, corr);
      return JPEG_SUCCESS;
    }
    return JpegEmitEobRun(s, ac, corr);
  };
  auto symbol = [&](int32_t sym) -> JpegStatus {
    if (Count) {
      ++counts[sym];
      return JPEG_SUCCESS;
    }
    return PutSymbol(s, ac, sym, 0, 0);
  };
  int32_t run = 0, br = 0, brStart = corr->be;
  JpegStatus st;
  for (int k = ss; k <= se; ++k) {
    const int32_t a = absval[k];
    if (a == 0) {
      ++run;
      continue;
    }
    while (run > 15 && k <= eob) {
      if ((st = emitEob()) != 0) return st;
      if ((st = symbol(0xF0)) != 0) return st;
      run -= 16;
      if (!Count && (st = JpegEmitCorrectionBits(s, corr->bits + brStart, br)) != 0) return st;
      brStart = 0;
      br = 0;
    }
    if (a > 1) {
      corr->bits[brStart + br++] = (uint8_t)(a & 1);
      continue;
    }
    if ((st = emitEob()) != 0) return st;
    if ((st = symbol(run * 16 + 1)) != 0) return st;
    if (!Count) {
      const uint32_t sign = block[ZigzagToNatural[k]] < 0 ? 0 : 1;
      if ((st = JpegPutBitsFast(s, sign, 1)) != 0) return st;
      if ((st = JpegEmitCorrectionBits(s, corr->bits + brStart, br)) != 0) return st;
    }
    brStart = 0;
    br = 0;
    run = 0;
  }
  if (run > 0 || br > 0) {
    ++s->eobRun;
    corr->be += br;
    if (s->eobRun == 0x7FFF || corr->be > 1000 - 63) return emitEob();
  }
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegEncodeAcRefine(JpegOutputStream* s, const JpegHuffEncodeTable* ac, const int16_t* block, int32_t ss,
                              int32_t se, int32_t al, JpegCorrectionBits* corr) {
  return AcRefine<false>(s, ac, block, ss, se, al, corr, nullptr);
}

void JpegCountAcRefine(JpegOutputStream* s, const int16_t* block, int32_t ss, int32_t se, int32_t al,
                       JpegCorrectionBits* corr, int32_t* counts) {
  AcRefine<true>(s, nullptr, block, ss, se, al, corr, counts);
}
