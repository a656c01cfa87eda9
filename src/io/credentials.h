#pragma once
// NTRIP user names and passwords kept out of command lines (which every
// user sees in ps): a credentials file, and a password in the environment.
//
// The file holds one USER:PASSWORD per line (split at the first colon, as
// Basic authentication does; the password runs to the end of the line, a
// CR before the LF is dropped). Empty lines and lines starting with '#'
// are skipped. It is read only when no one but its owner may read or write
// it (mode 0600 or 0400): a file that others can read has given its
// secrets away already.
//
// No Qt: tessaly-decode, tessaly-serve and other tools share it. Error
// texts name the file and the line, never a password.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::credentials {

struct Login {
    std::string user;
    std::string password;
};

// The environment variable that may hold the password for a user named
// without one.
inline constexpr const char* password_variable = "TESSALY_NTRIP_PASSWORD";

// Reads and checks the file; on failure nothing, with `error` one line
// saying exactly what is wrong ("credentials file F is readable by group
// and others (mode 0644): it must be 0600 (chmod 600 F)").
std::optional<std::vector<Login>> read_file(const std::string& path, std::string& error);

// The lines of a file already read; `name` for the error texts.
std::optional<std::vector<Login>> parse(std::string_view text, const std::string& name, std::string& error);

// The login of `user` from the file's list, or the only one when `user` is
// empty; nothing with `error` set when there is no such line or the choice
// is not clear.
std::optional<Login> choose(const std::vector<Login>& logins, const std::string& user, const std::string& name,
                            std::string& error);

// The password from the environment, if set.
std::optional<std::string> password_from_environment();

}  // namespace tessaly::credentials
