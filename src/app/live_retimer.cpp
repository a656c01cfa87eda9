#include "live_retimer.h"

#include <cmath>
#include <initializer_list>

namespace tessaly {

namespace {

constexpr std::uint32_t preamble = 0x66;

bool d(std::uint32_t data24, int k) { return (data24 >> (24 - k)) & 1u; }

bool x(std::uint32_t data24, std::initializer_list<int> ks) {
    bool v = false;
    for (int k : ks) v ^= d(data24, k);
    return v;
}

bool is_char(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x40; }
bool d29_of(char c) { return (static_cast<unsigned char>(c) >> 4) & 1; }  // D29 is bit 4 of a word's last byte
bool d30_of(char c) { return (static_cast<unsigned char>(c) >> 5) & 1; }

// The 30 transmitted bits of five bytes: bit k-1 holds D(k).
std::uint32_t bits_of(const std::string& w) {
    std::uint32_t t = 0;
    for (int i = 0; i < 5; ++i) t |= std::uint32_t(static_cast<unsigned char>(w[std::size_t(i)]) & 0x3F) << (6 * i);
    return t;
}

// The source data (d1 = bit 23) of a transmitted word after D30*.
std::uint32_t data_of(std::uint32_t t, bool d30) {
    std::uint32_t data = 0;
    for (int k = 1; k <= 24; ++k) data |= std::uint32_t(((t >> (k - 1)) & 1u) ^ unsigned(d30)) << (24 - k);
    return data;
}

std::uint32_t transmit(std::uint32_t data24, unsigned parity6, bool d30) {
    std::uint32_t t = 0;
    for (int k = 1; k <= 24; ++k) t |= std::uint32_t(d(data24, k) ^ d30) << (k - 1);
    return t | std::uint32_t(parity6) << 24;
}

}  // namespace

unsigned gps_parity(std::uint32_t data24, bool d29, bool d30) {
    const bool D25 = d29 ^ x(data24, {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
    const bool D26 = d30 ^ x(data24, {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
    const bool D27 = d29 ^ x(data24, {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
    const bool D28 = d30 ^ x(data24, {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
    const bool D29 = d30 ^ x(data24, {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
    const bool D30 = d29 ^ x(data24, {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
    return unsigned(D25) | unsigned(D26) << 1 | unsigned(D27) << 2 | unsigned(D28) << 3 | unsigned(D29) << 4 |
           unsigned(D30) << 5;
}

int LiveRetimer::zcount_of(double unix_seconds, int leap_seconds) {
    const double into_hour = std::fmod(unix_seconds + leap_seconds, 3600.0);
    return int(into_hour / 0.6) % 6000;
}

bool LiveRetimer::header_at_window() const {
    for (char c : window_)
        if (!is_char(c)) return false;
    const std::uint32_t t = bits_of(window_);
    const bool d29 = d29_of(last_in_), d30 = d30_of(last_in_);
    const std::uint32_t data = data_of(t, d30);
    return (data >> 16) == preamble && gps_parity(data, d29, d30) == (t >> 24);
}

void LiveRetimer::emit_word(int zcount, std::string& out) {
    const std::uint32_t t = bits_of(window_);
    const bool in29 = d29_of(last_in_), in30 = d30_of(last_in_);
    std::uint32_t data = data_of(t, in30);
    const unsigned error = (t >> 24) ^ gps_parity(data, in29, in30);  // kept as it was
    if (word_ == 1) data = (data & 0x7FF) | std::uint32_t(zcount & 8191) << 11;
    const bool out29 = d29_of(last_out_), out30 = d30_of(last_out_);
    const std::uint32_t sent = transmit(data, gps_parity(data, out29, out30) ^ error, out30);
    last_in_ = window_[4];
    for (int i = 0; i < 5; ++i) pending_[chars_at_[i]] = char(0x40 | ((sent >> (6 * i)) & 0x3F));
    last_out_ = pending_[chars_at_[4]];
    out.append(pending_, 0, chars_at_[4] + 1);
    pending_.erase(0, chars_at_[4] + 1);
    window_.clear();
}

void LiveRetimer::step(char c, int zcount, std::string& out) {
    if (!is_char(c)) {
        if (window_.empty()) out += c;
        else pending_ += c;
        return;
    }
    chars_at_[window_.size()] = pending_.size();
    pending_ += c;
    window_ += c;
    if (window_.size() < 5) return;
    if (word_ < 0) {
        // Searching: the window slides a character at a time until it
        // holds a header word whose parity checks.
        if (!header_at_window()) {
            last_in_ = last_out_ = window_[0];
            const std::size_t drop = chars_at_[1];
            out.append(pending_, 0, drop);
            pending_.erase(0, drop);
            window_.erase(0, 1);
            for (int i = 0; i < 4; ++i) chars_at_[i] = chars_at_[i + 1] - drop;
            return;
        }
        word_ = 0;
    }
    if (word_ == 1) words_in_frame_ = 2 + int((data_of(bits_of(window_), d30_of(last_in_)) >> 3) & 31);
    emit_word(zcount, out);
    ++word_;
    if (word_ >= 2 && word_ >= words_in_frame_) word_ = -1;
}

void LiveRetimer::process(const char* data, std::size_t size, int zcount, std::string& out) {
    for (std::size_t i = 0; i < size; ++i) step(data[i], zcount, out);
}

void LiveRetimer::flush(std::string& out) {
    out += pending_;
    if (!window_.empty()) last_in_ = last_out_ = window_.back();
    pending_.clear();
    window_.clear();
    word_ = -1;
}

}  // namespace tessaly
