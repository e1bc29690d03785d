#include "dialup/ras_manager.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "common/mf_exception.h"
#include "common/utf8.h"

namespace mailferry {
namespace {

// The most recent dial of the process. Progress callbacks carry no context, so they report to
// whichever manager dialled last; a manager that goes away withdraws itself, and the lock keeps
// it from going away while one of its reports runs.
struct LastDial {
  TRasManager* manager = nullptr;
  int index = -1;
};

std::recursive_mutex& LastDialMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

LastDial& LastDialRecord() {
  static LastDial record;
  return record;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

std::string CutName(const std::string& name) { return Utf8Prefix(name, kRasMaxNameLength); }

}  // namespace

TRasManager::TRasManager()
    : TRasManager(SystemDialUpPlatform(), ProcessMainThread(), SystemClock()) {}

TRasManager::TRasManager(DialUpPlatform& platform, MainThread& main_thread, const Clock& clock)
    : platform_(platform), clock_(clock) {
  if (auto names = platform_.EnumEntries()) {
    const double now = clock_.Now();
    const std::size_t seen = std::min(names->size(), kRasMaxEntries);
    for (std::size_t i = 0; i < seen; ++i) entries_.Add(CutName((*names)[i]), now);
  }
  RefreshConnections();
  ReadEntryProperties();
  timer_ = main_thread.CreateTimer(kRasPollIntervalMs, [this] { RefreshConnections(); });
}

TRasManager::~TRasManager() {
  std::lock_guard lock(LastDialMutex());
  if (LastDialRecord().manager == this) LastDialRecord() = LastDial{};
}

void TRasManager::ReadEntryProperties() {
  for (TRasEntry& entry : entries_) {
    const RasPropertiesSize size = platform_.QueryEntryPropertiesSize(entry.Name);
    if (size.result != kRasBufferTooSmall) {
      throw EMfException(std::string(kRasPropertiesFailedText) + "\"" + entry.Name + "\"");
    }
    const auto properties = platform_.ReadEntryProperties(
        entry.Name, std::max(size.needed_size, kRasEntryPropertiesMinSize));
    if (!properties) continue;
    entry.PhoneNumber = properties->local_phone_number;
    entry.AreaCode = properties->area_code;
    entry.DeviceName = properties->device_name;
    entry.DeviceType = properties->device_type;
    entry.CountryCode = properties->country_code;
  }
}

void TRasManager::RefreshConnections() {
  std::vector<std::string> connected_names;
  if (auto connections = platform_.EnumConnections()) {
    const std::size_t polled = std::min(connections->size(), kRasMaxConnections);
    for (std::size_t i = 0; i < polled; ++i) {
      const RasConnectionInfo& connection = (*connections)[i];
      connected_names.push_back(CutName(connection.entry_name));
      const int index = entries_.IndexOf(connected_names.back());
      if (index < 0) continue;
      TRasEntry& entry = entries_.Items(index);
      entry.Handle = connection.handle;
      if (auto projection = platform_.GetIpProjection(connection.handle)) {
        entry.IPAddress = projection->ip_address;
        entry.ServerIPAddress = projection->server_ip_address;
      } else {
        entry.IPAddress = kRasNoAddress;
        entry.ServerIPAddress = kRasNoAddress;
      }
    }
  }

  for (TRasEntry& entry : entries_) {
    const bool active =
        std::any_of(connected_names.begin(), connected_names.end(),
                    [&](const std::string& name) { return EqualsIgnoringCase(name, entry.Name); });
    if (entry.Connected && !active) {
      entry.Connected = false;
      entry.DeviceName.clear();
      entry.DeviceType.clear();
      entry.Handle = 0;
      entry.IPAddress = kRasNoAddress;
      entry.ServerIPAddress = kRasNoAddress;
      entry.StatusTime = clock_.Now();
      if (OnDisconnect) OnDisconnect(*this, entry);
    } else if (!entry.Connected && active) {
      entry.Connected = true;
      entry.StatusTime = clock_.Now();
      if (OnConnect) OnConnect(*this, entry);
    }
  }
}

void TRasManager::StartMonitoring() {
  for (TRasEntry& entry : entries_) {
    if (entry.Connected && OnConnect) OnConnect(*this, entry);
  }
  timer_->SetEnabled(true);
}

void TRasManager::StopMonitoring() { timer_->SetEnabled(false); }

bool TRasManager::Monitoring() const { return timer_->Enabled(); }

int TRasManager::IndexOfEntry(std::string_view name) const { return entries_.IndexOf(name); }

int TRasManager::EntryCount() const { return entries_.Count(); }

const std::string& TRasManager::EntryName(int index) const { return entries_.Items(index).Name; }

void TRasManager::Dial(int index) {
  TRasEntry& entry = entries_.Items(index);
  if (entry.Connected) return;
  const auto params = platform_.GetEntryDialParams(entry.Name);
  if (!params) return;
  {
    std::lock_guard lock(LastDialMutex());
    LastDialRecord() = LastDial{this, index};
  }
  entry.Handle = platform_.Dial(*params, &TRasManager::DialProgress);
}

void TRasManager::HangUp(int index) {
  const TRasEntry& entry = entries_.Items(index);
  if (entry.Connected && entry.Handle != 0) platform_.HangUp(entry.Handle);
}

void TRasManager::DialProgress(int message, int state, int error) {
  std::lock_guard lock(LastDialMutex());
  const LastDial& last = LastDialRecord();
  if (last.manager != nullptr && last.manager->OnConnecting) {
    last.manager->OnConnecting(*last.manager, last.index, message, state, error);
  }
}

}  // namespace mailferry
