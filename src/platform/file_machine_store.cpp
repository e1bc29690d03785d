#include "platform/file_machine_store.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace mailferry {

FileMachineStore::FileMachineStore(std::filesystem::path path) : path_(std::move(path)) {}

std::string FileMachineStore::Read() const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return {};
  std::string value((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The file holds the value on its first line; a trailing line break is not part of it.
  const auto end = value.find_first_of("\r\n");
  if (end != std::string::npos) value.resize(end);
  return value;
}

void FileMachineStore::Write(const std::string& value) {
  std::error_code ec;
  if (path_.has_parent_path()) std::filesystem::create_directories(path_.parent_path(), ec);
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  if (!out) return;
  out << value << '\n';
}

}  // namespace mailferry
