// Arbitrary text as the network monitor's configuration file: parsing never
// crashes, a file that parses names every stream and caster by a label-safe
// name with a source, and a file without a password in it is never taken
// for one that holds one. The same bytes as a scraper's Accept header and
// as select= patterns.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "metrics_text.h"
#include "monitor_config.h"

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto config = monitord::parse_config(text, error);
    if (config) {
        for (const auto& s : config->streams)
            if (s.name.empty() || s.name.find('/') != std::string::npos || s.source.empty()) std::abort();
        for (const auto& c : config->casters)
            if (c.name.empty() || c.url.empty()) std::abort();
        const bool may_hold = text.find("password") != std::string_view::npos || text.find('@') != std::string_view::npos;
        if (config->holds_password && !may_hold) std::abort();
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        std::abort();
    }
    (void)stats::metrics_format_for(text);
    const auto nl = text.find('\n');
    (void)monitord::glob_match(text.substr(0, nl), nl == std::string_view::npos ? "" : text.substr(nl + 1));
    return 0;
}
