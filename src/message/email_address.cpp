#include "message/email_address.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>

#include "common/ascii_text.h"
#include "message/message_errors.h"

namespace mailferry {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Letters, digits and ! # $ % & ' * + - / = ? _ ` { } | ~ : what a local part or a display name
// may hold without quotes.
constexpr std::string_view kAtomChars =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!#$%&'*+-/=?_`{}|~";

constexpr std::array<bool, 256> MakeAtomTable() {
  std::array<bool, 256> table{};
  for (char c : kAtomChars) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kAtomTable = MakeAtomTable();

bool IsAtomChar(char c) { return kAtomTable[static_cast<unsigned char>(c)]; }
bool IsNameChar(char c) { return c == ' ' || IsAtomChar(c); }
bool IsEscapedChar(char c) { return c == '\\' || c == '"'; }

// Where the item parser looks next, by state.
constexpr std::string_view kItemOutside = "(\"< @\t";
constexpr std::string_view kItemInComment = "()\\";
constexpr std::string_view kItemInQuote = "\"\\";
constexpr std::string_view kItemAfterAtInAngle = ".>(";
constexpr std::string_view kItemAfterAtBare = ".( ";
constexpr std::string_view kItemInAddress = "\"(@>";

// Where the list parser looks next, by state.
constexpr std::string_view kListOutside = ":;(\", \t";
constexpr std::string_view kListInComment = "(\\)";
constexpr std::string_view kListInQuote = "\"\\";

// Trims s in place to TrimBlanks(Trim(s)) without copying a non-blank start.
void TrimNameInPlace(std::string& s) {
  std::string_view kept = TrimBlanks(Trim(s));
  const std::size_t start = static_cast<std::size_t>(kept.data() - s.data());
  const std::size_t length = kept.size();
  s.resize(start + length);
  if (start > 0) s.erase(0, start);
}

// The unparsed rest of an item's text. Most steps cut it at the front; opening a quote removes the
// quote character from the middle, which shifts the few characters before it by one place.
class ItemCursor {
 public:
  explicit ItemCursor(std::string_view text) : buffer_(text) {}

  std::string_view Rest() const { return std::string_view(buffer_).substr(start_); }

  void Drop(std::size_t count) { start_ += std::min(count, buffer_.size() - start_); }

  void EraseAt(std::size_t p) {
    auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
    std::copy_backward(first, first + static_cast<std::ptrdiff_t>(p),
                       first + static_cast<std::ptrdiff_t>(p + 1));
    ++start_;
  }

  void DropLeadingControls() { Drop(Rest().size() - TrimLeft(Rest()).size()); }

 private:
  std::string buffer_;
  std::size_t start_ = 0;
};

}  // namespace

std::string TMfEMailAddressItem::FormatAddress() const {
  if (address_.empty()) return name_.empty() ? std::string() : std::string("<>");

  const std::string_view address(address_);
  std::string_view local;
  std::string_view domain;
  const std::size_t at = address.rfind('@');
  if (at != kNone) {
    local = address.substr(0, at);
    domain = address.substr(at);
  }

  const auto first_other = std::find_if_not(local.begin(), local.end(), IsAtomChar);
  if (first_other == local.end() || *first_other == '.') {
    std::string plain;
    plain.reserve(local.size() + domain.size() + 2);
    if (!name_.empty()) plain += '<';
    plain += local;
    plain += domain;
    if (!name_.empty()) plain += '>';
    return plain;
  }

  std::string quoted = "<\"";
  quoted.reserve(local.size() * 2 + domain.size() + 4);
  for (char c : local) {
    if (!IsAtomChar(c) && IsEscapedChar(c)) quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  quoted += domain;
  quoted += '>';
  return quoted;
}

std::string TMfEMailAddressItem::Text() const {
  const bool name_is_upper_address = name_.size() == address_.size() &&
                                     std::equal(name_.begin(), name_.end(), address_.begin(),
                                                [](char n, char a) { return n == UpperAscii(a); });
  if (name_.empty() || name_is_upper_address) return FormatAddress();

  std::string text;
  if (std::all_of(name_.begin(), name_.end(), IsNameChar)) {
    text = name_;
  } else {
    text.reserve(name_.size() + 8);
    text += '"';
    for (char c : name_) {
      if (IsEscapedChar(c)) text += '\\';
      text += c;
    }
    text += '"';
  }
  text += ' ';
  text += FormatAddress();
  return text;
}

void TMfEMailAddressItem::SetText(std::string_view text) {
  address_.clear();
  name_.clear();
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) return;
  std::size_t p = trimmed.find_first_of(kItemOutside);
  if (p == kNone) {
    address_ = trimmed;
    return;
  }

  ItemCursor t(trimmed);
  std::ptrdiff_t depth = 0;
  bool in_address = false;
  bool in_angle = false;
  bool in_quote = false;
  bool after_at = false;

  for (;;) {
    const std::string_view rest = t.Rest();
    const std::string_view before = rest.substr(0, p);
    switch (rest[p]) {
      case ' ':
      case '\t':
        if (p == 0) {
          t.Drop(1);
        } else {
          if (after_at) {
            address_ += Trim(before);
          } else {
            name_ += rest.substr(0, p + 1);
          }
          t.Drop(p + 1);
        }
        break;
      case '(':
        ++depth;
        if (p == 0) {
          t.Drop(1);
        } else {
          if (in_address) {
            address_ += Trim(before);
          } else if (depth == 1) {
            name_ += before;
          }
          t.Drop(p + 1);
        }
        break;
      case ')':
        // The comment's text is dropped.
        t.Drop(p + 1);
        --depth;
        break;
      case '"':
        if (in_quote) {
          (in_angle ? address_ : name_) += Trim(before);
          t.Drop(p + 1);
          in_quote = false;
        } else {
          in_quote = true;
          t.EraseAt(p);
        }
        break;
      case '<':
        name_ += before;
        TrimNameInPlace(name_);
        in_angle = true;
        in_address = true;
        t.Drop(p + 1);
        break;
      case '>':
        in_address = false;
        after_at = false;
        address_ += TrimBlanks(Trim(before));
        t.Drop(p + 1);
        break;
      case '@':
        after_at = true;
        if (!in_address) {
          if (in_angle) throw EMfEmailParseError();
          in_address = true;
        }
        address_ += rest.substr(0, p + 1);
        t.Drop(p + 1);
        break;
      case '.':
        if (in_angle) {
          address_ += TrimBlanks(Trim(before));
          address_ += '.';
          t.Drop(p + 1);
          t.DropLeadingControls();
        } else {
          address_ += rest.substr(0, p + 1);
          t.Drop(p + 1);
        }
        break;
      case '\\':
        if (in_quote) {
          std::string& target = in_address ? address_ : name_;
          target += before;
          if (p + 1 < rest.size()) target += rest[p + 1];
        }
        t.Drop(p + 2);
        break;
    }

    const std::string_view next = t.Rest();
    if (depth > 0) {
      p = next.find_first_of(kItemInComment);
    } else if (in_quote) {
      p = next.find_first_of(kItemInQuote);
    } else if (after_at) {
      p = next.find_first_of(in_angle ? kItemAfterAtInAngle : kItemAfterAtBare);
    } else if (in_address) {
      p = next.find_first_of(kItemInAddress);
    } else {
      p = next.find_first_of(kItemOutside);
    }
    if (p == kNone) break;
  }

  if (in_address && !in_angle) address_ += TrimBlanks(Trim(t.Rest()));
}

TMfEMailAddressList::TMfEMailAddressList(const TMfEMailAddressList& other) { *this = other; }

TMfEMailAddressList& TMfEMailAddressList::operator=(const TMfEMailAddressList& other) {
  if (this == &other) return *this;
  std::vector<std::unique_ptr<TMfEMailAddressItem>> copy;
  copy.reserve(other.items_.size());
  for (const auto& item : other.items_)
    copy.push_back(std::make_unique<TMfEMailAddressItem>(*item));
  items_ = std::move(copy);
  return *this;
}

TMfEMailAddressItem& TMfEMailAddressList::operator[](int i) {
  return *items_.at(static_cast<std::size_t>(i));
}

const TMfEMailAddressItem& TMfEMailAddressList::operator[](int i) const {
  return *items_.at(static_cast<std::size_t>(i));
}

TMfEMailAddressItem& TMfEMailAddressList::Add() {
  items_.push_back(std::make_unique<TMfEMailAddressItem>());
  return *items_.back();
}

void TMfEMailAddressList::Delete(int i) {
  if (i < 0 || i >= Count()) throw std::out_of_range("address list index out of range");
  items_.erase(items_.begin() + i);
}

void TMfEMailAddressList::ParseAddresses(std::string_view text) {
  Clear();
  if (Trim(text).empty()) return;
  std::size_t p = text.find_first_of(kListOutside);
  if (p == kNone) {
    // A value without separators is always one item, even one that reads as empty.
    Add().SetText(TrimLeft(text));
    return;
  }

  // Adds an item for one piece of the value, unless it reads as no address at all. The item is
  // in the list before its text is parsed, so a parse error leaves it there.
  const auto add_item = [this](std::string_view piece) {
    TMfEMailAddressItem& item = Add();
    item.SetText(piece);
    const std::string read_back = item.Text();
    const std::string_view shown = Trim(read_back);
    if (shown.empty() || shown == "<>") items_.pop_back();
  };

  std::string pending;
  std::ptrdiff_t depth = 0;
  bool in_quote = false;
  std::string_view rest = text;
  for (;;) {
    switch (rest[p]) {
      case ':':
        // The group name and anything before it are dropped.
        pending.clear();
        rest.remove_prefix(p + 1);
        break;
      case ';':
        pending += rest.substr(0, p);
        rest.remove_prefix(p + 1);
        // A group that holds only a comment ('Friends: (none);') would otherwise yield an item
        // without an address, which no server accepts as a recipient.
        if (!Trim(pending).empty()) {
          add_item(TrimLeft(pending));
          pending.clear();
        }
        break;
      case ',':
        pending += rest.substr(0, p);
        rest.remove_prefix(p + 1);
        add_item(pending);
        pending.clear();
        break;
      case '(':
      case ')':
        depth += rest[p] == '(' ? 1 : -1;
        pending += rest.substr(0, p + 1);
        rest.remove_prefix(p + 1);
        break;
      case '"':
        in_quote = !in_quote;
        pending += rest.substr(0, p + 1);
        rest.remove_prefix(p + 1);
        break;
      case '\\': {
        const std::size_t count = std::min(p + 2, rest.size());
        pending += rest.substr(0, count);
        rest.remove_prefix(count);
        break;
      }
      default:  // blank or tab
        pending += rest.substr(0, p + 1);
        rest.remove_prefix(p + 1);
        break;
    }

    if (depth > 0) {
      p = rest.find_first_of(kListInComment);
    } else if (in_quote) {
      p = rest.find_first_of(kListInQuote);
    } else {
      p = rest.find_first_of(kListOutside);
    }
    if (p == kNone) break;
  }

  if (!Trim(pending).empty() || !Trim(rest).empty()) {
    pending += rest;
    add_item(TrimLeft(pending));
  }
}

}  // namespace mailferry
