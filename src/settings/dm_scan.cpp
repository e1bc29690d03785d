#include "settings/dm_scan.h"

#include "settings/settings_tables.h"

namespace mailferry {

TDmScan::TDmScan() {
  DefineAccountsTable(dbAccounts);
  DefineSendAddressesTable(dbSendAddresses);
  DefineSystemTable(dbSystem);
}

}  // namespace mailferry
