// Encoder tables: the default quantisation and Huffman tables, quality
// scaling, table output and the derived code tables.
#include <array>
#include <cstring>

#include "jpeg/jpeg_internal.h"

namespace {

constexpr uint8_t kLumaNatural[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint8_t kChromaNatural[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                        24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr int32_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                                 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr std::array<uint8_t, 64> ToZigzag(const uint8_t (&natural)[64]) {
  std::array<uint8_t, 64> z{};
  for (int k = 0; k < 64; ++k) z[k] = natural[kZigzag[k]];
  return z;
}
constexpr std::array<uint8_t, 64> kLumaZigzag = ToZigzag(kLumaNatural);
constexpr std::array<uint8_t, 64> kChromaZigzag = ToZigzag(kChromaNatural);

}  // namespace

const uint8_t JpegStdLumaQuant[64] = {
#define Q(i) kLumaZigzag[i]
    Q(0),  Q(1),  Q(2),  Q(3),  Q(4),  Q(5),  Q(6),  Q(7),  Q(8),  Q(9),  Q(10), Q(11), Q(12),
    Q(13), Q(14), Q(15), Q(16), Q(17), Q(18), Q(19), Q(20), Q(21), Q(22), Q(23), Q(24), Q(25),
    Q(26), Q(27), Q(28), Q(29), Q(30), Q(31), Q(32), Q(33), Q(34), Q(35), Q(36), Q(37), Q(38),
    Q(39), Q(40), Q(41), Q(42), Q(43), Q(44), Q(45), Q(46), Q(47), Q(48), Q(49), Q(50), Q(51),
    Q(52), Q(53), Q(54), Q(55), Q(56), Q(57), Q(58), Q(59), Q(60), Q(61), Q(62), Q(63)
#undef Q
};
const uint8_t JpegStdChromaQuant[64] = {
#define Q(i) kChromaZigzag[i]
    Q(0),  Q(1),  Q(2),  Q(3),  Q(4),  Q(5),  Q(6),  Q(7),  Q(8),  Q(9),  Q(10), Q(11), Q(12),
    Q(13), Q(14), Q(15), Q(16), Q(17), Q(18), Q(19), Q(20), Q(21), Q(22), Q(23), Q(24), Q(25),
    Q(26), Q(27), Q(28), Q(29), Q(30), Q(31), Q(32), Q(33), Q(34), Q(35), Q(36), Q(37), Q(38),
    Q(39), Q(40), Q(41), Q(42), Q(43), Q(44), Q(45), Q(46), Q(47), Q(48), Q(49), Q(50), Q(51),
    Q(52), Q(53), Q(54), Q(55), Q(56), Q(57), Q(58), Q(59), Q(60), Q(61), Q(62), Q(63)
#undef Q
};

const uint8_t JpegStdDcLumaCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t JpegStdDcLumaSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t JpegStdDcChromaCounts[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t JpegStdDcChromaSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t JpegStdAcLumaCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t JpegStdAcLumaSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const uint8_t JpegStdAcChromaCounts[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t JpegStdAcChromaSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
    0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
    0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
    0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
    0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

bool JpegIsStandardTable(const uint8_t* table) {
  const uint8_t* const standard[] = {
      JpegStdLumaQuant,       JpegStdChromaQuant,  JpegStdDcLumaCounts,  JpegStdDcLumaSymbols,  JpegStdDcChromaCounts,
      JpegStdDcChromaSymbols, JpegStdAcLumaCounts, JpegStdAcLumaSymbols, JpegStdAcChromaCounts, JpegStdAcChromaSymbols};
  for (const uint8_t* s : standard)
    if (table == s) return true;
  return false;
}

JpegStatus JpegSetupTables(JPEG_PROPERTIES* p) {
  bool callerQuant = false;
  if (p->callerQuantTables)
    for (const auto& s : p->quantSpec) callerQuant = callerQuant || s.base != nullptr;
  if (!callerQuant) {
    p->quantSpec[0] = {JpegStdLumaQuant, 0};
    p->quantSpec[1] = {JpegStdChromaQuant, 1};
    p->quantSpec[2] = {nullptr, 0};
    p->quantSpec[3] = {nullptr, 0};
    p->quantCount = p->quantCount2 = 2;
  }
  if (p->callerHuffTables)
    for (const auto& s : p->huffSpec)
      if (s.counts && s.symbols) return JPEG_SUCCESS;
  p->huffSpec[0] = {JpegStdDcLumaCounts, JpegStdDcLumaSymbols, 0, 0};
  p->huffSpec[1] = {JpegStdAcLumaCounts, JpegStdAcLumaSymbols, 1, 0};
  p->huffSpec[2] = {JpegStdDcChromaCounts, JpegStdDcChromaSymbols, 0, 1};
  p->huffSpec[3] = {JpegStdAcChromaCounts, JpegStdAcChromaSymbols, 1, 1};
  for (int i = 4; i < 8; ++i) p->huffSpec[i] = {nullptr, nullptr, 0, 0};
  p->huffPairs = p->huffCount2 = p->huffCount3 = 2;
  const uint8_t sel[4] = {0, 1, 1, 1};
  std::memcpy(p->dcSel, sel, 4);
  std::memcpy(p->acSel, sel, 4);
  return JPEG_SUCCESS;
}

void JpegScaleQuantTable(int32_t quality, const uint8_t* base, int16_t* out) {
  if (quality <= 0) quality = 1;
  if (quality > 100) quality = 100;
  const int32_t scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  for (int i = 0; i < 64; ++i) {
    int32_t v = (base[i] * scale + 50) / 100;
    if (v <= 0) v = 1;
    if (v > 255) v = 255;
    out[i] = (int16_t)v;
  }
}

namespace {

JpegStatus PrepareForMethod(JPEG_PROPERTIES* p, int16_t* table) {
  if (p->dctMethod == 0)
    JpegPrepareQuantScaled(table);
  else if (p->dctMethod == 1)
    JpegPrepareQuantRecip(table);
  else
    return JPEG_ERR_INVALID_PROPERTIES;
  return JPEG_SUCCESS;
}

JpegStatus DerivePairs(JPEG_PROPERTIES* p) {
  const int32_t pairs = p->huffPairs < 0 ? 0 : (p->huffPairs > 4 ? 4 : p->huffPairs);
  for (int k = 0; k < pairs; ++k) {
    const JpegHuffSpec& dc = p->huffSpec[2 * k];
    const JpegHuffSpec& ac = p->huffSpec[2 * k + 1];
    if (!dc.counts || !dc.symbols || !ac.counts || !ac.symbols || dc.id > 3 || ac.id > 3) return JPEG_ERR_BAD_HUFFMAN;
    JpegStatus st = JpegDeriveEncodeTable(dc.counts, dc.symbols, &p->dcEncode[dc.id]);
    if (st != 0) return st;
    p->dcEncodeInUse[dc.id] = &p->dcEncode[dc.id];
    st = JpegDeriveEncodeTable(ac.counts, ac.symbols, &p->acEncode[ac.id]);
    if (st != 0) return st;
    p->acEncodeInUse[ac.id] = &p->acEncode[ac.id];
  }
  return JPEG_SUCCESS;
}

int32_t QuantCount(const JPEG_PROPERTIES* p) { return p->quantCount < 0 ? 0 : (p->quantCount > 4 ? 4 : p->quantCount); }

}  // namespace

JpegStatus JpegWriteTables(JPEG_PROPERTIES* p) {
  const int32_t n = QuantCount(p);
  for (int j = 0; j < n; ++j) {
    if (!p->quantSpec[j].base) return JPEG_ERR_BAD_QUANT;
    p->quantInUse[j] = &p->quant[j];
    JpegScaleQuantTable(p->quality, p->quantSpec[j].base, p->quant[j].q);
    p->quant[j].id = p->quantSpec[j].id;
    JpegStatus st = JpegWriteDqt(p, 0, p->quantSpec[j].id, p->quant[j].q);
    if (st != 0) return st;
    st = PrepareForMethod(p, p->quant[j].q);
    if (st != 0) return st;
  }
  if (p->progressive) return JPEG_SUCCESS;
  JpegStatus st = JpegWriteDhtAll(p);
  if (st != 0) return st;
  return DerivePairs(p);
}

JpegStatus JpegPrepareTablesNoOutput(JPEG_PROPERTIES* p) {
  const int32_t n = QuantCount(p);
  for (int j = 0; j < n; ++j) {
    if (!p->quantSpec[j].base || p->quantInUse[j]) continue;
    p->quantInUse[j] = &p->quant[j];
    JpegScaleQuantTable(p->quality, p->quantSpec[j].base, p->quant[j].q);
    p->quant[j].id = p->quantSpec[j].id;
    JpegStatus st = PrepareForMethod(p, p->quant[j].q);
    if (st != 0) return st;
  }
  return DerivePairs(p);
}

namespace {

// Code lengths and canonical codes of a counts list; -1 for too many codes.
int32_t CanonicalCodes(const uint8_t* counts, int32_t* sizes, int32_t* codes) {
  int32_t n = 0;
  for (int len = 1; len <= 16; ++len)
    for (int i = 0; i < counts[len - 1]; ++i) {
      if (n >= 258) return -1;
      sizes[n++] = len;
    }
  uint32_t code = 0;
  int32_t k = 0;
  int32_t si = n ? sizes[0] : 0;
  while (k < n) {
    while (k < n && sizes[k] == si) codes[k++] = (int32_t)code++;
    code <<= 1;
    ++si;
  }
  return n;
}

// Entry for a pattern whose code of len bits decodes to sym.
inline int32_t CombinedEntry(int32_t p, int32_t len, int32_t sym) {
  constexpr int32_t kBits = JPEG_COMBINED_BITS;
  const int32_t r = (sym >> 4) & 15, n = sym & 15;
  if (len + n > kBits) return 0;
  const int32_t raw = (p >> (kBits - len - n)) & ((1 << n) - 1);
  const int32_t value = (n && raw < (1 << (n - 1))) ? raw + 1 - (1 << n) : raw;
  const int32_t advance = n ? r + 1 : (r == 15 ? 16 : 0);
  return (int32_t)((uint32_t)(uint16_t)(int16_t)value << 16) | (advance << 8) | (len + n);
}

// Resolves each JPEG_COMBINED_BITS-bit pattern the way the block decoders
// do (look-ahead, then the per-length walk from 9 bits), so that an entry
// always gives the same symbol, value and bit count as the long way, even
// for oversubscribed code lengths.
void FillCombined(JpegHuffDecodeTable* t) {
  constexpr int32_t kBits = JPEG_COMBINED_BITS;
  constexpr int32_t kPer = 1 << (kBits - 8);
  for (int32_t i = 0; i < 256; ++i) {
    int32_t* out = t->combined + i * kPer;
    const int32_t e = t->lookahead[i];
    if (e >> 16) {
      const int32_t len = e >> 16, r = (e >> 4) & 15, n = e & 15;
      if (len + n > kBits) {
        for (int32_t q = 0; q < kPer; ++q) out[q] = 0;
        continue;
      }
      const int32_t advance = n ? r + 1 : (r == 15 ? 16 : 0);
      const int32_t shift = kBits - len - n, mask = (1 << n) - 1, half = n ? 1 << (n - 1) : 0;
      for (int32_t q = 0; q < kPer; ++q) {
        const int32_t raw = ((i * kPer + q) >> shift) & mask;
        const int32_t value = raw + (((raw - half) >> 31) & (1 - (1 << n)));
        out[q] = (int32_t)((uint32_t)(uint16_t)(int16_t)value << 16) | (advance << 8) | (len + n);
      }
      continue;
    }
    for (int32_t q = 0; q < kPer; ++q) {
      const int32_t p = i * kPer + q;
      out[q] = 0;
      int32_t l = 9, code = p >> (kBits - 9);
      bool fits = true;
      while (l <= 16 && code > t->lastCode[l]) {
        if (l == kBits) {
          fits = false;
          break;
        }
        code = (code << 1) | ((p >> (kBits - l - 1)) & 1);
        ++l;
      }
      if (!fits || l > 16) continue;
      const int32_t idx = t->firstIndex[l] + code - t->firstCode[l];
      out[q] = CombinedEntry(p, l, (idx >= 0 && idx < 256) ? t->symbols[idx] : 0);
    }
  }
}

}  // namespace

JpegStatus JpegDeriveEncodeTable(const uint8_t* counts, const uint8_t* symbols, JpegHuffEncodeTable* table) {
  std::memset(table, 0, sizeof *table);
  int32_t sizes[258], codes[258];
  const int32_t n = CanonicalCodes(counts, sizes, codes);
  if (n < 0) return JPEG_ERR_BAD_HUFFMAN;
  for (int k = 0; k < n; ++k) {
    table->length[symbols[k]] = sizes[k];
    table->code[symbols[k]] = (uint16_t)codes[k];
    table->packed[symbols[k]] = ((uint32_t)(uint16_t)codes[k] << 8) | (uint32_t)sizes[k];
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegDeriveDecodeTable(const uint8_t* counts, const uint8_t* symbols, int32_t cls, int32_t id,
                                 JpegHuffDecodeTable* table) {
  table->cls = cls;
  table->id = id;
  int32_t sizes[258], codes[258];
  const int32_t n = CanonicalCodes(counts, sizes, codes);
  if (n < 0) return JPEG_ERR_BAD_HUFFMAN;
  const int32_t stored = n < 256 ? n : 256;
  for (int k = 0; k < stored; ++k) table->symbols[k] = symbols[k];
  int32_t k = 0;
  for (int len = 1; len <= 16; ++len) {
    if (counts[len - 1]) {
      table->firstIndex[len] = k;
      table->firstCode[len] = codes[k];
      k += counts[len - 1];
      table->lastCode[len] = codes[k - 1];
    } else {
      table->firstIndex[len] = k;
      table->firstCode[len] = 0;
      table->lastCode[len] = -1;
    }
  }
  table->lastCode[17] = -1;
  std::memset(table->lookahead, 0, sizeof table->lookahead);
  for (int i = 0; i < n && i < 256; ++i) {
    const int32_t len = sizes[i];
    if (len > 8) break;
    const int32_t first = codes[i] << (8 - len);
    for (int j = 0; j < (1 << (8 - len)) && first + j < 256; ++j)
      table->lookahead[first + j] = (len << 16) | symbols[i];
  }
  FillCombined(table);
  return JPEG_SUCCESS;
}
