#include "stream_sniffer.h"

#include <array>
#include <cstring>

namespace tessaly {

namespace {

// Frames (or sentences) seen before the stream is named: one could be chance.
constexpr int frames_to_tell = 3;
constexpr int sentences_to_tell = 2;
constexpr std::size_t longest_sentence = 100;

constexpr std::array<std::uint32_t, 256> crc24q_table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 16;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x800000) ? (crc << 1) ^ 0x1864CFB : crc << 1;
        t[i] = crc & 0xFFFFFF;
    }
    return t;
}();

std::uint32_t crc24q(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) crc = ((crc << 8) & 0xFFFFFF) ^ crc24q_table[((crc >> 16) ^ p[i]) & 0xFF];
    return crc;
}

int hex(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

const char* StreamSniffer::message(Kind kind) {
    switch (kind) {
    case Kind::rtcm3: return "RTCM 3 stream: this monitor decodes RTCM 2";
    case Kind::nmea: return "NMEA stream: this monitor decodes RTCM 2";
    case Kind::html: return "HTML page: the source is a web server, not an RTCM 2 stream";
    case Kind::none: break;
    }
    return "";
}

bool StreamSniffer::take_news() {
    const bool n = news_;
    news_ = false;
    return n;
}

void StreamSniffer::found(Kind k) {
    if (kind_ != Kind::none) return;
    kind_ = k;
    news_ = true;
}

void StreamSniffer::feed(const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        if (candidate_ == Candidate::none) {
            // The fast path: eight 6-of-8 characters (01xxxxxx) at a time
            // cannot start a framing; other bytes are looked at one by one.
            for (;;) {
                // 32 at a time while they all are, then 8 at a time.
                const auto off_char = [&](std::size_t at) {
                    std::uint64_t w;
                    std::memcpy(&w, data + at, 8);
                    return (w & 0xC0C0C0C0C0C0C0C0ull) ^ 0x4040404040404040ull;
                };
                while (i + 32 <= size && (off_char(i) | off_char(i + 8) | off_char(i + 16) | off_char(i + 24)) == 0)
                    i += 32;
                while (i + 8 <= size && off_char(i) == 0) i += 8;
                if (i == size || data[i] == 0xD3 || data[i] == '$' || data[i] == '<') break;
                ++i;
            }
            if (i == size) return;
        }
        step(data[i++]);
    }
}

void StreamSniffer::step(std::uint8_t b) {
    if (candidate_ == Candidate::none) {
        buf_.assign(1, b);
        candidate_ = b == 0xD3 ? Candidate::rtcm3 : b == '$' ? Candidate::nmea : Candidate::html;
        need_ = 0;
        return;
    }
    buf_.push_back(b);
    switch (candidate_) {
    case Candidate::rtcm3:
        if (buf_.size() == 2 && (b & 0xFC) != 0) return reject();  // reserved bits
        if (buf_.size() == 3) need_ = (std::size_t(buf_[1] & 3) << 8 | buf_[2]) + 6;
        if (need_ == 0 || buf_.size() < need_) return;
        {
            const std::size_t n = need_;
            const std::uint32_t sent = std::uint32_t(buf_[n - 3]) << 16 | std::uint32_t(buf_[n - 2]) << 8 | buf_[n - 1];
            if (crc24q(buf_.data(), n - 3) != sent) return reject();
            if (n >= 8) ++rtcm3_types_[unsigned(buf_[3]) << 4 | unsigned(buf_[4]) >> 4];
            if (++rtcm3_frames_ >= frames_to_tell) found(Kind::rtcm3);
            candidate_ = Candidate::none;
        }
        return;
    case Candidate::nmea: {
        if (b != '\n') {
            if (buf_.size() > longest_sentence || b < 0x0A || b > 0x7E) reject();
            return;
        }
        // "$BODY*HH" then CR LF (or LF alone)
        std::size_t end = buf_.size() - 1;
        if (end > 0 && buf_[end - 1] == '\r') --end;
        if (end < 5 || buf_[end - 3] != '*') return reject();
        const int hi = hex(buf_[end - 2]), lo = hex(buf_[end - 1]);
        std::uint8_t sum = 0;
        for (std::size_t k = 1; k < end - 3; ++k) sum ^= buf_[k];
        if (hi < 0 || lo < 0 || sum != hi * 16 + lo) return reject();
        if (++nmea_sentences_ >= sentences_to_tell) found(Kind::nmea);
        candidate_ = Candidate::none;
        return;
    }
    case Candidate::html: {
        static constexpr const char* starts[] = {"<!doctype html", "<html"};
        bool prefix = false;
        for (const char* s : starts) {
            const std::size_t len = std::strlen(s);
            bool same = true;
            for (std::size_t k = 0; k < buf_.size() && k < len; ++k) {
                std::uint8_t c = buf_[k];
                if (c >= 'A' && c <= 'Z') c = std::uint8_t(c - 'A' + 'a');
                if (c != std::uint8_t(s[k])) same = false;
            }
            if (!same) continue;
            if (buf_.size() >= len) {
                found(Kind::html);
                candidate_ = Candidate::none;
                return;
            }
            prefix = true;
        }
        if (!prefix) reject();
        return;
    }
    case Candidate::none:
        return;
    }
}

void StreamSniffer::reject() {
    // A framing that started by chance may hide a real one after its first
    // byte: look at those bytes again.
    candidate_ = Candidate::none;
    std::vector<std::uint8_t> rest(buf_.begin() + 1, buf_.end());
    buf_.clear();
    feed(rest.data(), rest.size());
}

}  // namespace tessaly
