#include "live_retimer.h"

#include <cmath>

namespace tessaly {

namespace {

constexpr std::uint32_t preamble = 0x66;

bool is_char(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x40; }
bool d29_of(char c) { return (static_cast<unsigned char>(c) >> 4) & 1; }  // D29 is bit 4 of a word's last byte
bool d30_of(char c) { return (static_cast<unsigned char>(c) >> 5) & 1; }

// The 30 transmitted bits of five bytes: bit k-1 holds D(k).
std::uint32_t bits_of(const std::string& w) {
    std::uint32_t t = 0;
    for (int i = 0; i < 5; ++i) t |= std::uint32_t(static_cast<unsigned char>(w[std::size_t(i)]) & 0x3F) << (6 * i);
    return t;
}

}  // namespace

LiveRetimer::Time LiveRetimer::time_of(double unix_seconds, int leap_seconds) {
    constexpr double gps_epoch = 315964800;  // 1980-01-06 in Unix seconds
    const double gps = unix_seconds + leap_seconds - gps_epoch;
    // The epsilon keeps a time that is a whole Z-count from falling to the
    // one before through rounding.
    const auto zcount = [](double seconds) { return int(std::fmod(seconds, 3600.0) / 0.6 + 1e-6) % 6000; };
    const auto hours = static_cast<long long>(std::floor(gps / 3600.0));
    return {.zcount = zcount(gps),
            .utc_zcount = zcount(unix_seconds),
            .week = int((hours / 168) % 1024),
            .hour = int(hours % 168),
            .leap_seconds = leap_seconds};
}

bool LiveRetimer::header_at_window() const {
    for (char c : window_)
        if (!is_char(c)) return false;
    const std::uint32_t t = bits_of(window_);
    const bool d29 = d29_of(last_in_), d30 = d30_of(last_in_);
    const std::uint32_t data = source_data(t, d30);
    return (data >> 16) == preamble && gps_parity(data, d29, d30) == (t >> 24);
}

void LiveRetimer::emit_word(const Time& now, std::string& out) {
    const std::uint32_t t = bits_of(window_);
    const bool in29 = d29_of(last_in_), in30 = d30_of(last_in_);
    std::uint32_t data = source_data(t, in30);
    const unsigned error = (t >> 24) ^ gps_parity(data, in29, in30);  // kept as it was
    if (word_ == 0) type_ = int((data >> 10) & 63);
    if (word_ == 1) {
        ++frames_;
        const bool glonass = type_ >= 31 && type_ <= 36;
        data = (data & 0x7FF) | std::uint32_t(glonass ? now.utc_zcount : now.zcount) << 11;
    }
    if (word_ == 2 && type_ == 14)
        data = std::uint32_t(now.week & 1023) << 14 | std::uint32_t(now.hour & 255) << 6 | std::uint32_t(now.leap_seconds & 63);
    const bool out29 = d29_of(last_out_), out30 = d30_of(last_out_);
    const std::uint32_t sent = sent_word(data, gps_parity(data, out29, out30) ^ error, out30);
    last_in_ = window_[4];
    for (int i = 0; i < 5; ++i) pending_[chars_at_[i]] = word_character(sent, i);
    last_out_ = pending_[chars_at_[4]];
    out.append(pending_, 0, chars_at_[4] + 1);
    pending_.erase(0, chars_at_[4] + 1);
    window_.clear();
}

void LiveRetimer::step(char c, const Time& now, std::string& out) {
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
    if (word_ == 1) words_in_frame_ = 2 + int((source_data(bits_of(window_), d30_of(last_in_)) >> 3) & 31);
    emit_word(now, out);
    ++word_;
    if (word_ >= 2 && word_ >= words_in_frame_) word_ = -1;
}

void LiveRetimer::process(const char* data, std::size_t size, const Time& now, std::string& out) {
    for (std::size_t i = 0; i < size; ++i) step(data[i], now, out);
}

void LiveRetimer::flush(std::string& out) {
    out += pending_;
    if (!window_.empty()) last_in_ = last_out_ = window_.back();
    pending_.clear();
    window_.clear();
    word_ = -1;
}

}  // namespace tessaly
