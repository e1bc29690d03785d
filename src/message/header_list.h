// The header list of a message, a message part or an HTTP exchange: header lines 'Name: value'
// kept one entry per physical line, with lookup by name, unfolded reading and folded writing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailferry {

// An ordered list of 8-bit lines (duplicates allowed). A line whose first character is a blank or
// a tab continues the header above it; an empty line continues nothing. Line access with a bad
// index throws std::out_of_range; looking up a missing header is not an error.
class TMfHeaderList {
 public:
  TMfHeaderList() = default;

  // --- Plain line operations -------------------------------------------------------------------
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int i) const;
  const std::string& Line(int i) const { return (*this)[i]; }
  void SetLine(int i, std::string line);
  const std::vector<std::string>& Lines() const { return lines_; }
  // Appends a line and returns its index.
  int Add(std::string line);
  // The line becomes index i (0..Count); later lines move up.
  void Insert(int i, std::string line);
  void Delete(int i);
  // Empties the list; the settings stay.
  void Clear() { lines_.clear(); }
  // Replaces the lines by copies of other's lines (the settings stay).
  void Assign(const TMfHeaderList& other);
  // Appends copies of all of other's lines.
  void AddStrings(const TMfHeaderList& other);

  // --- Settings --------------------------------------------------------------------------------
  // Put between name and value by SetValue; without its trailing blanks it ends a name in a line.
  const std::string& NameValueSeparator() const { return name_value_separator_; }
  void SetNameValueSeparator(std::string separator);
  // When false, names are taken from the upper-cased line.
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool on) { case_sensitive_ = on; }
  // When true, ValueFromLine joins the continuation lines.
  bool UnfoldLines() const { return unfold_lines_; }
  void SetUnfoldLines(bool on) { unfold_lines_ = on; }
  // When true, SetValue replaces the continuation lines too and folds the new line.
  bool FoldLines() const { return fold_lines_; }
  void SetFoldLines(bool on) { fold_lines_ = on; }
  // Column limit for folding.
  std::int32_t FoldLength() const { return fold_length_; }
  void SetFoldLength(std::int32_t length) { fold_length_ = length; }

  // --- Headers ---------------------------------------------------------------------------------
  // The text before the first separator of line i, upper-cased unless CaseSensitive, untrimmed;
  // empty when the line has no separator.
  std::string NameFromLine(int i) const;
  // The trimmed text after the name and its colon, joined with the following continuation lines
  // by single blanks when UnfoldLines. Empty for an index out of range.
  std::string ValueFromLine(int i) const;
  // The first line whose name equals name without regard to ASCII letter case, or -1.
  int IndexOfName(std::string_view name) const;
  // The value of the first header of that name; empty when there is none.
  std::string GetValue(std::string_view name) const;
  // Replaces the first header of that name where it stands (with its continuation lines), appends
  // it when there is none, or deletes it when value is empty. Later headers of the same name stay.
  void SetValue(std::string_view name, std::string_view value);
  // Appends to destination the value of every header of that name, in list order. Does nothing
  // without a destination.
  void ExtractValues(std::string_view name, std::vector<std::string>* destination) const;

  // --- Folding ---------------------------------------------------------------------------------
  // The lines of text wrapped at FoldLength, continuation lines beginning with a blank; a CR LF
  // already in the text also starts a new line. Lines are trimmed at the end; a piece that would
  // be an empty line is left out, since an empty line ends a header block.
  std::vector<std::string> FoldLine(std::string_view text) const;
  // Replaces line i (0..Count-1; Count appends) by the folded lines of text.
  void FoldAndInsert(std::string_view text, int i);
  // Deletes the continuation lines that follow line i.
  void DeleteFoldedLines(int i);

  // Wraps line after the last break character (outside double quotes) at or before column_limit,
  // or at the first one after it, inserting break_string; an occurrence of break_string in the
  // line (compared without regard to ASCII case) counts as a break already made. A quoted section
  // is never cut. No byte is a lead byte of a double-byte character on a UTF-8 system, and with
  // ASCII break characters a wrap never falls inside a UTF-8 sequence.
  static std::string WrapText(std::string_view line, std::string_view break_string,
                              std::string_view break_chars, int column_limit);

 private:
  // Where the name of line ends (the byte index of its separator), or npos without one.
  std::size_t SeparatorPosition(std::string_view line) const;
  // True when NameFromLine of line equals name without regard to ASCII letter case.
  bool NameMatches(std::string_view line, std::string_view name) const;

  std::vector<std::string> lines_;
  std::string name_value_separator_ = ": ";
  std::string name_end_ = ":";  // name_value_separator_ without trailing blanks
  bool case_sensitive_ = false;
  bool unfold_lines_ = true;
  bool fold_lines_ = true;
  std::int32_t fold_length_ = 78;
};

}  // namespace mailferry
