#include "player/core/picture_sources.h"

#include <cstring>

#include "player/core/jbp1_decoder.h"
#include "player/core/pack_reader.h"

BYTE* ReadPictureEntry(PackReader* reader, const char* packPath, const char* name, DWORD* size, int* shared) {
  *shared = 0;
  DWORD unpacked = 0;
  BYTE* data = ReadPackEntryInto(reader, packPath, name, &unpacked, SharedReadArea, SHARED_READ_AREA_SIZE, shared);
  if (!data) return nullptr;
  *size = unpacked;
  return data;
}

BYTE* DecodeJbp1Picture(const BYTE* stream, DWORD length, uint32_t width, uint32_t height) {
  BlockDecoder dec;
  std::memset(&dec, 0, sizeof dec);
  InitBlockDecoder(&dec);
  dec.input = stream;
  dec.inputLength = length;
  dec.expectedWidth = width;
  dec.expectedHeight = height;
  uint32_t roundedW = (width + 15) & ~15u, roundedH = (height + 15) & ~15u;
  if (roundedW == width) {
    // Rows of the picture and of the decoder agree: decode in place.
    size_t bytes = size_t(roundedW) * roundedH * 2;
    BYTE* out = static_cast<BYTE*>(LocalAlloc(0, bytes));
    if (!out) return nullptr;
    dec.output = reinterpret_cast<WORD*>(out);
    dec.outputCapacity = DWORD(bytes);
    if (!ParseJbp1Header(&dec) || (ResetBlockFlags(&dec), !DecodeJbp1(&dec))) {
      LocalFree(out);
      return nullptr;
    }
    return out;
  }
  if (!ParseJbp1Header(&dec)) return nullptr;
  ResetBlockFlags(&dec);
  if (!DecodeJbp1(&dec) || !dec.output) return nullptr;
  BYTE* out = static_cast<BYTE*>(LocalAlloc(0, size_t(width) * height * 2 + 1));
  if (out) {
    const BYTE* src = reinterpret_cast<const BYTE*>(dec.output);
    for (uint32_t y = 0; y < height; ++y)
      std::memcpy(out + size_t(y) * width * 2, src + size_t(y) * dec.rowPitch, size_t(width) * 2);
  }
  LocalFree(dec.output);
  return out;
}
