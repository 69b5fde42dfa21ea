// The script assembler and disassembler: byte layout of every operand form,
// refusals, and the round trip text -> bytes -> text -> bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/scenario/script_file.h"
#include "tests/story/assemble.h"
#include "tools/mes_text.h"

namespace {

// The code after an empty header.
std::vector<uint8_t> Code(const std::string& text) {
  std::vector<uint8_t> out = Assemble(text);
  return out.size() >= 4 ? std::vector<uint8_t>(out.begin() + 4, out.end()) : out;
}

TEST(MesAssembler, OperandForms) {
  struct Case {
    const char* text;
    std::vector<uint8_t> code;
  } cases[] = {
      {"OP_END", {0}},
      {"OP_WAIT 0x1234", {18, 0x34, 0x12}},
      {"OP_WAIT -1", {18, 0xFF, 0xFF}},
      {"OP_PLAY_SE 3, 1", {5, 3, 1}},
      {"OP_TARGET 0 7", {30, 0, 7}},
      {"OP_VAR_OP 99 2 -5 65535", {88, 99, 0, 2, 0, 0xFB, 0xFF, 0xFF, 0xFF}},
      {"OP_99 7", {99, 7}},
      {"OP_21 0", {21, 0, 0}},
      {"OP_45 \"x\"", {45, 'x', 0}},
      {"OP_BACKGROUND \"bg\\\\black\"", {45, 'b', 'g', '\\', 'b', 'l', 'a', 'c', 'k', 0}},
      {"OP_LABEL \"\"", {49, 0}},
      {"OP_MESSAGE \"AB\"", {75, 0x21, 0x22, 0}},
      {"OP_MESSAGE \"a\\nb\"", {75, 0x41, 0xEA, 0x42, 0}},
      {"OP_MESSAGE \"あ\"", {75, 0x62, 0x80, 0}},  // 0x82 0xA0 shifted
      {"OP_CHOICE_TEXT \"\\x21\"", {76, 0x01, 0}},
      {"OP_SPEAKER hero", {74, 4, 0, 0}},
      {"OP_SPEAKER hero 1 2", {74, 4, 1, 2}},
      {"OP_SPEAKER \"A\"", {74, 0x21, 0}},
      {"OP_VOICE \"ＡＢ\"", {52, 0x82, 0x60, 0x82, 0x61, 0}},
      {".byte 1 2 0xff", {1, 2, 255}},
      {"  ; a comment\n\nOP_END ; trailing\n", {0}},
  };
  for (const auto& c : cases) EXPECT_EQ(Code(c.text), c.code) << c.text;
  EXPECT_EQ(Assemble(".words 7 0x01020304\nOP_END"), (std::vector<uint8_t>{2, 0, 0, 0, 7, 0, 0, 0, 4, 3, 2, 1, 0}));
}

TEST(MesAssembler, RefusesWhatThePlayerCannotReadBack) {
  const std::string longName(32, 'a');
  const std::string longMessage(256, 'a');
  struct Case {
    std::string text;
    const char* why;
  } cases[] = {
      {"OP_MESSAGE \"a b\"", "0x20"},
      {"OP_CHOICE_TEXT \" \"", "0x20"},
      {"OP_SPEAKER \"$name\"", "hero"},
      {"OP_JUMP_SCRIPT \"" + longName + "\"", "field"},
      {"OP_MESSAGE \"" + longMessage + "\"", "field"},
      {"OP_CHOICE_LABEL \"" + std::string(24, 'x') + "\"", "field"},
      {"OP_MESSAGE "
       "\"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをんアイウエオカキク"
       "ケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンがぎぐげござじずぜぞだぢづでどばび"
       "ぶべぼぱぴぷぺぽガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポ\"",
       "field"},
      {"OP_LABEL \"a\\x00\"", "byte 0"},
      {"OP_LABEL \"a", "closing quote"},
      {"OP_LABEL \"\\q\"", "escape"},
      {"OP_LABEL \"😀\"", "code page 932"},
      {"OP_NOPE", "unknown opcode"},
      {"OP_1", "no length"},
      {"OP_WAIT 65536", "out of range"},
      {"OP_PLAY_SE 256 0", "out of range"},
      {"OP_WAIT", "number"},
      {"OP_END 5", "unexpected"},
      {"OP_VAR_OP 1 2 3", "number"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(vtools::AssembleMes("OP_END\n" + c.text, &out, &error)) << c.text;
    EXPECT_NE(error.find("line 2: "), std::string::npos) << error;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.text << " -> " << error;
  }
  // The fields' own lengths are accepted.
  Assemble("OP_JUMP_SCRIPT \"" + std::string(31, 'a') + "\"\nOP_MESSAGE \"" + std::string(255, 'a') + "\"");
}

TEST(MesDisassembler, RoundTrip) {
  const std::string text =
      ".words 1 2\n"
      "OP_LABEL \"start\"\n"
      "OP_BACKGROUND \"bg\\\\iv_vlm01a\"\n"
      "OP_SPEAKER \"ヴェルミ\"\n"
      "OP_SPEAKER hero\n"
      "OP_MESSAGE \"こんにちは。\\n次の行/ABC\"\n"
      "OP_CHOICE_TEXT \"はい\"\n"
      "OP_VAR_CMP 99 2 40000 16\n"
      "OP_JUMP_IF_FALSE 3 0\n"
      "OP_21 5\n"
      "OP_99 1\n"
      "OP_END\n";
  const std::vector<uint8_t> bytes = Assemble(text);
  const std::string back = vtools::DisassembleMes(bytes);
  EXPECT_EQ(Assemble(back), bytes) << back;
  EXPECT_NE(back.find("OP_MESSAGE \"こんにちは。\\n次の行/ABC\""), std::string::npos) << back;
  EXPECT_NE(back.find("OP_SPEAKER hero"), std::string::npos) << back;
}

TEST(MesDisassembler, BytesTheTextCannotHoldStayRaw) {
  struct Case {
    std::vector<uint8_t> file;
    const char* shows;
  } cases[] = {
      {{0, 0, 0, 0, 75, 0x00 + 1, 0xE0, 0}, ".byte 0x4B 0x01 0xE0 0x00"},  // a text byte 0 after the shift
      {{0, 0, 0, 0, 1, 2, 3}, ".byte 0x01 0x02 0x03"},                     // no length: the rest raw
      {{0, 0, 0, 0, 75, 0x21}, ".byte 0x4B 0x21"},                         // no terminator
      {{9, 0, 0, 0, 0}, "header counts 9"},
      {{1, 0}, "no header"},
  };
  for (const auto& c : cases) {
    const std::string text = vtools::DisassembleMes(c.file);
    EXPECT_NE(text.find(c.shows), std::string::npos) << text;
    if (c.file.size() >= 4 && c.file[0] == 0) {
      std::vector<uint8_t> back;
      std::string error;
      ASSERT_TRUE(vtools::AssembleMes(text, &back, &error)) << error;
      EXPECT_EQ(back, c.file);
    }
  }
}

}  // namespace
