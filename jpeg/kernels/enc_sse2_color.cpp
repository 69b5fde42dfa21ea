// SSE2 whole-MCU input kernels.  Same coefficients, offsets and shifts as
// the plain kernels, on 16-bit samples with 32-bit multiply-adds, so the
// output is identical.  Loads never pass the last byte of a row's MCU.
#include <emmintrin.h>

#include "jpeg/kernels/enc_kernels.h"

namespace {

// Eight pixels as planar 16-bit channels.
struct Px8 {
  __m128i c0, c1, c2, c3;
};

// Four pixels of 32-bit lanes (bytes c0 c1 c2 x) to [c0 x4 | c1 x4] and [c2 x4 | c3 x4].
inline void Planar4(__m128i px, __m128i& u0, __m128i& u1) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(px, zero), hi = _mm_unpackhi_epi8(px, zero);
  const __m128i t0 = _mm_unpacklo_epi16(lo, hi), t1 = _mm_unpackhi_epi16(lo, hi);
  u0 = _mm_unpacklo_epi16(t0, t1);
  u1 = _mm_unpackhi_epi16(t0, t1);
}

// Four 3-byte pixels held in the low 12 bytes of a register, as 32-bit lanes.
inline __m128i Spread3(__m128i a) {
  const __m128i t0 = _mm_unpacklo_epi32(a, _mm_srli_si128(a, 3));
  const __m128i t1 = _mm_unpacklo_epi32(_mm_srli_si128(a, 6), _mm_srli_si128(a, 9));
  return _mm_unpacklo_epi64(t0, t1);
}

inline Px8 Load3(const uint8_t* s) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8)), 4);
  __m128i a0, a1, b0, b1;
  Planar4(Spread3(a), a0, a1);
  Planar4(Spread3(b), b0, b1);
  return Px8{_mm_unpacklo_epi64(a0, b0), _mm_unpackhi_epi64(a0, b0), _mm_unpacklo_epi64(a1, b1),
             _mm_unpackhi_epi64(a1, b1)};
}

inline Px8 Load4(const uint8_t* s) {
  __m128i a0, a1, b0, b1;
  Planar4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), a0, a1);
  Planar4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), b0, b1);
  return Px8{_mm_unpacklo_epi64(a0, b0), _mm_unpackhi_epi64(a0, b0), _mm_unpacklo_epi64(a1, b1),
             _mm_unpackhi_epi64(a1, b1)};
}

// Sixteen 3-byte pixels (48 bytes) split into their bytes 0, 1 and 2 for the
// even and the odd pixels, as 16-bit lanes, by three rounds of byte unpacks.
struct Px16 {
  __m128i even[3], odd[3];
};

inline Px16 Load3x16(const uint8_t* s) {
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
  __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
  // Round 1: bytes 8 apart side by side.
  __m128i g = _mm_srli_si128(a, 8);
  a = _mm_unpackhi_epi8(_mm_slli_si128(a, 8), f);
  f = _mm_slli_si128(f, 8);
  g = _mm_unpacklo_epi8(g, b);
  f = _mm_unpackhi_epi8(f, b);
  // Round 2.
  __m128i d = _mm_srli_si128(a, 8);
  a = _mm_unpackhi_epi8(_mm_slli_si128(a, 8), g);
  g = _mm_slli_si128(g, 8);
  d = _mm_unpacklo_epi8(d, f);
  g = _mm_unpackhi_epi8(g, f);
  // Round 3: a = byte 0 | byte 1 of the even pixels, e = byte 2 of the even
  // | byte 0 of the odd pixels, d = byte 1 | byte 2 of the odd pixels.
  __m128i e = _mm_srli_si128(a, 8);
  a = _mm_unpackhi_epi8(_mm_slli_si128(a, 8), d);
  d = _mm_slli_si128(d, 8);
  e = _mm_unpacklo_epi8(e, g);
  d = _mm_unpackhi_epi8(d, g);
  const __m128i z = _mm_setzero_si128();
  Px16 p;
  p.even[0] = _mm_unpacklo_epi8(a, z);
  p.even[1] = _mm_unpackhi_epi8(a, z);
  p.even[2] = _mm_unpacklo_epi8(e, z);
  p.odd[0] = _mm_unpackhi_epi8(e, z);
  p.odd[1] = _mm_unpacklo_epi8(d, z);
  p.odd[2] = _mm_unpackhi_epi8(d, z);
  return p;
}

enum Order { kBgr, kRgb, kInk };

template <Order O>
inline void Channels(const uint8_t* s, __m128i& r, __m128i& g, __m128i& b, __m128i& k) {
  if (O == kInk) {
    const Px8 p = Load4(s);
    const __m128i full = _mm_set1_epi16(255);
    r = _mm_sub_epi16(full, p.c0);
    g = _mm_sub_epi16(full, p.c1);
    b = _mm_sub_epi16(full, p.c2);
    k = _mm_sub_epi16(p.c3, _mm_set1_epi16(128));
  } else {
    const Px8 p = Load3(s);
    r = O == kBgr ? p.c2 : p.c0;
    g = p.c1;
    b = O == kBgr ? p.c0 : p.c2;
  }
}

// a*ka + b*kb + c*kc + d*kd, then an arithmetic shift, on eight 16-bit lanes
// (inputs small enough for 16 bits, sums in 32 bits).
inline __m128i Dot(__m128i a, __m128i b, __m128i c, __m128i d, __m128i kab, __m128i kcd, int shift) {
  const __m128i lo =
      _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), kab), _mm_madd_epi16(_mm_unpacklo_epi16(c, d), kcd));
  const __m128i hi =
      _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), kab), _mm_madd_epi16(_mm_unpackhi_epi16(c, d), kcd));
  return _mm_packs_epi32(_mm_srai_epi32(lo, shift), _mm_srai_epi32(hi, shift));
}

inline __m128i Pair(int a, int b) {
  return _mm_set1_epi32((int)((uint32_t)(uint16_t)a | ((uint32_t)(uint16_t)b << 16)));
}

inline __m128i LumaOf(__m128i r, __m128i g, __m128i b) {
  return Dot(r, g, b, _mm_set1_epi16(1), Pair(77, 150), Pair(29, -32640), 8);
}

// Chroma from sums over groups of n pixels (round = 128 n).
inline void ChromaOf(__m128i sr, __m128i sg, __m128i sb, int round, int shift, __m128i& cb, __m128i& cr) {
  const __m128i one = _mm_set1_epi16(1);
  cb = Dot(sb, sr, sg, one, Pair(128, -43), Pair(-85, round), shift);
  cr = Dot(sr, sg, sb, one, Pair(128, -107), Pair(-21, round), shift);
}

// Sums of horizontal pairs of two 8-lane vectors, as eight lanes.
inline __m128i PairSums(__m128i left, __m128i right) {
  const __m128i ones = _mm_set1_epi16(1);
  return _mm_packs_epi32(_mm_madd_epi16(left, ones), _mm_madd_epi16(right, ones));
}

inline void Store(int16_t* d, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v); }

template <Order O>
constexpr int Bytes() {
  return O == kInk ? 4 : 3;
}

template <Order O>
void H1V1(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t* k) {
  for (int row = 0; row < 8; ++row) {
    __m128i r, g, b, kk;
    Channels<O>(src + (intptr_t)row * stride, r, g, b, kk);
    Store(y + 8 * row, LumaOf(r, g, b));
    __m128i vb, vr;
    ChromaOf(r, g, b, 128, 8, vb, vr);
    Store(cb + 8 * row, vb);
    Store(cr + 8 * row, vr);
    if (O == kInk) Store(k + 8 * row, kk);
  }
}

template <Order O>
void H2V1(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t* k) {
  for (int row = 0; row < 8; ++row) {
    const uint8_t* s = src + (intptr_t)row * stride;
    __m128i r0, g0, b0, k0, r1, g1, b1, k1;
    Channels<O>(s, r0, g0, b0, k0);
    Channels<O>(s + 8 * Bytes<O>(), r1, g1, b1, k1);
    Store(y + 8 * row, LumaOf(r0, g0, b0));
    Store(y + 64 + 8 * row, LumaOf(r1, g1, b1));
    if (O == kInk) {
      Store(k + 8 * row, k0);
      Store(k + 64 + 8 * row, k1);
    }
    __m128i vb, vr;
    ChromaOf(PairSums(r0, r1), PairSums(g0, g1), PairSums(b0, b1), 256, 9, vb, vr);
    Store(cb + 8 * row, vb);
    Store(cr + 8 * row, vr);
  }
}

// Sixteen pixels of a row: their luma in pixel order (lo: 0-7, hi: 8-15) and
// the R, G, B sums of horizontal pairs.
template <Order O>
inline void Row16(const uint8_t* s, __m128i& ylo, __m128i& yhi, __m128i& sr, __m128i& sg, __m128i& sb) {
  const Px16 p = Load3x16(s);
  const int ri = O == kBgr ? 2 : 0, bi = 2 - ri;
  const __m128i ye = LumaOf(p.even[ri], p.even[1], p.even[bi]);
  const __m128i yo = LumaOf(p.odd[ri], p.odd[1], p.odd[bi]);
  ylo = _mm_unpacklo_epi16(ye, yo);
  yhi = _mm_unpackhi_epi16(ye, yo);
  sr = _mm_add_epi16(p.even[ri], p.odd[ri]);
  sg = _mm_add_epi16(p.even[1], p.odd[1]);
  sb = _mm_add_epi16(p.even[bi], p.odd[bi]);
}

template <Order O>
void H2V1Rgb(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr) {
  for (int row = 0; row < 8; ++row) {
    __m128i ylo, yhi, sr, sg, sb;
    Row16<O>(src + (intptr_t)row * stride, ylo, yhi, sr, sg, sb);
    Store(y + 8 * row, ylo);
    Store(y + 64 + 8 * row, yhi);
    __m128i vb, vr;
    ChromaOf(sr, sg, sb, 256, 9, vb, vr);
    Store(cb + 8 * row, vb);
    Store(cr + 8 * row, vr);
  }
}

template <Order O>
void H2V2Rgb(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr) {
  for (int row = 0; row < 8; ++row) {
    __m128i y0l, y0h, r0, g0, b0, y1l, y1h, r1, g1, b1;
    Row16<O>(src + (intptr_t)(2 * row) * stride, y0l, y0h, r0, g0, b0);
    Row16<O>(src + (intptr_t)(2 * row + 1) * stride, y1l, y1h, r1, g1, b1);
    int16_t* blk = y + (row >= 4 ? 128 : 0) + (2 * row % 8) * 8;
    Store(blk, y0l);
    Store(blk + 64, y0h);
    Store(blk + 8, y1l);
    Store(blk + 72, y1h);
    __m128i vb, vr;
    ChromaOf(_mm_add_epi16(r0, r1), _mm_add_epi16(g0, g1), _mm_add_epi16(b0, b1), 512, 10, vb, vr);
    Store(cb + 8 * row, vb);
    Store(cr + 8 * row, vr);
  }
}

// One 8x8 luma quadrant (and its 4x4 chroma quarter) of an H2V2 MCU.
template <Order O>
void H2V2Quadrant(const uint8_t* src, int32_t stride, int16_t* y, int16_t* k, int16_t* cb, int16_t* cr) {
  for (int pair = 0; pair < 4; ++pair) {
    __m128i r0, g0, b0, k0, r1, g1, b1, k1;
    Channels<O>(src + (intptr_t)(2 * pair) * stride, r0, g0, b0, k0);
    Channels<O>(src + (intptr_t)(2 * pair + 1) * stride, r1, g1, b1, k1);
    Store(y + 16 * pair, LumaOf(r0, g0, b0));
    Store(y + 16 * pair + 8, LumaOf(r1, g1, b1));
    if (O == kInk) {
      Store(k + 16 * pair, k0);
      Store(k + 16 * pair + 8, k1);
    }
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i sr = _mm_madd_epi16(_mm_add_epi16(r0, r1), ones);
    const __m128i sg = _mm_madd_epi16(_mm_add_epi16(g0, g1), ones);
    const __m128i sb = _mm_madd_epi16(_mm_add_epi16(b0, b1), ones);
    __m128i vb, vr;
    ChromaOf(_mm_packs_epi32(sr, sr), _mm_packs_epi32(sg, sg), _mm_packs_epi32(sb, sb), 512, 10, vb, vr);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + 8 * pair), vb);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + 8 * pair), vr);
  }
}

template <Order O>
void H2V2(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t* k) {
  constexpr int b = Bytes<O>();
  for (int q = 0; q < 4; ++q) {
    const int qx = q & 1, qy = q >> 1;
    H2V2Quadrant<O>(src + (intptr_t)(8 * qy) * stride + 8 * qx * b, stride, y + 64 * q, k ? k + 64 * q : nullptr,
                    cb + 32 * qy + 4 * qx, cr + 32 * qy + 4 * qx);
  }
}

}  // namespace

void JpegGreyMmx(const uint8_t* src, int32_t stride, int16_t* out) {
  const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(128);
  for (int row = 0; row < 8; ++row) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (intptr_t)row * stride));
    Store(out + 8 * row, _mm_sub_epi16(_mm_unpacklo_epi8(v, zero), bias));
  }
}

void JpegRgbYccH1V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H1V1<kRgb>(s, st, a, b, c, nullptr);
}
void JpegRgbYccH2V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H2V1Rgb<kRgb>(s, st, a, b, c);
}
void JpegRgbYccH2V2Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H2V2Rgb<kRgb>(s, st, a, b, c);
}
void JpegBgrYccH1V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H1V1<kBgr>(s, st, a, b, c, nullptr);
}
void JpegBgrYccH2V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H2V1Rgb<kBgr>(s, st, a, b, c);
}
void JpegBgrYccH2V2Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t*) {
  H2V2Rgb<kBgr>(s, st, a, b, c);
}
void JpegYcckH1V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  H1V1<kInk>(s, st, a, b, c, d);
}
void JpegYcckH2V1Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  H2V1<kInk>(s, st, a, b, c, d);
}
void JpegYcckH2V2Mmx(const uint8_t* s, int32_t st, int16_t* a, int16_t* b, int16_t* c, int16_t* d) {
  H2V2<kInk>(s, st, a, b, c, d);
}

void JpegPacked422Sse(const uint8_t* src, int32_t stride, int16_t* y, int16_t* cb, int16_t* cr, int16_t*) {
  const __m128i low = _mm_set1_epi16(0xFF), word = _mm_set1_epi32(0xFFFF), bias = _mm_set1_epi16(128);
  for (int row = 0; row < 8; ++row) {
    const uint8_t* s = src + (intptr_t)row * stride;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    Store(y + 8 * row, _mm_sub_epi16(_mm_and_si128(a, low), bias));
    Store(y + 64 + 8 * row, _mm_sub_epi16(_mm_and_si128(b, low), bias));
    const __m128i ca = _mm_srli_epi16(a, 8), cbv = _mm_srli_epi16(b, 8);  // Cb, Cr, Cb, Cr ...
    const __m128i vb = _mm_packs_epi32(_mm_and_si128(ca, word), _mm_and_si128(cbv, word));
    const __m128i vr = _mm_packs_epi32(_mm_srli_epi32(ca, 16), _mm_srli_epi32(cbv, 16));
    Store(cb + 8 * row, _mm_sub_epi16(vb, bias));
    Store(cr + 8 * row, _mm_sub_epi16(vr, bias));
  }
}
