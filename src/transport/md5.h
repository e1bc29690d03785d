// MD5 (RFC 1321), for the APOP login digest.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailferry {

std::array<std::uint8_t, 16> Md5(std::string_view data);

// The digest as 32 lowercase hexadecimal digits, bytes in order.
std::string Md5Hex(std::string_view data);

}  // namespace mailferry
