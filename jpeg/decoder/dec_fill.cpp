// The decoder's slots of the kernel table, by processor kind.
#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

void JpegDecoderFillKernels(JpegKernelTable* t, int32_t kind) {
  const bool simd = kind >= 3 && kind <= 6;
  t->idctScaled = JpegIdctScaled;
  t->idctScaledHalf = JpegIdctScaledHalf;
  t->idctScaledQuarter = JpegIdctScaledQuarter;
  t->idctScaledEighth = JpegIdctScaledEighth;
  t->idctInt = simd ? JpegIdctIntSse2 : JpegIdctInt;
  t->idctIntHalf = JpegIdctIntHalf;
  t->idctIntQuarter = JpegIdctIntQuarter;
  t->idctIntEighth = JpegIdctIntEighth;
  for (auto& r : t->decoderRoutine) r = nullptr;
  t->decoderOutput = nullptr;
  JpegFillPlainOutputKernels(t);
  if (simd) JpegFillSimdOutputKernels(t);
  t->huffDecodeBlock = simd ? (kind == 3 ? JpegDecodeBlockMmx : JpegDecodeBlockMmx2) : JpegDecodeBlock;
  t->huffDecodeDcOnly = simd ? JpegDecodeDcOnlyMmx : JpegDecodeBlockDc;
  t->dequantScaled = JpegDequantizeScaled;
  t->dequantInt = simd ? JpegDequantizeIntSse2 : JpegDequantizeInt;
  t->dequantScaled2 = JpegDequantizeScaled;
}
