// The converter's registry reads, below a process-wide root
// "Software\<maker>\" of HKEY_CURRENT_USER.
#pragma once

#include <cstddef>

void SetRegistryRoot(const char* maker);
// Opens root + subKey for all access and reads the value into destination
// (capacity bytes, always terminated).  0 when the key cannot be opened or
// the value does not fit; 1 otherwise, also when the value is missing (the
// destination is then left as it was).
int ReadRegistryValue(const char* subKey, const char* valueName, char* destination, size_t capacity);
