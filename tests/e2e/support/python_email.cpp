#include "e2e/support/python_email.h"

#include <sstream>
#include <stdexcept>

#include "support/file_bytes.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace mailferry::testing {
namespace {

// Prints one line per fact: a keyword, then TAB-separated values in hex, so that any byte
// survives the trip.
constexpr const char* kParser = R"(
import email, email.policy, sys
with open(sys.argv[1], 'rb') as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)
def out(key, *values):
    print(key, *[v.hex() for v in values], sep='\t')
out('subject', str(msg['Subject'] or '').encode())
if msg['From'] is not None and msg['From'].addresses:
    out('from', msg['From'].addresses[0].addr_spec.encode())
for address in (msg['To'].addresses if msg['To'] is not None else ()):
    out('to', address.addr_spec.encode())
for part in msg.walk():
    for defect in part.defects:
        out('defect', repr(defect).encode())
    if part.is_multipart():
        continue
    if part.get_content_disposition() == 'attachment' or part.get_filename():
        out('attachment', (part.get_filename() or '').encode(), part.get_payload(decode=True))
    elif part.get_content_type() == 'text/plain':
        out('text', part.get_content().encode('utf-8'))
)";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

ParsedEmail ParseWithPython(const std::string& message) {
  TempDir dir;
  const std::string file = dir.prefix() + "message.eml";
  WriteFileBytes(file, message);
  ProgramResult result = RunProgram("/usr/bin/python3", {"-c", kParser, file});
  if (result.exit_status != 0) {
    throw std::runtime_error("the Python email parser failed: " + result.err);
  }
  ParsedEmail parsed;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.empty()) continue;
    const std::string& key = fields[0];
    auto value = [&](size_t i) { return i < fields.size() ? FromHex(fields[i]) : std::string(); };
    if (key == "subject") {
      parsed.subject = value(1);
    } else if (key == "from") {
      parsed.from = value(1);
    } else if (key == "to") {
      parsed.to.push_back(value(1));
    } else if (key == "text") {
      parsed.texts.push_back(value(1));
    } else if (key == "attachment") {
      parsed.attachments.push_back({value(1), value(2)});
    } else if (key == "defect") {
      parsed.defects.push_back(value(1));
    }
  }
  return parsed;
}

}  // namespace mailferry::testing
