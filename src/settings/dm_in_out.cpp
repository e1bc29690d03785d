#include "settings/dm_in_out.h"

#include <filesystem>
#include <limits>
#include <vector>

#include "common/mf_exception.h"
#include "settings/settings_tables.h"
#include "settings/table_file.h"

namespace mailferry {

std::string ReadDataDir(const MachineStore& store) { return store.Read(); }

void WriteDataDir(MachineStore& store, const std::string& path) { store.Write(path); }

std::string DefaultDataDir(const Directories& directories) {
  const std::string executable_dir = directories.ExecutableDir();
  if (!executable_dir.empty() && directories.IsWritableDir(executable_dir)) return executable_dir;
  // An installed program cannot write beside itself; the user's data folder can take the files.
  const std::string user_dir = directories.UserDataDir();
  if (user_dir.empty()) return executable_dir;
  std::error_code ec;
  std::filesystem::create_directories(user_dir, ec);
  return user_dir;
}

TDmInOut::TDmInOut(MachineStore& machine_store, const Directories& directories, FileReplacer& files,
                   std::unique_ptr<TRasManager> ras)
    : ras_(ras ? std::move(ras) : std::make_unique<TRasManager>()),
      machine_store_(machine_store),
      directories_(directories),
      files_(files) {
  DefineAccountsTable(dbAccounts);
  DefineSendAddressesTable(dbSendAddresses);
  DefineSystemTable(dbSystem);
  dbAccounts.SetAfterInsert([this](TMemTable& table) { dbAccountsAfterInsert(table); });
  dbSendAddresses.SetAfterInsert([this](TMemTable& table) { dbSendAddressesAfterInsert(table); });
}

void TDmInOut::DataModuleCreate() {
  ras_->StartMonitoring();
  LoadAll();
}

void TDmInOut::LoadAll() {
  data_dir_ = ReadDataDir(machine_store_);
  if (data_dir_.empty()) {
    data_dir_ = DefaultDataDir(directories_);
    WriteDataDir(machine_store_, data_dir_);
  }
  struct Entry {
    TMemTable& table;
    const char* file_name;
    void (*define)(TMemTable&);
  };
  const std::array<Entry, 3> entries = {{
      {dbAccounts, kAccountsFileName, DefineAccountsTable},
      {dbSendAddresses, kAccountDetailsFileName, DefineSendAddressesTable},
      {dbSystem, kSettingsFileName, DefineSystemTable},
  }};
  load_errors_ = {};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string path = data_dir_ + entries[i].file_name;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      try {
        LoadTableFile(entries[i].table, path);
      } catch (const EMfException& error) {
        load_errors_[i] = error.what();
        for (std::size_t later = i + 1; later < entries.size(); ++later)
          entries[later].table.Close();
        throw;
      }
    } else {
      entries[i].define(entries[i].table);
      entries[i].table.Open();
      SaveTableFile(entries[i].table, path, files_);
    }
  }
}

void TDmInOut::SaveAll() {
  const std::array<TMemTable*, 3> tables = {&dbAccounts, &dbSendAddresses, &dbSystem};
  const std::array<const char*, 3> names = {kAccountsFileName, kAccountDetailsFileName,
                                            kSettingsFileName};
  for (TMemTable* table : tables) {
    if (table->State() == TableState::kEdit || table->State() == TableState::kInsert) table->Post();
  }
  for (const auto& error : load_errors_) {
    if (error) throw EMfException(*error);
  }
  // Every file is written completely before the first one replaces its predecessor, so a table
  // that cannot be saved leaves all three files as they were.
  std::vector<PreparedTableFile> prepared;
  for (std::size_t i = 0; i < tables.size(); ++i) {
    prepared.push_back(PrepareTableFile(*tables[i], data_dir_ + names[i], files_));
  }
  for (PreparedTableFile& file : prepared) file.Commit();
}

int TDmInOut::NextID(const char* field_name) {
  TField& max_id = dbSystem.FieldByName(field_name);
  const std::int64_t last = max_id.AsInteger();  // read before editing: an empty table reads 0
  dbSystem.Edit();
  // The field's range check refuses a number beyond the 32-bit identifiers.
  max_id.SetAsInteger(last + 1);
  dbSystem.Post();
  return static_cast<int>(last + 1);
}

int TDmInOut::NextAccountID() { return NextID("MaxAccountID"); }

int TDmInOut::NextSendAddressID() { return NextID("MaxSendAddressID"); }

void TDmInOut::dbAccountsAfterInsert(TMemTable& table) {
  table.FieldByName("AccountID").SetAsInteger(NextAccountID());
}

void TDmInOut::dbSendAddressesAfterInsert(TMemTable& table) {
  table.FieldByName("AccountID").SetAsInteger(dbAccounts.FieldByName("AccountID").AsInteger());
  table.FieldByName("Key").SetAsInteger(NextSendAddressID());
}

}  // namespace mailferry
