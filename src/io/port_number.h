#pragma once
// The one rule for a TCP port given by a user, shared by every program and
// channel here (no Qt): 1..65535. Port 0 would ask the system for any port,
// and a larger number, cut to 16 bits, would reach a different port
// (99999 is 34463).

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly {

constexpr bool port_in_range(long long number) { return number >= 1 && number <= 65535; }

// A port text: decimal digits only (no sign, no blanks), 1..65535.
std::optional<std::uint16_t> parse_port(std::string_view text);

}  // namespace tessaly
