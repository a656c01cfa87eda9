#pragma once
// Tells a stream that is not RTCM 2 by its own framing, so that the user
// learns what the source sends instead of watching the unused-character
// count grow: RTCM 3 (0xD3, a 10-bit length, a CRC-24Q that checks), NMEA
// sentences ("$...*HH" with a checksum that checks) or a web page. None of
// these framings can start inside an RTCM 2 stream, whose bytes all lie in
// 0x40..0x7F, so an RTCM 2 stream passes through untouched and fast.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tessaly {

class StreamSniffer {
public:
    enum class Kind { none, rtcm3, nmea, html };

    void feed(const std::uint8_t* data, std::size_t size);

    // The first kind recognised; none until then.
    Kind kind() const { return kind_; }
    // True once, right after the kind was recognised, so that it is
    // reported once.
    bool take_news();
    // "RTCM 3 stream: this monitor decodes RTCM 2" and the like.
    static const char* message(Kind kind);

    // Complete RTCM 3 frames (CRC checked) by message type.
    const std::map<unsigned, std::uint64_t>& rtcm3_types() const { return rtcm3_types_; }

private:
    enum class Candidate { none, rtcm3, nmea, html };
    void step(std::uint8_t b);
    void reject();
    void found(Kind k);

    Candidate candidate_ = Candidate::none;
    std::vector<std::uint8_t> buf_;
    std::size_t need_ = 0;  // RTCM 3: the whole frame's length once known
    Kind kind_ = Kind::none;
    bool news_ = false;
    int rtcm3_frames_ = 0;
    int nmea_sentences_ = 0;
    std::map<unsigned, std::uint64_t> rtcm3_types_;
};

}  // namespace tessaly
