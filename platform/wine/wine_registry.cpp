// Reader of a Wine prefix's registry files, plugged in behind the registry
// store.  The files are text: a key line "[Software\\Maker\\Game] <time>",
// then value lines "name"=data, with data one of "text", str(N):"text",
// dword:hex, hex:bytes or hex(N):bytes (continued over lines ending in '\').
// Text is UTF-16 inside Wine; escapes \\ \" \n \r \t \0 and \xHHHH.
#include <windows.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "formats/le_bytes.h"

#include "velmi_registry_source.h"
#include "velmi_wine.h"

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

std::string UpperAscii(std::string s) {
  for (char& c : s) c = Upper(c);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One UTF-8 sequence from s at i into UTF-16 units (files written by other
// tools may carry UTF-8 rather than escapes).
void AppendUtf8(const std::string& s, size_t& i, std::u16string& out) {
  unsigned char c = (unsigned char)s[i];
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  uint32_t cp = extra == 3 ? c & 7 : extra == 2 ? c & 15 : extra == 1 ? c & 31 : c;
  ++i;
  for (int k = 0; k < extra && i < s.size() && ((unsigned char)s[i] & 0xC0) == 0x80; ++k, ++i)
    cp = (cp << 6) | ((unsigned char)s[i] & 0x3F);
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += char16_t(0xD800 + (cp >> 10));
    out += char16_t(0xDC00 + (cp & 0x3FF));
  } else {
    out += char16_t(cp);
  }
}

// Reads an escaped text from s at i up to (not past) the terminator `end`;
// i is left on the terminator (or at the end of s).
std::u16string Unescape(const std::string& s, size_t& i, char end) {
  std::u16string out;
  while (i < s.size() && s[i] != end) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      if ((unsigned char)s[i] >= 0x80) {
        AppendUtf8(s, i, out);
      } else {
        out += char16_t((unsigned char)s[i++]);
      }
      continue;
    }
    char e = s[i + 1];
    i += 2;
    switch (e) {
      case 'n':
        out += u'\n';
        break;
      case 'r':
        out += u'\r';
        break;
      case 't':
        out += u'\t';
        break;
      case '0':
        out += u'\0';
        break;
      case 'x': {
        uint32_t v = 0;
        int n = 0;
        while (n < 4 && i < s.size() && HexDigit(s[i]) >= 0) v = v * 16 + HexDigit(s[i++]), ++n;
        out += char16_t(v);
        break;
      }
      default:
        out += char16_t((unsigned char)e);
        break;
    }
  }
  return out;
}

std::string ToAnsi(const std::u16string& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), nullptr, 0, nullptr,
                              nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::u16string w;
  for (size_t i = 0; i < utf8.size();) AppendUtf8(utf8, i, w);
  return ToAnsi(w);
}

// Key path of a key line, '\' separated, upper-cased, in code page 932.
std::string NormalKeyName(const std::u16string& name) {
  std::string ansi = ToAnsi(name), out;
  size_t i = 0;
  while (i < ansi.size()) {
    while (i < ansi.size() && ansi[i] == '\\') ++i;
    size_t s = i;
    while (i < ansi.size() && ansi[i] != '\\') {
      unsigned char c = (unsigned char)ansi[i];
      i += ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < ansi.size() ? 2 : 1;
    }
    if (i > s) {
      if (!out.empty()) out += '\\';
      out += UpperAscii(ansi.substr(s, i - s));
    }
  }
  return out;
}

// A string value as the A functions give it: code page 932, terminated;
// drive-letter paths mapped into the prefix.
std::vector<BYTE> AnsiValue(const std::u16string& text, bool mapDrive) {
  std::u16string t = text;
  while (!t.empty() && t.back() == u'\0') t.pop_back();
  std::string a = ToAnsi(t);
  if (mapDrive) a = VelmiWineMapDrivePath(a);
  std::vector<BYTE> out(a.begin(), a.end());
  out.push_back(0);
  return out;
}

std::vector<BYTE> HexBytes(const std::string& s) {
  std::vector<BYTE> out;
  int hi = -1;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) {
      hi = -1;
      continue;
    }
    if (hi < 0) {
      hi = d;
    } else {
      out.push_back(BYTE(hi * 16 + d));
      hi = -1;
    }
  }
  return out;
}

std::u16string Utf16FromBytes(const std::vector<BYTE>& b) {
  std::u16string out;
  for (size_t i = 0; i + 1 < b.size(); i += 2) out += char16_t(GetLe16(&b[i]));
  return out;
}

// Parses the data after '=' into v; false for forms we do not read.
bool ParseData(const std::string& d, VelmiRegistryValue& v) {
  size_t i = 0;
  if (!d.empty() && d[0] == '"') {
    ++i;
    v.type = REG_SZ;
    v.data = AnsiValue(Unescape(d, i, '"'), true);
    return true;
  }
  if (d.compare(0, 4, "str(") == 0) {
    size_t close = d.find("):\"");
    if (close == std::string::npos) return false;
    v.type = DWORD(std::strtoul(d.c_str() + 4, nullptr, 16));
    i = close + 3;
    std::u16string text = Unescape(d, i, '"');
    if (v.type == REG_MULTI_SZ) {
      std::vector<BYTE> out;
      size_t start = 0;
      for (size_t k = 0; k <= text.size(); ++k) {
        if (k == text.size() || text[k] == u'\0') {
          std::string a = ToAnsi(text.substr(start, k - start));
          out.insert(out.end(), a.begin(), a.end());
          out.push_back(0);
          start = k + 1;
        }
      }
      out.push_back(0);
      v.data = std::move(out);
    } else {
      v.data = AnsiValue(text, true);
    }
    return true;
  }
  if (d.compare(0, 6, "dword:") == 0) {
    uint32_t n = uint32_t(std::strtoul(d.c_str() + 6, nullptr, 16));
    v.type = REG_DWORD;
    v.data = {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)};
    return true;
  }
  if (d.compare(0, 4, "hex:") == 0 || d.compare(0, 4, "hex(") == 0) {
    size_t colon = d.find(':');
    v.type = d[3] == '(' ? DWORD(std::strtoul(d.c_str() + 4, nullptr, 16)) : REG_BINARY;
    v.data = HexBytes(d.substr(colon + 1));
    // String kinds stored as hex are UTF-16 inside Wine.
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) v.data = AnsiValue(Utf16FromBytes(v.data), true);
    return true;
  }
  return false;
}

// Reads the key `rest` (normalised, no root) from one registry file.
bool ReadWineKey(const std::string& file, const std::string& rest, std::vector<VelmiRegistryValue>* values) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bool exists = rest.empty(), inKey = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t i = 1;
      std::string name = NormalKeyName(Unescape(line, i, ']'));
      inKey = name == rest;
      if (inKey || (!rest.empty() && name.size() > rest.size() && name.compare(0, rest.size(), rest) == 0 &&
                    name[rest.size()] == '\\'))
        exists = true;
      continue;
    }
    if (!inKey) continue;
    // Joined continuation lines of hex data.
    while (!line.empty() && line.back() == '\\') {
      std::string next;
      if (!std::getline(in, next)) break;
      if (!next.empty() && next.back() == '\r') next.pop_back();
      line.pop_back();
      size_t s = next.find_first_not_of(" \t");
      line += s == std::string::npos ? std::string() : next.substr(s);
    }
    VelmiRegistryValue v;
    size_t i = 0;
    if (line[0] == '@') {
      i = 1;
    } else if (line[0] == '"') {
      i = 1;
      v.name = ToAnsi(Unescape(line, i, '"'));
      if (i >= line.size()) continue;
      ++i;
    } else {
      continue;
    }
    if (i >= line.size() || line[i] != '=') continue;
    if (ParseData(line.substr(i + 1), v)) values->push_back(std::move(v));
  }
  return exists;
}

bool WineSource(const std::string& keyPath, std::vector<VelmiRegistryValue>* values) {
  static const char kUser[] = "HKEY_CURRENT_USER", kMachine[] = "HKEY_LOCAL_MACHINE";
  std::string file, rest;
  auto split = [&](const char* root, const char* name) {
    size_t n = std::strlen(root);
    if (keyPath.compare(0, n, root) != 0 || (keyPath.size() > n && keyPath[n] != '\\')) return false;
    rest = keyPath.size() > n ? keyPath.substr(n + 1) : std::string();
    file = VelmiWinePrefix() + "/" + name;
    return true;
  };
  if (!split(kUser, "user.reg") && !split(kMachine, "system.reg")) return false;
  return ReadWineKey(file, rest, values);
}

}  // namespace

std::string VelmiWinePrefix() {
  std::string p;
  if (const char* e = std::getenv("WINEPREFIX"); e && *e) {
    p = e;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    p = std::string(h) + "/.wine";
  } else {
    return {};
  }
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string VelmiWineMapDrivePath(const std::string& path) {
  if (path.size() < 3 || !std::isalpha((unsigned char)path[0]) || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
    return path;
  std::string link = VelmiWinePrefix() + "/dosdevices/" + char(std::tolower((unsigned char)path[0])) + ":";
  char real[PATH_MAX];
  if (!realpath(link.c_str(), real)) return path;
  std::string out = Utf8ToAnsi(real);
  for (char& c : out)
    if (c == '/') c = '\\';
  if (out == "\\") out.clear();  // drive at the Linux root: the rest starts with '\'
  return out + (path[2] == '/' ? "\\" + path.substr(3) : path.substr(2));
}

void VelmiUseWineRegistry() { VelmiSetRegistrySource(&WineSource); }
