#pragma once
// Command line of tessaly-decode.

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"

namespace tessaly::cli {

enum class Format { summary, json, text, code, stats, alarms };

struct Options {
    Format format = Format::text;
    std::vector<std::uint8_t> types;  // --types; empty: all types
    std::optional<ClockReading> clock;  // fixed clock; the system clock when absent
    int leap_seconds = 18;  // GPS time minus UTC since 2017-01-01
    double interval = 60;   // --interval: seconds of stream time per statistics line
    bool stats = false;     // --stats: json ends every interval with a statistics object
    std::string output;        // empty: standard output
    std::string source = "-";  // file path, "-" for standard input, tcp://, ntrip://, ntrips://, a serial device
    bool reconnect = false;    // follow a live source across outages
    int baud = 9600;           // serial devices
    int silence_s = 20;        // live sources: seconds without a byte before giving up (0: never)
    std::string sourcetable;   // --sourcetable URL: list the caster's mountpoints instead
    std::string credentials;   // --credentials FILE: the NTRIP user and password
    bool alarms = false;       // --alarms (also --rules, --on-event, --format alarms): judge the stream
    std::string rules;         // --rules FILE: the alarm rules; empty: the defaults
    std::string on_event;      // --on-event COMMAND: run for every alarm event
};

// Reads `args` (program name first) into `out`. Returns the exit status when
// the program is done already: 0 after --help or --version, 2 after a usage
// error (printed); nothing when it should decode.
std::optional<int> parse_options(const QStringList& args, Options& out);

}  // namespace tessaly::cli
