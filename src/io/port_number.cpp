#include "port_number.h"

namespace tessaly {

std::optional<std::uint16_t> parse_port(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    long long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (!port_in_range(number)) return std::nullopt;
    return std::uint16_t(number);
}

}  // namespace tessaly
