// The built-in definitions of the three settings tables and the names of their files.
#pragma once

#include "settings/mem_table.h"

namespace mailferry {

inline constexpr const char* kAccountsFileName = "MFY_Accounts.db";
inline constexpr const char* kAccountDetailsFileName = "MFY_AccountDetails.db";
inline constexpr const char* kSettingsFileName = "MFY_Settings.db";

// Each replaces the (closed) table's fields with the program's own definition of that table.
// Once a table file exists, the definitions stored in it govern the table instead.
void DefineAccountsTable(TMemTable& table);       // dbAccounts, one row per mailbox account
void DefineSendAddressesTable(TMemTable& table);  // dbSendAddresses, local recipients
void DefineSystemTable(TMemTable& table);         // dbSystem, the one row of global settings

}  // namespace mailferry
