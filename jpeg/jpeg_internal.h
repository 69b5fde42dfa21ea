// Internal routines of the JPEG library shared between the interface, the
// dispatch, the encoder and the decoder.
#pragma once

#include <cstdint>

#include "jpeg/jpeglib_api.h"

// Wrapping 32-bit arithmetic: products and sums that may leave the int32
// range wrap as the fixed-point routines expect, without undefined behaviour.
inline int32_t JpegWrapAdd(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
inline int32_t JpegWrapSub(int32_t a, int32_t b) { return (int32_t)((uint32_t)a - (uint32_t)b); }
inline int32_t JpegWrapMul(int32_t a, int32_t b) { return (int32_t)((uint32_t)a * (uint32_t)b); }
inline int32_t JpegWrapShl(int32_t a, int s) { return (int32_t)((uint32_t)a << s); }

extern const int32_t ZigzagToNatural[64];

// ---- Dispatch and run-time services -------------------------------------------
void JpegBindKernels(JpegKernelTable* table);
int32_t JpegPickCpu(JpegKernelTable* table);
void JpegProbeCpu(JpegCpuInfo* info);
int32_t JpegCpuKindFromInfo(const JpegCpuInfo& info);
void JpegFillKernels(JpegKernelTable* table, int32_t kind);
void JpegReleaseKernels(JpegKernelTable* table);
void JpegDecoderFillKernels(JpegKernelTable* table, int32_t kind);  // decoder's slots

extern void (*const JpegCopyBytes)(void* dst, const void* src, size_t n);
extern void (*const JpegZeroBytes)(void* dst, size_t n);

HANDLE JpegFileOpen(const char* name, bool readOnly);
BOOL JpegFileClose(HANDLE file);
DWORD JpegFileRead(HANDLE file, void* buffer, DWORD count);
DWORD JpegFileWrite(HANDLE file, const void* buffer, DWORD count);
bool JpegFileSeek(HANDLE file, LONG distance, bool relative);

// ---- Validation ---------------------------------------------------------------
JpegStatus JpegPrepare(JpegJob* job, int32_t ioType, bool write);

// ---- Tables (4.103) -----------------------------------------------------------
extern const uint8_t JpegStdLumaQuant[64];
extern const uint8_t JpegStdChromaQuant[64];
extern const uint8_t JpegStdDcLumaCounts[16];
extern const uint8_t JpegStdDcLumaSymbols[12];
extern const uint8_t JpegStdDcChromaCounts[16];
extern const uint8_t JpegStdDcChromaSymbols[12];
extern const uint8_t JpegStdAcLumaCounts[16];
extern const uint8_t JpegStdAcLumaSymbols[162];
extern const uint8_t JpegStdAcChromaCounts[16];
extern const uint8_t JpegStdAcChromaSymbols[162];

// True for the library's standard tables that a write leaves in the caller's slots.
bool JpegIsStandardTable(const uint8_t* table);
JpegStatus JpegSetupTables(JPEG_PROPERTIES* p);
void JpegScaleQuantTable(int32_t quality, const uint8_t* base, int16_t* out);
JpegStatus JpegWriteTables(JPEG_PROPERTIES* p);
JpegStatus JpegPrepareTablesNoOutput(JPEG_PROPERTIES* p);
JpegStatus JpegDeriveEncodeTable(const uint8_t* counts, const uint8_t* symbols, JpegHuffEncodeTable* table);
JpegStatus JpegDeriveDecodeTable(const uint8_t* counts, const uint8_t* symbols, int32_t cls, int32_t id,
                                 JpegHuffDecodeTable* table);

// ---- Markers and output sink (4.104) ------------------------------------------
void JpegSinkOpen(JpegOutputStream* s, uint8_t* buffer, int32_t size);
JpegStatus JpegPutBytes(const uint8_t* bytes, int32_t count, JpegOutputStream* s);
JpegStatus JpegFlushOutput(JpegOutputStream* s);
JpegStatus JpegWriteSoi(JPEG_PROPERTIES* p);
JpegStatus JpegWriteEoi(JPEG_PROPERTIES* p);
JpegStatus JpegWriteApp0(JPEG_PROPERTIES* p);
JpegStatus JpegWriteApp14(JPEG_PROPERTIES* p, uint8_t transform);
JpegStatus JpegWriteComment(JPEG_PROPERTIES* p);
JpegStatus JpegWriteDqt(JPEG_PROPERTIES* p, int32_t precision, int32_t id, const int16_t* entries);
JpegStatus JpegWriteDhtAll(JPEG_PROPERTIES* p);
JpegStatus JpegWriteDhtOne(JPEG_PROPERTIES* p, const uint8_t* counts, const uint8_t* values, int32_t cls, int32_t id);
JpegStatus JpegWriteSof0(JPEG_PROPERTIES* p);
JpegStatus JpegWriteSof2(JPEG_PROPERTIES* p);
JpegStatus JpegWriteSos(JPEG_PROPERTIES* p);
JpegStatus JpegWriteSosScan(JPEG_PROPERTIES* p, const JpegScanState* scan);
JpegStatus JpegWriteDri(JPEG_PROPERTIES* p, int32_t interval);
JpegStatus JpegWriteRst(JPEG_PROPERTIES* p, int32_t n);
JpegStatus JpegWriteHeaders(JPEG_PROPERTIES* p);

// ---- Scan drivers (4.105) -----------------------------------------------------
JpegStatus JpegEncodeBaseline(JPEG_PROPERTIES* p);
JpegStatus JpegEncodeProgressive(JPEG_PROPERTIES* p);
void JpegDeleteScanState(JpegScanState*& scan);

// ---- Forward DCT and quantisation (4.106) ------------------------------------
extern const int32_t ScaledQuantBase[64];
void JpegPrepareQuantRecip(int16_t* table);
void JpegPrepareQuantScaled(int16_t* table);
void JpegFdctInt(int16_t* block);
void JpegFdctScaled(int16_t* block);
void JpegQuantizeRecip(int16_t* block, const int16_t* table);
void JpegQuantizeScaled(int16_t* block, const int16_t* table);

// ---- Huffman entropy encoding (4.107) ----------------------------------------
extern const uint8_t JpegMagnitudeTable[256];
extern const uint8_t JpegEobRunTable[256];
int32_t JpegMagnitudeCategory(int32_t v);
int32_t JpegEobRunCategory(int32_t r);
JpegStatus JpegPutBits(JpegOutputStream* s, uint32_t value, int32_t n);
// The bit writer serves memory and file output, and every processor class,
// with the same routine; the names are those of its entries.
typedef JpegStatus (*JpegPutBitsFn)(JpegOutputStream* s, uint32_t value, int32_t n);
constexpr JpegPutBitsFn JpegPutBitsMem = JpegPutBits;
constexpr JpegPutBitsFn JpegPutBitsFile = JpegPutBits;
constexpr JpegPutBitsFn JpegPutBitsMmxMem = JpegPutBits;
constexpr JpegPutBitsFn JpegPutBitsMmxFile = JpegPutBits;
JpegStatus JpegWriteFullBuffer(JpegOutputStream* s);
JpegStatus JpegEncodeBlock(JpegOutputStream* s, const JpegHuffEncodeTable* dc, const JpegHuffEncodeTable* ac,
                           int32_t* lastDc, const int16_t* block);
int32_t JpegGenerateOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values);

struct JpegCorrectionBits {
  uint8_t bits[1000];
  int32_t be;
};
JpegStatus JpegEncodeDcProgressive(JpegOutputStream* s, const JpegHuffEncodeTable* dc, int32_t* lastDc,
                                   const int16_t* block, bool refining, int32_t al);
void JpegCountDcFirst(int32_t* counts, int32_t* lastDc, const int16_t* block, bool refining, int32_t al);
JpegStatus JpegEncodeAcFirst(JpegOutputStream* s, const JpegHuffEncodeTable* ac, const int16_t* block, int32_t ss,
                             int32_t se, int32_t al);
void JpegCountAcFirst(JpegOutputStream* s, const int16_t* block, int32_t ss, int32_t se, int32_t al, int32_t* counts);
JpegStatus JpegEncodeAcRefine(JpegOutputStream* s, const JpegHuffEncodeTable* ac, const int16_t* block, int32_t ss,
                              int32_t se, int32_t al, JpegCorrectionBits* corr);
void JpegCountAcRefine(JpegOutputStream* s, const int16_t* block, int32_t ss, int32_t se, int32_t al,
                       JpegCorrectionBits* corr, int32_t* counts);
JpegStatus JpegEmitEobRun(JpegOutputStream* s, const JpegHuffEncodeTable* ac, JpegCorrectionBits* corr);
void JpegCountEobRun(JpegOutputStream* s, int32_t* counts, JpegCorrectionBits* corr);
JpegStatus JpegEmitZrl(JpegOutputStream* s, const JpegHuffEncodeTable* ac, int32_t run);
JpegStatus JpegEmitCorrectionBits(JpegOutputStream* s, const uint8_t* bits, int32_t count);

// ---- Input conversion (4.108, 4.115) -------------------------------------------
JpegStatus JpegSelectInputConverter(JPEG_PROPERTIES* p);
void JpegFillPlainInputKernels(JpegKernelTable* t);

// Plain whole-MCU kernels.
void JpegGreyMcu(const uint8_t* src, int32_t stride, int16_t* out);
void JpegRgbYccH1V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegRgbYccH2V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegRgbYccH2V2Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH1V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH2V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegBgrYccH2V2Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegCopy3H1V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegCopy3H2V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegCopy3H2V2Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegPacked422Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH1V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH2V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegYcckH2V2Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);
void JpegCopy4H1V1Mcu(const uint8_t*, int32_t, int16_t*, int16_t*, int16_t*, int16_t*);

// ---- Read path (decoder) --------------------------------------------------------
JpegStatus JpegReadRun(JpegJob* job, int32_t ioType);
void JpegDecoderRelease(JPEG_PROPERTIES* p);
