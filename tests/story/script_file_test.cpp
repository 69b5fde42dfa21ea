// The script file: header, instruction lengths, operand readers, text
// decoding and the two scans, with their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "player/scenario/script_file.h"

namespace {

// A file of the given header words and code in a local-heap block.
BYTE* MakeFile(const std::vector<uint8_t>& code, uint32_t words, DWORD* size) {
  *size = DWORD(4 + 4 * words + code.size());
  BYTE* p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, *size ? *size : 1));
  std::memset(p, 0, *size);
  p[0] = uint8_t(words);
  p[1] = uint8_t(words >> 8);
  if (!code.empty()) std::memcpy(p + 4 + 4 * words, code.data(), code.size());
  return p;
}

void Load(CScriptFile& f, const std::vector<uint8_t>& code, uint32_t words = 0) {
  DWORD size = 0;
  BYTE* p = MakeFile(code, words, &size);
  ASSERT_EQ(f.Adopt(p, size), 1);
}

std::vector<uint8_t> Str(uint8_t op, const std::string& s) {
  std::vector<uint8_t> v(s.size() + 2, 0);  // op, the text, its 0
  v[0] = op;
  std::copy(s.begin(), s.end(), v.begin() + 1);
  return v;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

TEST(ScriptFile, EveryOpcodeHasItsLength) {
  // The lengths as the instruction set lists them, written out independently.
  const std::set<int> three{2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 17, 18, 19, 21, 23, 26, 28, 30, 33, 34, 42};
  const std::set<int> strings{45, 46, 47, 48, 49, 50, 51, 52, 53, 56, 58, 59, 60, 68, 69, 75, 76};
  const std::set<int> nine{78, 79, 81, 82, 88, 89, 90, 91, 94, 96, 97};
  for (int op = 0; op < 256; ++op) {
    // "abc" after the opcode: a string operand of 3 bytes; long enough for any form.
    CScriptFile f;
    Load(f, {uint8_t(op), 'a', 'b', 'c', 0, 1, 2, 3, 4, 5, 6});
    uint32_t expected = 0;
    if (op == 0)
      expected = 1;
    else if (op == 99)
      expected = 2;
    else if (three.count(op))
      expected = 3;
    else if (strings.count(op) || op == 74)
      expected = 5;
    else if (nine.count(op))
      expected = 9;
    EXPECT_EQ(f.InstructionLength(0), expected) << "opcode " << op;
    EXPECT_EQ(f.NextInstruction(0), expected) << "opcode " << op;
    EXPECT_EQ(GetOpcodeInfo(uint8_t(op)).form == OperandForm::NoLength, expected == 0) << "opcode " << op;
  }
}

TEST(ScriptFile, StringAndSpeakerForms) {
  struct Case {
    std::vector<uint8_t> code;
    uint32_t length;
  } cases[] = {
      {{OP_LABEL, 0}, 2},                      // empty string
      {{OP_SPEAKER, 4, 0x41, 0x42, 0x43}, 4},  // hero form whatever follows
      {{OP_SPEAKER, 4, 0}, 0},                 // hero form cut short by the end
      {{OP_SPEAKER, 5, 6, 0}, 4},              // shifted text
      {{OP_SPEAKER, 0}, 2},
      {{OP_MESSAGE, 1, 2, 3}, 0},             // no terminator before the end
      {{OP_VAR_OP, 1, 2, 3, 4, 5, 6, 7}, 0},  // 8 of 9 bytes
      {{OP_WAIT, 1}, 0},
      {{99}, 0},
      {{99, 7}, 2},
  };
  for (const auto& c : cases) {
    CScriptFile f;
    Load(f, c.code);
    EXPECT_EQ(f.InstructionLength(0), c.length) << int(c.code[0]) << " size " << c.code.size();
  }
  CScriptFile f;
  Load(f, {OP_END});
  EXPECT_EQ(f.InstructionLength(1), 0u);  // past the end
  EXPECT_EQ(f.Opcode(1), -1);
}

TEST(ScriptFile, HeaderWordCountIsChecked) {
  struct Case {
    uint32_t n;
    DWORD size;
    int ok;
    uint32_t codeSize;
  } cases[] = {
      {0, 4, 1, 0},
      {0, 10, 1, 6},
      {2, 12, 1, 0},
      {2, 11, 0, 0},
      {3, 12, 0, 0},
      {0xFFFFFFFFu, 64, 0, 0},  // 4 (N + 1) wraps in 32 bits
      {0x3FFFFFFFu, 64, 0, 0},
  };
  for (const auto& c : cases) {
    BYTE* p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, c.size));
    std::memset(p, 0x55, c.size);
    PutLe32(p, c.n);
    CScriptFile f;
    EXPECT_EQ(f.Adopt(p, c.size), c.ok) << c.n << " words in " << c.size;
    EXPECT_EQ(f.HasCode(), c.ok);
    EXPECT_EQ(f.CodeSize(), c.codeSize);
  }
  CScriptFile f;
  BYTE* p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 3));
  EXPECT_EQ(f.Adopt(p, 3), 0);
  EXPECT_EQ(f.Adopt(nullptr, 0), 0);
}

TEST(ScriptFile, OperandReaders) {
  CScriptFile f;
  Load(f, {OP_VAR_OP, 0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0x01, 0x00, OP_WAIT, 0x05}, 3);
  EXPECT_EQ(f.WordCount(), 3u);
  EXPECT_EQ(f.CodeSize(), 11u);
  EXPECT_EQ(f.WordAt(0, 0), 0x1234);
  EXPECT_EQ(f.WordAt(0, 1), 0xFFFF);
  EXPECT_EQ(f.SignedWordAt(0, 1), -1);
  EXPECT_EQ(f.SignedWordAt(0, 2), -32768);
  EXPECT_EQ(f.WordAt(0, 3), 1);
  EXPECT_EQ(f.ByteAt(9, 1), 5);
  EXPECT_EQ(f.WordAt(9, 0), 5);  // the high byte lies past the end: read as 0
  EXPECT_EQ(f.ByteAt(9, 2), 0);
  EXPECT_EQ(f.ByteAt(11, 0), 0);
  EXPECT_STREQ(f.StringAt(9), "");  // no whole instruction there
}

TEST(ScriptFile, TextShiftAndLineBreak) {
  struct Case {
    std::vector<uint8_t> stored;
    int lineBreaks;
    size_t capacity;
    std::string decoded;
  } cases[] = {
      {{0x21, 0x22}, 1, 256, "AB"},
      {{0xEA}, 1, 256, "/"},                   // 0x0A after the shift
      {{0xEA}, 0, 256, "\n"},                  // line breaks only in messages
      {{0x62, 0x0F, 0x44}, 1, 256, "\x82/d"},  // a lead byte takes the next byte as its trail
      {{0x62, 0xA0, 0x21}, 1, 3, "\x82\xC0"},  // a whole double-byte character fits
      {{0x21, 0x62, 0xA0}, 1, 3, "A"},         // it does not: cut before it
      {{0x21, 0xE0, 0x21}, 1, 256, "A"},       // a stored 0xE0 ends the text
      {{0x62}, 1, 256, "\x82"},                // lead byte at the end stands alone
  };
  for (const auto& c : cases) {
    std::string s(c.stored.begin(), c.stored.end());
    char out[300];
    std::memset(out, 'x', sizeof out);
    const size_t n = DecodeText(out, c.capacity, s.c_str(), c.lineBreaks);
    EXPECT_EQ(std::string(out), c.decoded);
    EXPECT_EQ(n, c.decoded.size());
  }
}

TEST(ScriptFile, BoundedCopyCutsWholeCharacters) {
  struct Case {
    std::string src;
    size_t capacity;
    std::string copied;
  } cases[] = {
      {"abc", 4, "abc"}, {"abcd", 4, "abc"}, {"ab\x82\xA0", 4, "ab"}, {"a\x82\xA0", 4, "a\x82\xA0"},
      {"", 1, ""},       {"abc", 1, ""},
  };
  for (const auto& c : cases) {
    char out[64];
    EXPECT_EQ(CopySjisBounded(out, c.capacity, c.src.c_str()), c.copied.size());
    EXPECT_EQ(std::string(out), c.copied);
  }
}

TEST(ScriptFile, FindLabelComparesAsShiftJisAndStopsAtTheEnd) {
  CScriptFile f;
  // "ab" then label "\x83a" (trail byte 'a' must not fold) then "Start".
  Load(f, Cat({Str(OP_LABEL, "ab"),
               {OP_WAIT, 1, 0},
               Str(OP_LABEL, "\x83\x61"),
               Str(OP_LABEL, "Start"),
               Str(OP_LABEL, "start")}));
  struct Case {
    const char* name;
    int found;
    uint32_t pos;
  } cases[] = {
      {"ab", 1, 0},     {"AB", 1, 0},  {"\x83\x61", 1, 7}, {"\x83\x41", 0, 0},
      {"START", 1, 11}, {"sta", 0, 0}, {"", 0, 0},         {"abc", 0, 0},
  };
  for (const auto& c : cases) {
    uint32_t pos = 999;
    EXPECT_EQ(f.FindLabel(c.name, &pos), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(pos, c.pos) << c.name;
    }
  }
  // An opcode without a length on the way ends the scan.
  CScriptFile g;
  Load(g, Cat({{OP_WAIT, 1, 0, 1}, Str(OP_LABEL, "x")}));
  uint32_t pos = 0;
  EXPECT_EQ(g.FindLabel("x", &pos), 0);
  // A label whose string runs past the end is not a label.
  CScriptFile h;
  Load(h, {OP_LABEL, 'x'});
  EXPECT_EQ(h.FindLabel("x", &pos), 0);
  CScriptFile empty;
  EXPECT_EQ(empty.FindLabel("x", &pos), 0);
}

TEST(ScriptFile, FindJumpTargetFromTheJump) {
  CScriptFile f;
  // 0: target 5 before the jump; 3: jump 5; 6: target 4 (byte 1 is 5); 9: target 5 (byte 1 is 9); 12: end
  Load(f, {OP_TARGET, 0, 5, OP_JUMP_IF_FALSE, 5, 0, OP_TARGET, 5, 4, OP_TARGET, 9, 5, OP_END});
  struct Case {
    uint8_t id;
    uint32_t start;
    int found;
    uint32_t pos;
  } cases[] = {
      {5, 3, 1, 12}, {5, 0, 1, 3}, {4, 3, 1, 9}, {9, 3, 0, 0}, {5, 12, 0, 0}, {5, 13, 0, 0},
  };
  for (const auto& c : cases) {
    uint32_t pos = 999;
    EXPECT_EQ(f.FindJumpTarget(c.id, c.start, &pos), c.found) << int(c.id) << " from " << c.start;
    if (c.found) {
      EXPECT_EQ(pos, c.pos);
    }
  }
  CScriptFile g;
  Load(g, {OP_JUMP_IF_FALSE, 1, 0, 1, OP_TARGET, 0, 1});  // opcode 1 has no length
  uint32_t pos = 0;
  EXPECT_EQ(g.FindJumpTarget(1, 0, &pos), 0);
}

}  // namespace
