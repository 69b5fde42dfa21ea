#include "player/core/jbp1_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/jbp1_bits.h"
#include "player/core/jbp1_kernels.h"

WORD Jbp1BlueTable[768];
WORD Jbp1GreenTable[768];
WORD Jbp1RedTable[768];

void InitBlockDecoder(BlockDecoder* state) {
  for (int i = 0; i < 768; ++i) {
    const int c = std::clamp(i - 256, 0, 255);
    Jbp1BlueTable[i] = PackRgb565(0, 0, c);
    Jbp1GreenTable[i] = PackRgb565(0, c, 0);
    Jbp1RedTable[i] = PackRgb565(c, 0, 0);
  }
  std::memset(state, 0, sizeof *state);
  state->bitsPerPixel = 24;
  state->quality = 80;
}

int ParseJbp1Header(BlockDecoder* state) {
  const BYTE* in = state->input;
  if (in == nullptr || state->inputLength < 32) return 0;
  state->flagA = (in[11] >> 7) & 1;
  state->flagB = (in[11] >> 6) & 1;
  state->quality = GetLe32(in + 12);
  state->width = GetLe16(in + 16);
  state->height = GetLe16(in + 18);
  state->bitsPerPixel = GetLe32(in + 20);
  state->aligned = (state->width % 16 == 0 && state->height % 16 == 0) ? 1 : 0;
  state->roundedWidth = (state->width + 15) & ~15u;
  state->roundedHeight = (state->height + 15) & ~15u;
  state->rowPitch = static_cast<DWORD>(static_cast<unsigned long long>(state->roundedWidth) * state->bitsPerPixel / 8);
  return 1;
}

void ResetBlockFlags(BlockDecoder* state) {
  state->blockFlags[0] = 1;
  state->blockFlags[1] = state->blockFlags[2] = state->blockFlags[3] = 0;
}

namespace {

using HuffmanDecoder = Jbp1Huffman<HuffmanTreeLinks, BuildHuffmanTree>;
using BitReader = Jbp1BitReader;

inline int ReadValue(BitReader& br, int c) { return Jbp1ReadNumber(br, c); }

// ---- stream layout -------------------------------------------------------

struct Jbp1Layout : Jbp1Streams {
  size_t mbColumns;
  size_t mbRows;
};

bool ReadLayout(BlockDecoder* s, Jbp1Layout* l) {
  if (s->width == 0 || s->height == 0) return false;
  if (s->width != s->expectedWidth || s->height != s->expectedHeight) return false;
  if (!ReadJbp1Streams(s->input, s->inputLength, l)) return false;
  for (int i = 0; i < 64; ++i) {
    // No tables: the coefficients are taken as they stand.
    s->lumaQuant[i] = l->quant ? l->quant[i] : 1;
    s->chromaQuant[i] = l->quant ? l->quant[64 + i] : 1;
  }
  l->mbColumns = (s->width + 15) / 16;
  l->mbRows = (s->height + 15) / 16;
  // Every block takes at least one DC bit and one AC bit, which bounds what
  // a short stream can ask for.
  const unsigned long long blocks = 6ull * l->mbColumns * l->mbRows;
  if (blocks > 8ull * l->dcLength || blocks > 8ull * l->acLength) return false;
  return true;
}

// Decodes every macroblock's six coefficient blocks and hands them to sink.
template <typename Sink>
bool DecodeBlocks(const Jbp1Layout& l, Sink&& sink) {
  HuffmanDecoder* dcTree = new HuffmanDecoder;
  HuffmanDecoder* acTree = new HuffmanDecoder;
  bool ok = dcTree->Build(l.dcCounts, JBP1_DC_SYMBOLS) && acTree->Build(l.acCounts, JBP1_AC_SYMBOLS);
  if (ok) {
    acTree->BuildFast();
    BitReader dc(l.dc, l.dcLength), ac(l.ac, l.acLength);
    alignas(16) short blocks[6][64];
    unsigned predictor = 0;
    for (size_t my = 0; my < l.mbRows && ok; ++my) {
      for (size_t mx = 0; mx < l.mbColumns; ++mx) {
        std::memset(blocks, 0, sizeof blocks);
        unsigned withAc = 0;  // blocks holding more than their DC value
        for (int b = 0; b < 6; ++b) {
          short* coef = blocks[b];
          const int category = dcTree->Decode(dc);
          predictor += static_cast<unsigned>(ReadValue(dc, category));
          coef[0] = static_cast<short>(predictor);
          int k = 0;
          while (k < 63) {
            if (ac.count < HuffmanDecoder::kBits) ac.Refill();
            const int32_t f = acTree->fast[ac.buf & ((1u << HuffmanDecoder::kBits) - 1)];
            if (f != 0) {
              const int at = k + ((f >> 8) & 63);
              if (at > 63) {
                ac.Skip((f >> 4) & 15);
                break;
              }
              ac.Skip(f & 15);
              coef[Jbp1ZigzagToNatural[at]] = static_cast<short>(f >> 16);
              withAc |= 1u << b;
              k = at;
              continue;
            }
            const int symbol = acTree->Decode(ac);
            if (symbol == 0) break;
            if (symbol >= 0xF0) {
              k += (symbol & 15) + 15;
              continue;
            }
            const int at = k + (symbol >> 4) + 1;
            if (at > 63) break;  // a run past the block's end ends it
            coef[Jbp1ZigzagToNatural[at]] = static_cast<short>(ReadValue(ac, symbol & 15));
            withAc |= 1u << b;
            k = at;
          }
        }
        sink(mx, my, blocks, withAc);
      }
      // A stream read past its end is not a picture.
      if (dc.Overrun() || ac.Overrun()) ok = false;
    }
  }
  delete dcTree;
  delete acTree;
  return ok;
}

}  // namespace

void Jbp1InverseDct(short* block, const WORD* quant) { Jbp1InverseDctPlain(block, quant); }

int DecodeJbp1Coefficients(BlockDecoder* state, short* out, size_t blockCapacity) {
  Jbp1Layout layout;
  if (out == nullptr || !ReadLayout(state, &layout)) return 0;
  if (6ull * layout.mbColumns * layout.mbRows > blockCapacity) return 0;
  const size_t columns = layout.mbColumns;
  return DecodeBlocks(layout,
                      [&](size_t mx, size_t my, short(*blocks)[64], unsigned) {
                        std::memcpy(out + (my * columns + mx) * 6 * 64, blocks, 6 * 64 * sizeof(short));
                      })
             ? 1
             : 0;
}

int DecodeJbp1(BlockDecoder* state) {
  Jbp1Layout layout;
  if (!ReadLayout(state, &layout)) return 0;
  state->bitsPerPixel = 16;
  state->rowPitch = state->roundedWidth * 2;
  const unsigned long long bytes = 2ull * state->roundedWidth * state->roundedHeight;
  bool allocated = false;
  if (state->output == nullptr) {
    state->output = static_cast<WORD*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes)));
    if (state->output == nullptr) return 0;
    allocated = true;
  } else if (state->outputCapacity < bytes) {
    return 0;
  }
  WORD* output = state->output;
  const size_t pitch = state->roundedWidth;
  const bool ok = DecodeBlocks(layout, [&](size_t mx, size_t my, short(*blocks)[64], unsigned withAc) {
    for (int b = 0; b < 6; ++b) {
      const WORD* quant = b < 4 ? state->lumaQuant : state->chromaQuant;
      if (!(withAc & (1u << b))) {
        // The transform of a lone DC value is flat: (DC x q, kept to
        // 16 bits) >> 3 everywhere.
        const short v = static_cast<short>(static_cast<short>(blocks[b][0] * quant[0]) >> 3);
        for (short& x : blocks[b]) x = v;
        continue;
      }
#if VELMI_JBP1_SSE2
      Jbp1InverseDctSse2(blocks[b], quant);
#else
            Jbp1InverseDctPlain(blocks[b], quant);
#endif
    }
    WORD* dst = output + my * 16 * pitch + mx * 16;
#if VELMI_JBP1_SSE2
    Jbp1StoreMacroblockSse2(blocks, dst, pitch);
#else
        Jbp1StoreMacroblockPlain(blocks, dst, pitch);
#endif
  });
  if (!ok) {
    if (allocated) {
      LocalFree(state->output);
      state->output = nullptr;
    }
    return 0;
  }
  state->outputSize = static_cast<DWORD>(bytes);
  return 1;
}
