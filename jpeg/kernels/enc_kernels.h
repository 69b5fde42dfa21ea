// Processor-specific encoder kernels (SSE2 intrinsics).  One routine serves
// every processor class from 3 to 6 where the variants compute the same.
#pragma once

#include "jpeg/jpeglib_api.h"

// Forward DCTs: the plain routines' arithmetic on eight lanes.
void JpegFdctIntSse2(int16_t* block);
void JpegFdctScaledMmx(int16_t* block);

// Quantisers with the processor rounding.
void JpegQuantizeRecipSse2(int16_t* block, const int16_t* table);
void JpegQuantizeScaledMmx(int16_t* block, const int16_t* table);

// Huffman block encoder: the plain encoder's bytes, found through a bitmap
// of the non-zero coefficients.
JpegStatus JpegEncodeBlockSse2(JpegOutputStream* s, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                               int32_t* lastDc, const int16_t* block);

// Whole-MCU input kernels, identical output to the plain ones.
void JpegGreyMmx(const uint8_t* src, int32_t stride, int16_t* out);
void JpegRgbYccH1V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegRgbYccH2V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegRgbYccH2V2Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH1V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH2V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH2V2Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegPacked422Sse(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH1V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH2V1Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH2V2Mmx(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
