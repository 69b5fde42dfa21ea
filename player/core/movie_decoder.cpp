#include "player/core/movie_decoder.h"

#include <algorithm>
#include <cstring>

#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/jbp1_bits.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include "common/sse2_transpose.h"
#endif

WORD MovieBlueTable[512];
WORD MovieGreenTable[512];
WORD MovieRedTable[512];

void InitMovieDecoder(BlockDecoder* state) {
  for (int i = 0; i < 512; ++i) {
    const int c = std::clamp(i - 128, 0, 255);
    MovieBlueTable[i] = PackRgb565(0, 0, c);
    MovieGreenTable[i] = PackRgb565(0, c, 0);
    MovieRedTable[i] = PackRgb565(c, 0, 0);
  }
  std::memset(state, 0, sizeof *state);
  state->bitsPerPixel = 24;
  state->quality = 80;
}

int BuildHuffmanTree16(DWORD* counts, int n, HuffmanTree16* tree) {
  if (n < 2 || n > 256) return 0;
  for (int i = 0; i < 2 * n - 1; ++i) {
    tree->child0[i] = tree->child1[i] = 0;
    tree->parent[i] = 0;
  }
  return MergeHuffmanNodes(counts, n, [tree](int k, int first, int second) {
    tree->child0[k] = static_cast<uint16_t>(first);
    tree->child1[k] = static_cast<uint16_t>(second);
    tree->parent[first] = static_cast<int16_t>(k);
    tree->parent[second] = static_cast<int16_t>(-k);
  });
}

namespace {

// One 8-point pass; every constant product is a sum of separately shifted
// copies of its operand.
__attribute__((always_inline)) inline void IdctPass(int c0, int c1, int c2, int c3, int c4, int c5, int c6, int c7,
                                                    int out[8]) {
  const int ze = c2 + c6;
  const int z1e = (ze >> 7) + (ze >> 5) + (ze >> 1);
  const int tmp2 = z1e - ((c6 >> 4) + (c6 >> 2) + (c6 >> 1) + c6);
  const int tmp3 = z1e + (c2 >> 7) + (c2 >> 2) + (c2 >> 1);
  const int tmp0 = c0 + c4;
  const int tmp1 = c0 - c4;
  const int tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
  const int tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;

  int z1 = c7 + c1;
  int z2 = c5 + c3;
  int z3 = c7 + c3;
  int z4 = c5 + c1;
  const int zs = z3 + z4;
  const int z5 = (zs >> 5) + (zs >> 3) + zs;
  z1 = -((z1 >> 6) + (z1 >> 3) + (z1 >> 2) + (z1 >> 1));
  z2 = -((z2 >> 5) + (z2 >> 1) + z2 * 2);
  z3 = z5 - ((z3 >> 4) + (z3 >> 2) + (z3 >> 1) + z3);
  z4 = z5 - ((z4 >> 7) + (z4 >> 3) + (z4 >> 2));
  const int t0 = (c7 >> 6) + (c7 >> 5) + (c7 >> 2) + z1 + z3;
  const int t1 = (c5 >> 6) + (c5 >> 5) + c5 * 2 + z2 + z4;
  const int t2 = c3 * 3 + (c3 >> 4) + z2 + z3;
  const int t3 = c1 + (c1 >> 1) + z1 + z4;

  out[0] = tmp10 + t3;
  out[7] = tmp10 - t3;
  out[1] = tmp11 + t2;
  out[6] = tmp11 - t2;
  out[2] = tmp12 + t1;
  out[5] = tmp12 - t1;
  out[3] = tmp13 + t0;
  out[4] = tmp13 - t0;
}

}  // namespace

void IdctShiftAddPlain(short* b) {
  int out[8];
  for (int c = 0; c < 8; ++c) {
    short* col = b + c;
    if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
      for (int r = 1; r < 8; ++r) col[8 * r] = col[0];
      continue;
    }
    IdctPass(col[0], col[8], col[16], col[24], col[32], col[40], col[48], col[56], out);
    for (int r = 0; r < 8; ++r) col[8 * r] = static_cast<short>(out[r]);
  }
  for (int r = 0; r < 8; ++r) {
    short* row = b + 8 * r;
    IdctPass(row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], out);
    for (int i = 0; i < 8; ++i) row[i] = static_cast<short>(out[i] >> 3);
  }
}

#if defined(__SSE2__)

namespace {

// The pass on four lanes of 32 bits; the same shifts and adds.  A column
// whose lower seven entries are 0 comes out as eight copies of its top entry
// here too, so no shortcut is needed.
// The butterfly of one pass over vectors, with SRA, ADD and SUB the lane
// operations: o[] from c[].
#define IDCT_PASS_VECTORS(c, o)                                                                   \
  const __m128i ze = ADD(c[2], c[6]);                                                             \
  const __m128i z1e = ADD(ADD(SRA(ze, 7), SRA(ze, 5)), SRA(ze, 1));                               \
  const __m128i tmp2 = SUB(z1e, ADD(ADD(SRA(c[6], 4), SRA(c[6], 2)), ADD(SRA(c[6], 1), c[6])));   \
  const __m128i tmp3 = ADD(z1e, ADD(ADD(SRA(c[2], 7), SRA(c[2], 2)), SRA(c[2], 1)));              \
  const __m128i tmp0 = ADD(c[0], c[4]), tmp1 = SUB(c[0], c[4]);                                   \
  const __m128i tmp10 = ADD(tmp0, tmp3), tmp13 = SUB(tmp0, tmp3);                                 \
  const __m128i tmp11 = ADD(tmp1, tmp2), tmp12 = SUB(tmp1, tmp2);                                 \
                                                                                                  \
  __m128i z1 = ADD(c[7], c[1]), z2 = ADD(c[5], c[3]), z3 = ADD(c[7], c[3]), z4 = ADD(c[5], c[1]); \
  const __m128i zs = ADD(z3, z4);                                                                 \
  const __m128i z5 = ADD(ADD(SRA(zs, 5), SRA(zs, 3)), zs);                                        \
  z1 = SUB(_mm_setzero_si128(), ADD(ADD(SRA(z1, 6), SRA(z1, 3)), ADD(SRA(z1, 2), SRA(z1, 1))));   \
  z2 = SUB(_mm_setzero_si128(), ADD(ADD(SRA(z2, 5), SRA(z2, 1)), ADD(z2, z2)));                   \
  z3 = SUB(z5, ADD(ADD(SRA(z3, 4), SRA(z3, 2)), ADD(SRA(z3, 1), z3)));                            \
  z4 = SUB(z5, ADD(ADD(SRA(z4, 7), SRA(z4, 3)), SRA(z4, 2)));                                     \
  const __m128i t0 = ADD(ADD(ADD(SRA(c[7], 6), SRA(c[7], 5)), SRA(c[7], 2)), ADD(z1, z3));        \
  const __m128i t1 = ADD(ADD(ADD(SRA(c[5], 6), SRA(c[5], 5)), ADD(c[5], c[5])), ADD(z2, z4));     \
  const __m128i t2 = ADD(ADD(ADD(c[3], ADD(c[3], c[3])), SRA(c[3], 4)), ADD(z2, z3));             \
  const __m128i t3 = ADD(ADD(c[1], SRA(c[1], 1)), ADD(z1, z4));                                   \
  o[0] = ADD(tmp10, t3);                                                                          \
  o[7] = SUB(tmp10, t3);                                                                          \
  o[1] = ADD(tmp11, t2);                                                                          \
  o[6] = SUB(tmp11, t2);                                                                          \
  o[2] = ADD(tmp12, t1);                                                                          \
  o[5] = SUB(tmp12, t1);                                                                          \
  o[3] = ADD(tmp13, t0);                                                                          \
  o[4] = SUB(tmp13, t0);

__attribute__((always_inline)) inline void IdctPassSse2(const __m128i c[8], __m128i o[8]) {
#define SRA(v, n) _mm_srai_epi32(v, n)
#define ADD(a, b) _mm_add_epi32(a, b)
#define SUB(a, b) _mm_sub_epi32(a, b)
  IDCT_PASS_VECTORS(c, o)
#undef SRA
#undef ADD
#undef SUB
}

// Eight rows of 16-bit values through the pass, column by column (each
// vector one row), results shifted right by shift and kept to 16 bits.
__attribute__((always_inline)) inline void IdctRowsSse2(__m128i r[8], int shift) {
  __m128i lo[8], hi[8], outLo[8], outHi[8];
  for (int i = 0; i < 8; ++i) {
    lo[i] = _mm_srai_epi32(_mm_unpacklo_epi16(r[i], r[i]), 16);
    hi[i] = _mm_srai_epi32(_mm_unpackhi_epi16(r[i], r[i]), 16);
  }
  IdctPassSse2(lo, outLo);
  IdctPassSse2(hi, outHi);
  const __m128i count = _mm_cvtsi32_si128(shift);
  for (int i = 0; i < 8; ++i) {
    // Keep the low 16 bits of each result, as a store to a short does.
    const __m128i a = _mm_srai_epi32(_mm_slli_epi32(_mm_sra_epi32(outLo[i], count), 16), 16);
    const __m128i b = _mm_srai_epi32(_mm_slli_epi32(_mm_sra_epi32(outHi[i], count), 16), 16);
    r[i] = _mm_packs_epi32(a, b);
  }
}

// The same pass on eight lanes of 16 bits.  With every input within
// +-kNarrowLimit no sum of the pass leaves 16 bits (the largest, an output,
// stays below 21.7 x the limit), so the results equal the 32-bit ones.
constexpr short kNarrowLimit = 1500;

__attribute__((always_inline)) inline void IdctPassNarrow(__m128i c[8], int shift) {
#define SRA(v, n) _mm_srai_epi16(v, n)
#define ADD(a, b) _mm_add_epi16(a, b)
#define SUB(a, b) _mm_sub_epi16(a, b)
  __m128i o[8];
  IDCT_PASS_VECTORS(c, o)
#undef SRA
#undef ADD
#undef SUB
  const __m128i count = _mm_cvtsi32_si128(shift);
  for (int i = 0; i < 8; ++i) c[i] = _mm_sra_epi16(o[i], count);
}

// True when every value lies within +-kNarrowLimit.
__attribute__((always_inline)) inline bool Narrow(const __m128i r[8]) {
  __m128i hi = r[0], lo = r[0];
  for (int i = 1; i < 8; ++i) {
    hi = _mm_max_epi16(hi, r[i]);
    lo = _mm_min_epi16(lo, r[i]);
  }
  const __m128i out = _mm_or_si128(_mm_cmpgt_epi16(hi, _mm_set1_epi16(kNarrowLimit)),
                                   _mm_cmplt_epi16(lo, _mm_set1_epi16(-kNarrowLimit)));
  return _mm_movemask_epi8(out) == 0;
}

}  // namespace

void IdctShiftAddSse2(short* b) {
  __m128i r[8];
  for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * i));
  // Column pass: each vector holds one row of the eight columns.
  if (Narrow(r))
    IdctPassNarrow(r, 0);
  else
    IdctRowsSse2(r, 0);
  Transpose8x8Epi16(r);
  // Row pass on the transposed block.
  if (Narrow(r))
    IdctPassNarrow(r, 3);
  else
    IdctRowsSse2(r, 3);
  Transpose8x8Epi16(r);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(b + 8 * i), r[i]);
}

#endif

void IdctShiftAdd(short* b) {
#if defined(__SSE2__)
  IdctShiftAddSse2(b);
#else
  IdctShiftAddPlain(b);
#endif
}

// Colour of one macroblock: two pixels a 32-bit store, two rows a chroma
// sample.
void MovieColourPlain(const short (*blocks)[64], BYTE* out, size_t pitch) {
  for (int cy = 0; cy < 8; ++cy) {
    BYTE* row0 = out + static_cast<size_t>(2 * cy) * pitch;
    BYTE* row1 = row0 + pitch;
    for (int cx = 0; cx < 8; ++cx) {
      const long long c1 = blocks[4][cy * 8 + cx];
      const long long c2 = blocks[5][cy * 8 + cx];
      const int db = static_cast<int>(std::clamp<long long>((c1 * 91881) >> 16, -1024, 1024));
      const int dr = static_cast<int>(std::clamp<long long>((c2 * 116129) >> 16, -1024, 1024));
      const int dg = static_cast<int>(std::clamp<long long>((c1 * 46801 + c2 * 22553) >> 16, -1024, 1024));
      const short* luma = blocks[(cy >> 2) * 2 + (cx >> 2)] + (cy & 3) * 16 + (cx & 3) * 2;
      uint32_t words[2];
      for (int r = 0; r < 2; ++r) {
        uint32_t pair = 0;
        for (int i = 0; i < 2; ++i) {
          const int y = luma[r * 8 + i] + 256;
          const WORD p = MovieBlueTable[std::clamp(y + db, 0, 511)] | MovieRedTable[std::clamp(y + dr, 0, 511)] |
                         MovieGreenTable[std::clamp(y - dg, 0, 511)];
          pair |= static_cast<uint32_t>(p) << (16 * i);
        }
        words[r] = pair;
      }
      std::memcpy(row0 + 4 * cx, &words[0], 4);
      std::memcpy(row1 + 4 * cx, &words[1], 4);
    }
  }
}

#if defined(__SSE2__)

void MovieColourSse2(const short (*blocks)[64], BYTE* out, size_t pitch) {
  // The table indices of 16 pixels a row in 16-bit lanes, with the
  // products split so that 16-bit multiplies give the same floors:
  // c x 91881 >> 16 = c + (c x 26345 >> 16); c x 116129 >> 16 =
  // 2c + (c x -14943 >> 16); (c1 x 46801 + c2 x 22553) >> 16 =
  // c1 + ((c1 x -18735 + c2 x 22553) >> 16).  Saturation keeps every
  // out-of-range sum on its side of the clamp.
  const __m128i limit = _mm_set1_epi16(1024), lowest = _mm_set1_epi16(-1024);
  const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(511), bias = _mm_set1_epi16(256);
  const __m128i greenK = _mm_set_epi16(22553, -18735, 22553, -18735, 22553, -18735, 22553, -18735);
  alignas(16) uint16_t index[3][16];
  for (int cy = 0; cy < 8; ++cy) {
    const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[4] + cy * 8));
    const __m128i c2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[5] + cy * 8));
    __m128i db = _mm_adds_epi16(c1, _mm_mulhi_epi16(c1, _mm_set1_epi16(26345)));
    __m128i dr = _mm_adds_epi16(_mm_adds_epi16(c2, c2), _mm_mulhi_epi16(c2, _mm_set1_epi16(-14943)));
    const __m128i gl = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(c1, c2), greenK), 16);
    const __m128i gh = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(c1, c2), greenK), 16);
    __m128i dg = _mm_adds_epi16(c1, _mm_packs_epi32(gl, gh));
    db = _mm_max_epi16(_mm_min_epi16(db, limit), lowest);
    dr = _mm_max_epi16(_mm_min_epi16(dr, limit), lowest);
    dg = _mm_max_epi16(_mm_min_epi16(dg, limit), lowest);
    const __m128i terms[3][2] = {{_mm_unpacklo_epi16(db, db), _mm_unpackhi_epi16(db, db)},
                                 {_mm_unpacklo_epi16(dr, dr), _mm_unpackhi_epi16(dr, dr)},
                                 {_mm_unpacklo_epi16(dg, dg), _mm_unpackhi_epi16(dg, dg)}};
    for (int r = 0; r < 2; ++r) {
      const int y = 2 * cy + r;
      BYTE* row = out + static_cast<size_t>(y) * pitch;
      for (int half = 0; half < 2; ++half) {
        const short* luma = blocks[(y >> 3) * 2 + half] + (y & 7) * 8;
        const __m128i l = _mm_adds_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma)), bias);
        const __m128i b = _mm_adds_epi16(l, terms[0][half]);
        const __m128i rr = _mm_adds_epi16(l, terms[1][half]);
        const __m128i g = _mm_subs_epi16(l, terms[2][half]);
        _mm_store_si128(reinterpret_cast<__m128i*>(index[0] + 8 * half), _mm_max_epi16(_mm_min_epi16(b, top), zero));
        _mm_store_si128(reinterpret_cast<__m128i*>(index[1] + 8 * half), _mm_max_epi16(_mm_min_epi16(rr, top), zero));
        _mm_store_si128(reinterpret_cast<__m128i*>(index[2] + 8 * half), _mm_max_epi16(_mm_min_epi16(g, top), zero));
      }
      for (int x = 0; x < 16; x += 2) {
        const uint32_t left = MovieBlueTable[index[0][x]] | MovieRedTable[index[1][x]] | MovieGreenTable[index[2][x]];
        const uint32_t right =
            MovieBlueTable[index[0][x + 1]] | MovieRedTable[index[1][x + 1]] | MovieGreenTable[index[2][x + 1]];
        const uint32_t pair = left | right << 16;
        std::memcpy(row + 2 * x, &pair, 4);
      }
    }
  }
}

#endif

namespace {

using MovieHuffman = Jbp1Huffman<HuffmanTree16, BuildHuffmanTree16>;
using MovieBits = Jbp1BitReader;

// The streams of a frame; its quantisation tables go to the state in
// zigzag order.
bool ReadMovieLayout(BlockDecoder* s, Jbp1Streams* l) {
  if (!ReadJbp1Streams(s->input, s->inputLength, l)) return false;
  for (int k = 0; k < 64; ++k) {
    // Without tables the coefficients are taken as they stand.
    s->lumaQuant[k] = l->quant ? l->quant[Jbp1ZigzagToNatural[k]] : 1;
    s->chromaQuant[k] = l->quant ? l->quant[64 + Jbp1ZigzagToNatural[k]] : 1;
  }
  return true;
}

// Reads one block's AC coefficients, dequantised, at their natural places;
// false when the block holds none.
inline bool ReadAcBlock(MovieBits& ac, const MovieHuffman& tree, const WORD* q, short* coef) {
  bool any = false;
  int k = 0;
  while (k < 63) {
    if (ac.count < MovieHuffman::kBits) ac.Refill();
    const int32_t f = tree.fast[ac.buf & ((1u << MovieHuffman::kBits) - 1)];
    if (f != 0) {
      k += (f >> 8) & 63;
      if (k > 63) {
        ac.Skip((f >> 4) & 15);  // a run past the block's end ends it
        return any;
      }
      ac.Skip(f & 15);
      coef[Jbp1ZigzagToNatural[k]] = static_cast<short>((f >> 16) * q[k]);
      any = true;
      continue;
    }
    const int s = tree.Decode(ac);
    if (s == 0) return any;
    if (s >= 0xF0) {
      k += (s & 15) + 15;
      continue;
    }
    k += (s >> 4) + 1;
    if (k > 63) return any;
    const int v = Jbp1ReadNumber(ac, s & 15);
    coef[Jbp1ZigzagToNatural[k]] = static_cast<short>(v * q[k]);
    any = true;
  }
  return any;
}

// The trees are rebuilt for every frame; one decode runs at a time.
MovieHuffman g_movieTrees[2];

}  // namespace

int DecodeMovieFrame(BlockDecoder* s) {
  if (s->width == 0 || s->height == 0) return 0;
  if (s->width != s->expectedWidth || s->height != s->expectedHeight) return 0;
  const DWORD columns = s->roundedWidth / 16, rows = s->roundedHeight / 16;
  if (columns == 0 || rows == 0 || columns * rows > MOVIE_MAX_MACROBLOCKS) return 0;
  Jbp1Streams layout;
  if (!ReadMovieLayout(s, &layout)) return 0;
  // Every block takes at least one DC bit and one AC bit.
  const size_t blocks = 6ull * columns * rows;
  if (blocks > 8 * layout.dcLength || blocks > 8 * layout.acLength) return 0;

  s->bitsPerPixel = 16;
  s->rowPitch = s->roundedWidth * 2;
  const size_t bytes = static_cast<size_t>(s->rowPitch) * s->roundedHeight;
  if (s->output == nullptr) {
    s->output = static_cast<WORD*>(LocalAlloc(LMEM_FIXED, bytes));
    if (s->output == nullptr) return 0;
    s->outputCapacity = static_cast<DWORD>(bytes);
  } else if (s->outputCapacity < bytes) {
    return 0;
  }

  MovieHuffman& dcTree = g_movieTrees[0];
  MovieHuffman& acTree = g_movieTrees[1];
  bool ok = dcTree.Build(layout.dcCounts, JBP1_DC_SYMBOLS) && acTree.Build(layout.acCounts, JBP1_AC_SYMBOLS);
  if (ok) {
    acTree.BuildFast();
    MovieBits dc(layout.dc, layout.dcLength), ac(layout.ac, layout.acLength);
    alignas(16) short blockStore[6][64];
    unsigned predictor = 0;
    BYTE* out = reinterpret_cast<BYTE*>(s->output);
    for (DWORD my = 0; my < rows && ok; ++my) {
      for (DWORD mx = 0; mx < columns; ++mx) {
        std::memset(blockStore, 0, sizeof blockStore);
        for (int b = 0; b < 6; ++b) {
          const WORD* q = b < 4 ? s->lumaQuant : s->chromaQuant;
          predictor += static_cast<unsigned>(Jbp1ReadNumber(dc, dcTree.Decode(dc)));
          short* block = blockStore[b];
          block[0] = static_cast<short>(predictor * q[0]);
          if (ReadAcBlock(ac, acTree, q, block)) {
            IdctShiftAdd(block);
          } else {
            // The transform of a lone DC value: flat, DC >> 3.
            const short flat = static_cast<short>(block[0] >> 3);
            for (int i = 0; i < 64; ++i) block[i] = flat;
          }
        }
#if defined(__SSE2__)
        MovieColourSse2(blockStore, out + my * 16 * s->rowPitch + mx * 32, s->rowPitch);
#else
        MovieColourPlain(blockStore, out + my * 16 * s->rowPitch + mx * 32, s->rowPitch);
#endif
      }
      if (dc.Overrun() || ac.Overrun()) ok = false;
    }
  }
  if (!ok) return 0;
  s->outputSize = static_cast<DWORD>(bytes);
  return 1;
}
