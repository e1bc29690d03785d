#include "support/fake_dial_up_platform.h"

namespace mailferry::testing {

void FakeDialUpPlatform::SetConnected(const std::string& name, RasHandle handle) {
  SetDisconnected(name);
  if (!connections) connections.emplace();
  connections->push_back(RasConnectionInfo{handle, name});
}

void FakeDialUpPlatform::SetDisconnected(const std::string& name) {
  if (!connections) return;
  std::erase_if(*connections, [&](const RasConnectionInfo& c) { return c.entry_name == name; });
}

std::optional<std::vector<std::string>> FakeDialUpPlatform::EnumEntries() {
  calls.push_back("EnumEntries");
  return entries;
}

std::optional<std::vector<RasConnectionInfo>> FakeDialUpPlatform::EnumConnections() {
  calls.push_back("EnumConnections");
  return connections;
}

std::optional<RasIpProjection> FakeDialUpPlatform::GetIpProjection(RasHandle connection) {
  calls.push_back("GetIpProjection " + std::to_string(connection));
  const auto it = projections.find(connection);
  if (it == projections.end()) return std::nullopt;
  return it->second;
}

RasPropertiesSize FakeDialUpPlatform::QueryEntryPropertiesSize(const std::string& entry_name) {
  calls.push_back("QueryEntryPropertiesSize " + entry_name);
  const auto it = size_answers.find(entry_name);
  if (it != size_answers.end()) return it->second;
  return RasPropertiesSize{kRasBufferTooSmall, needed_size};
}

std::optional<RasEntryProperties> FakeDialUpPlatform::ReadEntryProperties(
    const std::string& entry_name, std::size_t record_size) {
  calls.push_back("ReadEntryProperties " + entry_name + " " + std::to_string(record_size));
  const auto it = properties.find(entry_name);
  if (it == properties.end()) return std::nullopt;
  return it->second;
}

std::optional<RasDialParams> FakeDialUpPlatform::GetEntryDialParams(const std::string& entry_name) {
  calls.push_back("GetEntryDialParams " + entry_name);
  const auto it = dial_params.find(entry_name);
  if (it == dial_params.end()) return std::nullopt;
  return it->second;
}

RasHandle FakeDialUpPlatform::Dial(const RasDialParams& params, RasDialProgress progress) {
  calls.push_back("Dial " + params.entry_name);
  dials.push_back(DialCall{params, std::move(progress)});
  return next_dial_handle++;
}

void FakeDialUpPlatform::HangUp(RasHandle connection) {
  calls.push_back("HangUp " + std::to_string(connection));
  hang_ups.push_back(connection);
}

bool FakeDialUpPlatform::IsOnline() {
  calls.push_back("IsOnline");
  return online;
}

}  // namespace mailferry::testing
