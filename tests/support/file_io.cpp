#include "tests/support/file_io.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vtest {

namespace {

bool Write(const std::string& path, const char* data, size_t size) {
  const std::filesystem::path p(path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
  out.close();
  return !out.fail();
}

}  // namespace

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return Write(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool WriteText(const std::string& path, const std::string& text) { return Write(path, text.data(), text.size()); }

}  // namespace vtest
