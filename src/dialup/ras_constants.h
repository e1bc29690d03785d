// Fixed numbers and texts of the dial-up manager.
#pragma once

#include <cstddef>

namespace mailferry {

// Phonebook entries seen at creation; later ones are not listed.
inline constexpr std::size_t kRasMaxEntries = 100;
// Active connections looked at by one refresh; later ones are not polled.
inline constexpr std::size_t kRasMaxConnections = 100;
// Characters kept of an entry or connection name.
inline constexpr std::size_t kRasMaxNameLength = 256;
// The smallest properties record asked for, whatever size the platform says it needs.
inline constexpr std::size_t kRasEntryPropertiesMinSize = 1796;
// Interval of the polling timer that refreshes the connection states.
inline constexpr int kRasPollIntervalMs = 1000;
// The address of a connection that has none (or whose projection could not be read).
inline constexpr const char* kRasNoAddress = "0.0.0.0";
// Start of the error raised when an entry's properties cannot be queried at creation; the entry
// name follows in double quotation marks.
inline constexpr const char* kRasPropertiesFailedText = "Call of RasGetEntryProperties failed for ";

}  // namespace mailferry
