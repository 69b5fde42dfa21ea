// The per-block work of the JBP1 decoder: inverse DCT with dequantisation,
// and colour conversion of one 16x16 macroblock to RGB565.  The plain
// routines define the results; the SSE2 ones give identical results.
#pragma once

#include <cstddef>

#include <windows.h>

// Integer LLM inverse DCT in place: the column pass dequantises, each
// product is a 32-bit product shifted right by 16, the row pass shifts its
// results right by 3; both passes store 16-bit values.
void Jbp1InverseDctPlain(short* block, const WORD* quant);

// Blocks 0..3 luma (raster order), 4 Cb, 5 Cr, as level-shifted samples;
// 16 rows of 16 pixels go to out, pitch pixels apart.
void Jbp1StoreMacroblockPlain(const short (*blocks)[64], WORD* out, size_t pitch);

#if defined(__SSE2__)
#define VELMI_JBP1_SSE2 1
void Jbp1InverseDctSse2(short* block, const WORD* quant);
void Jbp1StoreMacroblockSse2(const short (*blocks)[64], WORD* out, size_t pitch);
#endif
