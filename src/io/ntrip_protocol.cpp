#include "ntrip_protocol.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#ifndef TESSALY_VERSION
#define TESSALY_VERSION "0"
#endif

namespace tessaly::ntrip {

namespace {

constexpr std::size_t max_status_line = 512;
constexpr std::size_t max_header_bytes = 16384;
constexpr std::size_t max_icy_header_line = 1024;
// Far above any caster's table (the largest public ones are a few hundred
// kilobytes); a caster that sends more is cut off rather than kept in memory.
constexpr std::size_t max_table_bytes = 8u << 20;

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool iequals_prefix(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i])) return false;
    return true;
}

bool icontains(std::string_view text, std::string_view what) {
    if (what.size() > text.size()) return false;
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i)
        if (iequals_prefix(text.substr(i), what)) return true;
    return false;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX escapes, so that a user or password can hold '@', ':' or '/'.
bool percent_decode(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = hex_value(in[i + 1]), lo = hex_value(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// Characters that would let a name break out of the request line or a header.
bool has_control_or_space(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; });
}

std::string host_port(const Url& url) {
    const bool v6 = url.host.find(':') != std::string::npos;
    return (v6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}

bool header_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

std::string Url::endpoint() const { return host_port(*this) + "/" + mount; }

std::string Url::display() const {
    std::string s = tls ? "ntrips://" : "ntrip://";
    if (has_credentials) s += user + (password.empty() ? "" : ":***") + "@";
    s += endpoint();
    if (version == Version::v1) s += "?v=1";
    if (version == Version::v2) s += "?v=2";
    return s;
}

bool is_ntrip_url(std::string_view text) {
    return text.starts_with("ntrip://") || text.starts_with("ntrips://");
}

std::optional<Url> parse_url(std::string_view text, std::string& error) {
    Url url;
    std::string_view rest;
    if (text.starts_with("ntrip://")) {
        rest = text.substr(8);
    } else if (text.starts_with("ntrips://")) {
        rest = text.substr(9);
        url.tls = true;
    } else {
        error = "not an NTRIP source: expected ntrip://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT";
        return std::nullopt;
    }

    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        const std::string_view query = rest.substr(q + 1);
        rest = rest.substr(0, q);
        if (query == "v=1") url.version = Version::v1;
        else if (query == "v=2") url.version = Version::v2;
        else {
            error = "bad NTRIP option '?" + std::string(query) + "': expected ?v=1 or ?v=2";
            return std::nullopt;
        }
    }

    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos) url.mount = std::string(rest.substr(slash + 1));

    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userinfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const auto colon = userinfo.find(':');
        if (!percent_decode(userinfo.substr(0, colon), url.user) ||
            (colon != std::string_view::npos && !percent_decode(userinfo.substr(colon + 1), url.password))) {
            error = "bad %-escape in the user or password of an NTRIP source";
            return std::nullopt;
        }
        url.has_credentials = true;
        url.has_password = colon != std::string_view::npos;
    }

    std::string_view port_text;
    bool port_given = false;  // a ':' after the host, maybe with nothing after it
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "bad NTRIP host: '[' without ']'";
            return std::nullopt;
        }
        url.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                error = "bad NTRIP host: text after ']'";
                return std::nullopt;
            }
            port_text = after.substr(1);
            port_given = true;
        }
    } else {
        const auto colon = authority.rfind(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port_text = authority.substr(colon + 1);
            port_given = true;
        }
    }
    if (url.host.empty() || has_control_or_space(url.host)) {
        error = "bad NTRIP source: no host name";
        return std::nullopt;
    }
    if (port_given) {
        int port = 0;
        const auto [ptr, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
        if (ec != std::errc{} || ptr != port_text.data() + port_text.size() || port < 1 || port > 65535) {
            error = "bad NTRIP port '" + std::string(port_text) + "': expected a number 1..65535";
            return std::nullopt;
        }
        url.port = port;
    }
    if (has_control_or_space(url.mount)) {
        error = "bad NTRIP mountpoint: spaces or control characters";
        return std::nullopt;
    }
    return url;
}

std::string user_agent() { return "NTRIP Tessaly/" TESSALY_VERSION; }

std::string base64(std::string_view data) {
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = unsigned(std::uint8_t(data[i])) << 16 | unsigned(std::uint8_t(data[i + 1])) << 8 |
                           std::uint8_t(data[i + 2]);
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (const std::size_t left = data.size() - i; left > 0) {
        unsigned v = unsigned(std::uint8_t(data[i])) << 16;
        if (left == 2) v |= unsigned(std::uint8_t(data[i + 1])) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += left == 2 ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

namespace {

std::string request_for(const Url& url, const std::string& path, Version version, std::string_view gga) {
    const bool v1 = version == Version::v1;
    std::string r = "GET /" + path + (v1 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
    r += "Host: " + host_port(url) + "\r\n";
    if (!v1) r += "Ntrip-Version: Ntrip/2.0\r\n";
    r += "User-Agent: " + user_agent() + "\r\n";
    if (url.has_credentials) r += "Authorization: Basic " + base64(url.user + ":" + url.password) + "\r\n";
    std::string_view sentence = gga;
    while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
    if (!v1 && !sentence.empty()) r += "Ntrip-GGA: " + std::string(sentence) + "\r\n";
    r += "Connection: close\r\n\r\n";
    if (v1 && !sentence.empty()) r += std::string(sentence) + "\r\n";
    return r;
}

}  // namespace

std::string build_request(const Url& url, Version version, std::string_view gga) {
    return request_for(url, url.mount, version, gga);
}

std::string build_sourcetable_request(const Url& url, Version version) {
    return request_for(url, "", version, {});
}

std::string gga_sentence(double latitude, double longitude, double height, int hour, int minute, double second) {
    // Whole units of 1e-5 arc minutes, so that rounding never yields 60 minutes.
    const auto angle = [](double degrees, int width) {
        const long long units = std::llround(std::fabs(degrees) * 60.0 * 1e5);
        const long long deg = units / 6000000, rest = units % 6000000;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%0*lld%02lld.%05lld", width, deg, rest / 100000, rest % 100000);
        return std::string(buf);
    };
    long long centis = std::llround(second * 100.0);
    centis = std::clamp(centis, 0LL, 5999LL);
    char body[160];
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02lld.%02lld,%s,%c,%s,%c,1,12,1.0,%.3f,M,0.000,M,,", hour,
                  minute, centis / 100, centis % 100, angle(latitude, 2).c_str(), latitude < 0 ? 'S' : 'N',
                  angle(longitude, 3).c_str(), longitude < 0 ? 'W' : 'E', height);
    unsigned sum = 0;
    for (const char* p = body; *p; ++p) sum ^= std::uint8_t(*p);
    char out[200];
    std::snprintf(out, sizeof out, "$%s*%02X\r\n", body, sum);
    return out;
}

std::size_t ChunkedDecoder::feed(const std::uint8_t* data, std::size_t size, std::string& out) {
    std::size_t i = 0;
    const auto after_size = [this] {
        size_digits_ = 0;
        if (remaining_ == 0) {
            state_ = State::trailer;
            trailer_empty_ = true;
        } else {
            state_ = State::data;
        }
    };
    for (; i < size; ++i) {
        const char c = char(data[i]);
        switch (state_) {
        case State::size:
            if (const int v = hex_value(c); v >= 0) {
                // Fifteen digits are far beyond any chunk; more means garbage.
                if (++size_digits_ > 15) {
                    state_ = State::failed;
                    return i;
                }
                remaining_ = remaining_ * 16 + unsigned(v);
            } else if (size_digits_ > 0 && (c == ';' || c == ' ' || c == '\t')) {
                state_ = State::extension;
            } else if (size_digits_ > 0 && c == '\r') {
                state_ = State::size_lf;
            } else if (size_digits_ > 0 && c == '\n') {
                after_size();
            } else {
                state_ = State::failed;
                return i;
            }
            break;
        case State::extension:
            if (c == '\r') state_ = State::size_lf;
            else if (c == '\n') after_size();
            break;
        case State::size_lf:
            if (c != '\n') {
                state_ = State::failed;
                return i;
            }
            after_size();
            break;
        case State::data: {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(remaining_, size - i));
            out.append(reinterpret_cast<const char*>(data + i), n);
            remaining_ -= n;
            i += n - 1;
            if (remaining_ == 0) state_ = State::data_cr;
            break;
        }
        case State::data_cr:
            if (c == '\r') state_ = State::data_lf;
            else if (c == '\n') state_ = State::size;
            else {
                state_ = State::failed;
                return i;
            }
            break;
        case State::data_lf:
            if (c != '\n') {
                state_ = State::failed;
                return i;
            }
            state_ = State::size;
            break;
        case State::trailer:
            if (c == '\r') state_ = State::trailer_lf;
            else if (c == '\n') {
                if (trailer_empty_) {
                    state_ = State::done;
                    return i + 1;
                }
                trailer_empty_ = true;
            } else {
                trailer_empty_ = false;
            }
            break;
        case State::trailer_lf:
            if (c != '\n') {
                state_ = State::failed;
                return i;
            }
            if (trailer_empty_) {
                state_ = State::done;
                return i + 1;
            }
            trailer_empty_ = true;
            state_ = State::trailer;
            break;
        case State::done:
        case State::failed:
            return i;
        }
    }
    return i;
}

void AnswerParser::parse_status_line(std::string_view line) {
    line = trim(line);
    reason_ = std::string(line.substr(0, 120));
    const auto code_of = [&](std::string_view after) {
        after = trim(after);
        int code = 0;
        const auto [ptr, ec] = std::from_chars(after.data(), after.data() + std::min<std::size_t>(after.size(), 3), code);
        return ec == std::errc{} && ptr == after.data() + 3 ? code : -1;
    };
    if (line.starts_with("SOURCETABLE ")) {
        version_ = 1;
        status_ = code_of(line.substr(12));
        if (status_ != 200) {
            result_ = Result::not_ntrip;
            return;
        }
        phase_ = Phase::headers;
        return;
    }
    if (line.starts_with("ICY ")) {
        version_ = 1;
        status_ = code_of(line.substr(4));
        if (status_ == 200) {
            result_ = Result::stream;
            phase_ = Phase::icy_extra;
            return;
        }
    } else if (line.starts_with("HTTP/1.")) {
        version_ = line.starts_with("HTTP/1.0") ? 1 : 2;
        status_ = line.size() > 8 && line[8] == ' ' ? code_of(line.substr(9)) : -1;
        if (status_ == 200) {
            phase_ = Phase::headers;
            return;
        }
    } else {
        status_ = -1;
    }
    if (status_ < 100) result_ = Result::not_ntrip;
    else if (status_ == 401) result_ = Result::unauthorized;
    else if (status_ == 404) result_ = Result::not_found;
    else result_ = Result::http_error;
    phase_ = Phase::body;  // what follows an error answer is of no use
}

void AnswerParser::parse_header(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = trim(line.substr(0, colon));
    const std::string_view value = trim(line.substr(colon + 1));
    const auto is = [&](std::string_view n) { return name.size() == n.size() && iequals_prefix(name, n); };
    if (is("Transfer-Encoding") && icontains(value, "chunked")) chunked_ = true;
    else if (is("Content-Type")) {
        is_table_type_ = icontains(value, "gnss/sourcetable");
        is_html_ = icontains(value, "text/html");
    } else if (is("Ntrip-Version") && icontains(value, "Ntrip/2")) {
        version_ = 2;
    }
}

void AnswerParser::finish_headers() {
    phase_ = Phase::body;
    if (reason_.starts_with("SOURCETABLE") || is_table_type_) result_ = Result::sourcetable;
    else if (is_html_) result_ = Result::not_ntrip;
    else result_ = Result::stream;
}

void AnswerParser::take_table(std::string_view text) {
    if (table_done_ || table_overflow_) return;
    const std::size_t old = table_.size();
    table_.append(text.substr(0, max_table_bytes - std::min(max_table_bytes, old)));
    const std::size_t from = old > 16 ? old - 16 : 0;
    if (const auto end = table_.find("ENDSOURCETABLE", from); end != std::string::npos) {
        table_.resize(end + 14);  // what follows is no part of the table
        table_done_ = true;
    } else if (table_.size() >= max_table_bytes) {
        table_overflow_ = true;  // given up, never cut short without a word
    }
}

std::string AnswerParser::take_sourcetable_lines() {
    const std::size_t n = table_done_ ? table_.size() : table_.rfind('\n') + 1;  // npos + 1 is 0
    std::string lines = table_.substr(0, n);
    table_.erase(0, n);
    return lines;
}

void AnswerParser::take_body(const std::uint8_t* data, std::size_t size, std::string& stream) {
    if (result_ == Result::stream) {
        if (!chunked_) {
            stream.append(reinterpret_cast<const char*>(data), size);
        } else if (!body_ended_ && !chunks_.failed()) {
            chunks_.feed(data, size, stream);
            body_ended_ = chunks_.done();
        }
    } else if (result_ == Result::sourcetable) {
        if (!chunked_) {
            take_table(std::string_view(reinterpret_cast<const char*>(data), size));
        } else if (!body_ended_ && !chunks_.failed()) {
            std::string text;
            chunks_.feed(data, size, text);
            take_table(text);
            body_ended_ = chunks_.done();
            if (body_ended_) table_done_ = true;
        }
    }
}

void AnswerParser::end_of_input(std::string& stream) {
    stream += icy_pending_;
    icy_pending_.clear();
}

AnswerParser::Result AnswerParser::feed(const std::uint8_t* data, std::size_t size, std::string& stream) {
    std::size_t i = 0;
    while (i < size && phase_ != Phase::body) {
        const char c = char(data[i++]);
        switch (phase_) {
        case Phase::status_line: {
            if (c == '\n') {
                parse_status_line(line_);
                line_.clear();
                break;
            }
            line_ += c;
            static constexpr std::array<std::string_view, 3> starts{"ICY ", "HTTP/", "SOURCETABLE "};
            const bool plausible = std::any_of(starts.begin(), starts.end(), [&](std::string_view s) {
                return line_.size() <= s.size() ? s.starts_with(line_) : std::string_view(line_).starts_with(s);
            });
            if (!plausible || line_.size() > max_status_line) {
                reason_ = line_.substr(0, 40);
                result_ = Result::not_ntrip;
                phase_ = Phase::body;
            }
            break;
        }
        case Phase::headers:
            if (c == '\n') {
                if (trim(line_).empty()) finish_headers();
                else parse_header(line_);
                line_.clear();
            } else {
                line_ += c;
            }
            if (++header_bytes_ > max_header_bytes) {
                header_overflow_ = true;
                result_ = Result::not_ntrip;
                phase_ = Phase::body;
            }
            break;
        case Phase::icy_extra: {
            // Some 1.0 casters put header lines (and an empty line) after
            // "ICY 200 OK", others start the stream at once. Stream bytes
            // never form "Name:" followed by a line end, so a line of that
            // shape is taken for a header and anything else starts the stream.
            // Header lines for ever would keep the stream from starting:
            // they end as HTTP headers do, at 16 KiB.
            if (++header_bytes_ > max_header_bytes) {
                header_overflow_ = true;
                result_ = Result::not_ntrip;
                phase_ = Phase::body;
                break;
            }
            icy_pending_ += c;
            const std::string_view p = icy_pending_;
            const auto colon = p.find(':');
            bool header_shape = colon != std::string_view::npos && colon > 0 &&
                                std::all_of(p.begin(), p.begin() + std::ptrdiff_t(colon), header_name_char);
            if (p == "\r") break;
            if (p == "\r\n" || p == "\n") {
                icy_pending_.clear();
                phase_ = Phase::body;
                break;
            }
            if (header_shape && p.size() <= max_icy_header_line) {
                if (c == '\n') icy_pending_.clear();
                break;
            }
            if (colon == std::string_view::npos && p.size() <= 64 && std::all_of(p.begin(), p.end(), header_name_char))
                break;
            stream += icy_pending_;
            icy_pending_.clear();
            phase_ = Phase::body;
            break;
        }
        case Phase::body:
            break;
        }
    }
    if (i < size && phase_ == Phase::body) take_body(data + i, size - i, stream);
    return result_;
}

}  // namespace tessaly::ntrip
