// Decoder-owned part of the library's job state and the function types of
// the decoder's kernel-table slots.  The encoder and the interface never look
// inside JpegDecoderState.
#pragma once

#include <windows.h>

#include <cstdint>

struct JPEG_PROPERTIES;
struct JpegKernelTable;
struct JpegHuffDecodeTable;
struct JpegInStream;

typedef void (*JpegIdctFn)(int16_t* block);                           // slots 10-17
typedef void (*JpegDequantFn)(int16_t* block, const int16_t* table);  // slots 67-69
// Decoder output routine chosen per job (slot 41): places one MCU.  Slots
// 19-22 hold the inverse transforms bound for the current scan, stored in
// this type and read back as JpegIdctFn.
typedef int32_t (*JpegDecoderRoutineFn)(JPEG_PROPERTIES* p, int32_t mcuCol, int32_t mcuRow);
// Full-MCU output converter (slots 42-60): component sample pointers (c3 only
// for four-component layouts), the MCU's top-left pixel and the signed stride.
typedef void (*JpegOutputConverterFn)(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3,
                                      uint8_t* dst, int32_t stride);
// Baseline block decoders (slots 62, 63): the full block, or the DC only
// (then `block` receives the predictor in its first entry).
typedef int32_t (*JpegHuffDecodeBlockFn)(JpegInStream* s, const JpegHuffDecodeTable* dc, const JpegHuffDecodeTable* ac,
                                         int16_t* predictor, int16_t* block);

// Input stream over the caller's memory or a file.
struct JpegInStream {
  uint64_t acc;  // bit accumulator (see the block decoders for the alignment)
  JpegKernelTable* kernels;
  int32_t bits;             // valid bits in acc
  const uint8_t* ptr;       // next byte of the current buffer
  const uint8_t* memStart;  // caller's memory (memory mode)
  const uint8_t* end;       // end of the current buffer
  int32_t memSize;
  int32_t eobRun;        // progressive AC end-of-band run
  uint8_t marker;        // pending marker code, 0 = none
  int32_t dataError;     // -21 once a run of 0xFF bytes met the end of memory data
  int32_t bufferedDone;  // components decoded so far in buffered mode
  HANDLE file;           // null: memory mode
  int64_t fileBase;      // file offset of fileBuffer[0]
  uint8_t fileBuffer[4096];
};

struct JpegFrameComponent {
  int32_t id;
  int32_t h;
  int32_t v;
  int32_t tq;
};

struct JpegDecScanComponent {
  int32_t index;  // frame component
  int32_t h;
  int32_t v;
  int32_t dcTable;
  int32_t acTable;
  int32_t quant;
};

struct JpegScan {
  int32_t ns;
  int32_t ss, se, ah, al;
  int32_t restartInterval;
  int32_t nextCol, nextRow;  // resume position
  int32_t produced;          // something was decoded
  int32_t progressive;
  int32_t roiFinished;  // returned 2; a further region read starts anew
  int32_t roiActive;    // interrupted inside a region read
  int16_t pred[4];
  JpegDecScanComponent comp[4];
};

// Decoder state at the start of one MCU row, for region-of-interest reads.
struct JpegRoiEntry {
  int64_t offset;  // stream offset, -1 = unknown
  uint64_t acc;
  int32_t bits;
  int16_t pred[4];
  uint8_t marker;
};

struct JpegDecoderState {
  int32_t app14Seen;
  int32_t app14Transform;
  int32_t jfifSeen;
  int32_t bufferedMode;  // validation refuses it together with caller coefficient planes
  int32_t cpuKind;       // stored by JpegInit beside the output state's copy
  void* componentBuffers[4];

  // Caller options (set in the job's internal record before a read).
  int32_t roi[4];          // left, top, right (exclusive), bottom (exclusive); all 0 = none
  int32_t smoothing;       // 1: chroma upsampling by the smoothing filter
  uint8_t* comment;        // caller's comment buffer
  uint16_t commentLength;  // in: capacity; out: comment length

  JpegInStream in;

  // Picture and stream bookkeeping of the read.
  uint8_t* firstRow;    // first row to write (the last stored row for bottom-up pictures)
  int32_t roiEff[4];    // region in force, clamped to the scaled image
  int64_t savedOffset;  // stream offset when the last call returned
  int32_t scanStartOffset;

  // Frame.
  int32_t noFrame;
  int32_t sofType;
  int32_t precision;
  int32_t width, height, ncomp;
  JpegFrameComponent frame[4];
  int32_t frameMcusPerRow, frameMcuTotal;
  // Geometry that the coefficient store and the smoothing ring were sized for.
  int32_t sizedWidth, sizedHeight, sizedNcomp;
  JpegFrameComponent sizedFrame[4];
  // A frame is known to the caller (its planes were sized from it): a later
  // frame header of this read must repeat its geometry.
  int32_t frameLocked;

  // Markers.
  uint16_t jfifVersion;
  uint8_t densityUnits;
  uint16_t xDensity, yDensity;
  uint16_t adobeVersion, adobeFlags0, adobeFlags1;
  int32_t thumbWidth, thumbHeight;

  // Tables: steps as read (zigzag), then prepared in place; 80 entries each.
  alignas(16) int16_t quant[4][80];
  int32_t quantPrecision[4];
  int32_t quantDefined[4];
  int32_t quantNumbers, quantRead;
  int32_t dcDefined[4], acDefined[4];
  int32_t huffNumbers, dcRead, acRead;
  int32_t restartInterval;
  int32_t scanHeaderLength;

  // Scans.
  JpegScan* scan;
  int32_t progressiveScans;
  int32_t dcComponentsDone;
  int32_t finishedScans;
  int16_t* coefStore;  // progressive: every block of the frame
  int32_t blocksPerMcu;
  int32_t compBlockOffset[4];  // first block of each component inside an MCU
  int32_t scale;
  int32_t fold;
  JpegDequantFn dequant;
  int64_t consumed;  // stream offset reached by a memory read of type 1 or 21
  const uint8_t* consumedBuffer;

  // Region-of-interest index.
  JpegRoiEntry* roiIndex;
  const void* roiSource;
  int32_t roiSourceSize;

  // Smoothing ring: four MCU rows of sample blocks, one spare MCU each side.
  int16_t* ring;
  int32_t ringMcuBlocks;
  int32_t ringRowMcus;
  int32_t ringFilled[4];  // MCU row held by each ring row, -1 none

  // Thumbnail palette work block.
  uint8_t* paletteWork;
};
