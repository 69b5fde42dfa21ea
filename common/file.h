// File helpers shared by the player and the converter.  Paths are Shift-JIS
// with '\' separators; they are converted to UTF-16 for the W calls.
#pragma once

#include <windows.h>

// Size in bytes of the file or folder named by path itself (no wildcard
// search); 0xFFFFFFFF when it does not exist (or is 4 GiB or larger).
DWORD GetFileSizeByName(const char* path);

// 1 when path names an existing file or folder, else 0.
int FileExists(const char* path);

// Reads up to count bytes at the position given by origin (0 begin, 1 current,
// 2 end; any other value: no seek) and offset.  Returns the bytes read; 0 when
// the file cannot be opened or the seek fails.
DWORD ReadFilePart(const char* path, void* buffer, int origin, LONG offset, DWORD count);

// The whole file in a new LocalAlloc buffer with extra uncleared bytes behind
// it (callers free it with LocalFree).  The file's size goes to *size when size
// is not null.  Null when the file is missing, cannot be opened or read whole,
// or the buffer cannot be allocated.
BYTE* ReadWholeFile(const char* path, DWORD* size, DWORD extra);

// Writes count bytes at origin/offset (as ReadFilePart).  create = 1 empties or
// creates the file first; any other value keeps its content (creating it when
// missing).  Returns the bytes written; 0 when it cannot be opened, the path
// does not convert or the seek fails; GetLastError then tells why (a short
// write without an error of its own reads as ERROR_DISK_FULL).
DWORD WriteFileAt(const char* path, const void* buffer, int origin, LONG offset, DWORD count, int create);

// What a file is written under before it replaces the earlier one: its name
// with this added.
constexpr char kReplacingSuffix[] = ".tmp";

// Writes count bytes as the whole new content of path: into path + ".tmp"
// first, flushed to the disk, then renamed over path with the rename flushed
// too, so that a failed write or a power cut leaves the older file whole (the
// temporary file is removed after a failure).  1 when every byte was written
// and flushed and the rename succeeded, else 0, GetLastError telling why.
// After 1 with flushRename, GetLastError is NO_ERROR when the rename is on the
// disk too, else why the disk did not confirm it (the new content is under
// path all the same).  With flushRename 0 the rename is not flushed: a caller
// that replaces many files in one folder flushes the folder once after the
// last (FlushFolder).
int WriteFileReplacing(const char* path, const void* buffer, DWORD count, int flushRename = 1);

// Flushes a folder's entries (the renames made in it) to the disk.  0 when
// the flush failed or the name does not convert, GetLastError telling why;
// else 1, also for a folder that
// cannot be opened, which leaves nothing that could be flushed.
int FlushFolder(const char* folder);

// UTF-16 form of a Shift-JIS text in one static buffer of 2048 units, valid
// until the next call; null when the text does not fit or does not convert.
// Not for two threads at once.
const WCHAR* SjisToWide(const char* text);

// The two programs open files alike except that the converter writes without
// sharing and flushes a file after reading it whole.  The converter selects
// its behaviour once at start-up; the player's is the default.
enum class FileProfile { Player, Converter };
void SetFileProfile(FileProfile profile);
FileProfile GetFileProfile();

// The program's instance handle, stored when the window is created.
void SetInstanceHandle(HINSTANCE instance);
HINSTANCE GetInstanceHandle();

// The Ogg overlay's version text (at most 143 bytes kept), empty until set.
void SetOggOverlayVersion(const char* text);
// Copies the version text into out, which holds at least 144 bytes.
void GetOggOverlayVersion(char* out);
