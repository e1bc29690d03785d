#include "platform/linux_dial_up_platform.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <vector>

namespace mailferry {
namespace {

// Route flags of the kernel's table (linux/route.h).
constexpr unsigned long kRouteUp = 0x0001;
constexpr unsigned long kRouteReject = 0x0200;

// Columns of /proc/net/route.
constexpr std::size_t kIfaceColumn = 0;
constexpr std::size_t kDestinationColumn = 1;
constexpr std::size_t kFlagsColumn = 3;
constexpr std::size_t kMaskColumn = 7;

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t\r", pos);
    if (start == std::string_view::npos) break;
    std::size_t end = line.find_first_of(" \t\r", start);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(line.substr(start, end - start));
    pos = end;
  }
  return fields;
}

std::optional<unsigned long> ParseHex(std::string_view text) {
  unsigned long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool IsDefaultRoute(std::string_view line) {
  const auto fields = SplitFields(line);
  if (fields.size() <= kMaskColumn) return false;
  const std::string_view iface = fields[kIfaceColumn];
  if (iface == "lo" || iface == "*") return false;
  const auto destination = ParseHex(fields[kDestinationColumn]);
  const auto flags = ParseHex(fields[kFlagsColumn]);
  const auto mask = ParseHex(fields[kMaskColumn]);
  if (!destination || !flags || !mask) return false;  // also skips the column titles
  return *destination == 0 && *mask == 0 && (*flags & kRouteUp) != 0 &&
         (*flags & kRouteReject) == 0;
}

}  // namespace

bool RouteTableHasDefaultRoute(std::string_view route_table) {
  std::size_t pos = 0;
  while (pos < route_table.size()) {
    std::size_t end = route_table.find('\n', pos);
    if (end == std::string_view::npos) end = route_table.size();
    if (IsDefaultRoute(route_table.substr(pos, end - pos))) return true;
    pos = end + 1;
  }
  return false;
}

LinuxDialUpPlatform::LinuxDialUpPlatform(std::string route_table_path)
    : route_table_path_(std::move(route_table_path)) {}

// Linux has no dial-up phonebook: an empty list is a successful answer.
std::optional<std::vector<std::string>> LinuxDialUpPlatform::EnumEntries() {
  return std::vector<std::string>{};
}

std::optional<std::vector<RasConnectionInfo>> LinuxDialUpPlatform::EnumConnections() {
  return std::vector<RasConnectionInfo>{};
}

std::optional<RasIpProjection> LinuxDialUpPlatform::GetIpProjection(RasHandle) {
  return std::nullopt;
}

RasPropertiesSize LinuxDialUpPlatform::QueryEntryPropertiesSize(const std::string&) {
  return RasPropertiesSize{kRasUnavailable, 0};
}

std::optional<RasEntryProperties> LinuxDialUpPlatform::ReadEntryProperties(const std::string&,
                                                                           std::size_t) {
  return std::nullopt;
}

std::optional<RasDialParams> LinuxDialUpPlatform::GetEntryDialParams(const std::string&) {
  return std::nullopt;
}

RasHandle LinuxDialUpPlatform::Dial(const RasDialParams&, RasDialProgress) { return 0; }

void LinuxDialUpPlatform::HangUp(RasHandle) {}

bool LinuxDialUpPlatform::IsOnline() {
  std::ifstream in(route_table_path_, std::ios::binary);
  if (!in) return false;
  const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return RouteTableHasDefaultRoute(table);
}

DialUpPlatform& SystemDialUpPlatform() {
  static LinuxDialUpPlatform platform;
  return platform;
}

}  // namespace mailferry
