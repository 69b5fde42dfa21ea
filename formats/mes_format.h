// The story script (".mes") instruction set: a header of N unused 32-bit
// words, then the byte code.  Every opcode's name, operand form and length;
// the player's interpreter and the script tools share it.
//
// A length is bounded by the byte code's end: an instruction that does not
// fit (a string without its terminator inside the code, a word operand past
// the end) has no length, like an opcode without one.
#pragma once

#include <cstdint>

enum ScriptOpcode : uint8_t {
  OP_END = 0,
  OP_JUMP_IF_FALSE = 2,
  OP_READ_BLOCK = 3,
  OP_SET_MOVE_KIND = 4,
  OP_PLAY_SE = 5,
  OP_PLAY_BGM = 6,
  OP_WAIT_PAGE = 7,
  OP_CLEAR_CHOICES = 8,
  OP_CHOICE = 9,
  OP_TRANSITION = 13,
  OP_STOP_BGM = 17,
  OP_WAIT = 18,
  OP_MOVE = 23,
  OP_ENDING = 28,
  OP_TARGET = 30,
  OP_RANDOM = 34,
  OP_WEATHER = 42,
  OP_BACKGROUND = 45,
  OP_SCROLL_BACKGROUND = 46,
  OP_LABEL = 49,
  OP_CHARACTER = 50,
  OP_CHARACTER_LAYER = 51,
  OP_VOICE = 52,
  OP_JUMP_SCRIPT = 53,
  OP_MOVIE = 56,
  OP_GOTO_LABEL = 58,
  OP_CHOICE_LABEL = 68,
  OP_CHARACTER2 = 69,
  OP_SPEAKER = 74,
  OP_MESSAGE = 75,
  OP_CHOICE_TEXT = 76,
  OP_SCROLL_TO = 81,
  OP_VIEWPORT = 82,
  OP_VAR_OP = 88,
  OP_VAR_COPY = 89,
  OP_VAR_CMP = 91,
  OP_BACKGROUND_MOVE = 94,
  OP_CHARACTER_POS = 96,
  OP_CHARACTER_MOVE = 97,
};

// The stored first byte of the speaker's short form (hero name plate).
constexpr uint8_t kSpeakerHeroByte = 4;
// Shift added back to every byte of a text string.
constexpr uint8_t kTextShift = 0x20;

// How an opcode's operands are laid out in the byte code.
enum class OperandForm : uint8_t {
  NoLength,  // the opcode has no length: the story stops on it
  None,      // opcode alone (1 byte)
  Byte,      // one byte (2 bytes)
  Word,      // one u16 (3 bytes)
  TwoBytes,  // two bytes (3 bytes)
  String,    // plain Shift-JIS string and terminator
  Text,      // shifted text string and terminator
  Message,   // shifted text, 0x0A after the shift shows as "/"
  Speaker,   // shifted text, or the 4-byte hero form
  Words4,    // four u16 (9 bytes)
};

struct OpcodeInfo {
  const char* name;  // "OP_..." or null for opcodes without a name of their own
  OperandForm form;
  uint16_t field;  // bytes a string operand may hold before its terminator; 0 = no field
};

// The instruction set, indexed by opcode (all 256 entries).
const OpcodeInfo& GetOpcodeInfo(uint8_t opcode);

// Bytes of the instruction at pos of code (size bytes), or 0 when it has no
// length: an opcode without one, or an instruction that does not fit.
uint32_t ScriptInstructionLength(const uint8_t* code, uint32_t size, uint32_t pos);
