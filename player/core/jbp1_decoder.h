// Decodes a JBP1 stream (the colour of ".rbp" pictures of types 30 and 32)
// into RGB565 rows whose width is rounded up to a multiple of 16.
//
// Calling order: InitBlockDecoder; set input, inputLength, expectedWidth,
// expectedHeight and, to decode in place, output and outputCapacity;
// ParseJbp1Header; ResetBlockFlags; DecodeJbp1.
#pragma once

#include <cstddef>

#include <windows.h>

struct BlockDecoder {
  DWORD width;
  DWORD height;
  DWORD bitsPerPixel;
  BYTE flagA;  // header byte 11, bit 7
  DWORD quality;
  BYTE flagB;          // header byte 11, bit 6
  WORD lumaQuant[64];  // natural order
  WORD chromaQuant[64];
  BYTE aligned;  // width and height both multiples of 16
  const BYTE* input;
  DWORD inputLength;
  WORD* output;      // null: DecodeJbp1 allocates it (LocalAlloc; the caller frees it)
  DWORD outputSize;  // bytes written
  DWORD rowPitch;    // bytes per output row
  DWORD roundedWidth;
  DWORD roundedHeight;
  BYTE blockFlags[4];
  // The caller's side of the contract: the picture the stream must match,
  // and the bytes available at a caller-supplied output.
  DWORD expectedWidth;
  DWORD expectedHeight;
  DWORD outputCapacity;
};

// Shared colour tables: index 256 + v (v = -256..511) gives one RGB565
// channel of v clamped to 0..255.
extern WORD Jbp1BlueTable[768];
extern WORD Jbp1GreenTable[768];
extern WORD Jbp1RedTable[768];

// Builds the colour tables and sets the defaults (24 bits per pixel, quality
// 80, everything else 0).
void InitBlockDecoder(BlockDecoder* state);

// Reads the header fields; 0 when there is no input or fewer than 32 bytes.
int ParseJbp1Header(BlockDecoder* state);

void ResetBlockFlags(BlockDecoder* state);

// 1 when the whole picture was decoded; 0 for a stream that is malformed,
// truncated or does not match the expected size, or an output that is too
// small.  On failure an output allocated here is freed again.
int DecodeJbp1(BlockDecoder* state);

// The entropy stage alone: the quantised coefficients (natural order, DC
// predictions resolved) of every block, six per macroblock in stream order.
// blocks holds blockCapacity blocks of 64 values.  1 on success.
int DecodeJbp1Coefficients(BlockDecoder* state, short* blocks, size_t blockCapacity);

// The inverse DCT of one block in place, dequantising with quant.
void Jbp1InverseDct(short* block, const WORD* quant);
