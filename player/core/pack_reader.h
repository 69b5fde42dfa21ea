// Reads entries of a ".mlz" pack by name.  A reader keeps the directory of the
// last pack it opened, so alternating reads from one pack cost no header read.
#pragma once

#include <windows.h>

constexpr DWORD SHARED_READ_AREA_SIZE = 0x40000;

// Lent by the picture loader to ReadPackEntryInto so that stored pictures need
// no allocation; valid until the next read into it.
extern BYTE SharedReadArea[SHARED_READ_AREA_SIZE];

class PackReader {
 public:
  PackReader() = default;
  ~PackReader();
  PackReader(const PackReader&) = delete;
  PackReader& operator=(const PackReader&) = delete;

  // The pack's header and directory exactly as read, and the path they came
  // from; null until the first successful open.
  BYTE* directory = nullptr;
  char* cachedPath = nullptr;
  DWORD entryCount = 0;
  DWORD fileSize = 0;  // when the directory was read
};

// Opens the pack's directory into the reader: 1 when it reads, holds at
// least one entry, every entry's name field holds its terminating zero and
// every entry's stored bytes lie inside the file (a pack cut short fails),
// else 0.
int OpenPackChecked(PackReader* reader, const char* packPath);

// 1 when the pack's directory lists an entry of that name that has stored
// bytes (the entry a read takes), whether or not those bytes read or decode;
// 0 when it lists none or the pack does not open.  Tells a damaged entry
// from a missing one after a read failed.
int PackListsEntry(PackReader* reader, const char* packPath, const char* entryName);

// 1 when the entry of that name a read takes has no stored bytes (the
// converter's mark of an item it could not make); 0 when it has bytes, the
// pack lists no such name or does not open.
int PackListsEmptyEntry(PackReader* reader, const char* packPath, const char* entryName);

// The named entry's bytes in a new LocalAlloc buffer (decoded for method 1),
// or null.  *sizeOut, when given, receives the unpacked size (0 on failure).
// The first entry whose name matches (ASCII letters without case, double-byte
// characters exactly) is taken; an entry of no stored bytes reads as null.
// Every size and offset is checked against the file; a failed open keeps the
// reader's previous directory.
BYTE* ReadPackEntry(PackReader* reader, const char* packPath, const char* entryName, DWORD* sizeOut);

// As ReadPackEntry, but a stored entry of at most capacity bytes is read into
// buffer, which is then returned with *bufferUsed = 1.  Otherwise *bufferUsed
// is 0 and a new buffer (to be freed with LocalFree) is returned.
BYTE* ReadPackEntryInto(PackReader* reader, const char* packPath, const char* entryName, DWORD* sizeOut, BYTE* buffer,
                        DWORD capacity, int* bufferUsed);
