// The Ogg Vorbis encoder library "oggenc" (ours: platform/sound, on
// libvorbisenc and libogg), linked by import.
#pragma once

#include <windows.h>
#include <mmreg.h>

extern "C" {
// Encodes `*size` bytes of 16-bit PCM in `format` at the Vorbis quality
// (-0.1 .. 1.0) into one complete Ogg stream with a fixed serial number.
// Returns a local-heap block (free it with LocalFree) and replaces *size
// with its length; returns null and sets *size to 0 when it cannot encode.
void* GetOggEncodeProcessMemory(float quality, const WAVEFORMATEX* format, const void* samples, DWORD* size);
// Writes the version text (at most 127 bytes and the terminator).
DWORD GetOggEncodeVer(char* text, DWORD reserved);
}
