#include "ntrip_login.h"

#include "ntrip_protocol.h"

namespace tessaly::cli {

std::string resolve_login(const std::string& text, const std::string& credentials_file,
                          std::optional<credentials::Login>& login) {
    std::string error;
    const auto url = ntrip::parse_url(text, error);
    if (!url) return {};  // the source reports its own fault
    if (!credentials_file.empty()) {
        if (url->has_password) return "the password is given twice: in the URL and by --credentials";
        const auto logins = credentials::read_file(credentials_file, error);
        if (!logins) return error;
        login = credentials::choose(*logins, url->user, "credentials file " + credentials_file, error);
        return login ? std::string() : error;
    }
    if (url->has_credentials && !url->has_password && !url->user.empty())
        if (auto password = credentials::password_from_environment())
            login = credentials::Login{url->user, std::move(*password)};
    return {};
}

}  // namespace tessaly::cli
