#include "settings/dm_scan.h"

#include "settings/settings_tables.h"

namespace mailferry {

TDmScan::TDmScan(std::unique_ptr<TRasManager> ras)
    : ras_(ras ? std::move(ras) : std::make_unique<TRasManager>()) {
  DefineAccountsTable(dbAccounts);
  DefineSendAddressesTable(dbSendAddresses);
  DefineSystemTable(dbSystem);
}

}  // namespace mailferry
