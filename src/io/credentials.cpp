#include "credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "posix_io.h"

namespace tessaly::credentials {

namespace {

// Far more than any list of users; a larger file is not a credentials file.
constexpr std::size_t max_file_bytes = 1 << 20;

// "readable by group and others, writable by group": who may do what
// besides the owner, from the mode's lower six bits.
std::string others_may(mode_t mode) {
    const auto who = [](bool group, bool others) -> std::string {
        return group && others ? "group and others" : group ? "group" : "others";
    };
    std::string text;
    const std::pair<const char*, mode_t> kinds[] = {{"readable", 4}, {"writable", 2}, {"executable", 1}};
    for (const auto& [what, bit] : kinds) {
        const bool group = mode & (bit << 3), others = mode & bit;
        if (!group && !others) continue;
        text += (text.empty() ? "" : ", ") + std::string(what) + " by " + who(group, others);
    }
    return text;
}

// A tab may be part of a password; other control characters mean that
// this is not a text file of users.
bool has_control(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; });
}

}  // namespace

std::optional<std::vector<Login>> read_file(const std::string& path, std::string& error) {
    const std::string name = "credentials file " + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return std::nullopt;
    }
    posix::FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = name + " is not a regular file";
        return std::nullopt;
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        error = name + " is " + others_may(st.st_mode) + " (mode " + mode + "): it must be 0600 (chmod 600 " + path + ")";
        return std::nullopt;
    }
    if (std::size_t(st.st_size) > max_file_bytes) {
        error = name + " is larger than 1 MiB: not a list of users";
        return std::nullopt;
    }
    const auto text = posix::read_all(fd, std::size_t(st.st_size));
    if (!text) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return parse(*text, name, error);
}

std::optional<std::vector<Login>> parse(std::string_view text, const std::string& name, std::string& error) {
    std::vector<Login> logins;
    for (int number = 1; !text.empty(); ++number) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::string where = name + " line " + std::to_string(number);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            error = where + ": expected USER:PASSWORD";
            return std::nullopt;
        }
        Login login{std::string(line.substr(0, colon)), std::string(line.substr(colon + 1))};
        if (login.user.empty()) {
            error = where + ": no user name before ':'";
            return std::nullopt;
        }
        if (has_control(line)) {
            error = where + ": control characters in the user name or password";
            return std::nullopt;
        }
        if (std::any_of(logins.begin(), logins.end(), [&](const Login& l) { return l.user == login.user; })) {
            error = where + ": user " + login.user + " is given twice";
            return std::nullopt;
        }
        logins.push_back(std::move(login));
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

std::optional<std::string> password_from_environment() {
    const char* value = std::getenv(password_variable);
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace tessaly::credentials
