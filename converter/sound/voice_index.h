// The desktop game's voice index "AdvData\voice.dat": a u32 record count,
// records of a 60-byte name and a u32 body offset, then the bodies.  A body
// is a RIFF WAVE image or a ".pcm" head whose samples are zlib-deflated
// (u32 deflated length at 28, deflated bytes from 32), transform-coded when
// the head's compressed flag is set.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

constexpr DWORD kVoiceRecordBytes = 64;
constexpr DWORD kVoiceNameBytes = 60;
constexpr DWORD kVoiceInflateBytes = 20u * 1024 * 1024;  // bound of one inflated body

struct VoiceRecord {
  char name[kVoiceNameBytes + 1];  // always terminated
  bool nameTerminated;             // the stored name ended inside its 60 bytes
  uint64_t offset;                 // body in the file
  uint64_t size;
  bool bodyInFile;  // offset <= next offset <= file size
};

// Bytes of the index (count and records) for a count.
inline uint64_t VoiceIndexBytes(uint64_t count) { return 4 + kVoiceRecordBytes * count; }

// The records of an index whose count and records are in `index`; false when
// the count's records do not fit the file or the bytes given.
bool ParseVoiceIndex(const BYTE* index, uint64_t indexBytes, uint64_t fileSize, std::vector<VoiceRecord>* records);

// A record names a sound when its extension (from the last '.') is ".pcm",
// ASCII case ignored.
bool IsVoiceSoundName(const char* name);

// "VOICE\" + the name with everything from its last '.' replaced by ".mp3"
// (encoder 0) or ".ogg"; false when it does not fit `capacity` bytes with
// its terminator.
bool VoiceEntryName(char* out, size_t capacity, const char* name, int encoder);

// Turns a deflated body into a ".pcm" image of plain samples (local heap,
// *imageSize set); `scratch` holds kVoiceInflateBytes.  Null when the body
// is too short, does not inflate, or claims more samples than its coded
// blocks carry.  Compressed bodies need the decoder table loaded.
BYTE* BuildVoicePcmImage(const BYTE* body, DWORD size, BYTE* scratch, DWORD* imageSize);
