// Reading and writing whole files in tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace mailferry::testing {

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace mailferry::testing
