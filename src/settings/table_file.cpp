#include "settings/table_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <vector>

#include "common/mf_exception.h"
#include "common/utf8.h"
#include "settings/table_file_tags.h"

namespace mailferry {

using namespace table_file;

namespace {

constexpr const char* kStreamReadError = "Stream read error";
constexpr const char* kStreamWriteError = "Stream write error";
constexpr const char* kInvalidStreamFormat = "Invalid stream format";
constexpr const char* kInvalidPropertyValue = "Invalid property value";

[[noreturn]] void Throw(const std::string& message) { throw EMfException(message); }

// ---------------------------------------------------------------------------------------------
// Writing

// Collects output in a buffer of the format's size and hands it on when full and at the end.
class ValueWriter {
 public:
  explicit ValueWriter(std::function<bool(std::string_view)> sink) : sink_(std::move(sink)) {
    buffer_.reserve(kBufferSize);
  }

  void Byte(std::uint8_t byte) {
    buffer_.push_back(static_cast<char>(byte));
    if (buffer_.size() == kBufferSize) Flush();
  }

  void Bytes(std::string_view bytes) {
    for (char c : bytes) Byte(static_cast<std::uint8_t>(c));
  }

  void LittleEndian(std::uint64_t value, int byte_count) {
    for (int i = 0; i < byte_count; ++i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  void Integer(std::int64_t value) {
    if (value >= -128 && value <= 127) {
      Byte(kInt8);
      LittleEndian(static_cast<std::uint64_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
      Byte(kInt16);
      LittleEndian(static_cast<std::uint64_t>(value), 2);
    } else {
      Byte(kInt32);
      LittleEndian(static_cast<std::uint64_t>(value), 4);
    }
  }

  void String(std::string_view text) {
    if (!IsAscii(text)) {
      Byte(kUtf8String);
      LittleEndian(text.size(), 4);
    } else if (text.size() <= 255) {
      Byte(kShortString);
      LittleEndian(text.size(), 1);
    } else {
      Byte(kLongString);
      LittleEndian(text.size(), 4);
    }
    Bytes(text);
  }

  void Boolean(bool value) { Byte(value ? kTrue : kFalse); }

  void Extended(double value) {
    std::uint64_t mantissa = 0;
    std::uint16_t exponent = 0;
    const std::uint16_t sign = std::signbit(value) ? 0x8000 : 0;
    if (std::isnan(value)) {
      exponent = 0x7FFF;
      mantissa = 0xC000000000000000ull;
    } else if (std::isinf(value)) {
      exponent = 0x7FFF;
      mantissa = 0x8000000000000000ull;
    } else if (value != 0) {
      int binary_exponent = 0;
      const double fraction = std::frexp(std::fabs(value), &binary_exponent);  // [0.5, 1)
      mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
      exponent = static_cast<std::uint16_t>(binary_exponent - 1 + 16383);
    }
    Byte(kExtended);
    LittleEndian(mantissa, 8);
    LittleEndian(static_cast<std::uint16_t>(exponent | sign), 2);
  }

  void Flush() {
    if (buffer_.empty()) return;
    if (!sink_(buffer_)) Throw(kStreamWriteError);
    buffer_.clear();
  }

 private:
  std::function<bool(std::string_view)> sink_;
  std::string buffer_;
};

void WriteValue(ValueWriter& out, const TFieldDef& def, const FieldValue& value) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kInteger:
      out.Integer(ValueToInteger(def, value));
      break;
    case ValueClass::kBoolean:
      out.Boolean(ValueToBoolean(def, value));
      break;
    case ValueClass::kText:
      out.String(ValueToText(value));
      break;
    case ValueClass::kFloat: {
      const auto* number = std::get_if<double>(&value);
      out.Extended(number != nullptr ? *number : static_cast<double>(ValueToInteger(def, value)));
      break;
    }
  }
}

void WriteTable(TMemTable& table, ValueWriter& out) {
  std::vector<std::size_t> saved;
  for (std::size_t i = 0; i < table.FieldCount(); ++i) {
    if (table.Fields(i).Def().IsSaved()) saved.push_back(i);
  }

  out.Bytes(kSignature);
  out.Integer(kVersionWritten);

  out.Byte(kListBegin);
  for (std::size_t i : saved) {
    const TFieldDef& def = table.Fields(i).Def();
    out.String(def.name);
    out.String(FieldTypeName(def.type));
    out.Integer(def.size);
    out.String(def.DisplayName());
    out.String(def.edit_mask);
    out.Integer(def.DisplayWidth());
    out.Boolean(def.required);
    out.Boolean(def.read_only);
    out.String(FieldKindName(def.kind));
    out.String(def.default_expression);
  }
  out.Byte(kEndOfList);

  out.Byte(kListBegin);
  for (const TIndexDef& index : table.IndexDefs()) {
    out.String(index.name);
    out.String(index.fields);
    out.String(index.name);
    out.Boolean(index.descending);
    out.Boolean(index.case_insensitive);
    out.Boolean(index.not_maintained);
    out.Boolean(index.unique);
  }
  out.Byte(kEndOfList);

  out.Byte(kListBegin);
  for (std::size_t r = 0; r < table.StoredRowCount(); ++r) {
    const TMemRow& row = table.StoredRow(r);
    // A row loaded as deleted would come back to life if written with the status 0 that every
    // written row carries, so it is left out.
    if (row.update_status == kUpdateStatusDeleted) continue;
    out.Byte(kListBegin);
    out.Integer(0);
    for (std::size_t i : saved) {
      const FieldValue& value = row.values[i];
      const bool empty = IsEmptyValue(value);
      out.Boolean(empty);
      if (!empty) WriteValue(out, table.Fields(i).Def(), value);
    }
    out.Byte(kEndOfList);
  }
  out.Byte(kEndOfList);
  out.Flush();
}

void RestoreCurrentRowAfterSave(TMemTable& table) {
  if (table.Filtered() && table.State() == TableState::kBrowse) table.First();
}

// ---------------------------------------------------------------------------------------------
// Reading

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to size bytes; 0 at the end of the input.
  virtual std::size_t Read(char* data, std::size_t size) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* data, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size());
    std::memcpy(data, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::ifstream& in) : in_(in) {}
  std::size_t Read(char* data, std::size_t size) override {
    in_.read(data, static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in_.gcount());
  }

 private:
  std::ifstream& in_;
};

// Reads tagged values, fetching input in pieces of the format's buffer size. Lengths in the
// input never allocate ahead: a string grows only as its bytes actually arrive.
class ValueReader {
 public:
  explicit ValueReader(ByteSource& source) : source_(source), buffer_(kBufferSize) {}

  std::uint8_t Byte() {
    if (position_ == length_) Fill();
    return static_cast<std::uint8_t>(buffer_[position_++]);
  }

  std::uint8_t Peek() {
    if (position_ == length_) Fill();
    return static_cast<std::uint8_t>(buffer_[position_]);
  }

  void Bytes(std::uint64_t count, std::string& out) {
    while (count > 0) {
      if (position_ == length_) Fill();
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, length_ - position_));
      out.append(buffer_.data() + position_, n);
      position_ += n;
      count -= n;
    }
  }

  std::uint64_t LittleEndian(int byte_count) {
    std::uint64_t value = 0;
    for (int i = 0; i < byte_count; ++i) value |= std::uint64_t{Byte()} << (8 * i);
    return value;
  }

  void ListBegin() {
    if (Byte() != kListBegin) Throw(kInvalidPropertyValue);
  }
  void ListEnd() {
    if (Byte() != kEndOfList) Throw(kInvalidPropertyValue);
  }
  bool EndOfList() { return Peek() == kEndOfList; }

  std::int64_t Integer() { return IntegerAfterTag(Byte()); }

  std::int64_t IntegerAfterTag(std::uint8_t tag) {
    switch (tag) {
      case kInt8:
        return static_cast<std::int8_t>(LittleEndian(1));
      case kInt16:
        return static_cast<std::int16_t>(LittleEndian(2));
      case kInt32:
        return static_cast<std::int32_t>(LittleEndian(4));
      default:
        Throw(kInvalidPropertyValue);
    }
  }

  std::string String() {
    std::string text;
    switch (Byte()) {
      case kShortString:
        Bytes(Byte(), text);
        return FromLatin1(std::move(text));
      case kLongString:
        Bytes(LittleEndian(4), text);
        return FromLatin1(std::move(text));
      case kUtf8String:
        Bytes(LittleEndian(4), text);
        return text;
      case kWideString:
        Bytes(LittleEndian(4) * 2, text);
        return FromUtf16(text);
      default:
        Throw(kInvalidPropertyValue);
    }
  }

  // Any byte but the true tag reads as false, and nothing after it is skipped.
  bool Boolean() { return Byte() == kTrue; }

  double Float() {
    const std::uint8_t tag = Byte();
    if (tag != kExtended) return static_cast<double>(IntegerAfterTag(tag));
    const std::uint64_t mantissa = LittleEndian(8);
    const auto top = static_cast<std::uint16_t>(LittleEndian(2));
    const int exponent = top & 0x7FFF;
    const double sign = (top & 0x8000) != 0 ? -1.0 : 1.0;
    if (exponent == 0x7FFF) {
      return (mantissa << 1) == 0 ? sign * std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::quiet_NaN();
    }
    // The mantissa carries its integer bit explicitly: value = mantissa * 2^(exponent-16383-63).
    const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    return sign * std::ldexp(static_cast<double>(mantissa), scale);
  }

 private:
  void Fill() {
    length_ = source_.Read(buffer_.data(), buffer_.size());
    position_ = 0;
    if (length_ == 0) Throw(kStreamReadError);
  }

  // Text stored as single bytes by other writers is taken as Latin-1; ASCII stays as it is.
  static std::string FromLatin1(std::string bytes) {
    if (IsAscii(bytes)) return bytes;
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) AppendUtf8(text, c);
    return text;
  }

  static std::string FromUtf16(const std::string& units) {
    std::string text;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
      std::uint32_t unit = static_cast<unsigned char>(units[i]) |
                           static_cast<std::uint32_t>(static_cast<unsigned char>(units[i + 1]))
                               << 8;
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < units.size()) {
        const std::uint32_t low =
            static_cast<unsigned char>(units[i + 2]) |
            static_cast<std::uint32_t>(static_cast<unsigned char>(units[i + 3])) << 8;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;  // a lone surrogate
      AppendUtf8(text, unit);
    }
    return text;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  ByteSource& source_;
  std::vector<char> buffer_;
  std::size_t position_ = 0;
  std::size_t length_ = 0;
};

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

FieldValue ReadValue(ValueReader& in, const TFieldDef& def) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kInteger:
      return ValueFromInteger(def, in.Integer());  // a Word outside 0..65535 is refused here
    case ValueClass::kBoolean:
      return in.Boolean();
    case ValueClass::kText:
      return CutToFieldSize(def, in.String());
    case ValueClass::kFloat: {
      const double value = in.Float();
      const bool is_date = def.type == FieldType::kDate || def.type == FieldType::kTime ||
                           def.type == FieldType::kDateTime;
      if (is_date && value == 0) return {};
      return ValueFromFloat(def, value);
    }
  }
  return {};
}

std::vector<FieldValue> ReadRowValues(ValueReader& in, const TMemTable& table, int version) {
  std::vector<FieldValue> values(table.FieldCount());
  for (std::size_t i = 0; i < table.FieldCount(); ++i) {
    const TFieldDef& def = table.Fields(i).Def();
    if (!def.IsSaved()) continue;
    const bool empty = version >= kVersionNullFlags && in.Boolean();
    if (!empty) values[i] = ReadValue(in, def);
  }
  return values;
}

TFieldDef ReadFieldDef(ValueReader& in, int version, std::string& type_name) {
  TFieldDef def;
  def.name = in.String();
  type_name = in.String();
  def.size = ClampToInt(in.Integer());
  def.display_label = in.String();
  def.edit_mask = in.String();
  def.display_width = ClampToInt(in.Integer());
  def.required = in.Boolean();
  def.read_only = in.Boolean();
  if (version >= kVersionFieldKind) def.kind = FieldKindFromName(in.String());
  if (version >= kVersionDefaults) def.default_expression = in.String();
  return def;
}

void ReadTable(TMemTable& table, ValueReader& in) {
  std::string signature;
  in.Bytes(kSignature.size(), signature);
  if (signature != kSignature) Throw(kInvalidStreamFormat);

  int version = kVersionUnstated;
  if (in.Peek() != kListBegin) version = ClampToInt(in.Integer());

  in.ListBegin();
  bool defined = false;
  while (!in.EndOfList()) {
    if (!defined) {
      table.Close();
      table.ClearFields();
      defined = true;
    }
    std::string type_name;
    TFieldDef def = ReadFieldDef(in, version, type_name);
    const auto type = FieldTypeFromName(type_name);
    if (!type) Throw("Unknown field type (" + type_name + ")");
    def.type = *type;
    table.AddField(std::move(def));
  }
  in.ListEnd();

  if (version >= kVersionIndexList) {
    in.ListBegin();
    std::vector<TIndexDef> indexes;
    while (!in.EndOfList()) {
      TIndexDef index;
      in.String();  // the stored name; the index takes its display name
      index.fields = in.String();
      index.name = in.String();
      index.descending = in.Boolean();
      index.case_insensitive = in.Boolean();
      index.not_maintained = in.Boolean();
      index.unique = in.Boolean();
      indexes.push_back(std::move(index));
    }
    in.ListEnd();
    if (!indexes.empty()) table.SetIndexDefs(std::move(indexes));
  }

  // Without definitions in the file the table keeps its own fields and rows and the file's rows
  // follow them; a closed table is opened for that.
  table.Open();
  // A row being edited has no place in the replaced content.
  table.Cancel();
  if (table.FieldCount() == 0) Throw("Couldnt determine field count for load.");
  table.ResetAutoIncHighWater();

  try {
    in.ListBegin();
    while (!in.EndOfList()) {
      TMemRow row;
      if (version >= kVersionRowEntries) {
        in.ListBegin();
        row.update_status = ClampToInt(in.Integer());
        row.values = ReadRowValues(in, table, version);
        // Older versions of the row may follow; the program has no use for them.
        while (!in.EndOfList()) {
          in.Integer();
          ReadRowValues(in, table, version);
        }
        in.ListEnd();
      } else {
        row.values = ReadRowValues(in, table, version);
      }
      table.AppendStoredRow(std::move(row));
    }
    in.ListEnd();
  } catch (...) {
    // The complete rows read so far stay, with the first one current.
    table.FinishLoading();
    throw;
  }
  table.FinishLoading();
}

void LoadFrom(TMemTable& table, ByteSource& source) {
  ValueReader in(source);
  ReadTable(table, in);
}

}  // namespace

void LoadTableFile(TMemTable& table, const std::string& path) {
  std::error_code ec;
  const bool is_folder = std::filesystem::is_directory(path, ec);
  std::ifstream in;
  if (!is_folder) in.open(path, std::ios::binary);
  if (is_folder || !in) Throw("Cannot open file " + path);
  FileSource source(in);
  LoadFrom(table, source);
}

void LoadTableData(TMemTable& table, std::string_view bytes) {
  MemorySource source(bytes);
  LoadFrom(table, source);
}

void PreparedTableFile::Commit() {
  auto replacement = std::move(replacement_);
  if (!replacement || !replacement->Commit()) Throw("Cannot create file " + path_);
}

PreparedTableFile PrepareTableFile(TMemTable& table, const std::string& path, FileReplacer& files) {
  if (!table.Active()) {
    Throw(table.Name() + ": Cannot perform this operation on a closed dataset");
  }
  auto replacement = files.Begin(path);
  if (!replacement) Throw("Cannot create file " + path);
  ValueWriter out([&replacement](std::string_view data) { return replacement->Write(data); });
  WriteTable(table, out);
  RestoreCurrentRowAfterSave(table);
  return PreparedTableFile(path, std::move(replacement));
}

void SaveTableFile(TMemTable& table, const std::string& path, FileReplacer& files) {
  PrepareTableFile(table, path, files).Commit();
}

std::string TableFileBytes(TMemTable& table) {
  if (!table.Active()) {
    Throw(table.Name() + ": Cannot perform this operation on a closed dataset");
  }
  std::string bytes;
  ValueWriter out([&bytes](std::string_view data) {
    bytes.append(data);
    return true;
  });
  WriteTable(table, out);
  return bytes;
}

}  // namespace mailferry
