// The DialUpPlatform port: the machine's dial-up phonebook, its active connections, dialling and
// hanging up, and whether the machine is online at all.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mailferry {

// A connection handle of the platform; 0 means none.
using RasHandle = std::uintptr_t;

// Result codes of the properties size query.
inline constexpr int kRasOk = 0;
// The record is too small: the answer that carries the needed size.
inline constexpr int kRasBufferTooSmall = 603;
// The facility is missing on this machine.
inline constexpr int kRasUnavailable = -1;

struct RasConnectionInfo {
  RasHandle handle = 0;
  std::string entry_name;
};

// The addresses of a connection's IP projection.
struct RasIpProjection {
  std::string ip_address;
  std::string server_ip_address;
};

struct RasEntryProperties {
  std::int32_t country_code = 0;
  std::string area_code;
  std::string local_phone_number;
  std::string device_type;
  std::string device_name;
};

struct RasPropertiesSize {
  int result = kRasUnavailable;  // kRasBufferTooSmall when needed_size holds the answer
  std::size_t needed_size = 0;
};

// The stored dial parameters of an entry, handed back unchanged to Dial.
struct RasDialParams {
  std::string entry_name;
  std::string phone_number;
  std::string callback_number;
  std::string user_name;
  std::string password;
  std::string domain;
  bool password_returned = false;
};

// A progress report of a dial: message, connection state and error code. Runs on a platform
// thread.
using RasDialProgress = std::function<void(int message, int state, int error)>;

// Every operation may be called from any thread; failures are answers, never exceptions.
class DialUpPlatform {
 public:
  virtual ~DialUpPlatform() = default;

  // The phonebook entry names in phonebook order; nullopt when the enumeration failed.
  virtual std::optional<std::vector<std::string>> EnumEntries() = 0;

  // The active connections in the platform's order; nullopt when the enumeration failed.
  virtual std::optional<std::vector<RasConnectionInfo>> EnumConnections() = 0;

  // The PPP IP projection of a connection; nullopt on failure.
  virtual std::optional<RasIpProjection> GetIpProjection(RasHandle connection) = 0;

  // Asks for the record size an entry's properties need. A working platform answers
  // kRasBufferTooSmall with the size; anything else is a failure.
  virtual RasPropertiesSize QueryEntryPropertiesSize(const std::string& entry_name) = 0;

  // Reads an entry's properties into a record of record_size bytes; nullopt on failure.
  virtual std::optional<RasEntryProperties> ReadEntryProperties(const std::string& entry_name,
                                                                std::size_t record_size) = 0;

  // The stored dial parameters of an entry; nullopt when they cannot be read.
  virtual std::optional<RasDialParams> GetEntryDialParams(const std::string& entry_name) = 0;

  // Starts dialling and returns at once with the new connection's handle (0 when none was
  // made). Progress reaches `progress` later, on a platform thread.
  virtual RasHandle Dial(const RasDialParams& params, RasDialProgress progress) = 0;

  // Starts ending a connection.
  virtual void HangUp(RasHandle connection) = 0;

  // True when the machine has a working Internet connection.
  virtual bool IsOnline() = 0;
};

// The operating system's dial-up facilities, for the whole process.
DialUpPlatform& SystemDialUpPlatform();

}  // namespace mailferry
