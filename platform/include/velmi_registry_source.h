// A second source of registry keys, consulted behind the store file of
// VELMI_REGISTRY (e.g. the registry of a Wine prefix).  Values of the store
// win over values of the same name from the source; a key exists when either
// names it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct VelmiRegistryValue {
  std::string name;  // as stored; "" or "@" is the default value
  DWORD type;        // REG_SZ, REG_DWORD, ...
  std::vector<BYTE> data;
};

// keyPath: the root spelled out and the key path, one '\' between the
// components, ASCII letters upper-cased, e.g.
// "HKEY_CURRENT_USER\SOFTWARE\TORVAL\QR2".  Appends the key's values and
// returns true when the key (or a key below it) exists.
typedef bool (*VelmiRegistrySource)(const std::string& keyPath, std::vector<VelmiRegistryValue>* values);

// Installs the source (null removes it).  Every later RegOpenKeyExA reads it.
void VelmiSetRegistrySource(VelmiRegistrySource source);
