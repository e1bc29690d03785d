// TRasEntry, one dial-up phonebook entry with its connection state, and TRasList, the ordered list
// of entries a dial-up manager owns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialup/ras_constants.h"
#include "platform/dial_up_platform.h"

namespace mailferry {

struct TRasEntry {
  std::string Name;
  RasHandle Handle = 0;
  bool Connected = false;
  double StatusTime = 0;  // creation or last detected connect or disconnect
  std::string IPAddress = kRasNoAddress;
  std::string ServerIPAddress = kRasNoAddress;
  std::string DeviceName;
  std::string DeviceType;
  std::string PhoneNumber;
  std::string AreaCode;
  std::int32_t CountryCode = 0;
};

// Entries in the order they were added; names are unique (compared exactly).
class TRasList {
 public:
  // Adds an entry named `name`, stamped with status_time; does nothing and answers false when an
  // entry of exactly that name exists.
  bool Add(const std::string& name, double status_time);

  int Count() const { return static_cast<int>(entries_.size()); }

  // The entry at index; EListError "List index out of bounds (%d)" outside 0..Count()-1.
  TRasEntry& Items(int index);
  const TRasEntry& Items(int index) const;

  // The index of the entry whose name equals `name` exactly (letter case counts), or -1.
  int IndexOf(std::string_view name) const;

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<TRasEntry> entries_;
};

}  // namespace mailferry
