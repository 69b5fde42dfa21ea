// UTF-8 <-> UTF-16 for text that goes to or comes from Linux libraries
// (window titles, font names).  Lossy: a lone surrogate or a bad byte
// becomes U+FFFD rather than failing the call.
#pragma once

#include <cstddef>
#include <string>

namespace velmi {

std::string WideToUtf8Lossy(const char16_t* text, size_t units);
inline std::string WideToUtf8Lossy(const std::u16string& text) { return WideToUtf8Lossy(text.data(), text.size()); }
std::u16string Utf8ToWideLossy(const std::string& text);

}  // namespace velmi
