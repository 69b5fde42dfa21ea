// Processor-specific routines of the decoder (SSE2; every x86-64 processor
// has it, so one routine serves the processor kinds 3 to 6).
#pragma once

#include <cstdint>

#include "jpeg/jpeg_internal.h"

void JpegIdctIntSse2(int16_t* block);
void JpegDequantizeIntSse2(int16_t* block, const int16_t* table);
// JpegDequantizeIntSse2 followed by JpegIdctIntSse2, in one pass.
void JpegIdctIntQuantSse2(int16_t* block, const int16_t* table);

// Block decoders keeping the accumulator's valid bits at the top end.
JpegStatus JpegDecodeBlockMmx(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                              int16_t* predictor, int16_t* block);
JpegStatus JpegDecodeBlockMmx2(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                               int16_t* predictor, int16_t* block);
JpegStatus JpegDecodeDcOnlyMmx(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                               int16_t* predictor, int16_t* dcOut);
JpegStatus JpegRefillFileMmx(JpegInStream* s);

// Output converter kernels for the fourteen entries that have one, for the
// processor kind (3 to 6).
void JpegFillSimdOutputKernels(JpegKernelTable* t, int32_t kind);
