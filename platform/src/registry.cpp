// Read-only registry over the text store named by VELMI_REGISTRY (format in
// velmi_platform.h).  The store is read at every open, so a test can point
// the variable at a new file between calls.
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "internal.h"
#include <velmi_platform.h>
#include "velmi_registry_source.h"

namespace {

struct Value {
  DWORD type;
  std::vector<BYTE> data;
};

struct Key {
  std::string path;                     // "ROOT\sub\key", upper-cased
  std::map<std::string, Value> values;  // upper-cased name
};

std::mutex g_keyLock;
std::set<Key*>& OpenKeys() {
  static auto* s = new std::set<Key*>;
  return *s;
}

bool IsLead(char c) {
  unsigned char b = (unsigned char)c;
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Names are code page 932: trail bytes are neither folded nor separators.
std::string Upper(std::string s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsLead(s[i]))
      ++i;
    else
      s[i] = velmi::AsciiUpper(s[i]);
  }
  return s;
}

bool IsKeySeparator(const std::string& s, size_t i) { return s[i] == '\\' || s[i] == '/'; }

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// "a\\b\" -> "A\B": one separator between components, none at the ends.
std::string NormalKey(const std::string& path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsKeySeparator(path, i)) ++i;
    size_t s = i;
    while (i < path.size() && !IsKeySeparator(path, i)) i += IsLead(path[i]) && i + 1 < path.size() ? 2 : 1;
    if (i > s) {
      if (!out.empty()) out += '\\';
      out += Upper(path.substr(s, i - s));
    }
  }
  return out;
}

const char* RootName(HKEY key) {
  switch (uint32_t(uintptr_t(key))) {
    case 0x80000000u:
      return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
      return "HKEY_CURRENT_USER";
    case 0x80000002u:
      return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
      return "HKEY_USERS";
    default:
      return nullptr;
  }
}

std::string CanonicalRoot(const std::string& first) {
  std::string u = Upper(first);
  if (u == "HKCU") return "HKEY_CURRENT_USER";
  if (u == "HKLM") return "HKEY_LOCAL_MACHINE";
  if (u == "HKCR") return "HKEY_CLASSES_ROOT";
  if (u == "HKU") return "HKEY_USERS";
  return u;
}

bool ParseValue(const std::string& text, Value& v) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string type = Upper(Trim(text.substr(0, colon)));
  std::string data = text.substr(colon + 1);
  if (!data.empty() && data.back() == '\r') data.pop_back();
  if (type == "DWORD") {
    // Decimal (leading zeros are not octal) or 0x-hex, with an optional minus.
    std::string t = Trim(data);
    bool negative = !t.empty() && t[0] == '-';
    size_t at = negative ? 1 : 0;
    int base = 10;
    if (t.size() > at + 1 && t[at] == '0' && (t[at + 1] == 'x' || t[at + 1] == 'X')) {
      base = 16;
      at += 2;
    }
    if (at >= t.size() || !isxdigit((unsigned char)t[at])) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(t.c_str() + at, &end, base);
    if (*end || errno == ERANGE || n > 0xFFFFFFFFull) return false;
    uint32_t d = negative ? 0u - uint32_t(n) : uint32_t(n);
    v.type = REG_DWORD;
    v.data = {BYTE(d), BYTE(d >> 8), BYTE(d >> 16), BYTE(d >> 24)};
    return true;
  }
  if (type == "SZ") {
    v.type = REG_SZ;
    v.data.assign(data.begin(), data.end());
    v.data.push_back(0);
    return true;
  }
  if (type == "HEX") {
    v.type = REG_BINARY;
    v.data.clear();
    std::string t;
    for (char c : data)
      if (!isspace((unsigned char)c) && c != ',') t += c;
    if (t.size() % 2) return false;
    for (size_t i = 0; i < t.size(); i += 2) {
      char* end = nullptr;
      std::string byte = t.substr(i, 2);
      long b = std::strtol(byte.c_str(), &end, 16);
      if (*end) return false;
      v.data.push_back(BYTE(b));
    }
    return true;
  }
  return false;
}

// True when key full lies below key path: path is a prefix that ends at a
// character boundary of full, right before a separator.
bool IsBelow(const std::string& full, const std::string& path) {
  if (full.size() <= path.size() || full.compare(0, path.size(), path) != 0) return false;
  size_t i = 0;
  while (i < path.size()) i += IsLead(full[i]) ? 2 : 1;
  return i == path.size() && full[i] == '\\';
}

// What the last read of the store met: the file that could not be read and
// why, or nothing.
std::mutex g_storeLock;
std::string g_unreadStore, g_unreadReason;

std::string StoreFailure(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return "not found";
    case EISDIR:
      return "a folder, not a file";
    case EACCES:
    case EPERM:
      return "no permission";
    default:
      return std::strerror(err);
  }
}

// The whole store file; false (and the failure kept) when it cannot be read.
bool ReadStore(const char* file, std::string& text) {
  std::string reason;
  if (std::FILE* f = std::fopen(file, "rb")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    if (std::ferror(f)) reason = StoreFailure(errno);
    std::fclose(f);
  } else {
    reason = StoreFailure(errno);
  }
  std::lock_guard<std::mutex> lock(g_storeLock);
  g_unreadStore = reason.empty() ? std::string() : std::string(file);
  g_unreadReason = reason;
  return reason.empty();
}

// Loads the key at path (normalised) from the store: exists when the key
// or a key below it is named.
bool LoadStoreKey(const std::string& path, Key& key) {
  const char* file = std::getenv("VELMI_REGISTRY");
  if (!file || !*file) {
    std::lock_guard<std::mutex> lock(g_storeLock);
    g_unreadStore.clear();
    g_unreadReason.clear();
    return false;
  }
  std::string text;
  if (!ReadStore(file, text)) return false;
  std::istringstream in(text);
  bool exists = false, inKey = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    if (t[0] == '[') {
      size_t close = t.rfind(']');
      std::string name = t.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      size_t sep = name.find_first_of("\\/");
      std::string full =
          NormalKey(CanonicalRoot(name.substr(0, sep)) + (sep == std::string::npos ? std::string() : name.substr(sep)));
      inKey = full == path;
      if (inKey || IsBelow(full, path)) exists = true;
      continue;
    }
    if (!inKey) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    Value v;
    if (ParseValue(line.substr(eq + 1), v)) key.values[Upper(Trim(line.substr(0, eq)))] = std::move(v);
  }
  key.path = path;
  return exists;
}

std::atomic<VelmiRegistrySource> g_source{nullptr};

// The store first; the second source fills only the names the store lacks.
bool LoadKey(const std::string& path, Key& key) {
  bool exists = LoadStoreKey(path, key);
  key.path = path;
  if (VelmiRegistrySource source = g_source.load()) {
    std::vector<VelmiRegistryValue> extra;
    if (source(path, &extra)) exists = true;
    for (auto& v : extra) {
      std::string name = v.name.empty() ? "@" : Upper(v.name);
      key.values.emplace(name, Value{v.type, std::move(v.data)});
    }
  }
  return exists;
}

Key* LiveKey(HKEY key) {
  auto* k = reinterpret_cast<Key*>(key);
  return OpenKeys().count(k) ? k : nullptr;
}

}  // namespace

void VelmiSetRegistrySource(VelmiRegistrySource source) { g_source.store(source); }

bool VelmiRegistryStoreUnread(std::string* file, std::string* reason) {
  std::lock_guard<std::mutex> lock(g_storeLock);
  if (g_unreadStore.empty()) return false;
  if (file) *file = g_unreadStore;
  if (reason) *reason = g_unreadReason;
  return true;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string base;
  if (const char* root = RootName(key)) {
    base = root;
  } else {
    std::lock_guard<std::mutex> lock(g_keyLock);
    Key* k = LiveKey(key);
    if (!k) return ERROR_INVALID_HANDLE;
    base = k->path;
  }
  std::string path = NormalKey(base + "\\" + (subKey ? subKey : ""));
  // Every access mask is accepted: the store is never written.
  auto* k = new Key;
  if (!LoadKey(path, *k)) {
    delete k;
    return ERROR_FILE_NOT_FOUND;
  }
  std::lock_guard<std::mutex> lock(g_keyLock);
  OpenKeys().insert(k);
  *result = reinterpret_cast<HKEY>(k);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  if (reserved || (data && !dataBytes)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_keyLock);
  Key* k = LiveKey(key);
  if (!k) return RootName(key) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  std::string name = valueName && *valueName ? Upper(valueName) : "@";
  auto it = k->values.find(name);
  if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& v = it->second;
  if (type) *type = v.type;
  if (!dataBytes) return ERROR_SUCCESS;
  DWORD need = DWORD(v.data.size());
  if (data && *dataBytes < need) {
    *dataBytes = need;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, v.data.data(), need);
  *dataBytes = need;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (RootName(key)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_keyLock);
  Key* k = LiveKey(key);
  if (!k) return ERROR_INVALID_HANDLE;
  OpenKeys().erase(k);
  delete k;
  return ERROR_SUCCESS;
}
