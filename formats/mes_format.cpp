#include "formats/mes_format.h"

#include <array>

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
