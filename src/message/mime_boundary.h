// TMfMIMEBoundary: the stack of MIME boundaries met while a message body is read, outermost
// first, and the one helper that takes a boundary out of a Content-Type value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mailferry {

class TMfMIMEBoundary {
 public:
  // The top entry, or the empty string when the stack is empty.
  const std::string& Boundary() const;

  // Makes boundary the new top, unless it is empty or equals the current top without regard to
  // ASCII letter case (then nothing changes).
  void Push(std::string_view boundary);

  // Removes the top entry. On an empty stack throws EListError "List index out of bounds (0)".
  void Pop();

  int Count() const { return static_cast<int>(boundaries_.size()); }
  void Clear() { boundaries_.clear(); }

 private:
  std::vector<std::string> boundaries_;
};

// The boundary parameter of a Content-Type value, upper-cased: the text after the first
// "BOUNDARY=" up to the closing double quote when it is quoted, else all the rest (a following
// parameter is not cut off). Empty when the value has none.
std::string BoundaryParameter(std::string_view content_type);

// True when line is "--" followed by boundary, compared without regard to ASCII letter case.
// Blanks and tabs after it are allowed, as MIME allows them after a boundary delimiter.
bool IsBoundaryLine(std::string_view line, std::string_view boundary);

// True when line is "--" + boundary + "--", with the same tolerance.
bool IsClosingBoundaryLine(std::string_view line, std::string_view boundary);

}  // namespace mailferry
