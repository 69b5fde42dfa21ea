// The JBP1 re-coder: a picture goes through the JPEG library's baseline
// encoder into memory, is read back block by block, and its quantised
// coefficients are written unchanged as a JBP1 stream inside an "RBP7"
// picture.  The calls that take a PictureScratch work in its memory when
// given one (a run of pictures keeps one), else in memory of their own.
#pragma once

#include <windows.h>

struct PictureScratch;

// JPEG quality a picture quality code selects: 1 -> 100, 2 -> 90, 3 -> 80,
// anything else -> 90.
int JpegQualityForCode(unsigned code);

// A 24-bit bitmap (first stored row = top, rows padded to 4 bytes) as a
// baseline 4:2:0 JPEG in a new local-heap buffer no larger than 3 x w x h
// bytes; null with *outLength 0 when it does not fit or the encoder fails.
BYTE* EncodeJpegInMemory(const BYTE* bitmap, DWORD* outLength, int jpegQuality);

// The same bitmap as a new JBP1 stream; null when the JPEG step fails or
// the JPEG read back is not the 4:2:0 layout the stream carries.
BYTE* EncodeJbp1(const BYTE* bitmap, DWORD* outLength, int jpegQuality, PictureScratch* scratch = nullptr);

// An "RBP7" picture (type 30, or 32 with the alpha plane LZSS-coded) for
// quality codes other than 0; null for code 0 or when re-coding fails, in
// which case MakeRbpPicture writes "RBP5".
BYTE* MakeRbpJbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB,
                        PictureScratch* scratch = nullptr);

// A baseline 4:2:0 JPEG's quantised coefficients as a new JBP1 stream;
// crFirst stores each macroblock's Cr block before its Cb block.  Null when
// the JPEG is not that layout.
BYTE* Jbp1FromJpeg(const BYTE* jpeg, DWORD jpegLength, int jpegQuality, bool crFirst, DWORD* outLength,
                   PictureScratch* scratch = nullptr);

