#include "message/mime_boundary.h"

#include "common/ascii_text.h"
#include "common/list_error.h"

namespace mailferry {
namespace {

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

// line without "--" + boundary at its front (letter case ignored); false when it does not begin
// so.
bool StripDelimiter(std::string_view* line, std::string_view boundary) {
  if (line->size() < boundary.size() + 2 || line->substr(0, 2) != "--") return false;
  if (!SameTextAscii(line->substr(2, boundary.size()), boundary)) return false;
  line->remove_prefix(boundary.size() + 2);
  return true;
}

}  // namespace

const std::string& TMfMIMEBoundary::Boundary() const {
  return boundaries_.empty() ? EmptyText() : boundaries_.back();
}

void TMfMIMEBoundary::Push(std::string_view boundary) {
  if (!boundaries_.empty() && SameTextAscii(boundaries_.back(), boundary)) return;
  if (boundary.empty()) return;
  boundaries_.emplace_back(boundary);
}

void TMfMIMEBoundary::Pop() {
  if (boundaries_.empty()) throw EListError::IndexOutOfBounds(0);
  boundaries_.pop_back();
}

std::string BoundaryParameter(std::string_view content_type) {
  const std::string upper = UpperAscii(content_type);
  constexpr std::string_view kParameter = "BOUNDARY=";
  const std::size_t found = upper.find(kParameter);
  if (found == std::string::npos) return std::string();
  std::string_view rest = std::string_view(upper).substr(found + kParameter.size());
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(rest);
}

bool IsBoundaryLine(std::string_view line, std::string_view boundary) {
  return StripDelimiter(&line, boundary) && TrimBlanks(line).empty();
}

bool IsClosingBoundaryLine(std::string_view line, std::string_view boundary) {
  return StripDelimiter(&line, boundary) && line.substr(0, 2) == "--" &&
         TrimBlanks(line.substr(2)).empty();
}

}  // namespace mailferry
