// Table file fixtures: the worked-example settings files byte for byte, and a small builder for
// hand-made table files (older versions, damaged files) written tag by tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mailferry::testing {

// Bytes from hex text; blanks and line breaks between the pairs are ignored.
std::string FromHex(std::string_view hex);

// "MFY_Settings.db" as first start creates it: the empty system table, 816 bytes.
std::string FreshSettingsFile();

// "MFY_Settings.db" holding the default row (Key 0, Schedule 5), 851 bytes.
std::string WorkedExampleSettingsFile();

// Writes tagged values one by one, exactly as asked (no smallest-form choice unless Int is used).
class TableFileBuilder {
 public:
  TableFileBuilder& Raw(std::string_view bytes);
  TableFileBuilder& Hex(std::string_view hex) { return Raw(FromHex(hex)); }
  TableFileBuilder& Signature() { return Raw("TPF0"); }
  TableFileBuilder& Int(std::int64_t value);  // in its smallest form
  TableFileBuilder& Int8(std::int8_t value);
  TableFileBuilder& Int16(std::int16_t value);
  TableFileBuilder& Int32(std::int32_t value);
  TableFileBuilder& Str(std::string_view text);         // 0x06
  TableFileBuilder& LongStr(std::string_view text);     // 0x0C
  TableFileBuilder& Utf8Str(std::string_view text);     // 0x14
  TableFileBuilder& WideStr(std::u16string_view text);  // 0x12
  TableFileBuilder& Extended(long double value);        // 0x05 from the machine's 80-bit format
  TableFileBuilder& Bool(bool value);
  TableFileBuilder& Begin() { return Raw(std::string_view("\x01", 1)); }
  TableFileBuilder& End() { return Raw(std::string_view("\x00", 1)); }
  // A definition entry with the given number of items (8, 9 or 10): name, type, size, label =
  // name, mask "", width, false, false, then "Data" and the default when asked for.
  TableFileBuilder& Def(std::string_view name, std::string_view type, int size = 0, int items = 10,
                        std::string_view default_expression = "");

  const std::string& bytes() const { return bytes_; }

 private:
  void Length32(std::uint32_t n);
  std::string bytes_;
};

}  // namespace mailferry::testing
