// Shift-JIS string helpers shared by the player and the converter.
// Every string is zero-terminated Shift-JIS; a lead byte and the byte after it
// form one character and are never split.  ASCII letters compare without case.
#pragma once

#include <cstddef>

// Non-zero for 0x81..0x9F and 0xE0..0xFC.
int IsSjisLeadByte(unsigned char byte);

// Bytes before the terminator.
size_t StrLength(const char* s);

// Copies src with its terminator; returns the terminator written in dst.
char* StrCopy(char* dst, const char* src);

// Copies src behind dst's text; returns the new terminator.
char* StrAppend(char* dst, const char* src);

// Last occurrence of the ASCII character c as a single-byte character, or null.
// A trail byte equal to c never matches.
const char* SjisFindLastChar(const char* s, char c);
char* SjisFindLastChar(char* s, char c);

// Replaces every single-byte '\' with '/' in place (a trail byte 0x5C stays):
// a path as the user is shown it.
void SjisSlashSeparators(char* s);

// 1 when the text ends in a separator: '/' or a single-byte '\' (a last
// byte 0x5C may be the trail byte of ソ), else 0.
int SjisEndsInSeparator(const char* s);

// 1 when a and b hold the same characters (ASCII letters folded), else 0.
int SjisEqual(const char* a, const char* b);

// 1 when s begins with prefix under SjisEqual's comparison (empty prefix: 1).
int SjisStartsWith(const char* s, const char* prefix);

// Copies one token of src into dst (capacity bytes including the terminator;
// a longer token is cut at a character boundary).  Stops at the first byte of
// delimiters met at a character start, or at the terminator; a quoted part is
// copied without its quotes, delimiters and blanks included.  With skipBlanks,
// blanks, tabs and CR LF pairs are dropped outside quotes.  Returns where it
// stopped in src (the delimiter or the terminator).
const char* SjisCopyToken(const char* src, char* dst, size_t capacity, const char* delimiters, int skipBlanks);

// Copies at most srcLimit bytes of src (fewer at its terminator) into a field
// of size bytes, cut at a whole character so that the terminator fits, and
// fills the rest of the field with zeros.  Returns the bytes copied.
size_t SjisCopyField(char* dst, size_t size, const char* src, size_t srcLimit);

// The number that text spells ("0x" prefix: hexadecimal); see sjis.cpp.
void ParseInteger(const char* text, int* value);
