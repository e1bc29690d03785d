// DialUpPlatform on Linux: there is no dial-up phonebook, so no entries and no connections; the
// machine is online when the IPv4 routing table has a default route over a non-loopback interface.
#pragma once

#include <string>
#include <string_view>

#include "platform/dial_up_platform.h"

namespace mailferry {

inline constexpr const char* kProcNetRoutePath = "/proc/net/route";

// True when a routing table in the text form of /proc/net/route holds a default route (destination
// and mask 0) that is up, not a reject route, and not over the loopback interface. Lines that do
// not parse are ignored.
bool RouteTableHasDefaultRoute(std::string_view route_table);

class LinuxDialUpPlatform : public DialUpPlatform {
 public:
  explicit LinuxDialUpPlatform(std::string route_table_path = kProcNetRoutePath);

  std::optional<std::vector<std::string>> EnumEntries() override;
  std::optional<std::vector<RasConnectionInfo>> EnumConnections() override;
  std::optional<RasIpProjection> GetIpProjection(RasHandle connection) override;
  RasPropertiesSize QueryEntryPropertiesSize(const std::string& entry_name) override;
  std::optional<RasEntryProperties> ReadEntryProperties(const std::string& entry_name,
                                                        std::size_t record_size) override;
  std::optional<RasDialParams> GetEntryDialParams(const std::string& entry_name) override;
  RasHandle Dial(const RasDialParams& params, RasDialProgress progress) override;
  void HangUp(RasHandle connection) override;

  // Reads the routing table at every call; an unreadable table means offline.
  bool IsOnline() override;

 private:
  std::string route_table_path_;
};

}  // namespace mailferry
