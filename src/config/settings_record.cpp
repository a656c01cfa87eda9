#include "settings_record.h"

#include <array>
#include <utility>

namespace tessaly {
namespace {

constexpr std::array<std::pair<std::int32_t, std::uint8_t>, 6> kBaudTable{{
    {1200, 4}, {2400, 5}, {4800, 6}, {9600, 7}, {19200, 9}, {38400, 10},
}};

}  // namespace

std::uint8_t baud_code_for_rate(std::int32_t rate) {
    for (const auto& [r, code] : kBaudTable)
        if (r == rate) return code;
    return 0;
}

std::int32_t rate_for_baud_code(std::uint8_t code) {
    for (const auto& [rate, c] : kBaudTable)
        if (c == code) return rate;
    return 0;
}

void SettingsRecord::set_common_defaults() {
    source = kSourceSerial;
    decoding = true;
    transmit = false;
    paritycheck = true;
    reopenRequested = true;
    comNumber = 1;
    baudrate = 4800;
    port = QStringLiteral("2101");
    server = QStringLiteral("unknown");
    mainServerHost = kDefaultMainServerHost;
    mainServerPort = QStringLiteral("21");
    userName = kDefaultUserName;
    password = kDefaultPassword;
}

SettingsRecord& settings_record() {
    static SettingsRecord record;
    return record;
}

}  // namespace tessaly
