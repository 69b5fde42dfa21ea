#include "player/scenario/script_file.h"

#include <array>

#include "common/sjis.h"
#include "formats/le_bytes.h"

namespace {

struct OpcodeRow {
  uint8_t opcode;
  const char* name;
  OperandForm form;
  uint16_t field;
};

// Every opcode with a length; the rest have none.  Rows without a name are
// skipped by the interpreter or stop it (its opcode table decides).
constexpr OpcodeRow kOpcodeRows[] = {
    {0, "OP_END", OperandForm::None, 0},
    {2, "OP_JUMP_IF_FALSE", OperandForm::TwoBytes, 0},
    {3, "OP_READ_BLOCK", OperandForm::Word, 0},
    {4, "OP_SET_MOVE_KIND", OperandForm::Word, 0},
    {5, "OP_PLAY_SE", OperandForm::TwoBytes, 0},
    {6, "OP_PLAY_BGM", OperandForm::Word, 0},
    {7, "OP_WAIT_PAGE", OperandForm::Word, 0},
    {8, "OP_CLEAR_CHOICES", OperandForm::Word, 0},
    {9, "OP_CHOICE", OperandForm::Word, 0},
    {10, nullptr, OperandForm::Word, 0},
    {13, "OP_TRANSITION", OperandForm::Word, 0},
    {17, "OP_STOP_BGM", OperandForm::Word, 0},
    {18, "OP_WAIT", OperandForm::Word, 0},
    {19, nullptr, OperandForm::Word, 0},
    {21, nullptr, OperandForm::Word, 0},
    {23, "OP_MOVE", OperandForm::Word, 0},
    {26, nullptr, OperandForm::Word, 0},
    {28, "OP_ENDING", OperandForm::Word, 0},
    {30, "OP_TARGET", OperandForm::TwoBytes, 0},
    {33, nullptr, OperandForm::Word, 0},
    {34, "OP_RANDOM", OperandForm::Word, 0},
    {42, "OP_WEATHER", OperandForm::TwoBytes, 0},
    {45, "OP_BACKGROUND", OperandForm::String, 31},
    {46, "OP_SCROLL_BACKGROUND", OperandForm::String, 127},
    {47, nullptr, OperandForm::String, 0},
    {48, nullptr, OperandForm::String, 0},
    {49, "OP_LABEL", OperandForm::String, 0},
    {50, "OP_CHARACTER", OperandForm::String, 31},
    {51, "OP_CHARACTER_LAYER", OperandForm::String, 31},
    {52, "OP_VOICE", OperandForm::String, 63},
    {53, "OP_JUMP_SCRIPT", OperandForm::String, 31},
    {56, "OP_MOVIE", OperandForm::String, 0},
    {58, "OP_GOTO_LABEL", OperandForm::String, 0},
    {59, nullptr, OperandForm::String, 0},
    {60, nullptr, OperandForm::String, 0},
    {68, "OP_CHOICE_LABEL", OperandForm::String, 23},
    {69, "OP_CHARACTER2", OperandForm::String, 31},
    {74, "OP_SPEAKER", OperandForm::Speaker, 31},
    {75, "OP_MESSAGE", OperandForm::Message, 255},
    {76, "OP_CHOICE_TEXT", OperandForm::Text, 47},
    {78, nullptr, OperandForm::Words4, 0},
    {79, nullptr, OperandForm::Words4, 0},
    {81, "OP_SCROLL_TO", OperandForm::Words4, 0},
    {82, "OP_VIEWPORT", OperandForm::Words4, 0},
    {88, "OP_VAR_OP", OperandForm::Words4, 0},
    {89, "OP_VAR_COPY", OperandForm::Words4, 0},
    {90, nullptr, OperandForm::Words4, 0},
    {91, "OP_VAR_CMP", OperandForm::Words4, 0},
    {94, "OP_BACKGROUND_MOVE", OperandForm::Words4, 0},
    {96, "OP_CHARACTER_POS", OperandForm::Words4, 0},
    {97, "OP_CHARACTER_MOVE", OperandForm::Words4, 0},
    {99, nullptr, OperandForm::Byte, 0},
};

constexpr std::array<OpcodeInfo, 256> BuildOpcodeTable() {
  std::array<OpcodeInfo, 256> t{};
  for (auto& e : t) e = OpcodeInfo{nullptr, OperandForm::NoLength, 0};
  for (const auto& r : kOpcodeRows) t[r.opcode] = OpcodeInfo{r.name, r.form, r.field};
  return t;
}

constexpr std::array<OpcodeInfo, 256> kOpcodeTable = BuildOpcodeTable();

// Bytes of the string starting at code[pos] up to and including its
// terminator, or 0 when no terminator lies before the end.
uint32_t StringSpan(const uint8_t* code, uint32_t size, uint32_t pos) {
  for (uint32_t i = pos; i < size; ++i)
    if (code[i] == 0) return i - pos + 1;
  return 0;
}

}  // namespace

const OpcodeInfo& GetOpcodeInfo(uint8_t opcode) { return kOpcodeTable[opcode]; }

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

uint32_t ScriptInstructionLength(const uint8_t* code, uint32_t size, uint32_t pos) {
  if (code == nullptr || pos >= size) return 0;
  uint32_t len = 0;
  switch (kOpcodeTable[code[pos]].form) {
    case OperandForm::NoLength:
      return 0;
    case OperandForm::None:
      len = 1;
      break;
    case OperandForm::Byte:
      len = 2;
      break;
    case OperandForm::Word:
    case OperandForm::TwoBytes:
      len = 3;
      break;
    case OperandForm::Words4:
      len = 9;
      break;
    case OperandForm::Speaker:
      if (pos + 1 < size && code[pos + 1] == kSpeakerHeroByte) {
        len = 4;
        break;
      }
      [[fallthrough]];
    case OperandForm::String:
    case OperandForm::Text:
    case OperandForm::Message: {
      const uint32_t span = StringSpan(code, size, pos + 1);
      if (span == 0) return 0;
      len = 1 + span;
      break;
    }
  }
  return len <= size - pos ? len : 0;
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
