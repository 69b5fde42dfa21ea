// Portable JPEG library: the job record, its working state, the entry points
// and the status codes.  One JpegJob holds one encode or decode at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "jpeg/decoder/dec_types.h"

typedef int32_t JpegStatus;

// Status codes (JpegErrorText gives their texts).
enum : int32_t {
  JPEG_ROI_SUCCESS = 2,
  JPEG_INTERRUPT_SUCCESS = 1,
  JPEG_SUCCESS = 0,
  JPEG_ERR_EXCEPTION = -1,
  JPEG_ERR_INVALID_ENCODER = -2,
  JPEG_ERR_SUBSAMPLING = -3,
  JPEG_ERR_BYTES_PER_PIXEL = -4,
  JPEG_ERR_MEMORY = -5,
  JPEG_ERR_BAD_HUFFMAN = -6,
  JPEG_ERR_BAD_QUANT = -7,
  JPEG_ERR_INVALID_PROPERTIES = -8,
  JPEG_ERR_CLOSE_FILE = -9,
  JPEG_ERR_FILE_NAME = -10,
  JPEG_ERR_EOF = -11,
  JPEG_ERR_NOT_SUPPORTED = -12,
  JPEG_ERR_NOT_JPEG = -13,
  JPEG_ERR_COMP = -14,
  JPEG_ERR_SOF = -15,
  JPEG_ERR_DNL = -16,
  JPEG_ERR_NO_HUFFMAN = -17,
  JPEG_ERR_NO_QUANT = -18,
  JPEG_ERR_NO_FRAME = -19,
  JPEG_ERR_MULTIPLE_FRAMES = -20,
  JPEG_ERR_DATA = -21,
  JPEG_ERR_NO_IMAGE = -22,
  JPEG_ERR_FILE = -23,
  JPEG_ERR_INTERNAL = -24,
  JPEG_ERR_BAD_RST = -25,
  JPEG_ERR_THUMB_SMALL = -26,
  JPEG_ERR_THUMB_COLOR = -27,
  JPEG_ERR_BUFFER_SMALL = -28,
  JPEG_ERR_UNSUPPORTED_FRAME = -29,
  JPEG_ERR_COMMENT = -30,
  JPEG_ERR_RESERVED = -99,
};

// JpegIoType: even codes work on jpegFileName, odd codes on jpegBuffer.
enum : int32_t {
  JPEG_IO_READ_PARAMS_FILE = 0,
  JPEG_IO_READ_PARAMS_MEM = 1,
  JPEG_IO_READ_IMAGE_FILE = 2,
  JPEG_IO_READ_IMAGE_MEM = 3,
  JPEG_IO_READ_TABLES_FILE = 4,
  JPEG_IO_READ_TABLES_MEM = 5,
  JPEG_IO_READ_DATA_FILE = 6,
  JPEG_IO_READ_DATA_MEM = 7,
  JPEG_IO_WRITE_IMAGE_FILE = 8,
  JPEG_IO_WRITE_IMAGE_MEM = 9,
  JPEG_IO_WRITE_TABLES_FILE = 10,
  JPEG_IO_WRITE_TABLES_MEM = 11,
  JPEG_IO_WRITE_DATA_FILE = 12,
  JPEG_IO_WRITE_DATA_MEM = 13,
  JPEG_IO_READ_HALF_FILE = 14,
  JPEG_IO_READ_HALF_MEM = 15,
  JPEG_IO_READ_QUARTER_FILE = 16,
  JPEG_IO_READ_QUARTER_MEM = 17,
  JPEG_IO_READ_EIGHTH_FILE = 18,
  JPEG_IO_READ_EIGHTH_MEM = 19,
  JPEG_IO_READ_THUMB_FILE = 20,
  JPEG_IO_READ_THUMB_MEM = 21,
};

// JpegColor codes.
enum : int32_t {
  JPEG_COLOR_RGB = 1,  // three channels, no transform (APP14 transform 0)
  JPEG_COLOR_BGR = 2,  // three channels in B,G,R byte order
  JPEG_COLOR_YCBCR = 3,
  JPEG_COLOR_GREY = 4,
  JPEG_COLOR_CMYK = 5,  // four channels, no transform (APP14 transform 0)
  JPEG_COLOR_YCCK = 6,  // four channels with the YCC transform (APP14 transform 2)
  JPEG_COLOR_OTHER = 255,
};

// CpuKind: processor class that fills the kernel table.
enum : int32_t {
  JPEG_CPU_PLAIN = 0,
  JPEG_CPU_P5 = 1,
  JPEG_CPU_P6 = 2,
  JPEG_CPU_P5_MMX = 3,
  JPEG_CPU_P6_MMX = 4,
  JPEG_CPU_P6_SSE = 5,
  JPEG_CPU_P4_SSE2 = 6,
};

struct JPEG_PROPERTIES;
struct JpegOutputStream;
struct JpegHuffEncodeTable;

// One MCU of samples or coefficients: up to ten blocks of 64 values, the
// encoder's input converters' output and the decoder's inverse transforms'.
typedef int16_t McuSampleBuffer[10 * 64];

// ---- Kernel routine types ---------------------------------------------------
typedef void (*JpegEndOfCallFn)(void);
typedef void (*JpegFdctFn)(int16_t* block);
typedef void (*JpegQuantizeFn)(int16_t* block, const int16_t* table);
typedef void (*JpegSinkOpenFn)(JpegOutputStream* stream, uint8_t* buffer, int32_t size);
typedef JpegStatus (*JpegPutBytesFn)(const uint8_t* bytes, int32_t count, JpegOutputStream* stream);
typedef void (*JpegInputConverterFn)(JPEG_PROPERTIES* props, int32_t mcuCol, int32_t mcuRow);
typedef void (*JpegGreyKernelFn)(const uint8_t* src, int32_t stride, int16_t* out);
// Whole-MCU input kernel: top-left pixel, signed row distance, the first
// component's blocks (consecutive), Cb (or second) block, Cr block, and the
// fourth component's blocks for four-channel layouts (else null).
typedef void (*JpegMcuKernelFn)(const uint8_t* src, int32_t stride, int16_t* c0, int16_t* c1, int16_t* c2, int16_t* c3);
typedef JpegStatus (*JpegEncodeBlockFn)(JpegOutputStream* stream, const JpegHuffEncodeTable* dc,
                                        const JpegHuffEncodeTable* ac, int32_t* lastDc, const int16_t* block);

typedef LONG (*JpegRegOpenKeyExAFn)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
typedef LONG (*JpegRegQueryValueExAFn)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
typedef LONG (*JpegRegCloseKeyFn)(HKEY);
typedef int (*JpegWsprintfAFn)(LPSTR, LPCSTR, ...);

// Processor description, as probed by CPUID.
struct JpegCpuInfo {
  int32_t brandIndex;
  int32_t type;
  int32_t family;
  int32_t model;
  int32_t stepping;
  uint32_t features;
  char vendor[13];
};

// ---- JpegKernelTable: 69 slots, one table per job -----------------------------
// The per-job tail after slot 69 holds what the binder resolved for this job
// (window-system entry points and the processor description), so that one
// job's JpegFree never takes them away from another live job.
struct JpegKernelTable {
  intptr_t decoderInputBytes;                  // 1  decoder input byte count
  HMODULE user32;                              // 2
  HMODULE advapi32;                            // 3
  JpegRegOpenKeyExAFn regOpenKeyExA;           // 4
  JpegRegQueryValueExAFn regQueryValueExA;     // 5
  JpegRegCloseKeyFn regCloseKey;               // 6
  JpegEndOfCallFn endOfCall;                   // 7
  JpegFdctFn fdctScaled;                       // 8  forward DCT, method 0
  JpegFdctFn fdctInt;                          // 9  forward DCT, method 1
  JpegIdctFn idctScaled;                       // 10 decoder
  JpegIdctFn idctScaledHalf;                   // 11 decoder
  JpegIdctFn idctScaledQuarter;                // 12 decoder
  JpegIdctFn idctScaledEighth;                 // 13 decoder
  JpegIdctFn idctInt;                          // 14 decoder
  JpegIdctFn idctIntHalf;                      // 15 decoder
  JpegIdctFn idctIntQuarter;                   // 16 decoder
  JpegIdctFn idctIntEighth;                    // 17 decoder
  JpegFdctFn fdctCurrent;                      // 18 forward DCT in use for the job
  JpegDecoderRoutineFn decoderRoutine[4];      // 19-22 decoder, per job
  JpegSinkOpenFn sinkOpen;                     // 23
  JpegPutBytesFn putBytes;                     // 24
  JpegInputConverterFn inputConverter;         // 25 per job
  JpegGreyKernelFn greyBlock;                  // 26
  JpegMcuKernelFn rgbYccH1V1;                  // 27
  JpegMcuKernelFn rgbYccH2V1;                  // 28
  JpegMcuKernelFn rgbYccH2V2;                  // 29
  JpegMcuKernelFn bgrYccH1V1;                  // 30
  JpegMcuKernelFn bgrYccH2V1;                  // 31
  JpegMcuKernelFn bgrYccH2V2;                  // 32
  JpegMcuKernelFn copy3H1V1;                   // 33
  JpegMcuKernelFn copy3H2V1;                   // 34
  JpegMcuKernelFn copy3H2V2;                   // 35
  JpegMcuKernelFn packed422;                   // 36
  JpegMcuKernelFn ycckH1V1;                    // 37
  JpegMcuKernelFn ycckH2V1;                    // 38
  JpegMcuKernelFn ycckH2V2;                    // 39
  JpegMcuKernelFn copy4H1V1;                   // 40
  JpegDecoderRoutineFn decoderOutput;          // 41 decoder, per job
  JpegOutputConverterFn outputConverters[19];  // 42-60 decoder
  JpegEncodeBlockFn encodeBlock;               // 61 Huffman block encoder
  JpegHuffDecodeBlockFn huffDecodeBlock;       // 62 decoder
  JpegHuffDecodeBlockFn huffDecodeDcOnly;      // 63 decoder
  JpegQuantizeFn quantScaled;                  // 64 quantiser, method 0
  JpegQuantizeFn quantRecip;                   // 65 quantiser, method 1
  JpegQuantizeFn quantCurrent;                 // 66 quantiser in use for the job
  JpegDequantFn dequantScaled;                 // 67 decoder
  JpegDequantFn dequantInt;                    // 68 decoder
  JpegDequantFn dequantScaled2;                // 69 decoder

  // Per-job tail (see above).
  FARPROC messageBoxA;
  FARPROC peekMessageA;
  FARPROC postQuitMessage;
  JpegWsprintfAFn wsprintfA;
  JpegCpuInfo cpu;
  int32_t cpuKind;
};

// ---- Tables -----------------------------------------------------------------
struct JpegComponent {
  int32_t id;
  int32_t h;
  int32_t v;
  int32_t quantSel;
};

// Steps in zigzag order, then (after DQT) the prepared multipliers in natural order.
struct JpegQuantRecord {
  alignas(16) int16_t q[64];
  int32_t id;
};

// Caller's table slots.  A write takes its tables from them (the library's
// standard tables when the caller supplies none).  A read copies each table
// of the stream, raw, into the slot of its number (quantisation) or of its
// class and number (Huffman: slot 2 x number + class, the layout a write
// takes), where the caller has set buffers there itself; slots that still
// hold the library's standard tables are left alone.  A read's buffers must
// take the largest table a stream can carry: 128 bytes for the base steps
// (a 16-bit table, big-endian pairs as in the stream), 16 bytes for the
// counts and 256 bytes for the symbols.
struct JpegQuantSpec {
  const uint8_t* base;  // 64 base steps, zigzag order (a read: 64 or 128 raw bytes, 128-byte buffer)
  int32_t id;
};

struct JpegHuffSpec {
  const uint8_t* counts;   // 16 code-length counts
  const uint8_t* symbols;  // a read: as many as the counts add up to, 256-byte buffer
  uint8_t cls;             // 0 DC, 1 AC
  uint8_t id;
};

struct JpegHuffEncodeTable {
  int32_t length[256];  // 0: symbol has no code
  uint16_t code[256];
  uint32_t packed[256];  // code << 8 | length, for the block coders
};

constexpr int32_t JPEG_COMBINED_BITS = 10;

struct JpegHuffDecodeTable {
  int32_t cls;
  int32_t id;
  int32_t lookahead[256];  // (length << 16) | symbol for codes of up to 8 bits
  uint16_t symbols[256];
  int32_t firstCode[18];  // by length 1..16
  int32_t lastCode[18];   // -1: no codes of that length; [17] = -1
  int32_t firstIndex[18];
  // Code and value bits together, indexed by the next JPEG_COMBINED_BITS bits: (value << 16) |
  // (zigzag advance << 8) | bits used, the advance being run + 1, 16 for a run
  // of 16 zeros and 0 for the end of the block; 0 when the pair does not fit.
  int32_t combined[1 << JPEG_COMBINED_BITS];
};

// Scan state that survives an interrupted baseline call.
struct JpegScanComponent {
  int32_t index;
  int32_t h;
  int32_t v;
  const JpegHuffEncodeTable* dcTable;
  const JpegHuffEncodeTable* acTable;
};

struct JpegScanState {
  int32_t count;
  int32_t ss, se;
  int32_t ah, al;
  int32_t restartCount;
  int32_t nextCol, nextRow;
  int32_t lastDc[4];
  JpegScanComponent* comps;
};

// Caller-supplied coefficient planes.
struct JpegCoefPlanes {
  int32_t kind;  // non-zero: samples 0..255; 0: quantised coefficients
  int16_t* plane[4];
};

// Encoder output state, shared by the marker writers and the bit writer.
struct JpegOutputStream {
  uint64_t bitAcc;  // pending bits, the newest in the low end
  int32_t bitFree;  // free bits of bitAcc (64 = nothing pending)
  JpegKernelTable* kernels;
  uint8_t* cursor;
  uint8_t* start;
  uint8_t* end;
  uint32_t total;  // every byte put out, stuffing included
  int32_t capacity;
  int32_t freeBytes;        // memory output only
  const uint8_t* firstRow;  // first pixel row to read
  int32_t cpuKind;
  HANDLE file;     // null for memory output
  int32_t eobRun;  // progressive AC end-of-band run
  uint8_t fileBuffer[4096];
};

// ---- JPEG_PROPERTIES: the library's whole working state inside a job ----------
struct JPEG_PROPERTIES {
  // 1. Operation
  int32_t ioType;   // -1: none
  int32_t stopCol;  // position of an interrupted call (pixels on return)
  int32_t stopRow;
  int32_t dctMethod;  // 0 scaled path, 1 integer path
  volatile int32_t stopRequest;

  // 2. Working copies of the public fields
  uint8_t* dibPixels;
  int32_t dibWidth;
  int32_t dibHeight;
  int32_t dibRowPadding;
  int32_t dibChannels;
  int32_t dibColor;
  int32_t dibSubsampling;
  const char* jpegFileName;
  uint8_t* jpegBuffer;
  int32_t jpegBufferSize;
  int32_t jpegWidth;
  int32_t jpegHeight;
  int32_t jpegChannels;
  int32_t jpegColor;
  int32_t jpegSubsampling;
  int32_t thumbWidth;
  int32_t thumbHeight;
  int32_t colorConversion;
  int32_t resampling;
  int32_t quality;
  int32_t rowStride;  // signed distance from one pixel row to the next

  // 3. Frame geometry
  int32_t force8x8;
  int32_t mcusPerRow;
  int32_t mcuRows;
  int32_t blockSize;
  int32_t imageWidth;
  int32_t imageHeight;
  int32_t mcuWidth;
  int32_t mcuHeight;
  int32_t hMax;
  int32_t vMax;
  int32_t componentCount;
  int32_t mcusPerRow2;
  int32_t mcuTotal;
  JpegComponent* components;  // 4 records

  // 4. Tables
  int32_t quantCount;
  int32_t quantCount2;
  int32_t huffPairs;
  int32_t huffCount2;
  int32_t huffCount3;
  JpegQuantRecord quant[4];
  JpegQuantRecord* quantInUse[4];
  JpegHuffEncodeTable dcEncode[4];
  JpegHuffEncodeTable acEncode[4];
  JpegHuffEncodeTable* dcEncodeInUse[4];
  JpegHuffEncodeTable* acEncodeInUse[4];
  JpegHuffDecodeTable dcDecode[4];
  JpegHuffDecodeTable acDecode[4];
  int32_t callerQuantTables;
  int32_t callerHuffTables;
  JpegQuantSpec quantSpec[4];
  JpegHuffSpec huffSpec[8];
  uint8_t dcSel[4];
  uint8_t acSel[4];

  // 5. Restart interval and pending scan
  int32_t restartInterval;
  JpegScanState* pendingScan;

  // 6. Input/output state
  JpegOutputStream out;
  intptr_t cursor;  // pixel cursor, byte offset from out.firstRow
  int32_t converterCode;

  // 7. Work area and coding mode (decoder-owned fields in dec)
  alignas(32) McuSampleBuffer work;
  int32_t progressive;
  JpegCoefPlanes* coefPlanes;
  JpegDecoderState dec;

  // 8. Marker settings
  uint16_t app14Version;
  uint16_t app14Flags0;
  uint16_t app14Flags1;
  uint8_t app14Transform;
  uint16_t jfifVersion;
  uint8_t densityUnits;
  uint16_t xDensity;
  uint16_t yDensity;
  uint8_t jfifThumbWidth;
  uint8_t jfifThumbHeight;
  const uint8_t* comment;
  uint16_t commentLength;
};

// ---- JpegJob ------------------------------------------------------------------
struct JpegJob {
  uint32_t useInternal;
  uint8_t* dibPixels;
  int32_t dibWidth;
  int32_t dibHeight;
  int32_t dibRowPadding;
  int32_t dibChannels;
  int32_t dibColor;
  int32_t dibSubsampling;
  const char* jpegFileName;
  uint8_t* jpegBuffer;
  int32_t jpegBufferSize;
  int32_t jpegWidth;
  int32_t jpegHeight;
  int32_t jpegChannels;
  int32_t jpegColor;
  int32_t jpegSubsampling;
  int32_t thumbWidth;
  int32_t thumbHeight;
  int32_t colorConversion;
  int32_t resampling;
  int32_t quality;
  JPEG_PROPERTIES props;
};

struct JpegLibVersion {
  int32_t major;
  int32_t minor;
  int32_t build;
  const char* fileName;
  const char* version;
  const char* internalVersion;
  const char* buildDate;
  const char* toolchain;
};

JpegStatus JpegInit(JpegJob* job);
JpegStatus JpegFree(JpegJob* job);
JpegStatus JpegRead(JpegJob* job, int32_t ioType);
JpegStatus JpegWrite(JpegJob* job, int32_t ioType);
const char* JpegErrorText(JpegStatus status);
const JpegLibVersion* JpegGetVersion();
