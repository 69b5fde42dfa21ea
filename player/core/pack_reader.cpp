#include "player/core/pack_reader.h"

#include <climits>
#include <cstring>

#include "common/file.h"
#include "common/sjis.h"
#include "formats/lzss.h"
#include "formats/pack_format.h"

BYTE SharedReadArea[SHARED_READ_AREA_SIZE];

PackReader::~PackReader() {
  if (directory != nullptr) LocalFree(directory);
  if (cachedPath != nullptr) LocalFree(cachedPath);
  directory = nullptr;
  cachedPath = nullptr;
}

namespace {

// Makes the reader hold packPath's directory.  On any failure the reader
// keeps what it held.
bool OpenDirectory(PackReader* reader, const char* packPath) {
  if (reader->cachedPath != nullptr && SjisEqual(packPath, reader->cachedPath)) return true;

  const DWORD fileSize = GetFileSizeByName(packPath);
  if (fileSize == 0xFFFFFFFFu || fileSize < RLZ_HEADER_SIZE) return false;
  BYTE header[RLZ_HEADER_SIZE];
  if (ReadFilePart(packPath, header, 0, 0, RLZ_HEADER_SIZE) != RLZ_HEADER_SIZE) return false;
  if (!IsRlzPackMagic(header)) return false;
  RlzPackHeader parsed;
  LoadRlzPackHeader(header, &parsed);
  const unsigned long long dirSize = RlzDirectorySize(parsed.entryCount);
  if (dirSize > fileSize) return false;

  BYTE* directory = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(dirSize)));
  if (directory == nullptr) return false;
  const size_t pathBytes = StrLength(packPath) + 1;
  char* path = static_cast<char*>(LocalAlloc(LMEM_FIXED, pathBytes));
  bool ok = path != nullptr && ReadFilePart(packPath, directory, 0, 0, static_cast<DWORD>(dirSize)) == dirSize;
  if (ok) {
    // The file may have changed between the two reads.
    RlzPackHeader again;
    LoadRlzPackHeader(directory, &again);
    ok = IsRlzPackMagic(directory) && again.entryCount == parsed.entryCount;
  }
  if (!ok) {
    LocalFree(directory);
    if (path != nullptr) LocalFree(path);
    return false;
  }
  std::memcpy(path, packPath, pathBytes);

  if (reader->directory != nullptr) LocalFree(reader->directory);
  if (reader->cachedPath != nullptr) LocalFree(reader->cachedPath);
  reader->directory = directory;
  reader->cachedPath = path;
  reader->entryCount = parsed.entryCount;
  reader->fileSize = fileSize;
  return true;
}

// The first entry named entryName whose data lies inside the file.
bool FindEntry(const PackReader* reader, const char* entryName, RlzPackEntry* found) {
  if (reader->directory == nullptr || reader->entryCount == 0) return false;
  char name[RLZ_NAME_SIZE + 2];
  for (DWORD i = 0; i < reader->entryCount; ++i) {
    const BYTE* record = reader->directory + RlzDirectorySize(i);
    // Names are compared within their field, even when it holds no terminator.
    std::memcpy(name, record, RLZ_NAME_SIZE);
    name[RLZ_NAME_SIZE] = name[RLZ_NAME_SIZE + 1] = 0;
    if (!SjisEqual(name, entryName)) continue;
    LoadRlzPackEntry(record, found);
    return true;
  }
  return false;
}

bool EntryFitsFile(const PackReader* reader, const RlzPackEntry& entry) {
  const unsigned long long start = RlzDirectorySize(reader->entryCount) + entry.dataOffset;
  if (start + entry.storedSize > reader->fileSize) return false;
  if (start > static_cast<unsigned long long>(LONG_MAX)) return false;  // the read's seek is a LONG
  // A method this reader does not know is never handed out as stored bytes.
  if (entry.method != RLZ_METHOD_STORED && entry.method != RLZ_METHOD_LZSS) return false;
  if (entry.method == RLZ_METHOD_LZSS)
    return entry.unpackedSize <= static_cast<DWORD>(INT_MAX) &&
           entry.unpackedSize <= LzssMaxUnpackedSize(entry.storedSize);
  // Stored bytes are handed out as they are: the sizes must agree.
  return entry.unpackedSize == entry.storedSize;
}

BYTE* ReadEntry(PackReader* reader, const char* packPath, const char* entryName, DWORD* sizeOut, BYTE* buffer,
                DWORD capacity, int* bufferUsed) {
  if (sizeOut != nullptr) *sizeOut = 0;
  if (bufferUsed != nullptr) *bufferUsed = 0;
  if (reader == nullptr || packPath == nullptr || entryName == nullptr) return nullptr;
  if (!OpenDirectory(reader, packPath)) return nullptr;
  RlzPackEntry entry;
  if (!FindEntry(reader, entryName, &entry) || !EntryFitsFile(reader, entry)) return nullptr;

  // An entry without bytes (an empty file, a voice pack's placeholder) is a
  // read that returns nothing: not found.
  if (entry.storedSize == 0) return nullptr;
  const LONG offset = static_cast<LONG>(RlzDirectorySize(reader->entryCount) + entry.dataOffset);
  const bool intoCaller = entry.method != RLZ_METHOD_LZSS && buffer != nullptr && entry.storedSize <= capacity;
  BYTE* stored = intoCaller ? buffer : static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, entry.storedSize));
  if (stored == nullptr) return nullptr;
  const DWORD read = ReadFilePart(packPath, stored, 0, offset, entry.storedSize);
  if (read != entry.storedSize) {
    if (!intoCaller) LocalFree(stored);
    return nullptr;
  }

  BYTE* result = stored;
  if (entry.method == RLZ_METHOD_LZSS) {
    result = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, entry.unpackedSize ? entry.unpackedSize : 1));
    const bool decoded = result != nullptr && LzssDecode(result, stored, entry.unpackedSize, entry.storedSize) >= 0;
    LocalFree(stored);
    if (!decoded) {
      if (result != nullptr) LocalFree(result);
      return nullptr;
    }
  }
  if (intoCaller && bufferUsed != nullptr) *bufferUsed = 1;
  if (sizeOut != nullptr) *sizeOut = entry.unpackedSize;
  return result;
}

}  // namespace

int OpenPackChecked(PackReader* reader, const char* packPath) {
  if (reader == nullptr || packPath == nullptr || !OpenDirectory(reader, packPath)) return 0;
  if (reader->entryCount == 0) return 0;
  const unsigned long long dataStart = RlzDirectorySize(reader->entryCount);
  for (DWORD i = 0; i < reader->entryCount; ++i) {
    const BYTE* record = reader->directory + RlzDirectorySize(i);
    // A name the converter writes always ends within its field.
    if (std::memchr(record, 0, RLZ_NAME_SIZE) == nullptr) return 0;
    RlzPackEntry entry;
    LoadRlzPackEntry(record, &entry);
    if (dataStart + entry.dataOffset + entry.storedSize > reader->fileSize) return 0;
  }
  return 1;
}

namespace {

// The directory's entry of that name, the one a read takes; false when the
// pack lists none or does not open.
bool ListedEntry(PackReader* reader, const char* packPath, const char* entryName, RlzPackEntry* entry) {
  if (reader == nullptr || packPath == nullptr || entryName == nullptr || !OpenDirectory(reader, packPath))
    return false;
  return FindEntry(reader, entryName, entry);
}

}  // namespace

int PackListsEntry(PackReader* reader, const char* packPath, const char* entryName) {
  RlzPackEntry entry;
  return ListedEntry(reader, packPath, entryName, &entry) && entry.storedSize != 0 ? 1 : 0;
}

int PackListsEmptyEntry(PackReader* reader, const char* packPath, const char* entryName) {
  RlzPackEntry entry;
  return ListedEntry(reader, packPath, entryName, &entry) && entry.storedSize == 0 ? 1 : 0;
}

BYTE* ReadPackEntry(PackReader* reader, const char* packPath, const char* entryName, DWORD* sizeOut) {
  return ReadEntry(reader, packPath, entryName, sizeOut, nullptr, 0, nullptr);
}

BYTE* ReadPackEntryInto(PackReader* reader, const char* packPath, const char* entryName, DWORD* sizeOut, BYTE* buffer,
                        DWORD capacity, int* bufferUsed) {
  return ReadEntry(reader, packPath, entryName, sizeOut, buffer, capacity, bufferUsed);
}
