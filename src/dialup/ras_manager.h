// TRasManager, the dial-up manager: lists the phonebook entries, follows their connection state,
// dials and hangs up; all through the DialUpPlatform port.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dialup/ras_list.h"
#include "platform/clock.h"
#include "platform/dial_up_platform.h"
#include "platform/main_thread.h"

namespace mailferry {

class TRasManager;

using TOnConnectionEvent = std::function<void(TRasManager& Sender, TRasEntry& Connection)>;
using TOnConnectingEvent =
    std::function<void(TRasManager& Sender, int Index, int Msg, int State, int Error)>;

// Created, used and destroyed on one thread. Its polling timer ticks through that thread's event
// loop, so on a thread without one the states stay those of the last explicit refresh. Destruction
// hangs up nothing.
class TRasManager {
 public:
  // Over the process-wide platform, main thread and clock.
  TRasManager();

  // Lists the entries (at most 100), refreshes their connection states and reads their
  // properties. Throws EMfException 'Call of RasGetEntryProperties failed for "<name>"' when the
  // properties of an entry cannot be queried. All three must outlive the manager.
  TRasManager(DialUpPlatform& platform, MainThread& main_thread, const Clock& clock);
  ~TRasManager();

  TRasManager(const TRasManager&) = delete;
  TRasManager& operator=(const TRasManager&) = delete;

  // Polls the active connections (at most 100) and updates the entries, firing OnDisconnect and
  // OnConnect in list order for each change.
  void RefreshConnections();

  // Fires OnConnect for every entry marked connected, in list order, then starts the polling
  // timer.
  void StartMonitoring();
  void StopMonitoring();
  bool Monitoring() const;

  // The index of the entry named exactly `name` (letter case counts), or -1.
  int IndexOfEntry(std::string_view name) const;
  int EntryCount() const;

  // The entry's name; EListError "List index out of bounds (%d)" for an index outside the list.
  const std::string& EntryName(int index) const;

  // Starts dialling the entry unless it is marked connected, and returns at once. Dial progress
  // fires OnConnecting, on a platform thread, of the manager that dialled last; destroying that
  // manager waits for a report in progress, so OnConnecting must not wait for the manager's own
  // thread. The index is checked (EListError) before anything else happens.
  void Dial(int index);

  // Hangs up the entry's connection if it is marked connected and has a handle. The index is
  // checked (EListError) before anything else happens.
  void HangUp(int index);

  const TRasList& Entries() const { return entries_; }

  // Assign before monitoring or dialling; no program assigns them.
  TOnConnectionEvent OnConnect;
  TOnConnectingEvent OnConnecting;
  TOnConnectionEvent OnDisconnect;

 private:
  static void DialProgress(int message, int state, int error);
  void ReadEntryProperties();

  DialUpPlatform& platform_;
  const Clock& clock_;
  TRasList entries_;
  std::unique_ptr<MainThreadTimer> timer_;
};

}  // namespace mailferry
