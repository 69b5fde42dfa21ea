// Where the picture loader gets its bytes: the pack reader and the JBP1
// decoder, wrapped so that the loader sees one simple form of each.
#pragma once

#include <windows.h>

#include <cstdint>

class PackReader;

// The entry's bytes: in the shared read area (*shared = 1) or a new buffer the
// caller frees with LocalFree; null when the entry is missing or damaged.
BYTE* ReadPictureEntry(PackReader* reader, const char* packPath, const char* name, DWORD* size, int* shared);

// Decodes a JBP1 stream of a width x height picture into a new LocalAlloc'd
// width x height RGB565 buffer; null when the stream is damaged or its size
// differs from the picture's.
BYTE* DecodeJbp1Picture(const BYTE* stream, DWORD length, uint32_t width, uint32_t height);
