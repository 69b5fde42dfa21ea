// Text conversion between UTF-8 and code page 932 for the tools, through the
// platform layer's code pages.
#pragma once

#include <string>

namespace vtools {

// False when the text is not UTF-8 or a character has no code page 932 form.
bool Utf8ToCp932(const std::string& utf8, std::string* out);
// One code page 932 character (1 or 2 bytes) to UTF-8; false when it has no
// Unicode form.
bool Cp932CharToUtf8(const char* bytes, int n, std::string* out);

}  // namespace vtools
