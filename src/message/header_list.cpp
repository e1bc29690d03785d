#include "message/header_list.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "common/ascii_text.h"

namespace mailferry {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// What FoldLine breaks at, and what it puts between the pieces.
constexpr std::string_view kFoldBreak = "\r\n ";
constexpr std::string_view kFoldBreakChars = "\t ,";
constexpr std::string_view kLineEnd = "\r\n";

bool IsContinuationLine(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

void CheckIndex(int i, std::size_t size) {
  if (i < 0 || static_cast<std::size_t>(i) >= size) {
    throw std::out_of_range("header list index out of range");
  }
}

}  // namespace

const std::string& TMfHeaderList::operator[](int i) const {
  CheckIndex(i, lines_.size());
  return lines_[static_cast<std::size_t>(i)];
}

void TMfHeaderList::SetLine(int i, std::string line) {
  CheckIndex(i, lines_.size());
  lines_[static_cast<std::size_t>(i)] = std::move(line);
}

int TMfHeaderList::Add(std::string line) {
  lines_.push_back(std::move(line));
  return Count() - 1;
}

void TMfHeaderList::Insert(int i, std::string line) {
  CheckIndex(i, lines_.size() + 1);
  lines_.insert(lines_.begin() + i, std::move(line));
}

void TMfHeaderList::Delete(int i) {
  CheckIndex(i, lines_.size());
  lines_.erase(lines_.begin() + i);
}

void TMfHeaderList::Assign(const TMfHeaderList& other) {
  if (this != &other) lines_ = other.lines_;
}

void TMfHeaderList::AddStrings(const TMfHeaderList& other) {
  // Copy first: other may be this list.
  std::vector<std::string> copy = other.lines_;
  lines_.insert(lines_.end(), std::make_move_iterator(copy.begin()),
                std::make_move_iterator(copy.end()));
}

void TMfHeaderList::SetNameValueSeparator(std::string separator) {
  name_value_separator_ = std::move(separator);
  name_end_ = std::string(TrimRight(name_value_separator_));
}

std::size_t TMfHeaderList::SeparatorPosition(std::string_view line) const {
  if (name_end_.empty()) return kNone;
  if (case_sensitive_) return line.find(name_end_);
  // The name ends at the separator as found in the upper-cased line.
  const auto found = std::search(
      line.begin(), line.end(), name_end_.begin(), name_end_.end(),
      [](char from_line, char from_separator) { return UpperAscii(from_line) == from_separator; });
  return found == line.end() ? kNone : static_cast<std::size_t>(found - line.begin());
}

std::string TMfHeaderList::NameFromLine(int i) const {
  const std::string_view line = (*this)[i];
  const std::size_t end = SeparatorPosition(line);
  if (end == kNone) return std::string();
  return case_sensitive_ ? std::string(line.substr(0, end)) : UpperAscii(line.substr(0, end));
}

std::string TMfHeaderList::ValueFromLine(int i) const {
  if (i < 0 || i >= Count()) return std::string();
  const std::string_view line = lines_[static_cast<std::size_t>(i)];
  const std::size_t separator = SeparatorPosition(line);
  // The value starts after the name and its colon (the whole separator when it is longer); a
  // line without one loses its first character, as its name is empty.
  const std::size_t start = separator == kNone ? 1 : separator + name_end_.size();
  std::string value(Trim(start < line.size() ? line.substr(start) : std::string_view()));
  if (!unfold_lines_) return value;

  // Joining the trimmed pieces with single blanks, skipping empty ones, gives the same text as
  // trimming the value before every join, without rescanning what was already joined.
  for (std::size_t j = static_cast<std::size_t>(i) + 1;
       j < lines_.size() && IsContinuationLine(lines_[j]); ++j) {
    const std::string_view piece = Trim(lines_[j]);
    if (piece.empty()) continue;
    if (!value.empty()) value += ' ';
    value += piece;
  }
  return value;
}

bool TMfHeaderList::NameMatches(std::string_view line, std::string_view name) const {
  if (name.empty()) {
    const std::size_t end = SeparatorPosition(line);
    return end == kNone || end == 0;
  }
  // The name matches when the line's first separator stands right after it, so only that stretch
  // of the line needs looking at, however long the line is.
  if (line.size() < name.size() + name_end_.size()) return false;
  const std::string_view head = line.substr(0, name.size() + name_end_.size());
  return SeparatorPosition(head) == name.size() && SameTextAscii(head.substr(0, name.size()), name);
}

int TMfHeaderList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (NameMatches(lines_[i], name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TMfHeaderList::GetValue(std::string_view name) const {
  return ValueFromLine(IndexOfName(name));
}

void TMfHeaderList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i == -1) return;
    if (fold_lines_) DeleteFoldedLines(i);
    Delete(i);
    return;
  }

  std::string line;
  line.reserve(name.size() + name_value_separator_.size() + value.size());
  line.append(name).append(name_value_separator_).append(value);
  if (i == -1) i = Add(std::string());
  if (fold_lines_) {
    DeleteFoldedLines(i);
    FoldAndInsert(line, i);
  } else {
    lines_[static_cast<std::size_t>(i)] = std::move(line);
  }
}

void TMfHeaderList::ExtractValues(std::string_view name,
                                  std::vector<std::string>* destination) const {
  if (destination == nullptr) return;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (NameMatches(lines_[i], name)) destination->push_back(ValueFromLine(static_cast<int>(i)));
  }
}

std::vector<std::string> TMfHeaderList::FoldLine(std::string_view text) const {
  const std::string wrapped = WrapText(text, kFoldBreak, kFoldBreakChars, fold_length_);
  const std::string_view rest(wrapped);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = rest.find(kLineEnd, start);
    const std::string_view piece =
        TrimRight(rest.substr(start, end == kNone ? kNone : end - start));
    // A piece of blanks or control characters only would be an empty line, which ends a header
    // block on the wire and cuts the message's header short.
    if (lines.empty() || !piece.empty()) lines.emplace_back(piece);
    if (end == kNone) break;
    start = end + kLineEnd.size();
  }
  return lines;
}

void TMfHeaderList::FoldAndInsert(std::string_view text, int i) {
  CheckIndex(i, lines_.size() + 1);
  std::vector<std::string> folded = FoldLine(text);
  const auto at = lines_.begin() + i;
  if (static_cast<std::size_t>(i) == lines_.size()) {
    lines_.insert(at, std::make_move_iterator(folded.begin()),
                  std::make_move_iterator(folded.end()));
    return;
  }
  *at = std::move(folded.front());
  lines_.insert(at + 1, std::make_move_iterator(folded.begin() + 1),
                std::make_move_iterator(folded.end()));
}

void TMfHeaderList::DeleteFoldedLines(int i) {
  if (i < 0 || i >= Count()) return;
  const auto first = lines_.begin() + i + 1;
  const auto last = std::find_if_not(
      first, lines_.end(), [](const std::string& line) { return IsContinuationLine(line); });
  lines_.erase(first, last);
}

std::string TMfHeaderList::WrapText(std::string_view line, std::string_view break_string,
                                    std::string_view break_chars, int column_limit) {
  std::array<bool, 256> is_break_char{};
  for (char c : break_chars) is_break_char[static_cast<unsigned char>(c)] = true;
  const auto breaks = [&is_break_char](char c) {
    return is_break_char[static_cast<unsigned char>(c)];
  };

  // Positions are 1-based, as the wrapping rule counts columns from 1.
  const std::size_t length = line.size();
  const auto at = [line](std::size_t position) { return line[position - 1]; };
  std::string result;
  result.reserve(length + break_string.size() * (length / 32 + 1));
  std::size_t pos = 1;
  std::size_t line_start = 1;
  std::size_t break_pos = 0;
  std::int64_t column = 1;
  bool in_quote = false;
  bool existing_break = false;

  // No byte is a lead byte of a double-byte character here: on a UTF-8 system every byte of a
  // multi-byte sequence is 128 or above, never a break character, so the sequence stays whole.
  while (pos <= length) {
    const char c = at(pos);
    if (!break_string.empty() && c == break_string.front()) {
      if (!in_quote) {
        existing_break = SameTextAscii(line.substr(pos - 1, break_string.size()), break_string);
        if (existing_break) {
          pos += break_string.size() - 1;
          break_pos = pos;
        }
      }
    } else if (breaks(c)) {
      if (!in_quote) break_pos = pos;
    } else if (c == '"') {
      // The single quote is no quote character here.
      in_quote = !in_quote;
    }
    ++pos;
    ++column;

    if (!in_quote && (existing_break || (column > column_limit && break_pos > line_start))) {
      column = static_cast<std::int64_t>(pos - break_pos);
      result.append(line.substr(line_start - 1, break_pos - line_start + 1));
      if (c != '"') {
        // Only the scan moves on; the skipped characters still begin the next line.
        while (pos <= length && (breaks(at(pos)) || at(pos) == '\r' || at(pos) == '\n')) ++pos;
      }
      if (!existing_break && pos < length) result.append(break_string);
      ++break_pos;
      line_start = break_pos;
      existing_break = false;
    }
  }
  if (line_start <= length) result.append(line.substr(line_start - 1));
  return result;
}

}  // namespace mailferry
