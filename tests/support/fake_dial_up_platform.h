// A DialUpPlatform whose phonebook, connections and answers the test sets, recording every call.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dial_up_platform.h"

namespace mailferry::testing {

class FakeDialUpPlatform : public DialUpPlatform {
 public:
  struct DialCall {
    RasDialParams params;
    RasDialProgress progress;
  };

  // The phonebook; nullopt makes the enumeration fail. Every entry answers the size query with
  // kRasBufferTooSmall and needed_size unless set otherwise below.
  std::optional<std::vector<std::string>> entries = std::vector<std::string>{};
  // The active connections; nullopt makes the enumeration fail.
  std::optional<std::vector<RasConnectionInfo>> connections = std::vector<RasConnectionInfo>{};
  // Projections by handle; a handle without one fails.
  std::map<RasHandle, RasIpProjection> projections;
  // Size query answers by entry name, replacing the default.
  std::map<std::string, RasPropertiesSize> size_answers;
  std::size_t needed_size = 2088;
  // Properties by entry name; an entry without them fails the read.
  std::map<std::string, RasEntryProperties> properties;
  // Dial parameters by entry name; an entry without them fails the read.
  std::map<std::string, RasDialParams> dial_params;
  // The handle the next Dial hands out; counts up from there.
  RasHandle next_dial_handle = 1000;
  bool online = false;

  // What was called, in order, one text per call: "EnumEntries", "EnumConnections",
  // "GetIpProjection <handle>", "QueryEntryPropertiesSize <name>",
  // "ReadEntryProperties <name> <size>", "GetEntryDialParams <name>", "Dial <entry name>",
  // "HangUp <handle>", "IsOnline".
  std::vector<std::string> calls;
  std::vector<DialCall> dials;
  std::vector<RasHandle> hang_ups;

  // Adds an active connection of that entry name (replacing one of the same name) at the end.
  void SetConnected(const std::string& name, RasHandle handle);
  // Removes the active connection of that entry name.
  void SetDisconnected(const std::string& name);

  std::optional<std::vector<std::string>> EnumEntries() override;
  std::optional<std::vector<RasConnectionInfo>> EnumConnections() override;
  std::optional<RasIpProjection> GetIpProjection(RasHandle connection) override;
  RasPropertiesSize QueryEntryPropertiesSize(const std::string& entry_name) override;
  std::optional<RasEntryProperties> ReadEntryProperties(const std::string& entry_name,
                                                        std::size_t record_size) override;
  std::optional<RasDialParams> GetEntryDialParams(const std::string& entry_name) override;
  RasHandle Dial(const RasDialParams& params, RasDialProgress progress) override;
  void HangUp(RasHandle connection) override;
  bool IsOnline() override;
};

}  // namespace mailferry::testing
