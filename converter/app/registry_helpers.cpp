#include "converter/app/registry_helpers.h"

#include <windows.h>

#include "common/format.h"

namespace {
char g_registryRoot[256];
}

void SetRegistryRoot(const char* maker) {
  if (!FormatStringN(g_registryRoot, sizeof g_registryRoot, "Software\\%s\\", maker)) g_registryRoot[0] = 0;
}

int ReadRegistryValue(const char* subKey, const char* valueName, char* destination, size_t capacity) {
  if (!destination || capacity == 0) return 0;
  char keyName[512];
  if (!FormatStringN(keyName, sizeof keyName, "%s%s", g_registryRoot, subKey)) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  int result = 1;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    // The value's bytes and our terminator must fit; a longer value is
    // refused rather than cut, since a cut path names another folder.
    if (size < capacity) {
      DWORD got = size;
      if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(destination), &got) ==
              ERROR_SUCCESS &&
          got <= size)
        destination[got] = 0;
    } else {
      result = 0;
    }
  }
  RegCloseKey(key);
  return result;
}
