// Hooks of our Win32 layer that have no Win32 name: the test clock, the
// registry store, the module search rule and the compiled-in resources.
//
// Paths.  Names given to the file functions are Windows paths: the A forms
// take code page 932 bytes, the W forms UTF-16.  '\' and '/' both separate
// components (a trail byte 0x5C never does), repeated separators count as
// one, and every component is matched against the real directory without
// regard to ASCII case.  A leading separator is the Linux root.  Paths that
// the layer hands back (GetModuleFileName, GetCurrentDirectory) are the Linux
// paths with '\' separators, so code that cuts after the last '\' and appends
// a name gets a path that maps back to the same place.
//
// Registry store.  The environment variable VELMI_REGISTRY names a text file,
// read afresh by every RegOpenKeyExA.  Without the variable (or the file) no
// key exists.  Format, one item per line, '#' or ';' starts a comment line:
//     [HKEY_LOCAL_MACHINE\Software\Portable Codecs\CodecSuite\JpegLib]
//     USECPU=dword:3
//     INSTPATH=sz:/opt/gogo/gogo.dll
//     Blob=hex:01 02 ff
// A key line names the root (HKEY_CURRENT_USER / HKCU, HKEY_LOCAL_MACHINE /
// HKLM, HKEY_CLASSES_ROOT / HKCR, HKEY_USERS / HKU) and the key path.  Value
// lines are name=type:data; the name runs to the first '=' ("@" is the
// default value); dword data is decimal or 0x-hex (a minus sign is allowed);
// sz data is the rest of the line, bytes as they stand.  Key paths and value
// names compare without regard to ASCII case.  A key exists when it or a key
// below it appears.
// A store file that is named but cannot be read (missing, a folder, no
// permission) holds no key; VelmiRegistryStoreUnread tells it.
//
// Modules.  LoadLibrary keeps only the file name of what it is given; the
// names "user32" and "advapi32" (with or without ".dll", any case) are served
// from a table of our own entry points:
//     user32:   MessageBoxA, PeekMessageA, PostQuitMessage, wsprintfA
//     advapi32: RegOpenKeyExA, RegQueryValueExA, RegCloseKey
// Any other name N loads the shared object "N.so" (e.g. "gogo.dll.so",
// "Corvane.ovl.so"), searched first beside the program, then in each
// directory of VELMI_MODULE_PATH (':'-separated); the file name matches
// without regard to ASCII case.  A name that is not found fails with
// ERROR_MOD_NOT_FOUND, as a missing DLL did.  Entry points of such modules are
// looked up with dlsym, so they are exported with C linkage.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// ---- Clock ----------------------------------------------------------------
// Installs a fake clock: GetTickCount and timeGetTime return start_ms and move
// only through VelmiClockAdvance or Sleep.  Under the fake clock Sleep(n)
// advances the clock by n and returns at once (Sleep(0) only yields).
void VelmiClockUseFake(DWORD start_ms);
void VelmiClockAdvance(DWORD ms);
void VelmiClockUseReal();
bool VelmiClockIsFake();
// Pins GetLocalTime to a fixed time (null ends the pin).
void VelmiClockPinLocalTime(const SYSTEMTIME* time);
// Under the fake clock GetLocalTime reports the local time set here (seconds
// are whole; milliseconds follow the tick) moved on by the fake ticks since
// the call; until it is called, 2000-01-01 00:00:00 at the fake start.
void VelmiClockSetLocalTime(const SYSTEMTIME* now);

// ---- Font families -----------------------------------------------------------
// Tests of the order EnumFontFamiliesW gives Japanese families: the faces of
// the family it names `family` (UTF-8), each with its font file, its index in
// that file and how many characters of code page 932's non-kanji rows (JIS
// rows 1 to 8 and the NEC special row 13) the character set fontconfig lists
// for it holds.  A family draws as many as its poorest face.  Empty when no
// family has that name.
struct VelmiFaceCoverage {
  std::string file;
  int index = 0;
  int characters = 0;
};
std::vector<VelmiFaceCoverage> VelmiCodePageCoverage(const std::string& family);

// ---- Allocation failures ------------------------------------------------------
// Tests of out-of-memory paths: after the next `after` LocalAlloc calls
// succeed, the one that follows fails (once); -1 ends a pending failure.
void VelmiFailLocalAlloc(int after);

// ---- Flushes to the disk -----------------------------------------------------
// Tests of the order in which written files reach the disk.  While the log
// is on, each FlushFileBuffers that succeeds adds "flush <file>", each
// MoveFileEx that succeeds adds "move <from> <to>", and each folder that a
// MoveFileEx with MOVEFILE_WRITE_THROUGH flushes adds "folder <folder>" (after
// its "move" line); the names are Linux paths.  Turning the log on empties it.
void VelmiLogDiskFlushes(bool on);
std::vector<std::string> VelmiDiskFlushLog();
// Tests of a disk that fails to flush: after the next `after` FlushFileBuffers
// calls on writable handles succeed, the one that follows fails (once) as an
// I/O error of the disk does; -1 ends a pending failure.
void VelmiFailFlushFileBuffers(int after);
// Tests of a disk that fails to flush a folder: after the next `after` folder
// flushes of MoveFileEx with MOVEFILE_WRITE_THROUGH succeed, the one that
// follows fails (once) as an I/O error of the disk does; -1 ends a pending
// failure.  Such a move is done all the same: MoveFileEx returns TRUE with
// the flush's error as the last error (NO_ERROR after a move on the disk).
// A program started with VELMI_FAIL_FOLDER_FLUSH=<after> begins with this set.
void VelmiFailFolderFlush(int after);
// As VelmiFailFolderFlush, with `count` folder flushes in a row failing.
void VelmiFailFolderFlushes(int after, int count);

// ---- System modules -----------------------------------------------------
// Replaces one entry point of a system module's table (e.g. the window
// backend installing its own "MessageBoxA").  Until then MessageBoxA writes
// "caption: text" to stderr and returns IDOK, PeekMessageA finds no message
// and PostQuitMessage does nothing, as fits a program without a window.
// Unknown modules or names are ignored.
void VelmiSetSystemEntry(LPCSTR module, LPCSTR name, FARPROC proc);

// ---- Resources --------------------------------------------------------------
// Registers a resource of the program for FindResourceA/W.  type and name are
// either MAKEINTRESOURCEA numbers or strings (strings compare without regard
// to ASCII case and are copied); the data is not copied and must outlive the
// program's use of it.  A second registration of the same type and name
// replaces the first.  Any module handle (NULL included) finds the table.
void VelmiRegisterResource(LPCSTR type, LPCSTR name, const void* data, DWORD size);

// Registers at start-up from a translation unit that is linked in (an object
// in a static library is linked only when something else in it is used;
// otherwise call VelmiRegisterResource from code the program runs):
//   VELMI_RESOURCE(chip80, "Binary", 136, kChip80, sizeof kChip80);
#define VELMI_RESOURCE(tag, type, id, data, size)                               \
  [[maybe_unused]] static const bool velmi_resource_##tag = [] {                \
    VelmiRegisterResource((type), MAKEINTRESOURCEA(id), (data), (DWORD)(size)); \
    return true;                                                                \
  }()

// ---- Registry store --------------------------------------------------------
// True when the last key lookup found the store file that VELMI_REGISTRY
// names unreadable: that file (as the variable names it) and why, in plain
// words ("not found", "a folder, not a file", "no permission", ...).  False
// when it was read or no store is named.
#include <string>
bool VelmiRegistryStoreUnread(std::string* file, std::string* reason);

// ---- Standard streams -------------------------------------------------------
// Whether the C stream with this descriptor (1 standard output, 2 the error
// stream) is a terminal: progress goes there as one line updated in place,
// to a file or a pipe as whole lines.
bool VelmiStreamIsTerminal(int descriptor);

// ---- Paths ------------------------------------------------------------------
// The Linux path (UTF-8) that a Windows path resolves to, exactly as the file
// functions use it: components found without regard to ASCII case, a
// component with no match kept as given.  Empty when the path cannot be
// converted.  For tests and for code that hands a path to a Linux library.
#include <string>
std::string VelmiResolvePathA(LPCSTR path);
std::string VelmiResolvePathW(LPCWSTR path);
