#include "player/scenario/script_file.h"

#include "common/sjis.h"
#include "formats/le_bytes.h"

size_t CopySjisBounded(char* dst, size_t capacity, const char* src) {
  if (capacity == 0) return 0;
  size_t n = 0;
  while (src[n] != 0) {
    const size_t len = (IsSjisLeadByte(static_cast<unsigned char>(src[n])) && src[n + 1] != 0) ? 2 : 1;
    if (n + len > capacity - 1) break;
    for (size_t i = 0; i < len; ++i) dst[n + i] = src[n + i];
    n += len;
  }
  dst[n] = 0;
  return n;
}

size_t DecodeText(char* dst, size_t capacity, const char* shifted, int lineBreaks) {
  if (capacity == 0) return 0;
  auto decoded = [&](size_t i) -> uint8_t {
    const uint8_t b = static_cast<uint8_t>(static_cast<uint8_t>(shifted[i]) + kTextShift);
    return (lineBreaks && b == 0x0A) ? uint8_t('/') : b;
  };
  size_t n = 0;
  size_t i = 0;
  while (shifted[i] != 0) {
    const uint8_t first = decoded(i);
    if (first == 0) break;  // a stored 0xE0: nothing readable follows
    size_t len = 1;
    if (IsSjisLeadByte(first) && shifted[i + 1] != 0 && decoded(i + 1) != 0) len = 2;
    if (n + len > capacity - 1) break;
    for (size_t k = 0; k < len; ++k) dst[n + k] = static_cast<char>(decoded(i + k));
    n += len;
    i += len;
  }
  dst[n] = 0;
  return n;
}

size_t CopyShiftedText(char* dst, size_t capacity, const char* shifted) {
  if (capacity == 0) return 0;
  char decoded[512];
  size_t n = DecodeText(decoded, capacity < sizeof decoded ? capacity : sizeof decoded, shifted, 0);
  for (size_t i = 0; i < n; ++i) dst[i] = shifted[i];
  dst[n] = 0;
  return n;
}

CScriptFile::~CScriptFile() { Free(); }

int CScriptFile::Adopt(BYTE* buffer, DWORD size) {
  Free();
  if (buffer == nullptr) return 0;
  if (size < 4) {
    LocalFree(buffer);
    return 0;
  }
  const uint32_t n = GetLe32(buffer);
  // 4 (N + 1) must not exceed the entry, computed without overflow.
  if (uint64_t(n + uint64_t(1)) * 4 > size) {
    LocalFree(buffer);
    return 0;
  }
  buffer_ = buffer;
  wordCount_ = n;
  fileSize_ = size;
  code_ = buffer + (uint64_t(n) + 1) * 4;
  codeSize_ = size - uint32_t((uint64_t(n) + 1) * 4);
  return 1;
}

void CScriptFile::Free() {
  if (buffer_) LocalFree(buffer_);
  buffer_ = nullptr;
  code_ = nullptr;
  codeSize_ = 0;
  wordCount_ = 0;
  fileSize_ = 0;
}

uint32_t CScriptFile::InstructionLength(uint32_t pos) const { return ScriptInstructionLength(code_, codeSize_, pos); }

uint32_t CScriptFile::NextInstruction(uint32_t pos) const { return pos + InstructionLength(pos); }

uint8_t CScriptFile::ByteAt(uint32_t pos, uint32_t i) const {
  return (pos < codeSize_ && i < codeSize_ - pos) ? code_[pos + i] : 0;
}

uint16_t CScriptFile::WordAt(uint32_t pos, uint32_t k) const {
  const uint32_t i = 1 + 2 * k;
  return static_cast<uint16_t>(ByteAt(pos, i) | ByteAt(pos, i + 1) << 8);
}

const char* CScriptFile::StringAt(uint32_t pos) const {
  if (InstructionLength(pos) < 2) return "";
  return reinterpret_cast<const char*>(code_ + pos + 1);
}

int CScriptFile::FindLabel(const char* name, uint32_t* posOut) const {
  uint32_t pos = 0;
  while (pos < codeSize_) {
    const uint32_t len = InstructionLength(pos);
    if (len == 0) return 0;
    if (code_[pos] == OP_LABEL && SjisEqual(reinterpret_cast<const char*>(code_ + pos + 1), name)) {
      *posOut = pos;
      return 1;
    }
    pos += len;
  }
  return 0;
}

int CScriptFile::FindJumpTarget(uint8_t id, uint32_t start, uint32_t* posOut) const {
  uint32_t pos = start;
  while (pos < codeSize_) {
    const uint32_t len = InstructionLength(pos);
    if (len == 0) return 0;
    if (code_[pos] == OP_TARGET && code_[pos + 2] == id) {
      *posOut = pos + len;
      return 1;
    }
    pos += len;
  }
  return 0;
}
