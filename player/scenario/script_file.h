// A story script (".mes"): a header of N unused 32-bit words, then the byte
// code.  The instruction set (opcode names, operand forms, lengths) is in
// formats/mes_format.h; here are the bounded operand readers, the text
// decoding and the two scans.
//
// Every read is bounded by the byte code's length: an instruction that does
// not fit (a string without its terminator inside the code, a word operand
// past the end) has no length, like an opcode without one, and a scan stops
// at the end of the code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "formats/mes_format.h"

// Bounded copy of a plain string: at most capacity - 1 bytes, cut before a
// double-byte character that would not fit whole; always terminated.
// Returns the bytes copied.
size_t CopySjisBounded(char* dst, size_t capacity, const char* src);

// Decodes a shifted text string: 0x20 added to every byte (modulo 256); with
// lineBreaks a byte that becomes 0x0A is written as "/".  Bounded and cut as
// CopySjisBounded.  Returns the bytes written.
size_t DecodeText(char* dst, size_t capacity, const char* shifted, int lineBreaks);

// Bounded copy of a shifted text string as stored (no shift applied): cut
// where DecodeText would cut, so the copy decodes to what fits.
size_t CopyShiftedText(char* dst, size_t capacity, const char* shifted);

class CScriptFile {
 public:
  CScriptFile() = default;
  ~CScriptFile();
  CScriptFile(const CScriptFile&) = delete;
  CScriptFile& operator=(const CScriptFile&) = delete;

  // Takes a local-heap buffer (freed with LocalFree) holding a whole file.
  // Fails (and frees it) when the header's word count does not fit: the
  // script then has no code.
  int Adopt(BYTE* buffer, DWORD size);
  // Frees the buffer: no code.
  void Free();

  int HasCode() const { return code_ != nullptr; }
  const uint8_t* Code() const { return code_; }
  uint32_t CodeSize() const { return codeSize_; }
  uint32_t WordCount() const { return wordCount_; }
  uint32_t FileSize() const { return fileSize_; }

  // Bytes of the instruction at pos, or 0 when it has no length (opcode
  // without one, or an instruction that does not fit in the code).
  uint32_t InstructionLength(uint32_t pos) const;
  // Position of the following instruction; pos itself when there is none.
  uint32_t NextInstruction(uint32_t pos) const;

  // Opcode at pos; -1 at or past the end of the code.
  int Opcode(uint32_t pos) const { return pos < codeSize_ ? code_[pos] : -1; }
  // Operand readers: byte i of the instruction at pos (0 = opcode), word k
  // (0 = bytes 1-2, 1 = bytes 3-4, ...).  Out of the code: 0.
  uint8_t ByteAt(uint32_t pos, uint32_t i) const;
  uint16_t WordAt(uint32_t pos, uint32_t k) const;
  int16_t SignedWordAt(uint32_t pos, uint32_t k) const { return static_cast<int16_t>(WordAt(pos, k)); }
  // The string operand of the instruction at pos (its terminator lies inside
  // the code), or "" when the instruction has no length.
  const char* StringAt(uint32_t pos) const;

  // Position of the first OP_LABEL named name (Shift-JIS comparison, ASCII
  // letters without case), scanning from 0 in instruction steps.  0 when the
  // scan reaches the end or an instruction without a length.
  int FindLabel(const char* name, uint32_t* posOut) const;
  // From start (the OP_JUMP_IF_FALSE itself), the first OP_TARGET whose byte
  // 2 is id; *posOut = the position after it.  0 on a miss, as FindLabel.
  int FindJumpTarget(uint8_t id, uint32_t start, uint32_t* posOut) const;

 private:
  BYTE* buffer_ = nullptr;
  const uint8_t* code_ = nullptr;
  uint32_t codeSize_ = 0;
  uint32_t wordCount_ = 0;
  uint32_t fileSize_ = 0;
};
