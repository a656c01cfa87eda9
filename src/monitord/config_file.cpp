#include "config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "credentials.h"
#include "posix_io.h"

namespace tessaly::monitord {

namespace {

constexpr std::size_t max_file_bytes = 4u << 20;

std::string mode_text(unsigned mode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04o", mode & 07777u);
    return buf;
}

// A whole regular file, or nothing with `error`; `st` gets its status.
std::optional<std::string> read_whole(const std::string& path, const std::string& what, struct stat& st,
                                      std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read " + what + " " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    posix::FdCloser closer{fd};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = what + " " + path + " is not a regular file";
        return std::nullopt;
    }
    if (std::size_t(st.st_size) > max_file_bytes) {
        error = what + " " + path + " is larger than 4 MiB";
        return std::nullopt;
    }
    auto text = posix::read_all(fd, std::size_t(st.st_size));
    if (!text) error = "cannot read " + what + " " + path + ": " + std::strerror(errno);
    return text;
}

std::string in_dir(const std::string& dir, const std::string& name) {
    if (name.starts_with('/') || dir.empty()) return name;
    return (std::filesystem::path(dir) / name).string();
}

class Resolver {
public:
    Resolver(const MonitorConfig& c, std::string config_dir, std::string credentials_dir)
        : c_(c), config_dir_(std::move(config_dir)), credentials_dir_(std::move(credentials_dir)) {}
    std::optional<RunConfig> run(std::string& error);

private:
    bool login(ntrip::Url& url, const std::string& password, const std::string& password_file,
               const std::string& where);
    bool rules(const AlarmSettings& a, const std::string& where, std::string& text, alarms::Rules& out);
    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    const MonitorConfig& c_;
    std::string config_dir_, credentials_dir_;
    std::string error_;
};

bool Resolver::login(ntrip::Url& url, const std::string& password, const std::string& password_file,
                     const std::string& where) {
    if (int(!password.empty()) + int(!password_file.empty()) + int(!url.password.empty()) > 1)
        return fail(where + ": give the password once (in the URL, password= or password_file=)");
    if (!password.empty()) {
        if (!url.has_credentials || url.user.empty()) return fail(where + ": password= needs a user in the URL");
        url.password = password;
    }
    if (!password_file.empty()) {
        const std::string path = in_dir(credentials_dir_.empty() ? config_dir_ : credentials_dir_, password_file);
        std::string why;
        const auto logins = credentials::read_file(path, why);
        if (!logins) return fail(where + ": " + why);
        const auto chosen = credentials::choose(*logins, url.user, "credentials file " + path, why);
        if (!chosen) return fail(where + ": " + why);
        url.user = chosen->user;
        url.password = chosen->password;
        url.has_credentials = true;
    }
    return true;
}

bool Resolver::rules(const AlarmSettings& a, const std::string& where, std::string& text, alarms::Rules& out) {
    const std::string& file = a.rules_file.empty() ? c_.monitord.rules_file : a.rules_file;
    text.clear();
    if (!file.empty()) {
        struct stat st {};
        std::string why;
        const auto content = read_whole(in_dir(config_dir_, file), "rules file", st, why);
        if (!content) return fail(where + ": " + why);
        text = *content;
        if (!text.empty() && text.back() != '\n') text += '\n';
    }
    // The overrides as a rules file of their own after the file's text: a
    // later value of a key wins, and the rules parser checks them all.
    for (const auto& [rule, setting] : a.overrides) text += "[" + rule + "]\n" + setting + "\n";
    std::string why;
    const auto parsed = alarms::parse_rules(text, why);
    if (!parsed) return fail(where + ": alarm rules: " + why);
    out = *parsed;
    return true;
}

std::optional<RunConfig> Resolver::run(std::string& error) {
    RunConfig run;
    if (!c_.monitord.listen.empty()) run.listen = c_.monitord.listen;
    bool ok = true;
    for (const StreamSection& s : c_.streams) {
        const std::string where = "[stream." + s.name + "] (line " + std::to_string(s.line) + ")";
        StreamSetup setup;
        setup.name = s.name;
        setup.silence_s = s.silence_s > 0 ? s.silence_s : c_.monitord.silence_s;
        SourceSetup& src = setup.source;
        if (ntrip::is_ntrip_url(s.source)) {
            std::string why;
            const auto url = ntrip::parse_url(s.source, why);
            if (!url) ok = fail(where + ": " + why);
            else if (url->mount.empty()) ok = fail(where + ": " + url->display() + " names no mountpoint");
            if (!ok) break;
            src.kind = SourceSetup::Kind::ntrip;
            src.url = *url;
            src.gga = s.gga;
            if (!(ok = login(src.url, s.password, s.password_file, where))) break;
        } else if (s.source.starts_with("tcp://")) {
            const auto hp = parse_host_port(std::string_view(s.source).substr(6));
            if (!hp) {
                ok = fail(where + ": bad TCP source '" + s.source + "': expected tcp://HOST:PORT");
                break;
            }
            src.kind = SourceSetup::Kind::tcp;
            std::tie(src.host, src.port) = *hp;
        } else if (s.source.starts_with('/')) {
            src.kind = SourceSetup::Kind::serial;
            src.device = s.source;
            src.baud = s.baud;
        } else {
            // The text may be a mistyped URL with a password in it.
            const std::string shown = s.source.find('@') == std::string::npos ? s.source : "…";
            ok = fail(where + ": source= takes ntrip://…, ntrips://…, tcp://HOST:PORT or a device path, not '" +
                      shown + "'");
            break;
        }
        if (src.kind != SourceSetup::Kind::ntrip && (!s.password.empty() || !s.password_file.empty())) {
            ok = fail(where + ": a password applies to NTRIP sources only");
            break;
        }
        if (!(ok = rules(s.alarms, where, setup.rules_text, setup.rules))) break;
        if (!s.alarms.expect.empty()) {
            std::string why;
            const auto e = alarms::parse_expected(s.alarms.expect, why);
            if (!e) {
                ok = fail(where + ": expect=: " + why);
                break;
            }
            setup.expect = *e;
            setup.expect_text = s.alarms.expect;
        }
        run.streams.push_back(std::move(setup));
    }
    for (std::size_t i = 0; ok && i < c_.casters.size(); ++i) {
        const CasterSection& s = c_.casters[i];
        const std::string where = "[caster." + s.name + "] (line " + std::to_string(s.line) + ")";
        CasterSetup setup;
        setup.name = s.name;
        std::string why;
        setup.url = *ntrip::parse_url(s.url, why);  // checked by the parser
        setup.select = s.select;
        setup.interval_s = s.interval_s > 0 ? s.interval_s : c_.monitord.sourcetable_interval_s;
        setup.silence_s = s.silence_s > 0 ? s.silence_s : c_.monitord.silence_s;
        if (!s.alarms.expect.empty()) {
            ok = fail(where + ": expect= belongs in a [stream] section; a caster's mountpoints expect what its "
                              "sourcetable says");
            break;
        }
        ok = login(setup.url, s.password, s.password_file, where) && rules(s.alarms, where, setup.rules_text, setup.rules);
        if (ok) run.casters.push_back(std::move(setup));
    }
    if (!ok) {
        error = error_;
        return std::nullopt;
    }
    return run;
}

}  // namespace

std::string SourceSetup::name() const {
    switch (kind) {
    case Kind::ntrip: return url.endpoint();
    case Kind::tcp: return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    case Kind::serial: return device;
    }
    return {};
}

bool SourceSetup::operator==(const SourceSetup& o) const {
    return kind == o.kind && url.tls == o.url.tls && url.user == o.url.user && url.password == o.url.password &&
           url.has_credentials == o.url.has_credentials && url.host == o.url.host && url.port == o.url.port &&
           url.mount == o.url.mount && url.version == o.url.version && host == o.host && port == o.port &&
           device == o.device && baud == o.baud && gga == o.gga;
}

bool CasterSetup::selects(const std::string& mountpoint, const std::string& format, bool rtcm2) const {
    if (!rtcm2) return false;
    if (select.empty()) return true;
    for (const std::string& p : select)
        if (glob_match(p, mountpoint) || glob_match(p, format)) return true;
    return false;
}

StreamSetup CasterSetup::stream(const std::string& mountpoint, const std::string& format_details, bool nmea,
                              double latitude, double longitude) const {
    StreamSetup s;
    s.name = name + "/" + mountpoint;
    s.caster = name;
    s.silence_s = silence_s;
    s.rules_text = rules_text;
    s.rules = rules;
    s.source.kind = SourceSetup::Kind::ntrip;
    s.source.url = url;
    s.source.url.mount = mountpoint;
    // A network mountpoint wants a position: the one its entry gives.
    if (nmea) s.source.gga = Position{latitude, longitude, 0};
    std::string why;
    if (const auto e = alarms::parse_expected(format_details, why)) {
        s.expect = *e;
        s.expect_text = format_details;
    }
    return s;
}

bool secret_file_mode_ok(unsigned mode, unsigned owner, unsigned user, std::string& why) {
    if (mode & 002) {
        why = "anybody may write it (mode " + mode_text(mode) + ")";
        return false;
    }
    if ((mode & 077) == 0 || (owner == user && (mode & 007) == 0)) return true;
    why = "it holds a password and others may read it (mode " + mode_text(mode) +
          "): make it 0600 (chmod 600), or give the passwords in password_file= or systemd credentials";
    return false;
}

std::optional<RunConfig> resolve_config(const MonitorConfig& config, const std::string& config_dir,
                                        const std::string& credentials_dir, std::string& error) {
    return Resolver(config, config_dir, credentials_dir).run(error);
}

std::optional<RunConfig> load_config(const std::string& path, std::string& error) {
    struct stat st {};
    const auto text = read_whole(path, "configuration file", st, error);
    if (!text) return std::nullopt;
    std::string why;
    const auto parsed = parse_config(*text, why);
    if (!parsed) {
        error = path + ": " + why;
        return std::nullopt;
    }
    if ((st.st_mode & 002) || parsed->holds_password) {
        if (!secret_file_mode_ok(st.st_mode, st.st_uid, ::geteuid(), why)) {
            error = "configuration file " + path + " refused: " + why;
            return std::nullopt;
        }
    }
    const char* creds = std::getenv("CREDENTIALS_DIRECTORY");
    const std::string dir = std::filesystem::path(path).parent_path().string();
    return resolve_config(*parsed, dir, creds ? creds : "", error);
}

}  // namespace tessaly::monitord
