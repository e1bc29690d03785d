#include "support/raw_message.h"

#include <algorithm>

namespace mailferry::testing {

void RawMessage::ReceiveMessage(TMfTCPConnection& connection) {
  for (;;) {
    std::string line = connection.ReadLine();
    if (line == ".") return;
    lines_.push_back(std::move(line));
  }
}

void RawMessage::SetExtraHeader(const std::string& name, const std::string& value) {
  const auto found = std::find_if(extra_headers_.begin(), extra_headers_.end(),
                                  [&](const auto& header) { return header.first == name; });
  if (value.empty()) {
    if (found != extra_headers_.end()) extra_headers_.erase(found);
  } else if (found != extra_headers_.end()) {
    found->second = value;
  } else {
    extra_headers_.emplace_back(name, value);
  }
}

void RawMessage::WriteMessage(TMfTCPConnection& connection) {
  const auto header_end = std::find(lines_.begin(), lines_.end(), std::string());
  auto write = [&](const std::string& line) {
    connection.WriteLine(!line.empty() && line.front() == '.' ? "." + line : line);
  };
  std::for_each(lines_.begin(), header_end, write);
  for (const auto& [name, value] : extra_headers_) connection.WriteLine(name + ": " + value);
  std::for_each(header_end, lines_.end(), write);
}

}  // namespace mailferry::testing
