// Fuzzes header folding and unfolding with arbitrary bytes: WrapText with any break string,
// break characters and limit, FoldLine and SetValue on a header list, and ValueFromLine over
// lines cut from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "message/header_list.h"

namespace {

using mailferry::TMfHeaderList;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t size = 1;
    if (c >= 0xF8) return false;
    if (c >= 0xF0) {
      size = 4;
    } else if (c >= 0xE0) {
      size = 3;
    } else if (c >= 0xC0) {
      size = 2;
    } else if (c >= 0x80) {
      return false;
    }
    if (i + size > text.size()) return false;
    for (std::size_t k = 1; k < size; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += size;
  }
  return true;
}

// Wrapping only inserts break strings: the line is a subsequence of the result, and the result is
// longer by whole break strings.
void CheckWrap(const std::string& line, const std::string& break_string,
               const std::string& break_chars, int limit) {
  const std::string wrapped = TMfHeaderList::WrapText(line, break_string, break_chars, limit);
  Check(wrapped.size() >= line.size());
  const std::size_t added = wrapped.size() - line.size();
  if (break_string.empty()) {
    Check(added == 0);
  } else {
    Check(added % break_string.size() == 0);
    Check(added / break_string.size() <= line.size());
  }
  std::size_t matched = 0;
  for (std::size_t i = 0; i < wrapped.size() && matched < line.size(); ++i) {
    if (wrapped[i] == line[matched]) ++matched;
  }
  Check(matched == line.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int limit = input.ConsumeIntegralInRange<int>(-2, 120);
  const std::string break_string = input.ConsumeRandomLengthString(4);
  const std::string break_chars = input.ConsumeRandomLengthString(4);
  const std::string text = input.ConsumeRemainingBytesAsString();

  CheckWrap(text, break_string, break_chars, limit);
  CheckWrap(text, "\r\n ", "\t ,", limit);

  TMfHeaderList list;
  list.SetFoldLength(limit);
  const std::vector<std::string> folded = list.FoldLine(text);
  Check(!folded.empty() && folded.size() <= text.size() + 1);
  const bool utf8 = IsValidUtf8(text);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    Check(folded[i].find("\r\n") == std::string::npos);
    if (i > 0) Check(!folded[i].empty());
    if (utf8) Check(IsValidUtf8(folded[i]));
  }

  // The input's lines as a received header block.
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    list.Add(text.substr(start, end - start));
    start = end + 1;
  }
  std::size_t line_bytes = 0;
  for (const auto& line : list.Lines()) line_bytes += line.size() + 1;
  Check(list.ValueFromLine(0).size() <= line_bytes);
  Check(list.ValueFromLine(list.Count() - 1).size() <= line_bytes);
  Check(list.GetValue("To").size() <= line_bytes);
  std::vector<std::string> received;
  list.ExtractValues("Received", &received);
  std::size_t extracted = 0;
  for (const auto& value : received) extracted += value.size() + 1;
  Check(extracted <= line_bytes);

  // Setting the text as a value folds it where it stands; reading it back stays in bounds.
  const int before = list.Count();
  list.SetValue("To", text);
  Check(list.Count() <= before + static_cast<int>(text.size()) + 1);
  Check(list.GetValue("To").size() <= text.size() + line_bytes + 8);
  list.SetValue("To", "");
  return 0;
}
