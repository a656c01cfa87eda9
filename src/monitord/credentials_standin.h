#pragma once
// STAND-IN, to be deleted: the credentials file reader that tessaly-decode
// and tessaly-serve are getting (src/io/credentials.h), with its interface,
// until it is on main. USER:PASSWORD lines; refused unless mode 0600/0400.

#include <optional>
#include <string>
#include <vector>

namespace tessaly::credentials {

struct Login {
    std::string user;
    std::string password;
};

std::optional<std::vector<Login>> read_file(const std::string& path, std::string& error);
std::optional<Login> choose(const std::vector<Login>& logins, const std::string& user, const std::string& name,
                            std::string& error);

}  // namespace tessaly::credentials
