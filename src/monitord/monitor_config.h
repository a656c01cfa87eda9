#pragma once
// The network monitor's configuration file, in the INI form of the other
// settings files:
//
//   [monitord]                 listen=, silence=, sourcetable_interval=, rules=
//   [stream.NAME]              source=, password=, password_file=, silence=,
//                              baud=, gga=, expect=, rules=, alarm.RULE.KEY=
//   [caster.NAME]              url=, password=, password_file=, select=,
//                              interval=, silence=, rules=, alarm.RULE.KEY=
//
// Lines starting with '#' or ';' are comments; a value runs to the end of
// its line (a password may hold '#'). Unknown sections and keys, repeated
// ones and values out of range are errors naming the line, so that a typo
// never silently drops a stream.
//
// No Qt, no I/O: the file is read and its secrets resolved in
// config_file.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::monitord {

inline constexpr int default_silence_s = 20;
inline constexpr int default_sourcetable_interval_s = 300;
inline constexpr std::string_view default_listen = "127.0.0.1:9810";

// What the alarm rules of a stream come from.
struct AlarmSettings {
    std::string rules_file;                                      // rules=
    std::vector<std::pair<std::string, std::string>> overrides;  // alarm.RULE.KEY=VALUE: {"RULE", "KEY=VALUE"}
    std::string expect;                                          // expect=
    bool operator==(const AlarmSettings&) const = default;
};

struct Position {
    double latitude = 0, longitude = 0, height = 0;
    bool operator==(const Position&) const = default;
};

struct StreamSection {
    std::string name;
    std::string source;         // ntrip://…, ntrips://…, tcp://HOST:PORT or a serial device
    std::string password;       // password=
    std::string password_file;  // password_file=
    int silence_s = 0;          // 0: the [monitord] value
    int baud = 9600;
    std::optional<Position> gga;
    AlarmSettings alarms;
    int line = 0;
};

struct CasterSection {
    std::string name;
    std::string url;  // ntrip://[USER@]HOST[:PORT]
    std::string password;
    std::string password_file;
    std::vector<std::string> select;  // patterns on mountpoint or format; empty: every RTCM 2 mountpoint
    int interval_s = 0;               // 0: the [monitord] value
    int silence_s = 0;
    AlarmSettings alarms;
    int line = 0;
};

struct MonitordSection {
    std::string listen;  // empty: default_listen
    int silence_s = default_silence_s;
    int sourcetable_interval_s = default_sourcetable_interval_s;
    std::string rules_file;
};

struct MonitorConfig {
    MonitordSection monitord;
    std::vector<StreamSection> streams;
    std::vector<CasterSection> casters;
    // A password is written in the file itself (password= or in a URL).
    bool holds_password = false;
};

// Parses the text of a configuration file; on failure nothing, and
// `error` one line ("line 12: unknown key 'sorce' in [stream.harbour]").
std::optional<MonitorConfig> parse_config(std::string_view text, std::string& error);

// HOST:PORT (an IPv6 address in brackets) into its parts; nothing for
// another text or a port outside 1..65535 (0 allowed with `any_port`).
std::optional<std::pair<std::string, int>> parse_host_port(std::string_view text, bool any_port = false);

// A glob pattern with * and ?, matched against the whole text.
bool glob_match(std::string_view pattern, std::string_view text);

// `--shard I/N`: instance I (1..N) of N watches the streams whose name
// hashes to it; the hash (FNV-1a, 64 bit) is the same on every machine and
// in every release, so that the instances share a network without overlap.
struct Shard {
    int index = 1;  // 1..count
    int count = 1;
    bool owns(std::string_view stream) const;
};
std::optional<Shard> parse_shard(std::string_view text);
std::uint64_t stream_hash(std::string_view name);

}  // namespace tessaly::monitord
