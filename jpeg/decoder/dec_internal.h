// Routines shared between the decoder's files.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_internal.h"

// ---- Inverse DCT and dequantisation ---------------------------------------------
const double* ScaledDequantFactor();  // 64 factors, zigzag order
void JpegPrepareDequantScaled(int16_t* table);
void JpegPrepareDequantInt(int16_t* table);
void JpegDequantizeScaled(int16_t* block, const int16_t* table);
void JpegDequantizeInt(int16_t* block, const int16_t* table);
void JpegIdctScaled(int16_t* block);
void JpegIdctScaledHalf(int16_t* block);
void JpegIdctScaledQuarter(int16_t* block);
void JpegIdctScaledEighth(int16_t* block);
void JpegIdctInt(int16_t* block);
void JpegIdctIntHalf(int16_t* block);
void JpegIdctIntQuarter(int16_t* block);
void JpegIdctIntEighth(int16_t* block);

inline int16_t JpegRangeLimit(int32_t x) { return (int16_t)(x < -128 ? 0 : x > 127 ? 255 : x + 128); }

// ---- Input stream (dec_input.cpp) ---------------------------------------------------
// JpegNextMarker's code for the end of the data.
constexpr int32_t kJpegEndOfData = 256;
int64_t JpegStreamOffset(const JpegInStream* s);
JpegStatus JpegStreamSetOffset(JpegInStream* s, int64_t offset);
bool JpegFileSeekTo(HANDLE f, int64_t offset);
JpegStatus JpegFillInput(JpegInStream* s);
void JpegResetInput(JpegInStream* s);
JpegStatus JpegTakeBytes(JpegInStream* s, int32_t n, const uint8_t** out);
JpegStatus JpegReadWord(JpegInStream* s, int32_t* value);
// A segment body of n bytes, in place or gathered into a heap copy (*heap,
// which the caller frees).
JpegStatus JpegReadSegment(JpegInStream* s, int32_t n, const uint8_t** out, uint8_t** heap);
// A segment's length and body (length - 2 bytes), as JpegReadSegment.
JpegStatus JpegReadBody(JpegInStream* s, const uint8_t** body, int32_t* size, uint8_t** heap);
JpegStatus JpegSkipBytes(JpegInStream* s, int32_t n);
JpegStatus JpegSkipSegment(JpegInStream* s);
JpegStatus JpegSeekMarker(JpegInStream* s);
int32_t JpegNextMarker(JpegInStream* s, JpegStatus* status);
bool JpegHuffCountsValid(const uint8_t* counts);

// ---- Segment readers (dec_markers.cpp) ----------------------------------------------
JpegStatus JpegReadFrameHeader(JPEG_PROPERTIES* p, int32_t sof);
JpegStatus JpegReadQuantTables(JPEG_PROPERTIES* p);
JpegStatus JpegReadHuffmanTables(JPEG_PROPERTIES* p);
JpegStatus JpegReadRestartInterval(JPEG_PROPERTIES* p);
JpegStatus JpegReadApp0(JPEG_PROPERTIES* p);
JpegStatus JpegReadApp14(JPEG_PROPERTIES* p);
JpegStatus JpegReadComment(JPEG_PROPERTIES* p);
JpegStatus JpegReadScanHeader(JPEG_PROPERTIES* p, JpegScan* scan);
JpegStatus JpegStartScan(JPEG_PROPERTIES* p, JpegScan* scan);

// ---- Stream driver (dec_stream.cpp) ---------------------------------------------------
// Read types: parameters (0, 1, 20, 21) and tables-only (4, 5) reads stop
// before the image data; even types read a file, odd ones memory.
inline bool JpegIsFileRead(int32_t io) { return (io & 1) == 0; }
inline bool JpegIsParamsType(int32_t io) { return io == 0 || io == 1 || io == 4 || io == 5 || io == 20 || io == 21; }
inline bool JpegIsTablesType(int32_t io) { return io == 4 || io == 5; }
JpegStatus JpegDecodeStream(JPEG_PROPERTIES* p);
void JpegFreeScan(JpegDecoderState& d);
void JpegFreeFrameBuffers(JpegDecoderState& d);
void JpegRememberSizedGeometry(JpegDecoderState& d);

// ---- Huffman entropy decoding --------------------------------------------------------
extern const int32_t JpegZigzag80[80];
extern const int32_t JpegExtendOffset[16];
JpegStatus JpegFillBits(JpegInStream* s, int32_t need);
int32_t JpegGetBits(JpegInStream* s, int32_t n);
int32_t JpegPeekBits(JpegInStream* s, int32_t n);
JpegStatus JpegDecodeSymbol(JpegInStream* s, const JpegHuffDecodeTable* t, int32_t* symbol);
JpegStatus JpegDecodeBlock(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                           int16_t* predictor, int16_t* block);
JpegStatus JpegDecodeBlockDc(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                             int16_t* predictor, int16_t* dcOut);
JpegStatus JpegDecodeDcFirst(JpegInStream* s, const JpegHuffDecodeTable* dc, int16_t* coef, int16_t* predictor,
                             int32_t al);
JpegStatus JpegDecodeDcRefine(JpegInStream* s, int16_t* coef, int32_t al);
JpegStatus JpegDecodeAcFirst(JpegInStream* s, int16_t* block, const JpegHuffDecodeTable* ac, int32_t ss, int32_t se,
                             int32_t al);
JpegStatus JpegDecodeAcRefine(JpegInStream* s, int16_t* block, const JpegHuffDecodeTable* ac, int32_t ss, int32_t se,
                              int32_t al);

// ---- Scan loops ----------------------------------------------------------------------
JpegStatus JpegDecodeImage(JpegInStream* s, JpegScan* scan, JPEG_PROPERTIES* p);
JpegStatus JpegRestartCheck(JpegInStream* s, JpegScan* scan, int32_t mcusPerRow, int32_t mcuRows, int32_t col,
                            int32_t row);

// ---- Output ---------------------------------------------------------------------------
struct JpegRect {
  int32_t left, top, right, bottom;
};
JpegStatus JpegSelectOutputConverter(JPEG_PROPERTIES* p);
JpegStatus JpegClipMcu(const int32_t* roi, int32_t mcuWidth, int32_t mcuHeight, int32_t col, int32_t row,
                       int32_t bytesPerPixel, int32_t stride, uint8_t* picture, int32_t pictureWidth,
                       int32_t pictureHeight, uint8_t** out, JpegRect* rect);
JpegRect JpegRectIntersect(const JpegRect& a, const JpegRect& b);
// Writes one decoded MCU (samples in p->work) at the read's scale.
void JpegOutputScaledMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row);
// Smoothing: flushes MCUs that still wait for their neighbours.
void JpegSmoothFlush(JPEG_PROPERTIES* p);
void JpegSmoothReset(JPEG_PROPERTIES* p);
// MCU columns and rows [c0, c1) x [r0, r1) that a read outputs (the region plus
// one MCU each side for smoothing, or the whole image).
void JpegMcuWindow(const JPEG_PROPERTIES* p, int32_t scale, int32_t* win);
JpegStatus JpegSmoothAllocate(JPEG_PROPERTIES* p);
void JpegConvertPictureColour(JPEG_PROPERTIES* p);
int32_t JpegBufferedMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row);
int32_t JpegBufferedYcbcrMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row);
int32_t JpegBufferedComponentChannel(const JPEG_PROPERTIES* p, int32_t component);

// ---- Output converters (full-MCU plain routines) ------------------------------------
void JpegFillPlainOutputKernels(JpegKernelTable* t);
int32_t JpegOutputDriverFor(int32_t code, JpegDecoderRoutineFn* driver);
int32_t JpegOutGray(JPEG_PROPERTIES* p, int32_t col, int32_t row);
int32_t JpegCopyMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row);
int32_t JpegSmoothMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row);

void JpegCvtGray(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc444Rgb(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc422Rgb(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc420Rgb(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc444Bgr(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc422Bgr(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc420Bgr(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc444Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc422Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcc420Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtCopy3(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtCopy422(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtCopy420(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtCopy3Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtPack422(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcck444Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcck422Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtYcck420Quad(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);
void JpegCvtCopy4(const int16_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*, int32_t);

// Slot index of each converter code inside JpegKernelTable::outputConverters.
enum : int32_t {
  cvtGray = 0,
  cvtYcc444Rgb,
  cvtYcc422Rgb,
  cvtYcc420Rgb,
  cvtYcc444Bgr,
  cvtYcc422Bgr,
  cvtYcc420Bgr,
  cvtYcc444Quad,
  cvtYcc422Quad,
  cvtYcc420Quad,
  cvtCopy3,
  cvtCopy422,
  cvtCopy420,
  cvtCopy3Quad,
  cvtPack422,
  cvtYcck444Quad,
  cvtYcck422Quad,
  cvtYcck420Quad,
  cvtCopy4
};

// Slots 19-22 hold the transforms bound for the current scan.
inline void JpegSetIdctSlot(JpegKernelTable* t, int i, JpegIdctFn f) {
  t->decoderRoutine[i] = reinterpret_cast<JpegDecoderRoutineFn>(reinterpret_cast<void (*)()>(f));
}
inline JpegIdctFn JpegIdctSlot(const JpegKernelTable* t, int i) {
  return reinterpret_cast<JpegIdctFn>(reinterpret_cast<void (*)()>(t->decoderRoutine[i]));
}
