// Files: path resolution, creation modes, sharing, positioning, mapping.
#include <gtest/gtest.h>
#include <unistd.h>
#include <velmi_platform.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "tests/support/disk_flushes.h"

namespace {

HANDLE Open(const std::string& path, DWORD access, DWORD creation, DWORD share = 0) {
  return CreateFileA(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ReadAll(HANDLE h) {
  char buf[256];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));
  return std::string(buf, got);
}

TEST(Paths, ResolveWithoutCaseTrailBytesAndDoubledSeparators) {
  TempDir t;
  t.file("advdata/Music/000.PCM", "music");
  t.file("\xE3\x82\xBD/x.txt", "so");   // ソ/x.txt
  t.file("\xE3\x82\xBDx.txt", "so-x");  // ソx.txt: 83 5C then 'x'
  struct Case {
    std::string win;
    std::string linuxRel;
  } cases[] = {
      {"AdvData\\MUSIC\\000.pcm", "advdata/Music/000.PCM"},
      {"ADVDATA\\\\music/000.Pcm", "advdata/Music/000.PCM"},
      {"\x83\x5C\\X.TXT", "\xE3\x82\xBD/x.txt"},
      {"\x83\x5Cx.txt", "\xE3\x82\xBDx.txt"},
      {"advdata\\Music\\new.txt", "advdata/Music/new.txt"},  // missing: kept as given
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.win);
    EXPECT_EQ(VelmiResolvePathA(t.win(c.win).c_str()), t.root() + "/" + c.linuxRel);
  }
  HANDLE h = Open(t.win("AdvData\\MUSIC\\000.pcm"), GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(h), "music");
  CloseHandle(h);
  h = Open(t.win("\x83\x5Cx.txt"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(h), "so-x");
  CloseHandle(h);
  // Creating matches the existing folders and keeps the new name's case.
  h = Open(t.win("ADVDATA\\music\\New.Txt"), GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(t.exists("advdata/Music/New.Txt"));
  // The wide form resolves alike.
  std::u16string wide = u"AdvData\\MUSIC\\000.pcm";
  std::string prefix = t.win();
  EXPECT_EQ(VelmiResolvePathW((std::u16string(prefix.begin(), prefix.end()) + u"\\" + wide).c_str()),
            t.root() + "/advdata/Music/000.PCM");
}

TEST(Files, CreationModesAndErrors) {
  TempDir t;
  t.file("old.txt", "12345");
  struct Case {
    const char* name;
    DWORD creation;
    bool ok;
    DWORD error;        // last error after the call
    const char* after;  // content afterwards (null: file absent)
  } cases[] = {
      {"old.txt", CREATE_NEW, false, ERROR_FILE_EXISTS, "12345"},
      {"new1.txt", CREATE_NEW, true, NO_ERROR, ""},
      {"old.txt", OPEN_EXISTING, true, NO_ERROR, "12345"},
      {"none.txt", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"nodir\\none.txt", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"nodir\\none.txt", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"old.txt", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "12345"},
      {"new2.txt", OPEN_ALWAYS, true, NO_ERROR, ""},
      {"none.txt", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"old.txt", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.creation));
    SetLastError(12345);
    HANDLE h = Open(t.win(c.name), GENERIC_READ | GENERIC_WRITE, c.creation);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.ok);
    EXPECT_EQ(GetLastError(), c.error);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    std::string rel = c.name;
    if (c.after)
      EXPECT_EQ(t.read(rel), c.after);
    else
      EXPECT_FALSE(t.exists(rel));
  }
  // A folder is no file.
  t.dir("sub");
  EXPECT_EQ(Open(t.win("SUB"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(Files, SharingModes) {
  TempDir t;
  t.file("f.bin", "abc");
  std::string p = t.win("F.BIN");
  HANDLE reader = Open(p, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // A writer is refused while the reader shares reading only, and a truncating
  // open must not have touched the content.
  EXPECT_EQ(Open(p, GENERIC_WRITE, CREATE_ALWAYS, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(t.read("f.bin"), "abc");
  HANDLE second = Open(p, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  CloseHandle(reader);
  HANDLE exclusive = Open(p, GENERIC_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(p, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  HANDLE again = Open(p, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

TEST(Files, ReadWriteSeekAndSize) {
  TempDir t;
  HANDLE h = Open(t.win("data.bin"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  struct Seek {
    LONG distance;
    DWORD method;
    DWORD position;
    char next;
  } seeks[] = {{4, FILE_BEGIN, 4, '4'}, {-3, FILE_END, 7, '7'}, {-2, FILE_CURRENT, 6, '6'}, {0, FILE_BEGIN, 0, '0'}};
  for (const Seek& s : seeks) {
    EXPECT_EQ(SetFilePointer(h, s.distance, nullptr, s.method), s.position);
    char c = 0;
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, s.next);
  }
  // Reading at the end succeeds with 0 bytes.
  SetFilePointer(h, 0, nullptr, FILE_END);
  char buf[4];
  EXPECT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
  EXPECT_EQ(n, 0u);
  // Before the start fails and leaves the position.
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u);
  // 64-bit positions through the high word (a sparse file).
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 0x10, &high, FILE_BEGIN), 0x10u);
  EXPECT_EQ(high, 1);
  ASSERT_TRUE(WriteFile(h, "x", 1, &n, nullptr));
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 0x11u);
  EXPECT_EQ(sizeHigh, 1u);
  // Without the high word a position past 32 bits cannot be reported.
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  high = -1;  // -1 low 0xFFFFFFFF: back by one
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_END), 0x10u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);
  // A read-only handle can neither write nor flush.
  h = Open(t.win("data.bin"), GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_FALSE(WriteFile(h, "y", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(FlushFileBuffers(h));
  CloseHandle(h);
  EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(Files, NameOperations) {
  TempDir t;
  t.file("Save/a.txt", "a");
  EXPECT_FALSE(CreateDirectoryA(t.win("SAVE").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CreateDirectoryA(t.win("save\\Deep").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(t.win("none\\deeper").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(t.win("save\\deep").c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA(t.win("SAVE\\A.TXT").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(t.win("save\\b.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  // Moving: into a missing name works, onto an existing one does not.
  t.file("Save/b.txt", "b");
  EXPECT_FALSE(MoveFileA(t.win("save\\a.txt").c_str(), t.win("save\\B.txt").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA(t.win("save\\a.txt").c_str(), t.win("save\\B.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(t.read("Save/b.txt"), "a");
  EXPECT_TRUE(MoveFileA(t.win("save\\b.txt").c_str(), t.win("save\\C.txt").c_str()));
  EXPECT_EQ(t.read("Save/C.txt"), "a");
  // Read-only files resist deletion until made normal again.
  EXPECT_TRUE(SetFileAttributesA(t.win("save\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA(t.win("save\\c.txt").c_str()), DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileA(t.win("save\\c.txt").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(SetFileAttributesW(Wide(t.win("save\\c.txt")).c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(t.win("save\\c.txt").c_str()));
  EXPECT_FALSE(t.exists("Save/C.txt"));
  EXPECT_FALSE(DeleteFileA(t.win("save\\c.txt").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  WIN32_FILE_ATTRIBUTE_DATA info;
  t.file("sized", std::string(1234, 'z'));
  ASSERT_TRUE(GetFileAttributesExA(t.win("SIZED").c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(info.nFileSizeLow, 1234u);
}

// FlushFileBuffers reaches the disk; a move with MOVEFILE_WRITE_THROUGH
// flushes the folders of both names after the rename (one when they are the
// same), a move without it flushes none.  The test hook makes one flush fail
// as a disk's I/O error does, and read-only handles do not count towards it.
TEST(Files, FlushesAndWriteThroughMoves) {
  TempDir t;
  t.dir("Save");
  t.dir("Other");
  vtest::DiskFlushLog log;
  HANDLE h = Open(t.win("save\\a.tmp"), GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);
  EXPECT_TRUE(MoveFileExA(t.win("save\\a.tmp").c_str(), t.win("save\\a").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(MoveFileExA(t.win("save\\a").c_str(), t.win("save\\b").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_TRUE(MoveFileExW(Wide(t.win("save\\b")).c_str(), Wide(t.win("other\\c")).c_str(), MOVEFILE_WRITE_THROUGH));
  // A move that fails flushes nothing.
  EXPECT_FALSE(MoveFileExA(t.win("save\\none").c_str(), t.win("save\\d").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(t.read("Other/c"), "abc");
  const std::vector<std::string> expected = {"flush a.tmp", "move a.tmp a", "move a b",   "folder Save",
                                             "move b c",    "folder Other", "folder Save"};
  EXPECT_EQ(log.Lines(), expected);

  log.Clear();
  VelmiFailFlushFileBuffers(1);
  h = Open(t.win("other\\c"), GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(h);
  h = Open(t.win("other\\c"), GENERIC_WRITE, OPEN_EXISTING);
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));  // fsync's EIO
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"flush c", "flush c"}));

  // A folder flush that fails leaves the move done: TRUE, the flush's error
  // the last error; a move whose folders reach the disk leaves NO_ERROR.  The
  // second folder of a move across folders fails as the first does.
  log.Clear();
  VelmiFailFolderFlush(0);
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(MoveFileExA(t.win("other\\c").c_str(), t.win("other\\d").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));
  EXPECT_EQ(t.read("Other/d"), "abc");
  EXPECT_TRUE(MoveFileExA(t.win("other\\d").c_str(), t.win("save\\e").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
  VelmiFailFolderFlush(1);
  EXPECT_TRUE(MoveFileExA(t.win("save\\e").c_str(), t.win("other\\f").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_DEVICE));
  EXPECT_EQ(t.read("Other/f"), "abc");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"move c d", "move d e", "folder Save", "folder Other", "move e f",
                                                   "folder Other"}));
}

// A folder opened with backup semantics flushes its entries; on a file
// system that has no way to flush folders (procfs) there is nothing to do,
// which is no failure.  A file that cannot be flushed still fails.
TEST(Files, FoldersFlush) {
  TempDir t;
  t.dir("Save");
  vtest::DiskFlushLog log;
  for (const std::string& folder : {t.win("save"), std::string("/proc/sys")}) {
    HANDLE h = CreateFileA(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << folder;
    EXPECT_TRUE(FlushFileBuffers(h)) << folder;
    CloseHandle(h);
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"flush Save", "flush sys"}));
  HANDLE h = Open("/dev/null", GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  CloseHandle(h);
}

TEST(Files, ProgramAndCurrentPaths) {
  char path[1024];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  std::string p(path, n);
  EXPECT_EQ(p.find('/'), std::string::npos);
  // Cutting after the last '\' and appending a name lands beside the program.
  std::string beside = p.substr(0, p.rfind('\\') + 1) + "velmi.cfg";
  char self[1024];
  ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(len, 0);
  std::string dir(self, size_t(len));
  EXPECT_EQ(VelmiResolvePathA(beside.c_str()), dir.substr(0, dir.rfind('/') + 1) + "velmi.cfg");
  // Too small a buffer: cut, terminated, size returned.
  char small[4];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, 4), 4u);
  EXPECT_EQ(small[3], 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  WCHAR wide[1024];
  EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 1024), n);
  char cwd[1024];
  DWORD c = GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_GT(c, 0u);
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), c + 1);
  EXPECT_EQ(VelmiResolvePathA(cwd), std::string(getcwd(self, sizeof self)));
}

TEST(Files, MappingSurvivesTheFileHandle) {
  TempDir t;
  std::string content;
  for (int i = 0; i < 10000; ++i) content += char('a' + i % 26);
  t.file("song.mp3", content);
  std::string w = t.win("SONG.MP3");
  std::u16string wide(w.begin(), w.end());
  HANDLE f = CreateFileForMappingW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(m, nullptr);
  CloseHandle(f);
  auto* all = static_cast<const char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(std::string(all, content.size()), content);
  // An offset that is not page aligned.
  auto* part = static_cast<const char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 4099, 100));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::string(part, 100), content.substr(4099, 100));
  EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 20000, 0), nullptr);
  EXPECT_EQ(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  CloseHandle(m);  // the views keep the mapping
  EXPECT_EQ(all[9999], content[9999]);
  EXPECT_TRUE(UnmapViewOfFile(all));
  EXPECT_TRUE(UnmapViewOfFile(part));
  EXPECT_FALSE(UnmapViewOfFile(part));
  // Writable mapping writes through to the file; an empty file has no mapping.
  t.file("empty", "");
  HANDLE e = CreateFileA(t.win("empty").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(CreateFileMappingA(e, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_INVALID));
  HANDLE rw = CreateFileMappingA(e, nullptr, PAGE_READWRITE, 0, 8, nullptr);
  ASSERT_NE(rw, nullptr);
  auto* v = static_cast<char*>(MapViewOfFile(rw, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(v, nullptr);
  std::memcpy(v, "mapped!!", 8);
  UnmapViewOfFile(v);
  CloseHandle(rw);
  CloseHandle(e);
  EXPECT_EQ(t.read("empty"), "mapped!!");
}

TEST(Heap, LocalAllocZeroes) {
  auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 4096));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(LocalFree(p), nullptr);
  void* z = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(z, nullptr);
  LocalFree(z);
}

}  // namespace
