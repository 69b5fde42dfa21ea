// Whole-file reads and writes of the tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vtest {

// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
// Creates or replaces the file (and its missing parent folders); false when
// it could not be written whole.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);

}  // namespace vtest
