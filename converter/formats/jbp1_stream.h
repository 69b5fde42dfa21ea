// The JBP1 stream: the quantised DCT coefficients of a 4:2:0 baseline JPEG,
// re-coded with Huffman codes built from symbol counts stored in the stream.
// Layout: 44-byte header, 16 DC counts (u32), the 256 AC counts as 1024 bytes
// with zero runs (padded to 4), the luma and chroma quantisation tables, the
// DC bit stream and the AC bit stream.  Bit streams are little-endian 32-bit
// words filled from bit 0 up; codes go root first, numbers most significant
// bit first.
#pragma once

#include <vector>

#include <windows.h>

constexpr DWORD JBP1_HEADER_SIZE = 44;
constexpr DWORD JBP1_FLAGS = 0x08000001;       // bit 27: quantisation tables present
constexpr DWORD JBP1_FLAG_QUANT_TABLES = 0x08000000;
constexpr int JBP1_DC_SYMBOLS = 16;
constexpr int JBP1_AC_SYMBOLS = 256;
constexpr int JBP1_BLOCKS_PER_MCU = 6;         // Y, Y, Y, Y, Cb, Cr

constexpr DWORD HUFFMAN_LIVE_LIMIT = 2099999999u;
constexpr DWORD HUFFMAN_USED_COUNT = 2100000000u;
constexpr int HUFFMAN_MAX_NODES = 512;

constexpr int AC_RUN_TAG = 100;
constexpr int AC_END_TAG = 101;

// Natural (row-major) index of each zigzag position.
extern const BYTE Jbp1ZigzagToNatural[64];

struct Jbp1Header
{
    char magic[4];        // "JBP1"
    DWORD headerSize;     // offset of the count tables
    DWORD flags;
    DWORD quality;
    WORD width;
    WORD height;
    DWORD bitsPerPixel;   // 24
    DWORD reserved1;
    DWORD dcLength;       // bytes, a multiple of 4
    DWORD acLength;
    DWORD reserved2;
    DWORD value;          // 0
};

void StoreJbp1Header(BYTE* dst, const Jbp1Header& header);

// The code tree: nodes 0..n-1 are the symbols, merged nodes follow.  The
// parent link is +k for a first child of node k (bit 0), -k for a second
// child (bit 1).
struct HuffmanTreeLinks
{
    short firstChild[HUFFMAN_MAX_NODES];
    short secondChild[HUFFMAN_MAX_NODES];
    short parent[HUFFMAN_MAX_NODES];
};

// The two live nodes (count below HUFFMAN_LIVE_LIMIT) of 0..nodeCount-1 with
// the smallest counts, lowest index first on equal counts; -100 when missing.
void PickTwoSmallest(const DWORD* counts, int nodeCount, int* first, int* second);

// Builds the tree from n counts (n = 16 or 256; counts has room for 2n - 1
// entries and is overwritten).  Returns the number of nodes, 2n - 1 for a
// complete tree; fewer when counts at or above the live limit stopped the
// merging (such a tree cannot be decoded).  The root is node 2n - 2.
int BuildHuffmanTree(DWORD* counts, int n, HuffmanTreeLinks* tree);

// Category of a value: 0 for 0, else the bit length of |v| (at most 15).
int DcCategory(int value);
// Category and its extra bits (negative values: the low bits of v - 1).
void SplitCategoryBits(int value, int* category, DWORD* bits);

// One step of a block's AC scan: a run pair (AC_RUN_TAG, run), a value pair
// (category, extra bits) or the end pair (AC_END_TAG, 0).
struct AcPair
{
    int tag;
    DWORD value;
};

// Appends the pairs of one block (64 coefficients, natural order).
void ScanAcRuns(const int* block, std::vector<AcPair>* pairs);

struct AcSymbol
{
    int symbol;
    DWORD bits;     // extra bits of the value, most significant first
    int bitCount;
};

// Walks a pair list symbol by symbol.  Returns FALSE at the end of the list.
struct AcSymbolCursor
{
    const AcPair* pairs;
    size_t count;
    size_t position = 0;
    int pendingRun = -1;  // zeros still to code before the next value
};
BOOL MapAcSymbol(AcSymbolCursor* cursor, AcSymbol* out);

// Bit packing over a growing buffer.
class BitWriter
{
public:
    explicit BitWriter(std::vector<BYTE>* out) : out_(out) {}
    void PutBit(int bit);
    void PutBits(DWORD value, int n);           // the low n bits, most significant first
    void Flush();                               // completes the last word with zeros
    void PutCode(int symbol, int nodeCount, const HuffmanTreeLinks& tree);
    size_t ByteCount() const { return out_->size(); }

private:
    std::vector<BYTE>* out_;
    DWORD accumulator_ = 0;
    int bitCount_ = 0;
};

// The AC counts as the stream stores them: 1024 bytes with zero runs, padded
// with zeros to a multiple of 4.
std::vector<BYTE> PackAcCounts(const DWORD* counts);

// What a JBP1 stream is made from.
struct Jbp1Coefficients
{
    DWORD width;              // 1..65535
    DWORD height;             // 1..65535
    DWORD quality;            // the JPEG quality the coefficients were made with
    BYTE lumaQuant[64];       // natural order
    BYTE chromaQuant[64];
    // Quantised coefficients in natural order: for each 16x16 MCU in raster
    // order six blocks of 64 values (four luma in raster order, Cb, Cr).
    const int* blocks;
};

// A new LocalAlloc'd JBP1 stream and its length; null when the sizes are out
// of range or allocation fails.
BYTE* WriteJbp1Stream(const Jbp1Coefficients& picture, DWORD* outLength);
