// Fuzzes the address parsers with arbitrary header text: ParseAddresses, and setting an item's
// Text, also to the text formatted from what was parsed. Parsing must never copy a byte twice.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "message/email_address.h"
#include "message/message_errors.h"

namespace {

using mailferry::EMfEmailParseError;
using mailferry::TMfEMailAddressItem;
using mailferry::TMfEMailAddressList;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::size_t FieldBytes(const TMfEMailAddressItem& item) {
  return item.Name().size() + item.Address().size();
}

// The formatted forms quote and escape: at most two bytes per field byte and a few more.
void CheckFormatted(const TMfEMailAddressItem& item) {
  const std::size_t bound = 2 * FieldBytes(item) + 8;
  Check(item.Text().size() <= bound);
  Check(item.FormatAddress().size() <= bound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  TMfEMailAddressList list;
  try {
    list.ParseAddresses(text);
  } catch (const EMfEmailParseError&) {
    // The items parsed so far stay and are checked below.
  }
  Check(static_cast<std::size_t>(list.Count()) <= size + 1);
  std::size_t total = 0;
  for (int i = 0; i < list.Count(); ++i) {
    total += FieldBytes(list[i]);
    CheckFormatted(list[i]);
  }
  Check(total <= size);

  TMfEMailAddressItem item;
  try {
    item.SetText(text);
  } catch (const EMfEmailParseError&) {
  }
  Check(FieldBytes(item) <= size);
  CheckFormatted(item);

  const std::string formatted = item.Text();
  TMfEMailAddressItem reparsed;
  try {
    reparsed.SetText(formatted);
  } catch (const EMfEmailParseError&) {
  }
  Check(FieldBytes(reparsed) <= formatted.size());
  return 0;
}
