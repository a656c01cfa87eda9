#pragma once
// The user and password for an NTRIP source when the URL does not hold the
// password (which every user would see in ps): from --credentials FILE, or
// TESSALY_NTRIP_PASSWORD for the user the URL names.

#include <optional>
#include <string>

#include "credentials.h"

namespace tessaly::cli {

// Sets `login` when the file or the environment gives the password for
// `url` (an ntrip:// or ntrips:// URL). Returns why that cannot be done
// (the file is refused, it has no line for the URL's user, the URL holds
// a password too); empty when all is well.
std::string resolve_login(const std::string& url, const std::string& credentials_file,
                          std::optional<credentials::Login>& login);

}  // namespace tessaly::cli
