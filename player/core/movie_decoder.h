// Decodes one movie frame: a JBP1-laid-out picture whose quantisation is
// applied while coefficients are read, whose inverse DCT uses shifts and adds
// only, and whose colour step writes two pixels at a time.
//
// Calling order: InitMovieDecoder once per movie (it also sets the defaults
// of the state); per frame set input and inputLength, ParseJbp1Header,
// ResetBlockFlags, DecodeMovieFrame.  expectedWidth and expectedHeight hold
// the movie's frame size; outputCapacity the bytes at a caller-supplied
// output.  The state's quantisation tables are kept in zigzag order.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

#include "player/core/jbp1_decoder.h"

// Largest frame: 1,200 macroblocks (640 x 480 or 480 x 640), 7,200 blocks.
constexpr DWORD MOVIE_MAX_MACROBLOCKS = 1200;

// Index 128 + v (v = -128..383) gives one RGB565 channel of v clamped to
// 0..255.
extern WORD MovieBlueTable[512];
extern WORD MovieGreenTable[512];
extern WORD MovieRedTable[512];

// Builds the 512-entry colour tables and sets the state's defaults
// (24 bits per pixel, quality 80, everything else 0).
void InitMovieDecoder(BlockDecoder* state);

// 1 when the frame was decoded whole into the output (allocated with
// LocalAlloc when null; the caller frees it).  0 for a frame whose size is
// not the movie's, above the macroblock limit, with malformed tables or
// lengths, or whose bit streams run out; the output may then hold part of
// the frame.
int DecodeMovieFrame(BlockDecoder* state);

// The code tree with 16-bit node numbers: symbols 0..n-1, merged nodes from
// n up.  parent is +k for the bit-0 child of node k, -k for its bit-1 child.
struct HuffmanTree16 {
  uint16_t child0[512];
  uint16_t child1[512];
  int16_t parent[512];
};

// Builds the tree of n (16 or 256) counts with the merge rule of the JBP1
// coder; counts has room for 2n - 1 entries and is consumed.  Returns the
// root + 1 (2n - 1) for a complete tree, less when a count at or above the
// live limit, or a sum reaching it, left the tree incomplete.
int BuildHuffmanTree16(DWORD* counts, int n, HuffmanTree16* tree);

inline int Jbp1Child(const HuffmanTree16& tree, int node, int bit) {
  return bit ? tree.child1[node] : tree.child0[node];
}

// The shift-and-add inverse DCT of one dequantised block in place: column
// pass, then the row pass whose results are shifted right by 3.  The block
// is 16-byte aligned.  The plain and the SSE2 forms give identical results.
void IdctShiftAdd(short* block);
void IdctShiftAddPlain(short* block);
#if defined(__SSE2__)
void IdctShiftAddSse2(short* block);
#endif

// Colour of one macroblock (blocks 0-3 luma, 4 the chroma driving blue, 5
// the one driving red) through the 512-entry tables: two pixels a 32-bit
// store, each chroma sample over a 2 x 2 group in two successive rows.  The
// plain and the SSE2 forms give identical results.
void MovieColourPlain(const short (*blocks)[64], BYTE* out, size_t pitch);
#if defined(__SSE2__)
void MovieColourSse2(const short (*blocks)[64], BYTE* out, size_t pitch);
#endif
