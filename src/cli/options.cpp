#include "options.h"

#include <algorithm>
#include <charconv>

#include "recorder.h"

namespace tessaly::cli {

const char* const usage_text =
    "usage: tessaly-decode [--format text|code|json|summary] [--types T,T,...]\n"
    "                      [--clock YYYY-MM-DDTHH:MM:SS[.mmm]Z] [--leap N] [-o FILE] [SOURCE]\n"
    "\n"
    "Decodes a raw RTCM SC-104 version 2 byte stream.\n"
    "\n"
    "SOURCE      a file, '-' for standard input (the default), or tcp://HOST:PORT\n"
    "            (connects and reads until the peer closes the connection)\n"
    "--format F  what to print:\n"
    "              text     (the default) the decoded text blocks, exactly as\n"
    "                       storing in \"Text Format (decoded)\" writes them\n"
    "              code     the frames' characters, exactly as storing in\n"
    "                       \"RTCM Code (valid only)\" writes them\n"
    "              summary  counts at the end: bytes, unused_chars, frames,\n"
    "                       parity_failures, sync_losses, frames per type and\n"
    "                       the station ids in order of appearance\n"
    "              json     one JSON object per line for every completed frame:\n"
    "                       its header and the content it delivered\n"
    "--types L   text and code: store only these types, a comma-separated list\n"
    "            of 1, 2, 3, 9, 16, 18, 19, 20, 21 (default: all types)\n"
    "--clock T   use this UTC date and time instead of the system clock; the\n"
    "            hour of every frame and its latency are taken from it\n"
    "--leap N    GPS time minus UTC in seconds (default 13)\n"
    "-o FILE     append the output to FILE (created if absent); text and code\n"
    "            close and reopen it after every frame, as storing does\n"
    "-h, --help  show this text\n"
    "\n"
    "Exit status: 0 done, 1 the source could not be read or the output not\n"
    "written, 2 usage error.\n";

namespace {

bool parse_int(const std::string& text, int& out) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, ec] = std::from_chars(begin, end, out);
    return ec == std::errc{} && ptr == end && begin != end;
}

// The types of the storing dialog's check boxes, and nothing else.
bool parse_types(const std::string& list, std::vector<std::uint8_t>& out, std::string& error) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        const std::string item = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const auto* t = std::find_if(selectable_types.begin(), selectable_types.end(),
                                     [&](std::uint8_t v) { return std::to_string(v) == item; });
        if (t == selectable_types.end()) {
            error = "bad --types value '" + item + "': choose from 1, 2, 3, 9, 16, 18, 19, 20, 21";
            return false;
        }
        out.push_back(*t);
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

}  // namespace

ParseResult parse_options(const std::vector<std::string>& args) {
    ParseResult r;
    bool have_source = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const std::string& name) -> const std::string* {
            if (i + 1 >= args.size()) {
                r.error = "option " + name + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "-h" || a == "--help") {
            r.options.help = true;
        } else if (a == "--format") {
            const std::string* v = value(a);
            if (!v) return r;
            if (*v == "summary") r.options.format = Format::summary;
            else if (*v == "json") r.options.format = Format::json;
            else if (*v == "text") r.options.format = Format::text;
            else if (*v == "code") r.options.format = Format::code;
            else {
                r.error = "unknown format '" + *v + "' (known: text, code, json, summary)";
                return r;
            }
        } else if (a == "--types") {
            const std::string* v = value(a);
            if (!v || !parse_types(*v, r.options.types, r.error)) return r;
        } else if (a == "--clock") {
            const std::string* v = value(a);
            if (!v) return r;
            r.options.clock = parse_iso_utc(*v);
            if (!r.options.clock) {
                r.error = "bad --clock '" + *v + "': expected a UTC time like 2026-12-06T10:15:30.250Z";
                return r;
            }
        } else if (a == "--leap") {
            const std::string* v = value(a);
            if (!v) return r;
            if (!parse_int(*v, r.options.leap_seconds)) {
                r.error = "bad --leap '" + *v + "': expected a whole number of seconds";
                return r;
            }
        } else if (a == "-o" || a == "--output") {
            const std::string* v = value(a);
            if (!v) return r;
            r.options.output = *v;
        } else if (a.size() > 1 && a[0] == '-') {
            r.error = "unknown option '" + a + "'";
            return r;
        } else {
            if (have_source) {
                r.error = "more than one source given ('" + r.options.source + "' and '" + a + "')";
                return r;
            }
            r.options.source = a;
            have_source = true;
        }
    }
    if (!r.options.types.empty() && r.options.format != Format::text && r.options.format != Format::code)
        r.error = "--types applies to --format text and code only";
    return r;
}

}  // namespace tessaly::cli
