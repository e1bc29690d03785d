#include "support/table_file_fixtures.h"

#include <cstring>
#include <stdexcept>

namespace mailferry::testing {

std::string FromHex(std::string_view hex) {
  std::string bytes;
  int high = -1;
  for (char c : hex) {
    int nibble;
    if (c >= '0' && c <= '9') {
      nibble = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      nibble = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      nibble = c - 'a' + 10;
    } else if (c == ' ' || c == '\n') {
      continue;
    } else {
      throw std::invalid_argument("not hex");
    }
    if (high < 0) {
      high = nibble;
    } else {
      bytes += static_cast<char>(high * 16 + nibble);
      high = -1;
    }
  }
  return bytes;
}

namespace {

// The worked example up to the row list, offset by offset (0000 to 032D).
constexpr const char* kHeaderAndDefinitions =
    // 0000 signature, version 251, definition list begins
    "54 50 46 30 03 FB 00 01\n"
    // 0008 Key
    "06 03 4B 65 79 06 07 41 75 74 6F 49 6E 63 02 00 06 03 4B 65 79 06 00 02 0A 08 08 06 04 44 61"
    " 74 61 06 00\n"
    // 002B Schedule
    "06 08 53 63 68 65 64 75 6C 65 06 04 57 6F 72 64 02 00 06 08 53 63 68 65 64 75 6C 65 06 00 02"
    " 0A 08 08 06 04 44 61 74 61 06 00\n"
    // 0055 CheckSchedule
    "06 0D 43 68 65 63 6B 53 63 68 65 64 75 6C 65 06 07 42 6F 6F 6C 65 61 6E 02 00 06 0D 43 68 65"
    " 63 6B 53 63 68 65 64 75 6C 65 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 65\n"
    // 0091 CheckSpam
    "06 09 43 68 65 63 6B 53 70 61 6D 06 07 42 6F 6F 6C 65 61 6E 02 00 06 09 43 68 65 63 6B 53 70"
    " 61 6D 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 65\n"
    // 00C5 CheckVirus
    "06 0A 43 68 65 63 6B 56 69 72 75 73 06 07 42 6F 6F 6C 65 61 6E 02 00 06 0A 43 68 65 63 6B 56"
    " 69 72 75 73 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 65\n"
    // 00FB CheckAsService
    "06 0E 43 68 65 63 6B 41 73 53 65 72 76 69 63 65 06 07 42 6F 6F 6C 65 61 6E 02 00 06 0E 43 68"
    " 65 63 6B 41 73 53 65 72 76 69 63 65 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 "
    "65\n"
    // 0139 CheckLog
    "06 08 43 68 65 63 6B 4C 6F 67 06 07 42 6F 6F 6C 65 61 6E 02 00 06 08 43 68 65 63 6B 4C 6F 67"
    " 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 65\n"
    // 016B SpamCommandLine
    "06 0F 53 70 61 6D 43 6F 6D 6D 61 6E 64 4C 69 6E 65 06 06 53 74 72 69 6E 67 03 FE 00 06 0F 53"
    " 70 61 6D 43 6F 6D 6D 61 6E 64 4C 69 6E 65 06 00 03 FE 00 08 08 06 04 44 61 74 61 06 00\n"
    // 01A7 VirusCommandLine
    "06 10 56 69 72 75 73 43 6F 6D 6D 61 6E 64 4C 69 6E 65 06 06 53 74 72 69 6E 67 03 FE 00 06 10"
    " 56 69 72 75 73 43 6F 6D 6D 61 6E 64 4C 69 6E 65 06 00 03 FE 00 08 08 06 04 44 61 74 61 06 "
    "00\n"
    // 01E5 ExchangeServer
    "06 0E 45 78 63 68 61 6E 67 65 53 65 72 76 65 72 06 06 53 74 72 69 6E 67 02 32 06 0E 45 78 63"
    " 68 61 6E 67 65 53 65 72 76 65 72 06 00 02 32 08 08 06 04 44 61 74 61 06 00\n"
    // 021D MaxAccountID
    "06 0C 4D 61 78 41 63 63 6F 75 6E 74 49 44 06 07 49 6E 74 65 67 65 72 02 00 06 0C 4D 61 78 41"
    " 63 63 6F 75 6E 74 49 44 06 00 02 0A 08 08 06 04 44 61 74 61 06 01 31\n"
    // 0253 MaxSendAddressID
    "06 10 4D 61 78 53 65 6E 64 41 64 64 72 65 73 73 49 44 06 07 49 6E 74 65 67 65 72 02 00 06 10"
    " 4D 61 78 53 65 6E 64 41 64 64 72 65 73 73 49 44 06 00 02 0A 08 08 06 04 44 61 74 61 06 01 "
    "31\n"
    // 0291 SMTPPort
    "06 08 53 4D 54 50 50 6F 72 74 06 04 57 6F 72 64 02 00 06 08 53 4D 54 50 50 6F 72 74 06 00 02"
    " 0A 08 08 06 04 44 61 74 61 06 02 32 35\n"
    // 02BD RASEnabled
    "06 0A 52 41 53 45 6E 61 62 6C 65 64 06 07 42 6F 6F 6C 65 61 6E 02 00 06 0A 52 41 53 45 6E 61"
    " 62 6C 65 64 06 00 02 05 08 08 06 04 44 61 74 61 06 05 46 61 6C 73 65\n"
    // 02F3 RASConnection
    "06 0D 52 41 53 43 6F 6E 6E 65 63 74 69 6F 6E 06 06 53 74 72 69 6E 67 03 FA 00 06 0D 52 41 53"
    " 43 6F 6E 6E 65 63 74 69 6F 6E 06 00 03 FA 00 08 08 06 04 44 61 74 61 06 00\n"
    // 032B definition list ends, empty index list
    "00 01 00\n";

}  // namespace

std::string FreshSettingsFile() {
  // 032E: empty row list.
  return FromHex(kHeaderAndDefinitions) + FromHex("01 00");
}

std::string WorkedExampleSettingsFile() {
  return FromHex(kHeaderAndDefinitions) +
         FromHex(
             "01\n"                             // 032E row list begins
             "01 02 00\n"                       // 032F row begins, update status 0
             "08 02 00\n"                       // 0332 Key = 0
             "08 02 05\n"                       // 0335 Schedule = 5
             "08 08 08 08 08 08 08 08 08 08\n"  // 0338 five Boolean fields false
             "09 09 09\n"                       // 0342 three String fields empty
             "08 02 01 08 02 01\n"              // 0345 MaxAccountID, MaxSendAddressID = 1
             "08 02 19\n"                       // 034B SMTPPort = 25
             "08 08\n"                          // 034E RASEnabled = false
             "09\n"                             // 0350 RASConnection empty
             "00 00\n");                        // 0351 row ends, row list ends
}

TableFileBuilder& TableFileBuilder::Raw(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

TableFileBuilder& TableFileBuilder::Int(std::int64_t value) {
  if (value >= -128 && value <= 127) return Int8(static_cast<std::int8_t>(value));
  if (value >= -32768 && value <= 32767) return Int16(static_cast<std::int16_t>(value));
  return Int32(static_cast<std::int32_t>(value));
}

TableFileBuilder& TableFileBuilder::Int8(std::int8_t value) {
  bytes_ += '\x02';
  bytes_ += static_cast<char>(value);
  return *this;
}

TableFileBuilder& TableFileBuilder::Int16(std::int16_t value) {
  bytes_ += '\x03';
  const auto bits = static_cast<std::uint16_t>(value);
  bytes_ += static_cast<char>(bits & 0xFF);
  bytes_ += static_cast<char>(bits >> 8);
  return *this;
}

TableFileBuilder& TableFileBuilder::Int32(std::int32_t value) {
  bytes_ += '\x04';
  Length32(static_cast<std::uint32_t>(value));
  return *this;
}

void TableFileBuilder::Length32(std::uint32_t n) {
  for (int i = 0; i < 4; ++i) bytes_ += static_cast<char>((n >> (8 * i)) & 0xFF);
}

TableFileBuilder& TableFileBuilder::Str(std::string_view text) {
  bytes_ += '\x06';
  bytes_ += static_cast<char>(text.size());
  bytes_.append(text);
  return *this;
}

TableFileBuilder& TableFileBuilder::LongStr(std::string_view text) {
  bytes_ += '\x0C';
  Length32(static_cast<std::uint32_t>(text.size()));
  bytes_.append(text);
  return *this;
}

TableFileBuilder& TableFileBuilder::Utf8Str(std::string_view text) {
  bytes_ += '\x14';
  Length32(static_cast<std::uint32_t>(text.size()));
  bytes_.append(text);
  return *this;
}

TableFileBuilder& TableFileBuilder::WideStr(std::u16string_view text) {
  bytes_ += '\x12';
  Length32(static_cast<std::uint32_t>(text.size()));
  for (char16_t unit : text) {
    bytes_ += static_cast<char>(unit & 0xFF);
    bytes_ += static_cast<char>(unit >> 8);
  }
  return *this;
}

TableFileBuilder& TableFileBuilder::Extended(long double value) {
  static_assert(sizeof(long double) >= 10, "x86 extended precision expected");
  unsigned char raw[sizeof(long double)] = {};
  std::memcpy(raw, &value, sizeof value);
  bytes_ += '\x05';
  bytes_.append(reinterpret_cast<const char*>(raw), 10);
  return *this;
}

TableFileBuilder& TableFileBuilder::Bool(bool value) {
  bytes_ += value ? '\x09' : '\x08';
  return *this;
}

TableFileBuilder& TableFileBuilder::Def(std::string_view name, std::string_view type, int size,
                                        int items, std::string_view default_expression) {
  const int width = type == "String" ? size : type == "Boolean" ? 5 : 10;
  Str(name).Str(type).Int(size).Str(name).Str("").Int(width).Bool(false).Bool(false);
  if (items >= 9) Str("Data");
  if (items >= 10) Str(default_expression);
  return *this;
}

}  // namespace mailferry::testing
