// The program's own printf-style formatter.  Its letters, flags and widths
// differ from the C library's (%z3 is a number as exactly three zero-filled
// digits, %d shows a sign only with a flag, upper-case letters give full-width
// text); stored file names depend on them.  See format.cpp for the table.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Writes the formatted, terminated text into out; the caller's buffer must be
// large enough for the format.
void FormatString(char* out, const char* format, ...);
void FormatStringV(char* out, const char* format, va_list args);

// Bounded form: writes at most capacity bytes, terminator included, never
// cutting a double-byte character.  Returns 1 when the whole text fitted,
// 0 when it was cut (or capacity is 0).
int FormatStringN(char* out, size_t capacity, const char* format, ...);
int FormatStringNV(char* out, size_t capacity, const char* format, va_list args);

// Reads at most two decimal digits at *cursor and returns their value (0 when
// there is none).  Leaves *cursor on the last character consumed, i.e. one
// before the first character not consumed.
int ParseFieldWidth(const char** cursor);

// Full-width form of a Shift-JIS string: bytes 0x20..0x7E become their
// double-byte full-width characters, double-byte characters and every other
// byte are copied.  Returns the number of characters converted by the table.
int ToFullWidth(char* out, const char* in);

// Number writers.  Each writes a terminated text into buffer.  Fixed-width forms
// write exactly width characters, keeping the lowest digits; fill bit 0 set
// pads with '0', else with blanks.
void FormatUnsignedWidth(char* buffer, uint32_t value, int width, int fill);
void FormatUnsigned(char* buffer, uint32_t value);
void FormatUnsigned64Width(char* buffer, uint64_t value, int width, int fill);
void FormatUnsigned64(char* buffer, uint64_t value);
void FormatHexWidth(char* buffer, uint32_t value, int width);
void FormatOctalWidth(char* buffer, uint32_t value, int width);
// |value| with the integer part right-aligned in width positions, a point, and
// fractionDigits truncated fraction digits (none: the text ends with the point).
void FormatFixedPoint(char* buffer, double value, int width, int fractionDigits);
