// STAND-IN, to be deleted with credentials_standin.h.
#include "credentials_standin.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace tessaly::credentials {

std::optional<std::vector<Login>> read_file(const std::string& path, std::string& error) {
    const std::string name = "credentials file " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + name;
        return std::nullopt;
    }
    if (st.st_mode & 077) {
        error = name + " may be read by others: it must be 0600 (chmod 600 " + path + ")";
        return std::nullopt;
    }
    std::ifstream in(path);
    std::vector<Login> logins;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            error = name + ": expected USER:PASSWORD";
            return std::nullopt;
        }
        logins.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    if (logins.empty()) {
        error = name + " holds no USER:PASSWORD line";
        return std::nullopt;
    }
    return logins;
}

std::optional<Login> choose(const std::vector<Login>& logins, const std::string& user, const std::string& name,
                            std::string& error) {
    if (user.empty()) {
        if (logins.size() == 1) return logins.front();
        error = name + " holds " + std::to_string(logins.size()) +
                " users: name the one to use in the URL (ntrip://USER@HOST/MOUNT)";
        return std::nullopt;
    }
    const auto it = std::find_if(logins.begin(), logins.end(), [&](const Login& l) { return l.user == user; });
    if (it != logins.end()) return *it;
    error = name + " has no line for user " + user;
    return std::nullopt;
}

}  // namespace tessaly::credentials
