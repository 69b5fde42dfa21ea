#include "tools/mes_text.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sjis.h"
#include "formats/le_bytes.h"
#include "formats/mes_format.h"
#include "tools/cp932.h"

namespace vtools {
namespace {

struct Cursor {
  const std::string& line;
  size_t i = 0;
  void SkipBlanks() {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',' || line[i] == '\r')) ++i;
  }
  bool AtEnd() {
    SkipBlanks();
    return i >= line.size() || line[i] == ';';
  }
};

bool ParseNumber(Cursor& c, long lo, long hi, long* value, std::string* error) {
  c.SkipBlanks();
  const char* start = c.line.c_str() + c.i;
  char* end = nullptr;
  const long v = std::strtol(start, &end, 0);
  if (end == start) {
    *error = "a number was expected";
    return false;
  }
  if (v < lo || v > hi) {
    *error = "the number " + std::to_string(v) + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi);
    return false;
  }
  c.i += size_t(end - start);
  *value = v;
  return true;
}

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// A quoted string: UTF-8 runs converted to code page 932, escapes as bytes.
bool ParseString(Cursor& c, std::string* out, std::string* error) {
  c.SkipBlanks();
  if (c.i >= c.line.size() || c.line[c.i] != '"') {
    *error = "a quoted string was expected";
    return false;
  }
  ++c.i;
  out->clear();
  std::string run;
  auto flush = [&]() {
    std::string converted;
    if (!Utf8ToCp932(run, &converted)) {
      *error = "\"" + run + "\" has a character without a code page 932 form";
      return false;
    }
    *out += converted;
    run.clear();
    return true;
  };
  while (true) {
    if (c.i >= c.line.size()) {
      *error = "the string has no closing quote";
      return false;
    }
    const char ch = c.line[c.i++];
    if (ch == '"') break;
    if (ch != '\\') {
      run += ch;
      continue;
    }
    if (!flush()) return false;
    if (c.i >= c.line.size()) {
      *error = "the string ends in a lone backslash";
      return false;
    }
    const char e = c.line[c.i++];
    if (e == '\\' || e == '"') {
      *out += e;
    } else if (e == 'n') {
      *out += '\n';
    } else if (e == 'x' && c.i + 1 < c.line.size() && HexDigit(c.line[c.i]) >= 0 && HexDigit(c.line[c.i + 1]) >= 0) {
      *out += char(HexDigit(c.line[c.i]) * 16 + HexDigit(c.line[c.i + 1]));
      c.i += 2;
    } else {
      *error = std::string("unknown escape \\") + e;
      return false;
    }
  }
  if (!flush()) return false;
  if (out->find('\0') != std::string::npos) {
    *error = "a string cannot hold a byte 0";
    return false;
  }
  return true;
}

int OpcodeByName(const std::string& name) {
  for (int op = 0; op < 256; ++op) {
    const char* n = GetOpcodeInfo(uint8_t(op)).name;
    if (n && name == n) return op;
  }
  if (name.size() > 3 && name.compare(0, 3, "OP_") == 0) {
    char* end = nullptr;
    const long v = std::strtol(name.c_str() + 3, &end, 10);
    if (*end == 0 && v >= 0 && v <= 255 && std::isdigit(static_cast<unsigned char>(name[3]))) return int(v);
  }
  return -1;
}

void PutWord(std::vector<uint8_t>* out, long v) {
  out->push_back(uint8_t(v & 0xFF));
  out->push_back(uint8_t((v >> 8) & 0xFF));
}

bool AssembleInstruction(Cursor& c, int op, std::vector<uint8_t>* out, std::string* error) {
  const OpcodeInfo& info = GetOpcodeInfo(uint8_t(op));
  long v = 0;
  switch (info.form) {
    case OperandForm::NoLength:
      *error = "opcode " + std::to_string(op) + " has no length (write it with .byte)";
      return false;
    case OperandForm::None:
      out->push_back(uint8_t(op));
      return true;
    case OperandForm::Byte:
      if (!ParseNumber(c, 0, 255, &v, error)) return false;
      out->push_back(uint8_t(op));
      out->push_back(uint8_t(v));
      return true;
    case OperandForm::Word:
      if (!ParseNumber(c, -32768, 65535, &v, error)) return false;
      out->push_back(uint8_t(op));
      PutWord(out, v);
      return true;
    case OperandForm::TwoBytes: {
      long b = 0;
      if (!ParseNumber(c, 0, 255, &v, error) || !ParseNumber(c, 0, 255, &b, error)) return false;
      out->push_back(uint8_t(op));
      out->push_back(uint8_t(v));
      out->push_back(uint8_t(b));
      return true;
    }
    case OperandForm::Words4: {
      out->push_back(uint8_t(op));
      for (int k = 0; k < 4; ++k) {
        if (!ParseNumber(c, -32768, 65535, &v, error)) return false;
        PutWord(out, v);
      }
      return true;
    }
    case OperandForm::Speaker:
      c.SkipBlanks();
      if (c.line.compare(c.i, 4, "hero") == 0) {
        c.i += 4;
        long b2 = 0, b3 = 0;
        if (!c.AtEnd() && (!ParseNumber(c, 0, 255, &b2, error) || !ParseNumber(c, 0, 255, &b3, error))) return false;
        out->insert(out->end(), {uint8_t(op), kSpeakerHeroByte, uint8_t(b2), uint8_t(b3)});
        return true;
      }
      [[fallthrough]];
    case OperandForm::String:
    case OperandForm::Text:
    case OperandForm::Message: {
      std::string s;
      if (!ParseString(c, &s, error)) return false;
      if (info.field && s.size() > info.field) {
        *error = "the string has " + std::to_string(s.size()) + " bytes; its field holds " + std::to_string(info.field);
        return false;
      }
      const bool shifted = info.form != OperandForm::String;
      if (shifted && s.find(' ') != std::string::npos) {
        *error = "a text string cannot hold a byte 0x20 (an ASCII space)";
        return false;
      }
      if (info.form == OperandForm::Speaker && !s.empty() && uint8_t(s[0] - kTextShift) == kSpeakerHeroByte) {
        *error = "a speaker name cannot begin with \"$\" (it would read as the hero form)";
        return false;
      }
      out->push_back(uint8_t(op));
      for (char ch : s) out->push_back(shifted ? uint8_t(uint8_t(ch) - kTextShift) : uint8_t(ch));
      out->push_back(0);
      return true;
    }
  }
  return false;
}

// Code page 932 bytes as the inside of a quoted string.
std::string QuoteString(const std::string& s) {
  std::string out = "\"";
  char hex[8];
  for (size_t i = 0; i < s.size();) {
    const uint8_t b = uint8_t(s[i]);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += char(b);
      ++i;
    } else if (b == '\n') {
      out += "\\n";
      ++i;
    } else if (b >= 0x20 && b < 0x7F) {
      out += char(b);
      ++i;
    } else {
      const int n = (IsSjisLeadByte(b) && i + 1 < s.size()) ? 2 : 1;
      std::string u;
      if (b >= 0x80 && Cp932CharToUtf8(s.data() + i, n, &u)) {
        out += u;
      } else {
        for (int k = 0; k < n; ++k) {
          std::snprintf(hex, sizeof hex, "\\x%02X", uint8_t(s[i + k]));
          out += hex;
        }
      }
      i += size_t(n);
    }
  }
  return out + "\"";
}

std::string ByteLine(const uint8_t* p, size_t n) {
  std::string line = ".byte";
  char num[8];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(num, sizeof num, " 0x%02X", p[i]);
    line += num;
  }
  return line;
}

std::string InstructionText(const uint8_t* p, uint32_t len) {
  const uint8_t op = p[0];
  const OpcodeInfo& info = GetOpcodeInfo(op);
  std::string line = info.name ? info.name : "OP_" + std::to_string(op);
  auto word = [&](int k) { return std::to_string(p[1 + 2 * k] | p[2 + 2 * k] << 8); };
  switch (info.form) {
    case OperandForm::NoLength:
    case OperandForm::None:
      break;
    case OperandForm::Byte:
      line += " " + std::to_string(p[1]);
      break;
    case OperandForm::Word:
      line += " " + word(0);
      break;
    case OperandForm::TwoBytes:
      line += " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
      break;
    case OperandForm::Words4:
      for (int k = 0; k < 4; ++k) line += " " + word(k);
      break;
    case OperandForm::Speaker:
      if (len == 4) {
        line += " hero";
        if (p[2] || p[3]) line += " " + std::to_string(p[2]) + " " + std::to_string(p[3]);
        break;
      }
      [[fallthrough]];
    case OperandForm::String:
    case OperandForm::Text:
    case OperandForm::Message: {
      std::string s(reinterpret_cast<const char*>(p + 1), len - 2);
      if (info.form != OperandForm::String)
        for (char& ch : s) ch = char(uint8_t(ch) + kTextShift);
      line += " " + QuoteString(s);
      break;
    }
  }
  return line;
}

}  // namespace

bool AssembleMes(const std::string& text, std::vector<uint8_t>* out, std::string* error) {
  std::vector<uint8_t> words;
  std::vector<uint8_t> code;
  size_t start = 0;
  int lineNo = 0;
  std::string why;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    Cursor c{line};
    if (c.AtEnd()) continue;
    const size_t nameStart = c.i;
    while (c.i < line.size() && line[c.i] != ' ' && line[c.i] != '\t' && line[c.i] != ',' && line[c.i] != '\r' &&
           line[c.i] != ';')
      ++c.i;
    const std::string name = line.substr(nameStart, c.i - nameStart);
    bool ok = true;
    if (name == ".words") {
      long v = 0;
      while (ok && !c.AtEnd()) {
        ok = ParseNumber(c, -2147483648L, 4294967295L, &v, &why);
        if (ok) AppendLe32(words, uint32_t(v));
      }
    } else if (name == ".byte") {
      long v = 0;
      while (ok && !c.AtEnd()) {
        ok = ParseNumber(c, 0, 255, &v, &why);
        if (ok) code.push_back(uint8_t(v));
      }
    } else {
      const int op = OpcodeByName(name);
      if (op < 0) {
        why = "unknown opcode \"" + name + "\"";
        ok = false;
      } else {
        ok = AssembleInstruction(c, op, &code, &why);
      }
    }
    if (ok && !c.AtEnd()) {
      why = "unexpected text after the operands";
      ok = false;
    }
    if (!ok) {
      if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    }
    if (end == text.size()) break;
  }
  const uint32_t n = uint32_t(words.size() / 4);
  out->clear();
  AppendLe32(*out, n);
  out->insert(out->end(), words.begin(), words.end());
  out->insert(out->end(), code.begin(), code.end());
  return true;
}

std::string DisassembleMes(const std::vector<uint8_t>& file) {
  std::string text;
  if (file.size() < 4) return ByteLine(file.data(), file.size()) + "  ; not a script: no header\n";
  const uint64_t n = GetLe32(file.data());
  if ((n + 1) * 4 > file.size()) return "; not a script: the header counts " + std::to_string(n) + " words\n";
  if (n > 0) {
    text += ".words";
    for (uint64_t k = 0; k < n; ++k) {
      const uint8_t* w = file.data() + 4 + 4 * k;
      text += " " + std::to_string(GetLe32(w));
    }
    text += "\n";
  }
  const uint8_t* code = file.data() + (n + 1) * 4;
  const uint32_t size = uint32_t(file.size() - (n + 1) * 4);
  uint32_t pos = 0;
  while (pos < size) {
    const uint32_t len = ScriptInstructionLength(code, size, pos);
    if (len == 0) {
      // Raw bytes to the end, sixteen a line.
      for (uint32_t i = pos; i < size; i += 16) text += ByteLine(code + i, std::min<uint32_t>(16, size - i)) + "\n";
      break;
    }
    std::string line = InstructionText(code + pos, len);
    // Bytes the text form cannot give back (a byte 0 or 0x20 in a text, a
    // speaker read as text, an overlong string) stay raw.
    std::vector<uint8_t> check;
    if (!AssembleMes(line, &check, nullptr) || check.size() != 4 + len ||
        std::memcmp(check.data() + 4, code + pos, len) != 0)
      line = ByteLine(code + pos, len);
    text += line + "\n";
    pos += len;
  }
  return text;
}

}  // namespace vtools
