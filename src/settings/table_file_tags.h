// Wire constants of the table file format: the value tags, the signature, the version written and
// the versions at which parts of the layout appeared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mailferry::table_file {

// Value tags. Every value starts with one; multi-byte numbers follow little-endian.
inline constexpr std::uint8_t kEndOfList = 0x00;
inline constexpr std::uint8_t kListBegin = 0x01;
inline constexpr std::uint8_t kInt8 = 0x02;
inline constexpr std::uint8_t kInt16 = 0x03;
inline constexpr std::uint8_t kInt32 = 0x04;
inline constexpr std::uint8_t kExtended = 0x05;     // 80-bit floating point, 10 bytes
inline constexpr std::uint8_t kShortString = 0x06;  // 1-byte length
inline constexpr std::uint8_t kFalse = 0x08;
inline constexpr std::uint8_t kTrue = 0x09;        // the only byte a Boolean reads as true
inline constexpr std::uint8_t kLongString = 0x0C;  // 4-byte length
inline constexpr std::uint8_t kWideString = 0x12;  // 4-byte count of UTF-16 units (read only)
inline constexpr std::uint8_t kUtf8String = 0x14;  // 4-byte length; every non-ASCII text

inline constexpr std::string_view kSignature = "TPF0";
inline constexpr int kVersionWritten = 251;
// A file whose version position holds a list begin has no version and counts as this one.
inline constexpr int kVersionUnstated = 100;
inline constexpr int kVersionIndexList = 200;   // from here: index-definition list
inline constexpr int kVersionRowEntries = 230;  // from here: rows wrapped, with update status
inline constexpr int kVersionNullFlags = 249;   // from here: a null flag before every value
inline constexpr int kVersionFieldKind = 250;   // from here: definition item 9 (kind)
inline constexpr int kVersionDefaults = 251;    // from here: definition item 10 (default)

inline constexpr int kUpdateStatusDeleted = 3;

// Output is collected in a buffer of this size; input is fetched in pieces of this size.
inline constexpr std::size_t kBufferSize = 16384;

}  // namespace mailferry::table_file
