// Small conversions between a message as one text and as lines, for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace mailferry::testing {

// The lines of `text`, split at LF with a CR before it dropped; no empty line for a final LF.
std::vector<std::string> SplitLines(const std::string& text);

// Every line followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

}  // namespace mailferry::testing
