#include "settings/table_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/mf_exception.h"
#include "settings/settings_tables.h"
#include "support/failing_file_replacer.h"
#include "support/file_bytes.h"
#include "support/table_file_fixtures.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::FromHex;
using testing::ReadFileBytes;
using testing::TableFileBuilder;
using testing::WriteFileBytes;

std::string LoadError(TMemTable& table, const std::string& bytes) {
  try {
    LoadTableData(table, bytes);
  } catch (const EMfException& error) {
    return error.what();
  }
  return "(loaded)";
}

// A system table holding the default row that first start creates.
void FillDefaultSystemRow(TMemTable& system) {
  DefineSystemTable(system);
  system.Open();
  system.Edit();  // on an empty table: a new row with defaults and Key 0
  system.FieldByName("Schedule").SetAsInteger(5);
  system.Post();
}

TEST(TableFileTest, FreshSettingsFileIs816BytesOfTheWorkedExample) {
  testing::TempDir dir;
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  system.Open();
  const auto path = dir.prefix() + "MFY_Settings.db";
  SaveTableFile(system, path);
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 816u);
  EXPECT_EQ(bytes, testing::FreshSettingsFile());
}

TEST(TableFileTest, DefaultRowGivesThe851BytesOfTheWorkedExample) {
  testing::TempDir dir;
  TMemTable system("dbSystem");
  FillDefaultSystemRow(system);
  const auto path = dir.prefix() + "MFY_Settings.db";
  SaveTableFile(system, path);
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 851u);
  EXPECT_EQ(bytes, testing::WorkedExampleSettingsFile());
}

TEST(TableFileTest, SavedFilesArePrivate) {
  testing::TempDir dir;
  TMemTable system("dbSystem");
  FillDefaultSystemRow(system);
  const auto path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, "old");
  chmod(path.c_str(), 0644);
  SaveTableFile(system, path);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(TableFileTest, LoadingTheWorkedExampleGivesTheDefaultRowAndDefinitions) {
  testing::TempDir dir;
  const auto path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, testing::WorkedExampleSettingsFile());
  TMemTable system("dbSystem");  // no fields of its own: the file defines them
  LoadTableFile(system, path);
  ASSERT_TRUE(system.Active());
  ASSERT_EQ(system.FieldCount(), 15u);
  EXPECT_EQ(system.RecordCount(), 1);
  EXPECT_EQ(system.FieldByName("key").AsInteger(), 0);
  EXPECT_EQ(system.FieldByName("Schedule").AsInteger(), 5);
  EXPECT_EQ(system.FieldByName("SMTPPort").AsInteger(), 25);
  EXPECT_EQ(system.FieldByName("MaxAccountID").AsInteger(), 1);
  EXPECT_FALSE(system.FieldByName("CheckLog").AsBoolean());
  EXPECT_TRUE(system.FieldByName("ExchangeServer").IsNull());
  EXPECT_EQ(system.FieldByName("RASConnection").Def().size, 250);
  EXPECT_EQ(system.FieldByName("Key").DataType(), FieldType::kAutoInc);
  EXPECT_EQ(system.FieldByName("SMTPPort").Def().default_expression, "25");
  EXPECT_EQ(system.AutoIncHighWater(), 0);
  // Loading and saving again gives the same bytes.
  EXPECT_EQ(TableFileBytes(system), testing::WorkedExampleSettingsFile());
}

TEST(TableFileTest, AllThreeTablesRoundTripWithNonAsciiText) {
  testing::TempDir dir;
  TMemTable accounts("dbAccounts"), recipients("dbSendAddresses"), system("dbSystem");
  DefineAccountsTable(accounts);
  DefineSendAddressesTable(recipients);
  FillDefaultSystemRow(system);
  accounts.Open();
  recipients.Open();

  accounts.Append();
  accounts.FieldByName("AccountID").SetAsInteger(2);
  accounts.FieldByName("AccountName").SetAsString("Büro Zürich");
  accounts.FieldByName("Pop3Server").SetAsString("127.0.0.1");
  accounts.FieldByName("Pop3Port").SetAsInteger(65535);
  accounts.FieldByName("Pop3Password").SetAsString("pässwörd✓");
  accounts.FieldByName("Pop3KeepMessages").SetAsBoolean(true);
  accounts.FieldByName("Pop3KeepTime").SetAsInteger(-70000);
  accounts.FieldByName("SMTPDomainName").SetAsString(std::string(300, 'd'));  // cut to 250
  accounts.Post();
  accounts.Append();
  accounts.FieldByName("AccountID").SetAsInteger(3);
  accounts.FieldByName("AccountName").SetAsString("");  // empty text, not an empty field
  accounts.Post();

  recipients.Append();
  recipients.FieldByName("Key").SetAsInteger(2);
  recipients.FieldByName("AccountID").SetAsInteger(2);
  recipients.FieldByName("EmailAddress").SetAsString("日本語@例え.jp");
  recipients.Post();

  system.Edit();
  system.FieldByName("RASConnection").SetAsString("Verbindung Ω");
  system.FieldByName("ExchangeServer").SetAsString(std::string(50, 'x'));
  system.Post();

  for (TMemTable* table : {&accounts, &recipients, &system}) {
    const auto path = dir.prefix() + table->Name() + ".db";
    SaveTableFile(*table, path);
    TMemTable loaded(table->Name());
    LoadTableFile(loaded, path);
    ASSERT_EQ(loaded.FieldCount(), table->FieldCount()) << table->Name();
    ASSERT_EQ(loaded.StoredRowCount(), table->StoredRowCount()) << table->Name();
    for (std::size_t r = 0; r < table->StoredRowCount(); ++r) {
      EXPECT_EQ(loaded.StoredRow(r).values, table->StoredRow(r).values) << table->Name() << r;
    }
    for (std::size_t f = 0; f < table->FieldCount(); ++f) {
      EXPECT_EQ(loaded.Fields(f).Def().name, table->Fields(f).Def().name);
      EXPECT_EQ(loaded.Fields(f).Def().type, table->Fields(f).Def().type);
      EXPECT_EQ(loaded.Fields(f).Def().size, table->Fields(f).Def().size);
      EXPECT_EQ(loaded.Fields(f).Def().default_expression,
                table->Fields(f).Def().default_expression);
    }
  }
  accounts.First();
  EXPECT_EQ(accounts.FieldByName("SMTPDomainName").AsString().size(), 250u);
  accounts.Next();
  EXPECT_FALSE(accounts.FieldByName("AccountName").IsNull());
  EXPECT_TRUE(accounts.FieldByName("Pop3Server").IsNull());
}

// The row list at the end of a file of a one-field table holding one row with the value.
std::string RowTail(FieldType type, int size, const FieldValue& value) {
  TMemTable table("t");
  table.AddField(MakeFieldDef("F", type, size));
  table.Open();
  table.Append();
  table.Fields(0).SetValue(value);
  table.Post();
  const std::string bytes = TableFileBytes(table);
  // Everything after "row list begins, row begins, status 0, null flag false".
  const auto start = bytes.rfind(FromHex("01 01 02 00 08"));
  return bytes.substr(start + 5);
}

TEST(TableFileTest, ValuesAreWrittenInTheirSmallestForm) {
  struct Case {
    FieldType type;
    int size;
    FieldValue value;
    std::string expected_hex;  // the value, then row end and row list end
  };
  const std::string long_text(256, 'a');
  const std::vector<Case> cases = {
      {FieldType::kInteger, 0, std::int64_t{5}, "02 05 00 00"},
      {FieldType::kInteger, 0, std::int64_t{-128}, "02 80 00 00"},
      {FieldType::kInteger, 0, std::int64_t{251}, "03 FB 00 00 00"},
      {FieldType::kInteger, 0, std::int64_t{-32768}, "03 00 80 00 00"},
      {FieldType::kInteger, 0, std::int64_t{70000}, "04 70 11 01 00 00 00"},
      {FieldType::kInteger, 0, std::int64_t{-2147483647 - 1}, "04 00 00 00 80 00 00"},
      {FieldType::kBoolean, 0, true, "09 00 00"},
      {FieldType::kBoolean, 0, false, "08 00 00"},
      {FieldType::kString, 50, std::string(), "06 00 00 00"},
      {FieldType::kString, 50, std::string("ab"), "06 02 61 62 00 00"},
      {FieldType::kString, 50, std::string("é"), "14 02 00 00 00 C3 A9 00 00"},
      {FieldType::kFloat, 0, 1.5, "05 00 00 00 00 00 00 00 C0 FF 3F 00 00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RowTail(c.type, c.size, c.value), FromHex(c.expected_hex)) << c.expected_hex;
  }
  const std::string tail = RowTail(FieldType::kMemo, 0, long_text);
  EXPECT_EQ(tail.substr(0, 5), FromHex("0C 00 01 00 00"));
  EXPECT_EQ(tail.size(), 5 + 256 + 2u);
}

TEST(TableFileTest, StringFieldKeepsItsFirstNCharactersFromEditorsAndFiles) {
  TMemTable table("t");
  table.AddField(MakeFieldDef("Name", FieldType::kString, 50));
  table.Open();
  table.Append();
  table.FieldByName("Name").SetAsString(std::string(49, 'a') + "äö");  // 51 characters
  table.Post();
  EXPECT_EQ(table.FieldByName("Name").AsString(), std::string(49, 'a') + "ä");

  // A file that holds more than the declared length is cut on reading too.
  const std::string file = TableFileBuilder()
                               .Signature()
                               .Int(251)
                               .Begin()
                               .Def("Name", "String", 3)
                               .End()
                               .Begin()
                               .End()
                               .Begin()
                               .Begin()
                               .Int(0)
                               .Bool(false)
                               .Utf8Str("ñañaña")
                               .End()
                               .End()
                               .bytes();
  TMemTable loaded("t");
  LoadTableData(loaded, file);
  EXPECT_EQ(loaded.FieldByName("Name").AsString(), "ñañ");
}

struct LoadErrorCase {
  const char* what;
  std::string bytes;
  std::string message;
};

TableFileBuilder SystemHeader(int version = 251) {
  TableFileBuilder builder;
  builder.Signature().Int(version);
  return builder;
}

TEST(TableFileTest, MalformedFilesRaiseTheirMessages) {
  const std::string worked = testing::WorkedExampleSettingsFile();
  std::string word_out_of_range = worked;
  word_out_of_range.replace(0x0336, 2, FromHex("04 70 11 01 00"));  // Schedule = 70000
  std::string bad_version = worked;
  bad_version[4] = '\x06';  // a string tag where the version integer belongs

  const std::vector<LoadErrorCase> cases = {
      {"empty file", "", "Stream read error"},
      {"short signature", "TP", "Stream read error"},
      {"foreign signature", "PK\x03\x04" + worked.substr(4), "Invalid stream format"},
      {"lower-case signature", "tpf0" + worked.substr(4), "Invalid stream format"},
      {"version tag", bad_version, "Invalid property value"},
      {"no list begin", SystemHeader().Int(3).bytes(), "Invalid property value"},
      {"integer tag where a string belongs", SystemHeader().Begin().Int(1).bytes(),
       "Invalid property value"},
      {"string tag where the size belongs",
       SystemHeader().Begin().Str("Key").Str("Integer").Str("0").bytes(), "Invalid property value"},
      {"unknown type", SystemHeader().Begin().Def("Key", "Cardinal").End().bytes(),
       "Unknown field type (Cardinal)"},
      {"rejected type", SystemHeader().Begin().Def("Key", "WideString").End().bytes(),
       "Unknown field type (WideString)"},
      {"type name in another case", SystemHeader().Begin().Def("Key", "string", 5).End().bytes(),
       "Unknown field type (string)"},
      {"empty field name", SystemHeader().Begin().Def("", "Integer").End().bytes(),
       "dbSystem: Field name missing"},
      {"duplicate field name",
       SystemHeader()
           .Begin()
           .Def("MaxAccountID", "Integer")
           .Def("MAXACCOUNTID", "Word")
           .End()
           .bytes(),
       "A component named MAXACCOUNTID already exists"},
      {"word out of range", word_out_of_range,
       "70000 is not a valid value for field 'Schedule'. The allowed range is 0 to 65535"},
      {"negative word",
       SystemHeader()
           .Begin()
           .Def("Port", "Word")
           .End()
           .Begin()
           .End()
           .Begin()
           .Begin()
           .Int(0)
           .Bool(false)
           .Int(-1)
           .End()
           .End()
           .bytes(),
       "-1 is not a valid value for field 'Port'. The allowed range is 0 to 65535"},
      {"no fields", SystemHeader().Begin().End().Begin().End().Begin().End().bytes(),
       "Couldnt determine field count for load."},
      {"row entry without list begin",
       SystemHeader().Begin().Def("Key", "Integer").End().Begin().End().Begin().Int(0).bytes(),
       "Invalid property value"},
      {"long string longer than the file",
       SystemHeader().Begin().Hex("0C FF FF FF 7F").Raw("abc").bytes(), "Stream read error"},
      {"UTF-8 string longer than the file",
       SystemHeader().Begin().Hex("14 00 00 00 80").Raw("abc").bytes(), "Stream read error"},
      {"wide string longer than the file",
       SystemHeader().Begin().Hex("12 FF FF FF FF").Raw("abc").bytes(), "Stream read error"},
      {"missing row list end", worked.substr(0, worked.size() - 1), "Stream read error"},
  };
  for (const LoadErrorCase& c : cases) {
    TMemTable table("dbSystem");
    EXPECT_EQ(LoadError(table, c.bytes), c.message) << c.what;
  }
}

TEST(TableFileTest, EveryTruncationOfTheWorkedExampleIsAStreamReadError) {
  const std::string worked = testing::WorkedExampleSettingsFile();
  for (std::size_t length = 0; length < worked.size(); ++length) {
    TMemTable table("dbSystem");
    ASSERT_EQ(LoadError(table, worked.substr(0, length)), "Stream read error") << length;
  }
}

TEST(TableFileTest, WordRangeMessageNamesTheDisplayLabel) {
  TableFileBuilder file;
  file.Signature().Int(251).Begin();
  file.Str("Schedule")
      .Str("Word")
      .Int(0)
      .Str("Minutes")
      .Str("")
      .Int(10)
      .Bool(false)
      .Bool(false)
      .Str("Data")
      .Str("");
  file.End().Begin().End().Begin().Begin().Int(0).Bool(false).Int(65536).End().End();
  TMemTable table("dbSystem");
  EXPECT_EQ(LoadError(table, file.bytes()),
            "65536 is not a valid value for field 'Minutes'. The allowed range is 0 to 65535");
}

TEST(TableFileTest, FileErrorsNameThePath) {
  testing::TempDir dir;
  TMemTable table("dbSystem");
  const std::string missing = dir.prefix() + "MFY_Settings.db";
  EXPECT_THROW(
      {
        try {
          LoadTableFile(table, missing);
        } catch (const EMfException& error) {
          EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
          throw;
        }
      },
      EMfException);
  std::filesystem::create_directory(missing);
  try {
    LoadTableFile(table, missing);
    ADD_FAILURE() << "a folder loaded";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
  }

  FillDefaultSystemRow(table);
  const std::string no_folder = dir.prefix() + "gone/MFY_Settings.db";
  try {
    SaveTableFile(table, no_folder);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file " + no_folder);
  }

  TMemTable closed("dbAccounts");
  DefineAccountsTable(closed);
  try {
    SaveTableFile(closed, dir.prefix() + "MFY_Accounts.db");
    ADD_FAILURE() << "saved a closed table";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()),
              "dbAccounts: Cannot perform this operation on a closed dataset");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.prefix() + "MFY_Accounts.db"));
}

TEST(TableFileTest, AFailedSaveKeepsThePreviousFile) {
  testing::TempDir dir;
  const auto path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, testing::FreshSettingsFile());
  TMemTable system("dbSystem");
  FillDefaultSystemRow(system);

  testing::FailingFileReplacer failing_write;
  failing_write.FailWritesAfter(100);
  try {
    SaveTableFile(system, path, failing_write);
    ADD_FAILURE() << "the write did not fail";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()), "Stream write error");
  }
  testing::FailingFileReplacer failing_commit;
  failing_commit.FailCommitAfter(0);
  try {
    SaveTableFile(system, path, failing_commit);
    ADD_FAILURE() << "the commit did not fail";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file " + path);
  }
  EXPECT_EQ(ReadFileBytes(path), testing::FreshSettingsFile());
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(TableFileTest, OutputGoesOutInBuffersOf16384Bytes) {
  testing::TempDir dir;
  TMemTable table("t");
  table.AddField(MakeFieldDef("Text", FieldType::kString, 250));
  table.Open();
  for (int i = 0; i < 200; ++i) {
    table.Append();
    table.Fields(0).SetAsString(std::string(250, 'a' + i % 26));
    table.Post();
  }
  testing::FailingFileReplacer recorder;
  SaveTableFile(table, dir.prefix() + "t.db", recorder);
  const std::size_t total = ReadFileBytes(dir.prefix() + "t.db").size();
  ASSERT_EQ(recorder.write_sizes().size(), 4u);
  EXPECT_EQ(recorder.write_sizes()[0], 16384u);
  EXPECT_EQ(recorder.write_sizes()[1], 16384u);
  EXPECT_EQ(recorder.write_sizes()[2], 16384u);
  EXPECT_EQ(recorder.write_sizes()[3], total - 3 * 16384);
}

TEST(TableFileTest, AFailureBeforeTheDefinitionsLeavesTheTableAsItWas) {
  TMemTable system("dbSystem");
  FillDefaultSystemRow(system);
  system.Append();
  system.Post();  // a second row, current
  const std::string bad_version = "TPF0" + FromHex("06");
  for (const std::string& bytes :
       {std::string("TPF"), std::string("XPF0"), bad_version, "TPF0" + FromHex("03 FB 00")}) {
    EXPECT_NE(LoadError(system, bytes), "(loaded)");
    EXPECT_TRUE(system.Active());
    EXPECT_EQ(system.FieldCount(), 15u);
    EXPECT_EQ(system.RecordCount(), 2);
    EXPECT_EQ(system.RecNo(), 2);
  }
}

TEST(TableFileTest, ALaterFailureKeepsTheDefinitionsAndCompleteRowsReadSoFar) {
  TMemTable table("dbSendAddresses");
  DefineSendAddressesTable(table);
  table.Open();
  table.Append();
  table.Post();

  // Two definitions, then a broken third one.
  const std::string in_definitions =
      SystemHeader().Begin().Def("A", "Integer").Def("B", "String", 5).Def("C", "Nope").bytes();
  EXPECT_EQ(LoadError(table, in_definitions), "Unknown field type (Nope)");
  EXPECT_FALSE(table.Active());
  ASSERT_EQ(table.FieldCount(), 2u);
  EXPECT_EQ(table.Fields(1).FieldName(), "B");

  // Two complete rows, then a truncated third.
  TableFileBuilder rows = SystemHeader();
  rows.Begin().Def("A", "Integer").Def("B", "String", 5).End().Begin().End().Begin();
  rows.Begin().Int(0).Bool(false).Int(1).Bool(false).Str("one").End();
  rows.Begin().Int(0).Bool(false).Int(2).Bool(true).End();
  rows.Begin().Int(0).Bool(false).Int(3);
  EXPECT_EQ(LoadError(table, rows.bytes()), "Stream read error");
  ASSERT_TRUE(table.Active());
  EXPECT_EQ(table.RecordCount(), 2);
  EXPECT_EQ(table.RecNo(), 1);
  EXPECT_EQ(table.FieldByName("B").AsString(), "one");
}

// One row of the same content (Key 7, Name "x", Flag true) in each older layout.
struct VersionCase {
  const char* what;
  std::string bytes;
};

std::vector<VersionCase> OlderVersionFiles() {
  std::vector<VersionCase> cases;
  const auto defs = [](TableFileBuilder& b, int items) {
    b.Begin()
        .Def("Key", "AutoInc", 0, items)
        .Def("Name", "String", 20, items)
        .Def("Flag", "Boolean", 0, items)
        .End();
  };
  {
    TableFileBuilder b;  // no version: a list begin follows the signature
    b.Signature();
    defs(b, 8);
    b.Begin().Int(7).Str("x").Bool(true).End();
    cases.push_back({"version 100 (unstated)", b.bytes()});
  }
  {
    TableFileBuilder b;
    b.Signature().Int(199);
    defs(b, 8);
    b.Begin().Int(7).Str("x").Bool(true).End();
    cases.push_back({"version 199: no index list", b.bytes()});
  }
  {
    TableFileBuilder b;
    b.Signature().Int(200);
    defs(b, 8);
    b.Begin().End();
    b.Begin().Int(7).Str("x").Bool(true).End();
    cases.push_back({"version 200: flat rows", b.bytes()});
  }
  {
    TableFileBuilder b;
    b.Signature().Int(230);
    defs(b, 8);
    b.Begin().End();
    b.Begin().Begin().Int(0).Int(7).Str("x").Bool(true).End().End();
    cases.push_back({"version 230: rows without null flags", b.bytes()});
  }
  {
    TableFileBuilder b;
    b.Signature().Int(249);
    defs(b, 8);
    b.Begin().End();
    b.Begin()
        .Begin()
        .Int(1)
        .Bool(false)
        .Int(7)
        .Bool(false)
        .Str("x")
        .Bool(false)
        .Bool(true)
        .End()
        .End();
    cases.push_back({"version 249: no kind, no default", b.bytes()});
  }
  {
    TableFileBuilder b;
    b.Signature().Int(250);
    defs(b, 9);
    b.Begin().End();
    // The row carries an older version of itself after the current one.
    b.Begin()
        .Begin()
        .Int(0)
        .Bool(false)
        .Int(7)
        .Bool(false)
        .Str("x")
        .Bool(false)
        .Bool(true)
        .Int(1)
        .Bool(false)
        .Int(7)
        .Bool(false)
        .Str("old")
        .Bool(true)
        .End()
        .End();
    cases.push_back({"version 250: no default, an older row version", b.bytes()});
  }
  return cases;
}

TEST(TableFileTest, OlderVersionsLoad) {
  for (const VersionCase& c : OlderVersionFiles()) {
    TMemTable table("t");
    ASSERT_EQ(LoadError(table, c.bytes), "(loaded)") << c.what;
    ASSERT_EQ(table.FieldCount(), 3u) << c.what;
    EXPECT_EQ(table.FieldByName("Name").Def().size, 20) << c.what;
    EXPECT_EQ(table.FieldByName("Flag").Def().kind, FieldKind::kData) << c.what;
    EXPECT_EQ(table.FieldByName("Flag").Def().default_expression, "") << c.what;
    ASSERT_EQ(table.RecordCount(), 1) << c.what;
    EXPECT_EQ(table.FieldByName("Key").AsInteger(), 7) << c.what;
    EXPECT_EQ(table.FieldByName("Name").AsString(), "x") << c.what;
    EXPECT_TRUE(table.FieldByName("Flag").AsBoolean()) << c.what;
    EXPECT_EQ(table.AutoIncHighWater(), 7) << c.what;
    // Saved again, it is a current file.
    const std::string saved = TableFileBytes(table);
    EXPECT_EQ(saved.substr(4, 3), FromHex("03 FB 00")) << c.what;
  }
}

TEST(TableFileTest, OtherFieldTypesAreReadAndKeptOnSaving) {
  TableFileBuilder b;
  b.Signature().Int(251).Begin();
  b.Def("Small", "SmallInt")
      .Def("Real", "Float")
      .Def("Money", "Currency")
      .Def("Day", "Date")
      .Def("Stamp", "DateTime")
      .Def("Big", "LargeInt")
      .Def("Note", "Memo")
      .Def("Wide", "String", 20)
      .Def("Old", "String", 20);
  // A calculated field: defined, but its values are not part of the rows.
  b.Str("Calc")
      .Str("Integer")
      .Int(0)
      .Str("Calc")
      .Str("")
      .Int(10)
      .Bool(false)
      .Bool(false)
      .Str("Calculated")
      .Str("");
  b.End();
  b.Begin()
      .Str("ByKey")
      .Str("Small")
      .Str("ByKey")
      .Bool(false)
      .Bool(true)
      .Bool(false)
      .Bool(true)
      .End();
  b.Begin().Begin().Int(0);
  b.Bool(false).Int(-300);
  b.Bool(false).Extended(2.5L);
  b.Bool(false).Extended(12.345678L);
  b.Bool(false).Extended(0.0L);  // a day count of 0 reads as an empty field
  b.Bool(false).Int(45000);      // an integer where a floating-point number is expected
  b.Bool(false).Extended(-1e12L);
  b.Bool(false).LongStr(std::string(300, 'm'));
  b.Bool(false).WideStr(u"Grüße 🙂");
  b.Bool(false).Raw(
      "\x06\x04"
      "caf\xE9");  // a single-byte non-ASCII text
  b.End().End();

  TMemTable table("t");
  ASSERT_EQ(LoadError(table, b.bytes()), "(loaded)");
  EXPECT_EQ(table.FieldByName("Small").AsInteger(), -300);
  EXPECT_EQ(std::get<double>(table.FieldByName("Real").Value()), 2.5);
  EXPECT_EQ(std::get<double>(table.FieldByName("Money").Value()), 12.3457);
  EXPECT_TRUE(table.FieldByName("Day").IsNull());
  EXPECT_EQ(std::get<double>(table.FieldByName("Stamp").Value()), 45000.0);
  EXPECT_EQ(std::get<double>(table.FieldByName("Big").Value()), -1e12);
  EXPECT_EQ(table.FieldByName("Note").AsString(), std::string(300, 'm'));
  EXPECT_EQ(table.FieldByName("Wide").AsString(), "Grüße 🙂");
  EXPECT_EQ(table.FieldByName("Old").AsString(), "café");
  EXPECT_TRUE(table.FieldByName("Calc").IsNull());
  ASSERT_EQ(table.IndexDefs().size(), 1u);
  EXPECT_EQ(table.IndexDefs()[0].fields, "Small");
  EXPECT_TRUE(table.IndexDefs()[0].case_insensitive);
  EXPECT_TRUE(table.IndexDefs()[0].unique);

  TMemTable again("t");
  LoadTableData(again, TableFileBytes(table));
  ASSERT_EQ(again.StoredRowCount(), 1u);
  const auto& values = table.StoredRow(0).values;
  EXPECT_EQ(again.StoredRow(0).values, std::vector<FieldValue>(values.begin(), values.end() - 1));
  EXPECT_EQ(again.IndexDefs().size(), 1u);
  EXPECT_EQ(again.FieldByName("Money").DataType(), FieldType::kCurrency);
  EXPECT_EQ(again.FindField("Calc"), nullptr);  // only data fields are saved
}

TEST(TableFileTest, UnexpectedBooleanTagReadsFalseWithoutSkippingItsPayload) {
  // The Boolean position holds 02 01: 02 reads as false, then 01 is taken as the row's end...
  // which is wrong, so the reader fails as the original layout would.
  TableFileBuilder b;
  b.Signature().Int(251).Begin().Def("Flag", "Boolean").End().Begin().End();
  b.Begin().Begin().Int(0).Bool(false).Hex("02").End().End();
  TMemTable table("t");
  ASSERT_EQ(LoadError(table, b.bytes()), "(loaded)");
  EXPECT_FALSE(table.FieldByName("Flag").AsBoolean());
  EXPECT_FALSE(table.FieldByName("Flag").IsNull());

  TableFileBuilder misread;
  misread.Signature().Int(251).Begin().Def("Flag", "Boolean").End().Begin().End();
  misread.Begin().Begin().Int(0).Bool(false).Hex("06 01").End().End();
  EXPECT_EQ(LoadError(table, misread.bytes()), "Invalid property value");
}

TEST(TableFileTest, RowsMarkedDeletedAreHiddenAndNotWrittenBack) {
  TableFileBuilder b;
  b.Signature().Int(251).Begin().Def("Key", "Integer").End().Begin().End().Begin();
  b.Begin().Int(0).Bool(false).Int(1).End();
  b.Begin().Int(3).Bool(false).Int(2).End();
  b.Begin().Int(2).Bool(false).Int(3).End();
  b.End();
  TMemTable table("t");
  LoadTableData(table, b.bytes());
  EXPECT_EQ(table.RecordCount(), 2);
  table.Next();
  EXPECT_EQ(table.FieldByName("Key").AsInteger(), 3);

  TMemTable again("t");
  LoadTableData(again, TableFileBytes(table));
  EXPECT_EQ(again.StoredRowCount(), 2u);
}

TEST(TableFileTest, SavingWithAFilterOnWritesAllRowsAndKeepsTheFilter) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  for (int key = 2; key <= 5; ++key) {
    recipients.Append();
    recipients.FieldByName("Key").SetAsInteger(key);
    recipients.FieldByName("AccountID").SetAsInteger(key % 2 == 0 ? 7 : 8);
    recipients.Post();
  }
  recipients.SetFilter("AccountID=7");
  recipients.SetFiltered(true);
  recipients.Last();
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 4);

  const std::string bytes = TableFileBytes(recipients);
  TMemTable loaded("dbSendAddresses");
  LoadTableData(loaded, bytes);
  EXPECT_EQ(loaded.RecordCount(), 4);

  testing::TempDir dir;
  SaveTableFile(recipients, dir.prefix() + "MFY_AccountDetails.db");
  EXPECT_TRUE(recipients.Filtered());
  EXPECT_EQ(recipients.RecordCount(), 2);
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 2);  // the first passing row
}

TEST(TableFileTest, LoadedDefinitionsGovernNewRows) {
  // A settings file whose SMTPPort has no default and which lacks CheckLog.
  TableFileBuilder b;
  b.Signature().Int(251).Begin();
  b.Def("Key", "AutoInc")
      .Def("Schedule", "Word")
      .Def("SMTPPort", "Word", 0, 10, "")
      .Def("MaxAccountID", "Integer", 0, 10, "1");
  b.End().Begin().End().Begin();
  b.Begin()
      .Int(0)
      .Bool(false)
      .Int(41)
      .Bool(false)
      .Int(5)
      .Bool(false)
      .Int(25)
      .Bool(false)
      .Int(9)
      .End();
  b.End();
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  LoadTableData(system, b.bytes());
  EXPECT_EQ(system.FieldCount(), 4u);
  try {
    system.FieldByName("CheckLog");
    ADD_FAILURE() << "CheckLog found";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()), "dbSystem: Field 'CheckLog' not found");
  }
  system.Append();
  EXPECT_TRUE(system.FieldByName("SMTPPort").IsNull());
  EXPECT_EQ(system.FieldByName("MaxAccountID").AsInteger(), 1);
  EXPECT_EQ(system.FieldByName("Key").AsInteger(), 42);  // above the loaded 41
  system.Cancel();
}

TEST(TableFileTest, AnEmptyDefinitionListAddsTheRowsToTheTablesOwn) {
  TMemTable table("dbSendAddresses");
  DefineSendAddressesTable(table);
  table.Open();
  table.Append();
  table.FieldByName("Key").SetAsInteger(1);
  table.Post();
  TableFileBuilder b;
  b.Signature().Int(251).Begin().End().Begin().End().Begin();
  b.Begin().Int(0).Bool(false).Int(2).Bool(true).Bool(false).Str("x").End();
  b.End().Raw("trailing bytes are ignored");
  ASSERT_EQ(LoadError(table, b.bytes()), "(loaded)");
  EXPECT_EQ(table.RecordCount(), 2);
  table.Last();
  EXPECT_EQ(table.FieldByName("EmailAddress").AsString(), "x");
}

}  // namespace
}  // namespace mailferry
