#pragma once
// AIS sentences for tests, built bit by bit apart from the reader: the
// message bits, the six-bit armouring, the pieces and the checksum.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tessaly::testing {

// "$..." or "!..." with its checksum and CR LF; `spoil` makes it wrong.
inline std::string with_checksum(const std::string& body, bool spoil = false) {
    unsigned sum = 0;
    for (char c : body.substr(1)) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", (sum ^ (spoil ? 1u : 0u)) & 0xFFu);
    return body + tail;
}

struct AisBits {
    std::vector<bool> v;
    AisBits& put(std::uint32_t value, int n) {
        for (int k = n - 1; k >= 0; --k) v.push_back(k < 32 && ((value >> k) & 1u));  // zeros above bit 31
        return *this;
    }
};

// Message 17 carrying a frame's words (24 bits each, d1 at bit 23; header
// word 1 with its preamble, which the message leaves out).
inline AisBits message_17(std::uint32_t mmsi, std::int32_t lon, std::int32_t lat, const std::vector<std::uint32_t>& f) {
    AisBits b;
    b.put(17, 6).put(0, 2).put(mmsi, 30).put(0, 2).put(std::uint32_t(lon), 18).put(std::uint32_t(lat), 17).put(0, 5);
    b.put(f[0], 16);
    for (std::size_t i = 1; i < f.size(); ++i) b.put(f[i], 24);
    return b;
}

// The message in `!AIVDM` sentences of at most `per_line` payload characters.
inline std::vector<std::string> ais_sentences(const AisBits& b, std::size_t per_line, int seq, char channel) {
    std::string payload;
    for (std::size_t i = 0; i < b.v.size(); i += 6) {
        unsigned x = 0;
        for (std::size_t k = i; k < i + 6; ++k) x = x << 1 | (k < b.v.size() && b.v[k]);
        payload += char(x < 40 ? '0' + x : '`' + x - 40);
    }
    const int fill = int(payload.size() * 6 - b.v.size());
    const std::size_t count = (payload.size() + per_line - 1) / per_line;
    std::vector<std::string> out;
    for (std::size_t k = 0; k < count; ++k)
        out.push_back(with_checksum("!AIVDM," + std::to_string(count) + "," + std::to_string(k + 1) + "," +
                                    (count > 1 ? std::to_string(seq) : "") + "," + channel + "," +
                                    payload.substr(k * per_line, per_line) + "," +
                                    std::to_string(k + 1 == count ? fill : 0)));
    return out;
}

}  // namespace tessaly::testing
