// A message as an independent reader sees it: Python's standard `email` package parses the bytes
// that arrived, so the checks do not lean on Mailferry's own reader. Test support only; needs
// /usr/bin/python3.
#pragma once

#include <string>
#include <vector>

namespace mailferry::testing {

struct ParsedAttachment {
  std::string filename;
  std::string bytes;  // decoded content
};

struct ParsedEmail {
  std::string subject;             // decoded, UTF-8
  std::string from;                // the address only
  std::vector<std::string> to;     // addresses only
  std::vector<std::string> texts;  // decoded text/plain parts, UTF-8, LF line ends
  std::vector<ParsedAttachment> attachments;
  std::vector<std::string> defects;  // what the parser found wrong with the message
};

// Parses `message` (the bytes as transmitted). Raises std::runtime_error when Python fails.
ParsedEmail ParseWithPython(const std::string& message);

}  // namespace mailferry::testing
