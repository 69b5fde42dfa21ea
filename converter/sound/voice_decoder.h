// Decoder of the desktop game's transform-coded voice samples: blocks of
// 8,192 bytes hold 2,048 quantised complex spectral coefficients that a
// 4,096-point integer Fourier transform turns back into 4,096 samples;
// consecutive blocks overlap by 32 samples, cross-faded.  The arithmetic is
// exact so the result matches the desktop game sample for sample.
#pragma once

#include <windows.h>

constexpr DWORD kVoiceTableEntries = 8392;
constexpr DWORD kVoiceTableBytes = kVoiceTableEntries * 4;
constexpr DWORD kVoiceBlockBytes = 8192;
constexpr DWORD kVoiceBlockStep = 4064;  // new samples per block

// The process-wide table area (kVoiceTableBytes, little-endian 32-bit
// values) that the decoder reads; filled from resource "Binary" 132.
BYTE* GetVoiceDecodeTable();
// Copies resource "Binary" 132 into the table area; false when the resource
// is missing or has the wrong size.
bool LoadVoiceDecodeTable();

// Decodes `inputBytes` of coded input into outputBytes / 2 little-endian
// 16-bit samples at `output` (which has room for exactly outputBytes).
// Input bytes beyond inputBytes read as zero.  The parameter is not used.
// Returns 0.
int ExpandPcmVoice(BYTE* output, const BYTE* input, DWORD outputBytes, DWORD inputBytes, int decoderParam);
