// Arbitrary text as a credentials file: either logins that each have a user
// without ':' or line ends, none twice, or one line of error.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "credentials.h"

using namespace tessaly::credentials;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto logins = parse(text, "F", error);
    if (!logins) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    std::set<std::string> users;
    for (const Login& l : *logins) {
        if (l.user.empty() || l.user.find_first_of(":\n") != std::string::npos || l.password.find('\n') != std::string::npos ||
            !users.insert(l.user).second)
            std::abort();
    }
    return 0;
}
