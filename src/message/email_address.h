// Mail addresses of the message model: one address with its display name, and ordered lists of
// them, parsed from and formatted into the text of address headers (From, To, Cc, ...).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mailferry {

// One address proper ('user@domain', without angle brackets) and an optional display name.
class TMfEMailAddressItem {
 public:
  TMfEMailAddressItem() = default;

  const std::string& Address() const { return address_; }
  void SetAddress(std::string address) { address_ = std::move(address); }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // The address in transfer form: the local part quoted when it needs it, in angle brackets
  // when a name is set; "<>" for a name without an address.
  std::string FormatAddress() const;

  // The combined form: the display name (quoted when it holds anything but atom characters and
  // blanks) and the formatted address.
  std::string Text() const;

  // Parses the combined form and replaces both fields. Any text is accepted except an "@" outside
  // an address already given in angle brackets, which throws EMfEmailParseError; the fields then
  // hold what was parsed up to that point.
  void SetText(std::string_view text);

 private:
  std::string address_;
  std::string name_;
};

// An ordered list of address items. The list owns its items; a reference to an item stays valid
// until that item is deleted or the list is cleared or destroyed.
class TMfEMailAddressList {
 public:
  TMfEMailAddressList() = default;
  TMfEMailAddressList(const TMfEMailAddressList& other);
  TMfEMailAddressList& operator=(const TMfEMailAddressList& other);
  TMfEMailAddressList(TMfEMailAddressList&&) noexcept = default;
  TMfEMailAddressList& operator=(TMfEMailAddressList&&) noexcept = default;

  int Count() const { return static_cast<int>(items_.size()); }
  // Item i (0-based); throws std::out_of_range for a bad index.
  TMfEMailAddressItem& operator[](int i);
  const TMfEMailAddressItem& operator[](int i) const;

  // Appends an item with empty address and name.
  TMfEMailAddressItem& Add();
  // Removes item i; later items move down by one. Throws std::out_of_range for a bad index.
  void Delete(int i);
  void Clear() { items_.clear(); }

  // Replaces the content by the addresses of a header value. Groups ('Name: a, b;') contribute
  // their members; items that read as empty or "<>" between separators are dropped. An
  // EMfEmailParseError from one item propagates; the items parsed before it, and that item,
  // stay in the list.
  void ParseAddresses(std::string_view text);

 private:
  std::vector<std::unique_ptr<TMfEMailAddressItem>> items_;
};

}  // namespace mailferry
