#pragma once
// Command line of tessaly-decode.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"

namespace tessaly::cli {

enum class Format { summary, json, text, code };

struct Options {
    Format format = Format::text;
    std::vector<std::uint8_t> types;  // --types; empty: all types
    std::optional<ClockReading> clock;  // fixed clock; the system clock when absent
    int leap_seconds = 13;
    std::string output;        // empty: standard output
    std::string source = "-";  // file path, "-" for standard input, or tcp://HOST:PORT
    bool help = false;
};

struct ParseResult {
    Options options;
    std::string error;  // non-empty: a usage error, to be shown as it is
};

ParseResult parse_options(const std::vector<std::string>& args);

extern const char* const usage_text;

}  // namespace tessaly::cli
