#pragma once
// Reading the network monitor's configuration file and turning it into
// what the monitor runs: every source with its password resolved, every
// stream's alarm rules parsed. All checks happen here, before anything
// starts, so that a reload with a fault keeps the running configuration.
//
// Secrets: a file that holds a password is read only when nobody but its
// owner may read it (mode 0600 or 0400), or when it belongs to the user
// the monitor runs as and others may not read it (0640 with the service
// user as owner); a file anybody may write is never read. `password_file=`
// names a credentials file (USER:PASSWORD lines, mode 0600); a relative
// name is looked up in $CREDENTIALS_DIRECTORY (systemd's LoadCredential=)
// when set, else beside the configuration file. No text here ever holds
// a password.

#include <optional>
#include <string>
#include <vector>

#include "alarm_rules.h"
#include "monitor_config.h"
#include "ntrip_protocol.h"

namespace tessaly::monitord {

struct SourceSetup {
    enum class Kind { ntrip, tcp, serial };
    Kind kind = Kind::tcp;
    ntrip::Url url;        // ntrip: with the password resolved
    std::string host;      // tcp
    int port = 0;          // tcp
    std::string device;    // serial
    int baud = 9600;       // serial
    std::optional<Position> gga;  // ntrip: the position sent to the caster
    // How texts name the source: host:port/MOUNT, host:port, the device.
    std::string name() const;
    bool operator==(const SourceSetup& o) const;
};

// One stream as the monitor runs it.
struct StreamSetup {
    std::string name;  // the label: NAME, or CASTER/MOUNT
    SourceSetup source;
    int silence_s = default_silence_s;
    std::string rules_text;  // the rules file's text and the overrides, parsed into `rules`
    alarms::Rules rules;
    std::vector<alarms::Expected> expect;
    std::string expect_text;  // as given, or the sourcetable's format details
    std::string caster;       // the [caster] section a mountpoint came from
    bool operator==(const StreamSetup& o) const {
        return name == o.name && source == o.source && silence_s == o.silence_s && rules_text == o.rules_text &&
               expect_text == o.expect_text && caster == o.caster;
    }
};

struct CasterSetup {
    std::string name;
    ntrip::Url url;  // the caster, password resolved, no mountpoint
    std::vector<std::string> select;
    int interval_s = default_sourcetable_interval_s;
    int silence_s = default_silence_s;
    std::string rules_text;
    alarms::Rules rules;
    bool operator==(const CasterSetup& o) const {
        return name == o.name && url.host == o.url.host && url.port == o.url.port && url.user == o.url.user &&
               url.password == o.url.password && url.tls == o.url.tls && url.version == o.url.version &&
               select == o.select && interval_s == o.interval_s && silence_s == o.silence_s &&
               rules_text == o.rules_text;
    }
    // Whether a sourcetable entry is watched: RTCM 2, and matching one of
    // the patterns (on mountpoint or format) when there are any.
    bool selects(const std::string& mountpoint, const std::string& format, bool rtcm2) const;
    // The stream of one of its mountpoints.
    StreamSetup stream(const std::string& mountpoint, const std::string& format_details, bool nmea, double latitude,
                      double longitude) const;
};

struct RunConfig {
    std::string listen = std::string(default_listen);
    std::vector<StreamSetup> streams;
    std::vector<CasterSetup> casters;
};

// Reads, checks and resolves the file; nothing, with `error` one line, on
// any fault.
std::optional<RunConfig> load_config(const std::string& path, std::string& error);

// The same from a parsed file (for tests): `config_dir` resolves relative
// file names, `credentials_dir` is $CREDENTIALS_DIRECTORY (empty: unset).
std::optional<RunConfig> resolve_config(const MonitorConfig& config, const std::string& config_dir,
                                        const std::string& credentials_dir, std::string& error);

// Whether a file of mode `mode` owned by `owner` may hold a password for a
// process running as `user`; `why` tells what is wrong otherwise.
bool secret_file_mode_ok(unsigned mode, unsigned owner, unsigned user, std::string& why);

}  // namespace tessaly::monitord
