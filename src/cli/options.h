#pragma once
// Command line of tessaly-decode.

#include <QStringList>
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
};

// Reads `args` (program name first) into `out`. Returns the exit status when
// the program is done already: 0 after --help or --version, 2 after a usage
// error (printed); nothing when it should decode.
std::optional<int> parse_options(const QStringList& args, Options& out);

}  // namespace tessaly::cli
