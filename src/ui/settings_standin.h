#pragma once
// Stand-in for the settings record of the configuration library until it
// lands: the fields the main window reads, with their start values.
#include <cstdint>
#include <string>

namespace tessaly {

struct SettingsRecord {
    std::uint8_t source = 1;  // 0 file, 1 COM port, 2 Internet
    std::string comport = "COM1";
    std::int32_t comNumber = 1;
    std::int32_t baudrate = 4800;
    std::uint8_t baudCode = 6;
    std::uint8_t numbits = 3;
    std::uint8_t stopbits = 0;
    std::uint8_t parity = 0;
    bool transmit = false;
    bool decoding = true;
    bool paritycheck = true;
    std::string address = "127.0.0.1";
    std::string port = "2101";
    std::string server = "unknown";
    std::string fileName;
    std::int32_t leapSeconds = 13;
    bool reopenRequested = true;
};

SettingsRecord& settings();

}  // namespace tessaly
