// Registry store, modules, resources and the clock.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <velmi_platform.h>
#include <velmi_registry_source.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.file("reg.txt",
           "# test store\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\n"
           "USECPU=dword:3\n"
           "Negative=dword:-1\n"
           "[HKCU\\Software\\MarineCat\\GOGO_DLL]\n"
           "INSTPATH=sz:C:\\Program Files\\gogo\\gogo.dll\n"
           "Blob=hex:01 02 ff\n"
           "@=sz:default\n"
           "[HKCU\\Software\\Deep\\Only\\Child]\n"
           "x=dword:0x10\n");
    setenv("VELMI_REGISTRY", (t.root() + "/reg.txt").c_str(), 1);
  }
  void TearDown() override { unsetenv("VELMI_REGISTRY"); }
  TempDir t;
};

TEST_F(RegistryTest, ValuesAndOpens) {
  HKEY key = nullptr;
  // All access is granted: the store is read-only, but only writes would fail.
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\portable codecs\\CodecSuite\\JpegLib", 0, KEY_ALL_ACCESS, &key),
      ERROR_SUCCESS);
  int cpu = -1;
  DWORD type = 0, size = sizeof cpu;
  EXPECT_EQ(RegQueryValueExA(key, "usecpu", nullptr, &type, reinterpret_cast<BYTE*>(&cpu), &size), ERROR_SUCCESS);
  EXPECT_EQ(cpu, 3);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegQueryValueExA(key, "Negative", nullptr, nullptr, reinterpret_cast<BYTE*>(&cpu), &size), ERROR_SUCCESS);
  EXPECT_EQ(cpu, -1);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, reinterpret_cast<BYTE*>(&cpu), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  char path[1024];
  size = sizeof path;
  EXPECT_EQ(RegQueryValueExA(key, "INSTPATH", nullptr, &type, reinterpret_cast<BYTE*>(path), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_STREQ(path, "C:\\Program Files\\gogo\\gogo.dll");
  EXPECT_EQ(size, std::strlen(path) + 1);
  // Too small a buffer: the size needed, nothing written.
  char small[4] = "abc";
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "INSTPATH", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, std::strlen(path) + 1);
  EXPECT_STREQ(small, "abc");
  BYTE blob[8];
  size = sizeof blob;
  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(blob[2], 0xFF);
  size = sizeof path;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size), ERROR_SUCCESS);
  EXPECT_STREQ(path, "default");
  RegCloseKey(key);

  // Roots are kept apart, a parent of a listed key exists, and keys open
  // relative to an open key.
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\MarineCat\\GOGO_DLL", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  HKEY deep = nullptr, child = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Deep", 0, KEY_READ, &deep), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(deep, "only\\CHILD", 0, KEY_READ, &child), ERROR_SUCCESS);
  DWORD x = 0;
  size = sizeof x;
  EXPECT_EQ(RegQueryValueExA(child, "X", nullptr, nullptr, reinterpret_cast<BYTE*>(&x), &size), ERROR_SUCCESS);
  EXPECT_EQ(x, 16u);
  RegCloseKey(child);
  RegCloseKey(deep);
  EXPECT_EQ(RegCloseKey(deep), ERROR_INVALID_HANDLE);

  // Without a store no key exists.
  unsetenv("VELMI_REGISTRY");
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// Numbers as the store spells them, and key names in code page 932 whose
// trail bytes look like '\' or a lower-case letter.
TEST_F(RegistryTest, DwordSpellingsAndShiftJisKeys) {
  t.file("reg.txt",
         "[HKCU\\Software\\Numbers]\n"
         "Zero8=dword:08\n"
         "Zero10=dword:010\n"
         "Hex=dword:0X1f\n"
         "Max=dword:4294967295\n"
         "MinusHex=dword:-0x10\n"
         "TooBig=dword:4294967296\n"
         "Junk=dword:12z\n"
         "Empty=dword:\n"
         "[HKCU\\Software\\\x83\x5C]\n"  // katakana so: 83 5C
         "v=dword:1\n"
         "[HKCU\\Software\\\x83\x61]\n"  // trail byte 'a'
         "v=dword:2\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\numbers", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  struct Case {
    const char* name;
    LONG status;
    DWORD value;
  } cases[] = {
      {"Zero8", ERROR_SUCCESS, 8},        {"Zero10", ERROR_SUCCESS, 10},           {"Hex", ERROR_SUCCESS, 31},
      {"Max", ERROR_SUCCESS, 0xFFFFFFFF}, {"MinusHex", ERROR_SUCCESS, 0xFFFFFFF0}, {"TooBig", ERROR_FILE_NOT_FOUND, 0},
      {"Junk", ERROR_FILE_NOT_FOUND, 0},  {"Empty", ERROR_FILE_NOT_FOUND, 0},
  };
  for (const Case& c : cases) {
    DWORD v = 0, size = sizeof v;
    EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), c.status) << c.name;
    if (c.status == ERROR_SUCCESS) {
      EXPECT_EQ(v, c.value) << c.name;
    }
  }
  RegCloseKey(key);

  struct KeyCase {
    const char* subKey;
    DWORD value;  // 0: no such key
  } keys[] = {
      {"Software\\\x83\x5C", 1},
      {"Software\\\x83\x61", 2},
      {"Software\\\x83\x41", 0},  // a trail byte is never folded
      {"Software\\\x83", 0},      // nor taken for a separator
  };
  for (const KeyCase& k : keys) {
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, k.subKey, 0, KEY_READ, &key);
    EXPECT_EQ(status, k.value ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND) << k.subKey;
    if (status != ERROR_SUCCESS) continue;
    DWORD v = 0, size = sizeof v;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
    EXPECT_EQ(v, k.value) << k.subKey;
    RegCloseKey(key);
  }
}

bool FakeSource(const std::string& keyPath, std::vector<VelmiRegistryValue>* values) {
  if (keyPath != "HKEY_CURRENT_USER\\SOFTWARE\\MARINECAT\\GOGO_DLL") return false;
  values->push_back({"INSTPATH", REG_SZ, {'x', 0}});
  values->push_back({"Extra", REG_DWORD, {5, 0, 0, 0}});
  return true;
}

TEST_F(RegistryTest, SecondSourceFillsOnlyWhatTheStoreLacks) {
  VelmiSetRegistrySource(&FakeSource);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_READ, &key), ERROR_SUCCESS);
  char path[64];
  DWORD size = sizeof path, extra = 0;
  EXPECT_EQ(RegQueryValueExA(key, "INSTPATH", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size), ERROR_SUCCESS);
  EXPECT_STREQ(path, "C:\\Program Files\\gogo\\gogo.dll");
  size = sizeof extra;
  EXPECT_EQ(RegQueryValueExA(key, "EXTRA", nullptr, nullptr, reinterpret_cast<BYTE*>(&extra), &size), ERROR_SUCCESS);
  EXPECT_EQ(extra, 5u);
  RegCloseKey(key);
  unsetenv("VELMI_REGISTRY");  // the source alone still makes the key exist
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  VelmiSetRegistrySource(nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(Modules, MissingModuleFailsAsAMissingDll) {
  unsetenv("VELMI_MODULE_PATH");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("gogo_never_built.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(u"Corvane_never_built.ovl"), nullptr);
  EXPECT_EQ(LoadLibraryExW(u"Corvane_never_built.ovl", nullptr, 0), nullptr);
}

TEST(Modules, SystemModuleTables) {
  const char* user32[] = {"MessageBoxA", "PeekMessageA", "PostQuitMessage", "wsprintfA"};
  const char* advapi32[] = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey"};
  for (const char* name : {"user32", "USER32.DLL", "User32.dll"}) {
    HMODULE m = LoadLibraryA(name);
    ASSERT_NE(m, nullptr) << name;
    for (const char* entry : user32) EXPECT_NE(GetProcAddress(m, entry), nullptr) << entry;
    EXPECT_EQ(GetProcAddress(m, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(m));
  }
  HMODULE adv = LoadLibraryA("advapi32");
  ASSERT_NE(adv, nullptr);
  for (const char* entry : advapi32) EXPECT_NE(GetProcAddress(adv, entry), nullptr) << entry;
  // The bound formatter is the real one.
  using Fmt = int (*)(LPSTR, LPCSTR, ...);
  auto fmt = reinterpret_cast<Fmt>(GetProcAddress(LoadLibraryA("user32"), "wsprintfA"));
  char buf[80] = {};
  EXPECT_EQ(fmt(buf, "Portable JPEG Library, version %s", "9"), 32);
  EXPECT_STREQ(buf, "Portable JPEG Library, version 9");
  EXPECT_EQ(GetProcAddressW(adv, u"RegCloseKey"), GetProcAddress(adv, "RegCloseKey"));
}

TEST(Modules, OurSharedObjectByFileName) {
  setenv("VELMI_MODULE_PATH", "/nonexistent:" VELMI_TEST_MODULE_DIR, 1);
  // A full path keeps only its file name; the name matches without case.
  HMODULE m = LoadLibraryA("C:\\Program Files\\x\\velmitest.DLL");
  ASSERT_NE(m, nullptr);
  using Answer = int (*)(int);
  auto answer = reinterpret_cast<Answer>(GetProcAddress(m, "velmi_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(1), 43);
  EXPECT_EQ(GetProcAddress(m, "missing_entry"), nullptr);
  char path[1024];
  DWORD n = GetModuleFileNameA(m, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(path).substr(n - std::strlen("\\VelmiTest.dll.so")), "\\VelmiTest.dll.so");
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));
  unsetenv("VELMI_MODULE_PATH");
  EXPECT_EQ(LoadLibraryA("VelmiTest.dll"), nullptr);
}

const unsigned char kStartupResource[] = {7, 7};
VELMI_RESOURCE(startup, "Binary", 900, kStartupResource, sizeof kStartupResource);

TEST(Resources, RegisteredTable) {
  static const unsigned char chip80[] = {1, 2, 3, 4};
  static const unsigned char chip40[] = {9};
  VelmiRegisterResource("Binary", MAKEINTRESOURCEA(136), chip80, sizeof chip80);
  VelmiRegisterResource("Binary", MAKEINTRESOURCEA(135), chip40, sizeof chip40);
  VelmiRegisterResource(RT_RCDATA, "Named", chip40, sizeof chip40);
  struct Case {
    LPCSTR name;
    LPCSTR type;
    const void* data;
    DWORD size;
  } cases[] = {
      {MAKEINTRESOURCEA(136), "Binary", chip80, 4},
      {"#135", "BINARY", chip40, 1},
      {"named", RT_RCDATA, chip40, 1},
      {MAKEINTRESOURCEA(900), "binary", kStartupResource, 2},
  };
  for (const Case& c : cases) {
    HRSRC r = FindResourceA(nullptr, c.name, c.type);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, r), c.size);
    EXPECT_EQ(LockResource(LoadResource(nullptr, r)), c.data);
  }
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(137), "Binary"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(136), "Other"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(136), u"binary"), nullptr);
}

TEST(Clock, FakeClockMovesOnlyWhenTold) {
  VelmiClockUseFake(0xFFFFFFF0u);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
  VelmiClockAdvance(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);  // wraps at 32 bits
  Sleep(250);                        // advances the fake clock at once
  EXPECT_EQ(timeGetTime(), 0x10u + 250);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), 0x10u + 250);
  VelmiClockUseReal();
  EXPECT_FALSE(VelmiClockIsFake());
  DWORD a = GetTickCount();
  Sleep(15);
  EXPECT_GE(DWORD(GetTickCount() - a), 15u);
}

TEST(Clock, FakeLocalTimeFollowsTheTicks) {
  VelmiClockUseFake(5000);
  SYSTEMTIME st;
  GetLocalTime(&st);
  EXPECT_EQ(st.wYear, 2000);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour + st.wMinute + st.wSecond + st.wMilliseconds, 0);
  SYSTEMTIME set{2004, 12, 0, 31, 23, 59, 58, 0};
  VelmiClockSetLocalTime(&set);
  VelmiClockAdvance(2500);  // across midnight and the year's end
  GetLocalTime(&st);
  EXPECT_EQ(st.wYear, 2005);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wDayOfWeek, 6);  // a Saturday
  EXPECT_EQ(st.wHour + st.wMinute, 0);
  EXPECT_EQ(st.wSecond, 0);
  EXPECT_EQ(st.wMilliseconds, 500);
  VelmiClockUseReal();
}

TEST(Clock, TimerServicesAndLocalTime) {
  TIMECAPS caps;
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), MMRESULT(TIMERR_NOERROR));
  EXPECT_GE(caps.wPeriodMin, 1u);
  EXPECT_EQ(timeBeginPeriod(caps.wPeriodMin), MMRESULT(TIMERR_NOERROR));
  EXPECT_EQ(timeEndPeriod(caps.wPeriodMin), MMRESULT(TIMERR_NOERROR));
  EXPECT_EQ(timeBeginPeriod(0), MMRESULT(TIMERR_NOCANDO));
  SYSTEMTIME st;
  GetLocalTime(&st);
  EXPECT_GE(st.wYear, 2020);
  EXPECT_TRUE(st.wMonth >= 1 && st.wMonth <= 12);
  EXPECT_TRUE(st.wDay >= 1 && st.wDay <= 31);
  EXPECT_LE(st.wHour, 23);
}

}  // namespace
