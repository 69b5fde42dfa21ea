// Scripts of the story tests in the text form: the .mes bytes, the test
// failing on an assembler error.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mes_text.h"

inline std::vector<uint8_t> Assemble(const std::string& text) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(vtools::AssembleMes(text, &out, &error)) << error;
  return out;
}
