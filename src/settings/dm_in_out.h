// TDmInOut, the main thread's settings module: the three settings tables, the data directory and
// the points where the tables are loaded from and saved to their files.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "dialup/ras_manager.h"
#include "platform/directories.h"
#include "platform/file_replacer.h"
#include "platform/machine_store.h"
#include "settings/mem_table.h"

namespace mailferry {

// The data directory stored for the machine; empty when none is stored.
std::string ReadDataDir(const MachineStore& store);

// Stores the data directory for the machine; silent when the store cannot be written.
void WriteDataDir(MachineStore& store, const std::string& path);

// The data directory the program chooses for itself: its executable's folder when it may write
// there, else its folder in the user's data folder (created when missing). Both with their
// trailing separator.
std::string DefaultDataDir(const Directories& directories);

// Used on the main thread only. The ports passed in must outlive the module.
class TDmInOut {
 public:
  // Without a dial-up manager of its own the module creates one over the process-wide platform.
  explicit TDmInOut(MachineStore& machine_store,
                    const Directories& directories = SystemDirectories(),
                    FileReplacer& files = SystemFileReplacer(),
                    std::unique_ptr<TRasManager> ras = nullptr);
  TDmInOut(const TDmInOut&) = delete;
  TDmInOut& operator=(const TDmInOut&) = delete;

  // The tables, closed with their built-in definitions until LoadAll.
  TMemTable dbAccounts{"dbAccounts"};
  TMemTable dbSendAddresses{"dbSendAddresses"};
  TMemTable dbSystem{"dbSystem"};
  // The module's dial-up manager.
  TRasManager& Ras() { return *ras_; }

  // The creation event: starts the dial-up monitoring, then LoadAll.
  void DataModuleCreate();

  // Resolves DataDir (the stored one unchanged, else DefaultDataDir, which is then stored) and
  // loads each table from its file, or opens it empty with its built-in definitions and saves it
  // at once when the file is missing. A failure raises the file's error and stops there: the
  // failing table is left as the failed load left it and the tables after it stay closed.
  void LoadAll();

  // Posts pending edits of the three tables and writes their three files. Nothing is written
  // when any table cannot be saved: a table whose file failed to load raises that load's error
  // again (its file is kept for the user to repair), a closed table raises the closed-table
  // error, and a file that cannot be written raises its error before any file is replaced.
  void SaveAll();

  // A new account or recipient-row identifier: the system row's MaxAccountID (MaxSendAddressID)
  // plus one, stored and posted in memory (an empty system table gets its row with defaults).
  int NextAccountID();
  int NextSendAddressID();

  // The after-insert events: number a new account; link a new recipient to the current account
  // and number it.
  void dbAccountsAfterInsert(TMemTable& table);
  void dbSendAddressesAfterInsert(TMemTable& table);

  // The data directory: a prefix to which file names are appended directly.
  const std::string& DataDir() const { return data_dir_; }
  void SetDataDir(const std::string& dir) { data_dir_ = dir; }

 private:
  int NextID(const char* field_name);

  std::unique_ptr<TRasManager> ras_;
  MachineStore& machine_store_;
  const Directories& directories_;
  FileReplacer& files_;
  std::string data_dir_;
  // Per table (accounts, recipients, system): the error of a load that failed.
  std::array<std::optional<std::string>, 3> load_errors_;
};

}  // namespace mailferry
