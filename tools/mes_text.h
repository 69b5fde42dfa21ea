// The text form of story scripts, and its translation to and from ".mes".
//
// One instruction a line: an opcode name ("OP_MESSAGE", or "OP_<number>" for
// any opcode), then its operands separated by blanks or commas.  Numbers are
// decimal or 0x hexadecimal; word operands take -32768..65535, byte operands
// 0..255.  Strings are in double quotes, UTF-8, converted to code page 932;
// escapes: \" \\ \n (a byte 0x0A: in a message, the line break "/") and \xNN
// (a byte of the converted string).  Text strings (speaker, message, choice
// text) are stored with 0x20 subtracted from every byte.  The speaker's short
// form is "OP_SPEAKER hero" (optionally followed by its two bytes).
// Directives: ".words w..." sets the header's unused words (default none);
// ".byte b..." writes raw bytes.  ";" starts a comment outside strings.
//
// The assembler refuses what the player cannot read back: a text byte 0x20,
// a speaker string whose first stored byte would be 0x04, a string longer than
// its field, a byte 0 inside a string.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vtools {

// The .mes bytes of the text, or false with "line N: reason" in *error.
bool AssembleMes(const std::string& text, std::vector<uint8_t>* out, std::string* error);

// The text form of a .mes file; assembling it gives the same bytes back.
// Code after an instruction without a length is written as ".byte" lines.
std::string DisassembleMes(const std::vector<uint8_t>& file);

}  // namespace vtools
