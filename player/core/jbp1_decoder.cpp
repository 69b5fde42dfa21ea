#include "player/core/jbp1_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/jbp1_kernels.h"

WORD Jbp1BlueTable[768];
WORD Jbp1GreenTable[768];
WORD Jbp1RedTable[768];

void InitBlockDecoder(BlockDecoder* state)
{
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

int ParseJbp1Header(BlockDecoder* state)
{
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

void ResetBlockFlags(BlockDecoder* state)
{
    state->blockFlags[0] = 1;
    state->blockFlags[1] = state->blockFlags[2] = state->blockFlags[3] = 0;
}

namespace {

// ---- bit reading ---------------------------------------------------------

// Little-endian words read from bit 0 up, i.e. bit i of the stream is bit
// i % 8 of byte i / 8.  Past the end it yields zeros; Overrun() tells.
struct BitReader
{
    const BYTE* data;
    size_t size;
    size_t pos = 0;       // bytes taken into buf, past-the-end ones included
    uint64_t buf = 0;
    int count = 0;        // valid bits in buf

    BitReader(const BYTE* d, size_t n) : data(d), size(n) {}

    void Refill()
    {
        if (pos + 8 <= size) {
            uint64_t v;
            std::memcpy(&v, data + pos, 8);
            buf |= v << count;
            pos += (63 - count) >> 3;
            count |= 56;
        } else {
            while (count <= 56) {
                const uint64_t b = pos < size ? data[pos] : 0;
                ++pos;
                buf |= b << count;
                count += 8;
            }
        }
    }
    void Skip(int n)
    {
        buf >>= n;
        count -= n;
    }
    bool Overrun() const { return pos * 8 - static_cast<size_t>(count) > size * 8; }
};

BYTE g_reverse8[256];
struct ReverseInit
{
    ReverseInit()
    {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            g_reverse8[i] = static_cast<BYTE>(r);
        }
    }
} g_reverseInit;

// A category-c number, most significant bit first, widened as in JPEG.
inline int ReadValue(BitReader& br, int c)
{
    if (c == 0) return 0;
    if (br.count < c) br.Refill();
    const unsigned raw = static_cast<unsigned>(br.buf) & 0xFFFF;
    const unsigned reversed = (static_cast<unsigned>(g_reverse8[raw & 0xFF]) << 8 | g_reverse8[raw >> 8]) >> (16 - c);
    br.Skip(c);
    const int r = static_cast<int>(reversed & ((1u << c) - 1));
    return r < (1 << (c - 1)) ? r - (1 << c) + 1 : r;
}

// ---- Huffman decoding ----------------------------------------------------

// The tree of BuildHuffmanTree, with a table of the first kBits bits so that
// most symbols take one look-up; longer codes continue node by node.
struct HuffmanDecoder
{
    static constexpr int kBits = 10;
    int symbolCount = 0;
    HuffmanTreeLinks tree;
    uint32_t table[1 << kBits];  // node | bits used << 16

    bool Build(const DWORD* storedCounts, int n)
    {
        DWORD counts[2 * JBP1_AC_SYMBOLS - 1];
        std::memcpy(counts, storedCounts, n * sizeof(DWORD));
        symbolCount = n;
        if (BuildHuffmanTree(counts, n, &tree) != 2 * n - 1) return false;
        struct Item { int node, depth; uint32_t prefix; };
        Item stack[2 * JBP1_AC_SYMBOLS];
        int top = 0;
        stack[top++] = {2 * n - 2, 0, 0};
        while (top > 0) {
            const Item it = stack[--top];
            if (it.node < n || it.depth == kBits) {
                for (uint32_t i = it.prefix; i < (1u << kBits); i += 1u << it.depth)
                    table[i] = static_cast<uint32_t>(it.node) | static_cast<uint32_t>(it.depth) << 16;
                continue;
            }
            stack[top++] = {tree.firstChild[it.node], it.depth + 1, it.prefix};
            stack[top++] = {tree.secondChild[it.node], it.depth + 1, it.prefix | (1u << it.depth)};
        }
        return true;
    }

    // For the AC tree: codes of value symbols whose extra bits fit in the
    // same look-up, decoded in one step.  Entry: bits used (code and value)
    // in bits 0-3, code length in 4-7, positions advanced in 8-13, the
    // value in 16-31; 0 for everything else.
    int32_t fast[1 << kBits];

    void BuildFast()
    {
        for (uint32_t i = 0; i < (1u << kBits); ++i) {
            fast[i] = 0;
            const int node = static_cast<int>(table[i] & 0xFFFF);
            const int length = static_cast<int>(table[i] >> 16);
            if (node >= symbolCount || node == 0 || node >= 0xF0) continue;
            const int c = node & 15;
            if (c == 0 || length + c > kBits) continue;
            int r = 0;
            for (int b = 0; b < c; ++b) r = (r << 1) | ((i >> (length + b)) & 1);
            const int value = r < (1 << (c - 1)) ? r - (1 << c) + 1 : r;
            fast[i] = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | ((node >> 4) + 1) << 8 | length << 4 |
                      (length + c);
        }
    }

    inline int Decode(BitReader& br) const
    {
        if (br.count < kBits) br.Refill();
        const uint32_t e = table[br.buf & ((1u << kBits) - 1)];
        br.Skip(static_cast<int>(e >> 16));
        int node = static_cast<int>(e & 0xFFFF);
        while (node >= symbolCount) {
            if (br.count == 0) br.Refill();
            const int bit = static_cast<int>(br.buf & 1);
            br.Skip(1);
            node = bit ? tree.secondChild[node] : tree.firstChild[node];
        }
        return node;
    }
};

// ---- stream layout -------------------------------------------------------

struct Jbp1Layout
{
    DWORD dcCounts[JBP1_DC_SYMBOLS];
    DWORD acCounts[JBP1_AC_SYMBOLS];
    const BYTE* dc;
    size_t dcLength;
    const BYTE* ac;
    size_t acLength;
    size_t mbColumns;
    size_t mbRows;
};

bool ReadLayout(BlockDecoder* s, Jbp1Layout* l)
{
    const BYTE* in = s->input;
    const size_t size = s->inputLength;
    if (in == nullptr || size < 32 || s->width == 0 || s->height == 0) return false;
    if (s->width != s->expectedWidth || s->height != s->expectedHeight) return false;

    size_t pos = GetLe32(in + 4);
    if (pos > size || size - pos < 4 * JBP1_DC_SYMBOLS) return false;
    for (int i = 0; i < JBP1_DC_SYMBOLS; ++i) l->dcCounts[i] = GetLe32(in + pos + 4 * i);
    pos += 4 * JBP1_DC_SYMBOLS;

    // AC counts: 1024 bytes with zero runs, then padding to 4.
    BYTE raw[4 * JBP1_AC_SYMBOLS];
    const size_t acTable = pos;
    size_t filled = 0;
    while (filled < sizeof raw) {
        if (pos >= size) return false;
        const BYTE b = in[pos++];
        if (b != 0) {
            raw[filled++] = b;
            continue;
        }
        if (pos >= size) return false;
        const size_t zeros = static_cast<size_t>(in[pos++]) + 1;
        if (zeros > sizeof raw - filled) return false;
        std::memset(raw + filled, 0, zeros);
        filled += zeros;
    }
    for (int i = 0; i < JBP1_AC_SYMBOLS; ++i) l->acCounts[i] = GetLe32(raw + 4 * i);
    pos = acTable + ((pos - acTable + 3) & ~size_t(3));

    if (in[11] & 0x08) {
        if (pos > size || size - pos < 128) return false;
        for (int i = 0; i < 64; ++i) {
            s->lumaQuant[i] = in[pos + i];
            s->chromaQuant[i] = in[pos + 64 + i];
        }
        pos += 128;
    } else {
        // No tables: the coefficients are taken as they stand.
        for (int i = 0; i < 64; ++i) s->lumaQuant[i] = s->chromaQuant[i] = 1;
    }

    const size_t dcLength = GetLe32(in + 28);
    if (pos > size || size - pos < dcLength) return false;
    l->dc = in + pos;
    l->dcLength = dcLength;
    l->ac = in + pos + dcLength;
    l->acLength = size - pos - dcLength;

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
bool DecodeBlocks(const Jbp1Layout& l, Sink&& sink)
{
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

void Jbp1InverseDct(short* block, const WORD* quant)
{
    Jbp1InverseDctPlain(block, quant);
}

int DecodeJbp1Coefficients(BlockDecoder* state, short* out, size_t blockCapacity)
{
    Jbp1Layout layout;
    if (out == nullptr || !ReadLayout(state, &layout)) return 0;
    if (6ull * layout.mbColumns * layout.mbRows > blockCapacity) return 0;
    const size_t columns = layout.mbColumns;
    return DecodeBlocks(layout, [&](size_t mx, size_t my, short (*blocks)[64], unsigned) {
        std::memcpy(out + (my * columns + mx) * 6 * 64, blocks, 6 * 64 * sizeof(short));
    }) ? 1 : 0;
}

int DecodeJbp1(BlockDecoder* state)
{
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
    const bool ok = DecodeBlocks(layout, [&](size_t mx, size_t my, short (*blocks)[64], unsigned withAc) {
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
