// The decoder's slots of the kernel table, by processor kind.
#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

namespace {

// Routines of the processor classes.  Where classes compute the same values
// one routine serves them all, under each class's name.
constexpr JpegIdctFn JpegIdctScaledMmx = JpegIdctScaled;
constexpr JpegIdctFn JpegIdctIntMmx = JpegIdctIntSse2;
constexpr JpegIdctFn JpegIdctIntSse = JpegIdctIntSse2;
constexpr JpegDequantFn JpegDequantizeIntMmx = JpegDequantizeIntSse2;

}  // namespace

void JpegDecoderFillKernels(JpegKernelTable* t, int32_t kind) {
  const bool simd = kind >= 3 && kind <= 6;
  const bool sse = kind == JPEG_CPU_P6_SSE, sse2 = kind == JPEG_CPU_P4_SSE2;
  t->idctScaled = simd ? JpegIdctScaledMmx : JpegIdctScaled;
  t->idctScaledHalf = JpegIdctScaledHalf;
  t->idctScaledQuarter = JpegIdctScaledQuarter;
  t->idctScaledEighth = JpegIdctScaledEighth;
  t->idctInt = !simd ? JpegIdctInt : sse2 ? JpegIdctIntSse2 : sse ? JpegIdctIntSse : JpegIdctIntMmx;
  t->idctIntHalf = JpegIdctIntHalf;
  t->idctIntQuarter = JpegIdctIntQuarter;
  t->idctIntEighth = JpegIdctIntEighth;
  for (auto& r : t->decoderRoutine) r = nullptr;
  t->decoderOutput = nullptr;
  JpegFillPlainOutputKernels(t);
  if (simd) JpegFillSimdOutputKernels(t, kind);
  t->huffDecodeBlock = simd ? (kind == 3 ? JpegDecodeBlockMmx : JpegDecodeBlockMmx2) : JpegDecodeBlock;
  t->huffDecodeDcOnly = simd ? JpegDecodeDcOnlyMmx : JpegDecodeBlockDc;
  t->dequantScaled = JpegDequantizeScaled;
  t->dequantInt = !simd ? JpegDequantizeInt : sse2 ? JpegDequantizeIntSse2 : JpegDequantizeIntMmx;
  t->dequantScaled2 = JpegDequantizeScaled;
}
