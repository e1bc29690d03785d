#include "settings/settings_tables.h"

namespace mailferry {
namespace {

void Define(TMemTable& table, std::initializer_list<TFieldDef> defs) {
  table.Close();
  table.ClearFields();
  for (const TFieldDef& def : defs) table.AddField(def);
}

}  // namespace

void DefineAccountsTable(TMemTable& table) {
  Define(table, {
                    MakeFieldDef("AccountID", FieldType::kAutoInc),
                    MakeFieldDef("AccountName", FieldType::kString, 50),
                    MakeFieldDef("ForwardMethod", FieldType::kInteger, 0, "0"),
                    MakeFieldDef("Pop3Server", FieldType::kString, 50),
                    MakeFieldDef("Pop3Port", FieldType::kWord, 0, "110"),
                    MakeFieldDef("Pop3UserName", FieldType::kString, 50),
                    MakeFieldDef("Pop3Password", FieldType::kString, 50),
                    MakeFieldDef("Pop3DomainName", FieldType::kString, 50),
                    MakeFieldDef("Pop3KeepMessages", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("Pop3KeepTime", FieldType::kInteger, 0, "0"),
                    MakeFieldDef("SMTPDomainName", FieldType::kString, 250),
                });
}

void DefineSendAddressesTable(TMemTable& table) {
  Define(table, {
                    MakeFieldDef("Key", FieldType::kInteger),
                    MakeFieldDef("AccountID", FieldType::kInteger),
                    MakeFieldDef("EmailAddress", FieldType::kString, 50),
                });
}

void DefineSystemTable(TMemTable& table) {
  Define(table, {
                    MakeFieldDef("Key", FieldType::kAutoInc),
                    MakeFieldDef("Schedule", FieldType::kWord),
                    MakeFieldDef("CheckSchedule", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("CheckSpam", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("CheckVirus", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("CheckAsService", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("CheckLog", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("SpamCommandLine", FieldType::kString, 254),
                    MakeFieldDef("VirusCommandLine", FieldType::kString, 254),
                    MakeFieldDef("ExchangeServer", FieldType::kString, 50),
                    MakeFieldDef("MaxAccountID", FieldType::kInteger, 0, "1"),
                    MakeFieldDef("MaxSendAddressID", FieldType::kInteger, 0, "1"),
                    MakeFieldDef("SMTPPort", FieldType::kWord, 0, "25"),
                    MakeFieldDef("RASEnabled", FieldType::kBoolean, 0, "False"),
                    MakeFieldDef("RASConnection", FieldType::kString, 250),
                });
}

}  // namespace mailferry
