// TDmScan, a scan run's private settings module: the three settings tables, loaded from their files
// by the run, so that a run shares no table object with the main thread.
#pragma once

#include <memory>

#include "dialup/ras_manager.h"
#include "settings/mem_table.h"

namespace mailferry {

// Owned and used by one scan run on its worker thread. It adds no rows, so it has no after-insert
// events and no data directory of its own.
class TDmScan {
 public:
  // Without a dial-up manager of its own the module creates one over the process-wide platform,
  // on the calling thread (the run's worker), where its polling timer never ticks.
  explicit TDmScan(std::unique_ptr<TRasManager> ras = nullptr);
  TDmScan(const TDmScan&) = delete;
  TDmScan& operator=(const TDmScan&) = delete;

  // Closed with the built-in definitions until the run loads their files.
  TMemTable dbAccounts{"dbAccounts"};
  TMemTable dbSendAddresses{"dbSendAddresses"};
  TMemTable dbSystem{"dbSystem"};

  // The run's own dial-up manager.
  TRasManager& Ras() { return *ras_; }

 private:
  std::unique_ptr<TRasManager> ras_;
};

}  // namespace mailferry
